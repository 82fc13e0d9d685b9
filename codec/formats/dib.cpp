// DIB reading and writing. Rows go straight from the file's bytes into the image's own storage
// (and back), so a load or save makes no intermediate copy of the pixels.

#include "codec/formats/dib.h"

#include "codec/formats/bytes.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace codec {

namespace {

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6,
};

struct Header {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; ///< colour rows, sign removed
    bool topDown = false;
    std::uint32_t bpp = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    std::int32_t xppm = 0;
    std::int32_t yppm = 0;
    std::array<std::uint32_t, 4> masks {}; ///< red, green, blue, alpha
};

/// One channel of a 16- or 32-bit pixel: where its bits sit and how they widen to 8 bits.
class Channel {
public:
    /// False when the mask's bits are not contiguous.
    bool Init(std::uint32_t mask, std::uint8_t absent)
    {
        mask_ = mask;
        absent_ = absent;
        if (!mask)
            return true;
        shift_ = std::countr_zero(mask);
        const std::uint32_t field = mask >> shift_;
        if (field & (field + 1))
            return false;
        bits_ = std::bit_width(field);
        // Bit replication, so that a 5-bit field widens exactly as 16-bit images store it.
        if (bits_ <= 8)
            for (std::uint32_t v = 0; v <= field; ++v) {
                std::uint32_t w = v << (8 - bits_);
                for (int s = bits_; s < 8; s += bits_)
                    w |= w >> bits_;
                widen_[v] = static_cast<std::uint8_t>(w);
            }
        return true;
    }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        if (!mask_)
            return absent_;
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return bits_ > 8 ? static_cast<std::uint8_t>(v >> (bits_ - 8)) : widen_[v];
    }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
    std::uint8_t absent_ = 0;
    std::array<std::uint8_t, 256> widen_ {};
};

constexpr std::array<std::uint32_t, 4> kMasks555 { 0x7C00, 0x03E0, 0x001F, 0 };
constexpr std::array<std::uint32_t, 4> kMasks888 { 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000 };

Result ReadHeader(ByteReader& r, bool icon, Header& h)
{
    h.size = r.U32LE();
    if (!r.ok())
        return Truncated("the bitmap header is cut short");
    if (h.size == 12) {
        h.width = r.U16LE();
        h.height = r.U16LE();
        r.U16LE(); // planes
        h.bpp = r.U16LE();
        if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 24)
            return Unsupported("unsupported bit count " + std::to_string(h.bpp));
    } else if (h.size == 40 || h.size == 52 || h.size == 56 || h.size == 108 || h.size == 124) {
        h.width = r.I32LE();
        const std::int64_t height = r.I32LE();
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        r.U16LE(); // planes
        h.bpp = r.U16LE();
        h.compression = r.U32LE();
        r.U32LE(); // image size: often zero or wrong; the rows say how much there is
        h.xppm = r.I32LE();
        h.yppm = r.I32LE();
        h.colorsUsed = r.U32LE();
        r.U32LE(); // colours important
        const std::uint32_t maskCount = h.size >= 56 ? 4 : h.size >= 52 ? 3 : 0;
        for (std::uint32_t i = 0; i < maskCount; ++i)
            h.masks[i] = r.U32LE();
        r.Skip(h.size - 40 - 4 * maskCount);
    } else {
        return Unsupported("unsupported bitmap header size " + std::to_string(h.size));
    }
    if (!r.ok())
        return Truncated("the bitmap header is cut short");
    if (icon)
        h.height /= 2;
    if (h.width < 0)
        return Malformed("the bitmap width is negative");
    return Result::Ok();
}

/// Checks compression against depth and settles the colour masks of 16- and 32-bit data.
Result ReadMasks(ByteReader& r, Header& h)
{
    const bool direct = h.bpp == 16 || h.bpp == 32;
    switch (h.compression) {
    case kRgb:
        if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
            return Unsupported("unsupported bit count " + std::to_string(h.bpp));
        // Masks in a long header only count with bitfields compression.
        if (h.bpp == 16)
            h.masks = kMasks555;
        if (h.bpp == 32)
            h.masks = kMasks888;
        return Result::Ok();
    case kRle8:
    case kRle4:
        if (h.bpp != (h.compression == kRle8 ? 8u : 4u))
            return Malformed("run-length data with " + std::to_string(h.bpp) + " bits per pixel");
        return Result::Ok();
    case kBitfields:
    case kAlphaBitfields:
        if (!direct)
            return Malformed("colour masks with " + std::to_string(h.bpp) + " bits per pixel");
        if (h.size == 40) {
            const int n = h.compression == kAlphaBitfields ? 4 : 3;
            for (int i = 0; i < n; ++i)
                h.masks[i] = r.U32LE();
            if (!r.ok())
                return Truncated("the colour masks are cut short");
        }
        return Result::Ok();
    case kJpeg:
    case kPng:
        return Result::Ok();
    default:
        return Unsupported("unsupported bitmap compression " + std::to_string(h.compression));
    }
}

/// Palette entries the header declares; for plain and run-length data, no declaration means all
/// the depth can index.
std::uint64_t DeclaredColors(const Header& h)
{
    const bool indexed = h.compression != kJpeg && h.compression != kPng && h.bpp <= 8;
    return h.colorsUsed ? h.colorsUsed : indexed ? 1u << h.bpp : 0;
}

std::size_t PaletteEntryBytes(const Header& h)
{
    return h.size == 12 ? 3 : 4;
}

/// True when some pixel of 32-bit rows has a non-zero alpha field.
bool AnyAlpha(ByteView bits, std::uint64_t rowBytes, std::uint32_t width, std::uint32_t height, std::uint32_t mask)
{
    if (!mask)
        return false;
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* p = bits.data() + row * rowBytes;
        for (std::uint32_t x = 0; x < width; ++x, p += 4)
            if ((p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24) & mask)
                return true;
    }
    return false;
}

void UnpackIndexedRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, std::uint32_t bpp)
{
    if (bpp == 8) {
        std::memcpy(dst, src, width);
        return;
    }
    const std::uint32_t perByte = 8 / bpp, mask = (1u << bpp) - 1;
    for (std::uint32_t x = 0; x < width; ++x)
        dst[x] = static_cast<std::uint8_t>((src[x / perByte] >> (8 - bpp * (x % perByte + 1))) & mask);
}

/// Decodes run-length rows into an indexed image. Runs are clipped to the image; a stream that
/// ends early leaves the remaining pixels at index 0. No size check against the data is possible:
/// an end-of-bitmap code may legitimately stop the stream after two bytes.
void DecodeRle(ByteView stream, bool four, bool topDown, CxImage& out)
{
    const std::uint32_t width = out.GetWidth(), height = out.GetHeight();
    ByteReader r(stream);
    std::uint64_t x = 0, row = 0; // row counts in file order
    std::uint8_t* line = nullptr;
    auto selectRow = [&] { line = row < height ? out.Row(topDown ? row : height - 1 - row) : nullptr; };
    selectRow();
    auto run = [&](std::uint32_t count, auto pixel) {
        const std::uint64_t end = std::min<std::uint64_t>(x + count, width);
        for (std::uint32_t i = 0; x + i < end; ++i)
            line[x + i] = pixel(i);
        x += count;
    };
    while (line && r.remaining() >= 2) {
        const std::uint8_t count = r.U8(), value = r.U8();
        if (count) {
            const std::uint8_t hi = four ? value >> 4 : value, lo = four ? value & 15 : value;
            run(count, [&](std::uint32_t i) { return i & 1 ? lo : hi; });
        } else if (value == 0) { // end of line
            x = 0, ++row, selectRow();
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // delta
            const std::uint8_t dx = r.U8(), dy = r.U8();
            x += dx, row += dy, selectRow();
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            ByteView data = r.Take(bytes);
            if (!r.ok())
                return;
            if (four)
                run(value, [&](std::uint32_t i) {
                    return static_cast<std::uint8_t>(i & 1 ? data[i / 2] & 15 : data[i / 2] >> 4);
                });
            else
                run(value, [&](std::uint32_t i) { return data[i]; });
            r.Skip(bytes & 1);
        }
    }
}

void ConvertDirectRow(const std::uint8_t* src,
    std::uint8_t* dst,
    std::uint32_t width,
    std::uint32_t bpp,
    std::uint32_t outBpp,
    const std::array<Channel, 4>& ch,
    std::uint8_t& alphaSeen)
{
    if (bpp == 24) {
        for (std::uint32_t x = 0; x < width; ++x, src += 3, dst += 3)
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
        return;
    }
    const std::uint32_t step = outBpp == 32 ? 4 : 3;
    for (std::uint32_t x = 0; x < width; ++x, dst += step) {
        std::uint32_t v;
        if (bpp == 16) {
            v = src[0] | src[1] << 8;
            src += 2;
        } else {
            v = src[0] | src[1] << 8 | src[2] << 16 | static_cast<std::uint32_t>(src[3]) << 24;
            src += 4;
        }
        dst[0] = ch[0](v), dst[1] = ch[1](v), dst[2] = ch[2](v);
        if (step == 4)
            alphaSeen |= dst[3] = ch[3](v);
    }
}

/// Applies an icon's AND mask: set bits are transparent. A 32-bit entry with real alpha keeps it.
Result ApplyIconMask(ByteView mask, bool topDown, bool alphaFromData, const DecodeLimits& limits, CxImage& out)
{
    const std::uint32_t width = out.GetWidth(), height = out.GetHeight();
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    if (alphaFromData || mask.size() / rowBytes < height)
        return Result::Ok(); // no mask: opaque
    auto masked = [&](std::uint32_t x, std::uint32_t y) {
        const std::size_t fileRow = topDown ? y : height - 1 - y;
        return (mask[fileRow * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    };
    if (out.GetBpp() != 32) {
        bool any = false;
        for (std::uint32_t y = 0; y < height && !any; ++y)
            for (std::uint32_t x = 0; x < width && !any; ++x)
                any = masked(x, y);
        if (!any)
            return Result::Ok();
        CxImage rgba;
        if (Result r = CreateChecked(rgba, width, height, 32, limits); !r)
            return r;
        for (std::uint32_t y = 0; y < height; ++y) {
            std::uint8_t* dst = rgba.Row(y);
            for (std::uint32_t x = 0; x < width; ++x, dst += 4) {
                const RGBQuad c = out.GetPixelColor(x, y);
                dst[0] = c.red, dst[1] = c.green, dst[2] = c.blue;
            }
        }
        rgba.SetXDPI(out.GetXDPI());
        rgba.SetYDPI(out.GetYDPI());
        out = std::move(rgba);
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* alpha = out.Row(y) + 3;
        for (std::uint32_t x = 0; x < width; ++x, alpha += 4)
            *alpha = masked(x, y) ? 0 : 255;
    }
    return Result::Ok();
}

std::int32_t DpiFromPpm(std::int32_t ppm)
{
    return static_cast<std::int32_t>(std::lround(ppm * 0.0254));
}
std::int32_t PpmFromDpi(std::int32_t dpi)
{
    return dpi > 0 ? static_cast<std::int32_t>(std::lround(dpi / 0.0254)) : 0;
}

} // namespace

Result DecodeDib(ByteView dib, const DecodeLimits& limits, CxImage& out, DibOptions options)
{
    ByteReader r(dib);
    Header h;
    if (Result res = ReadHeader(r, options.iconMask, h); !res)
        return res;
    if (Result res = ReadMasks(r, h); !res)
        return res;

    // The palette: as many entries as declared, but no more than the depth can index and no
    // more than fit before the pixel data when its offset is known.
    const std::size_t entryBytes = PaletteEntryBytes(h);
    const std::size_t paletteStart = r.pos();
    const bool embedded = h.compression == kJpeg || h.compression == kPng;
    const bool indexed = !embedded && h.bpp <= 8;
    std::uint64_t declared = DeclaredColors(h);
    if (options.bitsOffset) {
        if (options.bitsOffset < paletteStart)
            return Malformed("the pixel data starts inside the bitmap header");
        declared = std::min<std::uint64_t>(declared, (options.bitsOffset - paletteStart) / entryBytes);
    }
    std::vector<RGBQuad> palette;
    if (indexed) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(declared, 1u << h.bpp));
        if (n == 0)
            return Malformed("the palette is empty");
        ByteView bytes = r.Take(n * entryBytes);
        if (!r.ok())
            return Truncated("the palette is cut short");
        palette.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* e = bytes.data() + i * entryBytes;
            palette[i] = RGBQuad { e[2], e[1], e[0], 255 };
        }
    }
    const std::uint64_t bitsStart = options.bitsOffset ? options.bitsOffset : paletteStart + declared * entryBytes;
    if (bitsStart > dib.size())
        return Truncated("the pixel data is missing");
    const ByteView bits = dib.subspan(static_cast<std::size_t>(bitsStart));

    if (embedded) {
        Result res = h.compression == kPng ? PngDecode(bits, limits, out) : JpegDecode(bits, limits, out);
        if (!res)
            return res;
        out.SetXDPI(DpiFromPpm(h.xppm));
        out.SetYDPI(DpiFromPpm(h.yppm));
        return res;
    }

    if (Result res = CheckDimensions(h.width, h.height, limits); !res)
        return res;
    const auto width = static_cast<std::uint32_t>(h.width), height = static_cast<std::uint32_t>(h.height);
    const std::uint64_t rowBytes = (std::uint64_t { width } * h.bpp + 31) / 32 * 4;
    const bool rle = h.compression == kRle4 || h.compression == kRle8;
    // The last row's padding is often left out; everything else must be there.
    if (!rle && rowBytes * (height - 1) + (std::uint64_t { width } * h.bpp + 7) / 8 > bits.size())
        return Truncated("the pixel data is cut short");

    std::array<Channel, 4> channels;
    std::uint32_t outBpp = h.bpp;
    if (h.bpp == 16 || h.bpp == 32) {
        for (int i = 0; i < 4; ++i)
            if (!channels[i].Init(h.masks[i], i == 3 ? 255 : 0))
                return Malformed("the colour masks are not contiguous");
        if (h.bpp == 16)
            outBpp = h.masks[3] ? 32 : h.masks == kMasks555 ? 16 : 24;
        else if (options.unusedAlphaAsTwentyFour && !AnyAlpha(bits, rowBytes, width, height, h.masks[3]))
            outBpp = 24;
    }
    if (Result res = CreateChecked(out, width, height, outBpp, limits); !res)
        return res;
    out.SetXDPI(DpiFromPpm(h.xppm));
    out.SetYDPI(DpiFromPpm(h.yppm));

    std::uint8_t alphaSeen = 0;
    if (rle) {
        DecodeRle(bits, h.compression == kRle4, h.topDown, out);
    } else {
        for (std::uint32_t row = 0; row < height; ++row) {
            const std::uint8_t* src = bits.data() + row * rowBytes;
            std::uint8_t* dst = out.Row(h.topDown ? row : height - 1 - row);
            if (h.bpp <= 8)
                UnpackIndexedRow(src, dst, width, h.bpp);
            else
                ConvertDirectRow(src, dst, width, h.bpp, outBpp, channels, alphaSeen);
        }
    }
    // Files without alpha usually leave the fourth byte zero: that means opaque, not invisible.
    const bool alphaFromData = outBpp == 32 && alphaSeen != 0;
    if (outBpp == 32 && !alphaFromData)
        for (std::size_t i = 3; i < out.Pixels().size(); i += 4)
            out.Pixels()[i] = 255;

    if (out.IsIndexed()) {
        // An index past a short palette must still show something: pad with black.
        const std::uint8_t top = *std::max_element(out.Pixels().begin(), out.Pixels().end());
        if (top >= palette.size())
            palette.resize(std::size_t { 1 } << h.bpp, RGBQuad { 0, 0, 0, 255 });
        out.Palette() = std::move(palette);
    }

    if (options.iconMask && !rle) {
        const std::uint64_t maskStart = std::min<std::uint64_t>(rowBytes * height, bits.size());
        return ApplyIconMask(bits.subspan(static_cast<std::size_t>(maskStart)), h.topDown, alphaFromData, limits, out);
    }
    return Result::Ok();
}

Result ReadDibInfo(ByteView dib, DibInfo& info, bool iconMask)
{
    ByteReader r(dib);
    Header h;
    if (Result res = ReadHeader(r, iconMask, h); !res)
        return res;
    if (Result res = ReadMasks(r, h); !res)
        return res;
    info.headerSize = h.size;
    info.width = static_cast<std::uint32_t>(h.width);
    info.height = static_cast<std::uint32_t>(h.height);
    info.topDown = h.topDown;
    info.bpp = h.bpp;
    info.compression = h.compression;
    info.colorsUsed = h.colorsUsed;
    info.bitsStart = r.pos() + DeclaredColors(h) * PaletteEntryBytes(h);
    info.rowBytes = (std::uint64_t { info.width } * h.bpp + 31) / 32 * 4;
    return Result::Ok();
}

namespace {

/// `step` is the bytes of one stored pixel, for writing 32-bit storage as 24 bits.
void PackRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, std::uint32_t bits, std::uint32_t step)
{
    switch (bits) {
    case 1:
    case 4: {
        const std::uint32_t perByte = 8 / bits, mask = (1u << bits) - 1;
        for (std::uint32_t x = 0; x < width; ++x)
            dst[x / perByte] |= static_cast<std::uint8_t>((src[x] & mask) << (8 - bits * (x % perByte + 1)));
        break;
    }
    case 8:
        std::memcpy(dst, src, width);
        break;
    case 16: // stored channels hold widened 5-bit values
        for (std::uint32_t x = 0; x < width; ++x, src += 3, dst += 2) {
            const std::uint32_t v = (src[0] >> 3) << 10 | (src[1] >> 3) << 5 | src[2] >> 3;
            dst[0] = static_cast<std::uint8_t>(v), dst[1] = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case 24: // from 16-, 24- or 32-bit storage
        for (std::uint32_t x = 0; x < width; ++x, src += step, dst += 3)
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
        break;
    case 32:
        for (std::uint32_t x = 0; x < width; ++x, src += 4, dst += 4)
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0], dst[3] = src[3];
        break;
    }
}

} // namespace

Result AppendDib(const CxImage& image, std::vector<std::uint8_t>& out, DibWriteOptions options, std::size_t* bitsOffset)
{
    if (!image.IsValid())
        return Malformed("the image is empty");
    const std::uint32_t width = image.GetWidth(), height = image.GetHeight(), depth = image.GetBpp();
    const bool asTwentyFour
        = (depth == 16 && options.sixteenAsTwentyFour) || (depth == 32 && options.thirtyTwoAsTwentyFour);
    const std::uint32_t bits = asTwentyFour ? 24 : depth;
    const std::uint64_t rowBytes = (std::uint64_t { width } * bits + 31) / 32 * 4;
    const std::uint64_t maskRowBytes = options.iconMask ? (std::uint64_t { width } + 31) / 32 * 4 : 0;
    const std::uint64_t heightField = std::uint64_t { height } * (options.iconMask ? 2 : 1);

    // Write the palette the image has, padded to the full depth only when some index needs it.
    const auto& palette = image.Palette();
    std::size_t colors = 0;
    if (image.IsIndexed()) {
        const std::uint8_t top = *std::max_element(image.Pixels().begin(), image.Pixels().end());
        colors = std::min(palette.size(), std::size_t { 1 } << bits);
        if (top >= colors)
            colors = std::size_t { 1 } << bits;
    }
    const std::uint64_t imageBytes = (rowBytes + maskRowBytes) * height;
    const std::uint64_t headerBytes = 40 + 4 * colors;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    if (headerBytes + imageBytes > kMax - 64 || width > kMax || heightField > kMax)
        return Unsupported("the image is too large for a bitmap");

    out.reserve(out.size() + headerBytes + imageBytes);
    PutU32LE(out, 40);
    PutU32LE(out, width);
    PutU32LE(out, static_cast<std::uint32_t>(heightField));
    PutU16LE(out, 1); // planes
    PutU16LE(out, bits);
    PutU32LE(out, kRgb);
    PutU32LE(out, static_cast<std::uint32_t>(imageBytes));
    PutU32LE(out, static_cast<std::uint32_t>(PpmFromDpi(image.GetXDPI())));
    PutU32LE(out, static_cast<std::uint32_t>(PpmFromDpi(image.GetYDPI())));
    PutU32LE(out, static_cast<std::uint32_t>(colors)); // explicit, which every reader understands
    PutU32LE(out, 0); // colours important: all
    for (std::size_t i = 0; i < colors; ++i) {
        const RGBQuad c = i < palette.size() ? palette[i] : RGBQuad { 0, 0, 0, 255 };
        PutU8(out, c.blue), PutU8(out, c.green), PutU8(out, c.red), PutU8(out, 0);
    }
    if (bitsOffset)
        *bitsOffset = static_cast<std::size_t>(headerBytes);

    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(imageBytes), 0);
    for (std::uint32_t y = 0; y < height; ++y)
        PackRow(image.Row(y), out.data() + start + (height - 1 - y) * rowBytes, width, bits, image.GetBytesPerPixel());
    if (options.iconMask) {
        const int trans = image.GetTransIndex();
        std::uint8_t* mask = out.data() + start + rowBytes * height;
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* px = image.Row(y);
            std::uint8_t* dst = mask + (height - 1 - y) * maskRowBytes;
            for (std::uint32_t x = 0; x < width; ++x) {
                const bool clear = depth == 32 ? px[4 * x + 3] < 128 : image.IsIndexed() && px[x] == trans;
                if (clear)
                    dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return Result::Ok();
}

std::vector<std::uint8_t> EncodeDib(const CxImage& image)
{
    std::vector<std::uint8_t> out;
    if (!AppendDib(image, out))
        out.clear();
    return out;
}

} // namespace codec
