#include "widgets/to_qimage.h"

#include <array>

namespace widgets {

QImage ToQImage(const codec::CxImage& image)
{
    if (!image.IsValid())
        return {};
    const auto width = static_cast<int>(image.GetWidth());
    const auto height = static_cast<int>(image.GetHeight());

    if (image.IsIndexed()) {
        // Indices past the palette draw black, as they would through the codec's own colour lookup.
        std::array<QRgb, 256> lookup;
        lookup.fill(qRgb(0, 0, 0));
        bool transparent = false;
        const auto& palette = image.Palette();
        for (std::size_t i = 0; i < palette.size() && i < lookup.size(); ++i) {
            const codec::RGBQuad& c = palette[i];
            const int alpha = static_cast<int>(i) == image.GetTransIndex() ? 0 : c.alpha;
            transparent |= alpha != 255;
            lookup[i] = qRgba(c.red, c.green, c.blue, alpha);
        }
        QImage out(width, height, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (out.isNull())
            return {};
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* src = image.Row(static_cast<std::uint32_t>(y));
            auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < width; ++x)
                dst[x] = lookup[src[x]];
        }
        return out;
    }

    const bool alpha = image.GetBpp() == 32;
    QImage out(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = image.Row(static_cast<std::uint32_t>(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (alpha) {
            for (int x = 0; x < width; ++x, src += 4)
                dst[x] = qRgba(src[0], src[1], src[2], src[3]);
        } else {
            for (int x = 0; x < width; ++x, src += 3)
                dst[x] = qRgb(src[0], src[1], src[2]);
        }
    }
    return out;
}

} // namespace widgets
