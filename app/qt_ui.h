#pragma once

// The desktop program's Ui: status texts go to the first pane of the main window's status bar,
// messages and questions to QMessageBox, the wait cursor to the application's override cursor.

#include "core/ui.h"

#include <QMessageBox>
#include <QPointer>

namespace app {

class CMainFrame;

class QtUi : public core::Ui {
public:
    QtUi() = default;

    /// The window whose status bar shows the texts and which owns the message boxes. Texts given
    /// before there is one are dropped.
    void SetMainFrame(CMainFrame* frame) { frame_ = frame; }

    void SetStatusText(const std::string& text) override;
    void MessageBox(
        const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner) override;
    bool AskYesNo(
        const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner) override;
    void ShowConversionReport(const batch::ConversionResults& results) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

    /// The parent a message box of `owner` gets; nullptr for a box of its own.
    QWidget* OwnerWidget(core::Owner owner) const;
    static QMessageBox::Icon ToQtIcon(core::MessageIcon icon);

private:
    QPointer<CMainFrame> frame_;
    int waitDepth_ = 0;
};

} // namespace app
