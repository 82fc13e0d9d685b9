#include "crypt/ui/cipher_command.h"

#include "app/file_prompt.h"
#include "crypt/ui/decrypt_dlg.h"

#include <QFile>

#include <utility>

namespace cryptui {

namespace {

DialogRunner& CurrentDialogRunner()
{
    static DialogRunner runner;
    return runner;
}

CipherRunner& CurrentCipherRunner()
{
    static CipherRunner runner;
    return runner;
}

} // namespace

DialogRunner SetDialogRunner(DialogRunner runner)
{
    return std::exchange(CurrentDialogRunner(), std::move(runner));
}

CipherRunner SetCipherRunner(CipherRunner runner)
{
    return std::exchange(CurrentCipherRunner(), std::move(runner));
}

void OnCipherCommand(cipher::CipherRunKind kind, QWidget* owner, core::Ui& ui)
{
    // 1. Every file is offered: no type filter.
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::OpenMany;
    request.owner = owner;
    request.title = QStringLiteral("Open");
    const QStringList chosen = app::PromptForFiles(request);
    if (chosen.isEmpty())
        return;
    std::vector<std::string> files;
    files.reserve(static_cast<std::size_t>(chosen.size()));
    for (const QString& path : chosen)
        files.push_back(QFile::encodeName(path).toStdString());

    // 2. The dialog extends the list and takes the password and the destination.
    CDecryptDlg dialog(owner, ui);
    dialog.SetFiles(files);
    const DialogRunner& showDialog = CurrentDialogRunner();
    const int result = showDialog ? showDialog(dialog) : dialog.exec();
    if (result != QDialog::Accepted || !dialog.Files())
        return;

    // 3. The run, its closing question, report and status text.
    const CipherRunner& run = CurrentCipherRunner();
    if (run)
        run(kind, *dialog.Files(), dialog.Destination(), dialog.Password(), ui);
    else
        cipher::RunCipher(kind, *dialog.Files(), dialog.Destination(), dialog.Password(), ui);
}

} // namespace cryptui
