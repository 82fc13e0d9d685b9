#pragma once

// Netpbm as the common language of the tests and the oracle tools (netpbm, ImageMagick,
// OpenJPEG, cjpeg/djpeg): read and written here, independently of the codec's own PNM reader, so
// that a fault there cannot hide in the comparison.

#include "codec/result.h"
#include "codec/ximage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

/// A netpbm file's samples as stored: row by row, the channels of a pixel together.
struct NetpbmSamples {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t channels = 0; ///< 1 gray, 2 gray and alpha, 3 RGB, 4 RGBA
    std::uint32_t maxval = 255;
    std::vector<std::int32_t> v;
};

/// Parses P1 to P7, plain or raw. Bitmaps (P1, P4) come back as maxval 1 with 1 for white, as PAM
/// stores them. False with a reason when the data is not netpbm or is cut short.
bool ParseNetpbm(codec::ByteView bytes, NetpbmSamples& out, std::string* why = nullptr);

/// Parses netpbm into a 24-bit image, or a 32-bit one when it has alpha; samples are scaled to
/// 8 bits with rounding.
bool ParseNetpbm(codec::ByteView bytes, codec::CxImage& out, std::string* why = nullptr);
bool ReadNetpbm(const std::string& path, codec::CxImage& out, std::string* why = nullptr);

/// The samples as P5 (one channel), P6 (three) or P7, two bytes a sample above maxval 255.
std::vector<std::uint8_t> ToNetpbm(const NetpbmSamples& samples);
/// The image's colours as P6, or as P7 RGB_ALPHA for 32-bit images.
std::vector<std::uint8_t> ToNetpbm(const codec::CxImage& image);
/// The image's colours as P6, whatever its depth.
std::vector<std::uint8_t> ToPpm(const codec::CxImage& image);
/// The image's red channel as P5: the gray levels of a gray image.
std::vector<std::uint8_t> ToPgm(const codec::CxImage& image);

/// Runs a shell command and parses what it prints as netpbm.
bool ToolPixels(const std::string& command, codec::CxImage& out, std::string* why = nullptr);
/// Frame or page `index` of `file` as ImageMagick reads it.
bool ImageMagickPixels(const std::string& file, int index, codec::CxImage& out, std::string* why = nullptr);
/// Runs a shell command that prints netpbm and compares its pixels with `want` (SamePixels).
::testing::AssertionResult ToolShows(const std::string& command, const codec::CxImage& want);
/// Runs a shell command; a failing exit status fails the test with the command and its messages.
bool RunTool(const std::string& command);

} // namespace testing_support
