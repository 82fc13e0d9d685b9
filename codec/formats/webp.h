#pragma once

// WebP beyond the one-picture reader: the frames of an animation.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstddef>
#include <functional>

namespace codec {

/// Calls `sink` with each frame of a WebP as it appears on screen, in order: a 32-bit image of
/// the whole canvas with the earlier frames composed under it (blending and disposal applied),
/// its display time as the frame delay in hundredths of a second and its number (from 0) as
/// GetFrame. A still WebP gives its one picture. Stops early, successfully, when `sink` returns
/// false. The canvas is checked against `limits` like any picture, the frame count against
/// `limits.maxFrames`.
Result WebpDecodeFrames(ByteView data,
    const DecodeLimits& limits,
    const std::function<bool(const CxImage& frame, std::size_t index)>& sink);

/// The number of frames a WebP declares (1 for a still picture), or 0 when it is no WebP.
std::size_t WebpFrameCount(ByteView data);

} // namespace codec
