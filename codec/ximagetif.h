#pragma once

#include "codec/ximage.h"
#include "codec/xiofile.h"

namespace codec {

/// The multi-page TIFF encoder.
class CxImageTIF : public CxImage {
public:
    CxImageTIF()
        : CxImage(kTypeTif)
    {
    }

    using CxImage::Encode;
    /// Writes `count` pages to `stream`, left open afterwards and positioned after the TIFF data.
    /// Every page keeps its own size and depth: 1 bit black and white in CCITT Group 4, palettes
    /// in LZW, gray, RGB and RGBA in Deflate. False with GetLastError on failure.
    bool Encode(CxIOFile* stream, CxImage** pages, int count);
};

} // namespace codec
