#pragma once

// JPEG options beyond the format table's plain entry points.

#include "codec/exif.h"
#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <vector>

namespace codec {

/// The quality JpegEncode uses: high enough that photos show no visible blocking, while files
/// stay about a third the size of quality 100.
inline constexpr int kJpegDefaultQuality = 90;

/// The scale denominator (1, 2, 4 or 8) a reduced decode of a `width` x `height` JPEG uses: the
/// largest whose output (each side divided and rounded up, as libjpeg does) is still at least
/// `minWidth` x `minHeight`. A zero minimum side gives 1.
std::uint32_t JpegScaleFor(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth, std::uint32_t minHeight);

/// Decodes like JpegDecode, at the scale `hints` allow (see LoadHints); the limits are checked
/// against the full size as JpegDecode checks them.
Result JpegDecodeScaled(ByteView data, const DecodeLimits& limits, const LoadHints& hints, CxImage& out);

/// Encodes like JpegEncode with a quality from 1 (smallest) to 100 (best); values outside are clamped.
Result JpegEncodeWithQuality(const CxImage& image, int quality, std::vector<std::uint8_t>& out);

} // namespace codec

namespace codec {

/// Turns a JPEG without decoding it (TurboJPEG's lossless transform moves the DCT blocks): first
/// a horizontal mirror when `turn.mirror`, then `turn.quarters` clockwise quarter turns. The
/// segments (EXIF, XMP, ICC profile, ...) are kept, with EXIF and XMP marked upright. Only exact
/// transforms are made: a picture whose right or bottom edge ends inside a block would lose or
/// gain pixels, which gives Unsupported, and the caller re-encodes instead. The data should be a
/// file the codec has decoded within its limits: the transform takes the memory the picture needs.
Result JpegTurnLossless(ByteView jpeg, Orientation turn, std::vector<std::uint8_t>& out);

} // namespace codec
