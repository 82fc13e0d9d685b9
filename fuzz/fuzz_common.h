#pragma once

// Shared by every fuzz target: limits well under the fuzzer's memory cap, then one decode.
#include "codec/formats/format.h"

#include <cstddef>
#include <cstdint>

namespace fuzzing {

inline codec::DecodeLimits FuzzLimits()
{
    codec::DecodeLimits limits;
    limits.maxWidth = 1 << 14;
    limits.maxHeight = 1 << 14;
    limits.maxPixels = 1 << 22;
    limits.maxFrames = 64;
    return limits;
}

/// Decodes with the format's reader; when that succeeds, re-encodes so the writer sees odd
/// images too. Any result is fine; only crashes, leaks and undefined behaviour are findings.
template <typename Decode, typename Encode>
int DecodeAndReencode(const std::uint8_t* data, std::size_t size, Decode decode, Encode encode)
{
    codec::DefaultLimits() = FuzzLimits();
    codec::CxImage image;
    if (decode(codec::ByteView(data, size), FuzzLimits(), image) && image.IsValid()) {
        std::vector<std::uint8_t> out;
        (void)encode(image, out);
    }
    return 0;
}

} // namespace fuzzing
