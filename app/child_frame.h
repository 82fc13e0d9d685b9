#pragma once

// The window of one view of a document inside the main window's MDI area.

#include <QMdiSubWindow>

namespace app {

class CDocManager;
class CVardenView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    /// Takes the view as its widget; tells `docs` when it closes.
    CChildFrame(CDocManager& docs, CVardenView* view);

    CVardenView* View() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CDocManager& docs_;
    CVardenView* view_;
    bool closed_ = false;
};

} // namespace app
