#pragma once

// JPEG options beyond the format table's plain entry points.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <vector>

namespace codec {

/// The quality JpegEncode uses: high enough that photos show no visible blocking, while files
/// stay about a third the size of quality 100.
inline constexpr int kJpegDefaultQuality = 90;

/// Encodes like JpegEncode with a quality from 1 (smallest) to 100 (best); values outside are clamped.
Result JpegEncodeWithQuality(const CxImage& image, int quality, std::vector<std::uint8_t>& out);

} // namespace codec
