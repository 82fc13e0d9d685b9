#include "codec/exif.h"

#include "codec/tiff_view.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace codec {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

struct OrientationEntry {
    std::size_t valueOffset = 0; // where the value is, inside the entry
    std::uint16_t type = 0; // SHORT or LONG
    int value = 0;
};

// Finds the orientation entry of the first directory; false when there is none.
bool FindOrientation(ByteView bytes, OrientationEntry& entry, bool& little)
{
    TiffView t;
    std::uint32_t ifd = 0;
    if (!t.Open(bytes, ifd))
        return false;
    little = t.little;
    if (ifd < 8 || !t.Has(ifd, 2))
        return false;
    // Entries past the end of the bytes are not there, whatever the count says.
    const std::size_t count = std::min<std::size_t>(t.U16(ifd), (bytes.size() - ifd - 2) / 12);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = ifd + 2 + 12 * i;
        if (t.U16(e) != kOrientationTag)
            continue;
        const std::uint16_t type = t.U16(e + 2);
        if (t.U32(e + 4) != 1 || (type != kTypeShort && type != kTypeLong))
            return false;
        entry.valueOffset = e + 8;
        entry.type = type;
        entry.value = type == kTypeShort ? t.U16(e + 8) : static_cast<int>(std::min<std::uint32_t>(t.U32(e + 8), 99));
        return true;
    }
    return false;
}

constexpr std::uint8_t kExifPrefix[6] = { 'E', 'x', 'i', 'f', 0, 0 };
constexpr std::string_view kXmpPrefix { "http://ns.adobe.com/xap/1.0/\0", 29 };

// Calls `visit(marker, payload)` for each segment before the first scan; stops at anything that
// does not look like a segment.
template <typename Visit> void ForEachJpegSegment(std::span<std::uint8_t> jpeg, Visit visit)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (jpeg[pos] != 0xFF)
            return;
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // scan or end: no metadata follows that matters
            return;
        const std::size_t length = std::size_t { jpeg[pos + 2] } << 8 | jpeg[pos + 3];
        if (length < 2 || length > jpeg.size() - pos - 2)
            return;
        visit(marker, jpeg.subspan(pos + 4, length - 2));
        pos += 2 + length;
    }
}

bool StartsWith(std::span<const std::uint8_t> bytes, const void* prefix, std::size_t size)
{
    return bytes.size() >= size && std::memcmp(bytes.data(), prefix, size) == 0;
}

} // namespace

namespace exif {

int Orientation(ByteView tiff)
{
    OrientationEntry entry;
    bool little = true;
    if (!FindOrientation(tiff, entry, little))
        return 0;
    return entry.value >= 1 && entry.value <= 8 ? entry.value : 0;
}

bool SetOrientation(std::span<std::uint8_t> tiff, int value)
{
    OrientationEntry entry;
    bool little = true;
    if (value < 1 || value > 8 || !FindOrientation(tiff, entry, little))
        return false;
    std::uint8_t* p = tiff.data() + entry.valueOffset;
    const int size = entry.type == kTypeShort ? 2 : 4;
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (little ? i : size - 1 - i);
        p[i] = static_cast<std::uint8_t>((value >> shift) & 0xFF);
    }
    return true;
}

ByteView FindInJpeg(ByteView jpeg)
{
    ByteView found;
    // The walker only reads; it takes a mutable span so that MarkJpegUpright can share it.
    std::span<std::uint8_t> bytes(const_cast<std::uint8_t*>(jpeg.data()), jpeg.size());
    ForEachJpegSegment(bytes, [&](std::uint8_t marker, std::span<std::uint8_t> payload) {
        if (found.empty() && marker == 0xE1 && StartsWith(payload, kExifPrefix, sizeof kExifPrefix))
            found = ByteView(payload.subspan(sizeof kExifPrefix));
    });
    return found;
}

void MarkXmpUpright(std::span<char> xmp)
{
    static constexpr std::string_view kName = "tiff:Orientation";
    const std::string_view text(xmp.data(), xmp.size());
    for (std::size_t at = text.find(kName); at != std::string_view::npos; at = text.find(kName, at + 1)) {
        std::size_t p = at + kName.size();
        const auto skipSpace = [&] {
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n'))
                ++p;
        };
        skipSpace();
        if (p < text.size() && text[p] == '=') {
            ++p;
            skipSpace();
            if (p < text.size() && (text[p] == '"' || text[p] == '\''))
                ++p;
        } else if (p < text.size() && text[p] == '>') {
            ++p;
            skipSpace();
        } else {
            continue;
        }
        // One digit only: a value of several digits is not an orientation to reset.
        if (p < text.size() && text[p] >= '1' && text[p] <= '8'
            && (p + 1 >= text.size() || text[p + 1] < '0' || text[p + 1] > '9'))
            xmp[p] = '1';
    }
}

void MarkJpegUpright(std::span<std::uint8_t> jpeg)
{
    ForEachJpegSegment(jpeg, [](std::uint8_t marker, std::span<std::uint8_t> payload) {
        if (marker != 0xE1)
            return;
        if (StartsWith(payload, kExifPrefix, sizeof kExifPrefix))
            SetOrientation(payload.subspan(sizeof kExifPrefix), 1);
        else if (StartsWith(payload, kXmpPrefix.data(), kXmpPrefix.size()))
            MarkXmpUpright(std::span<char>(
                reinterpret_cast<char*>(payload.data()) + kXmpPrefix.size(), payload.size() - kXmpPrefix.size()));
    });
}

} // namespace exif

Orientation UprightTurn(int value)
{
    // EXIF's names for the values: 2 mirror, 3 half turn, 4 mirror vertically, 5 mirror and turn
    // 270 clockwise, 6 turn 90 clockwise, 7 mirror and turn 90 clockwise, 8 turn 270 clockwise.
    switch (value) {
    case 2:
        return { true, 0 };
    case 3:
        return { false, 2 };
    case 4:
        return { true, 2 };
    case 5:
        return { true, 3 };
    case 6:
        return { false, 1 };
    case 7:
        return { true, 1 };
    case 8:
        return { false, 3 };
    default:
        return {};
    }
}

Orientation ThenTurn(Orientation first, int quarters)
{
    return { first.mirror, ((first.quarters + quarters) % 4 + 4) % 4 };
}

void MirrorHorizontally(CxImage& image)
{
    const std::size_t step = image.GetBytesPerPixel();
    const std::uint32_t width = image.GetWidth();
    if (width < 2)
        return;
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        std::uint8_t* lo = image.Row(y);
        std::uint8_t* hi = lo + (width - 1) * step;
        for (; lo < hi; lo += step, hi -= step)
            std::swap_ranges(lo, lo + step, hi);
    }
}

bool TurnUpright(CxImage& image, int value)
{
    const Orientation turn = UprightTurn(value);
    if (turn.mirror)
        MirrorHorizontally(image);
    const bool turned = turn.quarters == 1 ? image.RotateRight()
        : turn.quarters == 2               ? image.Rotate180()
        : turn.quarters == 3               ? image.RotateLeft()
                                           : true;
    if (!turned)
        return false;
    ImageMetadata& m = image.Metadata();
    exif::SetOrientation(m.exif, 1);
    exif::MarkXmpUpright(m.xmp);
    return true;
}

bool TurnUprightByExif(CxImage& image)
{
    const int value = exif::Orientation(image.GetMetadata().exif);
    return value <= 1 || TurnUpright(image, value);
}

} // namespace codec
