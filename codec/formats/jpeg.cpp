// JPEG through libjpeg-turbo's classic API.
//
// libjpeg reports a fatal error through error_exit, which must not return: ours longjmps back to
// the setjmp of the function that made the library call. Those functions (the *Step functions
// below) hold only trivially destructible locals, so a jump never skips a destructor; the C++
// objects (the image, row buffers, results) live in their callers, which a jump never crosses.
//
// Read: gray -> 8-bit gray palette; YCbCr/RGB -> 24 bits; CMYK/YCCK -> 24 bits (Adobe files
// store inverted CMYK). Progressive and multi-scan files too. Pixels land straight in the rows.
// Write: gray-palette images as one-component gray; everything else as YCbCr from RGB, with
// chroma at full resolution from quality 90 up (4:2:0 below).

#include "codec/formats/jpeg.h"

#include "codec/exif.h"
#include "codec/formats/format.h"
#include "codec/metadata_io.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

namespace codec {

namespace {

// Every scan of a progressive file makes the decoder sweep the whole coefficient buffer, and a
// scan can cost a few bytes: cap them so a small file cannot keep the decoder busy for minutes.
constexpr int kMaxScans = 500;

struct JpegError {
    jpeg_error_mgr mgr; // first member: the library's pointer converts back to this struct
    std::jmp_buf jump;
    Status status; // what a fatal error is reported as
    char text[JMSG_LENGTH_MAX];
    bool sawEof; // the data ended before the image did (libjpeg then pads with an EOI marker)
    JDIMENSION rowsAtEof; // rows already delivered when it did
    int scanAtEof; // the scan being read when it did
    // The library's distinct warnings, kept for the image; damaged data repeats the same few.
    char warnings[4][JMSG_LENGTH_MAX];
    int warningCount;
};

JpegError& ErrorOf(j_common_ptr cinfo)
{
    return *reinterpret_cast<JpegError*>(cinfo->err);
}

void OutputMessage(j_common_ptr cinfo)
{
    (*cinfo->err->format_message)(cinfo, ErrorOf(cinfo).text);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    JpegError& err = ErrorOf(cinfo);
    (*cinfo->err->output_message)(cinfo);
    // Backing store is what libjpeg asks for when a buffer would pass max_memory_to_use.
    if (err.mgr.msg_code == JERR_OUT_OF_MEMORY || err.mgr.msg_code == JERR_IMAGE_TOO_BIG
        || err.mgr.msg_code == JERR_NO_BACKING_STORE)
        err.status = Status::LimitExceeded;
    else if (err.sawEof && err.status == Status::Malformed)
        err.status = Status::Truncated;
    std::longjmp(err.jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace output
    JpegError& err = ErrorOf(cinfo);
    if (cinfo->is_decompressor && err.mgr.msg_code == JWRN_JPEG_EOF && !err.sawEof) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        err.sawEof = true;
        err.rowsAtEof = d->output_scanline;
        err.scanAtEof = d->input_scan_number;
    }
    err.mgr.num_warnings++;
    constexpr int kSlots = static_cast<int>(sizeof err.warnings / sizeof err.warnings[0]);
    if (err.warningCount >= kSlots)
        return;
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    for (int i = 0; i < err.warningCount; ++i)
        if (std::strcmp(err.warnings[i], text) == 0)
            return;
    std::memcpy(err.warnings[err.warningCount++], text, sizeof text);
}

void ProgressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor || reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans)
        return;
    JpegError& err = ErrorOf(cinfo);
    std::snprintf(err.text, sizeof err.text, "the file has more than %d scans", kMaxScans);
    err.status = Status::LimitExceeded;
    std::longjmp(err.jump, 1);
}

void InstallErrorHandlers(JpegError& err, Status status)
{
    jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ErrorExit;
    err.mgr.emit_message = EmitMessage;
    err.mgr.output_message = OutputMessage;
    err.status = status;
    err.text[0] = '\0';
    err.sawEof = false;
    err.rowsAtEof = 0;
    err.scanAtEof = 0;
    err.warningCount = 0;
}

Result FailureOf(const JpegError& err)
{
    return Result::Fail(err.status, err.text[0] ? err.text : "the library failed without a message");
}

// ---------------------------------------------------------------------------------------------
// Reading

enum class OutputLayout { Gray, Rgb, Cmyk };

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_progress_mgr progress;
    OutputLayout layout;
    bool adobeInverted;
};

struct DecompressGuard {
    jpeg_decompress_struct* cinfo;
    ~DecompressGuard() { jpeg_destroy_decompress(cinfo); }
};

// Reads the markers up to the first scan and chooses the output colour space.
bool ReadHeaderStep(DecodeJob& job, const std::uint8_t* data, std::size_t size)
{
    j_decompress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump))
        return false;
    jpeg_create_decompress(cinfo);
    job.progress.progress_monitor = ProgressMonitor;
    cinfo->progress = &job.progress;
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    // EXIF and XMP (APP1) and the ICC profile (APP2) travel with the picture.
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        job.layout = OutputLayout::Gray;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo->out_color_space = JCS_RGB;
        job.layout = OutputLayout::Rgb;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        job.layout = OutputLayout::Cmyk;
        // Adobe's applications write CMYK with 255 meaning no ink, and mark it with their segment.
        job.adobeInverted = cinfo->saw_Adobe_marker;
        break;
    default:
        std::snprintf(
            job.err.text, sizeof job.err.text, "%d colour components of unknown meaning", cinfo->num_components);
        job.err.status = Status::Unsupported;
        return false;
    }
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

// Joins the ICC profile's APP2 segments (libjpeg checks their numbering); the buffer is malloc'ed.
bool IccStep(DecodeJob& job, JOCTET** icc, unsigned* size)
{
    if (setjmp(job.err.jump))
        return false;
    return jpeg_read_icc_profile(&job.cinfo, icc, size);
}

constexpr std::uint8_t kExifPrefix[6] = { 'E', 'x', 'i', 'f', 0, 0 };
constexpr char kXmpPrefix[] = "http://ns.adobe.com/xap/1.0/"; // and its terminating zero

// The metadata segments read with the header: the first Exif and XMP segments, and the ICC
// profile when it describes the pixels we make.
ImageMetadata ReadMetadata(DecodeJob& job)
{
    ImageMetadata m;
    for (jpeg_saved_marker_ptr s = job.cinfo.marker_list; s; s = s->next) {
        if (s->marker != JPEG_APP0 + 1)
            continue;
        const std::size_t size = s->data_length;
        if (m.exif.empty() && size > sizeof kExifPrefix && std::memcmp(s->data, kExifPrefix, sizeof kExifPrefix) == 0)
            m.exif.assign(s->data + sizeof kExifPrefix, s->data + size);
        else if (m.xmp.empty() && size > sizeof kXmpPrefix && std::memcmp(s->data, kXmpPrefix, sizeof kXmpPrefix) == 0)
            m.xmp.assign(reinterpret_cast<const char*>(s->data) + sizeof kXmpPrefix, size - sizeof kXmpPrefix);
    }
    JOCTET* icc = nullptr;
    unsigned iccSize = 0;
    const bool haveIcc = IccStep(job, &icc, &iccSize);
    if (haveIcc && icc)
        m.icc.assign(icc, icc + iccSize);
    std::free(icc);
    if (!IccFits(m.icc, job.layout == OutputLayout::Gray))
        m.icc.clear();
    return m;
}

// Asks for output at 1/denom of the full size (libjpeg-turbo's scaled IDCT: fewer coefficients
// are transformed, so the work shrinks with the output).
bool ScaleStep(DecodeJob& job, unsigned denom)
{
    j_decompress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump))
        return false;
    cinfo->scale_num = 1;
    cinfo->scale_denom = denom;
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

void CmykRowToRgb(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, bool inverted)
{
    const unsigned flip = inverted ? 0 : 255;
    for (std::uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
        const unsigned k = src[3] ^ flip; // now 255 = no ink
        dst[0] = static_cast<std::uint8_t>(((src[0] ^ flip) * k + 127) / 255);
        dst[1] = static_cast<std::uint8_t>(((src[1] ^ flip) * k + 127) / 255);
        dst[2] = static_cast<std::uint8_t>(((src[2] ^ flip) * k + 127) / 255);
    }
}

// Decodes every row into `out`, which the caller sized from the header. `cmykRow` holds one
// row of four-component samples when the file is CMYK.
bool ReadPixelsStep(DecodeJob& job, CxImage& out, std::uint8_t* cmykRow)
{
    j_decompress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump))
        return false;
    jpeg_start_decompress(cinfo);
    const int components = job.layout == OutputLayout::Gray ? 1 : job.layout == OutputLayout::Rgb ? 3 : 4;
    if (cinfo->output_width != out.GetWidth() || cinfo->output_height != out.GetHeight()
        || cinfo->output_components != components) {
        std::snprintf(job.err.text, sizeof job.err.text, "the decoder changed the image shape");
        job.err.status = Status::Internal;
        return false;
    }
    constexpr JDIMENSION kBatch = 16;
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        JDIMENSION got;
        if (job.layout == OutputLayout::Cmyk) {
            JSAMPROW row = cmykRow;
            got = jpeg_read_scanlines(cinfo, &row, 1);
            if (got == 1)
                CmykRowToRgb(cmykRow, out.Row(y), out.GetWidth(), job.adobeInverted);
        } else {
            JSAMPROW rows[kBatch];
            const JDIMENSION n = std::min(kBatch, cinfo->output_height - y);
            for (JDIMENSION i = 0; i < n; ++i)
                rows[i] = out.Row(y + i);
            got = jpeg_read_scanlines(cinfo, rows, n);
        }
        if (got == 0) {
            std::snprintf(job.err.text, sizeof job.err.text, "the decoder stopped at row %u", unsigned(y));
            job.err.status = Status::Internal;
            return false;
        }
    }
    return true;
}

int DensityToDpi(UINT8 unit, UINT16 density)
{
    if (unit == 1)
        return density;
    if (unit == 2)
        return static_cast<int>(std::lround(density * 2.54));
    return 0; // unit 0 only gives the aspect ratio
}

// ---------------------------------------------------------------------------------------------
// Writing

// A destination that grows the caller's vector, so the compressed bytes need no second copy and
// nothing leaks when an error leaves the encoder halfway.
struct VectorDestination {
    jpeg_destination_mgr mgr; // first member, as with JpegError
    std::vector<std::uint8_t>* out;
    std::size_t initialSize;
};

VectorDestination& DestinationOf(j_compress_ptr cinfo)
{
    return *reinterpret_cast<VectorDestination*>(cinfo->dest);
}

void GrowDestination(j_compress_ptr cinfo, std::size_t keep, std::size_t newSize)
{
    VectorDestination& d = DestinationOf(cinfo);
    bool grown = true;
    try {
        d.out->resize(newSize);
    } catch (...) {
        grown = false;
    }
    if (!grown)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0); // outside the handler: it longjmps
    d.mgr.next_output_byte = d.out->data() + keep;
    d.mgr.free_in_buffer = newSize - keep;
}

void InitDestination(j_compress_ptr cinfo)
{
    GrowDestination(cinfo, 0, DestinationOf(cinfo).initialSize);
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    const std::size_t size = DestinationOf(cinfo).out->size(); // the whole buffer is full
    GrowDestination(cinfo, size, size * 2);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    VectorDestination& d = DestinationOf(cinfo);
    d.out->resize(d.out->size() - d.mgr.free_in_buffer);
}

enum class InputLayout {
    Gray, ///< rows are gray values already (8-bit identity gray palette)
    GrayLookup, ///< gray palette: index -> gray through `lookup`
    Palette, ///< colour palette: index -> RGB through `lookup` (3 bytes an entry)
    Rgb, ///< 16 and 24 bits: rows are RGB
    Rgbx, ///< 32 bits: alpha is skipped by the library
};

struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegError err;
    VectorDestination dest;
};

// The metadata segments a written file carries, prepared by the caller.
struct MetadataSegments {
    const std::uint8_t* exif; // with the "Exif\0\0" prefix
    unsigned exifSize;
    const std::uint8_t* xmp; // with the XMP namespace prefix
    unsigned xmpSize;
    const std::uint8_t* icc;
    unsigned iccSize;
};

struct CompressGuard {
    jpeg_compress_struct* cinfo;
    ~CompressGuard() { jpeg_destroy_compress(cinfo); }
};

bool WriteStep(EncodeJob& job,
    const CxImage& image,
    InputLayout layout,
    int quality,
    std::uint8_t* rowBuffer,
    const std::uint8_t* lookup,
    const MetadataSegments& meta)
{
    j_compress_ptr cinfo = &job.cinfo;
    if (setjmp(job.err.jump))
        return false;
    jpeg_create_compress(cinfo);
    job.dest.mgr.init_destination = InitDestination;
    job.dest.mgr.empty_output_buffer = EmptyOutputBuffer;
    job.dest.mgr.term_destination = TermDestination;
    cinfo->dest = &job.dest.mgr;
    cinfo->image_width = image.GetWidth();
    cinfo->image_height = image.GetHeight();
    switch (layout) {
    case InputLayout::Gray:
    case InputLayout::GrayLookup:
        cinfo->input_components = 1;
        cinfo->in_color_space = JCS_GRAYSCALE;
        break;
    case InputLayout::Rgbx:
        cinfo->input_components = 4;
        cinfo->in_color_space = JCS_EXT_RGBX;
        break;
    default:
        cinfo->input_components = 3;
        cinfo->in_color_space = JCS_RGB;
        break;
    }
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    if (quality >= 90 && cinfo->num_components == 3) {
        // Full-resolution chroma at high quality: halving it blurs coloured edges far more than
        // the quantisation does (about 26 dB against 41 dB on sharp colour test charts).
        for (int i = 0; i < 3; ++i)
            cinfo->comp_info[i].h_samp_factor = cinfo->comp_info[i].v_samp_factor = 1;
    }
    if (image.GetXDPI() > 0 || image.GetYDPI() > 0) {
        const int x = image.GetXDPI() > 0 ? image.GetXDPI() : image.GetYDPI();
        const int y = image.GetYDPI() > 0 ? image.GetYDPI() : image.GetXDPI();
        cinfo->write_JFIF_header = TRUE;
        cinfo->density_unit = 1;
        cinfo->X_density = static_cast<UINT16>(std::min(x, 65535));
        cinfo->Y_density = static_cast<UINT16>(std::min(y, 65535));
    }
    jpeg_start_compress(cinfo, TRUE);
    if (meta.exifSize)
        jpeg_write_marker(cinfo, JPEG_APP0 + 1, meta.exif, meta.exifSize);
    if (meta.xmpSize)
        jpeg_write_marker(cinfo, JPEG_APP0 + 1, meta.xmp, meta.xmpSize);
    if (meta.iccSize)
        jpeg_write_icc_profile(cinfo, meta.icc, meta.iccSize);
    const std::uint32_t width = image.GetWidth();
    while (cinfo->next_scanline < cinfo->image_height) {
        const std::uint8_t* src = image.Row(cinfo->next_scanline);
        JSAMPROW row;
        switch (layout) {
        case InputLayout::GrayLookup:
            for (std::uint32_t x = 0; x < width; ++x)
                rowBuffer[x] = lookup[src[x]];
            row = rowBuffer;
            break;
        case InputLayout::Palette:
            for (std::uint32_t x = 0; x < width; ++x)
                std::memcpy(rowBuffer + 3 * x, lookup + 3 * src[x], 3);
            row = rowBuffer;
            break;
        default:
            row = const_cast<JSAMPROW>(src); // libjpeg only reads input rows
            break;
        }
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

bool JpegSniff(ByteView data)
{
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

std::uint32_t JpegScaleFor(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth, std::uint32_t minHeight)
{
    if (minWidth == 0 || minHeight == 0)
        return 1;
    const auto covers = [&](std::uint32_t denom) {
        return (std::uint64_t { width } + denom - 1) / denom >= minWidth
            && (std::uint64_t { height } + denom - 1) / denom >= minHeight;
    };
    for (std::uint32_t denom : { 8u, 4u, 2u })
        if (covers(denom))
            return denom;
    return 1;
}

namespace {

Result DecodeAtScale(ByteView data, const DecodeLimits& limits, const LoadHints* hints, CxImage& out)
{
    if (data.empty())
        return Truncated("the file is empty");
    if (!JpegSniff(data))
        return Malformed("no start-of-image marker");

    DecodeJob job {};
    InstallErrorHandlers(job.err, Status::Malformed);
    job.cinfo.err = &job.err.mgr;
    DecompressGuard guard { &job.cinfo };
    if (!ReadHeaderStep(job, data.data(), data.size()))
        return FailureOf(job.err);
    ImageMetadata metadata = ReadMetadata(job);

    const jpeg_decompress_struct& cinfo = job.cinfo;
    // Every 8x8 block of samples costs at least one bit of Huffman data; the bound counts the
    // samples a pixel has after chroma subsampling. libjpeg's whole-image buffers (progressive
    // and multi-scan files) get the same bound through its own memory limit.
    int samplesPerMcu = 0;
    for (int i = 0; i < cinfo.num_components; ++i)
        samplesPerMcu += cinfo.comp_info[i].h_samp_factor * cinfo.comp_info[i].v_samp_factor;
    const int mcuPixels = std::max(cinfo.max_h_samp_factor * cinfo.max_v_samp_factor, 1);
    const auto bitsPerPixel = static_cast<std::uint32_t>(std::max((8 * samplesPerMcu + mcuPixels - 1) / mcuPixels, 1));
    const DecodeLimits bounded = BoundByData(
        limits, data.size(), cinfo.arith_code ? ratio::kJpegArithmetic : ratio::kJpegHuffman, bitsPerPixel);
    // The full size is checked even for a reduced decode: a hint never lets a file through that
    // a full decode refuses, and libjpeg's coefficient buffers stay full-size anyway.
    if (Result r = CheckDimensions(cinfo.image_width, cinfo.image_height, bounded); !r)
        return r;
    if (hints && hints->minimumSize) {
        // The caller sizes the upright picture, which CxImage makes of this one after decoding.
        const bool sideways = exif::Orientation(metadata.exif) >= 5;
        LoadHints::Size need = sideways ? hints->minimumSize(cinfo.image_height, cinfo.image_width)
                                        : hints->minimumSize(cinfo.image_width, cinfo.image_height);
        if (sideways)
            std::swap(need.width, need.height);
        const std::uint32_t denom = JpegScaleFor(cinfo.image_width, cinfo.image_height, need.width, need.height);
        if (denom > 1 && !ScaleStep(job, denom))
            return FailureOf(job.err);
    }
    job.cinfo.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(WorkingMemory(bounded), LONG_MAX));
    const std::uint32_t bpp = job.layout == OutputLayout::Gray ? 8 : 24;
    if (Result r = CreateChecked(out, cinfo.output_width, cinfo.output_height, bpp, bounded); !r)
        return r;
    std::vector<std::uint8_t> cmykRow;
    if (job.layout == OutputLayout::Cmyk)
        cmykRow.resize(static_cast<std::size_t>(cinfo.output_width) * 4);
    int xdpi = 0, ydpi = 0;
    if (cinfo.saw_JFIF_marker) {
        xdpi = DensityToDpi(cinfo.density_unit, cinfo.X_density);
        ydpi = DensityToDpi(cinfo.density_unit, cinfo.Y_density);
    }
    out.SetXDPI(xdpi);
    out.SetYDPI(ydpi);

    if (!ReadPixelsStep(job, out, cmykRow.data())) {
        out.Destroy();
        return FailureOf(job.err);
    }
    // A file cut short still shows what arrived (libjpeg fills the rest), as long as that is at
    // least one full band of rows, or for a progressive file, more than the first scan.
    if (job.err.sawEof) {
        const bool nothing = jpeg_has_multiple_scans(&job.cinfo) ? job.err.scanAtEof <= 1 : job.err.rowsAtEof == 0;
        if (nothing) {
            out.Destroy();
            return Truncated("the data ends before any rows of the image");
        }
    }
    for (int i = 0; i < job.err.warningCount; ++i)
        out.AddWarning(job.err.warnings[i]);
    out.SetMetadata(std::move(metadata));
    return Result::Ok();
}

} // namespace

Result JpegDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    return DecodeAtScale(data, limits, nullptr, out);
}

Result JpegDecodeScaled(ByteView data, const DecodeLimits& limits, const LoadHints& hints, CxImage& out)
{
    return DecodeAtScale(data, limits, &hints, out);
}

Result JpegEncodeWithQuality(const CxImage& image, int quality, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (!image.IsValid())
        return Malformed("the image is empty");
    const std::uint32_t width = image.GetWidth();
    const std::vector<RGBQuad>& palette = image.Palette();

    InputLayout layout;
    std::uint8_t lookup[256 * 3] = {};
    std::vector<std::uint8_t> rowBuffer;
    if (image.IsIndexed() && image.IsGrayScale()) {
        bool identity = image.GetBpp() == 8 && palette.size() == 256;
        for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
            lookup[i] = palette[i].red;
            identity = identity && palette[i].red == i;
        }
        layout = identity ? InputLayout::Gray : InputLayout::GrayLookup;
        if (!identity)
            rowBuffer.resize(width);
    } else if (image.IsIndexed()) {
        for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
            lookup[3 * i] = palette[i].red;
            lookup[3 * i + 1] = palette[i].green;
            lookup[3 * i + 2] = palette[i].blue;
        }
        layout = InputLayout::Palette;
        rowBuffer.resize(static_cast<std::size_t>(width) * 3);
    } else {
        layout = image.GetBpp() == 32 ? InputLayout::Rgbx : InputLayout::Rgb;
    }

    EncodeJob job {};
    InstallErrorHandlers(job.err, Status::Internal);
    job.cinfo.err = &job.err.mgr;
    job.dest.out = &out;
    const std::uint64_t samples = std::uint64_t { width } * image.GetHeight()
        * (layout == InputLayout::Gray || layout == InputLayout::GrayLookup ? 1 : 3);
    job.dest.initialSize = static_cast<std::size_t>(std::clamp<std::uint64_t>(samples / 6, 4096, 64u << 20));
    // Segments that do not fit one marker are left out (extended XMP is not written).
    const ImageMetadata& m = image.GetMetadata();
    std::vector<std::uint8_t> exif, xmp;
    MetadataSegments meta {};
    if (!m.exif.empty() && m.exif.size() + sizeof kExifPrefix <= kJpegSegmentMax) {
        exif.assign(kExifPrefix, kExifPrefix + sizeof kExifPrefix);
        exif.insert(exif.end(), m.exif.begin(), m.exif.end());
        meta.exif = exif.data(), meta.exifSize = static_cast<unsigned>(exif.size());
    }
    if (!m.xmp.empty() && m.xmp.size() + sizeof kXmpPrefix <= kJpegSegmentMax) {
        xmp.assign(kXmpPrefix, kXmpPrefix + sizeof kXmpPrefix);
        xmp.insert(xmp.end(), m.xmp.begin(), m.xmp.end());
        meta.xmp = xmp.data(), meta.xmpSize = static_cast<unsigned>(xmp.size());
    }
    // APP2 holds at most 255 chunks of 65519 bytes.
    const bool gray = layout == InputLayout::Gray || layout == InputLayout::GrayLookup;
    if (IccFits(m.icc, gray) && m.icc.size() <= 255u * 65519u)
        meta.icc = m.icc.data(), meta.iccSize = static_cast<unsigned>(m.icc.size());

    CompressGuard guard { &job.cinfo };
    if (!WriteStep(job, image, layout, std::clamp(quality, 1, 100), rowBuffer.data(), lookup, meta)) {
        out.clear();
        return FailureOf(job.err);
    }
    return Result::Ok();
}

Result JpegEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    return JpegEncodeWithQuality(image, kJpegDefaultQuality, out);
}

} // namespace codec
