// Windows metafile (type 10).
//
// Writing: a placeable metafile (frame = the image size at 96 units per inch) holding one
// StretchDIB record with the image as a device-independent bitmap. No SetMapMode record: a
// placeable file's player sets the mapping from the header itself, and an explicit anisotropic
// mode makes libwmf map the window onto its default 1024-unit viewport instead.
//
// Reading: metafiles that only place bitmaps go through our own reader (libwmf interpolates
// every stretched bitmap, even 1:1, so it never gives the pixels back exactly); anything else
// is rendered by libwmf's gd layer into a PNG in memory at the placeable frame's size at 96 dpi
// (libwmf's own estimate when there is no placeable header).

#include "codec/formats/wmf.h"

#include "codec/formats/bytes.h"
#include "codec/formats/dib.h"
#include "codec/formats/format.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace codec {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kMetaHeaderSize = 18;
constexpr std::uint16_t kUnitsPerInch = 96;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint32_t kMaxOverdraw = 8;

enum Function : std::uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetRelAbs = 0x0105,
    kSetPolyFillMode = 0x0106,
    kSetStretchBltMode = 0x0107,
    kRestoreDc = 0x0127,
    kSetTextAlign = 0x012E,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kEscape = 0x0626,
    kDibBitBlt = 0x0940,
    kDibStretchBlt = 0x0B41,
    kStretchDib = 0x0F43,
    kDibCreatePatternBrush = 0x0142,
    kSetDibToDev = 0x0D33,
};

enum MapMode : std::uint16_t { kMmText = 1, kMmIsotropic = 7, kMmAnisotropic = 8 };

struct Header {
    bool placeable = false;
    std::int16_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint16_t inch = 0;
    std::size_t recordsAt = 0;
};

struct Record {
    std::uint16_t function;
    ByteView params;
};

std::int16_t ReadS16(ByteReader& r)
{
    return static_cast<std::int16_t>(r.U16LE());
}

Result ReadHeader(ByteView data, Header& h)
{
    ByteReader r(data);
    if (data.size() >= 4 && ByteReader(data).U32LE() == kPlaceableKey) {
        r.Skip(6); // key, handle
        h.placeable = true;
        h.left = ReadS16(r), h.top = ReadS16(r), h.right = ReadS16(r), h.bottom = ReadS16(r);
        h.inch = r.U16LE();
        r.Skip(6); // reserved, checksum: many writers get the checksum wrong, so it is not checked
        if (!r.ok())
            return Truncated("the placeable header is cut short");
        if (h.inch == 0)
            return Malformed("the placeable header gives 0 units per inch");
        if (h.left == h.right || h.top == h.bottom)
            return Malformed("the placeable header's frame is empty");
    }
    const std::uint16_t type = r.U16LE();
    const std::uint16_t headerWords = r.U16LE();
    r.Skip(kMetaHeaderSize - 4);
    if (!r.ok())
        return Truncated("the metafile header is cut short");
    if ((type != 1 && type != 2) || headerWords != kMetaHeaderSize / 2)
        return Malformed("not a Windows metafile");
    h.recordsAt = r.pos();
    return Result::Ok();
}

/// Splits the records up to the end-of-file record, checking every size against the data.
Result ReadRecords(ByteView data, std::size_t at, std::vector<Record>& records)
{
    ByteReader r(data, at);
    while (r.remaining() >= 6) {
        const std::uint32_t words = r.U32LE();
        const std::uint16_t function = r.U16LE();
        if (function == kEof)
            return Result::Ok();
        if (words < 3)
            return Malformed("a record claims " + std::to_string(words) + " words");
        const std::uint64_t paramBytes = (std::uint64_t { words } - 3) * 2;
        if (paramBytes > r.remaining())
            return Truncated("a record runs past the end of the file");
        records.push_back(Record { function, r.Take(static_cast<std::size_t>(paramBytes)) });
    }
    // Some writers leave out the end-of-file record; what is there is complete.
    if (records.empty())
        return Truncated("the metafile has no records");
    return Result::Ok();
}

// ---- our reader for bitmap-only metafiles ----

struct Blit {
    std::int32_t dstX, dstY, dstW, dstH;
    std::int32_t srcX, srcY, srcW, srcH;
    bool bottomLeftSource; ///< StretchDIB counts a bottom-up bitmap's source rectangle from its lower left
    ByteView dib;
    DibInfo info;
};

/// The record's bitmap, as far as our reader takes it: plain rows, all there.
Result CheckDib(ByteView dib, DibInfo& info)
{
    if (Result res = ReadDibInfo(dib, info); !res)
        return res;
    if (info.compression != 0)
        return Unsupported("compressed bitmap"); // left to the renderer
    if (info.width == 0 || info.height == 0)
        return Malformed("the bitmap has no pixels");
    if (info.bpp <= 8 && info.colorsUsed > (1u << info.bpp))
        return Malformed("the bitmap palette has more entries than its depth allows");
    if (info.bitsStart > dib.size() || (dib.size() - info.bitsStart) / info.rowBytes < info.height)
        return Truncated("the bitmap's pixels are cut short");
    return Result::Ok();
}

/// Decodes a record's bitmap at the depths a metafile's bitmaps are written in.
Result DecodeBitmap(const Blit& b, const DecodeLimits& limits, CxImage& out)
{
    DibOptions options;
    options.unusedAlphaAsTwentyFour = true;
    return DecodeDib(b.dib, limits, out, options);
}

Result NotBitmapOnly()
{
    return Unsupported("the metafile holds more than bitmaps");
}

Result ParseBlit(const Record& rec, Blit& b)
{
    ByteReader r(rec.params);
    if (r.U32LE() != kSrcCopy)
        return NotBitmapOnly(); // other raster operations need the renderer
    std::size_t fixed = 0;
    if (rec.function == kStretchDib) {
        if (r.U16LE() != 0)
            return NotBitmapOnly(); // palette-relative colours
        b.srcH = ReadS16(r), b.srcW = ReadS16(r), b.srcY = ReadS16(r), b.srcX = ReadS16(r);
        b.dstH = ReadS16(r), b.dstW = ReadS16(r), b.dstY = ReadS16(r), b.dstX = ReadS16(r);
        fixed = 22;
    } else if (rec.function == kDibStretchBlt) {
        b.srcH = ReadS16(r), b.srcW = ReadS16(r), b.srcY = ReadS16(r), b.srcX = ReadS16(r);
        b.dstH = ReadS16(r), b.dstW = ReadS16(r), b.dstY = ReadS16(r), b.dstX = ReadS16(r);
        fixed = 20;
    } else {
        b.srcY = ReadS16(r), b.srcX = ReadS16(r);
        b.dstH = b.srcH = ReadS16(r), b.dstW = b.srcW = ReadS16(r);
        b.dstY = ReadS16(r), b.dstX = ReadS16(r);
        fixed = 16;
    }
    // The record forms without a bitmap fill with a pattern; too short to hold a bitmap header.
    if (!r.ok() || rec.params.size() < fixed + 40)
        return NotBitmapOnly();
    if (b.srcW <= 0 || b.srcH <= 0 || b.dstW <= 0 || b.dstH <= 0)
        return NotBitmapOnly(); // mirrored or empty
    b.dib = rec.params.subspan(fixed);
    if (Result res = CheckDib(b.dib, b.info); !res)
        return res;
    b.bottomLeftSource = rec.function == kStretchDib && !b.info.topDown;
    return Result::Ok();
}

struct Rect {
    std::int32_t left, top, right, bottom;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
};

Rect Normalised(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1)
{
    return Rect { std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1) };
}

/// Where one bitmap lands on the canvas: its exact rectangle and the whole pixels it covers.
struct Placement {
    double left, top, width, height;
    std::int64_t x0, x1, y0, y1;
    std::uint64_t Area() const { return x1 > x0 && y1 > y0 ? std::uint64_t(x1 - x0) * std::uint64_t(y1 - y0) : 0; }
};

Placement Place(const Blit& b, const Rect& frame, double sx, double sy, const CxImage& canvas)
{
    Placement p;
    p.left = (b.dstX - frame.left) * sx, p.top = (b.dstY - frame.top) * sy;
    p.width = b.dstW * sx, p.height = b.dstH * sy;
    p.x0 = static_cast<std::int64_t>(std::max(0.0, std::floor(p.left + 0.5)));
    p.x1 = static_cast<std::int64_t>(std::min<double>(canvas.GetWidth(), std::floor(p.left + p.width + 0.5)));
    p.y0 = static_cast<std::int64_t>(std::max(0.0, std::floor(p.top + 0.5)));
    p.y1 = static_cast<std::int64_t>(std::min<double>(canvas.GetHeight(), std::floor(p.top + p.height + 0.5)));
    return p;
}

/// Draws one bitmap's source rectangle into its place on the canvas, nearest neighbour.
void Compose(const Blit& b, const CxImage& bitmap, const Placement& at, CxImage& canvas)
{
    const double left = at.left, top = at.top, width = at.width, height = at.height;
    const std::int64_t x0 = at.x0, x1 = at.x1, y0 = at.y0, y1 = at.y1;
    if (x0 >= x1 || y0 >= y1)
        return;
    // The source rectangle clipped to the bitmap, in top-down rows.
    const std::int64_t srcTop = b.bottomLeftSource ? std::int64_t { b.info.height } - b.srcY - b.srcH : b.srcY;
    auto sourceIndex = [](double t, std::int64_t origin, std::int64_t extent, std::int64_t limit) {
        const std::int64_t v = origin + static_cast<std::int64_t>(std::floor(t * extent));
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, limit - 1));
    };
    std::vector<std::uint32_t> cols(static_cast<std::size_t>(x1 - x0));
    for (std::int64_t x = x0; x < x1; ++x)
        cols[static_cast<std::size_t>(x - x0)]
            = sourceIndex((x + 0.5 - left) / width, b.srcX, b.srcW, bitmap.GetWidth());
    const bool indexed = bitmap.IsIndexed();
    const std::uint32_t step = bitmap.GetBytesPerPixel();
    const auto& pal = bitmap.Palette();
    for (std::int64_t y = y0; y < y1; ++y) {
        const std::uint32_t sy0 = sourceIndex((y + 0.5 - top) / height, srcTop, b.srcH, bitmap.GetHeight());
        const std::uint8_t* s = bitmap.Row(sy0);
        std::uint8_t* o = canvas.Row(static_cast<std::uint32_t>(y)) + x0 * 3;
        for (std::uint32_t c : cols) {
            if (indexed) {
                const RGBQuad q = pal[s[c]];
                *o++ = q.red, *o++ = q.green, *o++ = q.blue;
            } else {
                const std::uint8_t* p = s + static_cast<std::size_t>(c) * step;
                *o++ = p[0], *o++ = p[1], *o++ = p[2];
            }
        }
    }
}

// ---- libwmf ----

struct ApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

/// libwmf's error stream, captured in memory so its text can become the Result's message.
class ErrorStream {
public:
    ErrorStream()
        : file_(open_memstream(&buffer_, &size_))
    {
    }
    ~ErrorStream()
    {
        if (file_)
            std::fclose(file_);
        std::free(buffer_);
    }
    ErrorStream(const ErrorStream&) = delete;
    ErrorStream& operator=(const ErrorStream&) = delete;
    FILE* file() const { return file_; }
    std::string Text()
    {
        if (!file_)
            return {};
        std::fflush(file_);
        std::string text(buffer_ ? buffer_ : "", size_);
        const std::size_t nl = text.find('\n'); // the first line names the cause
        if (nl != std::string::npos)
            text.resize(nl);
        if (text.rfind("ERROR: ", 0) == 0)
            text.erase(0, 7);
        // Drop the source position ("player.c (495): ") the library puts before its text.
        if (const std::size_t at = text.find("): "); at != std::string::npos && text.find(".c (") < at)
            text.erase(0, at + 3);
        return text;
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    FILE* file_ = nullptr;
};

struct PngSink {
    std::vector<std::uint8_t> bytes;
    bool failed = false;
};

int AppendPng(void* context, char* buffer, int length)
{
    auto* sink = static_cast<PngSink*>(context);
    if (length <= 0)
        return length;
    try { // no exception may cross the library's C frames
        sink->bytes.insert(sink->bytes.end(), buffer, buffer + length);
    } catch (const std::bad_alloc&) {
        sink->failed = true;
        return 0;
    }
    return length;
}

/// Where libwmf puts the placeable frame in its device space. Its mapping follows the first
/// SetMapMode, window and viewport records; modes it maps otherwise give no answer, and the
/// drawn extent stands in for the frame.
std::optional<wmfD_Rect> DeviceFrame(const Header& h, const std::vector<Record>& records)
{
    if (!h.placeable)
        return std::nullopt;
    std::optional<std::uint16_t> mode;
    std::optional<std::pair<double, double>> windowOrg, windowExt, viewportOrg, viewportExt;
    for (const Record& rec : records) {
        ByteReader r(rec.params);
        auto yx = [&r]() {
            const double y = ReadS16(r);
            const double x = ReadS16(r);
            return std::pair<double, double> { x, y };
        };
        switch (rec.function) {
        case kSetMapMode:
            if (!mode)
                mode = r.U16LE();
            break;
        case kSetWindowOrg:
            if (!windowOrg)
                windowOrg = yx();
            break;
        case kSetWindowExt:
            if (!windowExt)
                windowExt = yx();
            break;
        case kSetViewportOrg:
            if (!viewportOrg)
                viewportOrg = yx();
            break;
        case kSetViewportExt:
            if (!viewportExt)
                viewportExt = yx();
            break;
        default:
            break;
        }
        if (!r.ok())
            return std::nullopt;
    }
    const auto org = windowOrg.value_or(std::pair<double, double> { 0, 0 });
    double scaleX = 0, scaleY = 0, offX = 0, offY = 0;
    if (!mode) { // placeable files play in points by default
        scaleX = scaleY = 72.0 / h.inch;
    } else if (*mode == kMmText) {
        scaleX = scaleY = 1.0;
    } else if ((*mode == kMmAnisotropic || *mode == kMmIsotropic) && windowExt && windowExt->first != 0
        && windowExt->second != 0) {
        const auto vext = viewportExt.value_or(std::pair<double, double> { 1024, 1024 });
        const auto vorg = viewportOrg.value_or(std::pair<double, double> { 0, 0 });
        scaleX = vext.first / windowExt->first;
        scaleY = vext.second / windowExt->second;
        offX = vorg.first, offY = vorg.second;
    } else {
        return std::nullopt;
    }
    const double x0 = (h.left - org.first) * scaleX + offX, x1 = (h.right - org.first) * scaleX + offX;
    const double y0 = (h.top - org.second) * scaleY + offY, y1 = (h.bottom - org.second) * scaleY + offY;
    wmfD_Rect frame;
    frame.TL.x = static_cast<float>(std::min(x0, x1));
    frame.TL.y = static_cast<float>(std::min(y0, y1));
    frame.BR.x = static_cast<float>(std::max(x0, x1));
    frame.BR.y = static_cast<float>(std::max(y0, y1));
    if (!(frame.BR.x > frame.TL.x) || !(frame.BR.y > frame.TL.y))
        return std::nullopt;
    return frame;
}

Result DecodePng(const std::vector<std::uint8_t>& png, const DecodeLimits& limits, CxImage& out)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return Result::Fail(Status::Internal, std::string("cannot read the rendered picture: ") + image.message);
    image.format = PNG_FORMAT_RGB;
    if (Result r = CreateChecked(out, image.width, image.height, 24, limits); !r) {
        png_image_free(&image);
        return r;
    }
    if (!png_image_finish_read(&image, nullptr, out.Pixels().data(), 0, nullptr))
        return Result::Fail(Status::Internal, std::string("cannot read the rendered picture: ") + image.message);
    return Result::Ok();
}

/// libwmf trusts the bitmaps inside records (an odd header size sends its reader into a
/// near-endless loop), so every one is checked here before the renderer sees the file: a header
/// it knows, a sane size within the limits, a known depth and compression, and the pixels present.
Result CheckBitmapForRenderer(ByteView dib, const DecodeLimits& limits)
{
    ByteReader r(dib);
    const std::uint32_t headerSize = r.U32LE();
    std::int64_t width = 0, height = 0;
    std::uint16_t bpp = 0;
    std::uint32_t compression = 0, clrUsed = 0;
    if (headerSize == 12) {
        width = r.U16LE(), height = r.U16LE();
        r.Skip(2);
        bpp = r.U16LE();
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 || headerSize == 108
        || headerSize == 124) {
        width = r.I32LE(), height = r.I32LE();
        r.Skip(2);
        bpp = r.U16LE();
        compression = r.U32LE();
        r.Skip(12);
        clrUsed = r.U32LE();
    } else {
        return Malformed("a bitmap has a header of " + std::to_string(headerSize) + " bytes");
    }
    if (!r.ok() || !r.Seek(headerSize))
        return Truncated("a bitmap header is cut short");
    if (height < 0)
        height = -height;
    if (width <= 0 || height <= 0)
        return Malformed("a bitmap has no pixels");
    if (Result res = CheckDimensions(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), limits);
        !res)
        return res;
    const bool known = (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)
        && (compression == 0 || (compression == 1 && bpp == 8) || (compression == 2 && bpp == 4)
            || (compression == 3 && (bpp == 16 || bpp == 32)));
    if (!known)
        return Malformed(
            "a bitmap has depth " + std::to_string(bpp) + " with compression " + std::to_string(compression));
    std::uint64_t colours = bpp <= 8 ? (clrUsed ? clrUsed : 1u << bpp) : clrUsed;
    if (bpp <= 8 && colours > (1u << bpp))
        return Malformed("a bitmap palette has more entries than its depth allows");
    if (compression == 3 && headerSize == 40)
        colours += 3; // the channel masks follow the header
    const std::uint64_t paletteBytes = colours * (headerSize == 12 ? 3 : 4);
    if (paletteBytes > r.remaining())
        return Truncated("a bitmap palette is cut short");
    r.Skip(static_cast<std::size_t>(paletteBytes));
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;
    if ((compression == 0 || compression == 3) && rowBytes * static_cast<std::uint64_t>(height) > r.remaining())
        return Truncated("a bitmap's pixels are cut short");
    return Result::Ok();
}

Result CheckBitmapsForRenderer(const std::vector<Record>& records, const DecodeLimits& limits)
{
    for (const Record& rec : records) {
        std::size_t at = 0;
        switch (rec.function) {
        case kStretchDib:
            at = 22;
            break;
        case kDibStretchBlt:
            at = rec.params.size() == 22 ? 0 : 20; // 22 bytes: the form without a bitmap
            break;
        case kDibBitBlt:
            at = rec.params.size() == 18 ? 0 : 16;
            break;
        case kSetDibToDev:
            at = 18;
            break;
        case kDibCreatePatternBrush:
            // Style 3 carries an old device-dependent bitmap, not a DIB.
            at = rec.params.size() >= 2 && (rec.params[0] | (rec.params[1] << 8)) == 3 ? 0 : 4;
            break;
        default:
            break;
        }
        if (at == 0)
            continue;
        if (rec.params.size() < at)
            return Truncated("a bitmap record is cut short");
        if (Result r = CheckBitmapForRenderer(rec.params.subspan(at), limits); !r)
            return r;
    }
    return Result::Ok();
}

Result Render(
    ByteView data, const Header& header, const std::vector<Record>& records, const DecodeLimits& limits, CxImage& out)
{
    // libwmf and its gd layer keep process-wide state (font engine, caches): one render at a time.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);

    ErrorStream errors;
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    options.error_out = errors.file();
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_DEBUG;
    flags |= errors.file() ? WMF_OPT_LOG_ERROR : WMF_OPT_NO_ERROR;
    wmfAPI* raw = nullptr;
    if (wmf_api_create(&raw, flags, &options) != wmf_E_None) {
        if (raw)
            wmf_api_destroy(raw);
        return Result::Fail(Status::Internal, "cannot start the metafile renderer");
    }
    std::unique_ptr<wmfAPI, ApiDeleter> api(raw);
    auto failure = [&](Status status, const char* what) {
        const std::string text = errors.Text();
        return Result::Fail(status, text.empty() ? std::string(what) : std::string(what) + ": " + text);
    };

    // libwmf only reads the buffer, but its interface is not const.
    if (wmf_mem_open(api.get(), const_cast<unsigned char*>(data.data()), static_cast<long>(data.size())) != wmf_E_None)
        return failure(Status::Internal, "cannot open the metafile");
    wmfD_Rect extent;
    if (wmf_scan(api.get(), 0, &extent) != wmf_E_None)
        return failure(Status::Malformed, "cannot read the metafile");
    unsigned int width = 0, height = 0;
    if (wmf_display_size(api.get(), &width, &height, kUnitsPerInch, kUnitsPerInch) != wmf_E_None)
        return failure(Status::Malformed, "cannot size the metafile");
    // The renderer allocates the whole picture: check its size first.
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;

    const wmfD_Rect frame = DeviceFrame(header, records).value_or(extent);
    if (!(frame.BR.x > frame.TL.x) || !(frame.BR.y > frame.TL.y))
        return Malformed("the metafile draws nothing");

    PngSink sink;
    wmf_gd_t* device = WMF_GD_GetData(api.get());
    device->type = wmf_gd_png;
    // Our own sink: the renderer's picture buffer belongs to it, and a gd image would leak.
    device->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
    device->sink.context = &sink;
    device->sink.function = AppendPng;
    device->width = width;
    device->height = height;
    device->bbox = frame;
    wmfD_Rect played;
    if (wmf_play(api.get(), 0, &played) != wmf_E_None)
        return failure(Status::Malformed, "cannot draw the metafile");
    api.reset();
    if (sink.failed)
        return LimitExceeded("out of memory for the rendered picture");
    if (sink.bytes.empty())
        return Result::Fail(Status::Internal, "the metafile renderer produced no picture");
    return DecodePng(sink.bytes, limits, out);
}

} // namespace

Result WmfDecodeBitmapOnly(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    Header header;
    if (Result r = ReadHeader(data, header); !r)
        return r;
    std::vector<Record> records;
    if (Result r = ReadRecords(data, header.recordsAt, records); !r)
        return r;

    std::vector<Blit> blits;
    std::optional<Rect> window;
    std::int32_t orgX = 0, orgY = 0;
    bool haveExt = false;
    for (const Record& rec : records) {
        ByteReader r(rec.params);
        switch (rec.function) {
        case kStretchDib:
        case kDibStretchBlt:
        case kDibBitBlt: {
            Blit b {};
            if (Result res = ParseBlit(rec, b); !res)
                return res;
            blits.push_back(b);
            break;
        }
        case kSetWindowOrg:
        case kSetWindowExt: {
            if (!blits.empty())
                return NotBitmapOnly(); // a moving window needs the renderer's mapping
            const std::int16_t y = ReadS16(r), x = ReadS16(r);
            if (!r.ok())
                return Malformed("a window record is cut short");
            if (rec.function == kSetWindowOrg) {
                orgX = x, orgY = y;
            } else {
                if (x == 0 || y == 0)
                    return Malformed("the window has no extent");
                haveExt = true;
                window = Normalised(0, 0, x, y);
            }
            break;
        }
        case kSetMapMode: {
            const std::uint16_t mode = r.U16LE();
            if (mode != kMmText && mode != kMmIsotropic && mode != kMmAnisotropic)
                return NotBitmapOnly();
            break;
        }
        case kSaveDc:
        case kRestoreDc:
        case kSetStretchBltMode:
        case kSetBkMode:
        case kSetBkColor:
        case kSetTextColor:
        case kSetRop2:
        case kSetRelAbs:
        case kSetPolyFillMode:
        case kSetTextAlign:
        case kEscape:
            break;
        default:
            return NotBitmapOnly();
        }
    }
    if (blits.empty())
        return NotBitmapOnly();

    // The frame in logical units: the window the file sets, else the placeable frame, else the
    // bitmaps' own extent.
    Rect frame;
    if (haveExt) {
        frame = Rect { window->left + orgX, window->top + orgY, window->right + orgX, window->bottom + orgY };
    } else if (header.placeable) {
        frame = Normalised(header.left, header.top, header.right, header.bottom);
    } else {
        frame = Rect { blits[0].dstX, blits[0].dstY, blits[0].dstX + blits[0].dstW, blits[0].dstY + blits[0].dstH };
        for (const Blit& b : blits)
            frame = Rect { std::min(frame.left, b.dstX),
                std::min(frame.top, b.dstY),
                std::max(frame.right, b.dstX + b.dstW),
                std::max(frame.bottom, b.dstY + b.dstH) };
    }

    if (blits.size() == 1) {
        const Blit& b = blits[0];
        if (b.srcX == 0 && b.srcY == 0 && static_cast<std::uint32_t>(b.srcW) == b.info.width
            && static_cast<std::uint32_t>(b.srcH) == b.info.height && b.dstX == frame.left && b.dstY == frame.top
            && b.dstW == frame.Width() && b.dstH == frame.Height())
            return DecodeBitmap(b, limits, out);
    }

    // Several bitmaps, or one that is cropped or placed inside a larger frame: compose them at
    // the resolution of the largest so that tiles of one picture fit together exactly.
    const Blit* largest = &blits[0];
    for (const Blit& b : blits)
        if (std::int64_t { b.srcW } * b.srcH > std::int64_t { largest->srcW } * largest->srcH)
            largest = &b;
    const double sx = static_cast<double>(largest->srcW) / largest->dstW;
    const double sy = static_cast<double>(largest->srcH) / largest->dstH;
    const double canvasW = std::floor(frame.Width() * sx + 0.5), canvasH = std::floor(frame.Height() * sy + 0.5);
    if (Result r = CheckDimensions(static_cast<std::uint64_t>(std::max(0.0, canvasW)),
            static_cast<std::uint64_t>(std::max(0.0, canvasH)),
            limits);
        !r)
        return r;
    if (Result r
        = CreateChecked(out, static_cast<std::uint32_t>(canvasW), static_cast<std::uint32_t>(canvasH), 24, limits);
        !r)
        return r;
    // A small file could otherwise stretch thousands of bitmaps over a large canvas each.
    std::uint64_t covered = 0;
    for (const Blit& b : blits)
        covered += Place(b, frame, sx, sy, out).Area();
    if (covered > std::uint64_t { kMaxOverdraw } * out.GetWidth() * out.GetHeight())
        return LimitExceeded("the bitmaps cover the picture more than " + std::to_string(kMaxOverdraw) + " times over");
    std::fill(out.Pixels().begin(), out.Pixels().end(), std::uint8_t { 255 });
    CxImage bitmap;
    for (const Blit& b : blits) {
        if (Result r = DecodeBitmap(b, limits, bitmap); !r)
            return r;
        Compose(b, bitmap, Place(b, frame, sx, sy, out), out);
    }
    return Result::Ok();
}

bool WmfSniff(ByteView data)
{
    ByteReader r(data);
    if (r.U32LE() == kPlaceableKey)
        return true;
    r.Seek(0);
    const std::uint16_t type = r.U16LE(), headerWords = r.U16LE(), version = r.U16LE();
    return r.ok() && (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

Result WmfDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    Result own = WmfDecodeBitmapOnly(data, limits, out);
    if (own.status != Status::Unsupported)
        return own;
    // The records were checked against the data on the way, so libwmf sees a sound structure.
    Header header;
    std::vector<Record> records;
    if (Result r = ReadHeader(data, header); !r)
        return r;
    if (Result r = ReadRecords(data, header.recordsAt, records); !r)
        return r;
    if (Result r = CheckBitmapsForRenderer(records, limits); !r)
        return r;
    return Render(data, header, records, limits, out);
}

Result WmfEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    if (w > 32767 || h > 32767)
        return Unsupported("a metafile holds at most 32767 x 32767 pixels");
    DibWriteOptions options;
    options.sixteenAsTwentyFour = true; // 16-bit channels are stored widened to 8 bits; 24 keeps them exactly
    if (image.GetBpp() == 32) {
        bool translucent = false;
        const auto& px = image.Pixels();
        for (std::size_t i = 3; i < px.size() && !translucent; i += 4)
            translucent = px[i] != 255;
        options.thirtyTwoAsTwentyFour = !translucent; // a plain 24-bit bitmap is what every player understands
    }
    std::vector<std::uint8_t> dib;
    if (Result r = AppendDib(image, dib, options); !r)
        return r;

    out.clear();
    out.reserve(dib.size() + 128);
    // Placeable header; its checksum is the XOR of the ten words before it.
    const std::size_t base = out.size();
    PutU32LE(out, kPlaceableKey);
    PutU16LE(out, 0);
    PutU16LE(out, 0), PutU16LE(out, 0), PutU16LE(out, w), PutU16LE(out, h);
    PutU16LE(out, kUnitsPerInch);
    PutU32LE(out, 0);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 10; ++i)
        checksum ^= static_cast<std::uint16_t>(out[base + 2 * i] | (out[base + 2 * i + 1] << 8));
    PutU16LE(out, checksum);

    const std::uint32_t stretchWords = static_cast<std::uint32_t>(3 + 11 + dib.size() / 2);
    const std::uint32_t totalWords = 9 + 5 + 5 + stretchWords + 3;
    PutU16LE(out, 1); // in memory
    PutU16LE(out, 9);
    PutU16LE(out, 0x0300);
    PutU32LE(out, totalWords);
    PutU16LE(out, 0); // no objects
    PutU32LE(out, stretchWords);
    PutU16LE(out, 0);

    PutU32LE(out, 5), PutU16LE(out, kSetWindowOrg), PutU16LE(out, 0), PutU16LE(out, 0);
    PutU32LE(out, 5), PutU16LE(out, kSetWindowExt), PutU16LE(out, h), PutU16LE(out, w);
    PutU32LE(out, stretchWords);
    PutU16LE(out, kStretchDib);
    PutU32LE(out, kSrcCopy);
    PutU16LE(out, 0); // colours are RGB values
    PutU16LE(out, h), PutU16LE(out, w), PutU16LE(out, 0), PutU16LE(out, 0); // source
    PutU16LE(out, h), PutU16LE(out, w), PutU16LE(out, 0), PutU16LE(out, 0); // destination
    out.insert(out.end(), dib.begin(), dib.end());
    PutU32LE(out, 3), PutU16LE(out, kEof);
    return Result::Ok();
}

} // namespace codec
