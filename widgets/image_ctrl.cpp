#include "widgets/image_ctrl.h"

#include <QPainter>
#include <QPixmap>

namespace widgets {

void CImageCtrl::paintEvent(QPaintEvent* event)
{
    const QPixmap pixmap = this->pixmap();
    if (pixmap.isNull()) {
        QLabel::paintEvent(event);
        return;
    }

    if (masked_.isNull() || maskedKey_ != pixmap.cacheKey() || masked_.size() != size()) {
        // The control's area filled with magenta with the picture over it at the top left, so
        // that the area the picture does not cover is transparent too.
        masked_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        masked_.fill(QColor::fromRgb(kTransparentColor));
        {
            QPainter work(&masked_);
            work.setCompositionMode(QPainter::CompositionMode_Source);
            work.drawPixmap(0, 0, pixmap);
        }
        // Every pixel is opaque or fully transparent, so premultiplied values equal the colours.
        for (int y = 0; y < masked_.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(masked_.scanLine(y));
            for (int x = 0; x < masked_.width(); ++x)
                row[x] = (row[x] | 0xFF000000u) == kTransparentColor ? 0u : (row[x] | 0xFF000000u);
        }
        maskedKey_ = pixmap.cacheKey();
    }

    QPainter painter(this);
    painter.drawImage(0, 0, masked_);
}

} // namespace widgets
