#include "app/recent_file_list.h"

#include <QDir>
#include <QFileInfo>

namespace app {

namespace {

// Longest path shown whole in the menu; longer ones keep their first folder and the file name.
constexpr qsizetype kMaxDisplayLength = 40;

QString ShortPath(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (shown.size() <= kMaxDisplayLength)
        return shown;
    const QString name = QFileInfo(path).fileName();
    const qsizetype firstSeparator = shown.indexOf(QDir::separator(), 1);
    if (firstSeparator < 0 || firstSeparator + name.size() + 5 >= shown.size())
        return name;
    return shown.left(firstSeparator + 1) + QStringLiteral("...") + QDir::separator() + name;
}

} // namespace

void CRecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    files_.removeAll(path);
    files_.prepend(path);
    while (files_.size() > size_)
        files_.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < files_.size())
        files_.removeAt(index);
}

QString CRecentFileList::MenuText(int index) const
{
    if (index < 0 || index >= files_.size())
        return {};
    // An "&" in a path must not become a mnemonic.
    QString shown = ShortPath(files_[index]);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

void CRecentFileList::ReadList(QSettings& settings)
{
    files_.clear();
    const int count = settings.beginReadArray(QLatin1String(kSection));
    for (int i = 0; i < count && files_.size() < size_; ++i) {
        settings.setArrayIndex(i);
        const QString path = settings.value(QLatin1String(kEntry)).toString();
        if (!path.isEmpty() && !files_.contains(path))
            files_.append(path);
    }
    settings.endArray();
}

void CRecentFileList::WriteList(QSettings& settings) const
{
    settings.remove(QLatin1String(kSection));
    settings.beginWriteArray(QLatin1String(kSection), static_cast<int>(files_.size()));
    for (int i = 0; i < files_.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QLatin1String(kEntry), files_[i]);
    }
    settings.endArray();
}

} // namespace app
