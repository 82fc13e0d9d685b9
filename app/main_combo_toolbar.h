#pragma once

// The main toolbar: its buttons come from toolbar 128 and bitmap 128, and the placeholder buttons
// 32823 give way to the zoom box, a drop-down list of zoom levels that sets the zoom of the active
// document.

#include <QImage>
#include <QToolBar>

#include <span>

class QComboBox;

namespace app {

class CMainFrame;

class CMainComboToolbar : public QToolBar {
    Q_OBJECT
public:
    /// Width of the separator that takes the first placeholder's place; the box is three times it.
    static constexpr int kZoomSeparatorWidth = 175;

    explicit CMainComboToolbar(CMainFrame& frame);

    /// Adds the buttons in order, each showing its image from `bitmap` (one 16 x 17 cell per
    /// button, separators take none) and using the frame's action for its command. False when
    /// the bitmap has fewer cells than buttons.
    bool LoadToolBar(std::span<const int> buttons, const QImage& bitmap);

    /// Puts the zoom box in place of the first placeholder (command 32823) and fills it with
    /// the zoom levels, "100%" selected. False when there is no placeholder.
    bool CreateZoomBox();

    /// Selects the entry of `zoom` ("%d%%" of trunc((zoom + 0.001) * 100)). False, selection
    /// unchanged, when no entry matches or the box is not visible.
    bool ShowZoomInBox(float zoom);

    /// The zoom box (object name "id32823"); nullptr before CreateZoomBox.
    QComboBox* ZoomBox() const { return zoomBox_; }

    /// The list's selection-accepted notification: the chosen zoom goes to the active document.
    void OnZoomSelected(int index);

private:
    CMainFrame& frame_;
    QComboBox* zoomBox_ = nullptr;
};

} // namespace app
