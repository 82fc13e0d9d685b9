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
PELMORA_DECLARE_FORMAT(Webp)
PELMORA_DECLARE_FORMAT(Avif)
PELMORA_DECLARE_FORMAT(Jxl)

#undef PELMORA_DECLARE_FORMAT

// ---------------------------------------------------------------------------------------------
// The one allocation rule of every reader: a file cannot make us take more memory than its own
// bytes can expand to. Each reader says how many bytes of decoded samples one byte of its data
// can become at most (its coding's best ratio) and how many bits of samples a pixel takes; a
// declared size beyond `bytes * ratio * 8 / bitsPerPixel` pixels is refused before any pixel
// memory is taken, or, where a reader can, clipped to what the data covers (a GIF screen to
// its frames). The ratios, and why:
//
//   uncompressed rows (all formats)    1  every sample is in the file
//   BMP/ICO RLE8 and RLE4            128  a two-byte run paints at most 255 pixels
//   PCX run-length                    32  a two-byte run repeats one byte at most 63 times
//   TGA run-length                   128  a packet repeats one pixel at most 128 times
//   Sun raster byte-encoding          86  three bytes (escape, count, value) give at most 256
//   TIFF PackBits                     64  two bytes give at most 128
//   GIF and TIFF LZW                2731  a code of at most 12 bits stands for at most 4096
//   PNG and TIFF deflate            1032  deflate's best: a 258-byte match in two bits
//   JPEG, Huffman coded              512  every 8 x 8 block costs at least one bit (a
//                                         progressive DC scan; two bits in a baseline scan)
//   JPEG, arithmetic coded         65536  the QM coder codes a flat picture of any size in
//                                         about 130 bytes (2048 x 2048 and 16384 x 16384 alike),
//                                         so there is no bound from the coding: by policy, flat
//                                         pictures up to about 8 megapixels still load
//   JPEG 2000                     131072  an all-zero code-block costs nearly nothing, so there
//                                         is no bound from the coding: OpenJPEG writes a white
//                                         4000 x 4000 picture in 141 bytes (113000 : 1). This
//                                         still reads it, and holds the smallest codestream to
//                                         about 10 megapixels (60 MB inside OpenJPEG)
//   TIFF CCITT fax                  4096  an unchanged row costs one bit (G4), so there is no
//                                         bound by width; this admits blank pages scanned at
//                                         600 dpi (32000 one-bit pixels a byte)
//   TIFF, other codecs              2731  (LZMA, ZSTD, WebP, ...) taken as LZW: by policy
//   WebP, AVIF, JPEG XL           131072  no bound from the coding either: a lossless WebP
//                                         picture of one colour spends no bits on its pixels,
//                                         and AV1 and JPEG XL code a flat picture in a few
//                                         hundred bytes whatever its size. Common encoders write
//                                         a black 4000 x 4000 picture in 890 (WebP), 624 (AVIF)
//                                         and 668 bytes (JPEG XL), 54000 to 77000 : 1; by policy
//                                         as JPEG 2000, so those still read
//
// So a tiny file gets a tiny image: at most a few megabytes for a few hundred bytes. The
// libraries' own limits are derived from the same bound (`WorkingMemory`).
// ---------------------------------------------------------------------------------------------

namespace ratio {
constexpr std::uint32_t kRaw = 1;
constexpr std::uint32_t kBmpRle = 128;
constexpr std::uint32_t kPcxRle = 32;
constexpr std::uint32_t kTgaRle = 128;
constexpr std::uint32_t kRasEncoded = 86;
constexpr std::uint32_t kPackBits = 64;
constexpr std::uint32_t kLzw = 2731;
constexpr std::uint32_t kDeflate = 1032;
constexpr std::uint32_t kJpegHuffman = 512;
constexpr std::uint32_t kJpegArithmetic = 65536;
constexpr std::uint32_t kJpeg2000 = 131072;
constexpr std::uint32_t kFax = 4096;
constexpr std::uint32_t kOther = kLzw;
constexpr std::uint32_t kWebp = 131072;
constexpr std::uint32_t kAvif = 131072;
constexpr std::uint32_t kJxl = 131072;
} // namespace ratio

/// The limits for the rest of one file's decoding: `maxDataPixels` lowered to the pixels of
/// `bitsPerPixel` bits that `dataBytes` bytes expanding `ratio` times can fill.
DecodeLimits BoundByData(
    const DecodeLimits& limits, std::uint64_t dataBytes, std::uint32_t ratio, std::uint32_t bitsPerPixel);

/// Bytes a library may allocate for one image under `limits`: room for several working copies
/// of the pixels the data can fill (a coefficient buffer, a strip, an RGBA raster), plus a
/// fixed allowance for tables and headers. Used for libjpeg's `max_memory_to_use`, libtiff's
/// single-allocation limit and OpenJPEG's tile check.
std::uint64_t WorkingMemory(const DecodeLimits& limits);

/// Checks a declared size against the limits: Ok, LimitExceeded with a text naming the size,
/// or Malformed when the file's data cannot fill it (see `BoundByData`).
Result CheckDimensions(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits);

/// True when a `width` x `height` image is within the data bound of `limits`.
bool DataCanFill(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits);

/// Makes `out` a blank image of the given shape after checking the limits.
Result CreateChecked(
    CxImage& out, std::uint32_t width, std::uint32_t height, std::uint32_t bpp, const DecodeLimits& limits);

} // namespace codec
