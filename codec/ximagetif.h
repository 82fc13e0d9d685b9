#pragma once

#include "codec/ximage.h"
#include "codec/xiofile.h"

#include <memory>

namespace codec {

/// The multi-page TIFF encoder.
class CxImageTIF : public CxImage {
public:
    CxImageTIF();
    ~CxImageTIF();
    CxImageTIF(const CxImageTIF&) = delete;
    CxImageTIF& operator=(const CxImageTIF&) = delete;

    using CxImage::Encode;
    /// Writes `count` pages to `stream`, left open afterwards and positioned after the TIFF data.
    /// Every page keeps its own size and depth: 1 bit black and white in CCITT Group 4, palettes
    /// in LZW, gray, RGB and RGBA in Deflate. False with GetLastError on failure.
    bool Encode(CxIOFile* stream, CxImage** pages, int count);

    /// The same file written a page at a time, so only one decoded page need be in memory:
    /// BeginPages, then WritePage for each of the `count` pages, then EndPages. The stream must
    /// stay open throughout and is left as Encode leaves it. After a failure (false with
    /// GetLastError) the calls that follow fail too, until the next BeginPages.
    bool BeginPages(CxIOFile* stream, int count);
    bool WritePage(const CxImage& page);
    bool EndPages();

private:
    struct PageState;
    std::unique_ptr<PageState> pages_;
};

} // namespace codec
