#pragma once

// The main window: menu 128 while no document is open and menu 129 while one is active, the
// accelerators, the toolbar with its zoom box, the status bar whose first pane carries every
// progress and result text, and the MDI area that holds one child window per view.

#include "app/cmd_target.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <map>
#include <vector>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;

namespace app {

class CChildFrame;
class CMainComboToolbar;
class CVardenApp;
class CVardenView;

class CMainFrame : public QMainWindow, public CCmdTarget {
    Q_OBJECT
public:
    explicit CMainFrame(CVardenApp& app);
    ~CMainFrame() override;

    /// Creates the window's parts: menus, accelerators, toolbar 128 with the zoom box, the status
    /// bar. False when a part cannot be made (the window is then unusable).
    bool LoadFrame();

    /// The frame's own commands: new window, cascade, tile, arrange icons, toolbar, status bar.
    bool OnCmdMsg(int id, bool execute) override;
    /// Runs a command through the routing (active view, frame, documents, application). False
    /// when nothing handles it; such commands are disabled and do nothing.
    bool OnCommand(int id);
    bool IsCommandEnabled(int id);
    /// Enables and checks every command's action, and the zoom box (the update handler of 32823).
    void UpdateCmdUI();
    void UpdateRecentFileMenu();
    /// "Korvane Pelmora", followed by the active window's title when there is one.
    void UpdateFrameTitle();

    /// The first pane of the status bar.
    void SetMessageText(const QString& text);
    QString MessageText() const;
    /// The status bar's panes: the message pane, then "CAP", "NUM", "SCRL".
    QList<QLabel*> StatusPanes() const;
    /// Lights each lock pane whose key is on (enabled) and greys the others. Runs on lock-key
    /// events and on a timer (the keys may change while another window has the focus); where the
    /// platform does not tell the lock states every pane stays greyed and nothing runs.
    void UpdateLockIndicators();

    /// The one action of a command, made on first use with the command's prompt and tooltip.
    QAction* CommandAction(int id);
    /// The menu shown now: 128 or 129.
    int CurrentMenu() const { return currentMenu_; }
    /// The popups of menu 128 or 129, in menu-bar order.
    const std::vector<QMenu*>& MenuPopups(int menuId) const;

    QMdiArea* MdiArea() const { return mdiArea_; }
    void AddChild(CChildFrame* child);
    CChildFrame* ActiveChild() const;
    CVardenView* ActiveView() const;
    CMainComboToolbar* ToolBar() const { return toolBar_; }
    /// Closes every child window; nothing is asked.
    void CloseAllWindows();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu(int menuId);
    void ShowMenu(int menuId);
    void BuildAccelerators();
    void CreateStatusBar();
    void OnMDIActivate(QMdiSubWindow* window);
    void OnUpdateZoomBox();
    void FillWindowList(QMenu* menu);
    void ArrangeIcons();

    CVardenApp& app_;
    QMdiArea* mdiArea_ = nullptr;
    CMainComboToolbar* toolBar_ = nullptr;
    QLabel* messagePane_ = nullptr;
    std::array<QLabel*, 3> indicators_ {};
    QTimer* lockTimer_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, std::vector<QMenu*>> menus_;
    int currentMenu_ = 0;
    QList<QAction*> windowList_;
};

} // namespace app
