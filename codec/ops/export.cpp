// The image as device-independent bitmap bytes (clipboard) and as plain RGBA (drawing).

#include "codec/formats/bytes.h"
#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace codec {

namespace {

// Pixels per metre from dots per inch, rounded: 1 inch = 0.0254 m.
std::uint32_t PelsPerMeter(std::int32_t dpi)
{
    return dpi < 1 ? 0 : static_cast<std::uint32_t>((static_cast<std::uint64_t>(dpi) * 10000 + 127) / 254);
}

} // namespace

std::vector<std::uint8_t> CxImage::CopyToHandle() const
{
    std::vector<std::uint8_t> out;
    if (!IsValid())
        return out;
    try {
        const std::uint32_t bits = bpp_;
        const std::size_t stride = (static_cast<std::size_t>(width_) * bits + 31) / 32 * 4;
        const std::size_t colours = IsIndexed() ? std::min(palette_.size(), std::size_t { 1 } << bits) : 0;
        const std::size_t pixelBytes = stride * height_;
        out.reserve(40 + colours * 4 + pixelBytes);
        PutU32LE(out, 40); // BITMAPINFOHEADER
        PutU32LE(out, width_);
        PutU32LE(out, height_); // positive: rows run bottom-up
        PutU16LE(out, 1);
        PutU16LE(out, bits);
        PutU32LE(out, 0); // BI_RGB; at 16 bits that means 5-5-5
        PutU32LE(out, static_cast<std::uint32_t>(pixelBytes));
        PutU32LE(out, PelsPerMeter(xdpi_));
        PutU32LE(out, PelsPerMeter(ydpi_));
        PutU32LE(out, static_cast<std::uint32_t>(colours));
        PutU32LE(out, 0);
        for (std::size_t i = 0; i < colours; ++i) {
            const RGBQuad& c = palette_[i];
            PutU8(out, c.blue), PutU8(out, c.green), PutU8(out, c.red), PutU8(out, 0);
        }
        const std::size_t top = out.size();
        out.resize(top + pixelBytes, 0);
        for (std::uint32_t y = 0; y < height_; ++y) {
            const std::uint8_t* s = Row(y);
            std::uint8_t* d = out.data() + top + static_cast<std::size_t>(height_ - 1 - y) * stride;
            switch (bits) {
            case 1:
                for (std::uint32_t x = 0; x < width_; ++x)
                    d[x >> 3] |= static_cast<std::uint8_t>((s[x] & 1) << (7 - (x & 7)));
                break;
            case 4:
                for (std::uint32_t x = 0; x < width_; ++x)
                    d[x >> 1] |= static_cast<std::uint8_t>((s[x] & 15) << ((x & 1) ? 0 : 4));
                break;
            case 8:
                std::memcpy(d, s, width_);
                break;
            case 16:
                // Stored channels are widened 5-bit values, so dropping three bits recovers them.
                for (std::uint32_t x = 0; x < width_; ++x, s += 3) {
                    const unsigned v = ((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3);
                    d[x * 2] = static_cast<std::uint8_t>(v), d[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
                }
                break;
            case 24:
                for (std::uint32_t x = 0; x < width_; ++x, s += 3, d += 3)
                    d[0] = s[2], d[1] = s[1], d[2] = s[0];
                break;
            default:
                for (std::uint32_t x = 0; x < width_; ++x, s += 4, d += 4)
                    d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while copying the image");
        out.clear();
    }
    return out;
}

std::vector<std::uint8_t> CxImage::ExportRGBA() const
{
    std::vector<std::uint8_t> out;
    if (!IsValid())
        return out;
    try {
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
        out.resize(rowBytes * height_);
        ops::RowReader reader(*this, 4);
        for (std::uint32_t y = 0; y < height_; ++y)
            std::memcpy(out.data() + y * rowBytes, reader.Get(y), rowBytes);
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while exporting the image");
        out.clear();
    }
    return out;
}

} // namespace codec
