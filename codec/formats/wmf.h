#pragma once

// Windows metafile reading in two parts: our own reader for metafiles that only place bitmaps
// (exact pixels), and libwmf for everything else. The first part is declared here on its own so
// that the fuzz target can drive it without the library renderer.

#include "codec/result.h"
#include "codec/ximage.h"

namespace codec {

/// Reads a metafile made only of bitmap records (StretchDIB, DIBStretchBlt, DIBBitBlt with
/// SRCCOPY) and harmless state records. A single bitmap that covers the frame comes back as
/// that bitmap at its own size and depth; several are composed on a white canvas at the
/// resolution of the largest. Returns Unsupported when the metafile holds anything else.
Result WmfDecodeBitmapOnly(ByteView data, const DecodeLimits& limits, CxImage& out);

} // namespace codec
