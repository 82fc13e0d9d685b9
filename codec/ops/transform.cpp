// GrayScale, the quarter and half turns, and red-eye removal.

#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace codec {

namespace {

enum class Turn { Left, Right, Half };

// Copies pixel by pixel in square tiles: a quarter turn reads rows and writes columns, and tiles
// keep both sides in cache on large images.
template <std::size_t B>
void TurnPixels(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint8_t* dst, Turn turn)
{
    if (turn == Turn::Half) {
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::uint8_t* s = src + static_cast<std::size_t>(y) * w * B;
            std::uint8_t* d = dst + (static_cast<std::size_t>(h - 1 - y) * w + (w - 1)) * B;
            for (std::uint32_t x = 0; x < w; ++x, s += B, d -= B)
                std::memcpy(d, s, B);
        }
        return;
    }
    constexpr std::uint32_t kTile = 64;
    // The turned image is h wide. Left (counter-clockwise): source (x, y) lands at (y, w-1-x);
    // right (clockwise): at (h-1-y, x).
    for (std::uint32_t ty = 0; ty < h; ty += kTile) {
        const std::uint32_t ye = std::min(h, ty + kTile);
        for (std::uint32_t tx = 0; tx < w; tx += kTile) {
            const std::uint32_t xe = std::min(w, tx + kTile);
            for (std::uint32_t y = ty; y < ye; ++y) {
                const std::uint8_t* s = src + (static_cast<std::size_t>(y) * w + tx) * B;
                for (std::uint32_t x = tx; x < xe; ++x, s += B) {
                    const std::size_t dx = turn == Turn::Left ? y : h - 1 - y;
                    const std::size_t dy = turn == Turn::Left ? w - 1 - x : x;
                    std::memcpy(dst + (dy * h + dx) * B, s, B);
                }
            }
        }
    }
}

void TurnedPixels(const CxImage& img, Turn turn, std::vector<std::uint8_t>& out)
{
    out.resize(img.Pixels().size());
    const std::uint8_t* src = img.Pixels().data();
    switch (img.GetBytesPerPixel()) {
    case 1:
        TurnPixels<1>(src, img.GetWidth(), img.GetHeight(), out.data(), turn);
        break;
    case 3:
        TurnPixels<3>(src, img.GetWidth(), img.GetHeight(), out.data(), turn);
        break;
    default:
        TurnPixels<4>(src, img.GetWidth(), img.GetHeight(), out.data(), turn);
        break;
    }
}

// A half turn in place is the pixel order reversed.
template <std::size_t B> void ReversePixels(std::vector<std::uint8_t>& pixels)
{
    std::uint8_t* lo = pixels.data();
    std::uint8_t* hi = pixels.data() + pixels.size() - B;
    for (; lo < hi; lo += B, hi -= B)
        std::swap_ranges(lo, lo + B, hi);
}

const char kTurnMemory[] = "out of memory while rotating the image";

// Red-eye thresholds: a pixel is "strongly red" when R > 80 and R > 2 max(G, B). A region is an
// eye when it holds 4 pixels up to 1 % of the image, its bounding box is between half and twice
// as wide as high, and it fills at least half of that box (a disc fills about 79 %). A red shirt
// fails on area or shape and is left alone.
constexpr bool IsStronglyRed(int r, int g, int b)
{
    return r > 80 && r > 2 * std::max(g, b);
}
constexpr std::size_t kMinEyeArea = 4;

} // namespace

bool CxImage::GrayScale()
{
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    try {
        palette_.reserve(256); // nothing below may fail once pixels start changing
        // Every branch uses value = (299 R + 587 G + 114 B + 500) / 1000, rounded Rec. 601 luma.
        if (IsIndexed()) {
            std::array<std::uint8_t, 256> lut {};
            for (std::size_t i = 0; i < 256; ++i) {
                const RGBQuad c = i < palette_.size() ? palette_[i] : RGBQuad {};
                lut[i] = ops::Luma(c.red, c.green, c.blue);
            }
            for (std::uint8_t& p : pixels_)
                p = lut[p];
        } else {
            const std::size_t n = static_cast<std::size_t>(width_) * height_;
            const std::size_t step = GetBytesPerPixel();
            std::vector<std::uint8_t> out(n);
            const std::uint8_t* s = pixels_.data();
            for (std::size_t i = 0; i < n; ++i, s += step)
                out[i] = ops::Luma(s[0], s[1], s[2]);
            pixels_.swap(out);
        }
        // Always 8 bits, even from a black-and-white 1-bit image: callers rely on a 256-entry ramp.
        bpp_ = 8;
        transIndex_ = -1;
        SetGrayPalette();
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while converting to gray");
        return false;
    }
}

bool CxImage::RotateLeft(CxImage* destination)
{
    return TurnBy(3, destination);
}

bool CxImage::RotateRight(CxImage* destination)
{
    return TurnBy(1, destination);
}

bool CxImage::Rotate180(CxImage* destination)
{
    if (IsValid() && (!destination || destination == this)) {
        switch (GetBytesPerPixel()) {
        case 1:
            std::reverse(pixels_.begin(), pixels_.end());
            break;
        case 3:
            ReversePixels<3>(pixels_);
            break;
        default:
            ReversePixels<4>(pixels_);
            break;
        }
        return true;
    }
    return TurnBy(2, destination);
}

// Into a destination, the turned image takes the source's depth, palette, transparent index and
// resolution and keeps the destination's own type, as Resample2 does.
bool CxImage::TurnBy(int quarters, CxImage* destination)
{
    if (!IsValid())
        return Report(Malformed("the image is empty"));
    try {
        ops::BorrowedPixels out(destination, this);
        TurnedPixels(*this, quarters == 1 ? Turn::Right : quarters == 2 ? Turn::Half : Turn::Left, out.buffer);
        CxImage& t = destination ? *destination : *this;
        const bool swap = quarters != 2;
        const std::uint32_t w = width_, h = height_;
        const std::int32_t xdpi = xdpi_, ydpi = ydpi_;
        if (&t != this)
            t.palette_ = palette_, t.transIndex_ = transIndex_, t.bpp_ = bpp_;
        t.pixels_.swap(out.buffer);
        t.width_ = swap ? h : w, t.height_ = swap ? w : h;
        t.xdpi_ = swap ? ydpi : xdpi, t.ydpi_ = swap ? xdpi : ydpi;
        out.Done();
        return true;
    } catch (const std::bad_alloc&) {
        return Report(LimitExceeded(kTurnMemory));
    }
}

// Indexed images are searched through their palette and expanded to 24 bits (32 when the
// palette has transparency) only when an eye was found; true-colour images are changed in place.
// Returns true when the search ran, whether or not anything was found.
bool CxImage::RedEyeRemove()
{
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    try {
        const std::size_t n = static_cast<std::size_t>(width_) * height_;
        const std::size_t maxArea = std::max(kMinEyeArea, n / 100);
        enum : std::uint8_t { kOther = 0, kRed = 1, kSeen = 2 };
        std::vector<std::uint8_t> mask(n);
        if (IsIndexed()) {
            std::array<std::uint8_t, 256> red {};
            for (std::size_t i = 0; i < 256; ++i) {
                const RGBQuad c = i < palette_.size() ? palette_[i] : RGBQuad {};
                red[i] = IsStronglyRed(c.red, c.green, c.blue) ? kRed : kOther;
            }
            for (std::size_t i = 0; i < n; ++i)
                mask[i] = red[pixels_[i]];
        } else {
            const std::size_t step = GetBytesPerPixel();
            const std::uint8_t* s = pixels_.data();
            for (std::size_t i = 0; i < n; ++i, s += step)
                mask[i] = IsStronglyRed(s[0], s[1], s[2]) ? kRed : kOther;
        }

        std::vector<std::uint32_t> stack, region, eyes;
        for (std::size_t start = 0; start < n; ++start) {
            if (mask[start] != kRed)
                continue;
            // Flood fill over 8 neighbours. Pixels are only remembered while the region could
            // still be an eye, so a large red area costs no memory beyond the stack.
            region.clear();
            std::size_t area = 0;
            std::uint32_t x0 = width_, y0 = height_, x1 = 0, y1 = 0;
            mask[start] = kSeen;
            stack.push_back(static_cast<std::uint32_t>(start));
            while (!stack.empty()) {
                const std::uint32_t p = stack.back();
                stack.pop_back();
                ++area;
                if (area <= maxArea)
                    region.push_back(p);
                const std::uint32_t x = p % width_, y = p / width_;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                for (int dy = -1; dy <= 1; ++dy) {
                    const std::int64_t ny = static_cast<std::int64_t>(y) + dy;
                    if (ny < 0 || ny >= height_)
                        continue;
                    for (int dx = -1; dx <= 1; ++dx) {
                        const std::int64_t nx = static_cast<std::int64_t>(x) + dx;
                        if (nx < 0 || nx >= width_)
                            continue;
                        const std::size_t q = static_cast<std::size_t>(ny) * width_ + static_cast<std::size_t>(nx);
                        if (mask[q] != kRed)
                            continue;
                        mask[q] = kSeen;
                        stack.push_back(static_cast<std::uint32_t>(q));
                    }
                }
            }
            const double bw = x1 - x0 + 1.0, bh = y1 - y0 + 1.0;
            const bool eye = area >= kMinEyeArea && area <= maxArea && bw <= 2 * bh && bh <= 2 * bw
                && static_cast<double>(area) >= 0.5 * bw * bh;
            if (eye)
                eyes.insert(eyes.end(), region.begin(), region.end());
        }
        if (eyes.empty())
            return true;
        if (IsIndexed() && !IncreaseBpp(ops::PaletteHasAlpha(*this) ? 32 : 24))
            return false;
        const std::size_t step = GetBytesPerPixel();
        for (std::uint32_t p : eyes) {
            std::uint8_t* px = pixels_.data() + static_cast<std::size_t>(p) * step;
            // The red channel takes the mean of the other two, which keeps the pupil's darkness.
            const auto v = static_cast<std::uint8_t>((px[1] + px[2] + 1) / 2);
            px[0] = bpp_ == 16 ? Quantize5(v) : v;
        }
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while removing red eyes");
        return false;
    }
}

} // namespace codec
