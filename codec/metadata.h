#pragma once

// Metadata a picture carries besides its pixels, kept as the bytes the file held so that a
// conversion can hand them on to a format that holds them too.

#include <cstdint>
#include <string>
#include <vector>

namespace codec {

struct ImageMetadata {
    /// The EXIF block as TIFF-structured bytes ("II*\0" or "MM\0*" first), without the
    /// "Exif\0\0" prefix JPEG puts before it.
    std::vector<std::uint8_t> exif;
    /// The XMP packet (UTF-8 XML).
    std::string xmp;
    /// The ICC colour profile.
    std::vector<std::uint8_t> icc;

    bool Empty() const { return exif.empty() && xmp.empty() && icc.empty(); }
    void Clear() { *this = {}; }
};

} // namespace codec
