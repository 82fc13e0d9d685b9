#include "widgets/folder_dialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QWidget>

#include <utility>

namespace widgets {

namespace {

CFolderDialog::Chooser& CurrentChooser()
{
    static CFolderDialog::Chooser chooser;
    return chooser;
}

} // namespace

CFolderDialog::CFolderDialog(QWidget* parent, std::string title, std::string initialFolder)
    : parent_(parent)
    , title_(std::move(title))
    , initialFolder_(std::move(initialFolder))
{
}

CFolderDialog::Chooser CFolderDialog::SetChooser(Chooser chooser)
{
    return std::exchange(CurrentChooser(), std::move(chooser));
}

QUrl CFolderDialog::DefaultChooser(QWidget* owner, const QString& title, const QString& initialFolder)
{
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Opening in the folder itself makes it the answer when the user accepts at once.
    if (!initialFolder.isEmpty())
        dialog.setDirectoryUrl(QUrl::fromLocalFile(initialFolder));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QList<QUrl> urls = dialog.selectedUrls();
    return urls.isEmpty() ? dialog.directoryUrl() : urls.first();
}

int CFolderDialog::DoModal()
{
    // Without a parent the dialog belongs to whichever window is active, as a modal run does.
    QWidget* owner = parent_ ? parent_ : QApplication::activeWindow();
    const QString title = QString::fromStdString(title_);
    const QString initial = QFile::decodeName(QByteArray::fromStdString(initialFolder_));
    const Chooser& chooser = CurrentChooser();
    const QUrl url = chooser ? chooser(owner, title, initial) : DefaultChooser(owner, title, initial);

    if (url.isEmpty())
        return -1;
    // A place without a local path (a network location offered by the desktop's chooser).
    if (!url.isLocalFile())
        return 2;
    QString path = url.toLocalFile();
    if (path.isEmpty())
        return 2;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    selectedPath = QFile::encodeName(path).toStdString();
    return 1;
}

} // namespace widgets
