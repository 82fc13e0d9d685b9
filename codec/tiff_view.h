#pragma once

// A bounds-checked view of TIFF-structured bytes (a TIFF file, an EXIF block) in either byte
// order; every read outside the bytes gives 0.

#include "codec/result.h"

#include <cstddef>
#include <cstdint>

namespace codec {

struct TiffView {
    ByteView data;
    bool little = true;

    bool Has(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= data.size() && count <= data.size() - offset;
    }
    std::uint16_t U16(std::size_t o) const
    {
        if (!Has(o, 2))
            return 0;
        return little ? static_cast<std::uint16_t>(data[o] | data[o + 1] << 8)
                      : static_cast<std::uint16_t>(data[o] << 8 | data[o + 1]);
    }
    std::uint32_t U32(std::size_t o) const
    {
        if (!Has(o, 4))
            return 0;
        return little ? static_cast<std::uint32_t>(U16(o) | std::uint32_t { U16(o + 2) } << 16)
                      : static_cast<std::uint32_t>(std::uint32_t { U16(o) } << 16 | U16(o + 2));
    }

    /// Takes `bytes` if they start with a classic TIFF header (either order; BigTIFF's entries
    /// are laid out otherwise) and gives the first directory's offset.
    bool Open(ByteView bytes, std::uint32_t& firstDirectory)
    {
        if (bytes.size() < 8 || bytes[0] != bytes[1] || (bytes[0] != 'I' && bytes[0] != 'M'))
            return false;
        data = bytes;
        little = bytes[0] == 'I';
        firstDirectory = U32(4);
        return U16(2) == 42;
    }
};

} // namespace codec
