#pragma once

// Small builders shared by the pixel-operation tests.

#include "codec/ximage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ops_test {

using codec::CxImage;
using codec::RGBQuad;

/// A true-colour image (24 or 32 bits) from colours given row by row.
inline CxImage FromColors(std::uint32_t w, std::uint32_t h, const std::vector<RGBQuad>& colors, std::uint32_t bpp = 24)
{
    CxImage img(w, h, bpp);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.SetPixelColor(x, y, colors[y * w + x]);
    return img;
}

/// An indexed image from a palette and indices given row by row.
inline CxImage FromIndices(std::uint32_t w,
    std::uint32_t h,
    std::uint32_t bpp,
    const std::vector<RGBQuad>& palette,
    const std::vector<std::uint8_t>& indices)
{
    CxImage img(w, h, bpp);
    img.Palette() = palette;
    img.Pixels() = indices;
    return img;
}

inline CxImage Filled(std::uint32_t w, std::uint32_t h, RGBQuad c, std::uint32_t bpp = 24)
{
    return FromColors(w, h, std::vector<RGBQuad>(static_cast<std::size_t>(w) * h, c), bpp);
}

/// Photo-like: a smooth luminance field with gentler, slowly varying colour on top and a little
/// sensor-like noise, so it has thousands of colours but channels that move together, as in
/// photographs.
inline CxImage PhotoLike(std::uint32_t w, std::uint32_t h, unsigned seed = 1)
{
    CxImage img(w, h, 24);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-4, 4);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = img.Row(y);
        for (std::uint32_t x = 0; x < w; ++x) {
            const double luma
                = 120 + 70 * std::sin(x / 23.0) * std::cos(y / 31.0) + 35 * std::sin((x + 2.0 * y) / 57.0);
            const double u = 30 * std::sin(x / 60.0 + 1), v = 25 * std::cos(y / 45.0 - x / 90.0);
            const double rgb[3] = { luma + 1.4 * v, luma - 0.34 * u - 0.71 * v, luma + 1.77 * u };
            for (int c = 0; c < 3; ++c) {
                const int q = static_cast<int>(rgb[c]) + noise(rng);
                row[x * 3 + c] = static_cast<std::uint8_t>(q < 0 ? 0 : q > 255 ? 255 : q);
            }
        }
    }
    return img;
}

inline bool SameColor(RGBQuad a, RGBQuad b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

} // namespace ops_test
