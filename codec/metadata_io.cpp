#include "codec/metadata_io.h"

#include <cstring>

namespace codec {

bool IccFits(const std::vector<std::uint8_t>& icc, bool grayPixels)
{
    // The header is 128 bytes; the data colour space signature is at 16, "acsp" at 36.
    if (icc.size() < 128 || std::memcmp(icc.data() + 36, "acsp", 4) != 0)
        return false;
    return std::memcmp(icc.data() + 16, grayPixels ? "GRAY" : "RGB ", 4) == 0;
}

} // namespace codec
