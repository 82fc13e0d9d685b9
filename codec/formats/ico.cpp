// ICO: a directory of entries, each a DIB (colour rows followed by a 1-bit AND mask) or a PNG
// stream. Reading takes the largest entry, and of equal sizes the deepest; writing stores one
// uncompressed entry at 1/4/8/24/32 bits (16-bit images as 24) with its mask.

#include "codec/formats/bytes.h"
#include "codec/formats/dib.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <array>
#include <optional>

namespace codec {

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kEntryBytes = 16;
constexpr std::array<std::uint8_t, 8> kPngSignature { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };

struct Entry {
    ByteView data;
    bool png = false;
    std::uint64_t area = 0;
    std::uint32_t depth = 0;
};

/// Size and depth from the entry's own header: the directory's fields are often zero or wrong.
bool Describe(Entry& e)
{
    ByteReader r(e.data);
    std::uint64_t width = 0, height = 0;
    e.png = e.data.size() >= kPngSignature.size()
        && std::equal(kPngSignature.begin(), kPngSignature.end(), e.data.begin());
    if (e.png) {
        r.Skip(16); // signature, IHDR length and name
        width = r.U32BE();
        height = r.U32BE();
        const std::uint32_t bitDepth = r.U8(), colorType = r.U8();
        constexpr std::array<std::uint32_t, 7> kChannels { 1, 0, 3, 1, 2, 0, 4 };
        e.depth = bitDepth * (colorType < kChannels.size() ? kChannels[colorType] : 0);
    } else {
        DibInfo info;
        if (!ReadDibInfo(e.data, info, true))
            return false;
        width = info.width;
        height = info.height;
        e.depth = info.bpp;
    }
    e.area = width * height;
    return r.ok() && e.area > 0;
}

} // namespace

bool IcoSniff(ByteView data)
{
    ByteReader r(data);
    const std::uint16_t reserved = r.U16LE(), type = r.U16LE(), count = r.U16LE();
    r.Skip(4); // width, height, colours, reserved
    const std::uint16_t planes = r.U16LE(), bits = r.U16LE();
    const std::uint32_t bytes = r.U32LE(), offset = r.U32LE();
    constexpr std::array<std::uint16_t, 7> kBits { 0, 1, 4, 8, 16, 24, 32 };
    return r.ok() && reserved == 0 && type == 1 && count >= 1 && planes <= 1
        && std::find(kBits.begin(), kBits.end(), bits) != kBits.end() && bytes > 0
        && offset >= kHeaderBytes + kEntryBytes * count && offset < data.size();
}

Result IcoDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    ByteReader r(data);
    const std::uint16_t reserved = r.U16LE(), type = r.U16LE(), count = r.U16LE();
    if (!r.ok())
        return Truncated("the file is too short for an icon header");
    if (reserved != 0 || (type != 1 && type != 2))
        return Malformed("not an icon file");
    if (count == 0)
        return Malformed("the icon holds no images");
    const ByteView directory = r.Take(kEntryBytes * count);
    if (!r.ok())
        return Truncated("the icon directory is cut short");

    std::optional<Entry> best;
    for (std::size_t i = 0; i < count; ++i) {
        ByteReader d(directory, i * kEntryBytes + 8);
        const std::uint32_t bytes = d.U32LE(), offset = d.U32LE();
        if (offset >= data.size())
            continue;
        Entry e;
        e.data = data.subspan(offset, std::min<std::size_t>(bytes, data.size() - offset));
        if (!Describe(e))
            continue;
        if (!best || e.area > best->area || (e.area == best->area && e.depth > best->depth))
            best = e;
    }
    if (!best)
        return Malformed("the icon holds no readable image");
    if (best->png)
        return PngDecode(best->data, limits, out);
    DibOptions options;
    options.iconMask = true;
    // As in BMP files: only run-length rows can stand for more pixels than their bytes hold.
    DibInfo info;
    if (ReadDibInfo(best->data, info) && (info.compression == 1 || info.compression == 2))
        return DecodeDib(best->data, BoundByData(limits, best->data.size(), ratio::kBmpRle, info.bpp), out, options);
    return DecodeDib(best->data, limits, out, options);
}

Result IcoEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    if (!image.IsValid())
        return Malformed("the image is empty");
    const std::uint32_t width = image.GetWidth(), height = image.GetHeight();
    if (width > 256 || height > 256)
        return Unsupported("ICO images cannot be larger than 256 x 256");

    const std::size_t dibStart = kHeaderBytes + kEntryBytes;
    out.assign(dibStart, 0);
    DibWriteOptions options;
    options.iconMask = true;
    options.sixteenAsTwentyFour = true;
    if (Result r = AppendDib(image, out, options); !r)
        return r;
    const std::uint32_t bits = out[dibStart + 14] | out[dibStart + 15] << 8;

    std::vector<std::uint8_t> head;
    PutU16LE(head, 0); // reserved
    PutU16LE(head, 1); // icon
    PutU16LE(head, 1); // one image
    PutU8(head, width & 0xFF); // 256 is written as 0
    PutU8(head, height & 0xFF);
    PutU8(head, bits < 8 ? 1u << bits : 0);
    PutU8(head, 0);
    PutU16LE(head, 1); // planes
    PutU16LE(head, bits);
    PutU32LE(head, static_cast<std::uint32_t>(out.size() - dibStart));
    PutU32LE(head, static_cast<std::uint32_t>(dibStart));
    std::copy(head.begin(), head.end(), out.begin());
    return Result::Ok();
}

} // namespace codec
