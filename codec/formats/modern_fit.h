#pragma once

// What the WebP, AVIF and JPEG XL writers hand their libraries: the image as packed 8-bit rows
// of gray, RGB or RGBA. 16- and 24-bit images already are RGB rows and 32-bit ones RGBA rows, so
// those are passed without a copy; indexed images are expanded once.

#include "codec/formats/depth_fit.h"
#include "codec/ximage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace codec::fit {

struct PackedRows {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    std::uint32_t channels = 0; ///< 1 gray, 3 RGB, 4 RGBA
    /// The source was indexed: a graphic whose exact colours matter (the writers keep it lossless
    /// where the format can).
    bool fromIndexed = false;
    std::vector<std::uint8_t> storage;
};

/// True when an ICC profile describes the colour space the writer stores (its header names
/// "GRAY" or "RGB " at byte 16). Another one (a CMYK profile from a JPEG whose pixels were turned
/// into RGB) would make readers show wrong colours, so the writers leave it out.
inline bool ProfileFits(const std::vector<std::uint8_t>& icc, bool gray)
{
    return icc.size() >= 20 && std::memcmp(icc.data() + 16, gray ? "GRAY" : "RGB ", 4) == 0;
}

/// True when an indexed image draws every pixel opaque.
inline bool IndexedOpaque(const CxImage& image)
{
    const auto& pal = image.Palette();
    const int trans = image.GetTransIndex();
    return (trans < 0 || static_cast<std::size_t>(trans) >= pal.size())
        && std::all_of(pal.begin(), pal.end(), [](const RGBQuad& c) { return c.alpha == 255; });
}

/// The rows of `image`; gray palettes become one channel only when `allowGray`.
inline PackedRows PackRows(const CxImage& image, bool allowGray)
{
    PackedRows rows;
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    if (!image.IsIndexed()) {
        rows.data = image.Pixels().data();
        rows.channels = image.GetBpp() == 32 ? 4 : 3;
        rows.stride = image.GetRowBytes();
        return rows;
    }
    rows.fromIndexed = true;
    const bool opaque = IndexedOpaque(image);
    if (opaque && allowGray && image.IsGrayScale()) {
        rows.channels = 1;
        rows.stride = w;
        rows.storage.resize(rows.stride * h);
        const std::vector<std::uint8_t> table = IndexGrayTable(image);
        for (std::uint32_t y = 0; y < h; ++y)
            RowGray(image, y, table, rows.storage.data() + y * rows.stride);
    } else if (opaque) {
        rows.channels = 3;
        rows.stride = static_cast<std::size_t>(w) * 3;
        rows.storage.resize(rows.stride * h);
        for (std::uint32_t y = 0; y < h; ++y)
            RowRGB(image, y, rows.storage.data() + y * rows.stride);
    } else {
        rows.channels = 4;
        rows.stride = static_cast<std::size_t>(w) * 4;
        rows.storage = image.ExportRGBA();
        if (rows.storage.size() != rows.stride * h)
            throw std::bad_alloc(); // ExportRGBA's own failure; Encode reports it
    }
    rows.data = rows.storage.data();
    return rows;
}

} // namespace codec::fit
