// JPEG XL through libjxl.
//
// Read: the first frame, upright (the codestream's orientation applied, as libjxl does by
// default): gray → 8-bit gray, gray with alpha and RGBA → 32, RGB → 24; any bit depth becomes 8.
// An ICC profile the file carries (rather than one of the format's named colour spaces), the
// "Exif" and the "xml " boxes go into the image's metadata.
// Write: distance 1.0 (visually lossless, the reference encoder's default) at effort 3 of 9: the
// default effort 7 takes several times as long for a few per cent. Indexed images are written
// losslessly, gray palettes as one channel. The metadata goes into boxes, the ICC profile into
// the codestream. JPEG XL holds no resolution, so the dpi is not written.

#include "codec/formats/format.h"
#include "codec/formats/modern_fit.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace codec {

namespace {

constexpr float kDistance = 1.0f;
constexpr int kEffort = 3;
constexpr std::size_t kThreads = 2;

struct DecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct EncoderDeleter {
    void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};
struct RunnerDeleter {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};
using RunnerPtr = std::unique_ptr<void, RunnerDeleter>;

/// A metadata box being read: the buffer libjxl writes into, grown while it asks for more.
struct BoxReader {
    std::vector<std::uint8_t>* target = nullptr;
    std::vector<std::uint8_t> buffer;
    /// A box is never larger than the file it is in (compressed boxes are not unpacked).
    std::size_t cap = 0;
};

/// Ends the box under way: what libjxl wrote goes to its target.
void FinishBox(JxlDecoder* dec, BoxReader& box)
{
    if (!box.target)
        return;
    const std::size_t unused = JxlDecoderReleaseBoxBuffer(dec);
    box.buffer.resize(box.buffer.size() - std::min(unused, box.buffer.size()));
    *box.target = std::move(box.buffer);
    box.buffer.clear();
    box.target = nullptr;
}

/// The JPEG XL "Exif" box starts with the offset of the TIFF header after it.
void TrimExif(std::vector<std::uint8_t>& exif)
{
    if (exif.size() < 4) {
        exif.clear();
        return;
    }
    const std::uint64_t offset
        = std::uint64_t { exif[0] } << 24 | std::uint64_t { exif[1] } << 16 | std::uint64_t { exif[2] } << 8 | exif[3];
    if (offset > exif.size() - 4) {
        exif.clear();
        return;
    }
    exif.erase(exif.begin(), exif.begin() + 4 + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

bool JxlSniff(ByteView data)
{
    const JxlSignature s = JxlSignatureCheck(data.data(), data.size());
    return s == JXL_SIG_CODESTREAM || s == JXL_SIG_CONTAINER;
}

Result JxlDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    std::unique_ptr<JxlDecoder, DecoderDeleter> dec(JxlDecoderCreate(nullptr));
    if (!dec)
        return LimitExceeded("out of memory for the JPEG XL decoder");
    RunnerPtr runner(JxlThreadParallelRunnerCreate(nullptr, kThreads));
    if (runner && JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS)
        return Result::Fail(Status::Internal, "the decoder's threads cannot be set up");
    if (JxlDecoderSubscribeEvents(
            dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE | JXL_DEC_BOX)
        != JXL_DEC_SUCCESS)
        return Result::Fail(Status::Internal, "the decoder refuses its events");
    if (JxlDecoderSetInput(dec.get(), data.data(), data.size()) != JXL_DEC_SUCCESS)
        return Result::Fail(Status::Internal, "the decoder refuses its input");
    JxlDecoderCloseInput(dec.get());

    JxlPixelFormat format { 3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0 };
    ImageMetadata meta;
    std::vector<std::uint8_t> xmp;
    BoxReader box;
    box.cap = data.size();
    bool haveInfo = false;
    bool haveImage = false;
    bool animation = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
        if (status != JXL_DEC_BOX_NEED_MORE_OUTPUT)
            FinishBox(dec.get(), box);
        if (status == JXL_DEC_ERROR)
            return Malformed(haveInfo ? "the picture data cannot be decoded" : "not a valid JPEG XL file");
        if (status == JXL_DEC_NEED_MORE_INPUT)
            return Truncated("the data ends early");
        if (status == JXL_DEC_SUCCESS)
            break;
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS)
                return Malformed("the header cannot be read");
            const bool gray = info.num_color_channels == 1;
            const bool alpha = info.alpha_bits > 0;
            const std::uint32_t bpp = alpha ? 32 : gray ? 8 : 24;
            format.num_channels = alpha ? 4 : gray ? 1 : 3;
            // Orientations 5 to 8 turn the picture a quarter: the output has the sides swapped.
            const bool swapped = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const std::uint32_t w = swapped ? info.ysize : info.xsize;
            const std::uint32_t h = swapped ? info.xsize : info.ysize;
            if (Result r = CreateChecked(out, w, h, bpp, BoundByData(limits, data.size(), ratio::kJxl, bpp)); !r)
                return r;
            animation = info.have_animation;
            haveInfo = true;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            JxlColorEncoding encoding;
            // A named colour space needs no profile; only a profile the file carries is kept.
            if (JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &encoding)
                != JXL_DEC_SUCCESS) {
                std::size_t size = 0;
                if (JxlDecoderGetICCProfileSize(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &size)
                        == JXL_DEC_SUCCESS
                    && size > 0 && size <= data.size() * 16 + 4096) {
                    meta.icc.resize(size);
                    if (JxlDecoderGetColorAsICCProfile(
                            dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, meta.icc.data(), size)
                        != JXL_DEC_SUCCESS)
                        meta.icc.clear();
                }
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            if (!haveInfo)
                return Malformed("the picture comes before its header");
            std::size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(dec.get(), &format, &needed) != JXL_DEC_SUCCESS
                || needed != out.Pixels().size())
                return Malformed("the picture's size differs from the size its header declares");
            if (JxlDecoderSetImageOutBuffer(dec.get(), &format, out.Pixels().data(), out.Pixels().size())
                != JXL_DEC_SUCCESS)
                return Malformed("the picture cannot be decoded");
        } else if (status == JXL_DEC_FULL_IMAGE) {
            haveImage = true;
            // The first frame is the picture; the metadata boxes of an animation come before
            // its frames in the files encoders write, and the rest is not worth decoding.
            if (animation)
                break;
        } else if (status == JXL_DEC_BOX) {
            JxlBoxType type;
            if (JxlDecoderGetBoxType(dec.get(), type, JXL_FALSE) != JXL_DEC_SUCCESS)
                continue;
            std::vector<std::uint8_t>* target = nullptr;
            if (std::memcmp(type, "Exif", 4) == 0 && meta.exif.empty())
                target = &meta.exif;
            else if (std::memcmp(type, "xml ", 4) == 0 && xmp.empty())
                target = &xmp;
            if (!target)
                continue;
            box.target = target;
            box.buffer.assign(std::min<std::size_t>(box.cap, 64 * 1024), 0);
            if (JxlDecoderSetBoxBuffer(dec.get(), box.buffer.data(), box.buffer.size()) != JXL_DEC_SUCCESS)
                box.target = nullptr;
        } else if (status == JXL_DEC_BOX_NEED_MORE_OUTPUT) {
            const std::size_t unused = JxlDecoderReleaseBoxBuffer(dec.get());
            const std::size_t written = box.buffer.size() - std::min(unused, box.buffer.size());
            if (!box.target || box.buffer.size() >= box.cap)
                return Malformed("a metadata box is larger than the file");
            box.buffer.resize(std::min(box.cap, box.buffer.size() * 2));
            if (JxlDecoderSetBoxBuffer(dec.get(), box.buffer.data() + written, box.buffer.size() - written)
                != JXL_DEC_SUCCESS)
                return Malformed("a metadata box cannot be read");
        }
    }
    if (!haveImage)
        return Truncated("the file ends before its picture");
    TrimExif(meta.exif);
    meta.xmp.assign(xmp.begin(), xmp.end());
    out.SetMetadata(std::move(meta));
    return Result::Ok();
}

Result JxlEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const fit::PackedRows rows = fit::PackRows(image, true);
    std::unique_ptr<JxlEncoder, EncoderDeleter> enc(JxlEncoderCreate(nullptr));
    if (!enc)
        return LimitExceeded("out of memory for the JPEG XL encoder");
    RunnerPtr runner(JxlThreadParallelRunnerCreate(nullptr, kThreads));
    if (runner && JxlEncoderSetParallelRunner(enc.get(), JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the encoder's threads cannot be set up");

    const bool lossless = rows.fromIndexed;
    const bool alpha = rows.channels == 4;
    const bool gray = rows.channels == 1;
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = image.GetWidth();
    info.ysize = image.GetHeight();
    info.bits_per_sample = 8;
    info.num_color_channels = gray ? 1 : 3;
    info.alpha_bits = alpha ? 8 : 0;
    info.num_extra_channels = alpha ? 1 : 0;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    const ImageMetadata& meta = image.GetMetadata();
    const bool boxes = !meta.exif.empty() || !meta.xmp.empty();
    if (boxes && JxlEncoderUseBoxes(enc.get()) != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the encoder refuses metadata boxes");
    if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS)
        return Unsupported("the picture's size or depth is refused by the encoder");
    bool profileSet = false;
    // A profile of another colour space than the pixels' would be refused (ProfileFits).
    const bool profileFits = fit::ProfileFits(meta.icc, gray);
    if (profileFits)
        profileSet = JxlEncoderSetICCProfile(enc.get(), meta.icc.data(), meta.icc.size()) == JXL_ENC_SUCCESS;
    if (!profileSet) { // no profile, or one libjxl cannot use: the pixels are sRGB
        JxlColorEncoding srgb;
        JxlColorEncodingSetToSRGB(&srgb, gray ? JXL_TRUE : JXL_FALSE);
        if (JxlEncoderSetColorEncoding(enc.get(), &srgb) != JXL_ENC_SUCCESS)
            return Result::Fail(Status::Internal, "the encoder refuses the sRGB colour space");
    }
    if (!meta.exif.empty()) {
        std::vector<std::uint8_t> exifBox(4, 0); // the TIFF header follows at once
        exifBox.insert(exifBox.end(), meta.exif.begin(), meta.exif.end());
        if (JxlEncoderAddBox(enc.get(), "Exif", exifBox.data(), exifBox.size(), JXL_FALSE) != JXL_ENC_SUCCESS)
            return Result::Fail(Status::Internal, "the EXIF box is refused");
    }
    if (!meta.xmp.empty()
        && JxlEncoderAddBox(
               enc.get(), "xml ", reinterpret_cast<const std::uint8_t*>(meta.xmp.data()), meta.xmp.size(), JXL_FALSE)
            != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the XMP box is refused");
    if (boxes)
        JxlEncoderCloseBoxes(enc.get());

    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    if (!settings
        || JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, kEffort) != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the encoder's settings are refused");
    if (lossless ? JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS
                 : JxlEncoderSetFrameDistance(settings, kDistance) != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the encoder's quality is refused");
    const JxlPixelFormat format { rows.channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0 };
    if (JxlEncoderAddImageFrame(settings, &format, rows.data, rows.stride * image.GetHeight()) != JXL_ENC_SUCCESS)
        return Result::Fail(Status::Internal, "the encoder refuses the picture");
    JxlEncoderCloseInput(enc.get());

    out.resize(std::max<std::size_t>(4096, rows.stride * image.GetHeight() / 8));
    std::size_t used = 0;
    for (;;) {
        std::uint8_t* next = out.data() + used;
        std::size_t available = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(enc.get(), &next, &available);
        used = static_cast<std::size_t>(next - out.data());
        if (status == JXL_ENC_SUCCESS)
            break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT)
            return Result::Fail(Status::Internal, "the encoder failed");
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return Result::Ok();
}

} // namespace codec
