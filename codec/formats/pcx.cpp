// PCX: a 128-byte little-endian header, run-length coded scanlines (each scanline holds every
// plane's row, one after the other), and for 256-colour images a palette in the last 769
// bytes after a 0x0C marker.

#include "codec/formats/bytes.h"
#include "codec/formats/depth_fit.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace codec {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTrailingPaletteSize = 769;
constexpr std::uint8_t kManufacturer = 0x0A;
constexpr std::uint8_t kPaletteMarker = 0x0C;

// What early display adapters showed when a file carries no palette of its own.
constexpr std::array<RGBQuad, 16> kDefaultPalette16 { {
    { 0, 0, 0, 255 },
    { 0, 0, 170, 255 },
    { 0, 170, 0, 255 },
    { 0, 170, 170, 255 },
    { 170, 0, 0, 255 },
    { 170, 0, 170, 255 },
    { 170, 85, 0, 255 },
    { 170, 170, 170, 255 },
    { 85, 85, 85, 255 },
    { 85, 85, 255, 255 },
    { 85, 255, 85, 255 },
    { 85, 255, 255, 255 },
    { 255, 85, 85, 255 },
    { 255, 85, 255, 255 },
    { 255, 255, 85, 255 },
    { 255, 255, 255, 255 },
} };

struct PcxHeader {
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::uint8_t bitsPerPixel = 0; ///< per plane
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::uint16_t hDpi = 0, vDpi = 0;
    const std::uint8_t* palette16 = nullptr; ///< 48 bytes inside the header
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;
    std::uint16_t paletteInfo = 0;
};

PcxHeader ParseHeader(ByteView data)
{
    ByteReader r(data, 1);
    PcxHeader h;
    h.version = r.U8();
    h.encoding = r.U8();
    h.bitsPerPixel = r.U8();
    h.xMin = r.U16LE();
    h.yMin = r.U16LE();
    h.xMax = r.U16LE();
    h.yMax = r.U16LE();
    h.hDpi = r.U16LE();
    h.vDpi = r.U16LE();
    h.palette16 = r.here();
    r.Skip(48 + 1);
    h.planes = r.U8();
    h.bytesPerLine = r.U16LE();
    h.paletteInfo = r.U16LE();
    return h;
}

bool IsKnownVersion(std::uint8_t v)
{
    return v == 0 || v == 2 || v == 3 || v == 4 || v == 5;
}

/// The stored depth for a plane layout, or 0 for layouts this reader does not handle.
std::uint32_t DepthFor(std::uint8_t bits, std::uint8_t planes)
{
    if (bits == 1 && planes == 1)
        return 1;
    if (bits == 1 && planes >= 2 && planes <= 4)
        return 4;
    if ((bits == 2 || bits == 4) && planes == 1)
        return 4;
    if (bits == 8 && planes == 1)
        return 8;
    if (bits == 8 && planes == 3)
        return 24;
    if (bits == 8 && planes == 4)
        return 32;
    return 0;
}

/// Run-length reader whose state carries across scanlines, so a run that crosses a scanline
/// (which some writers produce) continues in the next one instead of overrunning the buffer.
class RleSource {
public:
    RleSource(ByteView src, bool compressed)
        : src_(src)
        , compressed_(compressed)
    {
    }

    bool Fill(std::uint8_t* line, std::size_t n)
    {
        std::size_t i = 0;
        if (!compressed_) {
            if (src_.size() - pos_ < n)
                return false;
            std::memcpy(line, src_.data() + pos_, n);
            pos_ += n;
            return true;
        }
        while (i < n) {
            if (left_) {
                const std::size_t k = std::min<std::size_t>(left_, n - i);
                std::memset(line + i, value_, k);
                i += k;
                left_ -= static_cast<std::uint32_t>(k);
                continue;
            }
            if (pos_ >= src_.size())
                return false;
            const std::uint8_t b = src_[pos_++];
            if ((b & 0xC0) != 0xC0) {
                line[i++] = b;
                continue;
            }
            if (pos_ >= src_.size())
                return false;
            value_ = src_[pos_++];
            left_ = b & 0x3Fu;
        }
        return true;
    }

private:
    ByteView src_;
    std::size_t pos_ = 0;
    bool compressed_;
    std::uint8_t value_ = 0;
    std::uint32_t left_ = 0;
};

void SetPalette(const PcxHeader& h, ByteView data, bool trailing, CxImage& out)
{
    auto& pal = out.Palette();
    auto headerEntry = [&](std::size_t i) {
        const std::uint8_t* e = h.palette16 + 3 * i;
        return RGBQuad { e[0], e[1], e[2], 255 };
    };
    const bool headerBlank = std::all_of(h.palette16, h.palette16 + 48, [](std::uint8_t b) { return b == 0; });
    switch (out.GetBpp()) {
    case 1:
        // Two equal entries (typically a blank header) mean the writer relied on black and white.
        if (headerEntry(0) == headerEntry(1)) {
            pal[0] = { 0, 0, 0, 255 }, pal[1] = { 255, 255, 255, 255 };
        } else {
            pal[0] = headerEntry(0), pal[1] = headerEntry(1);
        }
        break;
    case 4:
        for (std::size_t i = 0; i < 16; ++i)
            pal[i] = headerBlank || h.version == 3 ? kDefaultPalette16[i] : headerEntry(i);
        break;
    case 8:
        if (trailing) {
            const std::uint8_t* p = data.data() + data.size() - kTrailingPaletteSize + 1;
            for (std::size_t i = 0; i < 256; ++i, p += 3)
                pal[i] = RGBQuad { p[0], p[1], p[2], 255 };
        } else if (!headerBlank && h.paletteInfo != 2) {
            // Gray ramp (from Create) past the sixteen colours the header can hold.
            for (std::size_t i = 0; i < 16; ++i)
                pal[i] = headerEntry(i);
        }
        break;
    default:
        break;
    }
}

void StoreScanline(const PcxHeader& h, const std::uint8_t* line, std::uint32_t width, std::uint8_t* dst)
{
    const std::size_t bpl = h.bytesPerLine;
    if (h.bitsPerPixel == 1) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t byte = x >> 3;
            const unsigned shift = 7 - (x & 7);
            unsigned v = 0;
            for (unsigned p = 0; p < h.planes; ++p)
                v |= ((line[p * bpl + byte] >> shift) & 1u) << p;
            dst[x] = static_cast<std::uint8_t>(v);
        }
    } else if (h.bitsPerPixel == 2 || h.bitsPerPixel == 4) {
        const unsigned bits = h.bitsPerPixel, perByte = 8 / bits, mask = (1u << bits) - 1;
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned shift = 8 - bits * (x % perByte + 1);
            dst[x] = static_cast<std::uint8_t>((line[x / perByte] >> shift) & mask);
        }
    } else if (h.planes == 1) {
        std::memcpy(dst, line, width);
    } else {
        const unsigned n = h.planes;
        for (std::uint32_t x = 0; x < width; ++x, dst += n)
            for (unsigned p = 0; p < n; ++p)
                dst[p] = line[p * bpl + x];
    }
}

/// Run-length codes one plane row; runs stop at its end so every reader can split scanlines.
void PutRle(std::vector<std::uint8_t>& out, const std::uint8_t* row, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 63 && row[i + run] == row[i])
            ++run;
        if (run > 1 || (row[i] & 0xC0) == 0xC0)
            PutU8(out, 0xC0 | static_cast<std::uint32_t>(run));
        PutU8(out, row[i]);
        i += run;
    }
}

} // namespace

bool PcxSniff(ByteView data)
{
    if (data.size() < kHeaderSize || data[0] != kManufacturer)
        return false;
    const std::uint8_t bits = data[3];
    return IsKnownVersion(data[1]) && data[2] == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

Result PcxDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < kHeaderSize)
        return Truncated("the file is shorter than a PCX header");
    if (data[0] != kManufacturer)
        return Malformed("not a PCX file (first byte is not 0x0A)");
    const PcxHeader h = ParseHeader(data);
    if (!IsKnownVersion(h.version))
        return Unsupported("PCX version " + std::to_string(h.version));
    if (h.encoding > 1)
        return Unsupported("PCX encoding " + std::to_string(h.encoding));
    const std::uint32_t depth = DepthFor(h.bitsPerPixel, h.planes);
    if (depth == 0)
        return Unsupported(std::to_string(h.planes) + " planes of " + std::to_string(h.bitsPerPixel)
            + " bits per pixel are not supported");
    if (h.xMax < h.xMin || h.yMax < h.yMin)
        return Malformed("the image window is inverted");
    const std::uint32_t width = h.xMax - h.xMin + 1u, height = h.yMax - h.yMin + 1u;
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;
    if (std::uint64_t { h.bytesPerLine } * 8 < std::uint64_t { width } * h.bitsPerPixel)
        return Malformed(
            "bytes per line (" + std::to_string(h.bytesPerLine) + ") too few for a width of " + std::to_string(width));

    const bool trailing = depth == 8 && data.size() >= kHeaderSize + kTrailingPaletteSize
        && data[data.size() - kTrailingPaletteSize] == kPaletteMarker;
    const ByteView stream
        = data.subspan(kHeaderSize, data.size() - kHeaderSize - (trailing ? kTrailingPaletteSize : 0));
    const std::size_t scanline = std::size_t { h.planes } * h.bytesPerLine;
    DecodeLimits bounded = limits;
    if (h.encoding) {
        bounded = BoundByData(limits, stream.size(), ratio::kPcxRle, std::uint32_t { h.planes } * h.bitsPerPixel);
        if (Result r = CheckDimensions(width, height, bounded); !r)
            return r;
    } else if (std::uint64_t { height } * scanline > stream.size()) {
        return Truncated("the pixel data is cut short");
    }

    if (Result c = CreateChecked(out, width, height, depth, bounded); !c)
        return c;
    SetPalette(h, data, trailing, out);
    if (h.hDpi > 0)
        out.SetXDPI(h.hDpi);
    if (h.vDpi > 0)
        out.SetYDPI(h.vDpi);

    RleSource src(stream, h.encoding == 1);
    std::vector<std::uint8_t> line(scanline);
    bool anyAlpha = false;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (!src.Fill(line.data(), scanline)) {
            out.Destroy();
            return Truncated(
                "the pixel data ends after " + std::to_string(y) + " of " + std::to_string(height) + " rows");
        }
        StoreScanline(h, line.data(), width, out.Row(y));
        if (depth == 32)
            for (std::uint32_t x = 0; x < width; ++x)
                anyAlpha |= line[3u * h.bytesPerLine + x] != 0;
    }
    // A fourth plane of zeros is a writer's filler, not a transparent picture.
    if (depth == 32 && !anyAlpha) {
        auto& px = out.Pixels();
        for (std::size_t i = 3; i < px.size(); i += 4)
            px[i] = 255;
    }
    // Version 5 puts the colours of a 256-colour picture at the end; a file cut there still
    // shows its pixels, but in the stand-in colours, which the caller must hear about.
    if (h.bitsPerPixel == 8 && h.planes == 1 && h.version == 5 && !trailing)
        out.AddWarning("the 256-colour palette at the end of the file is missing");
    return Result::Ok();
}

Result PcxEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    if (w > 0xFFFE || h > 0x10000)
        return Unsupported("a PCX file holds at most 65534 x 65536 pixels");

    // 1 bit stays 1 bit; 4 and 8 bits become 8 bits with the full palette at the end; true
    // colour becomes three 8-bit planes (alpha is dropped). A 1-bit palette of two equal
    // entries would read back as black and white, so such an image goes out as 8 bits.
    const std::uint32_t bpp = image.GetBpp();
    const auto& pal = image.Palette();
    const bool mono = bpp == 1 && pal.size() >= 2
        && (pal[0].red != pal[1].red || pal[0].green != pal[1].green || pal[0].blue != pal[1].blue);
    const bool indexed = image.IsIndexed();
    const std::uint8_t bits = mono ? 1 : 8;
    const std::uint8_t planes = indexed ? 1 : 3;
    const std::uint32_t bytesPerLine = (w * bits + 15) / 16 * 2; // even, as the format asks

    out.clear();
    out.reserve(kHeaderSize + std::size_t { bytesPerLine } * planes * h + kTrailingPaletteSize);
    PutU8(out, kManufacturer);
    PutU8(out, 5);
    PutU8(out, 1);
    PutU8(out, bits);
    PutU16LE(out, 0);
    PutU16LE(out, 0);
    PutU16LE(out, w - 1);
    PutU16LE(out, h - 1);
    PutU16LE(out, image.GetXDPI() > 0 ? std::min(image.GetXDPI(), 0xFFFF) : 72);
    PutU16LE(out, image.GetYDPI() > 0 ? std::min(image.GetYDPI(), 0xFFFF) : 72);
    for (std::size_t i = 0; i < 16; ++i) {
        // The header palette is what 1-bit images are drawn with; a copy for 8-bit ones helps
        // readers that look here first.
        RGBQuad c = indexed && i < pal.size() && (!mono || i < 2) ? pal[i] : RGBQuad {};
        PutU8(out, c.red), PutU8(out, c.green), PutU8(out, c.blue);
    }
    PutU8(out, 0);
    PutU8(out, planes);
    PutU16LE(out, bytesPerLine);
    PutU16LE(out, 1);
    out.resize(kHeaderSize, 0);

    std::vector<std::uint8_t> rgb(indexed ? 0 : std::size_t { w } * 3);
    std::vector<std::uint8_t> plane(bytesPerLine, 0);
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* src = image.Row(y);
        if (mono) {
            std::fill(plane.begin(), plane.end(), std::uint8_t { 0 });
            for (std::uint32_t x = 0; x < w; ++x)
                if (src[x] & 1)
                    plane[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
            PutRle(out, plane.data(), plane.size());
        } else if (indexed) {
            std::memcpy(plane.data(), src, w);
            PutRle(out, plane.data(), plane.size());
        } else {
            fit::RowRGB(image, y, rgb.data());
            for (unsigned p = 0; p < 3; ++p) {
                for (std::uint32_t x = 0; x < w; ++x)
                    plane[x] = rgb[3 * x + p];
                PutRle(out, plane.data(), plane.size());
            }
        }
    }
    if (indexed && !mono) {
        PutU8(out, kPaletteMarker);
        for (std::size_t i = 0; i < 256; ++i) {
            RGBQuad c = i < pal.size() ? pal[i] : RGBQuad {};
            PutU8(out, c.red), PutU8(out, c.green), PutU8(out, c.blue);
        }
    }
    return Result::Ok();
}

} // namespace codec
