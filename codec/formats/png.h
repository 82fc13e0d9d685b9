#pragma once

// PNG options beyond the format table's plain entry points.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <vector>

namespace codec {

/// The zlib level PngEncode uses: level 6 is zlib's own balance point; level 9 is several times
/// slower for a few percent, level 1 about four times faster for files about 5 % larger.
inline constexpr int kPngDefaultLevel = 6;

/// Encodes like PngEncode with a zlib level from 0 (stored) to 9; values outside are clamped.
Result PngEncodeWithLevel(const CxImage& image, int level, std::vector<std::uint8_t>& out);

} // namespace codec
