// PNG through libpng, from and to memory.
//
// libpng reports a fatal error through our error function, which longjmps back to the setjmp of
// the function that made the library call. Those functions (the *Step functions below) hold only
// trivially destructible locals, so a jump never skips a destructor; the C++ objects live in
// their callers, which a jump never crosses.
//
// Read: palette 1/2/4/8 -> indexed 1/4/4/8 (tRNS becomes palette alpha, the first fully
// transparent entry the transparent index); gray 1 -> 1-bit black/white, gray 2 -> 8-bit gray,
// gray 4 -> 4-bit gray, gray 8/16 -> 8-bit gray; gray+alpha, RGBA and gray/RGB with a tRNS
// colour -> 32 bits; RGB -> 24 bits. 16-bit samples are scaled (rounded) to 8 bits.
// Write: see PngEncodeWithLevel.

#include "codec/formats/png.h"

#include "codec/formats/bytes.h"
#include "codec/formats/format.h"
#include "codec/metadata_io.h"
#include "codec/formats/png_deflate.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <png.h>

namespace codec {

namespace {

constexpr std::uint8_t kSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

// Ancillary chunks are kept in memory by libpng: cap how many and how large.
constexpr png_uint_32 kMaxCachedChunks = 128;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct PngIo {
    const std::uint8_t* data; // reading
    std::size_t size;
    std::size_t pos;
    std::vector<std::uint8_t>* out; // writing
    Status status; // what a fatal error is reported as
    char text[200];
    std::vector<std::string>* warnings; // reading: the library's warnings, for the image
};

void PNGCBAPI OnError(png_structp png, png_const_charp message)
{
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    std::snprintf(io->text, sizeof io->text, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void PNGCBAPI OnWarning(png_structp png, png_const_charp message)
{
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    if (!io->warnings || !message || io->warnings->size() >= CxImage::kMaxWarnings)
        return;
    try {
        io->warnings->emplace_back(message);
    } catch (...) { // a lost warning is better than an exception through the library
    }
}

void PNGCBAPI ReadData(png_structp png, png_bytep dst, std::size_t length)
{
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (length > io->size - io->pos) {
        io->status = Status::Truncated;
        png_error(png, "the data ends early");
    }
    std::memcpy(dst, io->data + io->pos, length);
    io->pos += length;
}

void PNGCBAPI WriteData(png_structp png, png_bytep data, std::size_t length)
{
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        io->out->insert(io->out->end(), data, data + length);
    } catch (...) {
        ok = false;
    }
    if (!ok) { // outside the handler: png_error longjmps
        io->status = Status::LimitExceeded;
        png_error(png, "out of memory for the encoded file");
    }
}

void PNGCBAPI FlushData(png_structp) { }

Result FailureOf(const PngIo& io)
{
    return Result::Fail(io.status, io.text[0] ? io.text : "the library failed without a message");
}

int PpmToDpi(png_uint_32 perMetre)
{
    return static_cast<int>(std::lround(perMetre * 0.0254));
}
png_uint_32 DpiToPpm(int dpi)
{
    return static_cast<png_uint_32>(std::lround(dpi / 0.0254));
}

// ---------------------------------------------------------------------------------------------
// Reading

struct ReadHeader {
    png_uint_32 width;
    png_uint_32 height;
    std::uint32_t bpp; // of the image we make
    bool paletteFile;
    RGBQuad palette[256];
    int paletteSize;
    int transIndex;
    int xdpi;
    int ydpi;
    std::size_t rowBytes; // after the transforms
};

struct InfoGuard {
    png_structp png;
    png_infop info;
    ~InfoGuard() { png_destroy_info_struct(png, &info); }
};

struct ReadGuard {
    png_structp png;
    png_infop info;
    ~ReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Reads the chunks up to the image data and sets the transforms that give our storage layout.
bool ReadHeaderStep(png_structp png, png_infop info, const DecodeLimits& limits, ReadHeader& h)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, limits.maxWidth, limits.maxHeight);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &h.width, &h.height, &depth, &colorType, nullptr, nullptr, nullptr);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    h.paletteFile = colorType == PNG_COLOR_TYPE_PALETTE;
    h.paletteSize = 0;
    h.transIndex = -1;
    png_set_scale_16(png); // rounds, where stripping would truncate
    switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
        if (depth < 8)
            png_set_packing(png);
        h.bpp = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
        png_colorp colors = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &colors, &count) || count < 1)
            png_error(png, "the palette is missing");
        h.paletteSize = std::min(count, 256);
        for (int i = 0; i < h.paletteSize; ++i)
            h.palette[i] = RGBQuad { colors[i].red, colors[i].green, colors[i].blue, 255 };
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        if (trns && png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) && alpha) {
            for (int i = 0; i < alphaCount && i < h.paletteSize; ++i) {
                h.palette[i].alpha = alpha[i];
                if (alpha[i] == 0 && h.transIndex < 0)
                    h.transIndex = i;
            }
        }
        break;
    }
    case PNG_COLOR_TYPE_GRAY:
        if (trns) {
            png_set_expand(png); // low depths to 8 bits, the tRNS value to an alpha channel
            png_set_gray_to_rgb(png);
            h.bpp = 32;
        } else if (depth == 1 || depth == 4) {
            png_set_packing(png);
            h.bpp = depth;
        } else {
            if (depth == 2)
                png_set_expand_gray_1_2_4_to_8(png);
            h.bpp = 8;
        }
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        h.bpp = 32;
        break;
    case PNG_COLOR_TYPE_RGB:
        if (trns)
            png_set_tRNS_to_alpha(png);
        h.bpp = trns ? 32 : 24;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        h.bpp = 32;
        break;
    default:
        png_error(png, "unknown colour type");
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h.rowBytes = png_get_rowbytes(png, info);

    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    h.xdpi = h.ydpi = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
        h.xdpi = PpmToDpi(resX);
        h.ydpi = PpmToDpi(resY);
    }
    return true;
}

bool ReadPixelsStep(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    // The chunks after the image data are not read: a damaged trailer should not lose the pixels.
    return true;
}

constexpr char kXmpKey[] = "XML:com.adobe.xmp";

// Takes EXIF (eXIf), XMP (iTXt) and the ICC profile (iCCP) from what libpng has read into `info`;
// only getters, so no error can jump out of here.
void TakeMetadata(png_structp png, png_infop info, bool grayPixels, ImageMetadata& m)
{
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (m.exif.empty() && png_get_eXIf_1(png, info, &exifSize, &exif) && exif && exifSize > 0)
        m.exif.assign(exif, exif + exifSize);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep icc = nullptr;
    png_uint_32 iccSize = 0;
    if (m.icc.empty() && png_get_iCCP(png, info, &name, &compression, &icc, &iccSize) && icc) {
        m.icc.assign(icc, icc + iccSize);
        if (!IccFits(m.icc, grayPixels))
            m.icc.clear();
    }
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count && text && m.xmp.empty(); ++i)
        if (text[i].key && std::strcmp(text[i].key, kXmpKey) == 0 && text[i].text)
            m.xmp.assign(text[i].text,
                text[i].compression >= PNG_ITXT_COMPRESSION_NONE ? text[i].itxt_length : text[i].text_length);
}

// Reads the chunks after the image data into `endInfo` (EXIF and XMP may be placed there).
bool ReadEndStep(png_structp png, png_infop endInfo)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_end(png, endInfo);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

// Hands the image's metadata to libpng, which writes it with the header chunks. A profile that
// does not suit the pixels, or that libpng finds damaged, is left out rather than failing the file.
void PutMetadata(png_structp png, png_infop info, const ImageMetadata& m, bool grayPixels)
{
    if (!m.exif.empty() && m.exif.size() <= 0x7FFFFFFFu)
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(m.exif.size()), const_cast<png_bytep>(m.exif.data()));
    if (IccFits(m.icc, grayPixels) && m.icc.size() <= 0x7FFFFFFFu) {
        // A profile libpng refuses is then dropped with a warning; the chunks that follow are ours
        // and well-formed, so nothing else is let through by this.
        png_set_benign_errors(png, 1);
        png_set_iCCP(
            png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, m.icc.data(), static_cast<png_uint_32>(m.icc.size()));
    }
    if (!m.xmp.empty()) {
        png_text text {};
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>(kXmpKey);
        text.text = const_cast<png_charp>(m.xmp.c_str());
        text.itxt_length = m.xmp.size();
        text.lang = const_cast<png_charp>("");
        text.lang_key = const_cast<png_charp>("");
        png_set_text(png, info, &text, 1);
    }
}

struct WritePlan {
    int colorType;
    int bitDepth;
    png_color palette[256];
    int paletteSize;
    png_byte alpha[256];
    int alphaCount;
    bool lookupRows; // gray values come from `lookup` rather than the rows themselves
    std::uint8_t lookup[256];
};

struct WriteGuard {
    png_structp png;
    png_infop info;
    ~WriteGuard() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// One IDAT chunk per band (the zlib header joins the first, the checksum the last), then IEND.
// libpng writes no image data of its own, so png_write_end (which insists on it) is not called:
// whatever `info` carries must be set before png_write_info, which writes it.
void WriteImageData(png_structp png, const std::vector<std::vector<std::uint8_t>>& pieces)
{
    const std::size_t last = pieces.size() - 1;
    for (std::size_t i = 1; i < last; ++i) {
        const std::size_t length
            = pieces[i].size() + (i == 1 ? pieces[0].size() : 0) + (i + 1 == last ? pieces[last].size() : 0);
        if (length > PNG_UINT_31_MAX)
            png_error(png, "an image data chunk is too large");
        png_write_chunk_start(png, reinterpret_cast<png_const_bytep>("IDAT"), static_cast<png_uint_32>(length));
        if (i == 1)
            png_write_chunk_data(png, pieces[0].data(), pieces[0].size());
        png_write_chunk_data(png, pieces[i].data(), pieces[i].size());
        if (i + 1 == last)
            png_write_chunk_data(png, pieces[last].data(), pieces[last].size());
        png_write_chunk_end(png);
    }
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
}

bool WriteStep(png_structp png,
    png_infop info,
    const CxImage& image,
    const WritePlan& plan,
    int level,
    const std::vector<std::vector<std::uint8_t>>& imageData)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png,
        info,
        image.GetWidth(),
        image.GetHeight(),
        plan.bitDepth,
        plan.colorType,
        PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    if (plan.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, plan.palette, plan.paletteSize);
        if (plan.alphaCount > 0)
            png_set_tRNS(png, info, plan.alpha, plan.alphaCount, nullptr);
    }
    if (image.GetXDPI() > 0 || image.GetYDPI() > 0) {
        const int x = image.GetXDPI() > 0 ? image.GetXDPI() : image.GetYDPI();
        const int y = image.GetYDPI() > 0 ? image.GetYDPI() : image.GetXDPI();
        png_set_pHYs(png, info, DpiToPpm(x), DpiToPpm(y), PNG_RESOLUTION_METER);
    }
    png_set_compression_level(png, level);
    PutMetadata(png, info, image.GetMetadata(), plan.colorType == PNG_COLOR_TYPE_GRAY);
    png_write_info(png, info);
    WriteImageData(png, imageData);
    return true;
}

bool IsGrayRamp(const std::vector<RGBQuad>& palette, std::size_t entries)
{
    if (palette.size() != entries)
        return false;
    for (std::size_t i = 0; i < entries; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (entries - 1));
        if (palette[i] != RGBQuad { v, v, v, 255 })
            return false;
    }
    return true;
}

// Chooses the PNG layout for an image: indexed images keep their depth, with a gray colour type
// where the palette is a plain gray ramp (smaller, and read back to the same depth).
void PlanWrite(const CxImage& image, WritePlan& plan)
{
    const std::uint32_t bpp = image.GetBpp();
    plan.lookupRows = false;
    plan.paletteSize = 0;
    plan.alphaCount = 0;
    if (!image.IsIndexed()) {
        plan.bitDepth = 8;
        plan.colorType = bpp == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        return;
    }
    const std::vector<RGBQuad>& palette = image.Palette();
    const std::size_t maxEntries = std::size_t { 1 } << bpp;
    const int transIndex = image.GetTransIndex();
    const bool opaque = (transIndex < 0 || static_cast<std::size_t>(transIndex) >= palette.size())
        && std::all_of(palette.begin(), palette.end(), [](const RGBQuad& c) { return c.alpha == 255; });
    plan.bitDepth = static_cast<int>(bpp);
    if (opaque && bpp == 8 && image.IsGrayScale()) {
        plan.colorType = PNG_COLOR_TYPE_GRAY;
        bool identity = palette.size() == 256;
        for (std::size_t i = 0; i < 256; ++i) {
            plan.lookup[i] = i < palette.size() ? palette[i].red : 0;
            identity = identity && plan.lookup[i] == i;
        }
        plan.lookupRows = !identity;
        return;
    }
    if (opaque && (bpp == 1 || bpp == 4) && IsGrayRamp(palette, maxEntries)) {
        plan.colorType = PNG_COLOR_TYPE_GRAY;
        return;
    }

    plan.colorType = PNG_COLOR_TYPE_PALETTE;
    std::size_t count = std::min(palette.size(), maxEntries);
    if (count < maxEntries) {
        // A short palette must still cover every index the pixels use.
        std::uint8_t maxIndex = 0;
        for (std::uint8_t v : image.Pixels())
            maxIndex = std::max(maxIndex, v);
        count = std::max<std::size_t>(count, std::min<std::size_t>(maxIndex + 1u, maxEntries));
        if (transIndex >= 0)
            count = std::max<std::size_t>(count, std::min<std::size_t>(transIndex + 1u, maxEntries));
    }
    plan.paletteSize = static_cast<int>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const RGBQuad c = i < palette.size() ? palette[i] : RGBQuad { 0, 0, 0, 255 };
        plan.palette[i] = png_color { c.red, c.green, c.blue };
        plan.alpha[i] = static_cast<int>(i) == transIndex ? 0 : c.alpha;
        if (plan.alpha[i] != 255)
            plan.alphaCount = static_cast<int>(i) + 1;
    }
}

// Walks the chunks before libpng sees the file. libpng allocates a chunk's declared length before
// reading it, so a chunk that claims more bytes than the file has left is refused here. Also
// checks the size IHDR declares (IHDR must be the first chunk), and bounds the image by what
// its IDAT bytes can inflate to (`bounded`), so a few bytes cannot make us take gigabytes. A
// chunk cut short after the image data costs no pixels: the walk stops there with a warning,
// and libpng never reads that far.
Result CheckChunks(ByteView data,
    const DecodeLimits& limits,
    DecodeLimits& bounded,
    std::vector<std::string>& warnings,
    bool& metadataAfterImage)
{
    metadataAfterImage = false;
    bounded = limits;
    ByteReader r(data, 8);
    const std::uint32_t ihdrLength = r.U32BE();
    const bool ihdr = r.U32BE() == 0x49484452u && ihdrLength == 13;
    const std::uint32_t width = r.U32BE(), height = r.U32BE();
    const std::uint8_t depth = r.U8(), colorType = r.U8();
    if (ihdr && r.ok())
        if (Result c = CheckDimensions(width, height, limits); !c)
            return c;

    std::uint64_t compressed = 0;
    bool afterImageData = false, sawEnd = false;
    r.Seek(8);
    while (r.remaining() >= 8) {
        const std::uint32_t length = r.U32BE(), type = r.U32BE();
        if (length > 0x7FFFFFFFu)
            return Malformed("a chunk length is out of range");
        afterImageData = afterImageData || (compressed > 0 && type != 0x49444154u);
        if (std::uint64_t { length } + 4 > r.remaining()) {
            const std::string text = "a chunk declares " + std::to_string(length) + " bytes, but only "
                + std::to_string(r.remaining()) + " remain";
            if (!afterImageData)
                return Truncated(text);
            warnings.push_back("the file is cut short after the image data (" + text + ")");
            break;
        }
        if (type == 0x49444154u)
            compressed += length; // IDAT
        if (afterImageData && (type == 0x65584966u || type == 0x69545874u))
            metadataAfterImage = true; // eXIf, iTXt
        if (type == 0x49454E44u) {
            sawEnd = true;
            break; // IEND
        }
        r.Skip(std::size_t { length } + 4);
    }
    if (!sawEnd && warnings.empty() && compressed > 0)
        warnings.push_back("the file ends without its IEND chunk");

    static constexpr int kChannels[7] = { 1, 0, 3, 1, 2, 0, 4 };
    const int channels = colorType < 7 ? kChannels[colorType] : 0;
    if (!ihdr || channels == 0 || depth == 0 || depth > 16)
        return Result::Ok(); // libpng says what is wrong
    bounded = BoundByData(limits, compressed, ratio::kDeflate, static_cast<std::uint32_t>(channels * depth));
    Result r2 = CheckDimensions(width, height, bounded);
    // Without its end chunk the file was cut short, which says more than the bound does.
    if (!r2 && r2.status == Status::Malformed && !sawEnd)
        return Truncated("the file ends after " + std::to_string(compressed) + " bytes of image data");
    return r2;
}

} // namespace

bool PngSniff(ByteView data)
{
    return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

Result PngDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.empty())
        return Truncated("the file is empty");
    if (!PngSniff(data))
        return Malformed("no PNG signature");
    std::vector<std::string> warnings;
    DecodeLimits bounded;
    bool metadataAfterImage = false;
    if (Result r = CheckChunks(data, limits, bounded, warnings, metadataAfterImage); !r)
        return r;

    PngIo io { data.data(), data.size(), 0, nullptr, Status::Malformed, {}, &warnings };
    ReadGuard guard { png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, OnError, OnWarning), nullptr };
    if (!guard.png)
        return Result::Fail(Status::Internal, "cannot start the PNG reader");
    guard.info = png_create_info_struct(guard.png);
    if (!guard.info)
        return Result::Fail(Status::Internal, "cannot start the PNG reader");
    png_set_read_fn(guard.png, &io, ReadData);

    ReadHeader h;
    if (!ReadHeaderStep(guard.png, guard.info, bounded, h))
        return FailureOf(io);
    if (Result r = CreateChecked(out, h.width, h.height, h.bpp, bounded); !r)
        return r;
    if (h.rowBytes != out.GetRowBytes()) {
        out.Destroy();
        return Result::Fail(Status::Internal, "unexpected row layout after the PNG transforms");
    }
    if (h.paletteFile) {
        std::vector<RGBQuad>& palette = out.Palette();
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = static_cast<int>(i) < h.paletteSize ? h.palette[i] : RGBQuad { 0, 0, 0, 255 };
        out.SetTransIndex(h.transIndex);
    }
    out.SetXDPI(h.xdpi);
    out.SetYDPI(h.ydpi);

    std::vector<png_bytep> rows(out.GetHeight());
    for (std::uint32_t y = 0; y < out.GetHeight(); ++y)
        rows[y] = out.Row(y);
    if (!ReadPixelsStep(guard.png, rows.data())) {
        out.Destroy();
        return FailureOf(io);
    }
    const bool grayPixels = h.bpp <= 8 && !h.paletteFile;
    ImageMetadata metadata;
    TakeMetadata(guard.png, guard.info, grayPixels, metadata);
    // Chunks after the image data are read only for metadata, and only from a whole file: the
    // pixels are in, and nothing there may cost them or add warnings.
    if (metadataAfterImage && warnings.empty()) {
        InfoGuard end { guard.png, png_create_info_struct(guard.png) };
        io.warnings = nullptr;
        if (end.info && ReadEndStep(guard.png, end.info))
            TakeMetadata(guard.png, end.info, grayPixels, metadata);
    }
    for (std::string& w : warnings)
        out.AddWarning(std::move(w));
    out.SetMetadata(std::move(metadata));
    return Result::Ok();
}

// Indexed images are written as palette images at their own depth (1, 4 or 8 bits, with tRNS
// from the palette alpha and the transparent index), or as gray when the palette is a plain
// gray ramp and nothing is transparent; 16 and 24 bits as RGB, 32 bits as RGBA.
//
// Compression: libdeflate at the same level number as zlib's (files as small or smaller, about
// three times faster), in bands of rows spread over the cores. Filters: none for palette and
// low-depth images, as usual; otherwise the best of the four per row (adaptive), which costs
// little next to the compression: one fixed filter (Paeth) was as fast within the measurement
// noise and up to 5 % larger on noisy photos.
Result PngEncodeWithOptions(const CxImage& image, const PngWriteOptions& options, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (!image.IsValid())
        return Malformed("the image is empty");
    WritePlan plan;
    PlanWrite(image, plan);

    const std::uint32_t width = image.GetWidth();
    const int channels = plan.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : plan.colorType == PNG_COLOR_TYPE_RGB ? 3 : 1;
    png::ImageData data;
    data.height = image.GetHeight();
    data.rowBytes = (std::size_t { width } * static_cast<std::size_t>(channels * plan.bitDepth) + 7) / 8;
    data.pixelBytes = static_cast<std::uint32_t>(channels);
    data.filter
        = plan.colorType == PNG_COLOR_TYPE_PALETTE || plan.bitDepth < 8 ? png::Filter::None : png::Filter::Adaptive;
    data.level = std::clamp(options.level, 0, 9);
    data.bandBytes = options.bandBytes;
    data.threads = options.threads;
    const png::RowSource rows = [&](std::uint32_t y, std::uint8_t* scratch) -> const std::uint8_t* {
        const std::uint8_t* row = image.Row(y);
        if (plan.lookupRows) {
            for (std::uint32_t x = 0; x < width; ++x)
                scratch[x] = plan.lookup[row[x]];
            return scratch;
        }
        if (plan.bitDepth == 1) { // one index a byte: any non-zero value is a set bit
            std::memset(scratch, 0, data.rowBytes);
            for (std::uint32_t x = 0; x < width; ++x)
                if (row[x] != 0)
                    scratch[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
            return scratch;
        }
        if (plan.bitDepth == 4) {
            std::memset(scratch, 0, data.rowBytes);
            for (std::uint32_t x = 0; x < width; ++x)
                scratch[x >> 1] |= static_cast<std::uint8_t>((row[x] & 0x0F) << ((x & 1) ? 0 : 4));
            return scratch;
        }
        return row;
    };
    std::vector<std::vector<std::uint8_t>> pieces;
    std::string error;
    if (!png::CompressImageData(data, rows, pieces, error))
        return Result::Fail(Status::LimitExceeded, error);
    std::size_t compressed = 0;
    for (const auto& piece : pieces)
        compressed += piece.size();
    out.reserve(compressed + 4096);

    PngIo io { nullptr, 0, 0, &out, Status::Internal, {}, nullptr };
    WriteGuard guard { png_create_write_struct(PNG_LIBPNG_VER_STRING, &io, OnError, OnWarning), nullptr };
    if (!guard.png)
        return Result::Fail(Status::Internal, "cannot start the PNG writer");
    guard.info = png_create_info_struct(guard.png);
    if (!guard.info)
        return Result::Fail(Status::Internal, "cannot start the PNG writer");
    png_set_write_fn(guard.png, &io, WriteData, FlushData);
    if (!WriteStep(guard.png, guard.info, image, plan, data.level, pieces)) {
        out.clear();
        return FailureOf(io);
    }
    return Result::Ok();
}

Result PngEncodeWithLevel(const CxImage& image, int level, std::vector<std::uint8_t>& out)
{
    PngWriteOptions options;
    options.level = level;
    return PngEncodeWithOptions(image, options, out);
}

Result PngEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    return PngEncodeWithOptions(image, PngWriteOptions {}, out);
}

} // namespace codec
