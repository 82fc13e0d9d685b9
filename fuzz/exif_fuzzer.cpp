// Fuzz target for the EXIF orientation parser and the JPEG segment walker that patches it: the
// input is taken as an EXIF block, as a JPEG file and as an XMP packet. The directory reader that
// carries EXIF into and out of TIFF files must give back what it wrote.
#include "codec/exif.h"
#include "codec/tiff_ifd.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool Same(const codec::ifd::Directory& a, const codec::ifd::Directory& b)
{
    if (a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const codec::ifd::Entry &x = a.entries[i], &y = b.entries[i];
        if (x.tag != y.tag || x.type != y.type || x.count != y.count || x.value != y.value || !x.sub != !y.sub
            || (x.sub && !Same(*x.sub, *y.sub)))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const codec::ByteView bytes(data, size);
    std::vector<std::uint8_t> copy(data, data + size);
    const int value = codec::exif::Orientation(bytes);
    if (codec::exif::SetOrientation(copy, 1) && codec::exif::Orientation(copy) != 1)
        __builtin_trap(); // a patched entry must read back
    (void)value;
    (void)codec::exif::Orientation(codec::exif::FindInJpeg(bytes));
    copy.assign(data, data + size);
    codec::exif::MarkJpegUpright(copy);
    std::vector<char> text(data, data + size);
    codec::exif::MarkXmpUpright(text);
    if (const auto dir = codec::ifd::ReadBlock(bytes)) {
        for (const bool big : { false, true }) {
            std::vector<std::uint8_t> file = big ? std::vector<std::uint8_t> { 'M', 'M', 0, 42, 0, 0, 0, 8 }
                                                 : std::vector<std::uint8_t> { 'I', 'I', 42, 0, 8, 0, 0, 0 };
            const std::vector<std::uint8_t> body = codec::ifd::Write(*dir, 8, big);
            file.insert(file.end(), body.begin(), body.end());
            const auto back = codec::ifd::Read(file, 8);
            if (body.empty() || !back || !Same(*dir, *back))
                __builtin_trap(); // what was read must write out and read back the same
        }
    }
    return 0;
}
