// PGX: one component of a JPEG 2000 test image. A one-line text header
// "PG <ML|LM> [+|-]<depth> <width> <height>\n" then raw samples: one byte each up to 8 bits,
// two bytes (big-endian for ML, little-endian for LM) up to 16 bits. Samples are scaled to
// 8-bit gray.

#include "codec/formats/bytes.h"
#include "codec/formats/depth_fit.h"
#include "codec/formats/format.h"

#include <algorithm>
#include <string>

namespace codec {

namespace {

// Longer headers are not headers: three numbers of ten digits plus separators fit easily.
constexpr std::size_t kMaxHeader = 256;

struct PgxHeader {
    bool bigEndian = true;
    bool isSigned = false;
    std::uint32_t depth = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t dataStart = 0;
};

bool IsBlank(std::uint8_t c)
{
    return c == ' ' || c == '\t';
}

class HeaderParser {
public:
    explicit HeaderParser(ByteView data)
        : data_(data.first(std::min(data.size(), kMaxHeader)))
    {
    }

    Result Parse(PgxHeader& h)
    {
        if (!Literal('P') || !Literal('G'))
            return Malformed("not a PGX file (no \"PG\" at the start)");
        if (!SkipBlanks())
            return Malformed("no space after \"PG\"");
        if (Literal('M')) {
            if (!Literal('L'))
                return Malformed("the byte order is neither ML nor LM");
            h.bigEndian = true;
        } else if (Literal('L') && Literal('M')) {
            h.bigEndian = false;
        } else {
            return Malformed("the byte order is neither ML nor LM");
        }
        // Blanks and an optional sign, in any mix, before the depth.
        while (pos_ < data_.size() && (IsBlank(data_[pos_]) || data_[pos_] == '+' || data_[pos_] == '-'))
            h.isSigned |= data_[pos_++] == '-';
        if (!Number(h.depth))
            return Malformed("the header has no valid bit depth");
        if (!SkipBlanks() || !Number(h.width))
            return Malformed("the header has no valid width");
        if (!SkipBlanks() || !Number(h.height))
            return Malformed("the header has no valid height");
        while (pos_ < data_.size() && (IsBlank(data_[pos_]) || data_[pos_] == '\r'))
            ++pos_;
        if (!Literal('\n'))
            return pos_ >= data_.size() ? Truncated("the header is cut short")
                                        : Malformed("the header does not end with a newline");
        h.dataStart = pos_;
        return Result::Ok();
    }

private:
    bool Literal(char c)
    {
        if (pos_ >= data_.size() || data_[pos_] != static_cast<std::uint8_t>(c))
            return false;
        ++pos_;
        return true;
    }
    bool SkipBlanks()
    {
        const std::size_t start = pos_;
        while (pos_ < data_.size() && IsBlank(data_[pos_]))
            ++pos_;
        return pos_ > start;
    }
    bool Number(std::uint32_t& value)
    {
        std::uint64_t v = 0;
        std::size_t digits = 0;
        while (pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '9') {
            v = v * 10 + (data_[pos_++] - '0');
            if (++digits > 10 || v > 0xFFFFFFFFu)
                return false;
        }
        value = static_cast<std::uint32_t>(v);
        return digits > 0;
    }

    ByteView data_;
    std::size_t pos_ = 0;
};

} // namespace

bool PgxSniff(ByteView data)
{
    if (data.size() < 6 || data[0] != 'P' || data[1] != 'G' || data[2] != ' ')
        return false;
    return ((data[3] == 'M' && data[4] == 'L') || (data[3] == 'L' && data[4] == 'M'))
        && (IsBlank(data[5]) || data[5] == '+' || data[5] == '-');
}

Result PgxDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    PgxHeader h;
    if (Result r = HeaderParser(data).Parse(h); !r)
        return r;
    if (h.depth == 0)
        return Malformed("a bit depth of 0");
    if (h.depth > 16)
        return Unsupported("a bit depth of " + std::to_string(h.depth) + " (at most 16 is supported)");
    if (Result r = CheckDimensions(h.width, h.height, limits); !r)
        return r;
    const std::size_t sampleBytes = h.depth <= 8 ? 1 : 2;
    const std::uint64_t needed = std::uint64_t { h.width } * h.height * sampleBytes;
    const std::size_t have = data.size() - h.dataStart;
    if (have < needed)
        return Truncated(
            "the sample data is cut short (" + std::to_string(have) + " of " + std::to_string(needed) + " bytes)");

    if (Result c = CreateChecked(out, h.width, h.height, 8, limits); !c)
        return c;
    // Signed samples are shifted up by half the range; out-of-range values are clamped.
    const std::int32_t maxValue = (1 << h.depth) - 1;
    const std::int32_t offset = h.isSigned ? 1 << (h.depth - 1) : 0;
    auto scale = [maxValue, offset](std::int32_t v) {
        v = std::clamp(v + offset, 0, maxValue);
        return static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) * 255u + maxValue / 2) / maxValue);
    };
    const std::uint8_t* s = data.data() + h.dataStart;
    for (std::uint32_t y = 0; y < h.height; ++y) {
        std::uint8_t* dst = out.Row(y);
        if (sampleBytes == 1) {
            for (std::uint32_t x = 0; x < h.width; ++x, ++s)
                dst[x] = scale(h.isSigned ? static_cast<std::int8_t>(*s) : *s);
        } else {
            for (std::uint32_t x = 0; x < h.width; ++x, s += 2) {
                const auto raw = static_cast<std::uint16_t>(h.bigEndian ? (s[0] << 8) | s[1] : (s[1] << 8) | s[0]);
                dst[x] = scale(h.isSigned ? static_cast<std::int16_t>(raw) : raw);
            }
        }
    }
    return Result::Ok();
}

Result PgxEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    // Always one 8-bit unsigned gray component: colour is reduced to luma.
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    const std::string header = "PG ML + 8 " + std::to_string(w) + " " + std::to_string(h) + "\n";
    out.clear();
    out.reserve(header.size() + std::size_t { w } * h);
    out.assign(header.begin(), header.end());
    const std::vector<std::uint8_t> table
        = image.IsIndexed() ? fit::IndexGrayTable(image) : std::vector<std::uint8_t> {};
    out.resize(header.size() + std::size_t { w } * h);
    std::uint8_t* dst = out.data() + header.size();
    for (std::uint32_t y = 0; y < h; ++y, dst += w)
        fit::RowGray(image, y, table, dst);
    return Result::Ok();
}

} // namespace codec
