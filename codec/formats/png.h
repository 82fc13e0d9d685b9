#pragma once

// PNG options beyond the format table's plain entry points.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

/// The compression level PngEncode uses, on zlib's scale: libdeflate at level 6 writes files
/// about as large as zlib at 6 (or smaller) in about a third of the time; 9 is slower for about 1 %
/// less, 1 several times faster for files about 5 % larger.
inline constexpr int kPngDefaultLevel = 6;

struct PngWriteOptions {
    int level = kPngDefaultLevel; ///< 0 (stored) to 9; values outside are clamped
    /// The image data is compressed in bands of about this many bytes of filtered rows, on up to
    /// `threads` threads (0: one per core); 0 takes the default (a few megabytes), so a small
    /// image is one band on the calling thread.
    std::size_t bandBytes = 0;
    unsigned threads = 0;
};

/// Encodes like PngEncode with the given options.
Result PngEncodeWithOptions(const CxImage& image, const PngWriteOptions& options, std::vector<std::uint8_t>& out);

/// Encodes like PngEncode at a level from 0 (stored) to 9; values outside are clamped.
Result PngEncodeWithLevel(const CxImage& image, int level, std::vector<std::uint8_t>& out);

} // namespace codec
