#pragma once

// Small pixel conversions shared by the writers of the simple formats (TGA, PCX, RAS, PGX):
// each takes an image of any depth and must write one the format can hold. They convert one
// row at a time into a buffer the writer reuses, so a save makes no full-image copy.

#include "codec/ximage.h"

#include <cstdint>
#include <vector>

namespace codec::fit {

/// Rec. 601 luma, rounded.
constexpr std::uint8_t Luma(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<std::uint8_t>((299u * r + 587u * g + 114u * b + 500u) / 1000u);
}

/// The colour an index draws: black past the end of the palette, as GetPixelColor does.
inline RGBQuad PaletteColor(const CxImage& image, std::uint8_t index)
{
    const auto& pal = image.Palette();
    return index < pal.size() ? pal[index] : RGBQuad {};
}

/// For indexed images: the gray value of every possible index. A gray palette gives its own
/// level (exact round trips); a colour palette gives the luma of each entry.
inline std::vector<std::uint8_t> IndexGrayTable(const CxImage& image)
{
    std::vector<std::uint8_t> table(256, 0);
    for (std::size_t i = 0; i < 256; ++i) {
        RGBQuad c = PaletteColor(image, static_cast<std::uint8_t>(i));
        table[i] = c.red == c.green && c.green == c.blue ? c.red : Luma(c.red, c.green, c.blue);
    }
    return table;
}

/// One row as 8-bit gray. `table` is IndexGrayTable(image) for indexed images, unused otherwise.
inline void RowGray(const CxImage& image, std::uint32_t y, const std::vector<std::uint8_t>& table, std::uint8_t* out)
{
    const std::uint8_t* src = image.Row(y);
    const std::uint32_t w = image.GetWidth();
    if (image.IsIndexed()) {
        for (std::uint32_t x = 0; x < w; ++x)
            out[x] = table[src[x]];
        return;
    }
    const std::uint32_t step = image.GetBytesPerPixel();
    for (std::uint32_t x = 0; x < w; ++x, src += step)
        out[x] = Luma(src[0], src[1], src[2]);
}

/// One row as R, G, B triples, whatever the depth (alpha is dropped).
inline void RowRGB(const CxImage& image, std::uint32_t y, std::uint8_t* out)
{
    const std::uint8_t* src = image.Row(y);
    const std::uint32_t w = image.GetWidth();
    if (image.IsIndexed()) {
        for (std::uint32_t x = 0; x < w; ++x, out += 3) {
            RGBQuad c = PaletteColor(image, src[x]);
            out[0] = c.red, out[1] = c.green, out[2] = c.blue;
        }
        return;
    }
    const std::uint32_t step = image.GetBytesPerPixel();
    for (std::uint32_t x = 0; x < w; ++x, src += step, out += 3)
        out[0] = src[0], out[1] = src[1], out[2] = src[2];
}

} // namespace codec::fit
