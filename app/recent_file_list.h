#pragma once

// The recent-file list: the most recently opened or saved files, newest first, kept in the
// program's settings as an array so that it survives a restart.

#include <QSettings>
#include <QString>
#include <QStringList>

namespace app {

class CRecentFileList {
public:
    /// The settings group that holds the list, and the key of each entry.
    static constexpr const char* kSection = "Recent File List";
    static constexpr const char* kEntry = "File";

    explicit CRecentFileList(int size)
        : size_(size)
    {
    }

    int Size() const { return size_; }
    const QStringList& Files() const { return files_; }
    bool IsEmpty() const { return files_.isEmpty(); }

    /// Puts `path` first; an entry already there moves up, the oldest falls off a full list.
    void Add(const QString& path);
    void Remove(int index);

    /// The menu text of entry `index`: "&1 " and the path, shortened in the middle when long.
    QString MenuText(int index) const;

    void ReadList(QSettings& settings);
    void WriteList(QSettings& settings) const;

private:
    int size_;
    QStringList files_;
};

} // namespace app
