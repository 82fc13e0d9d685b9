#pragma once

// A picture control that draws its pixmap with magenta (255, 0, 255) as the transparent colour:
// the parent shows through where the picture is magenta, every other pixel is copied as it is.
// Without a pixmap it is an ordinary label.

#include <QImage>
#include <QLabel>

namespace widgets {

class CImageCtrl : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    /// The colour drawn transparent.
    static constexpr QRgb kTransparentColor = 0xFFFF00FFu;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture with magenta made transparent, kept while pixmap and size stay the same.
    QImage masked_;
    qint64 maskedKey_ = 0;
};

} // namespace widgets
