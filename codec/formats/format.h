#pragma once

// One reader/writer per format, each in its own file in this folder, listed in one explicit
// table (formats.cpp). Every reader follows the same three steps: recognise the bytes, read the
// header into a description, decode into an image sized from that description after the limits
// have been checked. Writers take an image of any depth and encode the nearest depth the format
// can hold, without changing the caller's image.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <vector>

namespace codec {

struct FormatCodec {
    std::uint32_t type;
    const char* shortName; ///< for error texts: "BMP", "JPEG", ...
    /// Lower is tried first when recognising content; weak signatures (WBMP, TGA, PGX) go last.
    int sniffOrder;
    bool (*sniff)(ByteView data); ///< null: never recognised from content
    Result (*decode)(ByteView data, const DecodeLimits& limits, CxImage& out); ///< null: cannot read
    Result (*encode)(const CxImage& image, std::vector<std::uint8_t>& out); ///< null: cannot write
};

/// The codec for a type, or null for 0 and unknown types.
const FormatCodec* FindCodec(std::uint32_t type);
/// The codec whose signature matches, tried in sniff order; null when none does.
const FormatCodec* SniffCodec(ByteView data);

// The per-format entry points, one set per file in this folder.
#define PELMORA_DECLARE_FORMAT(name)                                                                                   \
    bool name##Sniff(ByteView data);                                                                                   \
    Result name##Decode(ByteView data, const DecodeLimits& limits, CxImage& out);                                      \
    Result name##Encode(const CxImage& image, std::vector<std::uint8_t>& out);

PELMORA_DECLARE_FORMAT(Bmp)
PELMORA_DECLARE_FORMAT(Gif)
PELMORA_DECLARE_FORMAT(Jpeg)
PELMORA_DECLARE_FORMAT(Png)
PELMORA_DECLARE_FORMAT(Ico)
PELMORA_DECLARE_FORMAT(Tiff)
PELMORA_DECLARE_FORMAT(Tga)
PELMORA_DECLARE_FORMAT(Pcx)
PELMORA_DECLARE_FORMAT(Wbmp)
PELMORA_DECLARE_FORMAT(Wmf)
PELMORA_DECLARE_FORMAT(Jp2)
PELMORA_DECLARE_FORMAT(Jpc)
PELMORA_DECLARE_FORMAT(Pgx)
PELMORA_DECLARE_FORMAT(Pnm)
PELMORA_DECLARE_FORMAT(Ras)

#undef PELMORA_DECLARE_FORMAT

/// Checks a declared size against the limits: Ok, or LimitExceeded with a text naming the size.
Result CheckDimensions(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits);

/// Makes `out` a blank image of the given shape after checking the limits.
Result CreateChecked(
    CxImage& out, std::uint32_t width, std::uint32_t height, std::uint32_t bpp, const DecodeLimits& limits);

} // namespace codec
