// Depth changes: IncreaseBpp and DecreaseBpp.

#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace codec {

namespace {

bool ValidDepth(std::uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

struct Reduced {
    std::vector<std::uint8_t> pixels;
    std::vector<RGBQuad> palette;
    int transIndex = -1;
};

const std::vector<RGBQuad> kBlackWhite = { RGBQuad { 0, 0, 0, 255 }, RGBQuad { 255, 255, 255, 255 } };

void ApplyLut(std::vector<std::uint8_t>& pixels, const std::array<std::uint8_t, 256>& lut)
{
    for (std::uint8_t& p : pixels)
        p = lut[p];
}

// Fewer index bits. Palette colours are re-quantised; when the colours the pixels actually use
// fit, the result is exact (the transparent index included, as its own entry).
void ReduceIndexed(const CxImage& img, std::uint32_t bits, bool diffusion, std::span<const RGBQuad> given, Reduced& out)
{
    const std::size_t maxColors = std::size_t { 1 } << bits;
    const std::uint32_t w = img.GetWidth(), h = img.GetHeight();
    const auto& pal = img.Palette();
    const int trans = img.GetTransIndex();
    std::array<std::uint64_t, 256> uses {};
    for (std::uint8_t p : img.Pixels())
        ++uses[p];
    auto colourOf = [&](int i) { return static_cast<std::size_t>(i) < pal.size() ? pal[i] : RGBQuad {}; };

    out.pixels = img.Pixels();
    std::array<std::uint8_t, 256> lut {};

    if (given.empty()) {
        // Exact when the used colours fit: the transparent entry counts apart from an opaque
        // entry of the same colour.
        std::vector<RGBQuad> distinct;
        std::vector<bool> distinctTrans;
        bool fits = true;
        for (int i = 0; i < 256 && fits; ++i) {
            if (uses[i] == 0)
                continue;
            const RGBQuad c = colourOf(i);
            const bool t = i == trans;
            std::size_t k = 0;
            while (k < distinct.size() && !(distinct[k] == c && distinctTrans[k] == t))
                ++k;
            if (k == distinct.size()) {
                if (distinct.size() == maxColors) {
                    fits = false;
                    break;
                }
                distinct.push_back(c);
                distinctTrans.push_back(t);
                if (t)
                    out.transIndex = static_cast<int>(k);
            }
            lut[i] = static_cast<std::uint8_t>(k);
        }
        if (fits) {
            out.palette = std::move(distinct);
            ApplyLut(out.pixels, lut);
            return;
        }
        out.transIndex = -1;
    }

    std::vector<RGBQuad> target;
    if (!given.empty()) {
        target.assign(given.begin(), given.end());
    } else if (bits == 1) {
        target = kBlackWhite;
    } else {
        ops::ColorHistogram hist;
        for (int i = 0; i < 256; ++i)
            if (uses[i] != 0)
                hist.Add(colourOf(i).red, colourOf(i).green, colourOf(i).blue, uses[i]);
        target = hist.BuildPalette(maxColors);
    }

    if (diffusion) {
        ops::RowReader reader(img, 3);
        if (given.empty() && bits == 1)
            ops::MapToBlackWhite(reader, w, h, true, out.pixels.data());
        else
            ops::MapToPalette(reader, w, h, target, true, out.pixels.data());
    } else {
        ops::NearestColorMap map(target);
        for (int i = 0; i < 256; ++i) {
            const RGBQuad c = colourOf(i);
            lut[i] = given.empty() && bits == 1 ? (ops::Luma(c.red, c.green, c.blue) >= 128 ? 1 : 0)
                                                : map.Find(c.red, c.green, c.blue);
        }
        ApplyLut(out.pixels, lut);
    }
    out.palette = std::move(target);
}

// True colour to indexed; alpha is dropped. Without a palette, 4 and 8 bits are exact when the
// colours fit and otherwise get an optimised palette; 1 bit is always black and white by luma.
void ReduceTrueColour(
    const CxImage& img, std::uint32_t bits, bool diffusion, std::span<const RGBQuad> given, Reduced& out)
{
    const std::size_t maxColors = std::size_t { 1 } << bits;
    const std::uint32_t w = img.GetWidth(), h = img.GetHeight();
    out.pixels.resize(static_cast<std::size_t>(w) * h);
    ops::RowReader reader(img, 3);
    if (!given.empty()) {
        out.palette.assign(given.begin(), given.end());
        ops::MapToPalette(reader, w, h, out.palette, diffusion, out.pixels.data());
        return;
    }
    if (bits == 1) {
        out.palette = kBlackWhite;
        ops::MapToBlackWhite(reader, w, h, diffusion, out.pixels.data());
        return;
    }
    if (ops::ExactPalette(reader, w, h, maxColors, out.palette, out.pixels.data()))
        return;
    ops::ColorHistogram hist;
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = reader.Get(y);
        for (std::uint32_t x = 0; x < w; ++x)
            hist.Add(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
    out.palette = hist.BuildPalette(maxColors);
    ops::MapToPalette(reader, w, h, out.palette, diffusion, out.pixels.data());
}

} // namespace

bool CxImage::IncreaseBpp(std::uint32_t bits)
{
    if (!ValidDepth(bits)) {
        SetLastError("unsupported bits per pixel: " + std::to_string(bits));
        return false;
    }
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    if (bits <= bpp_)
        return true;
    try {
        if (IsIndexed() && bits <= 8) {
            // Indices stay; the new entries are black.
            palette_.resize(std::size_t { 1 } << bits, RGBQuad { 0, 0, 0, 255 });
            bpp_ = bits;
            return true;
        }
        if (bpp_ == 16 && bits == 24) { // 16-bit storage is already 8-bit RGB
            bpp_ = 24;
            return true;
        }
        const int channels = bits == 32 ? 4 : 3;
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * channels;
        std::vector<std::uint8_t> out(rowBytes * height_);
        ops::RowReader reader(*this, channels);
        for (std::uint32_t y = 0; y < height_; ++y)
            std::memcpy(out.data() + y * rowBytes, reader.Get(y), rowBytes);
        if (bits == 16)
            for (std::uint8_t& v : out)
                v = Quantize5(v);
        pixels_.swap(out);
        bpp_ = bits;
        palette_.clear();
        transIndex_ = -1;
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while changing the colour depth");
        return false;
    }
}

bool CxImage::DecreaseBpp(std::uint32_t bits, bool errorDiffusion, const RGBQuad* palette, std::uint32_t colors)
{
    if (bits == 32 || !ValidDepth(bits)) {
        SetLastError("unsupported bits per pixel: " + std::to_string(bits));
        return false;
    }
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    if (palette && colors == 0) {
        SetLastError("the palette to reduce to is empty");
        return false;
    }
    // A palette given for an indexed image of the same depth remaps it into that palette.
    const bool remap = palette && IsIndexed() && bits == bpp_;
    if (bits > bpp_ || (bits == bpp_ && !remap))
        return true;
    try {
        if (bits >= 16) { // 32 -> 24/16 or 24 -> 16: alpha is dropped, not composited
            ops::RowReader reader(*this, 3);
            const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
            std::vector<std::uint8_t> out(rowBytes * height_);
            if (bits == 24) {
                for (std::uint32_t y = 0; y < height_; ++y)
                    std::memcpy(out.data() + y * rowBytes, reader.Get(y), rowBytes);
            } else {
                ops::QuantizeTo555(reader, width_, height_, errorDiffusion, out.data());
            }
            pixels_.swap(out);
            bpp_ = bits;
            return true;
        }
        // Colours beyond what the depth can index are ignored.
        const std::span<const RGBQuad> given = palette
            ? std::span<const RGBQuad>(palette, std::min<std::size_t>(colors, std::size_t { 1 } << bits))
            : std::span<const RGBQuad>();
        Reduced out;
        if (IsIndexed())
            ReduceIndexed(*this, bits, errorDiffusion, given, out);
        else
            ReduceTrueColour(*this, bits, errorDiffusion, given, out);
        pixels_.swap(out.pixels);
        palette_ = std::move(out.palette);
        transIndex_ = out.transIndex;
        bpp_ = bits;
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while reducing the colour depth");
        return false;
    }
}

} // namespace codec
