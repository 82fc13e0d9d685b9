#include "codec/ximage.h"

#include "codec/fileio.h"
#include "codec/formats/format.h"
#include "codec/formats/jpeg.h"

#include <algorithm>
#include <new>

namespace codec {

DecodeLimits& DefaultLimits()
{
    static DecodeLimits limits;
    return limits;
}

CxImage::CxImage(std::uint32_t type)
    : type_(type)
{
}

CxImage::CxImage(const std::string& path, std::uint32_t type)
    : type_(type)
{
    Load(path, type);
}

CxImage::CxImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t type)
{
    Create(width, height, bpp, type);
}

CxImage::CxImage(const CxImage& src, bool copyPixels, bool /*copySelection*/, bool copyAlpha)
    : CxImage(src)
{
    const bool rgba = bpp_ == 32;
    if (!copyPixels) {
        // Blank as Create makes it: index 0 or black; the alpha is the flag's business below.
        for (std::size_t i = 0; i < pixels_.size(); ++i)
            if (!rgba || i % 4 != 3)
                pixels_[i] = 0;
    }
    if (!copyAlpha) {
        if (rgba)
            for (std::size_t i = 3; i < pixels_.size(); i += 4)
                pixels_[i] = 255;
        for (RGBQuad& c : palette_)
            c.alpha = 255;
    }
}

void CxImage::AddWarning(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty() || warnings_.size() >= kMaxWarnings)
        return;
    if (std::find(warnings_.begin(), warnings_.end(), text) == warnings_.end())
        warnings_.push_back(std::move(text));
}

bool CxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t type)
{
    Destroy();
    type_ = type;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        SetLastError("unsupported bits per pixel: " + std::to_string(bpp));
        return false;
    }
    if (Result r = CheckDimensions(width, height, DefaultLimits()); !r)
        return Report(r);
    try {
        pixels_.assign(static_cast<std::size_t>(width) * height * BytesPerPixelFor(bpp), 0);
        if (bpp <= 8) {
            palette_.assign(std::size_t { 1 } << bpp, RGBQuad {});
        }
    } catch (const std::bad_alloc&) {
        Destroy();
        SetLastError("out of memory for a " + std::to_string(width) + " x " + std::to_string(height) + " image");
        return false;
    }
    width_ = width;
    height_ = height;
    bpp_ = bpp;
    if (bpp <= 8)
        SetGrayPalette();
    if (bpp == 32)
        for (std::size_t i = 3; i < pixels_.size(); i += 4)
            pixels_[i] = 255;
    return true;
}

void CxImage::Destroy()
{
    width_ = height_ = bpp_ = 0;
    transIndex_ = -1;
    palette_.clear();
    pixels_.clear();
}

void CxImage::SetGrayPalette()
{
    if (!IsIndexed())
        return;
    const std::size_t n = std::size_t { 1 } << bpp_;
    palette_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
        palette_[i] = RGBQuad { v, v, v, 255 };
    }
}

bool CxImage::IsGrayScale() const
{
    if (!IsIndexed())
        return false;
    return std::all_of(
        palette_.begin(), palette_.end(), [](const RGBQuad& c) { return c.red == c.green && c.green == c.blue; });
}

RGBQuad CxImage::GetPixelColor(std::uint32_t x, std::uint32_t y) const
{
    if (x >= width_ || y >= height_)
        return RGBQuad { 0, 0, 0, 255 };
    const std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * GetBytesPerPixel();
    if (IsIndexed()) {
        RGBQuad c = *p < palette_.size() ? palette_[*p] : RGBQuad {};
        if (transIndex_ >= 0 && *p == transIndex_)
            c.alpha = 0;
        return c;
    }
    return RGBQuad { p[0], p[1], p[2], bpp_ == 32 ? p[3] : std::uint8_t { 255 } };
}

void CxImage::SetPixelColor(std::uint32_t x, std::uint32_t y, RGBQuad c)
{
    if (x >= width_ || y >= height_)
        return;
    std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * GetBytesPerPixel();
    if (IsIndexed()) {
        std::size_t best = 0;
        int bestDist = 1 << 30;
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            int dr = palette_[i].red - c.red, dg = palette_[i].green - c.green, db = palette_[i].blue - c.blue;
            int d = dr * dr + dg * dg + db * db;
            if (d < bestDist)
                bestDist = d, best = i;
        }
        *p = static_cast<std::uint8_t>(best);
        return;
    }
    if (bpp_ == 16) {
        c.red = Quantize5(c.red), c.green = Quantize5(c.green), c.blue = Quantize5(c.blue);
    }
    p[0] = c.red, p[1] = c.green, p[2] = c.blue;
    if (bpp_ == 32)
        p[3] = c.alpha;
}

bool CxImage::Report(const Result& r) const
{
    if (!r)
        SetLastError(r.message.empty() ? std::string("unknown error") : r.message);
    return static_cast<bool>(r);
}

namespace {

Result RunDecoder(const FormatCodec& codec, ByteView data, const LoadHints& hints, CxImage& out)
{
    if (!codec.decode)
        return Unsupported(std::string("reading ") + codec.shortName + " files is not supported");
    try {
        if (codec.type == kTypeJpg && hints.minimumSize)
            return JpegDecodeScaled(data, DefaultLimits(), hints, out);
        return codec.decode(data, DefaultLimits(), out);
    } catch (const std::bad_alloc&) {
        return LimitExceeded("out of memory while decoding");
    }
}

} // namespace

bool CxImage::Decode(ByteView data, std::uint32_t type)
{
    return Decode(data, type, LoadHints {});
}

bool CxImage::Decode(ByteView data, std::uint32_t type, const LoadHints& hints)
{
    ClearWarnings();
    if (data.empty()) {
        Destroy();
        SetLastError("the file is empty");
        return false;
    }
    const FormatCodec* asked = FindCodec(type);
    const FormatCodec* sniffed = SniffCodec(data);
    CxImage decoded;
    Result r;
    const FormatCodec* used = asked ? asked : sniffed;
    if (!used) {
        Destroy();
        SetLastError("unknown file format");
        return false;
    }
    r = RunDecoder(*used, data, hints, decoded);
    // A file whose name promises one format but whose content is another still opens.
    if (!r && asked && sniffed && sniffed != asked) {
        CxImage second;
        if (Result r2 = RunDecoder(*sniffed, data, hints, second)) {
            decoded = std::move(second);
            used = sniffed;
            r = r2;
        }
    }
    if (!r) {
        Destroy();
        return Report(Result::Fail(r.status, std::string(used->shortName) + ": " + r.message));
    }
    // The decoded image brings its warnings; an earlier failure's text no longer applies.
    *this = std::move(decoded);
    type_ = used->type;
    lastError_.clear();
    return true;
}

bool CxImage::Load(const std::string& path, std::uint32_t type)
{
    return Load(path, type, LoadHints {});
}

bool CxImage::Load(const std::string& path, std::uint32_t type, const LoadHints& hints)
{
    std::vector<std::uint8_t> bytes;
    if (Result r = ReadWholeFile(path, bytes); !r) {
        Destroy();
        ClearWarnings();
        return Report(r);
    }
    return Decode(bytes, type, hints);
}

bool CxImage::Encode(std::vector<std::uint8_t>& out, std::uint32_t type) const
{
    out.clear();
    if (!IsValid()) {
        SetLastError("the image is empty");
        return false;
    }
    const FormatCodec* codec = FindCodec(type);
    if (!codec) {
        SetLastError("unknown image type " + std::to_string(type));
        return false;
    }
    if (!codec->encode) {
        SetLastError(std::string("writing ") + codec->shortName + " files is not supported");
        return false;
    }
    try {
        Result r = codec->encode(*this, out);
        if (r)
            return true;
        out.clear();
        return Report(Result::Fail(r.status, std::string(codec->shortName) + ": " + r.message));
    } catch (const std::bad_alloc&) {
        out.clear();
        SetLastError("out of memory while encoding");
        return false;
    }
}

bool CxImage::Save(const std::string& path, std::uint32_t type)
{
    std::vector<std::uint8_t> bytes;
    if (!Encode(bytes, type))
        return false;
    return Report(WriteFileAtomic(path, bytes));
}

} // namespace codec
