#pragma once

// Test-side netpbm reading and writing, independent of the codec's own PNM reader, so that
// external tools (ImageMagick, netpbm) can be fed images and their output compared with ours.

#include "codec/ximage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace netpbm_io {

/// The image as P6 (maxval 255), or P7 RGB_ALPHA for 32-bit images.
std::vector<std::uint8_t> ToNetpbm(const codec::CxImage& image);

/// Parses a raw P4, P5, P6 or P7 (maxval 255, or 1 for bitmaps) into a 24-bit image, or a
/// 32-bit one when it has alpha. False with a reason otherwise.
bool ParseNetpbm(const std::string& bytes, codec::CxImage& out, std::string* why);

/// Runs a shell command and parses its standard output as netpbm.
bool ToolPixels(const std::string& command, codec::CxImage& out, std::string* why);

} // namespace netpbm_io
