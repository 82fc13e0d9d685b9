#include "gif_tiff_helpers.h"

#include "support/test_support.h"

#include <cstdio>
#include <sstream>

namespace giftiff {

std::string WriteRaw(const codec::CxImage& image, const std::string& path)
{
    const bool alpha = image.GetBpp() == 32;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(image.GetWidth()) * image.GetHeight() * 4);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            codec::RGBQuad c = image.GetPixelColor(x, y);
            bytes.push_back(c.red), bytes.push_back(c.green), bytes.push_back(c.blue);
            if (alpha)
                bytes.push_back(c.alpha);
        }
    testing_support::WriteFileBytes(path, bytes);
    return "-size " + std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) + " -depth 8 "
        + (alpha ? "rgba:" : "rgb:") + path;
}

bool Read(const std::string& file, int index, codec::CxImage& out, std::string* why)
{
    const std::string spec = "'" + file + "[" + std::to_string(index) + "]'";
    std::string size;
    if (testing_support::RunCommand("identify -format '%w %h' " + spec + " 2>&1", &size) != 0) {
        if (why)
            *why = "identify: " + size;
        return false;
    }
    std::uint32_t w = 0, h = 0;
    std::istringstream(size) >> w >> h;
    const std::string raw = file + ".magick.rgba";
    std::string log;
    if (testing_support::RunCommand("convert " + spec + " -depth 8 rgba:'" + raw + "' 2>&1", &log) != 0) {
        if (why)
            *why = "convert: " + log;
        return false;
    }
    std::vector<std::uint8_t> bytes = testing_support::ReadFileBytes(raw);
    std::remove(raw.c_str());
    if (w == 0 || h == 0 || bytes.size() != std::size_t { w } * h * 4 || !out.Create(w, h, 32)) {
        if (why)
            *why = "unexpected output size from ImageMagick: " + size;
        return false;
    }
    out.Pixels() = std::move(bytes);
    return true;
}

bool SameVisible(const codec::CxImage& a, const codec::CxImage& b, bool exactAlpha, std::string* why)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) {
        if (why)
            *why = "sizes differ: " + std::to_string(a.GetWidth()) + "x" + std::to_string(a.GetHeight()) + " vs "
                + std::to_string(b.GetWidth()) + "x" + std::to_string(b.GetHeight());
        return false;
    }
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            const codec::RGBQuad p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            const bool alphaDiffers = exactAlpha ? p.alpha != q.alpha : (p.alpha == 0) != (q.alpha == 0);
            const bool colorDiffers = p.alpha != 0 && (p.red != q.red || p.green != q.green || p.blue != q.blue);
            if (alphaDiffers || colorDiffers) {
                if (why) {
                    char text[160];
                    std::snprintf(text,
                        sizeof text,
                        "pixel (%u,%u): %d,%d,%d,%d vs %d,%d,%d,%d",
                        x,
                        y,
                        p.red,
                        p.green,
                        p.blue,
                        p.alpha,
                        q.red,
                        q.green,
                        q.blue,
                        q.alpha);
                    *why = text;
                }
                return false;
            }
        }
    return true;
}

} // namespace giftiff
