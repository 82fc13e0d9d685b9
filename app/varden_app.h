#pragma once

// The application object: start-up (splash screen, settings, the main window, the command line),
// the commands that work on many files rather than on the open image, and the shared multi-file
// open prompt.

#include "app/cmd_target.h"
#include "app/command_table.h"
#include "app/recent_file_list.h"
#include "core/ui.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QPrinter;

namespace app {

class CDocManager;
class CMainFrame;
class OpenDocument;
class QtUi;

/// A command that works on many files and the subsystem it belongs to.
struct MultiFileCommand {
    int id;
    const char* subsystem;
};
/// Batch conversion, animated GIF, GIF frames, encryption, decryption, multipage TIFF.
std::span<const MultiFileCommand> MultiFileCommands();

class CVardenApp : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    static constexpr const char* kSettingsOrganization = "Korvane Lumbrix";
    static constexpr const char* kSettingsApplication = "Korvane Pelmora";

    /// `ui` replaces the Qt dialogs (tests); null gives the desktop's own.
    explicit CVardenApp(core::Ui* ui = nullptr);
    ~CVardenApp() override;

    /// Start-up: the splash screen for `startupPauseMs`, the settings, the main window, dropped
    /// files, the command line (`arguments[1]`, when given, is opened) and the window shown
    /// maximised. False ends the program.
    bool InitInstance(int startupPauseMs, const QStringList& arguments = QCoreApplication::arguments());

    /// About, new, open, the recent files, print setup, exit and the multi-file commands.
    bool OnCmdMsg(int id, bool execute) override;

    /// Plugs a subsystem's handler in for a multi-file command; an empty function disables it.
    void SetCommandHandler(int id, std::function<void()> handler);

    /// The multi-file open prompt with the full image filter; appends the chosen files in the
    /// dialog's order. False, list unchanged, when cancelled.
    bool PromptForImageFiles(std::vector<std::string>& list);

    OpenDocument* OpenDocumentFile(const QString& path);
    void AddToRecentFileList(const QString& path);
    /// Opens recent-file entry `index`; an entry that no longer opens leaves the list.
    bool OpenRecentFile(int index);

    core::Ui& GetUi() { return *ui_; }
    CMainFrame* MainFrame() const { return frame_.get(); }
    CDocManager& DocManager() { return *docs_; }
    const CRecentFileList& RecentFiles() const { return recentFiles_; }
    /// The printer every print command and print setup share.
    QPrinter& Printer();
    /// True once start-up has shown the splash screen.
    bool SplashShown() const { return splashShown_; }

    void OnAppAbout();
    void OnFilePrintSetup();

private:
    void LoadStdProfileSettings();
    void SaveRecentFileList() const;

    std::unique_ptr<QtUi> qtUi_;
    core::Ui* ui_;
    CRecentFileList recentFiles_ { kRecentFileCount };
    std::unique_ptr<CDocManager> docs_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<QPrinter> printer_;
    std::map<int, std::function<void()>> multiFileHandlers_;
    bool splashShown_ = false;
};

} // namespace app
