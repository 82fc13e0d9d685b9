#pragma once

// The PNG writer's image data: rows filtered and compressed into one zlib stream, in bands of
// rows compressed independently (on several threads for a large image) and joined the way
// parallel gzip tools join theirs: every band but the last ends in a non-final block followed
// by an empty stored block, so it stops on a byte boundary and the next band's bytes follow it
// directly. The result is one ordinary zlib stream that any decoder reads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace codec::png {

/// How each row is filtered before compression. `Adaptive` tries the four predictors on every
/// row and keeps the one whose output has the smallest sum of absolute (signed) bytes.
enum class Filter { None, Sub, Up, Average, Paeth, Adaptive };

struct ImageData {
    std::uint32_t height = 0;
    std::size_t rowBytes = 0; ///< one unfiltered row in the file's layout
    std::uint32_t pixelBytes = 1; ///< the filters' distance: bytes of one whole pixel, at least 1
    Filter filter = Filter::Adaptive;
    int level = 6; ///< libdeflate's level, 0 (stored) to 12
    unsigned threads = 0; ///< at most this many threads; 0: one per core
    std::size_t bandBytes = 0; ///< filtered bytes per band; 0: the default
};

/// Gives row y in the file's layout: a pointer into the image, or `scratch` (rowBytes) filled.
/// Called from several threads at once, for different rows.
using RowSource = std::function<const std::uint8_t*(std::uint32_t y, std::uint8_t* scratch)>;

/// Filters and compresses the rows into one zlib stream, returned as pieces to be written one
/// after the other (the first starts with the zlib header, the last ends with the checksum).
/// False with `error` set when memory runs out or the compressor fails.
bool CompressImageData(
    const ImageData& data, const RowSource& rows, std::vector<std::vector<std::uint8_t>>& pieces, std::string& error);

} // namespace codec::png
