// The one table of formats. Order of recognition: strong signatures first, weak ones last
// (PGX, TGA and WBMP have little or no magic and would claim other formats' files).

#include "codec/formats/format.h"

#include <algorithm>
#include <array>
#include <string>

namespace codec {

namespace {

constexpr std::array<FormatCodec, 18> kCodecs { {
    { kTypePng, "PNG", 10, PngSniff, PngDecode, PngEncode },
    { kTypeJpg, "JPEG", 20, JpegSniff, JpegDecode, JpegEncode },
    { kTypeGif, "GIF", 30, GifSniff, GifDecode, GifEncode },
    { kTypeBmp, "BMP", 40, BmpSniff, BmpDecode, BmpEncode },
    { kTypeTif, "TIFF", 50, TiffSniff, TiffDecode, TiffEncode },
    { kTypeJp2, "JP2", 60, Jp2Sniff, Jp2Decode, Jp2Encode },
    { kTypeJpc, "JPC", 70, JpcSniff, JpcDecode, JpcEncode },
    { kTypeRas, "RAS", 80, RasSniff, RasDecode, RasEncode },
    { kTypeWmf, "WMF", 90, WmfSniff, WmfDecode, WmfEncode },
    { kTypeIco, "ICO", 100, IcoSniff, IcoDecode, IcoEncode },
    { kTypePcx, "PCX", 110, PcxSniff, PcxDecode, PcxEncode },
    { kTypePnm, "PNM", 120, PnmSniff, PnmDecode, PnmEncode },
    { kTypeWebp, "WebP", 130, WebpSniff, WebpDecode, WebpEncode },
    { kTypeAvif, "AVIF", 140, AvifSniff, AvifDecode, AvifEncode },
    { kTypeJxl, "JPEG XL", 150, JxlSniff, JxlDecode, JxlEncode },
    { kTypePgx, "PGX", 200, PgxSniff, PgxDecode, PgxEncode },
    { kTypeTga, "TGA", 210, TgaSniff, TgaDecode, TgaEncode },
    { kTypeWbmp, "WBMP", 220, WbmpSniff, WbmpDecode, WbmpEncode },
} };

constexpr bool SortedBySniffOrder()
{
    for (std::size_t i = 1; i < kCodecs.size(); ++i)
        if (kCodecs[i - 1].sniffOrder >= kCodecs[i].sniffOrder)
            return false;
    return true;
}
static_assert(SortedBySniffOrder(), "the table is tried top to bottom");

} // namespace

const FormatCodec* FindCodec(std::uint32_t type)
{
    auto it = std::find_if(kCodecs.begin(), kCodecs.end(), [type](const FormatCodec& c) { return c.type == type; });
    return it == kCodecs.end() ? nullptr : &*it;
}

const FormatCodec* SniffCodec(ByteView data)
{
    for (const FormatCodec& c : kCodecs)
        if (c.sniff && c.decode && c.sniff(data))
            return &c;
    return nullptr;
}

DecodeLimits BoundByData(
    const DecodeLimits& limits, std::uint64_t dataBytes, std::uint32_t ratio, std::uint32_t bitsPerPixel)
{
    DecodeLimits bounded = limits;
    // Products stay far below 2^64: a file is taken as at most 2^40 bytes, ratios are at most 2^17.
    const std::uint64_t bits = std::min<std::uint64_t>(dataBytes, 1ull << 40) * ratio * 8;
    const std::uint64_t pixels = bits / std::max<std::uint32_t>(bitsPerPixel, 1);
    bounded.maxDataPixels = std::min(limits.maxDataPixels, std::max<std::uint64_t>(pixels, 1));
    return bounded;
}

std::uint64_t WorkingMemory(const DecodeLimits& limits)
{
    // 16 bytes a pixel covers OpenJPEG's 32-bit tile and image planes, libjpeg's coefficient
    // buffer and libtiff's RGBA raster; the 8 MiB are the fixed tables and row buffers.
    const std::uint64_t pixels = std::min(limits.maxPixels, limits.maxDataPixels);
    return std::min<std::uint64_t>(pixels, 1ull << 40) * 16 + (8ull << 20);
}

bool DataCanFill(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits)
{
    // Both factors are below 2^32 wherever this is called, so the product cannot wrap.
    return width <= 0xFFFFFFFFull && height <= 0xFFFFFFFFull && width * height <= limits.maxDataPixels;
}

Result CheckDimensions(std::uint64_t width, std::uint64_t height, const DecodeLimits& limits)
{
    if (width == 0 || height == 0)
        return Malformed("the image has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (width > limits.maxWidth || height > limits.maxHeight || width * height > limits.maxPixels)
        return LimitExceeded("the image size " + std::to_string(width) + " x " + std::to_string(height)
            + " is above the decoding limit");
    if (!DataCanFill(width, height, limits))
        return Malformed("the header declares " + std::to_string(width) + " x " + std::to_string(height)
            + " pixels, more than the compressed data could hold");
    return Result::Ok();
}

Result CreateChecked(
    CxImage& out, std::uint32_t width, std::uint32_t height, std::uint32_t bpp, const DecodeLimits& limits)
{
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;
    if (!out.Create(width, height, bpp))
        return Result::Fail(Status::LimitExceeded, out.GetLastError());
    return Result::Ok();
}

} // namespace codec
