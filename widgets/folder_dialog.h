#pragma once

// The destination-folder picker, run like a modal dialog: DoModal answers 1 with selectedPath
// set, 2 for a choice that is no local folder, -1 when the user cancelled.

#include <QString>
#include <QUrl>

#include <functional>
#include <string>

class QWidget;

namespace widgets {

class CFolderDialog {
public:
    /// Shows the chooser and answers the chosen folder, or an empty URL when the user cancelled.
    /// `initialFolder` is empty when nothing is to be preselected.
    using Chooser = std::function<QUrl(QWidget* owner, const QString& title, const QString& initialFolder)>;

    /// `initialFolder` empty: the chooser opens at its default place.
    CFolderDialog(QWidget* parent, std::string title, std::string initialFolder = {});

    int DoModal();

    /// The chosen folder after DoModal answered 1: no trailing separator except for the root.
    std::string selectedPath;

    /// Replaces the chooser every CFolderDialog uses (tests script it); an empty function brings
    /// back the default, Qt's directory chooser. Answers the chooser that was set before.
    static Chooser SetChooser(Chooser chooser);
    /// Qt's directory chooser with the initial folder preselected.
    static QUrl DefaultChooser(QWidget* owner, const QString& title, const QString& initialFolder);

private:
    QWidget* parent_;
    std::string title_;
    std::string initialFolder_;
};

} // namespace widgets
