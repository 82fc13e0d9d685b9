// Colour reduction: palettes from a histogram, exact nearest-colour lookup, error diffusion.

#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace codec::ops {

bool PaletteHasAlpha(const CxImage& img)
{
    if (!img.IsIndexed())
        return false;
    const auto& pal = img.Palette();
    const int trans = img.GetTransIndex();
    if (trans >= 0 && static_cast<std::size_t>(trans) < pal.size())
        return true;
    return std::any_of(pal.begin(), pal.end(), [](const RGBQuad& c) { return c.alpha != 255; });
}

RowReader::RowReader(const CxImage& img, int channels)
    : img_(img)
    , channels_(channels)
    , direct_(!img.IsIndexed() && static_cast<int>(img.GetBytesPerPixel()) == channels)
{
    if (img.IsIndexed()) {
        const auto& pal = img.Palette();
        const int trans = img.GetTransIndex();
        for (int i = 0; i < 256; ++i) {
            // An index past the palette reads as opaque black, as GetPixelColor does.
            RGBQuad c = static_cast<std::size_t>(i) < pal.size() ? pal[i] : RGBQuad {};
            if (i == trans)
                c.alpha = 0;
            lut_[i * 4 + 0] = c.red;
            lut_[i * 4 + 1] = c.green;
            lut_[i * 4 + 2] = c.blue;
            lut_[i * 4 + 3] = c.alpha;
        }
    }
    if (!direct_)
        scratch_.resize(static_cast<std::size_t>(img.GetWidth()) * channels);
}

const std::uint8_t* RowReader::Get(std::uint32_t y)
{
    const std::uint8_t* s = img_.Row(y);
    if (direct_)
        return s;
    const std::uint32_t w = img_.GetWidth();
    std::uint8_t* d = scratch_.data();
    if (img_.IsIndexed()) {
        if (channels_ == 4) {
            for (std::uint32_t x = 0; x < w; ++x)
                std::memcpy(d + x * 4, lut_.data() + s[x] * 4, 4);
        } else {
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint8_t* c = lut_.data() + s[x] * 4;
                d[x * 3] = c[0], d[x * 3 + 1] = c[1], d[x * 3 + 2] = c[2];
            }
        }
    } else if (channels_ == 3) { // RGBA to RGB
        for (std::uint32_t x = 0; x < w; ++x)
            d[x * 3] = s[x * 4], d[x * 3 + 1] = s[x * 4 + 1], d[x * 3 + 2] = s[x * 4 + 2];
    } else { // RGB to opaque RGBA
        for (std::uint32_t x = 0; x < w; ++x)
            d[x * 4] = s[x * 3], d[x * 4 + 1] = s[x * 3 + 1], d[x * 4 + 2] = s[x * 3 + 2], d[x * 4 + 3] = 255;
    }
    return d;
}

// ---- palette building ----

ColorHistogram::ColorHistogram()
    : cells_(std::size_t { 1 } << (3 * kBits))
{
}

namespace {

struct Box {
    int lo[3];
    int hi[3];
    std::uint64_t count = 0;
    double sum[3] = { 0, 0, 0 };
    double error = 0; // sum of squared distances to the box's mean
    bool splittable = false;
};

// Shrinks a box to its occupied cells and totals it.
void MeasureBox(const ColorHistogram& h, Box& box)
{
    int lo[3] = { ColorHistogram::kSide, ColorHistogram::kSide, ColorHistogram::kSide };
    int hi[3] = { -1, -1, -1 };
    std::uint64_t count = 0, sr = 0, sg = 0, sb = 0;
    double squares = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const auto& c = h.At(r, g, b);
                if (c.count == 0)
                    continue;
                count += c.count, sr += c.r, sg += c.g, sb += c.b;
                squares += static_cast<double>(c.squares);
                lo[0] = std::min(lo[0], r), hi[0] = std::max(hi[0], r);
                lo[1] = std::min(lo[1], g), hi[1] = std::max(hi[1], g);
                lo[2] = std::min(lo[2], b), hi[2] = std::max(hi[2], b);
            }
    box.count = count;
    if (count == 0) {
        box.splittable = false;
        box.error = 0;
        return;
    }
    std::copy(lo, lo + 3, box.lo);
    std::copy(hi, hi + 3, box.hi);
    box.sum[0] = static_cast<double>(sr), box.sum[1] = static_cast<double>(sg), box.sum[2] = static_cast<double>(sb);
    const double n = static_cast<double>(count);
    box.error = squares - (box.sum[0] * box.sum[0] + box.sum[1] * box.sum[1] + box.sum[2] * box.sum[2]) / n;
    box.splittable = lo[0] != hi[0] || lo[1] != hi[1] || lo[2] != hi[2];
}

// Splits at the axis and cut that maximise sum(|S|^2 / n) over the two halves, which is the same
// as leaving the least squared error.
bool SplitBox(const ColorHistogram& h, Box& box, Box& other)
{
    struct Slice {
        double n = 0, s[3] = { 0, 0, 0 };
    };
    Slice marg[3][ColorHistogram::kSide];
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g)
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                const auto& c = h.At(r, g, b);
                if (c.count == 0)
                    continue;
                const int at[3] = { r, g, b };
                for (int a = 0; a < 3; ++a) {
                    Slice& s = marg[a][at[a]];
                    s.n += static_cast<double>(c.count);
                    s.s[0] += static_cast<double>(c.r), s.s[1] += static_cast<double>(c.g),
                        s.s[2] += static_cast<double>(c.b);
                }
            }
    const double total = static_cast<double>(box.count);
    double bestGain = -1;
    int bestAxis = -1, bestCut = 0;
    for (int a = 0; a < 3; ++a) {
        Slice left;
        for (int cut = box.lo[a]; cut < box.hi[a]; ++cut) {
            const Slice& s = marg[a][cut];
            left.n += s.n;
            for (int k = 0; k < 3; ++k)
                left.s[k] += s.s[k];
            const double rn = total - left.n;
            if (left.n <= 0 || rn <= 0)
                continue;
            double l2 = 0, r2 = 0;
            for (int k = 0; k < 3; ++k) {
                const double rs = box.sum[k] - left.s[k];
                l2 += left.s[k] * left.s[k];
                r2 += rs * rs;
            }
            const double gain = l2 / left.n + r2 / rn;
            if (gain > bestGain)
                bestGain = gain, bestAxis = a, bestCut = cut;
        }
    }
    if (bestAxis < 0)
        return false;
    other = box;
    box.hi[bestAxis] = bestCut;
    other.lo[bestAxis] = bestCut + 1;
    MeasureBox(h, box);
    MeasureBox(h, other);
    return true;
}

} // namespace

std::vector<RGBQuad> ColorHistogram::BuildPalette(std::size_t maxColors) const
{
    std::vector<Box> boxes;
    if (maxColors == 0)
        return {};
    Box all;
    for (int a = 0; a < 3; ++a)
        all.lo[a] = 0, all.hi[a] = kSide - 1;
    MeasureBox(*this, all);
    if (all.count == 0)
        return {};
    boxes.reserve(maxColors);
    boxes.push_back(all);
    while (boxes.size() < maxColors) {
        std::size_t pick = boxes.size();
        double worst = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].splittable && boxes[i].error > worst)
                worst = boxes[i].error, pick = i;
        if (pick == boxes.size())
            break;
        Box other;
        if (!SplitBox(*this, boxes[pick], other)) {
            boxes[pick].splittable = false;
            continue;
        }
        boxes.push_back(other);
    }
    std::vector<RGBQuad> palette;
    palette.reserve(boxes.size());
    for (const Box& b : boxes) {
        const double n = static_cast<double>(b.count);
        auto mean = [n](double s) { return static_cast<std::uint8_t>(std::min(255.0, s / n + 0.5)); };
        palette.push_back(RGBQuad { mean(b.sum[0]), mean(b.sum[1]), mean(b.sum[2]), 255 });
    }
    Refine(palette);
    return palette;
}

// Box splits never move a colour across a cut once made; a few rounds of moving every entry to
// the mean of the cells nearest to it (k-means over the occupied cells) undo the worst of that.
void ColorHistogram::Refine(std::vector<RGBQuad>& palette) const
{
    struct Point {
        int r, g, b;
        std::size_t cell;
    };
    std::vector<Point> points;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        const Cell& c = cells_[i];
        if (c.count == 0)
            continue;
        const double n = static_cast<double>(c.count);
        points.push_back(Point { static_cast<int>(static_cast<double>(c.r) / n + 0.5),
            static_cast<int>(static_cast<double>(c.g) / n + 0.5),
            static_cast<int>(static_cast<double>(c.b) / n + 0.5),
            i });
    }
    if (points.size() <= palette.size())
        return;
    struct Sum {
        double n = 0, r = 0, g = 0, b = 0;
    };
    std::vector<Sum> sums(palette.size());
    for (int round = 0; round < kRefineRounds; ++round) {
        NearestColorMap map(palette);
        std::fill(sums.begin(), sums.end(), Sum {});
        for (const Point& p : points) {
            const Cell& c = cells_[p.cell];
            Sum& s = sums[map.Find(p.r, p.g, p.b)];
            s.n += static_cast<double>(c.count);
            s.r += static_cast<double>(c.r), s.g += static_cast<double>(c.g), s.b += static_cast<double>(c.b);
        }
        bool moved = false;
        for (std::size_t i = 0; i < palette.size(); ++i) {
            if (sums[i].n == 0)
                continue; // keeps its place; nothing chose it this round
            auto mean = [&](double v) { return static_cast<std::uint8_t>(std::min(255.0, v / sums[i].n + 0.5)); };
            const RGBQuad c { mean(sums[i].r), mean(sums[i].g), mean(sums[i].b), 255 };
            moved = moved || !(c == palette[i]);
            palette[i] = c;
        }
        if (!moved)
            break;
    }
}

// ---- nearest colour ----

NearestColorMap::NearestColorMap(std::span<const RGBQuad> palette)
    : palette_(palette.begin(), palette.begin() + std::min<std::size_t>(palette.size(), 256))
    , cellStart_(std::size_t { 1 } << (3 * kCellBits), kUnset)
    , cellCount_(std::size_t { 1 } << (3 * kCellBits), 0)
{
    if (palette_.empty())
        palette_.push_back(RGBQuad {}); // keeps Find defined; callers never pass none
}

void NearestColorMap::FillCell(std::size_t cell)
{
    constexpr int kMask = (1 << kCellBits) - 1, kShift = 8 - kCellBits, kLast = (1 << kShift) - 1;
    const int lo[3] = { static_cast<int>(cell >> (2 * kCellBits)) << kShift,
        static_cast<int>((cell >> kCellBits) & kMask) << kShift,
        static_cast<int>(cell & kMask) << kShift };
    // An entry can be nearest somewhere in the cell only if its closest approach to the cell is
    // no farther than the best guaranteed distance (the smallest farthest-corner distance).
    auto minDist = [&](const RGBQuad& p) {
        const int v[3] = { p.red, p.green, p.blue };
        int d = 0;
        for (int a = 0; a < 3; ++a) {
            const int t = v[a] < lo[a] ? lo[a] - v[a] : v[a] > lo[a] + kLast ? v[a] - lo[a] - kLast : 0;
            d += t * t;
        }
        return d;
    };
    auto maxDist = [&](const RGBQuad& p) {
        const int v[3] = { p.red, p.green, p.blue };
        int d = 0;
        for (int a = 0; a < 3; ++a) {
            const int t = std::max(std::abs(v[a] - lo[a]), std::abs(v[a] - lo[a] - kLast));
            d += t * t;
        }
        return d;
    };
    int bound = std::numeric_limits<int>::max();
    for (const RGBQuad& p : palette_)
        bound = std::min(bound, maxDist(p));
    const std::size_t start = candidates_.size();
    for (std::size_t i = 0; i < palette_.size(); ++i)
        if (const int d = minDist(palette_[i]); d <= bound)
            candidates_.push_back(Candidate { d, static_cast<std::uint8_t>(i) });
    std::stable_sort(candidates_.begin() + static_cast<std::ptrdiff_t>(start),
        candidates_.end(),
        [](const Candidate& a, const Candidate& b) { return a.minDist < b.minDist; });
    cellStart_[cell] = static_cast<std::uint32_t>(start);
    cellCount_[cell] = static_cast<std::uint16_t>(candidates_.size() - start);
}

namespace {

// Visits every pixel: `input(pixel, v)` gives its N values, `output(index, v, q)` stores the result
// for the values v and gives in q the values it stands for. With error diffusion the difference
// is spread Floyd-Steinberg fashion over a serpentine scan (alternate directions avoid drifting
// streaks); errors are kept in sixteenths, and one guard pixel each side takes what falls off.
template <int N, class Input, class Output>
void Diffuse(RowReader& src, std::uint32_t width, std::uint32_t height, bool errorDiffusion, Input input, Output output)
{
    const int ch = src.Channels();
    const std::size_t stride = (static_cast<std::size_t>(width) + 2) * N;
    std::vector<int> errors(errorDiffusion ? stride * 2 : 0, 0);
    int* cur = errors.data();
    int* next = cur + (errorDiffusion ? stride : 0);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = src.Get(y);
        const std::size_t base = static_cast<std::size_t>(y) * width;
        int v[N], q[N];
        if (!errorDiffusion) {
            for (std::uint32_t x = 0; x < width; ++x) {
                input(row + static_cast<std::size_t>(x) * ch, v);
                output(base + x, v, q);
            }
            continue;
        }
        std::fill(next, next + stride, 0);
        const bool forward = (y & 1) == 0;
        const std::ptrdiff_t dir = forward ? N : -N;
        for (std::uint32_t i = 0; i < width; ++i) {
            const std::uint32_t x = forward ? i : width - 1 - i;
            int* ce = cur + (static_cast<std::size_t>(x) + 1) * N;
            int* ne = next + (static_cast<std::size_t>(x) + 1) * N;
            input(row + static_cast<std::size_t>(x) * ch, v);
            for (int c = 0; c < N; ++c)
                v[c] = ClampByte(v[c] + ((ce[c] + 8) >> 4));
            output(base + x, v, q);
            for (int c = 0; c < N; ++c) {
                const int err = v[c] - q[c];
                ce[dir + c] += err * 7;
                ne[-dir + c] += err * 3;
                ne[c] += err * 5;
                ne[dir + c] += err;
            }
        }
        std::swap(cur, next);
    }
}

void Rgb(const std::uint8_t* p, int* v)
{
    v[0] = p[0], v[1] = p[1], v[2] = p[2];
}

} // namespace

void MapToPalette(RowReader& src,
    std::uint32_t width,
    std::uint32_t height,
    std::span<const RGBQuad> palette,
    bool errorDiffusion,
    std::uint8_t* out)
{
    NearestColorMap map(palette);
    Diffuse<3>(src, width, height, errorDiffusion, Rgb, [&](std::size_t i, const int* v, int* q) {
        const std::uint8_t idx = map.Find(v[0], v[1], v[2]);
        const RGBQuad& c = map.Color(idx);
        out[i] = idx;
        q[0] = c.red, q[1] = c.green, q[2] = c.blue;
    });
}

void MapToBlackWhite(RowReader& src, std::uint32_t width, std::uint32_t height, bool errorDiffusion, std::uint8_t* out)
{
    Diffuse<1>(
        src,
        width,
        height,
        errorDiffusion,
        [](const std::uint8_t* p, int* v) { v[0] = Luma(p[0], p[1], p[2]); },
        [&](std::size_t i, const int* v, int* q) {
            const bool white = v[0] >= 128;
            out[i] = white ? 1 : 0;
            q[0] = white ? 255 : 0;
        });
}

void QuantizeTo555(RowReader& src, std::uint32_t width, std::uint32_t height, bool errorDiffusion, std::uint8_t* out)
{
    Diffuse<3>(src, width, height, errorDiffusion, Rgb, [&](std::size_t i, const int* v, int* q) {
        for (int c = 0; c < 3; ++c)
            out[i * 3 + c] = static_cast<std::uint8_t>(q[c] = Quantize5(static_cast<std::uint8_t>(v[c])));
    });
}

bool ExactPalette(RowReader& src,
    std::uint32_t width,
    std::uint32_t height,
    std::size_t maxColors,
    std::vector<RGBQuad>& palette,
    std::uint8_t* indices)
{
    maxColors = std::min<std::size_t>(maxColors, 256);
    palette.clear();
    // Open addressing on the 24-bit colour; key 0 marks an empty slot, so keys are colour + 1.
    constexpr int kSlotsBits = 10;
    std::vector<std::uint32_t> keys(std::size_t { 1 } << kSlotsBits, 0);
    std::vector<std::uint8_t> values(keys.size(), 0);
    const std::size_t mask = keys.size() - 1;
    const int ch = src.Channels();
    std::uint32_t lastKey = 0;
    std::uint8_t lastIndex = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = src.Get(y);
        std::uint8_t* o = indices + static_cast<std::size_t>(y) * width;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * ch;
            const std::uint32_t key = ((std::uint32_t { p[0] } << 16) | (p[1] << 8) | p[2]) + 1;
            if (key != lastKey) {
                std::size_t slot = (key * 2654435761u) >> (32 - kSlotsBits);
                while (keys[slot] != 0 && keys[slot] != key)
                    slot = (slot + 1) & mask;
                if (keys[slot] == 0) {
                    if (palette.size() == maxColors)
                        return false;
                    keys[slot] = key;
                    values[slot] = static_cast<std::uint8_t>(palette.size());
                    palette.push_back(RGBQuad { p[0], p[1], p[2], 255 });
                }
                lastKey = key;
                lastIndex = values[slot];
            }
            o[x] = lastIndex;
        }
    }
    return true;
}

} // namespace codec::ops
