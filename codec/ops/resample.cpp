// Resample2: nearest neighbour and bicubic resizing.

#include "codec/formats/format.h"
#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace codec {

namespace {

// ---- nearest neighbour ----

// Destination pixel x samples source floor((x + 0.5) * srcLen / dstLen), computed exactly as
// ((2x + 1) * srcLen) / (2 dstLen). The result is always inside the source, so the overflow
// method never matters for nearest neighbour.
std::uint32_t NearestSource(std::uint32_t x, std::uint32_t srcLen, std::uint32_t dstLen)
{
    return static_cast<std::uint32_t>(((2 * std::uint64_t { x } + 1) * srcLen) / (2 * std::uint64_t { dstLen }));
}

template <std::size_t B> void NearestRows(const CxImage& src, std::uint32_t newW, std::uint32_t newH, std::uint8_t* dst)
{
    std::vector<std::size_t> column(newW);
    for (std::uint32_t x = 0; x < newW; ++x)
        column[x] = static_cast<std::size_t>(NearestSource(x, src.GetWidth(), newW)) * B;
    const std::size_t dstRow = static_cast<std::size_t>(newW) * B;
    std::uint32_t previous = std::numeric_limits<std::uint32_t>::max();
    for (std::uint32_t y = 0; y < newH; ++y) {
        const std::uint32_t sy = NearestSource(y, src.GetHeight(), newH);
        std::uint8_t* d = dst + y * dstRow;
        if (sy == previous) { // enlarging repeats rows: copy the one just made
            std::memcpy(d, d - dstRow, dstRow);
            continue;
        }
        const std::uint8_t* s = src.Row(sy);
        for (std::uint32_t x = 0; x < newW; ++x)
            std::memcpy(d + x * B, s + column[x], B);
        previous = sy;
    }
}

// ---- bicubic ----

// Catmull-Rom cubic (a = -0.5): interpolating, so a 1:1 resample reproduces the source.
float Cubic(double d)
{
    d = std::fabs(d);
    if (d < 1)
        return static_cast<float>((1.5 * d - 2.5) * d * d + 1);
    if (d < 2)
        return static_cast<float>(((-0.5 * d + 2.5) * d - 4) * d + 2);
    return 0.0f;
}

// Four taps per output sample: element offsets into a row (or row numbers) and weights.
struct Taps {
    std::vector<std::uint32_t> offset;
    std::vector<float> weight;
};

// Output sample x sits at plane coordinate (x + 0.5) * origLen / (dstLen * box) - 0.5, where the
// plane is the source after a box prefilter of `box` pixels (1 when there is none). Taps that
// fall outside the plane read the border pixel (repeat) or contribute nothing, which is the
// zero background (black, and transparent when there is alpha).
Taps MakeTaps(std::uint32_t planeLen,
    std::uint32_t origLen,
    std::uint32_t box,
    std::uint32_t dstLen,
    bool background,
    std::uint32_t step)
{
    Taps t;
    t.offset.resize(std::size_t { dstLen } * 4);
    t.weight.resize(std::size_t { dstLen } * 4);
    const double scale = static_cast<double>(origLen) / (static_cast<double>(dstLen) * box);
    for (std::uint32_t x = 0; x < dstLen; ++x) {
        const double pos = (x + 0.5) * scale - 0.5;
        const std::int64_t first = static_cast<std::int64_t>(std::floor(pos)) - 1;
        double w[4], sum = 0;
        for (int j = 0; j < 4; ++j)
            sum += w[j] = Cubic(pos - static_cast<double>(first + j));
        for (int j = 0; j < 4; ++j) {
            const std::int64_t at = first + j;
            const bool outside = at < 0 || at >= static_cast<std::int64_t>(planeLen);
            const std::int64_t clamped = std::clamp<std::int64_t>(at, 0, static_cast<std::int64_t>(planeLen) - 1);
            t.offset[x * 4 + j] = static_cast<std::uint32_t>(clamped * step);
            t.weight[x * 4 + j] = outside && background ? 0.0f : static_cast<float>(w[j] / sum);
        }
    }
    return t;
}

// Box prefilter: averages kx by ky blocks (the last ones partial), alpha-weighted when there is
// alpha so that transparent pixels lend no colour. Acc must hold kx * ky * 255 * 255.
template <typename Acc, int C>
void BoxReduceRows(ops::RowReader& reader,
    std::uint32_t w,
    std::uint32_t h,
    std::uint32_t kx,
    std::uint32_t ky,
    std::uint32_t pw,
    std::vector<std::uint8_t>& plane)
{
    std::vector<Acc> acc(static_cast<std::size_t>(pw) * C);
    std::uint8_t* out = plane.data();
    for (std::uint32_t y0 = 0; y0 < h; y0 += ky) {
        const std::uint32_t y1 = std::min(h, y0 + ky);
        std::fill(acc.begin(), acc.end(), Acc { 0 });
        for (std::uint32_t y = y0; y < y1; ++y) {
            const std::uint8_t* row = reader.Get(y);
            for (std::uint32_t bx = 0; bx < pw; ++bx) {
                Acc* a = acc.data() + static_cast<std::size_t>(bx) * C;
                const std::uint32_t xe = std::min(w, (bx + 1) * kx);
                for (std::uint32_t x = bx * kx; x < xe; ++x) {
                    const std::uint8_t* p = row + static_cast<std::size_t>(x) * C;
                    if constexpr (C == 3) {
                        a[0] += p[0], a[1] += p[1], a[2] += p[2];
                    } else {
                        const Acc alpha = p[3];
                        a[0] += p[0] * alpha, a[1] += p[1] * alpha, a[2] += p[2] * alpha, a[3] += alpha;
                    }
                }
            }
        }
        for (std::uint32_t bx = 0; bx < pw; ++bx, out += C) {
            const Acc* a = acc.data() + static_cast<std::size_t>(bx) * C;
            const Acc area = static_cast<Acc>(std::min(w, (bx + 1) * kx) - bx * kx) * (y1 - y0);
            if constexpr (C == 3) {
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<std::uint8_t>((a[c] + area / 2) / area);
            } else if (a[3] == 0) {
                out[0] = out[1] = out[2] = out[3] = 0;
            } else {
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<std::uint8_t>((a[c] + a[3] / 2) / a[3]);
                out[3] = static_cast<std::uint8_t>((a[3] + area / 2) / area);
            }
        }
    }
}

// Horizontal pass of one row into floats; with alpha the colour is premultiplied so that
// transparent neighbours do not bleed their colour into the edge.
template <int C> void FilterRow(const std::uint8_t* in, const Taps& t, std::uint32_t dstW, float* out)
{
    const std::uint32_t* o = t.offset.data();
    const float* w = t.weight.data();
    for (std::uint32_t x = 0; x < dstW; ++x, o += 4, w += 4, out += C) {
        const std::uint8_t* p0 = in + o[0];
        const std::uint8_t* p1 = in + o[1];
        const std::uint8_t* p2 = in + o[2];
        const std::uint8_t* p3 = in + o[3];
        if constexpr (C == 3) {
            for (int c = 0; c < 3; ++c)
                out[c] = w[0] * p0[c] + w[1] * p1[c] + w[2] * p2[c] + w[3] * p3[c];
        } else {
            const float a0 = w[0] * p0[3], a1 = w[1] * p1[3], a2 = w[2] * p2[3], a3 = w[3] * p3[3];
            for (int c = 0; c < 3; ++c)
                out[c] = a0 * p0[c] + a1 * p1[c] + a2 * p2[c] + a3 * p3[c];
            out[3] = a0 + a1 + a2 + a3;
        }
    }
}

std::uint8_t RoundByte(float v)
{
    return static_cast<std::uint8_t>(v <= 0.0f ? 0 : v >= 255.0f ? 255 : static_cast<int>(v + 0.5f));
}

template <int C, typename Fetch>
void BicubicRows(Fetch fetch,
    const Taps& tx,
    const Taps& ty,
    std::uint32_t newW,
    std::uint32_t newH,
    bool quantize5,
    std::uint8_t* dst)
{
    // The vertical taps of one output row span at most four consecutive source rows, and move
    // only forward, so a ring of four filtered rows indexed by row number mod 4 suffices.
    const std::size_t rowFloats = static_cast<std::size_t>(newW) * C;
    std::vector<float> ring(rowFloats * 4);
    std::array<std::int64_t, 4> held = { -1, -1, -1, -1 };
    for (std::uint32_t y = 0; y < newH; ++y) {
        const float* r[4];
        for (int j = 0; j < 4; ++j) {
            const std::uint32_t sy = ty.offset[y * 4 + j];
            const std::size_t slot = sy & 3;
            if (held[slot] != sy) {
                FilterRow<C>(fetch(sy), tx, newW, ring.data() + slot * rowFloats);
                held[slot] = sy;
            }
            r[j] = ring.data() + slot * rowFloats;
        }
        const float* w = ty.weight.data() + y * 4;
        std::uint8_t* d = dst + y * static_cast<std::size_t>(newW) * C;
        if constexpr (C == 3) {
            for (std::size_t i = 0; i < rowFloats; ++i) {
                const std::uint8_t v = RoundByte(w[0] * r[0][i] + w[1] * r[1][i] + w[2] * r[2][i] + w[3] * r[3][i]);
                d[i] = quantize5 ? Quantize5(v) : v;
            }
        } else {
            for (std::size_t i = 0; i < rowFloats; i += 4) {
                float v[4];
                for (int c = 0; c < 4; ++c)
                    v[c] = w[0] * r[0][i + c] + w[1] * r[1][i + c] + w[2] * r[2][i + c] + w[3] * r[3][i + c];
                if (v[3] < 0.5f) {
                    d[i] = d[i + 1] = d[i + 2] = d[i + 3] = 0;
                    continue;
                }
                for (int c = 0; c < 3; ++c)
                    d[i + c] = RoundByte(v[c] / v[3]);
                d[i + 3] = RoundByte(v[3]);
            }
        }
    }
}

// Bicubic into true colour: indexed sources work through their palette and give 24 bits, or 32
// when the palette has transparency. When averaging is allowed and an axis shrinks by more than
// 2x, that axis is first box-averaged by the whole factor floor(src / new), so that the cubic
// only ever shrinks by less than 2x and no source pixel is skipped; the box pass also bounds
// the work by one read of the source.
template <int C>
void Bicubic(const CxImage& src,
    std::uint32_t newW,
    std::uint32_t newH,
    bool background,
    bool averaging,
    std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = src.GetWidth(), h = src.GetHeight();
    const std::uint32_t kx = averaging && w > 2 * std::uint64_t { newW } ? w / newW : 1;
    const std::uint32_t ky = averaging && h > 2 * std::uint64_t { newH } ? h / newH : 1;
    const bool quantize5 = src.GetBpp() == 16;
    out.resize(static_cast<std::size_t>(newW) * newH * C);
    ops::RowReader reader(src, C);
    if (kx == 1 && ky == 1) {
        const Taps tx = MakeTaps(w, w, 1, newW, background, C);
        const Taps ty = MakeTaps(h, h, 1, newH, background, 1);
        BicubicRows<C>([&](std::uint32_t y) { return reader.Get(y); }, tx, ty, newW, newH, quantize5, out.data());
        return;
    }
    const std::uint32_t pw = (w + kx - 1) / kx, ph = (h + ky - 1) / ky;
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(pw) * ph * C);
    if (static_cast<std::uint64_t>(kx) * ky * 255 * 255 < std::numeric_limits<std::uint32_t>::max())
        BoxReduceRows<std::uint32_t, C>(reader, w, h, kx, ky, pw, plane);
    else
        BoxReduceRows<std::uint64_t, C>(reader, w, h, kx, ky, pw, plane);
    const Taps tx = MakeTaps(pw, w, kx, newW, background, C);
    const Taps ty = MakeTaps(ph, h, ky, newH, background, 1);
    const std::size_t planeRow = static_cast<std::size_t>(pw) * C;
    BicubicRows<C>(
        [&](std::uint32_t y) { return plane.data() + y * planeRow; }, tx, ty, newW, newH, quantize5, out.data());
}

} // namespace

bool CxImage::Resample2(std::uint32_t newWidth,
    std::uint32_t newHeight,
    int interpolation,
    int overflow,
    CxImage* destination,
    bool disableAveraging)
{
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    if (newWidth == 0 || newHeight == 0) {
        SetLastError("cannot resample to " + std::to_string(newWidth) + " x " + std::to_string(newHeight)
            + ": the new size has no pixels");
        return false;
    }
    if (interpolation != kInterpolationNearest && interpolation != kInterpolationBicubic) {
        SetLastError("unsupported interpolation method " + std::to_string(interpolation));
        return false;
    }
    if (overflow != kOverflowBackground && overflow != kOverflowRepeat) {
        SetLastError("unsupported overflow method " + std::to_string(overflow));
        return false;
    }
    if (Result r = CheckDimensions(newWidth, newHeight, DefaultLimits()); !r)
        return Report(r);
    try {
        ops::BorrowedPixels borrowed(destination, this);
        std::vector<std::uint8_t>& out = borrowed.buffer;
        std::uint32_t outBpp = bpp_;
        if (interpolation == kInterpolationNearest) {
            // Every depth keeps its stored values: indices stay indices, 16-bit values stay 5-bit.
            out.resize(static_cast<std::size_t>(newWidth) * newHeight * GetBytesPerPixel());
            switch (GetBytesPerPixel()) {
            case 1:
                NearestRows<1>(*this, newWidth, newHeight, out.data());
                break;
            case 3:
                NearestRows<3>(*this, newWidth, newHeight, out.data());
                break;
            default:
                NearestRows<4>(*this, newWidth, newHeight, out.data());
                break;
            }
        } else {
            const bool background = overflow == kOverflowBackground;
            const bool alpha = bpp_ == 32 || ops::PaletteHasAlpha(*this);
            if (alpha)
                Bicubic<4>(*this, newWidth, newHeight, background, !disableAveraging, out);
            else
                Bicubic<3>(*this, newWidth, newHeight, background, !disableAveraging, out);
            outBpp = alpha ? 32 : bpp_ == 16 ? 16 : 24;
        }
        // A destination keeps its own type and takes the rest of the description from here.
        CxImage& t = destination ? *destination : *this;
        if (&t != this) {
            t.palette_ = outBpp <= 8 ? palette_ : std::vector<RGBQuad> {};
            t.transIndex_ = transIndex_;
            t.xdpi_ = xdpi_, t.ydpi_ = ydpi_;
        }
        if (outBpp > 8) {
            t.palette_.clear();
            t.transIndex_ = -1;
        }
        t.pixels_.swap(out);
        t.width_ = newWidth, t.height_ = newHeight, t.bpp_ = outBpp;
        borrowed.Done();
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while resampling");
        return false;
    }
}

} // namespace codec
