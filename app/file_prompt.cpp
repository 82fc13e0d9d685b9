#include "app/file_prompt.h"

#include <QFileDialog>

#include <utility>

namespace app {

namespace {

FilePrompter& CurrentPrompter()
{
    static FilePrompter prompter;
    return prompter;
}

} // namespace

QStringList ToQtNameFilters(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList result;
    // Pairs of text and patterns; an empty field ends the list, as "||" does at its end. The text
    // is kept whole (the dialogs hide the pattern part Qt needs), patterns are blank-separated
    // because Qt splits them at blanks only.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& text = parts[i];
        if (text.isEmpty())
            break;
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty())
                patterns << trimmed;
        }
        if (patterns.isEmpty())
            break;
        result << QStringLiteral("%1 (%2)").arg(text, patterns.join(QLatin1Char(' ')));
    }
    return result;
}

QStringList DefaultFilePrompter(const FilePromptRequest& request)
{
    QFileDialog dialog(request.owner, request.title);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(request.nameFilters);
    switch (request.mode) {
    case FilePromptRequest::Open:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case FilePromptRequest::OpenMany:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    case FilePromptRequest::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        break;
    }
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.initialPath.isEmpty())
        dialog.selectFile(request.initialPath);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QStringList PromptForFiles(const FilePromptRequest& request)
{
    const FilePrompter& prompter = CurrentPrompter();
    return prompter ? prompter(request) : DefaultFilePrompter(request);
}

FilePrompter SetFilePrompter(FilePrompter prompter)
{
    return std::exchange(CurrentPrompter(), std::move(prompter));
}

} // namespace app
