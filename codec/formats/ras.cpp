// Sun raster: a 32-byte big-endian header, an optional colour map stored as a plane of reds,
// then greens, then blues, and rows padded to 16 bits. The byte-encoded variant replaces runs
// with 0x80 escapes; runs may cross rows.

#include "codec/formats/bytes.h"
#include "codec/formats/depth_fit.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace codec {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::uint32_t kMagic = 0x59A66A95;
constexpr std::uint8_t kEscape = 0x80;

enum : std::uint32_t { kTypeOld = 0, kTypeStandard = 1, kTypeByteEncoded = 2, kTypeRgb = 3 };
enum : std::uint32_t { kMapNone = 0, kMapRgb = 1, kMapRaw = 2 };

struct RasHeader {
    std::uint32_t magic = 0, width = 0, height = 0, depth = 0, length = 0, type = 0, mapType = 0, mapLength = 0;
    std::uint64_t rowBytes() const { return (std::uint64_t { width } * depth + 15) / 16 * 2; }
};

RasHeader ParseHeader(ByteView data)
{
    ByteReader r(data);
    RasHeader h;
    h.magic = r.U32BE();
    h.width = r.U32BE();
    h.height = r.U32BE();
    h.depth = r.U32BE();
    h.length = r.U32BE();
    h.type = r.U32BE();
    h.mapType = r.U32BE();
    h.mapLength = r.U32BE();
    return h;
}

/// Undoes the byte encoding: 0x80 0x00 is one 0x80, 0x80 n v is n + 1 copies of v.
Result ExpandRle(ByteView src, std::vector<std::uint8_t>& dst)
{
    std::size_t i = 0, o = 0;
    const std::size_t n = dst.size();
    while (o < n && i < src.size()) {
        const std::uint8_t b = src[i++];
        if (b != kEscape) {
            dst[o++] = b;
            continue;
        }
        if (i >= src.size())
            break;
        const std::uint8_t count = src[i++];
        if (count == 0) {
            dst[o++] = kEscape;
            continue;
        }
        if (i >= src.size())
            break;
        const std::size_t k = std::min<std::size_t>(count + 1u, n - o); // never past the image
        std::memset(dst.data() + o, src[i++], k);
        o += k;
    }
    if (o < n)
        return Truncated(
            "the compressed pixel data ends after " + std::to_string(o) + " of " + std::to_string(n) + " bytes");
    return Result::Ok();
}

void StoreRows(const RasHeader& h, const std::uint8_t* src, CxImage& out)
{
    const std::size_t rowBytes = static_cast<std::size_t>(h.rowBytes());
    const std::uint32_t w = h.width;
    const bool rgbOrder = h.type == kTypeRgb;
    for (std::uint32_t y = 0; y < h.height; ++y, src += rowBytes) {
        std::uint8_t* dst = out.Row(y);
        const std::uint8_t* s = src;
        switch (h.depth) {
        case 1:
            for (std::uint32_t x = 0; x < w; ++x)
                dst[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 8:
            std::memcpy(dst, s, w);
            break;
        case 24:
        case 32: {
            const unsigned step = h.depth / 8, first = h.depth == 32 ? 1 : 0; // skip the pad byte
            for (std::uint32_t x = 0; x < w; ++x, s += step, dst += 3) {
                const std::uint8_t* p = s + first;
                if (rgbOrder) {
                    dst[0] = p[0], dst[1] = p[1], dst[2] = p[2];
                } else {
                    dst[0] = p[2], dst[1] = p[1], dst[2] = p[0];
                }
            }
            break;
        }
        }
    }
}

} // namespace

bool RasSniff(ByteView data)
{
    return data.size() >= kHeaderSize && ByteReader(data).U32BE() == kMagic;
}

Result RasDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < kHeaderSize)
        return Truncated("the file is shorter than a Sun raster header");
    const RasHeader h = ParseHeader(data);
    if (h.magic != kMagic)
        return Malformed("not a Sun raster file (bad magic number)");
    if (h.type > kTypeRgb)
        return Unsupported("raster type " + std::to_string(h.type) + " is not supported");
    if (h.depth != 1 && h.depth != 8 && h.depth != 24 && h.depth != 32)
        return Unsupported("a depth of " + std::to_string(h.depth) + " bits is not supported");
    if (h.mapType > kMapRaw)
        return Unsupported("colour map type " + std::to_string(h.mapType) + " is not supported");
    if (Result r = CheckDimensions(h.width, h.height, limits); !r)
        return r;

    ByteReader r(data, kHeaderSize);
    ByteView map = r.Take(h.mapType == kMapNone ? 0 : h.mapLength);
    if (!r.ok())
        return Truncated("the file ends inside the colour map");
    if (h.mapType == kMapRgb && h.mapLength % 3 != 0)
        return Malformed("a colour map of " + std::to_string(h.mapLength) + " bytes is not three planes");

    const std::uint64_t total = h.rowBytes() * h.height;
    ByteView rest = r.Take(r.remaining());
    DecodeLimits bounded = limits;
    if (h.type == kTypeByteEncoded) {
        bounded = BoundByData(limits, rest.size(), ratio::kRasEncoded, h.depth);
        if (Result c = CheckDimensions(h.width, h.height, bounded); !c)
            return c;
    } else if (rest.size() < total) {
        return Truncated(
            "the pixel data is cut short (" + std::to_string(rest.size()) + " of " + std::to_string(total) + " bytes)");
    }

    const std::uint32_t stored = h.depth == 32 ? 24 : h.depth;
    if (Result c = CreateChecked(out, h.width, h.height, stored, bounded); !c)
        return c;
    auto& pal = out.Palette();
    if (h.mapType == kMapRgb && h.depth <= 8 && h.mapLength > 0) {
        const std::size_t n = h.mapLength / 3;
        std::fill(pal.begin(), pal.end(), RGBQuad { 0, 0, 0, 255 });
        for (std::size_t i = 0; i < std::min(n, pal.size()); ++i)
            pal[i] = RGBQuad { map[i], map[n + i], map[2 * n + i], 255 };
    } else if (h.depth == 1) {
        // Without a map a set bit is black.
        pal[0] = { 255, 255, 255, 255 }, pal[1] = { 0, 0, 0, 255 };
    }

    if (h.type != kTypeByteEncoded) {
        StoreRows(h, rest.data(), out);
        return Result::Ok();
    }
    std::vector<std::uint8_t> expanded(static_cast<std::size_t>(total));
    if (Result e = ExpandRle(rest, expanded); !e) {
        out.Destroy();
        return e;
    }
    StoreRows(h, expanded.data(), out);
    return Result::Ok();
}

Result RasEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    // Black-and-white 1-bit images stay 1 bit without a colour map (a set bit is black). Other
    // indexed images become 8 bits with a colour map: 1-bit files with a map are read with
    // opposite meanings by different readers. True colour becomes 24 bits (alpha is dropped).
    const std::uint32_t bpp = image.GetBpp();
    const auto& pal = image.Palette();
    const RGBQuad white { 255, 255, 255, 255 }, black { 0, 0, 0, 255 };
    auto opaque = [](RGBQuad c) { return RGBQuad { c.red, c.green, c.blue, 255 }; };
    const RGBQuad c0 = opaque(fit::PaletteColor(image, 0)), c1 = opaque(fit::PaletteColor(image, 1));
    const bool mono = bpp == 1 && ((c0 == white && c1 == black) || (c0 == black && c1 == white));
    const bool invert = mono && c0 == black;
    const std::uint32_t depth = mono ? 1 : image.IsIndexed() ? 8 : 24;
    const std::size_t mapEntries = depth == 8 ? std::min<std::size_t>(pal.size(), 256) : 0;
    const std::uint64_t rowBytes = (std::uint64_t { w } * depth + 15) / 16 * 2;
    const std::uint64_t length = rowBytes * h;
    if (length > 0xFFFFFFFFu)
        return Unsupported("the image is too large for a Sun raster file");

    out.clear();
    out.reserve(kHeaderSize + mapEntries * 3 + static_cast<std::size_t>(length));
    PutU32BE(out, kMagic);
    PutU32BE(out, w);
    PutU32BE(out, h);
    PutU32BE(out, depth);
    PutU32BE(out, static_cast<std::uint32_t>(length));
    PutU32BE(out, kTypeStandard);
    PutU32BE(out, mapEntries ? kMapRgb : kMapNone);
    PutU32BE(out, static_cast<std::uint32_t>(mapEntries * 3));
    for (std::size_t i = 0; i < mapEntries; ++i)
        PutU8(out, pal[i].red);
    for (std::size_t i = 0; i < mapEntries; ++i)
        PutU8(out, pal[i].green);
    for (std::size_t i = 0; i < mapEntries; ++i)
        PutU8(out, pal[i].blue);

    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length), 0);
    std::uint8_t* dst = out.data() + start;
    std::vector<std::uint8_t> rgb(depth == 24 ? std::size_t { w } * 3 : 0);
    for (std::uint32_t y = 0; y < h; ++y, dst += rowBytes) {
        const std::uint8_t* src = image.Row(y);
        if (depth == 1) {
            for (std::uint32_t x = 0; x < w; ++x)
                if (((src[x] & 1) != 0) != invert)
                    dst[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
        } else if (depth == 8) {
            std::memcpy(dst, src, w);
        } else {
            fit::RowRGB(image, y, rgb.data());
            for (std::uint32_t x = 0; x < w; ++x)
                dst[3 * x] = rgb[3 * x + 2], dst[3 * x + 1] = rgb[3 * x + 1], dst[3 * x + 2] = rgb[3 * x];
        }
    }
    return Result::Ok();
}

} // namespace codec
