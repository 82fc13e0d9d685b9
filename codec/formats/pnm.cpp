// PNM: the portable bitmap (P1 plain, P4 raw), graymap (P2, P5) and pixmap (P3, P6) formats.
// Bitmaps load as 1 bit (in the file 1 is black), graymaps as 8-bit gray, pixmaps as 24 bits;
// samples of any maximum value are scaled to 8 bits. Written raw: P4 for black-and-white 1-bit
// images, P5 for gray indexed images, P6 for everything else (alpha is dropped).

#include "codec/formats/format.h"

#include <algorithm>
#include <array>
#include <string>

namespace codec {

namespace {

bool IsSpace(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/// A cursor over the text parts of a file: header fields and plain samples.
class TextReader {
public:
    explicit TextReader(ByteView data, std::size_t pos)
        : data_(data)
        , pos_(pos)
    {
    }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }

    /// Skips white space and comments (from '#' to the end of the line).
    void SkipSpace()
    {
        while (pos_ < data_.size()) {
            if (data_[pos_] == '#')
                while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r')
                    ++pos_;
            else if (IsSpace(data_[pos_]))
                ++pos_;
            else
                break;
        }
    }
    /// An unsigned decimal after white space, at most `max`.
    Result Number(std::uint32_t max, std::uint32_t& value, const char* what)
    {
        SkipSpace();
        const std::size_t start = pos_;
        std::uint64_t n = 0;
        while (pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '9') {
            n = n * 10 + (data_[pos_++] - '0');
            if (n > max)
                return Malformed(std::string(what) + " is above " + std::to_string(max));
        }
        if (pos_ == start)
            return Missing(what);
        value = static_cast<std::uint32_t>(n);
        return Result::Ok();
    }
    /// One plain bitmap digit; they need no separators.
    Result Bit(std::uint8_t& bit)
    {
        SkipSpace();
        if (pos_ < data_.size() && (data_[pos_] == '0' || data_[pos_] == '1')) {
            bit = data_[pos_++] - '0';
            return Result::Ok();
        }
        return Missing("a pixel");
    }
    /// The single white-space character that ends a raw file's header.
    Result EndOfHeader()
    {
        if (pos_ < data_.size() && IsSpace(data_[pos_])) {
            ++pos_;
            return Result::Ok();
        }
        return Missing("the white space after the header");
    }

private:
    Result Missing(const char* what) const
    {
        if (pos_ >= data_.size())
            return Truncated(std::string("the file ends before ") + what);
        return Malformed(std::string("unexpected character where ") + what + " should be");
    }

    ByteView data_;
    std::size_t pos_;
};

} // namespace

bool PnmSniff(ByteView data)
{
    return data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' && IsSpace(data[2]);
}

Result PnmDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6')
        return Malformed("not a PNM file");
    const int kind = data[1] - '0';
    const bool plain = kind <= 3;
    const int family = (kind - 1) % 3; // 0 bitmap, 1 graymap, 2 pixmap
    const std::uint32_t channels = family == 2 ? 3 : 1;

    TextReader t(data, 2);
    std::uint32_t width = 0, height = 0, maxval = 1;
    if (Result r = t.Number(0xFFFFFFFF, width, "the width"); !r)
        return r;
    if (Result r = t.Number(0xFFFFFFFF, height, "the height"); !r)
        return r;
    if (family != 0) {
        if (Result r = t.Number(65535, maxval, "the maximum value"); !r)
            return r;
        if (maxval == 0)
            return Malformed("the maximum value is 0");
    }
    if (!plain)
        if (Result r = t.EndOfHeader(); !r)
            return r;
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;

    // Refuse before allocating when the data cannot hold the declared pixels.
    const std::uint64_t samples = std::uint64_t { width } * height * channels;
    const std::uint64_t bytesPerSample = maxval > 255 ? 2 : 1;
    const std::uint64_t rawRow = family == 0 ? (width + 7ull) / 8 : std::uint64_t { width } * channels * bytesPerSample;
    const std::uint64_t needed = plain ? (family == 0 ? samples : 2 * samples - 1) : rawRow * height;
    if (needed > t.remaining())
        return Truncated("the pixel data is cut short");

    if (Result r = CreateChecked(out, width, height, family == 0 ? 1 : family == 1 ? 8 : 24, limits); !r)
        return r;
    if (family == 0)
        out.Palette() = { RGBQuad { 0, 0, 0, 255 }, RGBQuad { 255, 255, 255, 255 } };
    else if (family == 1)
        out.SetGrayPalette();

    std::vector<std::uint8_t> scale(maxval + 1);
    for (std::uint32_t v = 0; v <= maxval; ++v)
        scale[v] = static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);

    const std::size_t rowSamples = static_cast<std::size_t>(width) * channels;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* dst = out.Row(y);
        if (plain) {
            for (std::size_t i = 0; i < rowSamples; ++i) {
                std::uint32_t v = 0;
                if (family == 0) {
                    std::uint8_t bit = 0;
                    if (Result r = t.Bit(bit); !r)
                        return r;
                    dst[i] = bit ? 0 : 1;
                    continue;
                }
                if (Result r = t.Number(maxval, v, "a sample"); !r)
                    return r;
                dst[i] = scale[v];
            }
            continue;
        }
        const std::uint8_t* src = data.data() + t.pos() + y * rawRow;
        if (family == 0) {
            for (std::uint32_t x = 0; x < width; ++x)
                dst[x] = ((src[x / 8] >> (7 - x % 8)) & 1) ? 0 : 1;
        } else if (bytesPerSample == 1) {
            for (std::size_t i = 0; i < rowSamples; ++i)
                dst[i] = scale[std::min<std::uint32_t>(src[i], maxval)];
        } else {
            for (std::size_t i = 0; i < rowSamples; ++i)
                dst[i] = scale[std::min<std::uint32_t>(src[2 * i] << 8 | src[2 * i + 1], maxval)];
        }
    }
    return Result::Ok();
}

Result PnmEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    if (!image.IsValid())
        return Malformed("the image is empty");
    const std::uint32_t width = image.GetWidth(), height = image.GetHeight(), bpp = image.GetBpp();

    // Every index's colour; an index past the palette shows black.
    std::array<RGBQuad, 256> colors {};
    colors.fill(RGBQuad { 0, 0, 0, 255 });
    if (image.IsIndexed())
        std::copy_n(image.Palette().begin(), std::min<std::size_t>(image.Palette().size(), 256), colors.begin());
    auto blackOrWhite = [](RGBQuad c) { return c.red == c.green && c.green == c.blue && (c.red == 0 || c.red == 255); };
    const bool bitmap = bpp == 1 && blackOrWhite(colors[0]) && blackOrWhite(colors[1]);
    const bool gray = !bitmap && image.IsGrayScale();

    const char* magic = bitmap ? "P4" : gray ? "P5" : "P6";
    const std::string header = std::string(magic) + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n"
        + (bitmap ? "" : "255\n");
    const std::size_t rowBytes = bitmap ? (width + 7) / 8 : gray ? width : std::size_t { width } * 3;
    out.assign(header.begin(), header.end());
    std::size_t pos = out.size();
    out.resize(pos + rowBytes * height, 0);

    for (std::uint32_t y = 0; y < height; ++y, pos += rowBytes) {
        const std::uint8_t* src = image.Row(y);
        std::uint8_t* dst = out.data() + pos;
        if (bitmap) {
            for (std::uint32_t x = 0; x < width; ++x)
                if (colors[src[x]].red == 0)
                    dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        } else if (gray) {
            for (std::uint32_t x = 0; x < width; ++x)
                dst[x] = colors[src[x]].red;
        } else if (image.IsIndexed()) {
            for (std::uint32_t x = 0; x < width; ++x, dst += 3) {
                const RGBQuad c = colors[src[x]];
                dst[0] = c.red, dst[1] = c.green, dst[2] = c.blue;
            }
        } else {
            const std::uint32_t step = image.GetBytesPerPixel();
            for (std::uint32_t x = 0; x < width; ++x, src += step, dst += 3)
                dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
        }
    }
    return Result::Ok();
}

} // namespace codec
