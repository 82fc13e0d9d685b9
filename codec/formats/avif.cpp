// AVIF through libavif (Debian's, decoding with dav1d, encoding with whichever AV1 encoder it was
// built with: aom, rav1e or SVT-AV1).
//
// Read: the first (or only) picture: 24 bits, 32 with an alpha plane, 8-bit gray for a
// monochrome (4:0:0) picture; any bit depth is scaled to 8. The ICC profile, EXIF and XMP go into
// the image's metadata.
// Write: quantizer 24 to 26 for colour (what avifenc uses by default, about quality 60 in later
// libavif), lossless alpha, encoder speed 8 of 10: AV1 encoding is slow, and the slower speeds
// save a few per cent for several times the time. Photographs in 4:2:0; indexed images, whose
// sharp colour edges 4:2:0 would smear, in 4:4:4, and gray ones as 4:0:0. AVIF holds no
// resolution, so the dpi is not written.

#include "codec/formats/format.h"
#include "codec/formats/modern_fit.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace codec {

namespace {

constexpr int kMinQuantizer = 24;
constexpr int kMaxQuantizer = 26;
constexpr int kSpeed = 8;
constexpr int kThreads = 2;

struct DecoderDeleter {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct EncoderDeleter {
    void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct ImageDeleter {
    void operator()(avifImage* i) const { avifImageDestroy(i); }
};

std::string Explain(avifResult result, const avifDiagnostics& diag)
{
    std::string text = avifResultToString(result);
    const std::size_t n = strnlen(diag.error, sizeof diag.error);
    if (n > 0)
        text += ": " + std::string(diag.error, n);
    return text;
}

Result DecodeFailure(avifResult result, const avifDiagnostics& diag)
{
    if (result == AVIF_RESULT_TRUNCATED_DATA)
        return Truncated(Explain(result, diag));
    if (result == AVIF_RESULT_OUT_OF_MEMORY)
        return LimitExceeded(Explain(result, diag));
    return Malformed(Explain(result, diag));
}

bool HasTiffHeader(const std::vector<std::uint8_t>& exif)
{
    return exif.size() >= 8 && (std::memcmp(exif.data(), "II*\0", 4) == 0 || std::memcmp(exif.data(), "MM\0*", 4) == 0);
}

void ReadMetadata(const avifImage& image, ImageMetadata& meta)
{
    meta.icc.assign(image.icc.data, image.icc.data + image.icc.size);
    meta.exif.assign(image.exif.data, image.exif.data + image.exif.size);
    // libavif hands the payload after its header offset field; writers that copy JPEG's APP1
    // keep its prefix there.
    static constexpr std::uint8_t kExifPrefix[6] = { 'E', 'x', 'i', 'f', 0, 0 };
    if (meta.exif.size() >= 6 && std::memcmp(meta.exif.data(), kExifPrefix, 6) == 0)
        meta.exif.erase(meta.exif.begin(), meta.exif.begin() + 6);
    meta.xmp.assign(reinterpret_cast<const char*>(image.xmp.data), image.xmp.size);
}

bool StartsWithBox(ByteView data, const char* type)
{
    return data.size() >= 12 && std::memcmp(data.data() + 4, type, 4) == 0;
}

} // namespace

bool AvifSniff(ByteView data)
{
    if (!StartsWithBox(data, "ftyp"))
        return false;
    const std::uint32_t boxSize
        = std::uint32_t { data[0] } << 24 | std::uint32_t { data[1] } << 16 | std::uint32_t { data[2] } << 8 | data[3];
    const std::size_t end = std::min<std::size_t>({ boxSize, data.size(), 4096 });
    // The major brand, then the compatible brands (skipping the minor version).
    for (std::size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4)
        if (std::memcmp(data.data() + at, "avif", 4) == 0 || std::memcmp(data.data() + at, "avis", 4) == 0)
            return true;
    return false;
}

Result AvifDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder)
        return LimitExceeded("out of memory for the AVIF decoder");
    // The library's own limits from ours, so that dav1d refuses a frame before taking its memory.
    const DecodeLimits bounded = BoundByData(limits, data.size(), ratio::kAvif, 24);
    const std::uint64_t maxPixels
        = std::min({ limits.maxPixels, bounded.maxDataPixels, std::uint64_t { 0xFFFFFFFFu } });
    decoder->imageSizeLimit = static_cast<std::uint32_t>(std::max<std::uint64_t>(maxPixels, 1));
    decoder->imageDimensionLimit = std::max(limits.maxWidth, limits.maxHeight);
    decoder->imageCountLimit = std::max<std::uint32_t>(limits.maxFrames, 1);
    decoder->maxThreads = kThreads;
    if (avifResult r = avifDecoderSetIOMemory(decoder.get(), data.data(), data.size()); r != AVIF_RESULT_OK)
        return Result::Fail(Status::Internal, avifResultToString(r));
    if (avifResult r = avifDecoderParse(decoder.get()); r != AVIF_RESULT_OK)
        return DecodeFailure(r, decoder->diag);

    const avifImage* parsed = decoder->image;
    const std::uint32_t w = parsed->width, h = parsed->height;
    const bool alpha = decoder->alphaPresent;
    const bool gray = !alpha && parsed->yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
    const std::uint32_t bpp = alpha ? 32 : gray ? 8 : 24;
    const DecodeLimits forDepth = BoundByData(limits, data.size(), ratio::kAvif, bpp);
    if (Result r = CheckDimensions(w, h, forDepth); !r)
        return r;
    if (avifResult r = avifDecoderNextImage(decoder.get()); r != AVIF_RESULT_OK)
        return DecodeFailure(r, decoder->diag);
    const avifImage* image = decoder->image;
    if (image->width != w || image->height != h)
        return Malformed("the picture's size differs from the size its header declares");

    if (Result r = CreateChecked(out, w, h, bpp, forDepth); !r)
        return r;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    std::vector<std::uint8_t> grayRgb;
    if (gray) {
        grayRgb.resize(static_cast<std::size_t>(w) * h * 3);
        rgb.pixels = grayRgb.data();
        rgb.rowBytes = w * 3;
    } else {
        rgb.pixels = out.Pixels().data();
        rgb.rowBytes = static_cast<std::uint32_t>(out.GetRowBytes());
    }
    if (avifResult r = avifImageYUVToRGB(image, &rgb); r != AVIF_RESULT_OK)
        return DecodeFailure(r, decoder->diag);
    if (gray) {
        std::uint8_t* dst = out.Pixels().data();
        for (std::size_t i = 0, n = static_cast<std::size_t>(w) * h; i < n; ++i)
            dst[i] = grayRgb[i * 3];
    }
    ReadMetadata(*image, out.Metadata());
    return Result::Ok();
}

Result AvifEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    if (!avifCodecName(AVIF_CODEC_CHOICE_AUTO, AVIF_CODEC_FLAG_CAN_ENCODE))
        return Unsupported("this system's libavif was built without an AV1 encoder (aom, rav1e or SVT-AV1)");
    const fit::PackedRows rows = fit::PackRows(image, false);
    const bool gray = image.IsIndexed() && image.IsGrayScale() && fit::IndexedOpaque(image);
    const avifPixelFormat format = gray ? AVIF_PIXEL_FORMAT_YUV400
        : rows.fromIndexed              ? AVIF_PIXEL_FORMAT_YUV444
                                        : AVIF_PIXEL_FORMAT_YUV420;
    std::unique_ptr<avifImage, ImageDeleter> avif(avifImageCreate(image.GetWidth(), image.GetHeight(), 8, format));
    if (!avif)
        return LimitExceeded("out of memory for the AVIF picture");
    avif->yuvRange = AVIF_RANGE_FULL;

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, avif.get());
    rgb.depth = 8;
    rgb.format = rows.channels == 4 ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.pixels = const_cast<std::uint8_t*>(rows.data); // read only: libavif's type is not const
    rgb.rowBytes = static_cast<std::uint32_t>(rows.stride);
    if (avifResult r = avifImageRGBToYUV(avif.get(), &rgb); r != AVIF_RESULT_OK)
        return Result::Fail(Status::Internal, std::string("the colour conversion failed: ") + avifResultToString(r));

    const ImageMetadata& meta = image.GetMetadata();
    if (fit::ProfileFits(meta.icc, gray))
        avifImageSetProfileICC(avif.get(), meta.icc.data(), meta.icc.size());
    // libavif refuses EXIF without a TIFF header; such bytes would be of no use to a reader anyway.
    if (HasTiffHeader(meta.exif))
        avifImageSetMetadataExif(avif.get(), meta.exif.data(), meta.exif.size());
    if (!meta.xmp.empty())
        avifImageSetMetadataXMP(avif.get(), reinterpret_cast<const std::uint8_t*>(meta.xmp.data()), meta.xmp.size());

    std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder)
        return LimitExceeded("out of memory for the AVIF encoder");
    encoder->maxThreads = kThreads;
    encoder->speed = kSpeed;
    encoder->minQuantizer = kMinQuantizer;
    encoder->maxQuantizer = kMaxQuantizer;
    encoder->minQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    avifRWData encoded = AVIF_DATA_EMPTY;
    const avifResult r = avifEncoderWrite(encoder.get(), avif.get(), &encoded);
    if (r != AVIF_RESULT_OK) {
        avifRWDataFree(&encoded);
        return Result::Fail(Status::Internal, "the encoder failed: " + Explain(r, encoder->diag));
    }
    struct Free {
        avifRWData* d;
        ~Free() { avifRWDataFree(d); }
    } free { &encoded };
    out.assign(encoded.data, encoded.data + encoded.size);
    return Result::Ok();
}

} // namespace codec
