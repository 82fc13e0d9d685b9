#pragma once

// The device-independent bitmap shared by BMP files, icon entries, metafile records and the
// clipboard: an info header (OS/2 core or Windows 40..124 bytes), optional colour masks, a
// palette and the rows. Its header is read here only, so every reader accepts the same sizes.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

struct DibOptions {
    /// Icon entry: the header's height counts the colour rows plus the rows of a 1-bit AND
    /// mask that follows them. Pixels the mask clears become transparent (depth 32).
    bool iconMask = false;
    /// Offset of the pixel rows from the start of the DIB (a BMP file's bfOffBits less the file
    /// header); 0 means they follow the palette directly.
    std::size_t bitsOffset = 0;
    /// Read 32-bit data whose alpha is zero throughout (or absent) as 24 bits, not opaque 32.
    bool unusedAlphaAsTwentyFour = false;
};

/// Reads a DIB. Depths: 1/4/8 stay indexed (palette of the colours the file declares), 24 stays
/// 24, 16 becomes 16 for 5-5-5 data and 24 for other masks, 32 stays 32 (opaque when the file's
/// alpha is all zero, as most 32-bit files without alpha leave it). Embedded JPEG/PNG data goes
/// to those readers.
Result DecodeDib(ByteView dib, const DecodeLimits& limits, CxImage& out, DibOptions options = {});

/// What a DIB's header says about its rows, for callers that check or place a bitmap before
/// decoding it.
struct DibInfo {
    std::uint32_t headerSize = 0; ///< 12 (OS/2 core) or 40, 52, 56, 108, 124
    std::uint32_t width = 0;
    std::uint32_t height = 0; ///< sign removed: topDown gives the row order
    bool topDown = false;
    std::uint32_t bpp = 0;
    std::uint32_t compression = 0; ///< 0 for plain rows
    std::uint32_t colorsUsed = 0; ///< as declared; 0 means as many as the depth can index
    std::uint64_t bitsStart = 0; ///< where the rows begin when they follow the palette
    std::uint64_t rowBytes = 0; ///< one uncompressed row with its padding
};

/// Reads the header and colour masks with the checks DecodeDib makes of them. Neither the
/// palette nor the rows are read, so their presence is the caller's to check. `iconMask`: the
/// height counts the AND mask's rows too (icon entries), and is halved.
Result ReadDibInfo(ByteView dib, DibInfo& info, bool iconMask = false);

struct DibWriteOptions {
    /// Write the 1-bit AND mask after the rows and double the header's height (icon entries).
    /// Indexed images mask their transparent index; 32-bit images mask alpha below 128.
    bool iconMask = false;
    /// Write 16-bit images as 24 bits (BMP and ICO files) rather than 5-5-5 (clipboard).
    bool sixteenAsTwentyFour = false;
    /// Write 32-bit images as 24 bits, leaving alpha out (for images opaque throughout).
    bool thirtyTwoAsTwentyFour = false;
};

/// Appends the image as an uncompressed DIB: 40-byte header, palette, bottom-up rows padded to
/// four bytes. Depths 1/4/8 indexed, 16 as 5-5-5 (or 24), 24 BGR, 32 BGRA. `bitsOffset`, when
/// given, receives the offset of the rows from the start of the DIB.
Result AppendDib(const CxImage& image,
    std::vector<std::uint8_t>& out,
    DibWriteOptions options = {},
    std::size_t* bitsOffset = nullptr);

/// The image as a DIB with 16-bit images kept as 5-5-5; empty for an invalid image.
std::vector<std::uint8_t> EncodeDib(const CxImage& image);

} // namespace codec
