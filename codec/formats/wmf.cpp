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
// (libwmf's own estimate when there is no placeable header). The picture shows the window the
// file sets (else the placeable frame), as a player maps it onto its output; where that would
// miss the drawing, the drawn extent, as libwmf's own tools show it. Either reader keeps its
// raster within RasterBudget, whatever size the header declares.

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
// What a metafile's pictures may take: see RasterBudget.
constexpr std::uint64_t kMinRasterBudget = 1u << 21;
constexpr std::uint64_t kRasterPixelsPerByte = 1024;

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
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
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
    std::size_t maxRecordAt = 0; ///< where the header's largest-record field sits in the file
    std::uint32_t maxRecord = 0; ///< the largest record in words, as the header declares it
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
    const std::size_t start = r.pos();
    const std::uint16_t type = r.U16LE();
    const std::uint16_t headerWords = r.U16LE();
    r.Skip(8); // version, file size, number of objects
    h.maxRecordAt = start + 12;
    h.maxRecord = r.U32LE();
    r.Skip(2); // number of parameters, unused
    if (!r.ok())
        return Truncated("the metafile header is cut short");
    if ((type != 1 && type != 2) || headerWords != kMetaHeaderSize / 2)
        return Malformed("not a Windows metafile");
    h.recordsAt = r.pos();
    return Result::Ok();
}

/// Splits the records up to the end-of-file record, checking every size against the data.
/// `largest` receives the largest record's size in words.
Result ReadRecords(ByteView data, std::size_t at, std::vector<Record>& records, std::uint32_t* largest = nullptr)
{
    ByteReader r(data, at);
    if (largest)
        *largest = 3;
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
        if (largest)
            *largest = std::max(*largest, words);
        records.push_back(Record { function, r.Take(static_cast<std::size_t>(paramBytes)) });
    }
    // Some writers leave out the end-of-file record; what is there is complete.
    if (records.empty())
        return Truncated("the metafile has no records");
    return Result::Ok();
}

/// A record of a few bytes can paint any area, so no ratio of bytes to pixels bounds the picture
/// a metafile describes; what we make of it is bounded instead. 2 megapixels, or 1024 pixels per
/// byte of file for larger files (about what deflated rows expand to), never above the limits.
/// A drawing is resolution-free, so one that asks for more is drawn smaller, not refused.
std::uint64_t RasterBudget(std::size_t fileBytes, const DecodeLimits& limits)
{
    const std::uint64_t budget = std::max(kMinRasterBudget, std::uint64_t { fileBytes } * kRasterPixelsPerByte);
    return std::min(budget, limits.maxPixels);
}

/// The factor, at most 1, that brings a width x height raster within `budget` pixels.
double FitScale(double width, double height, std::uint64_t budget)
{
    const double pixels = width * height;
    return pixels > static_cast<double>(budget) ? std::sqrt(static_cast<double>(budget) / pixels) : 1.0;
}

// ---- our reader for bitmap-only metafiles ----

struct Blit {
    double dstX, dstY, dstW, dstH; ///< logical units; fractional once clipped to the bitmap
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

/// Only the pixels the bitmap has are drawn: a source rectangle reaching past the bitmap is cut
/// to it, and the destination with it. Otherwise a one-pixel bitmap that names a 16384-pixel
/// source would set the picture's resolution while filling one pixel of it.
Result ClipToBitmap(Blit& b)
{
    const std::int64_t x0 = std::max<std::int64_t>(b.srcX, 0);
    const std::int64_t y0 = std::max<std::int64_t>(b.srcY, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t { b.srcX } + b.srcW, b.info.width);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t { b.srcY } + b.srcH, b.info.height);
    if (x0 >= x1 || y0 >= y1)
        return Malformed("a bitmap record's source rectangle lies outside its bitmap");
    const double sx = b.dstW / b.srcW, sy = b.dstH / b.srcH;
    // Source rows count from the bottom in a bottom-up StretchDIB, from the top elsewhere; the
    // destination's top edge goes with the source's top rows either way.
    const std::int64_t cutTop = b.bottomLeftSource ? std::int64_t { b.srcY } + b.srcH - y1 : y0 - b.srcY;
    b.dstX += (x0 - b.srcX) * sx;
    b.dstY += static_cast<double>(cutTop) * sy;
    b.dstW = (x1 - x0) * sx;
    b.dstH = (y1 - y0) * sy;
    b.srcX = static_cast<std::int32_t>(x0), b.srcY = static_cast<std::int32_t>(y0);
    b.srcW = static_cast<std::int32_t>(x1 - x0), b.srcH = static_cast<std::int32_t>(y1 - y0);
    return Result::Ok();
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
    return ClipToBitmap(b);
}

struct Rect {
    double left, top, right, bottom;
    double Width() const { return right - left; }
    double Height() const { return bottom - top; }
};

Rect Normalised(double x0, double y0, double x1, double y1)
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

/// libwmf's mapping from logical to device units, followed record by record as its player does:
/// device = (logical - window origin) x pixel size - viewport origin, where the pixel size is
/// fixed by the mapping mode (points per unit; 72 / units-per-inch for a placeable file), its
/// sign by the window extent's, or for the scalable modes viewport extent / window extent.
class Mapping {
public:
    explicit Mapping(const Header& h)
        : dpi_(h.placeable ? h.inch : 0)
    {
        SetMode(h.placeable ? 0 : kMmText);
    }

    /// False for a record whose effect on the mapping is not followed here.
    bool Apply(const Record& rec)
    {
        ByteReader r(rec.params);
        auto yx = [&r]() {
            const double y = ReadS16(r);
            const double x = ReadS16(r);
            return std::pair<double, double> { x, y };
        };
        switch (rec.function) {
        case kSetMapMode:
            SetMode(r.U16LE());
            break;
        case kSetWindowOrg:
            dc_.org = yx();
            dc_.orgSet = true;
            break;
        case kSetWindowExt:
            dc_.ext = yx();
            dc_.extSet = true;
            Rescale();
            break;
        case kSetViewportOrg: {
            const auto [x, y] = yx();
            viewportOrg_ = { x * dc_.pixel.first, y * dc_.pixel.second };
            break;
        }
        case kSetViewportExt:
            viewportExt_ = yx();
            Rescale();
            break;
        case kSaveDc:
            if (saved_.size() < kMaxSaved)
                saved_.push_back(dc_);
            break;
        case kRestoreDc: {
            // A negative count is relative to the top of the stack, a positive one names an entry.
            const std::int16_t n = ReadS16(r);
            const std::size_t depth = saved_.size();
            std::size_t keep = depth;
            if (n < 0)
                keep = depth - std::min(depth, static_cast<std::size_t>(-n));
            else if (n > 0)
                keep = std::min(depth, static_cast<std::size_t>(n - 1));
            if (keep < saved_.size()) {
                dc_ = saved_[keep];
                saved_.resize(keep);
            }
            break;
        }
        case kOffsetWindowOrg:
        case kScaleWindowExt:
        case kOffsetViewportOrg:
        case kScaleViewportExt:
            return false;
        default:
            break;
        }
        return r.ok() && valid_;
    }

    /// The logical rectangle the picture shows: the window the file sets, as a player maps it
    /// onto the output, with the placeable frame's origin and size where the file sets none.
    Rect Window(const Header& h) const
    {
        const double x = dc_.orgSet ? dc_.org.first : h.left, y = dc_.orgSet ? dc_.org.second : h.top;
        const double w = dc_.extSet ? dc_.ext.first : h.right - h.left;
        const double ht = dc_.extSet ? dc_.ext.second : h.bottom - h.top;
        return Rect { x, y, x + w, y + ht };
    }

    std::pair<double, double> ToDevice(double x, double y) const
    {
        return { (x - dc_.org.first) * PixelWidth() - viewportOrg_.first,
            (y - dc_.org.second) * PixelHeight() - viewportOrg_.second };
    }

private:
    static constexpr std::size_t kMaxSaved = 1024;
    struct Dc {
        std::uint16_t mode = kMmText;
        std::pair<double, double> org { 0, 0 }, ext { 1024, 1024 }, pixel { 1, 1 };
        bool orgSet = false, extSet = false;
    };

    bool Scalable() const { return dc_.mode == kMmIsotropic || dc_.mode == kMmAnisotropic; }
    double PixelWidth() const { return !Scalable() && dc_.ext.first < 0 ? -dc_.pixel.first : dc_.pixel.first; }
    double PixelHeight() const { return !Scalable() && dc_.ext.second < 0 ? -dc_.pixel.second : dc_.pixel.second; }

    void SetMode(std::uint16_t mode)
    {
        constexpr double kPointsPerMm = 72.0 / 25.4;
        double points = 0;
        switch (mode) {
        case kMmText:
            points = 1;
            break;
        case 2: // 0.1 mm
            points = 0.1 * kPointsPerMm;
            break;
        case 3: // 0.01 mm
            points = 0.01 * kPointsPerMm;
            break;
        case 4: // 0.01 inch
            points = 0.72;
            break;
        case 5: // 0.001 inch
            points = 0.072;
            break;
        case 6: // twips
            points = 72.0 / 1440;
            break;
        case kMmIsotropic:
        case kMmAnisotropic:
            dc_.mode = mode;
            Rescale();
            return;
        default: // a placeable file plays other modes in its own units
            if (!dpi_) {
                valid_ = false;
                return;
            }
            mode = 0;
            points = 72.0 / dpi_;
            break;
        }
        dc_.mode = mode;
        dc_.pixel = { points, points };
    }

    void Rescale()
    {
        if (!Scalable())
            return;
        if (dc_.ext.first == 0 || dc_.ext.second == 0 || viewportExt_.first == 0 || viewportExt_.second == 0) {
            valid_ = false;
            return;
        }
        dc_.pixel = { viewportExt_.first / dc_.ext.first, viewportExt_.second / dc_.ext.second };
    }

    std::uint16_t dpi_;
    Dc dc_;
    std::vector<Dc> saved_;
    std::pair<double, double> viewportOrg_ { 0, 0 }, viewportExt_ { 1024, 1024 };
    bool valid_ = true;
};

/// Records that draw; the mapping in force at the first of them places the frame.
bool Draws(std::uint16_t function)
{
    switch (function) {
    case 0x0213: // LineTo
    case 0x0325: // Polyline
    case 0x0324: // Polygon
    case 0x0538: // PolyPolygon
    case 0x041B: // Rectangle
    case 0x061C: // RoundRect
    case 0x0418: // Ellipse
    case 0x0817: // Arc
    case 0x081A: // Pie
    case 0x0830: // Chord
    case 0x0521: // TextOut
    case 0x0A32: // ExtTextOut
    case 0x062F: // DrawText
    case 0x061D: // PatBlt
    case 0x0922: // BitBlt
    case 0x0B23: // StretchBlt
    case kDibBitBlt:
    case kDibStretchBlt:
    case kStretchDib:
    case kSetDibToDev:
    case 0x0419: // FloodFill
    case 0x0548: // ExtFloodFill
    case 0x041F: // SetPixel
    case 0x0228: // FillRegion
    case 0x0429: // FrameRegion
    case 0x012B: // PaintRegion
    case 0x012A: // InvertRegion
        return true;
    default:
        return false;
    }
}

/// Where libwmf puts the picture's frame in its device space: the window in force when the first
/// drawing record plays, through libwmf's mapping. No answer without a placeable header or when
/// the mapping is one not followed here; the drawn extent then stands in for the frame.
std::optional<wmfD_Rect> DeviceFrame(const Header& h, const std::vector<Record>& records)
{
    if (!h.placeable)
        return std::nullopt;
    Mapping mapping(h);
    bool drawn = false;
    for (const Record& rec : records) {
        if (Draws(rec.function)) {
            drawn = true;
            break;
        }
        if (!mapping.Apply(rec))
            return std::nullopt;
    }
    if (!drawn)
        return std::nullopt;
    const Rect window = mapping.Window(h);
    const auto [x0, y0] = mapping.ToDevice(window.left, window.top);
    const auto [x1, y1] = mapping.ToDevice(window.right, window.bottom);
    wmfD_Rect frame;
    frame.TL.x = static_cast<float>(std::min(x0, x1));
    frame.TL.y = static_cast<float>(std::min(y0, y1));
    frame.BR.x = static_cast<float>(std::max(x0, x1));
    frame.BR.y = static_cast<float>(std::max(y0, y1));
    if (!(frame.BR.x > frame.TL.x) || !(frame.BR.y > frame.TL.y))
        return std::nullopt;
    return frame;
}

/// True when `frame` holds at least a quarter of the drawing each way: a frame computed from a
/// mapping the player does not follow the way we expect would otherwise leave the picture blank.
bool FrameShowsDrawing(const wmfD_Rect& frame, const wmfD_Rect& drawn)
{
    auto overlaps = [](double a0, double a1, double b0, double b1) {
        const double length = b1 - b0;
        const double common = std::min(a1, b1) - std::max(a0, b0);
        return length > 0 ? common >= length / 4 : b0 >= a0 && b1 <= a1;
    };
    return overlaps(frame.TL.x, frame.BR.x, drawn.TL.x, drawn.BR.x)
        && overlaps(frame.TL.y, frame.BR.y, drawn.TL.y, drawn.BR.y);
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
/// the DIB reader accepts, a sane size within the limits, a depth and compression libwmf draws,
/// and the pixels present.
Result CheckBitmapForRenderer(ByteView dib, const DecodeLimits& limits)
{
    DibInfo info;
    if (Result r = ReadDibInfo(dib, info); !r)
        return r.status == Status::Truncated ? r : Malformed("a bitmap: " + r.message);
    if (info.width == 0 || info.height == 0)
        return Malformed("a bitmap has no pixels");
    if (Result r = CheckDimensions(info.width, info.height, limits); !r)
        return r;
    const std::uint32_t c = info.compression, bpp = info.bpp;
    const bool drawn = c == 0 || (c == 1 && bpp == 8) || (c == 2 && bpp == 4) || (c == 3 && (bpp == 16 || bpp == 32));
    if (!drawn)
        return Malformed("a bitmap has depth " + std::to_string(bpp) + " with compression " + std::to_string(c));
    if (bpp <= 8 && info.colorsUsed > (1u << bpp))
        return Malformed("a bitmap palette has more entries than its depth allows");
    if (info.bitsStart > dib.size())
        return Truncated("a bitmap palette is cut short");
    if ((c == 0 || c == 3) && info.rowBytes * info.height > dib.size() - info.bitsStart)
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

Result Render(ByteView data,
    const Header& header,
    const std::vector<Record>& records,
    std::uint32_t largestRecord,
    const DecodeLimits& limits,
    CxImage& out)
{
    // libwmf takes a buffer of the header's largest-record size before reading a record, and
    // trusts it: a 60-byte file can ask for gigabytes. The records were measured on the way in,
    // so a larger claim is lowered to the truth (a smaller one is an error libwmf reports).
    std::vector<std::uint8_t> file(data.begin(), data.end());
    if (header.maxRecord > largestRecord)
        for (int i = 0; i < 4; ++i)
            file[header.maxRecordAt + i] = static_cast<std::uint8_t>(largestRecord >> (8 * i));

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

    if (wmf_mem_open(api.get(), file.data(), static_cast<long>(file.size())) != wmf_E_None)
        return failure(Status::Internal, "cannot open the metafile");
    wmfD_Rect drawn;
    if (wmf_scan(api.get(), 0, &drawn) != wmf_E_None)
        return failure(Status::Malformed, "cannot read the metafile");
    unsigned int width = 0, height = 0;
    if (wmf_display_size(api.get(), &width, &height, kUnitsPerInch, kUnitsPerInch) != wmf_E_None)
        return failure(Status::Malformed, "cannot size the metafile");
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;
    if (!(drawn.BR.x > drawn.TL.x) && !(drawn.BR.y > drawn.TL.y))
        return Malformed("the metafile draws nothing");

    // The picture is the placeable frame where the mapping says it is; where that frame would
    // miss the drawing (a mapping not followed here), the drawn extent, as libwmf's own tools use.
    wmfD_Rect frame = DeviceFrame(header, records).value_or(drawn);
    if (!FrameShowsDrawing(frame, drawn))
        frame = drawn;
    if (!(frame.BR.x > frame.TL.x) || !(frame.BR.y > frame.TL.y))
        return Malformed("the metafile draws nothing");

    // A frame larger than the raster budget is cut to what the records draw, then drawn smaller.
    double w = width, h = height;
    const std::uint64_t budget = RasterBudget(data.size(), limits);
    if (w * h > static_cast<double>(budget)) {
        const double unitsX = w / (frame.BR.x - frame.TL.x), unitsY = h / (frame.BR.y - frame.TL.y);
        wmfD_Rect cut;
        cut.TL.x = std::max(frame.TL.x, drawn.TL.x), cut.TL.y = std::max(frame.TL.y, drawn.TL.y);
        cut.BR.x = std::min(frame.BR.x, drawn.BR.x), cut.BR.y = std::min(frame.BR.y, drawn.BR.y);
        if (cut.BR.x > cut.TL.x && cut.BR.y > cut.TL.y) {
            frame = cut;
            w = (cut.BR.x - cut.TL.x) * unitsX, h = (cut.BR.y - cut.TL.y) * unitsY;
        }
        const double fit = FitScale(w, h, budget);
        w *= fit, h *= fit;
    }
    const auto pixelsW = static_cast<unsigned int>(std::max(1.0, std::floor(w + 0.5)));
    const auto pixelsH = static_cast<unsigned int>(std::max(1.0, std::floor(h + 0.5)));

    PngSink sink;
    wmf_gd_t* device = WMF_GD_GetData(api.get());
    device->type = wmf_gd_png;
    // Our own sink: the renderer's picture buffer belongs to it, and a gd image would leak.
    device->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
    device->sink.context = &sink;
    device->sink.function = AppendPng;
    device->width = pixelsW;
    device->height = pixelsH;
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
    // the resolution of the largest so that tiles of one picture fit together exactly, or lower
    // when that would take more pixels than the file can fill.
    const Blit* largest = &blits[0];
    for (const Blit& b : blits)
        if (std::int64_t { b.srcW } * b.srcH > std::int64_t { largest->srcW } * largest->srcH)
            largest = &b;
    double sx = static_cast<double>(largest->srcW) / largest->dstW;
    double sy = static_cast<double>(largest->srcH) / largest->dstH;
    const double fit = FitScale(frame.Width() * sx, frame.Height() * sy, RasterBudget(data.size(), limits));
    sx *= fit, sy *= fit;
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
    std::uint32_t largestRecord = 0;
    if (Result r = ReadHeader(data, header); !r)
        return r;
    if (Result r = ReadRecords(data, header.recordsAt, records, &largestRecord); !r)
        return r;
    if (Result r = CheckBitmapsForRenderer(records, limits); !r)
        return r;
    return Render(data, header, records, largestRecord, limits, out);
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
