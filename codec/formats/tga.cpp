// TGA: an 18-byte little-endian header, an optional image ID, an optional colour map, then
// pixels (raw or run-length packets), bottom row first unless the descriptor says otherwise.
// The file has no magic number, so recognition checks that the header fields make sense
// together and the table tries it near the end.

#include "codec/formats/bytes.h"
#include "codec/formats/depth_fit.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace codec {

namespace {

constexpr std::size_t kHeaderSize = 18;
// The newer-version footer; some readers only accept a file that ends with it.
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";
static_assert(sizeof kFooterSignature == 18, "the signature ends with a dot and a NUL");

enum : std::uint8_t { kColorMapped = 1, kTrueColor = 2, kGray = 3, kRleFlag = 8 };

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t mapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;

    std::uint8_t kind() const { return imageType & 7; }
    bool rle() const { return (imageType & kRleFlag) != 0; }
    std::size_t pixelBytes() const { return (pixelBits + 7u) / 8u; }
    std::size_t mapBytes() const { return static_cast<std::size_t>(mapLength) * ((mapEntryBits + 7u) / 8u); }
    bool topDown() const { return (descriptor & 0x20) != 0; }
    bool rightToLeft() const { return (descriptor & 0x10) != 0; }
};

TgaHeader ParseHeader(ByteView data)
{
    ByteReader r(data);
    TgaHeader h;
    h.idLength = r.U8();
    h.mapType = r.U8();
    h.imageType = r.U8();
    h.mapFirst = r.U16LE();
    h.mapLength = r.U16LE();
    h.mapEntryBits = r.U8();
    r.Skip(4); // x and y origin: screen placement only
    h.width = r.U16LE();
    h.height = r.U16LE();
    h.pixelBits = r.U8();
    h.descriptor = r.U8();
    return h;
}

bool IsMapEntrySize(std::uint8_t bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

/// Checks that the fields agree with each other; the same rules serve recognition and reading.
Result ValidateHeader(const TgaHeader& h)
{
    if (h.mapType > 1)
        return Malformed("unknown colour map type " + std::to_string(h.mapType));
    const std::uint8_t kind = h.kind();
    if ((h.imageType & ~std::uint8_t { 0x0B }) != 0 || kind == 0)
        return Unsupported("image type " + std::to_string(h.imageType) + " is not supported");
    if (h.mapType == 1 && !IsMapEntrySize(h.mapEntryBits))
        return Malformed("colour map entries of " + std::to_string(h.mapEntryBits) + " bits");
    switch (kind) {
    case kColorMapped:
        if (h.mapType != 1)
            return Malformed("a colour-mapped image without a colour map");
        if (h.pixelBits != 8)
            return Unsupported("colour-mapped images with " + std::to_string(h.pixelBits) + "-bit indexes");
        break;
    case kTrueColor:
        if (h.pixelBits != 15 && h.pixelBits != 16 && h.pixelBits != 24 && h.pixelBits != 32)
            return Unsupported("true-colour images of " + std::to_string(h.pixelBits) + " bits per pixel");
        break;
    case kGray:
        if (h.pixelBits != 8)
            return Unsupported("gray images of " + std::to_string(h.pixelBits) + " bits per pixel");
        break;
    default:
        return Unsupported("image type " + std::to_string(h.imageType) + " is not supported");
    }
    if (h.descriptor & 0xC0)
        return Unsupported("interleaved rows are not supported");
    return Result::Ok();
}

RGBQuad Color16(std::uint8_t lo, std::uint8_t hi)
{
    const unsigned v = lo | (hi << 8);
    return RGBQuad { Widen5(static_cast<std::uint8_t>((v >> 10) & 31)),
        Widen5(static_cast<std::uint8_t>((v >> 5) & 31)),
        Widen5(static_cast<std::uint8_t>(v & 31)),
        255 };
}

void ReadColorMap(const TgaHeader& h, ByteView map, CxImage& out)
{
    auto& pal = out.Palette();
    std::fill(pal.begin(), pal.end(), RGBQuad { 0, 0, 0, 255 }); // indexes the map does not cover draw black
    const std::size_t entryBytes = (h.mapEntryBits + 7u) / 8u;
    bool anyAlpha = false;
    for (std::size_t i = 0; i < h.mapLength; ++i) {
        const std::size_t index = h.mapFirst + i;
        if (index >= pal.size())
            break;
        const std::uint8_t* e = map.data() + i * entryBytes;
        RGBQuad c;
        if (entryBytes == 2) {
            c = Color16(e[0], e[1]);
        } else {
            c = RGBQuad { e[2], e[1], e[0], entryBytes == 4 ? e[3] : std::uint8_t { 255 } };
            anyAlpha |= entryBytes == 4 && e[3] != 0;
        }
        pal[index] = c;
    }
    // Writers that leave the alpha bytes at zero mean "no alpha", not "invisible".
    if (entryBytes == 4 && !anyAlpha)
        for (auto& c : pal)
            c.alpha = 255;
}

/// Expands run-length packets into `dst` (pixels * pixelBytes bytes). A packet may run across
/// rows; one that runs past the last pixel is cut there.
Result ExpandRle(ByteReader& r, std::size_t pixelBytes, std::uint64_t pixels, std::uint8_t* dst)
{
    std::uint64_t done = 0;
    while (done < pixels) {
        const std::uint8_t head = r.U8();
        if (!r.ok())
            break;
        const std::uint64_t count = std::min<std::uint64_t>((head & 0x7Fu) + 1u, pixels - done);
        std::uint8_t* at = dst + done * pixelBytes;
        if (head & 0x80) {
            ByteView px = r.Take(pixelBytes);
            if (!r.ok())
                break;
            for (std::uint64_t i = 0; i < count; ++i)
                std::memcpy(at + i * pixelBytes, px.data(), pixelBytes);
        } else {
            ByteView px = r.Take(count * pixelBytes);
            if (!r.ok())
                break;
            std::memcpy(at, px.data(), px.size());
        }
        done += count;
    }
    if (done < pixels)
        return Truncated("the compressed pixel data ends after " + std::to_string(done) + " of "
            + std::to_string(pixels) + " pixels");
    return Result::Ok();
}

/// Converts rows in file order (`src`) into the image, honouring the descriptor's origin.
void StoreRows(const TgaHeader& h, const std::uint8_t* src, CxImage& out)
{
    const std::uint32_t w = h.width, hgt = h.height;
    const std::size_t fileRow = w * h.pixelBytes();
    bool anyAlpha = false;
    for (std::uint32_t fy = 0; fy < hgt; ++fy, src += fileRow) {
        std::uint8_t* dst = out.Row(h.topDown() ? fy : hgt - 1 - fy);
        const std::uint8_t* s = src;
        switch (h.pixelBits) {
        case 8:
            std::memcpy(dst, s, w);
            break;
        case 15:
        case 16:
            for (std::uint32_t x = 0; x < w; ++x, s += 2, dst += 3) {
                RGBQuad c = Color16(s[0], s[1]);
                dst[0] = c.red, dst[1] = c.green, dst[2] = c.blue;
            }
            break;
        case 24:
            for (std::uint32_t x = 0; x < w; ++x, s += 3, dst += 3)
                dst[0] = s[2], dst[1] = s[1], dst[2] = s[0];
            break;
        case 32:
            for (std::uint32_t x = 0; x < w; ++x, s += 4, dst += 4) {
                dst[0] = s[2], dst[1] = s[1], dst[2] = s[0], dst[3] = s[3];
                anyAlpha |= s[3] != 0;
            }
            break;
        }
    }
    if (h.pixelBits == 32 && !anyAlpha) {
        auto& px = out.Pixels();
        for (std::size_t i = 3; i < px.size(); i += 4)
            px[i] = 255;
    }
    if (h.rightToLeft()) {
        const std::size_t bpp = out.GetBytesPerPixel();
        for (std::uint32_t y = 0; y < hgt; ++y) {
            std::uint8_t* row = out.Row(y);
            for (std::uint32_t a = 0, b = w - 1; a < b; ++a, --b)
                std::swap_ranges(row + a * bpp, row + (a + 1) * bpp, row + b * bpp);
        }
    }
}

std::uint32_t StoredDepth(const TgaHeader& h)
{
    switch (h.pixelBits) {
    case 8:
        return 8;
    case 15:
    case 16:
        return 16;
    case 24:
        return 24;
    default:
        return 32;
    }
}

} // namespace

bool TgaSniff(ByteView data)
{
    if (data.size() < kHeaderSize)
        return false;
    const TgaHeader h = ParseHeader(data);
    if (!ValidateHeader(h) || h.width == 0 || h.height == 0)
        return false;
    // With no colour map the map fields should be blank; a stray entry size is tolerated.
    if (h.mapType == 0 && (h.mapLength != 0 || h.mapFirst != 0))
        return false;
    const std::uint64_t start = kHeaderSize + h.idLength + std::uint64_t { h.mapBytes() };
    if (h.rle())
        return data.size() > start;
    return data.size() >= start + std::uint64_t { h.width } * h.height * h.pixelBytes();
}

Result TgaDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < kHeaderSize)
        return Truncated("the file is shorter than a TGA header");
    const TgaHeader h = ParseHeader(data);
    if (Result r = ValidateHeader(h); !r)
        return r;
    if (Result r = CheckDimensions(h.width, h.height, limits); !r)
        return r;

    ByteReader r(data, kHeaderSize);
    if (!r.Skip(h.idLength))
        return Truncated("the file ends inside the image ID");
    ByteView map = r.Take(h.mapType == 1 ? h.mapBytes() : 0);
    if (!r.ok())
        return Truncated("the file ends inside the colour map");

    const std::uint64_t pixels = std::uint64_t { h.width } * h.height;
    const std::size_t pixelBytes = h.pixelBytes();
    const std::uint64_t needed = pixels * pixelBytes;
    DecodeLimits bounded = limits;
    if (h.rle()) {
        bounded = BoundByData(limits, r.remaining(), ratio::kTgaRle, static_cast<std::uint32_t>(pixelBytes * 8));
        if (Result c = CheckDimensions(h.width, h.height, bounded); !c)
            return c;
    } else if (r.remaining() < needed) {
        return Truncated("the pixel data is cut short (" + std::to_string(r.remaining()) + " of "
            + std::to_string(needed) + " bytes)");
    }

    if (Result c = CreateChecked(out, h.width, h.height, StoredDepth(h), bounded); !c)
        return c;
    if (h.kind() == kColorMapped)
        ReadColorMap(h, map, out);

    if (!h.rle()) {
        StoreRows(h, r.here(), out);
        return Result::Ok();
    }
    std::vector<std::uint8_t> expanded(static_cast<std::size_t>(needed));
    if (Result e = ExpandRle(r, pixelBytes, pixels, expanded.data()); !e) {
        out.Destroy();
        return e;
    }
    StoreRows(h, expanded.data(), out);
    return Result::Ok();
}

Result TgaEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    if (w > 0xFFFF || h > 0xFFFF)
        return Unsupported("a TGA file holds at most 65535 x 65535 pixels");

    // Indexed images with a gray palette become gray images, other indexed images keep
    // their palette as a 24-bit colour map; true colour keeps its depth.
    const std::uint32_t bpp = image.GetBpp();
    const bool indexed = image.IsIndexed();
    const bool gray = indexed && image.IsGrayScale();
    const auto& pal = image.Palette();
    const std::size_t mapLength = indexed && !gray ? std::min<std::size_t>(pal.size(), 256) : 0;
    const std::uint8_t pixelBits = indexed ? 8 : static_cast<std::uint8_t>(bpp);
    const std::size_t pixelBytes = pixelBits / 8u;

    out.clear();
    out.reserve(kHeaderSize + mapLength * 3 + std::size_t { w } * h * pixelBytes + 26);
    PutU8(out, 0); // no image ID
    PutU8(out, mapLength ? 1 : 0);
    PutU8(out, indexed ? (gray ? kGray : kColorMapped) : kTrueColor);
    PutU16LE(out, 0);
    PutU16LE(out, static_cast<std::uint32_t>(mapLength));
    PutU8(out, mapLength ? 24 : 0);
    PutU16LE(out, 0);
    PutU16LE(out, 0);
    PutU16LE(out, w);
    PutU16LE(out, h);
    PutU8(out, pixelBits);
    PutU8(out, bpp == 32 ? 8 : 0); // alpha bits; bottom-left origin
    for (std::size_t i = 0; i < mapLength; ++i) {
        PutU8(out, pal[i].blue);
        PutU8(out, pal[i].green);
        PutU8(out, pal[i].red);
    }

    const std::vector<std::uint8_t> grayTable = gray ? fit::IndexGrayTable(image) : std::vector<std::uint8_t> {};
    const std::size_t rowStart = out.size();
    out.resize(rowStart + std::size_t { w } * h * pixelBytes);
    std::uint8_t* dst = out.data() + rowStart;
    for (std::uint32_t fy = 0; fy < h; ++fy) {
        const std::uint8_t* s = image.Row(h - 1 - fy);
        if (gray) {
            for (std::uint32_t x = 0; x < w; ++x)
                *dst++ = grayTable[s[x]];
        } else if (indexed) {
            std::memcpy(dst, s, w);
            dst += w;
        } else if (bpp == 16) {
            // The stored channels are widened 5-bit values: the top five bits are the value.
            // The unused top bit is set so readers that take it for alpha see opaque pixels.
            for (std::uint32_t x = 0; x < w; ++x, s += 3) {
                const unsigned v = 0x8000u | ((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3);
                *dst++ = static_cast<std::uint8_t>(v);
                *dst++ = static_cast<std::uint8_t>(v >> 8);
            }
        } else if (bpp == 24) {
            for (std::uint32_t x = 0; x < w; ++x, s += 3)
                *dst++ = s[2], *dst++ = s[1], *dst++ = s[0];
        } else {
            for (std::uint32_t x = 0; x < w; ++x, s += 4)
                *dst++ = s[2], *dst++ = s[1], *dst++ = s[0], *dst++ = s[3];
        }
    }

    PutU32LE(out, 0); // no extension area
    PutU32LE(out, 0); // no developer directory
    out.insert(out.end(), kFooterSignature, kFooterSignature + sizeof kFooterSignature);
    return Result::Ok();
}

} // namespace codec
