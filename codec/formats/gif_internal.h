#pragma once

// The GIF writer shared by the one-image save (GifEncode) and the animation encoder (CxImageGIF).

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace codec::gif {

struct WriteOptions {
    std::string comment; ///< written as a comment extension when not empty
    /// -1 (or below): loop forever; 0 or 1: no loop extension (shown once); L >= 2: L - 1 repeats.
    int loops = 0;
    /// Disposal method for every frame; -1 takes each frame's own.
    int disposal = -1;
    /// A colour table per frame; otherwise the first frame's table is global and later frames
    /// get a local one only when their colours differ from it.
    bool localColorTables = false;
};

/// Receives the encoded bytes as they are produced; false stops the writer with a write error.
using WriteFn = bool (*)(void* context, const std::uint8_t* data, std::size_t size);

/// Writes a GIF89a stream of `count` frames, each placed at the top left of a logical screen as
/// large as the largest frame. Frames above 8 bits are reduced to 8 bits on a copy; 32-bit
/// pixels with alpha below 128 become the frame's transparent index.
Result Write(
    const CxImage* const* frames, std::size_t count, const WriteOptions& options, WriteFn write, void* context);

} // namespace codec::gif
