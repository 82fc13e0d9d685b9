#pragma once

// An off-screen drawing surface: paint into it as into the target, and when it goes out of scope
// the covered area is copied onto the target in one step, so the window never shows a half-drawn
// picture. A printer target (or a recording) is drawn on directly, since rasterising it would
// lose the printer's resolution.

#include <QImage>
#include <QPainter>
#include <QRect>

namespace widgets {

class CMemDC {
public:
    /// Covers the target's clip box, or its whole device when it has no clip, and fills that
    /// area with the target's background colour.
    explicit CMemDC(QPainter& target);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    QPainter* operator->() { return painter_; }
    QPainter& operator*() { return *painter_; }
    bool IsOffScreen() const { return offScreen_; }
    /// The covered area in the target's device coordinates.
    QRect DeviceRect() const { return deviceBox_; }

private:
    QPainter& target_;
    QPainter* painter_;
    bool offScreen_;
    QRect deviceBox_;
    QImage buffer_;
    QPainter bufferPainter_;
};

} // namespace widgets
