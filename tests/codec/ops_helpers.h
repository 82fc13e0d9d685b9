#pragma once

// Small builders shared by the pixel-operation tests.

#include "codec/ximage.h"

#include <algorithm>
#include <cctype>
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

/// Parses a binary PPM (P6, maxval 255) as written by ImageMagick and netpbm.
inline bool ParsePpm(const std::string& data, CxImage& out)
{
    std::size_t pos = 0;
    auto token = [&]() {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos])))
                ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        std::string t;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos])))
            t += data[pos++];
        return t;
    };
    if (token() != "P6")
        return false;
    const unsigned long w = std::stoul(token()), h = std::stoul(token());
    if (token() != "255")
        return false;
    ++pos; // the single whitespace before the raster
    if (data.size() - pos < w * h * 3)
        return false;
    if (!out.Create(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 24))
        return false;
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(pos),
        data.begin() + static_cast<std::ptrdiff_t>(pos + w * h * 3),
        out.Pixels().begin());
    return true;
}

/// The same image as a binary PPM.
inline std::vector<std::uint8_t> ToPpm(const CxImage& img)
{
    const std::string head
        = "P6\n" + std::to_string(img.GetWidth()) + " " + std::to_string(img.GetHeight()) + "\n255\n";
    std::vector<std::uint8_t> out(head.begin(), head.end());
    for (std::uint32_t y = 0; y < img.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < img.GetWidth(); ++x) {
            const RGBQuad c = img.GetPixelColor(x, y);
            out.push_back(c.red), out.push_back(c.green), out.push_back(c.blue);
        }
    return out;
}

inline bool SameColor(RGBQuad a, RGBQuad b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

} // namespace ops_test
