#pragma once

// Exchanging pixels with the oracle tools (djpeg, cjpeg, ImageMagick) through netpbm files,
// independently of the codec's own PNM support.

#include "codec/ximage.h"

#include <string>

namespace netpbm_oracle {

/// Reads P5, P6 or P7 (1 to 4 channels, maxval up to 65535, scaled to 8 bits with rounding)
/// into a 24-bit image, or 32 bits when the file has alpha.
bool Read(const std::string& path, codec::CxImage& out, std::string* why = nullptr);

/// Writes a 24-bit P6, or a P7 with alpha for 32-bit images (indexed images through the palette).
void Write(const std::string& path, const codec::CxImage& image);

/// Compares colour and alpha of every pixel through GetPixelColor, whatever the depths, allowing
/// each channel to differ by up to `tolerance`. `why` names the first pixel that differs more.
bool SameColors(const codec::CxImage& a, const codec::CxImage& b, int tolerance = 0, std::string* why = nullptr);

/// A 16-bit copy of a true-colour image (channels quantised to 5 bits as 16-bit images store them).
codec::CxImage To16Bit(const codec::CxImage& image);

} // namespace netpbm_oracle
