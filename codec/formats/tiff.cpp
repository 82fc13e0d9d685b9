// TIFF through libtiff. Reading gives the first page; strips are decoded directly for the
// common layouts and everything else goes through libtiff's RGBA reader. Writing keeps each
// page's depth (tiff_internal.h says how).

#include "codec/exif.h"
#include "codec/formats/format.h"
#include "codec/formats/tiff_internal.h"
#include "codec/formats/work_threads.h"
#include "codec/metadata_io.h"
#include "codec/tiff_ifd.h"
#include "codec/tiff_view.h"

#include <libdeflate.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace codec {

namespace {

// ---------------------------------------------------------------- libtiff plumbing

/// The first error libtiff reports for one open file, and its distinct warnings; handlers are
/// per file, so threads that read different files never see each other's messages.
struct ErrorText {
    std::string message;
    std::vector<std::string> warnings;
};

int OnError(TIFF*, void* user, const char*, const char* format, va_list args)
{
    auto* errors = static_cast<ErrorText*>(user);
    if (errors && errors->message.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        try {
            errors->message = text;
        } catch (const std::bad_alloc&) {
        }
    }
    return 1;
}

int OnWarning(TIFF*, void* user, const char*, const char* format, va_list args)
{
    auto* errors = static_cast<ErrorText*>(user);
    if (!errors || errors->warnings.size() >= CxImage::kMaxWarnings)
        return 1;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    try {
        if (std::find(errors->warnings.begin(), errors->warnings.end(), text) == errors->warnings.end())
            errors->warnings.emplace_back(text);
    } catch (const std::bad_alloc&) {
    }
    return 1;
}

tmsize_t StreamRead(thandle_t handle, void* buffer, tmsize_t size)
{
    return static_cast<tmsize_t>(static_cast<tiff::Stream*>(handle)->Read(buffer, size));
}

tmsize_t StreamWrite(thandle_t handle, void* buffer, tmsize_t size)
{
    return static_cast<tmsize_t>(static_cast<tiff::Stream*>(handle)->Write(buffer, size));
}

toff_t StreamSeek(thandle_t handle, toff_t offset, int whence)
{
    // Relative seeks arrive as unsigned; the cast gives back their sign.
    const std::int64_t at = static_cast<tiff::Stream*>(handle)->Seek(static_cast<std::int64_t>(offset), whence);
    return at < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(at);
}

int StreamClose(thandle_t)
{
    return 0;
} // the stream belongs to the caller

toff_t StreamSize(thandle_t handle)
{
    const std::int64_t size = static_cast<tiff::Stream*>(handle)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int StreamMap(thandle_t handle, void** base, toff_t* size)
{
    auto* stream = static_cast<tiff::Stream*>(handle);
    const void* data = stream->Mapping();
    if (!data)
        return 0;
    // libtiff 4.5 also refuses uncompressed tiles it has read into its own padded buffer; read
    // from the mapping, the sizes are exact.
    *base = const_cast<void*>(data);
    *size = static_cast<toff_t>(stream->Size());
    return 1;
}
void StreamUnmap(thandle_t, void*, toff_t) { }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

/// Opens `stream` with errors going to `errors`, which must outlive the handle.
TiffPtr OpenStream(tiff::Stream& stream, const char* mode, ErrorText& errors, std::uint64_t maxAlloc)
{
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        throw std::bad_alloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &errors);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &errors);
    if (maxAlloc > 0)
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(maxAlloc));
    return TiffPtr(TIFFClientOpenExt("TIFF data",
        mode,
        &stream,
        StreamRead,
        StreamWrite,
        StreamSeek,
        StreamClose,
        StreamSize,
        StreamMap,
        StreamUnmap,
        options.get()));
}

/// A failure carrying libtiff's own words.
Result LibraryFailure(const ErrorText& errors, const std::string& what, Status status = Status::Malformed)
{
    const std::string& m = errors.message;
    if (status == Status::Malformed
        && (m.find("Read error") != std::string::npos || m.find("Cannot read") != std::string::npos
            || m.find("Seek error") != std::string::npos || m.find("Not enough data") != std::string::npos
            || m.find("end of file") != std::string::npos || m.find("IO error") != std::string::npos))
        status = Status::Truncated;
    return Result::Fail(status, m.empty() ? what : what + ": " + m);
}

class MemoryReader final : public tiff::Stream {
public:
    explicit MemoryReader(ByteView data)
        : data_(data)
    {
    }
    std::int64_t Read(void* buffer, std::int64_t size) override
    {
        const auto total = static_cast<std::int64_t>(data_.size());
        if (size < 0)
            return -1;
        const std::int64_t n = pos_ >= total ? 0 : std::min(size, total - pos_);
        if (n > 0)
            std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += n;
        return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return -1; }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        const std::int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? Size() : 0;
        if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) || base + offset < 0)
            return -1;
        return pos_ = base + offset;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    const void* Mapping() const override { return data_.data(); }

private:
    ByteView data_;
    std::int64_t pos_ = 0;
};

class MemoryWriter final : public tiff::Stream {
public:
    explicit MemoryWriter(std::vector<std::uint8_t>& out)
        : out_(out)
    {
    }
    std::int64_t Read(void* buffer, std::int64_t size) override
    {
        const auto total = static_cast<std::int64_t>(out_.size());
        if (size < 0)
            return -1;
        const std::int64_t n = pos_ >= total ? 0 : std::min(size, total - pos_);
        if (n > 0)
            std::memcpy(buffer, out_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += n;
        return n;
    }
    std::int64_t Write(const void* buffer, std::int64_t size) override
    {
        if (size < 0)
            return -1;
        try {
            const auto end = static_cast<std::size_t>(pos_ + size);
            if (end > out_.size())
                out_.resize(end);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        if (size > 0)
            std::memcpy(out_.data() + pos_, buffer, static_cast<std::size_t>(size));
        pos_ += size;
        return size;
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        const std::int64_t base = whence == SEEK_CUR ? pos_ : whence == SEEK_END ? Size() : 0;
        if (base + offset < 0 || base + offset > (std::int64_t { 1 } << 40))
            return -1;
        return pos_ = base + offset;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(out_.size()); }

private:
    std::vector<std::uint8_t>& out_;
    std::int64_t pos_ = 0;
};

// ---------------------------------------------------------------- reading

/// How one row of file samples becomes one row of image pixels.
enum class RowKind {
    Bits, ///< 1, 2 or 4-bit samples, one per pixel, unpacked to one index per byte
    Bytes, ///< 8-bit gray or palette indices
    Gray16, ///< 16-bit gray scaled to 8
    GrayAlpha, ///< gray with alpha, 8 or 16 bits, to RGBA
    Color, ///< RGB with or without alpha, 8 or 16 bits, to RGB or RGBA
};

struct RowPlan {
    RowKind kind = RowKind::Bytes;
    std::uint32_t bps = 8;
    std::uint32_t spp = 1;
    bool invert = false; ///< min-is-white gray
    bool alpha = false;
    bool associated = false; ///< alpha is premultiplied in the file
};

inline unsigned Sample(const std::uint8_t* row, std::size_t i, std::uint32_t bps)
{
    if (bps == 8)
        return row[i] * 257u;
    std::uint16_t v;
    std::memcpy(&v, row + 2 * i, 2); // libtiff hands 16-bit samples over in host order
    return v;
}

inline std::uint8_t To8(unsigned v16)
{
    return static_cast<std::uint8_t>((v16 + 128) / 257);
}

inline unsigned Unpremultiply16(unsigned c, unsigned a)
{
    if (a == 0)
        return 0;
    return static_cast<unsigned>(std::min<std::uint64_t>(65535, (std::uint64_t { c } * 65535 + a / 2) / a));
}

void ConvertRow(const RowPlan& plan, const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width)
{
    switch (plan.kind) {
    case RowKind::Bits: {
        const unsigned bps = plan.bps, mask = (1u << bps) - 1;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::size_t bit = std::size_t { x } * bps;
            dst[x] = static_cast<std::uint8_t>((src[bit >> 3] >> (8 - bps - (bit & 7))) & mask);
        }
        break;
    }
    case RowKind::Bytes:
        if (plan.invert)
            for (std::uint32_t x = 0; x < width; ++x)
                dst[x] = static_cast<std::uint8_t>(255 - src[x]);
        else
            std::memcpy(dst, src, width);
        break;
    case RowKind::Gray16:
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned v = Sample(src, x, 16);
            dst[x] = To8(plan.invert ? 65535 - v : v);
        }
        break;
    case RowKind::GrayAlpha:
        for (std::uint32_t x = 0; x < width; ++x, dst += 4) {
            const std::size_t i = std::size_t { x } * plan.spp;
            unsigned g = Sample(src, i, plan.bps);
            const unsigned a = Sample(src, i + 1, plan.bps);
            if (plan.invert)
                g = 65535 - g;
            if (plan.associated)
                g = Unpremultiply16(g, a);
            dst[0] = dst[1] = dst[2] = To8(g);
            dst[3] = To8(a);
        }
        break;
    case RowKind::Color: {
        const std::size_t step = plan.alpha ? 4 : 3;
        for (std::uint32_t x = 0; x < width; ++x, dst += step) {
            const std::size_t i = std::size_t { x } * plan.spp;
            unsigned r = Sample(src, i, plan.bps), g = Sample(src, i + 1, plan.bps), b = Sample(src, i + 2, plan.bps);
            if (plan.alpha) {
                const unsigned a = Sample(src, i + 3, plan.bps);
                if (plan.associated)
                    r = Unpremultiply16(r, a), g = Unpremultiply16(g, a), b = Unpremultiply16(b, a);
                dst[3] = To8(a);
            }
            dst[0] = To8(r), dst[1] = To8(g), dst[2] = To8(b);
        }
        break;
    }
    }
}

struct PageTags {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE, sampleFormat = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT;
    std::uint16_t extraCount = 0;
    const std::uint16_t* extraTypes = nullptr;
};

PageTags ReadTags(TIFF* tif)
{
    PageTags t;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &t.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &t.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &t.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &t.sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &t.orientation);
    std::uint16_t* types = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &t.extraCount, &types))
        t.extraTypes = types;
    else
        t.extraCount = 0;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric))
        t.photometric = t.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    return t;
}

/// The plan for reading strips directly, or false when libtiff's RGBA reader must do it.
bool PlanDirectRead(TIFF* tif, PageTags& t, RowPlan& plan, std::uint32_t& outBpp)
{
    const bool contiguous = t.planar == PLANARCONFIG_CONTIG || t.spp == 1;
    const bool unsignedSamples = t.sampleFormat == SAMPLEFORMAT_UINT || t.sampleFormat == SAMPLEFORMAT_VOID;
    if (TIFFIsTiled(tif) || !contiguous || !unsignedSamples || t.compression == COMPRESSION_OJPEG)
        return false;
    if (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG && t.spp == 3) {
        // The JPEG codec converts to RGB itself, which also undoes the chroma subsampling.
        if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
            return false;
        t.photometric = PHOTOMETRIC_RGB;
    }
    plan.bps = t.bps;
    plan.spp = t.spp;
    // Extra samples beyond the colour channels: the first one is alpha unless it says otherwise
    // (unspecified is taken as unassociated, as other readers do).
    auto alphaAfter = [&](std::uint16_t channels) {
        if (t.spp <= channels)
            return false;
        plan.associated = t.extraCount > 0 && t.extraTypes && t.extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
        return true;
    };
    const bool gray = t.photometric == PHOTOMETRIC_MINISBLACK || t.photometric == PHOTOMETRIC_MINISWHITE;
    plan.invert = t.photometric == PHOTOMETRIC_MINISWHITE;
    if (gray && t.spp == 1) {
        if (t.bps == 1 || t.bps == 2 || t.bps == 4) {
            plan.kind = RowKind::Bits;
            plan.invert = false; // the palette carries the inversion
            outBpp = t.bps == 1 ? 1 : 4;
            return true;
        }
        if (t.bps == 8 || t.bps == 16) {
            plan.kind = t.bps == 8 ? RowKind::Bytes : RowKind::Gray16;
            outBpp = 8;
            return true;
        }
        return false;
    }
    if (gray && (t.bps == 8 || t.bps == 16) && alphaAfter(1)) {
        plan.kind = RowKind::GrayAlpha;
        plan.alpha = true;
        outBpp = 32;
        return true;
    }
    if (t.photometric == PHOTOMETRIC_PALETTE && t.spp == 1 && (t.bps == 1 || t.bps == 2 || t.bps == 4 || t.bps == 8)) {
        plan.kind = t.bps == 8 ? RowKind::Bytes : RowKind::Bits;
        plan.invert = false;
        outBpp = t.bps == 1 ? 1 : t.bps == 8 ? 8 : 4;
        return true;
    }
    if (t.photometric == PHOTOMETRIC_RGB && t.spp >= 3 && (t.bps == 8 || t.bps == 16)) {
        plan.kind = RowKind::Color;
        plan.invert = false;
        plan.alpha = alphaAfter(3);
        outBpp = plan.alpha ? 32 : 24;
        return true;
    }
    return false;
}

Result SetPalette(TIFF* tif, const PageTags& t, CxImage& out, const ErrorText& errors)
{
    if (t.photometric != PHOTOMETRIC_PALETTE && t.bps >= 8) {
        out.SetGrayPalette(); // 8 and 16-bit gray both land on the 8-bit ramp
        return Result::Ok();
    }
    auto& palette = out.Palette();
    std::fill(palette.begin(), palette.end(), RGBQuad { 0, 0, 0, 255 });
    const std::size_t entries = std::size_t { 1 } << t.bps;
    if (t.photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
            return LibraryFailure(errors, "the palette image has no colour map");
        // Colour maps hold 16-bit values, mostly c * 257 or full 16-bit colours (rounded here);
        // some writers store c * 256 and a few plain 8-bit values, both taken as they are.
        bool eightBit = true, lowBytesZero = true;
        for (std::size_t i = 0; i < entries; ++i) {
            eightBit = eightBit && r[i] < 256 && g[i] < 256 && b[i] < 256;
            lowBytesZero = lowBytesZero && ((r[i] | g[i] | b[i]) & 0xFF) == 0;
        }
        auto convert = [&](std::uint16_t v) {
            return static_cast<std::uint8_t>(eightBit ? v : lowBytesZero ? v >> 8 : (v + 128u) / 257u);
        };
        for (std::size_t i = 0; i < entries && i < palette.size(); ++i)
            palette[i] = RGBQuad { convert(r[i]), convert(g[i]), convert(b[i]), 255 };
        return Result::Ok();
    }
    // Gray: an even ramp over the levels the samples have, reversed for min-is-white.
    const bool reverse = t.photometric == PHOTOMETRIC_MINISWHITE;
    for (std::size_t i = 0; i < entries && i < palette.size(); ++i) {
        const std::size_t level = reverse ? entries - 1 - i : i;
        const auto v = static_cast<std::uint8_t>(level * 255 / (entries - 1));
        palette[i] = RGBQuad { v, v, v, 255 };
    }
    return Result::Ok();
}

/// Bytes of samples one byte of the file's strips or tiles can become, by compression.
std::uint32_t RatioOf(std::uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE:
        return ratio::kRaw;
    case COMPRESSION_PACKBITS:
        return ratio::kPackBits;
    case COMPRESSION_LZW:
        return ratio::kLzw;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return ratio::kDeflate;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return ratio::kJpegHuffman;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        return ratio::kFax;
    default:
        return ratio::kOther;
    }
}

Result ReadStrips(TIFF* tif,
    const PageTags& t,
    const RowPlan& plan,
    const DecodeLimits& limits,
    CxImage& out,
    const ErrorText& errors)
{
    const std::uint64_t stride = (std::uint64_t { t.width } * plan.spp * plan.bps + 7) / 8;
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > t.height)
        rowsPerStrip = t.height;
    const tmsize_t stripSize = TIFFStripSize(tif);
    if (stripSize <= 0 || static_cast<std::uint64_t>(stripSize) < stride * rowsPerStrip)
        return LibraryFailure(errors, "the strip layout does not match the image size");
    const std::uint32_t strips = (t.height - 1) / rowsPerStrip + 1;
    if (TIFFNumberOfStrips(tif) < strips)
        return Malformed("the file lists fewer strips than the image needs");
    if (static_cast<std::uint64_t>(stripSize) > WorkingMemory(limits))
        return LimitExceeded("a strip of " + std::to_string(stripSize) + " bytes is above the decoding limit");
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stripSize));
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint32_t first = s * rowsPerStrip;
        const std::uint32_t rows = std::min(rowsPerStrip, t.height - first);
        const auto wanted = static_cast<tmsize_t>(stride * rows);
        const tmsize_t got = TIFFReadEncodedStrip(tif, s, buffer.data(), wanted);
        if (got < 0)
            return LibraryFailure(errors, "cannot read strip " + std::to_string(s));
        if (got < wanted)
            return Truncated("strip " + std::to_string(s) + " holds less data than its rows need");
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = first + r;
            ConvertRow(plan, buffer.data() + r * stride, out.Row(y), t.width);
        }
    }
    return Result::Ok();
}

/// libtiff's general reader: tiles, separate planes, CMYK, YCbCr and the rest. Its output is
/// premultiplied by alpha, which is undone here.
Result ReadThroughRgba(TIFF* tif, const PageTags& t, const DecodeLimits& limits, CxImage& out, const ErrorText& errors)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message))
        return Unsupported(std::string("this kind of TIFF cannot be read: ") + message);
    const bool alpha = t.extraCount > 0;
    if (Result r = CreateChecked(out, t.width, t.height, alpha ? 32 : 24, limits); !r)
        return r;
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(t.width) * t.height);
    // Rows as stored: the orientation is applied afterwards, as for strips (libtiff's own handling
    // only flips, so it cannot turn the sideways orientations 5 to 8).
    const std::uint16_t stored = t.orientation >= 1 && t.orientation <= 8 ? t.orientation : ORIENTATION_TOPLEFT;
    if (!TIFFReadRGBAImageOriented(tif, t.width, t.height, raster.data(), stored, 1))
        return LibraryFailure(errors, "cannot read the image");
    std::uint8_t* dst = out.Pixels().data();
    for (std::uint32_t v : raster) {
        const unsigned a = TIFFGetA(v);
        unsigned r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v);
        if (alpha && a < 255) {
            r = a ? std::min(255u, (r * 255 + a / 2) / a) : 0;
            g = a ? std::min(255u, (g * 255 + a / 2) / a) : 0;
            b = a ? std::min(255u, (b * 255 + a / 2) / a) : 0;
        }
        dst[0] = static_cast<std::uint8_t>(r), dst[1] = static_cast<std::uint8_t>(g),
        dst[2] = static_cast<std::uint8_t>(b);
        if (alpha)
            dst[3] = static_cast<std::uint8_t>(a);
        dst += alpha ? 4 : 3;
    }
    return Result::Ok();
}

void ReadResolution(TIFF* tif, CxImage& out)
{
    float x = 0, y = 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    const double scale = unit == RESUNIT_INCH ? 1.0 : unit == RESUNIT_CENTIMETER ? 2.54 : 0.0;
    auto toDpi = [scale](float v) {
        const double dpi = v * scale;
        return std::isfinite(dpi) && dpi >= 1 && dpi < 1e7 ? static_cast<std::int32_t>(std::lround(dpi)) : 0;
    };
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x))
        out.SetXDPI(toDpi(x));
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y))
        out.SetYDPI(toDpi(y));
}

// ---------------------------------------------------------------- writing

// The tags of a TIFF's first directory that belong to its EXIF: what a JPEG keeps in the first
// directory of its EXIF block. The rest of that directory describes the pixels of this file.
bool IsExifTag(std::uint16_t tag)
{
    switch (tag) {
    case TIFFTAG_IMAGEDESCRIPTION:
    case TIFFTAG_MAKE:
    case TIFFTAG_MODEL:
    case TIFFTAG_ORIENTATION:
    case TIFFTAG_SOFTWARE:
    case TIFFTAG_DATETIME:
    case TIFFTAG_ARTIST:
    case TIFFTAG_COPYRIGHT:
    case ifd::kExifIfdTag:
    case ifd::kGpsIfdTag:
        return true;
    default:
        return false;
    }
}

// The text tags of that directory, which libtiff writes itself.
constexpr std::uint16_t kExifTextTags[] = { TIFFTAG_IMAGEDESCRIPTION,
    TIFFTAG_MAKE,
    TIFFTAG_MODEL,
    TIFFTAG_SOFTWARE,
    TIFFTAG_DATETIME,
    TIFFTAG_ARTIST,
    TIFFTAG_COPYRIGHT };

// What fits in a JPEG's EXIF segment: the block must be able to travel on into any format.
constexpr std::size_t kMaxExifBlock = 65527;

// The page's EXIF as a block of its own: the EXIF tags of its directory with the EXIF and GPS
// directories they point to. A MakerNote that does not fit is left behind rather than the rest.
std::vector<std::uint8_t> ReadExif(TIFF* tif, ByteView file)
{
    std::optional<ifd::Directory> dir = ifd::Read(file, TIFFCurrentDirOffset(tif), IsExifTag);
    if (!dir || std::none_of(dir->entries.begin(), dir->entries.end(), [](const ifd::Entry& e) {
            return e.tag != TIFFTAG_ORIENTATION;
        }))
        return {};
    std::vector<std::uint8_t> block = ifd::Block(*dir);
    if (block.size() > kMaxExifBlock) {
        dir->Drop(ifd::kMakerNoteTag);
        block = ifd::Block(*dir);
    }
    return block.size() <= kMaxExifBlock ? block : std::vector<std::uint8_t> {};
}

// The ICC profile, the XMP packet and the EXIF tags.
void ReadMetadata(TIFF* tif, ByteView file, CxImage& out)
{
    ImageMetadata m;
    std::uint32_t size = 0;
    void* data = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &size, &data) && data && size > 0) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        m.icc.assign(p, p + size);
        if (!IccFits(m.icc, out.IsIndexed() && out.IsGrayScale()))
            m.icc.clear();
    }
    if (TIFFGetField(tif, TIFFTAG_XMLPACKET, &size, &data) && data && size > 0)
        m.xmp.assign(static_cast<const char*>(data), size);
    m.exif = ReadExif(tif, file);
    out.SetMetadata(std::move(m));
}

// The EXIF and GPS directories of one page, written after libtiff has finished the file: their
// offsets are known only then. The page's directory holds a placeholder pointer to each.
struct PageExif {
    std::shared_ptr<ifd::Directory> exif;
    std::shared_ptr<ifd::Directory> gps;
};

void WriteMetadata(TIFF* tif, const ImageMetadata& m, bool grayPixels, PageExif& exif)
{
    if (IccFits(m.icc, grayPixels) && m.icc.size() <= 0xFFFFFFFFu)
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(m.icc.size()), m.icc.data());
    if (!m.xmp.empty() && m.xmp.size() <= 0xFFFFFFFFu)
        TIFFSetField(tif, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(m.xmp.size()), m.xmp.data());
    const std::optional<ifd::Directory> ifd0 = ifd::ReadBlock(m.exif);
    if (!ifd0)
        return;
    for (const std::uint16_t tag : kExifTextTags) {
        const ifd::Entry* e = ifd0->Find(tag);
        if (!e || e->type != ifd::kTypeAscii)
            continue;
        const std::string text(e->value.begin(), std::find(e->value.begin(), e->value.end(), std::uint8_t { 0 }));
        if (!text.empty())
            TIFFSetField(tif, tag, text.c_str());
    }
    auto sub = [&](std::uint16_t tag, std::shared_ptr<ifd::Directory>& to) {
        const ifd::Entry* e = ifd0->Find(tag);
        if (e && e->sub && !e->sub->entries.empty() && TIFFSetField(tif, tag, std::uint64_t { 0 }))
            to = e->sub;
    };
    sub(ifd::kExifIfdTag, exif.exif);
    sub(ifd::kGpsIfdTag, exif.gps);
}

// Appends each page's EXIF and GPS directories to the finished file and points the page's
// placeholders at them.
Result AppendExifDirectories(tiff::Stream& stream, const std::vector<PageExif>& pages)
{
    if (std::none_of(pages.begin(), pages.end(), [](const PageExif& p) { return p.exif || p.gps; }))
        return Result::Ok();
    const auto fail = [] { return Result::Fail(Status::Io, "cannot write the EXIF directories"); };
    std::uint8_t header[8];
    if (stream.Seek(0, SEEK_SET) != 0 || stream.Read(header, 8) != 8)
        return fail();
    const bool big = header[0] == 'M';
    std::uint64_t next = TiffView { ByteView(header, 8), !big }.U32(4);
    for (const PageExif& page : pages) {
        std::uint8_t countBytes[2];
        if (next == 0 || stream.Seek(static_cast<std::int64_t>(next), SEEK_SET) < 0 || stream.Read(countBytes, 2) != 2)
            return fail();
        std::vector<std::uint8_t> table(12 * std::size_t { TiffView { ByteView(countBytes, 2), !big }.U16(0) } + 4);
        if (stream.Read(table.data(), static_cast<std::int64_t>(table.size()))
            != static_cast<std::int64_t>(table.size()))
            return fail();
        const TiffView entries { ByteView(table.data(), table.size()), !big };
        for (std::size_t i = 0; i + 4 < table.size(); i += 12) {
            const std::uint16_t tag = entries.U16(i);
            const ifd::Directory* sub = tag == ifd::kExifIfdTag ? page.exif.get()
                : tag == ifd::kGpsIfdTag                        ? page.gps.get()
                                                                : nullptr;
            if (!sub)
                continue;
            std::int64_t end = stream.Seek(0, SEEK_END);
            if (end < 0)
                return fail();
            const std::uint8_t pad[3] = {};
            const std::int64_t padding = (4 - end % 4) % 4; // word-aligned, as directories must be
            if (padding && stream.Write(pad, padding) != padding)
                return fail();
            end += padding;
            const std::vector<std::uint8_t> bytes = ifd::Write(*sub, static_cast<std::uint64_t>(end), big);
            if (bytes.empty()
                || stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()))
                    != static_cast<std::int64_t>(bytes.size()))
                return fail();
            const std::uint32_t at = static_cast<std::uint32_t>(end);
            const std::uint8_t value[4] = { std::uint8_t(big ? at >> 24 : at),
                std::uint8_t(big ? at >> 16 : at >> 8),
                std::uint8_t(big ? at >> 8 : at >> 16),
                std::uint8_t(big ? at : at >> 24) };
            if (stream.Seek(static_cast<std::int64_t>(next + 2 + i + 8), SEEK_SET) < 0 || stream.Write(value, 4) != 4)
                return fail();
        }
        next = entries.U32(table.size() - 4);
    }
    return Result::Ok();
}

bool IsBlackAndWhite(const std::vector<RGBQuad>& palette)
{
    if (palette.size() < 2)
        return false;
    const RGBQuad black { 0, 0, 0, 255 }, white { 255, 255, 255, 255 };
    auto same = [](RGBQuad a, RGBQuad b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; };
    return (same(palette[0], black) && same(palette[1], white)) || (same(palette[0], white) && same(palette[1], black));
}

bool IsGrayRamp(const std::vector<RGBQuad>& palette)
{
    if (palette.size() != 256)
        return false;
    for (std::size_t i = 0; i < 256; ++i)
        if (palette[i].red != i || palette[i].green != i || palette[i].blue != i)
            return false;
    return true;
}

// Deflate pages are compressed here rather than by libtiff: strips of about kDeflateStripBytes,
// each made on whichever core is free (libdeflate, the horizontal predictor applied first) and
// handed to libtiff as they are, in order. libtiff would compress one small strip after another
// on one core, and reset its compressor's tables for each.
constexpr std::size_t kDeflateStripBytes = std::size_t { 1 } << 20;
// libdeflate's level 2: files no larger than libtiff made at its default (level 6 in small
// strips; the larger strips win back what the lower level gives up) in about half the time.
constexpr int kDeflateLevel = 2;

std::uint32_t DeflateRowsPerStrip(const CxImage& image, std::uint16_t spp)
{
    const std::size_t rowBytes = std::size_t { image.GetWidth() } * spp;
    return static_cast<std::uint32_t>(std::clamp<std::size_t>(kDeflateStripBytes / rowBytes, 1, image.GetHeight()));
}

Result WriteDeflateStrips(
    TIFF* tif, const CxImage& image, std::uint16_t spp, std::uint32_t rowsPerStrip, const ErrorText& errors)
{
    const std::uint32_t height = image.GetHeight();
    const std::size_t rowBytes = std::size_t { image.GetWidth() } * spp;
    const std::uint32_t strips = (height - 1) / rowsPerStrip + 1;
    std::vector<std::vector<std::uint8_t>> packed(strips);
    std::atomic<std::uint32_t> next { 0 };
    std::atomic<bool> failed { false };
    RunOnThreads(ThreadsFor(0, strips), [&] {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(kDeflateLevel);
        if (!compressor) {
            failed = true;
            return;
        }
        try {
            std::vector<std::uint8_t> raw, buffer;
            for (std::uint32_t s; !failed && (s = next.fetch_add(1)) < strips;) {
                const std::uint32_t first = s * rowsPerStrip, rows = std::min(rowsPerStrip, height - first);
                raw.resize(rows * rowBytes);
                for (std::uint32_t i = 0; i < rows; ++i) {
                    // The predictor: every sample minus the same sample of the pixel on its left.
                    const std::uint8_t* src = image.Row(first + i);
                    std::uint8_t* dst = raw.data() + i * rowBytes;
                    std::memcpy(dst, src, spp);
                    for (std::size_t x = spp; x < rowBytes; ++x)
                        dst[x] = static_cast<std::uint8_t>(src[x] - src[x - spp]);
                }
                const std::size_t bound = libdeflate_zlib_compress_bound(compressor, raw.size());
                if (buffer.size() < bound)
                    buffer.resize(bound);
                const std::size_t size
                    = libdeflate_zlib_compress(compressor, raw.data(), raw.size(), buffer.data(), buffer.size());
                if (size == 0)
                    failed = true;
                else
                    packed[s].assign(buffer.data(), buffer.data() + size);
            }
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        libdeflate_free_compressor(compressor);
    });
    if (failed)
        return Result::Fail(Status::LimitExceeded, "out of memory while compressing the page");
    for (std::uint32_t s = 0; s < strips; ++s) {
        if (TIFFWriteRawStrip(tif, s, packed[s].data(), static_cast<tmsize_t>(packed[s].size())) < 0)
            return LibraryFailure(errors, "cannot write strip " + std::to_string(s), Status::Io);
        std::vector<std::uint8_t>().swap(packed[s]);
    }
    return Result::Ok();
}

Result WritePage(TIFF* tif,
    const CxImage& image,
    std::uint32_t page,
    std::uint32_t count,
    const ErrorText& errors,
    std::vector<PageExif>& exif)
{
    enum class Form { Bilevel, Palette, Gray, Rgb, Rgba };
    const std::uint32_t bpp = image.GetBpp();
    const auto& palette = image.Palette();
    Form form = bpp == 32 ? Form::Rgba : Form::Rgb;
    if (bpp == 1 && IsBlackAndWhite(palette))
        form = Form::Bilevel;
    else if (bpp == 8 && IsGrayRamp(palette))
        form = Form::Gray;
    else if (bpp <= 8)
        form = Form::Palette;
    const std::uint16_t bps = form == Form::Bilevel ? 1 : form == Form::Palette ? static_cast<std::uint16_t>(bpp) : 8;
    const std::uint16_t spp = form == Form::Rgba ? 4 : form == Form::Rgb ? 3 : 1;
    const std::uint32_t width = image.GetWidth(), height = image.GetHeight();

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    bool compressionSet = false;
    std::vector<std::uint16_t> map;
    switch (form) {
    case Form::Bilevel:
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        compressionSet = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        break;
    case Form::Palette: {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        compressionSet = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        const std::size_t entries = std::size_t { 1 } << bps;
        map.assign(entries * 3, 0);
        for (std::size_t i = 0; i < entries && i < palette.size(); ++i) {
            map[i] = static_cast<std::uint16_t>(palette[i].red * 257);
            map[entries + i] = static_cast<std::uint16_t>(palette[i].green * 257);
            map[2 * entries + i] = static_cast<std::uint16_t>(palette[i].blue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + entries, map.data() + 2 * entries);
        break;
    }
    case Form::Gray:
    case Form::Rgb:
    case Form::Rgba:
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, form == Form::Gray ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        compressionSet = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE)
            && TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        if (form == Form::Rgba) {
            const std::uint16_t extra[] = { EXTRASAMPLE_UNASSALPHA };
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
        }
        break;
    }
    if (!compressionSet)
        return LibraryFailure(errors, "the TIFF library lacks a compression this page needs", Status::Internal);
    const bool deflate = form == Form::Gray || form == Form::Rgb || form == Form::Rgba;
    const std::uint32_t rowsPerStrip = deflate ? DeflateRowsPerStrip(image, spp) : TIFFDefaultStripSize(tif, 0);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (image.GetXDPI() > 0 || image.GetYDPI() > 0) {
        const double x = image.GetXDPI() > 0 ? image.GetXDPI() : image.GetYDPI();
        const double y = image.GetYDPI() > 0 ? image.GetYDPI() : image.GetXDPI();
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, x);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, y);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    exif.emplace_back();
    WriteMetadata(tif, image.GetMetadata(), form == Form::Bilevel || form == Form::Gray, exif.back());
    if (count > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif,
            TIFFTAG_PAGENUMBER,
            static_cast<std::uint16_t>(std::min<std::uint32_t>(page, 65535)),
            static_cast<std::uint16_t>(std::min<std::uint32_t>(count, 65535)));
    }

    if (deflate) {
        if (Result r = WriteDeflateStrips(tif, image, spp, rowsPerStrip, errors); !r)
            return r;
        if (!TIFFWriteDirectory(tif))
            return LibraryFailure(errors, "cannot write the page directory", Status::Io);
        return Result::Ok();
    }

    // Every row is built in a buffer of our own: the predictor rewrites the row it is given.
    std::vector<std::uint8_t> row((std::size_t { width } * spp * bps + 7) / 8);
    const int blackIndex = form == Form::Bilevel && palette[0].red == 0 ? 0 : 1;
    const unsigned mask = (1u << bps) - 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = image.Row(y);
        switch (form) {
        case Form::Bilevel: // min-is-white: a set bit is black
            std::fill(row.begin(), row.end(), std::uint8_t { 0 });
            for (std::uint32_t x = 0; x < width; ++x)
                if ((src[x] & 1) == blackIndex)
                    row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
            break;
        case Form::Palette:
            if (bps == 8) {
                std::memcpy(row.data(), src, width);
                break;
            }
            std::fill(row.begin(), row.end(), std::uint8_t { 0 });
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::size_t bit = std::size_t { x } * bps;
                row[bit >> 3] |= static_cast<std::uint8_t>((src[x] & mask) << (8 - bps - (bit & 7)));
            }
            break;
        case Form::Gray:
            std::memcpy(row.data(), src, width);
            break;
        case Form::Rgb:
            std::memcpy(row.data(), src, std::size_t { width } * 3);
            break;
        case Form::Rgba:
            std::memcpy(row.data(), src, std::size_t { width } * 4);
            break;
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
            return LibraryFailure(errors, "cannot write row " + std::to_string(y), Status::Io);
    }
    if (!TIFFWriteDirectory(tif))
        return LibraryFailure(errors, "cannot write the page directory", Status::Io);
    return Result::Ok();
}

} // namespace

namespace tiff {

Result WritePages(Stream& stream, const CxImage* const* pages, std::size_t count)
{
    if (count == 0 || !pages)
        return Malformed("there are no pages to write");
    for (std::size_t i = 0; i < count; ++i)
        if (!pages[i] || !pages[i]->IsValid())
            return Malformed("page " + std::to_string(i + 1) + " is empty");
    ErrorText errors;
    TiffPtr tif = OpenStream(stream, "w", errors, 0);
    if (!tif)
        return LibraryFailure(errors, "cannot start the TIFF data", Status::Io);
    std::vector<PageExif> exif;
    for (std::size_t i = 0; i < count; ++i)
        if (Result r = WritePage(
                tif.get(), *pages[i], static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(count), errors, exif);
            !r)
            return r;
    tif.reset();
    if (!errors.message.empty())
        return LibraryFailure(errors, "cannot finish the TIFF data", Status::Io);
    return AppendExifDirectories(stream, exif);
}

struct PageWriter::State {
    ErrorText errors; // libtiff holds its address: it lives as long as the handle
    TiffPtr tif;
    tiff::Stream* stream = nullptr;
    std::vector<PageExif> exif;
    std::size_t count = 0;
    std::size_t written = 0;
};

PageWriter::PageWriter() = default;
PageWriter::~PageWriter() = default;

Result PageWriter::Begin(Stream& stream, std::size_t count)
{
    state_.reset();
    if (count == 0)
        return Malformed("there are no pages to write");
    auto state = std::make_unique<State>();
    state->count = count;
    state->stream = &stream;
    state->tif = OpenStream(stream, "w", state->errors, 0);
    if (!state->tif)
        return LibraryFailure(state->errors, "cannot start the TIFF data", Status::Io);
    state_ = std::move(state);
    return Result::Ok();
}

Result PageWriter::Write(const CxImage& page)
{
    if (!state_ || !state_->tif)
        return Result::Fail(Status::Internal, "the TIFF writer is not started");
    if (state_->written == state_->count) {
        state_.reset();
        return Result::Fail(Status::Internal, "more pages than announced");
    }
    const std::size_t index = state_->written;
    Result r = page.IsValid() ? WritePage(state_->tif.get(),
                   page,
                   static_cast<std::uint32_t>(index),
                   static_cast<std::uint32_t>(state_->count),
                   state_->errors,
                   state_->exif)
                              : Malformed("page " + std::to_string(index + 1) + " is empty");
    if (!r)
        state_.reset();
    else
        ++state_->written;
    return r;
}

Result PageWriter::Finish()
{
    if (!state_ || !state_->tif)
        return Result::Fail(Status::Internal, "the TIFF writer is not started");
    std::unique_ptr<State> state = std::move(state_);
    if (state->written != state->count)
        return Result::Fail(Status::Internal, "fewer pages than announced");
    state->tif.reset();
    if (!state->errors.message.empty())
        return LibraryFailure(state->errors, "cannot finish the TIFF data", Status::Io);
    return AppendExifDirectories(*state->stream, state->exif);
}

} // namespace tiff

bool TiffSniff(ByteView data)
{
    if (data.size() < 4)
        return false;
    const std::uint8_t* p = data.data();
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    return (p[0] == 'I' && p[1] == 'I' && (p[2] == 42 || p[2] == 43) && p[3] == 0)
        || (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && (p[3] == 42 || p[3] == 43));
}

Result TiffDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < 8)
        return Truncated("the file is too short for a TIFF header");
    if (!TiffSniff(data))
        return Malformed("not a TIFF file");
    MemoryReader stream(data);
    ErrorText errors;
    // No single buffer of libtiff's (a strip, a tile, a tag's array) can need more than the
    // file's bytes expand to under its most expansive codec.
    const std::uint64_t maxAlloc = WorkingMemory(BoundByData(limits, data.size(), ratio::kFax, 8));
    TiffPtr tif = OpenStream(stream, "r", errors, maxAlloc);
    if (!tif)
        return LibraryFailure(errors, "cannot read the TIFF header");

    PageTags tags = ReadTags(tif.get());
    if (Result r = CheckDimensions(tags.width, tags.height, limits); !r)
        return r;
    // Colour, alpha and a few extra channels; libtiff keeps arrays and buffers per sample.
    constexpr std::uint16_t kMaxSamples = 16;
    if (tags.spp == 0 || tags.spp > kMaxSamples)
        return Unsupported(std::to_string(tags.spp) + " samples per pixel are not supported (at most "
            + std::to_string(kMaxSamples) + ")");
    // JPEG data is bounded per sample plane; its chroma may be subsampled.
    const bool jpeg = tags.compression == COMPRESSION_JPEG || tags.compression == COMPRESSION_OJPEG;
    const DecodeLimits bounded = BoundByData(
        limits, data.size(), RatioOf(tags.compression), jpeg ? tags.bps : std::uint32_t { tags.spp } * tags.bps);
    if (Result r = CheckDimensions(tags.width, tags.height, bounded); !r)
        return r;
    RowPlan plan;
    std::uint32_t bpp = 0;
    if (PlanDirectRead(tif.get(), tags, plan, bpp)) {
        if (Result r = CreateChecked(out, tags.width, tags.height, bpp, bounded); !r)
            return r;
        if (bpp <= 8)
            if (Result r = SetPalette(tif.get(), tags, out, errors); !r)
                return r;
        if (Result r = ReadStrips(tif.get(), tags, plan, bounded, out, errors); !r)
            return r;
    } else if (Result r = ReadThroughRgba(tif.get(), tags, bounded, out, errors); !r) {
        return r;
    }
    ReadResolution(tif.get(), out);
    ReadMetadata(tif.get(), data, out);
    if (!TurnUpright(out, tags.orientation)) {
        out.Destroy();
        return LimitExceeded("out of memory while turning the image upright");
    }
    for (std::string& w : errors.warnings)
        out.AddWarning(std::move(w));
    return Result::Ok();
}

Result TiffEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    out.clear();
    // Room for the page uncompressed (pages that are never touched cost nothing), so the file
    // does not grow by copying itself over and over.
    out.reserve(image.Pixels().size() + image.Pixels().size() / 64 + 65536);
    MemoryWriter stream(out);
    const CxImage* pages[] = { &image };
    Result r = tiff::WritePages(stream, pages, 1);
    if (!r)
        out.clear();
    return r;
}

} // namespace codec
