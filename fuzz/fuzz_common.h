#pragma once

// Shared by every fuzz target: one decode at the limits every user gets. The readers bound
// their memory by what the input's bytes can expand to, so a small input stays small; a
// target that needed lower limits than the defaults would hide exactly the files that make
// the program take gigabytes.
#include "codec/formats/format.h"

#include <cstddef>
#include <cstdint>

namespace fuzzing {

/// Decodes with the format's reader; when that succeeds, re-encodes so the writer sees odd
/// images too. Any result is fine; only crashes, leaks and undefined behaviour are findings.
template <typename Decode, typename Encode>
int DecodeAndReencode(const std::uint8_t* data, std::size_t size, Decode decode, Encode encode)
{
    const codec::DecodeLimits limits;
    codec::DefaultLimits() = limits;
    codec::CxImage image;
    if (decode(codec::ByteView(data, size), limits, image) && image.IsValid()) {
        std::vector<std::uint8_t> out;
        (void)encode(image, out);
    }
    return 0;
}

} // namespace fuzzing
