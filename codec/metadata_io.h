#pragma once

// What the readers and writers share about carrying metadata from one format into another.

#include "codec/metadata.h"

#include <cstdint>
#include <vector>

namespace codec {

/// True when an ICC profile describes the colour space pixels are written in: a gray profile for
/// gray pixels, an RGB one for colour (and palette) pixels. A profile for other data (the CMYK
/// profile of a CMYK JPEG we turned into RGB) would make every colour-managed viewer show the
/// picture wrongly, so it is dropped instead.
bool IccFits(const std::vector<std::uint8_t>& icc, bool grayPixels);

/// The largest payload one JPEG segment holds (65535 minus the length field).
inline constexpr std::size_t kJpegSegmentMax = 65533;

} // namespace codec
