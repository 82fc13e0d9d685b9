#pragma once

// ImageMagick as an independent decoder for the GIF and TIFF tests.

#include "codec/ximage.h"

#include <cstdint>
#include <string>

namespace giftiff {

/// Writes the image's colours as raw 8-bit RGB, or RGBA for 32-bit images, and returns the
/// ImageMagick input spec for it ("rgb:path" or "rgba:path") with its size.
std::string WriteRaw(const codec::CxImage& image, const std::string& path);

/// Reads frame or page `index` of `file` with ImageMagick into a 32-bit image. False when
/// ImageMagick fails; `why` then holds its output.
bool Read(const std::string& file, int index, codec::CxImage& out, std::string* why = nullptr);

/// True when both have the same size and every pixel looks the same: equal opacity (alpha 0 or
/// not; equal alpha values when `exactAlpha`), and equal colour where not fully transparent.
bool SameVisible(const codec::CxImage& a, const codec::CxImage& b, bool exactAlpha, std::string* why = nullptr);

} // namespace giftiff
