#pragma once

// CxImage: one raster with its depth, palette, resolution, image type and last error.
//
// Storage is chosen so that pixel work never has to unpack bits:
//   - depth 1, 4, 8: one palette index per byte, palette of at most 2^depth entries;
//   - depth 16, 24:  three bytes R, G, B per pixel; at depth 16 every channel holds a
//                    5-bit value widened to 8 bits ((v5 << 3) | (v5 >> 2)), so what is stored
//                    is exactly what a 5-5-5 file can hold;
//   - depth 32:      four bytes R, G, B, A per pixel (A = 255 opaque).
// Rows run top to bottom with no padding. Files' own layouts are the formats' business.

#include "codec/metadata.h"
#include "codec/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace codec {

/// What a caller that will shrink the picture anyway lets a reader skip. Given the picture's
/// full width and height, `minimumSize` says the smallest width and height the caller needs;
/// a reader that can decode at a reduced scale (JPEG: 1/2, 1/4 or 1/8) takes the smallest scale
/// that still gives at least that in both directions. A zero side, a size not below the full
/// one, or a format without scaled decoding gives the full picture. The limits still apply to
/// the full size, so a file is refused or read exactly as without the hint.
struct LoadHints {
    struct Size {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
    };
    std::function<Size(std::uint32_t width, std::uint32_t height)> minimumSize;
};

/// One palette entry; `alpha` 0 is fully transparent.
struct RGBQuad {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    friend bool operator==(const RGBQuad&, const RGBQuad&) = default;
};

/// The numeric image types shared by the whole system.
enum ImageType : std::uint32_t {
    kTypeUnknown = 0,
    kTypeBmp = 1,
    kTypeGif = 2,
    kTypeJpg = 3,
    kTypePng = 4,
    kTypeIco = 5,
    kTypeTif = 6,
    kTypeTga = 7,
    kTypePcx = 8,
    kTypeWbmp = 9,
    kTypeWmf = 10,
    kTypeJp2 = 11,
    kTypeJpc = 12,
    kTypePgx = 13,
    kTypePnm = 14,
    kTypeRas = 15,
    // Modern formats, after the fifteen originals.
    kTypeWebp = 16,
    kTypeAvif = 17,
    kTypeJxl = 18,
    kTypeCount = 19,
};

/// Resample2 interpolation and overflow methods (the numbers are part of the interface).
enum Interpolation : int { kInterpolationNearest = 1, kInterpolationBicubic = 5 };
enum Overflow : int { kOverflowBackground = 2, kOverflowRepeat = 5 };

/// Widens a 5-bit channel value to 8 bits the way 16-bit images store it.
constexpr std::uint8_t Widen5(std::uint8_t v5)
{
    return static_cast<std::uint8_t>((v5 << 3) | (v5 >> 2));
}
/// Rounds an 8-bit channel to the nearest value a 5-bit channel can hold, widened again.
constexpr std::uint8_t Quantize5(std::uint8_t v)
{
    return Widen5(static_cast<std::uint8_t>((v * 31 + 127) / 255));
}

class CxImage {
public:
    explicit CxImage(std::uint32_t type = 0);
    CxImage(const std::string& path, std::uint32_t type);
    CxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t type = 0);
    /// An independent copy with the same size, depth, palette and settings. With copyPixels false
    /// the colours (or palette indices) are blank, as Create leaves them; with copyAlpha false the
    /// copy is opaque (32-bit alpha and palette alpha 255), otherwise the alpha is copied, also
    /// without the pixels. This library keeps no selection, so copySelection has nothing to copy.
    CxImage(const CxImage& src, bool copyPixels, bool copySelection = true, bool copyAlpha = true);
    CxImage(const CxImage&) = default;
    CxImage(CxImage&&) noexcept = default;
    CxImage& operator=(const CxImage&) = default;
    CxImage& operator=(CxImage&&) noexcept = default;
    ~CxImage() = default;

    // ---- files and memory ----
    /// Loads a file. Type 0 recognises the format from the content; a given type that does not
    /// match the content falls back to recognition, so a mislabelled file still opens.
    bool Load(const std::string& path, std::uint32_t type = 0);
    /// Loads like Load(path, type), possibly at a reduced scale (see LoadHints).
    bool Load(const std::string& path, std::uint32_t type, const LoadHints& hints);
    /// Loads from bytes in memory (what LoadResource and the GIF tools use).
    bool Decode(ByteView data, std::uint32_t type = 0);
    bool Decode(ByteView data, std::uint32_t type, const LoadHints& hints);
    bool LoadResource(ByteView data, std::uint32_t type = 0) { return Decode(data, type); }
    /// Writes the image as `type` through a temporary file in the target folder that is renamed
    /// into place only when complete: a failed save leaves any earlier file untouched.
    bool Save(const std::string& path, std::uint32_t type);
    /// Encodes into memory; converts to a depth the format can hold without changing this image.
    bool Encode(std::vector<std::uint8_t>& out, std::uint32_t type) const;

    /// Why the last operation failed; empty after a successful Load or Decode.
    const char* GetLastError() const { return lastError_.c_str(); }
    void SetLastError(std::string text) const { lastError_ = std::move(text); }

    /// What the format library said about damaged data it still decoded ("Premature end of JPEG
    /// file"), once each, in the order said. Load and Decode start with none; a failed one leaves
    /// none. Copies and pixel operations keep them: they describe where the picture came from.
    const std::vector<std::string>& GetWarnings() const { return warnings_; }
    /// Adds a warning unless it is already there; blank texts and any beyond kMaxWarnings are
    /// dropped, so a badly damaged file cannot grow the list without end.
    void AddWarning(std::string text);
    void ClearWarnings() { warnings_.clear(); }
    static constexpr std::size_t kMaxWarnings = 16;

    /// EXIF, XMP and ICC profile as read from the file; copies and pixel operations keep them.
    const ImageMetadata& GetMetadata() const { return metadata_; }
    ImageMetadata& Metadata() { return metadata_; }
    void SetMetadata(ImageMetadata metadata) { metadata_ = std::move(metadata); }

    // ---- shape ----
    /// Allocates a blank (zeroed) image; false with a last error when the size is refused.
    bool Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t type = 0);
    void Destroy();
    bool IsValid() const { return width_ != 0 && height_ != 0; }
    std::uint32_t GetWidth() const { return width_; }
    std::uint32_t GetHeight() const { return height_; }
    std::uint32_t GetBpp() const { return bpp_; }
    std::uint32_t GetType() const { return type_; }
    void SetType(std::uint32_t type) { type_ = type; }
    /// Resolution in dots per inch; a value below 1 means none is known.
    std::int32_t GetXDPI() const { return xdpi_; }
    std::int32_t GetYDPI() const { return ydpi_; }
    void SetXDPI(std::int32_t dpi) { xdpi_ = dpi < 1 ? 0 : dpi; }
    void SetYDPI(std::int32_t dpi) { ydpi_ = dpi < 1 ? 0 : dpi; }

    // ---- pixels ----
    /// Bytes per stored pixel: 1 (indexed), 3 (16 and 24 bits) or 4 (32 bits).
    std::uint32_t GetBytesPerPixel() const { return BytesPerPixelFor(bpp_); }
    static std::uint32_t BytesPerPixelFor(std::uint32_t bpp) { return bpp <= 8 ? 1 : bpp == 32 ? 4 : 3; }
    std::size_t GetRowBytes() const { return static_cast<std::size_t>(width_) * GetBytesPerPixel(); }
    std::uint8_t* Row(std::uint32_t y) { return pixels_.data() + y * GetRowBytes(); }
    const std::uint8_t* Row(std::uint32_t y) const { return pixels_.data() + y * GetRowBytes(); }
    std::vector<std::uint8_t>& Pixels() { return pixels_; }
    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

    bool IsIndexed() const { return bpp_ != 0 && bpp_ <= 8; }
    std::vector<RGBQuad>& Palette() { return palette_; }
    const std::vector<RGBQuad>& Palette() const { return palette_; }
    /// Fills the palette with an even gray ramp of 2^bpp entries (indexed images only).
    void SetGrayPalette();
    /// True for an indexed image whose palette is entirely gray.
    bool IsGrayScale() const;
    /// Index of the palette entry drawn transparent, or -1.
    int GetTransIndex() const { return transIndex_; }
    void SetTransIndex(int index) { transIndex_ = index; }

    /// The colour at (x, y), with alpha; out-of-range coordinates give black.
    RGBQuad GetPixelColor(std::uint32_t x, std::uint32_t y) const;
    /// Sets a true-colour pixel (16/24/32 bits); indexed images take the nearest palette entry.
    void SetPixelColor(std::uint32_t x, std::uint32_t y, RGBQuad c);

    // ---- pixel operations (codec/ops) ----
    bool Resample2(std::uint32_t newWidth,
        std::uint32_t newHeight,
        int interpolation = kInterpolationBicubic,
        int overflow = kOverflowRepeat,
        CxImage* destination = nullptr,
        bool disableAveraging = false);
    bool IncreaseBpp(std::uint32_t bits);
    /// Reduces the depth. Without a palette: an optimised palette for 4 and 8 bits, black and
    /// white for 1 bit; 16 bits quantises the channels to 5 bits.
    bool DecreaseBpp(
        std::uint32_t bits, bool errorDiffusion, const RGBQuad* palette = nullptr, std::uint32_t colors = 0);
    /// Converts to 8-bit indexed with a gray ramp palette (luma, Rec. 601 weights).
    bool GrayScale();
    bool RedEyeRemove();
    bool RotateLeft(CxImage* destination = nullptr);
    bool RotateRight(CxImage* destination = nullptr);
    bool Rotate180(CxImage* destination = nullptr);

    /// The image as a device-independent bitmap: BITMAPINFOHEADER, palette, bottom-up rows
    /// padded to four bytes. Empty for an invalid image.
    std::vector<std::uint8_t> CopyToHandle() const;
    /// The image as top-down, non-premultiplied RGBA, 4 bytes a pixel, for drawing.
    std::vector<std::uint8_t> ExportRGBA() const;

    // ---- frames (used by the GIF encoder and decoder) ----
    void SetFrameDelay(std::uint32_t hundredths) { frameDelay_ = hundredths; }
    std::uint32_t GetFrameDelay() const { return frameDelay_; }
    void SetFrame(std::int32_t frame) { frame_ = frame; }
    std::int32_t GetFrame() const { return frame_; }
    void SetDisposalMethod(std::uint8_t method) { disposal_ = method; }
    std::uint8_t GetDisposalMethod() const { return disposal_; }
    /// Frame position on a GIF logical screen.
    void SetOffset(std::int32_t x, std::int32_t y) { offsetX_ = x, offsetY_ = y; }
    std::int32_t GetOffsetX() const { return offsetX_; }
    std::int32_t GetOffsetY() const { return offsetY_; }

    /// Adopts a result: on failure the message becomes the last error.
    bool Report(const Result& r) const;

private:
    /// The rotations' shared body: `quarters` clockwise quarter turns (1 to 3).
    bool TurnBy(int quarters, CxImage* destination);

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t bpp_ = 0;
    std::uint32_t type_ = 0;
    std::int32_t xdpi_ = 0;
    std::int32_t ydpi_ = 0;
    int transIndex_ = -1;
    std::uint32_t frameDelay_ = 0;
    std::int32_t frame_ = 0;
    std::uint8_t disposal_ = 0;
    std::int32_t offsetX_ = 0;
    std::int32_t offsetY_ = 0;
    std::vector<RGBQuad> palette_;
    std::vector<std::uint8_t> pixels_;
    mutable std::string lastError_;
    std::vector<std::string> warnings_;
    ImageMetadata metadata_;
};

} // namespace codec
