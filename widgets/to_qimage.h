#pragma once

#include "codec/ximage.h"

#include <QImage>

namespace widgets {

/// The codec image as a QImage for drawing, made in one pass from the codec's rows: ARGB32 when
/// the image carries transparency (32 bits, a transparent palette entry or palette alpha), RGB32
/// otherwise. An invalid image gives a null QImage.
QImage ToQImage(const codec::CxImage& image);

} // namespace widgets
