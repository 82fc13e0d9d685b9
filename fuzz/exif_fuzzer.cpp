// Fuzz target for the EXIF orientation parser and the JPEG segment walker that patches it: the
// input is taken as an EXIF block, as a JPEG file and as an XMP packet.
#include "codec/exif.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
    return 0;
}
