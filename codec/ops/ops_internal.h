#pragma once

// Helpers shared by the pixel operations in this folder; not part of the library's interface.

#include "codec/ximage.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace codec::ops {

/// Rec. 601 luma, rounded: (299 R + 587 G + 114 B + 500) / 1000. GrayScale, the 1-bit
/// threshold and the red-eye test all use this one formula so that they agree.
constexpr std::uint8_t Luma(int r, int g, int b)
{
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

constexpr std::uint8_t ClampByte(int v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

/// True when an indexed image draws any pixel value translucent (a transparent index or a
/// palette alpha below 255), so that expanding it needs an alpha channel.
bool PaletteHasAlpha(const CxImage& img);

/// Lends a destination image's pixel memory to an operation writing into it, so that repeated
/// operations into the same destination do not allocate. If the operation does not finish, the
/// memory goes back when it still fits the destination's shape; otherwise the destination is
/// emptied rather than left with pixels that do not match its size.
class BorrowedPixels {
public:
    /// Borrows nothing when there is no destination or it is the image itself.
    BorrowedPixels(CxImage* destination, const CxImage* self)
        : dest_(destination && destination != self ? destination : nullptr)
    {
        if (dest_)
            buffer.swap(dest_->Pixels());
    }
    ~BorrowedPixels()
    {
        if (!dest_ || done_)
            return;
        if (buffer.size() == dest_->GetRowBytes() * dest_->GetHeight())
            dest_->Pixels().swap(buffer);
        else
            dest_->Destroy();
    }
    BorrowedPixels(const BorrowedPixels&) = delete;
    BorrowedPixels& operator=(const BorrowedPixels&) = delete;
    /// The destination has adopted the result.
    void Done() { done_ = true; }
    std::vector<std::uint8_t> buffer;

private:
    CxImage* dest_;
    bool done_ = false;
};

/// Reads an image's rows as packed colour: RGB (3 bytes) or RGBA (4 bytes). True-colour rows
/// whose layout already matches are returned in place; indexed rows are expanded through the
/// palette into one scratch row, so a row pointer stays valid only until the next Get.
class RowReader {
public:
    /// `channels` is 3 or 4. Asking 3 of a 32-bit image drops alpha; asking 4 of a 24-bit image
    /// gives opaque alpha; indexed images take alpha from the palette and the transparent index.
    RowReader(const CxImage& img, int channels);
    const std::uint8_t* Get(std::uint32_t y);
    int Channels() const { return channels_; }

private:
    const CxImage& img_;
    int channels_;
    bool direct_;
    std::array<std::uint8_t, 256 * 4> lut_ {};
    std::vector<std::uint8_t> scratch_;
};

/// Colour histogram on a 6-bit-per-channel grid, keeping the exact colour sums of every cell so
/// that palette entries are true means rather than cell centres.
class ColorHistogram {
public:
    static constexpr int kBits = 6;
    static constexpr int kSide = 1 << kBits;
    static constexpr int kShift = 8 - kBits;
    struct Cell {
        std::uint64_t count = 0;
        std::uint64_t r = 0, g = 0, b = 0;
        std::uint64_t squares = 0; // sum of r^2 + g^2 + b^2, for the squared error of a box
    };

    ColorHistogram();
    void Add(int r, int g, int b, std::uint64_t weight = 1)
    {
        Cell& c = cells_[Index(r >> kShift, g >> kShift, b >> kShift)];
        c.count += weight;
        c.r += weight * static_cast<unsigned>(r);
        c.g += weight * static_cast<unsigned>(g);
        c.b += weight * static_cast<unsigned>(b);
        c.squares += weight * static_cast<unsigned>(r * r + g * g + b * b);
    }
    static constexpr std::size_t Index(int r, int g, int b)
    {
        return (static_cast<std::size_t>(r) << (2 * kBits)) | (g << kBits) | b;
    }
    const Cell& At(int r, int g, int b) const { return cells_[Index(r, g, b)]; }

    /// At most `maxColors` representative colours: boxes of the grid are split greedily, always
    /// the box with the largest squared error, at the cut that leaves the least error. Fewer
    /// colours come back when the histogram has fewer occupied cells.
    std::vector<RGBQuad> BuildPalette(std::size_t maxColors) const;

private:
    static constexpr int kRefineRounds = 4;
    void Refine(std::vector<RGBQuad>& palette) const;
    std::vector<Cell> cells_;
};

/// Exact nearest palette entry by squared RGB distance (ties go to the lower index). Each cell of
/// a 32x32x32 grid lazily keeps the few entries that can be nearest for some colour inside it, so
/// a lookup compares against a handful of entries instead of the whole palette.
class NearestColorMap {
public:
    explicit NearestColorMap(std::span<const RGBQuad> palette);
    std::uint8_t Find(int r, int g, int b)
    {
        constexpr int kShift = 8 - kCellBits;
        const std::size_t cell
            = (static_cast<std::size_t>(r >> kShift) << (2 * kCellBits)) | ((g >> kShift) << kCellBits) | (b >> kShift);
        if (cellStart_[cell] == kUnset)
            FillCell(cell);
        const Candidate* cand = candidates_.data() + cellStart_[cell];
        const int n = cellCount_[cell];
        int best = cand[0].index;
        if (n == 1)
            return static_cast<std::uint8_t>(best);
        int bestDist = Distance(best, r, g, b);
        // Candidates come closest first; one whose closest approach to the cell is already
        // farther than the best distance found cannot win, nor can any after it.
        for (int i = 1; i < n && cand[i].minDist <= bestDist; ++i) {
            const int d = Distance(cand[i].index, r, g, b);
            if (d < bestDist || (d == bestDist && cand[i].index < best))
                bestDist = d, best = cand[i].index;
        }
        return static_cast<std::uint8_t>(best);
    }
    const RGBQuad& Color(std::uint8_t index) const { return palette_[index]; }

private:
    static constexpr int kCellBits = 5;
    static constexpr std::uint32_t kUnset = 0xFFFFFFFFu;
    int Distance(int i, int r, int g, int b) const
    {
        const int dr = palette_[i].red - r, dg = palette_[i].green - g, db = palette_[i].blue - b;
        return dr * dr + dg * dg + db * db;
    }
    void FillCell(std::size_t cell);

    std::vector<RGBQuad> palette_;
    std::vector<std::uint32_t> cellStart_;
    std::vector<std::uint16_t> cellCount_;
    struct Candidate {
        int minDist; // squared distance from the entry to the nearest point of the cell
        std::uint8_t index;
    };
    std::vector<Candidate> candidates_;
};

/// Maps every pixel of `src` to an index of `palette` (at most 256 entries), optionally with
/// serpentine Floyd-Steinberg error diffusion. `out` receives width x height indices.
void MapToPalette(RowReader& src,
    std::uint32_t width,
    std::uint32_t height,
    std::span<const RGBQuad> palette,
    bool errorDiffusion,
    std::uint8_t* out);

/// Maps every pixel to 0 (black) or 1 (white) by luma: a threshold at 128, or serpentine
/// Floyd-Steinberg diffusion of the luma error.
void MapToBlackWhite(RowReader& src, std::uint32_t width, std::uint32_t height, bool errorDiffusion, std::uint8_t* out);

/// Quantises RGB to the 5-bit-per-channel values a 16-bit image stores, optionally diffusing the
/// error. `out` receives 3 bytes a pixel.
void QuantizeTo555(RowReader& src, std::uint32_t width, std::uint32_t height, bool errorDiffusion, std::uint8_t* out);

/// The distinct RGB colours of the image if there are at most `maxColors`, in order of first
/// appearance, with every pixel's index into that list written to `indices`; false (and
/// `indices` unspecified) when there are more.
bool ExactPalette(RowReader& src,
    std::uint32_t width,
    std::uint32_t height,
    std::size_t maxColors,
    std::vector<RGBQuad>& palette,
    std::uint8_t* indices);

} // namespace codec::ops
