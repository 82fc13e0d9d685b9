#pragma once

// The start-up window: picture 168 in a thin border, centred on the primary screen. The
// application shows it for the first moments of start-up and destroys it when start-up ends.

#include "codec/ximage.h"

#include <QImage>
#include <QRect>
#include <QWidget>

namespace widgets {

class CSplashScreenDlg : public QWidget {
    Q_OBJECT
public:
    /// No window yet: Create makes it.
    CSplashScreenDlg();

    /// Loads picture 168 through the codec and shows the window. False, with no window made,
    /// when the picture cannot be loaded.
    bool Create(QWidget* owner);
    /// The same with the picture given as file bytes (any format the codec reads).
    bool Create(QWidget* owner, codec::ByteView picture);
    /// The same with a picture already decoded.
    bool Create(QWidget* owner, codec::CxImage picture);

    const codec::CxImage& Image() const { return image_; }

    /// The window rectangle for a picture of `image` size on `screen`: centred, the halves
    /// truncated toward zero, so a screen smaller than the picture gives a negative corner.
    static QRect SplashRect(QSize image, QRect screen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool CreateWindow(QWidget* owner);

    codec::CxImage image_;
    QImage frame_; // the picture converted once for drawing
};

} // namespace widgets
