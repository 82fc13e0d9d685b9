// BMP: a 14-byte file header ("BM", file size, pixel data offset) in front of a DIB.
// Written as an uncompressed DIB at 1/4/8/24/32 bits; 16-bit images are written as 24 bits,
// which every reader takes, and which holds their 5-bit channels exactly.

#include "codec/formats/bytes.h"
#include "codec/formats/dib.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <string>

namespace codec {

namespace {
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kSmallestDibHeader = 12;
} // namespace

bool BmpSniff(ByteView data)
{
    return data.size() >= 2 && data[0] == 'B' && data[1] == 'M';
}

Result BmpDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    ByteReader r(data);
    const std::uint8_t b = r.U8(), m = r.U8();
    r.Skip(8); // file size (often wrong) and reserved words
    const std::uint32_t offBits = r.U32LE();
    if (!r.ok())
        return Truncated("the file is too short for a BMP header");
    if (b != 'B' || m != 'M')
        return Malformed("not a BMP file");
    if (offBits < kFileHeaderBytes + kSmallestDibHeader || offBits > data.size())
        return Malformed("the pixel data offset " + std::to_string(offBits) + " is outside the file");
    DibOptions options;
    options.bitsOffset = offBits - kFileHeaderBytes;
    const ByteView dib = data.subspan(kFileHeaderBytes);
    // Run-length rows are bounded by their runs; plain rows must all be there (DecodeDib checks
    // that), and embedded JPEG or PNG data is bounded by its own reader.
    DibInfo info;
    if (ReadDibInfo(dib, info) && (info.compression == 1 || info.compression == 2))
        return DecodeDib(dib, BoundByData(limits, data.size() - offBits, ratio::kBmpRle, info.bpp), out, options);
    return DecodeDib(dib, limits, out, options);
}

Result BmpEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    out.assign(kFileHeaderBytes, 0);
    DibWriteOptions options;
    options.sixteenAsTwentyFour = true;
    std::size_t bitsOffset = 0;
    if (Result r = AppendDib(image, out, options, &bitsOffset); !r)
        return r;
    std::vector<std::uint8_t> header;
    PutU8(header, 'B');
    PutU8(header, 'M');
    PutU32LE(header, static_cast<std::uint32_t>(out.size()));
    PutU32LE(header, 0); // reserved
    PutU32LE(header, static_cast<std::uint32_t>(kFileHeaderBytes + bitsOffset));
    std::copy(header.begin(), header.end(), out.begin());
    return Result::Ok();
}

} // namespace codec
