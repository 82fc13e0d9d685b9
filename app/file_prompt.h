#pragma once

// File prompts: the filter conversion every file dialog of the program uses, and the open/save
// prompt itself behind a replaceable function so tests can answer it without a window.

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;

namespace app {

/// Converts a filter in the "text|patterns|text|patterns|...||" form to Qt name filters. Each
/// entry keeps its text and gets its patterns appended in parentheses, space-separated; the
/// dialogs hide that appended part, so the entry reads exactly as its text.
QStringList ToQtNameFilters(const std::string& filter);

struct FilePromptRequest {
    enum Mode { Open, OpenMany, Save } mode = Open;
    QWidget* owner = nullptr;
    QString title;
    QStringList nameFilters;
    QString initialPath; ///< a file name (or path) to start with; empty for none
    QString defaultSuffix; ///< added to a name typed without extension (Save); empty for none
    bool confirmOverwrite = true; ///< Save: ask before replacing an existing file
};

/// Answers the chosen files in the order the dialog gives them; empty when cancelled.
using FilePrompter = std::function<QStringList(const FilePromptRequest&)>;

QStringList PromptForFiles(const FilePromptRequest& request);
/// Replaces the prompt every caller uses (tests script it); an empty function brings back Qt's
/// file dialog. Answers the prompter that was set before.
FilePrompter SetFilePrompter(FilePrompter prompter);
/// Qt's own (non-native) file dialog.
QStringList DefaultFilePrompter(const FilePromptRequest& request);

} // namespace app
