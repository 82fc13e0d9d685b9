// WebP through libwebp (decode, encode), libwebpdemux (animation, metadata) and libwebpmux
// (metadata on write).
//
// Read: a still picture becomes 24 bits, or 32 when it has alpha; an animation becomes its first
// frame as shown on screen (32 bits), and WebpDecodeFrames gives every frame. The ICC profile,
// EXIF and XMP chunks go into the image's metadata. libwebp decodes all or nothing, so a file
// cut short fails instead of showing part of the picture.
// Write: indexed images are written losslessly (graphics, whose exact colours matter and which
// compress well without loss); true-colour images lossy at quality 80, the setting most
// converters and cwebp-based tools default to within a few points, with exact alpha. WebP holds
// no resolution, so the dpi is not written.

#include "codec/formats/webp.h"

#include "codec/formats/format.h"
#include "codec/formats/modern_fit.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>
#include <memory>
#include <string>

namespace codec {

namespace {

/// The format's own bound: a VP8L picture of one colour costs no bits per pixel.
constexpr int kMaxSide = 16383;
constexpr float kLossyQuality = 80.0f;
constexpr int kLosslessLevel = 6; // cwebp -lossless's default effort

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
struct MuxDeleter {
    void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

Result FeatureError(VP8StatusCode status)
{
    if (status == VP8_STATUS_NOT_ENOUGH_DATA)
        return Truncated("the data ends early");
    if (status == VP8_STATUS_UNSUPPORTED_FEATURE)
        return Unsupported("the file uses a feature this reader does not support");
    return Malformed("not a valid WebP file");
}

void ReadMetadata(const WebPDemuxer* demux, ImageMetadata& meta)
{
    auto chunk = [demux](const char* fourcc) {
        std::vector<std::uint8_t> bytes;
        WebPChunkIterator it;
        if (WebPDemuxGetChunk(demux, fourcc, 1, &it)) {
            bytes.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
            WebPDemuxReleaseChunkIterator(&it);
        }
        return bytes;
    };
    meta.icc = chunk("ICCP");
    meta.exif = chunk("EXIF");
    // Some writers keep JPEG's APP1 prefix in the chunk; the metadata holds the TIFF bytes alone.
    static constexpr std::uint8_t kExifPrefix[6] = { 'E', 'x', 'i', 'f', 0, 0 };
    if (meta.exif.size() >= 6 && std::memcmp(meta.exif.data(), kExifPrefix, 6) == 0)
        meta.exif.erase(meta.exif.begin(), meta.exif.begin() + 6);
    const std::vector<std::uint8_t> xmp = chunk("XMP ");
    meta.xmp.assign(xmp.begin(), xmp.end());
}

/// Checks the canvas and the frame count of an animation before libwebp allocates its canvases.
Result CheckAnimation(ByteView data, const WebPDemuxer* demux, const DecodeLimits& limits)
{
    const std::uint32_t w = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t h = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    if (Result r = CheckDimensions(w, h, BoundByData(limits, data.size(), ratio::kWebp, 32)); !r)
        return r;
    if (WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT) > limits.maxFrames)
        return LimitExceeded("the animation has more than " + std::to_string(limits.maxFrames) + " frames");
    return Result::Ok();
}

using DemuxPtr = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

DemuxPtr OpenDemux(ByteView data)
{
    const WebPData webp { data.data(), data.size() };
    return DemuxPtr(WebPDemux(&webp));
}

Result DecodeStill(ByteView data, const WebPBitstreamFeatures& features, const DecodeLimits& limits, CxImage& out)
{
    const std::uint32_t bpp = features.has_alpha ? 32 : 24;
    const DecodeLimits bounded = BoundByData(limits, data.size(), ratio::kWebp, bpp);
    if (Result r = CreateChecked(
            out, static_cast<std::uint32_t>(features.width), static_cast<std::uint32_t>(features.height), bpp, bounded);
        !r)
        return r;
    std::vector<std::uint8_t>& pixels = out.Pixels();
    const int stride = static_cast<int>(out.GetRowBytes());
    const std::uint8_t* done = bpp == 32
        ? WebPDecodeRGBAInto(data.data(), data.size(), pixels.data(), pixels.size(), stride)
        : WebPDecodeRGBInto(data.data(), data.size(), pixels.data(), pixels.size(), stride);
    if (!done)
        return Malformed("the picture data cannot be decoded");
    return Result::Ok();
}

} // namespace

bool WebpSniff(ByteView data)
{
    return data.size() >= 16 && std::memcmp(data.data(), "RIFF", 4) == 0
        && std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

std::size_t WebpFrameCount(ByteView data)
{
    if (!WebpSniff(data))
        return 0;
    DemuxPtr demux = OpenDemux(data);
    return demux ? WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) : 0;
}

Result WebpDecodeFrames(
    ByteView data, const DecodeLimits& limits, const std::function<bool(const CxImage& frame, std::size_t index)>& sink)
{
    WebPBitstreamFeatures features;
    if (VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features); status != VP8_STATUS_OK)
        return FeatureError(status);
    DemuxPtr demux = OpenDemux(data);
    if (!demux)
        return Malformed("the file's chunks are damaged");
    if (!features.has_animation) {
        CxImage still;
        if (Result r = DecodeStill(data, features, limits, still); !r)
            return r;
        ReadMetadata(demux.get(), still.Metadata());
        still.SetFrame(0);
        sink(still, 0);
        return Result::Ok();
    }
    if (Result r = CheckAnimation(data, demux.get(), limits); !r)
        return r;

    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return Result::Fail(Status::Internal, "libwebp's version does not match");
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const WebPData webp { data.data(), data.size() };
    std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&webp, &options));
    if (!decoder)
        return Malformed("the animation cannot be decoded");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        return Malformed("the animation cannot be decoded");

    CxImage frame;
    if (Result r = CreateChecked(frame, info.canvas_width, info.canvas_height, 32, limits); !r)
        return r;
    ReadMetadata(demux.get(), frame.Metadata());
    int previous = 0;
    for (std::size_t index = 0; WebPAnimDecoderHasMoreFrames(decoder.get()); ++index) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas)
            return Malformed("frame " + std::to_string(index + 1) + " cannot be decoded");
        std::memcpy(frame.Pixels().data(), canvas, frame.Pixels().size());
        // Timestamps are the end of each frame in milliseconds.
        const int ms = timestamp > previous ? timestamp - previous : 0;
        previous = timestamp;
        frame.SetFrameDelay(static_cast<std::uint32_t>((ms + 5) / 10));
        frame.SetFrame(static_cast<std::int32_t>(index));
        if (!sink(frame, index))
            break;
    }
    return Result::Ok();
}

Result WebpDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    WebPBitstreamFeatures features;
    if (VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features); status != VP8_STATUS_OK)
        return FeatureError(status);
    if (!features.has_animation) {
        DemuxPtr demux = OpenDemux(data);
        if (!demux)
            return Malformed("the file's chunks are damaged");
        if (Result r = DecodeStill(data, features, limits, out); !r)
            return r;
        ReadMetadata(demux.get(), out.Metadata());
        return Result::Ok();
    }
    // An animation shows its first frame, as a GIF does.
    bool got = false;
    Result r = WebpDecodeFrames(data, limits, [&](const CxImage& frame, std::size_t) {
        out = frame;
        got = true;
        return false;
    });
    if (r && !got)
        return Malformed("the animation has no frames");
    return r;
}

Result WebpEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    if (w > kMaxSide || h > kMaxSide)
        return Unsupported("WebP pictures are at most " + std::to_string(kMaxSide) + " pixels on a side");
    const fit::PackedRows rows = fit::PackRows(image, false);

    WebPConfig config;
    if (!WebPConfigInit(&config))
        return Result::Fail(Status::Internal, "libwebp's version does not match");
    if (rows.fromIndexed) {
        WebPConfigLosslessPreset(&config, kLosslessLevel);
        config.exact = 1; // keep the colours under transparent pixels too
    } else {
        config.quality = kLossyQuality;
        config.method = 4;
        config.alpha_quality = 100;
    }
    config.thread_level = 1;
    if (!WebPValidateConfig(&config))
        return Result::Fail(Status::Internal, "the WebP settings are refused");

    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return Result::Fail(Status::Internal, "libwebp's version does not match");
    picture.width = static_cast<int>(w);
    picture.height = static_cast<int>(h);
    picture.use_argb = config.lossless;
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const int stride = static_cast<int>(rows.stride);
    const bool imported = rows.channels == 4 ? WebPPictureImportRGBA(&picture, rows.data, stride)
                                             : WebPPictureImportRGB(&picture, rows.data, stride);
    const bool encoded = imported && WebPEncode(&config, &picture);
    const WebPEncodingError error = picture.error_code;
    WebPPictureFree(&picture);
    struct WriterGuard {
        WebPMemoryWriter* w;
        ~WriterGuard() { WebPMemoryWriterClear(w); }
    } writerGuard { &writer };
    if (!imported)
        return LimitExceeded("out of memory for the WebP picture");
    if (!encoded)
        return Result::Fail(Status::Internal, "the encoder failed (libwebp error " + std::to_string(error) + ")");

    const ImageMetadata& meta = image.GetMetadata();
    if (meta.Empty()) {
        out.assign(writer.mem, writer.mem + writer.size);
        return Result::Ok();
    }
    const WebPData bitstream { writer.mem, writer.size };
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&bitstream, 0));
    if (!mux)
        return Result::Fail(Status::Internal, "the encoded picture cannot take its metadata");
    const std::size_t iccSize = fit::ProfileFits(meta.icc, false) ? meta.icc.size() : 0;
    auto add = [&](const char* fourcc, const std::uint8_t* bytes, std::size_t size) {
        if (size == 0)
            return true;
        const WebPData chunk { bytes, size };
        return WebPMuxSetChunk(mux.get(), fourcc, &chunk, 1) == WEBP_MUX_OK;
    };
    if (!add("ICCP", meta.icc.data(), iccSize) || !add("EXIF", meta.exif.data(), meta.exif.size())
        || !add("XMP ", reinterpret_cast<const std::uint8_t*>(meta.xmp.data()), meta.xmp.size()))
        return Result::Fail(Status::Internal, "the metadata cannot be added to the picture");
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        return Result::Fail(Status::Internal, "the picture and its metadata cannot be joined");
    }
    out.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return Result::Ok();
}

} // namespace codec
