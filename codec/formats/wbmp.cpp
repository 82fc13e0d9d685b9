// WBMP, type 0: a multi-byte type field, a fixed header byte, width and height as multi-byte
// integers (7 bits a byte, high bit set on every byte but the last), then 1-bit rows padded to
// whole bytes, 0 black and 1 white. Images of other depths are written by thresholding their
// luma (Rec. 601) at 128.

#include "codec/formats/bytes.h"
#include "codec/formats/format.h"

#include <array>
#include <string>

namespace codec {

namespace {

/// A multi-byte integer of at most four bytes (28 bits), as used for the type and the size.
Result ReadMultiByte(ByteReader& r, std::uint32_t& value, const char* what)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t b = r.U8();
        if (!r.ok())
            return Truncated(std::string("the file ends inside ") + what);
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return Result::Ok();
    }
    return Malformed(std::string(what) + " is longer than four bytes");
}

void PutMultiByte(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::array<std::uint8_t, 5> groups {};
    int n = 0;
    do {
        groups[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n-- > 0)
        PutU8(out, groups[n] | (n ? 0x80 : 0));
}

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t dataStart = 0;
    std::uint64_t dataBytes() const { return (width + 7ull) / 8 * height; }
};

Result ReadHeader(ByteView data, Header& h)
{
    ByteReader r(data);
    std::uint32_t type = 0;
    if (Result res = ReadMultiByte(r, type, "the type"); !res)
        return res;
    if (type != 0)
        return Unsupported("WBMP type " + std::to_string(type) + " is not supported");
    const std::uint8_t fixed = r.U8();
    if (!r.ok())
        return Truncated("the file ends inside the header");
    if (fixed & 0x80)
        return Unsupported("WBMP extension headers are not supported");
    if (Result res = ReadMultiByte(r, h.width, "the width"); !res)
        return res;
    if (Result res = ReadMultiByte(r, h.height, "the height"); !res)
        return res;
    h.dataStart = r.pos();
    return Result::Ok();
}

bool IsWhite(RGBQuad c)
{
    return c.red * 299 + c.green * 587 + c.blue * 114 >= 128 * 1000;
}

} // namespace

// With no magic number, only an exact fit of header and data makes a file look like WBMP.
bool WbmpSniff(ByteView data)
{
    Header h;
    return data.size() >= 4 && data[0] == 0 && data[1] == 0 && ReadHeader(data, h) && h.width && h.height
        && data.size() - h.dataStart == h.dataBytes();
}

Result WbmpDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    Header h;
    if (Result r = ReadHeader(data, h); !r)
        return r;
    if (Result r = CheckDimensions(h.width, h.height, limits); !r)
        return r;
    if (h.dataBytes() > data.size() - h.dataStart)
        return Truncated("the pixel data is cut short");
    if (Result r = CreateChecked(out, h.width, h.height, 1, limits); !r)
        return r;
    out.Palette() = { RGBQuad { 0, 0, 0, 255 }, RGBQuad { 255, 255, 255, 255 } };
    const std::size_t rowBytes = (h.width + 7ull) / 8;
    for (std::uint32_t y = 0; y < h.height; ++y) {
        const std::uint8_t* src = data.data() + h.dataStart + y * rowBytes;
        std::uint8_t* dst = out.Row(y);
        for (std::uint32_t x = 0; x < h.width; ++x)
            dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
    }
    return Result::Ok();
}

Result WbmpEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    if (!image.IsValid())
        return Malformed("the image is empty");
    const std::uint32_t width = image.GetWidth(), height = image.GetHeight();
    if (width >= 1u << 28 || height >= 1u << 28)
        return Unsupported("the image is too large for a WBMP file");

    // Indexed images decide per palette entry (past the palette: black), others per pixel.
    std::array<bool, 256> white {};
    if (image.IsIndexed())
        for (std::size_t i = 0; i < image.Palette().size() && i < white.size(); ++i)
            white[i] = IsWhite(image.Palette()[i]);

    out.clear();
    PutU8(out, 0); // type 0
    PutU8(out, 0); // fixed header
    PutMultiByte(out, width);
    PutMultiByte(out, height);
    const std::size_t rowBytes = (width + 7) / 8;
    std::size_t pos = out.size();
    out.resize(pos + rowBytes * height, 0);
    const std::uint32_t step = image.GetBytesPerPixel();
    for (std::uint32_t y = 0; y < height; ++y, pos += rowBytes) {
        const std::uint8_t* src = image.Row(y);
        std::uint8_t* dst = out.data() + pos;
        for (std::uint32_t x = 0; x < width; ++x, src += step) {
            const bool on = image.IsIndexed() ? white[*src] : IsWhite(RGBQuad { src[0], src[1], src[2], 255 });
            if (on)
                dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return Result::Ok();
}

} // namespace codec
