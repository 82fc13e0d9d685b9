#include "support/netpbm.h"

#include "support/test_support.h"

#include <algorithm>
#include <cctype>

namespace testing_support {

namespace {

std::string Preview(codec::ByteView b)
{
    std::string text(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(b.size(), 40)));
    std::replace_if(
        text.begin(), text.end(), [](unsigned char c) { return !std::isprint(c) && c != '\n'; }, '?');
    return text;
}

/// Header tokens and plain samples: white space and comments between them are skipped.
class Tokens {
public:
    explicit Tokens(codec::ByteView b)
        : b_(b)
    {
    }
    std::size_t& pos() { return pos_; }
    void Skip()
    {
        while (pos_ < b_.size()) {
            if (b_[pos_] == '#')
                SkipLine();
            else if (std::isspace(b_[pos_]))
                ++pos_;
            else
                break;
        }
    }
    void SkipLine()
    {
        while (pos_ < b_.size() && b_[pos_] != '\n')
            ++pos_;
    }
    std::string Word()
    {
        Skip();
        std::string t;
        while (pos_ < b_.size() && !std::isspace(b_[pos_]))
            t += static_cast<char>(b_[pos_++]);
        return t;
    }
    bool Number(std::uint32_t& v)
    {
        const std::string t = Word();
        if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos)
            return false;
        v = static_cast<std::uint32_t>(std::stoul(t));
        return true;
    }
    /// One digit of a plain bitmap: they need no white space between them.
    int BitmapDigit()
    {
        Skip();
        if (pos_ >= b_.size() || (b_[pos_] != '0' && b_[pos_] != '1'))
            return -1;
        return b_[pos_++] - '0';
    }

private:
    codec::ByteView b_;
    std::size_t pos_ = 0;
};

NetpbmSamples SamplesOf(const codec::CxImage& image, std::uint32_t channels)
{
    NetpbmSamples s;
    s.width = image.GetWidth(), s.height = image.GetHeight(), s.channels = channels, s.maxval = 255;
    s.v.reserve(std::size_t { s.width } * s.height * channels);
    for (std::uint32_t y = 0; y < s.height; ++y)
        for (std::uint32_t x = 0; x < s.width; ++x) {
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            if (channels == 1) {
                s.v.push_back(c.red);
                continue;
            }
            s.v.insert(s.v.end(), { c.red, c.green, c.blue });
            if (channels == 4)
                s.v.push_back(c.alpha);
        }
    return s;
}

} // namespace

bool ParseNetpbm(codec::ByteView b, NetpbmSamples& s, std::string* why)
{
    auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (b.size() < 2 || b[0] != 'P' || b[1] < '1' || b[1] > '7')
        return fail("not netpbm: '" + Preview(b) + "'");
    const char kind = static_cast<char>(b[1]);
    const bool bitmap = kind == '1' || kind == '4', plain = kind <= '3';
    s = NetpbmSamples {};
    Tokens in(b);
    in.pos() = 2;
    bool ok = true;
    if (kind == '7') {
        for (std::string t = in.Word(); t != "ENDHDR"; t = in.Word()) {
            if (t.empty())
                return fail("no ENDHDR in '" + Preview(b) + "'");
            if (t == "WIDTH")
                ok = ok && in.Number(s.width);
            else if (t == "HEIGHT")
                ok = ok && in.Number(s.height);
            else if (t == "DEPTH")
                ok = ok && in.Number(s.channels);
            else if (t == "MAXVAL")
                ok = ok && in.Number(s.maxval);
            else
                in.SkipLine(); // TUPLTYPE and anything else: the depth says what is stored
        }
    } else {
        ok = in.Number(s.width) && in.Number(s.height);
        s.channels = kind == '3' || kind == '6' ? 3 : 1;
        s.maxval = 1;
        if (!bitmap)
            ok = ok && in.Number(s.maxval);
    }
    if (!ok || s.width == 0 || s.height == 0 || s.channels < 1 || s.channels > 4 || s.maxval < 1 || s.maxval > 65535)
        return fail("unexpected netpbm header in '" + Preview(b) + "'");
    const std::uint64_t count = std::uint64_t { s.width } * s.height * s.channels;
    if (count > (std::uint64_t { 1 } << 30))
        return fail("netpbm image too large for a test");
    s.v.resize(static_cast<std::size_t>(count));

    if (plain) {
        for (std::int32_t& v : s.v) {
            std::uint32_t n = 0;
            if (bitmap) {
                const int digit = in.BitmapDigit();
                if (digit < 0)
                    return fail("plain bitmap data cut short or not 0 and 1");
                v = 1 - digit;
            } else if (in.Number(n)) {
                v = static_cast<std::int32_t>(n);
            } else {
                return fail("plain netpbm data cut short or not numbers");
            }
        }
    } else {
        const std::size_t start = in.pos() + 1; // the single white-space character ending the header
        if (kind == '4') {
            const std::size_t rowBytes = (s.width + 7) / 8;
            if (b.size() < start + rowBytes * s.height)
                return fail("netpbm data cut short");
            for (std::uint32_t y = 0; y < s.height; ++y)
                for (std::uint32_t x = 0; x < s.width; ++x)
                    s.v[std::size_t { y } * s.width + x] = 1 - ((b[start + y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
        } else {
            const std::size_t bytes = s.maxval > 255 ? 2 : 1;
            if (b.size() < start + s.v.size() * bytes)
                return fail("netpbm data cut short");
            const std::uint8_t* p = b.data() + start;
            for (std::int32_t& v : s.v) {
                v = bytes == 2 ? p[0] << 8 | p[1] : p[0];
                p += bytes;
            }
        }
    }
    if (std::any_of(s.v.begin(), s.v.end(), [&](std::int32_t v) { return v > static_cast<std::int32_t>(s.maxval); }))
        return fail("a netpbm sample is above maxval");
    return true;
}

bool ParseNetpbm(codec::ByteView bytes, codec::CxImage& out, std::string* why)
{
    NetpbmSamples s;
    if (!ParseNetpbm(bytes, s, why))
        return false;
    const bool alpha = s.channels == 2 || s.channels == 4, gray = s.channels < 3;
    if (!out.Create(s.width, s.height, alpha ? 32 : 24)) {
        if (why)
            *why = out.GetLastError();
        return false;
    }
    auto scale = [&](std::int32_t v) {
        return static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) * 255 + s.maxval / 2) / s.maxval);
    };
    const std::int32_t* p = s.v.data();
    std::uint8_t* o = out.Pixels().data();
    for (std::size_t i = 0; i < std::size_t { s.width } * s.height; ++i, p += s.channels) {
        *o++ = scale(p[0]);
        *o++ = scale(gray ? p[0] : p[1]);
        *o++ = scale(gray ? p[0] : p[2]);
        if (alpha)
            *o++ = scale(p[s.channels - 1]);
    }
    return true;
}

bool ReadNetpbm(const std::string& path, codec::CxImage& out, std::string* why)
{
    if (ParseNetpbm(ReadFileBytes(path), out, why))
        return true;
    if (why)
        *why = path + ": " + *why;
    return false;
}

std::vector<std::uint8_t> ToNetpbm(const NetpbmSamples& s)
{
    const std::string size = std::to_string(s.width) + " " + std::to_string(s.height);
    std::string header;
    if (s.channels == 1 || s.channels == 3)
        header = (s.channels == 1 ? "P5\n" : "P6\n") + size + "\n" + std::to_string(s.maxval) + "\n";
    else
        header = "P7\nWIDTH " + std::to_string(s.width) + "\nHEIGHT " + std::to_string(s.height) + "\nDEPTH "
            + std::to_string(s.channels) + "\nMAXVAL " + std::to_string(s.maxval) + "\nTUPLTYPE "
            + (s.channels == 2 ? "GRAYSCALE_ALPHA" : "RGB_ALPHA") + "\nENDHDR\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + s.v.size() * (s.maxval > 255 ? 2 : 1));
    for (std::int32_t v : s.v) {
        if (s.maxval > 255)
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

std::vector<std::uint8_t> ToNetpbm(const codec::CxImage& image)
{
    return ToNetpbm(SamplesOf(image, image.GetBpp() == 32 ? 4 : 3));
}

std::vector<std::uint8_t> ToPpm(const codec::CxImage& image)
{
    return ToNetpbm(SamplesOf(image, 3));
}

std::vector<std::uint8_t> ToPgm(const codec::CxImage& image)
{
    return ToNetpbm(SamplesOf(image, 1));
}

bool ToolPixels(const std::string& command, codec::CxImage& out, std::string* why)
{
    // The subshell keeps the command's own redirections; its other messages go to a file, to
    // explain a failure without mixing into the picture.
    TempDir dir;
    const std::string messages = dir.File("messages");
    std::string output;
    const int status = RunCommand("( " + command + " ) 2>'" + messages + "'", &output);
    if (status != 0) {
        if (why) {
            const std::vector<std::uint8_t> text = ReadFileBytes(messages);
            *why = "'" + command + "' exited with " + std::to_string(status) + ": "
                + std::string(text.begin(), text.end());
        }
        return false;
    }
    const codec::ByteView bytes(reinterpret_cast<const std::uint8_t*>(output.data()), output.size());
    if (ParseNetpbm(bytes, out, why))
        return true;
    if (why)
        *why = "'" + command + "': " + *why;
    return false;
}

bool ImageMagickPixels(const std::string& file, int index, codec::CxImage& out, std::string* why)
{
    // In sRGB: PAM would otherwise keep CMYK samples as they are.
    return ToolPixels(
        "convert '" + file + "[" + std::to_string(index) + "]' -colorspace sRGB -depth 8 pam:-", out, why);
}

::testing::AssertionResult ToolShows(const std::string& command, const codec::CxImage& want)
{
    codec::CxImage theirs;
    std::string why;
    if (!ToolPixels(command, theirs, &why))
        return ::testing::AssertionFailure() << why;
    if (!SamePixels(want, theirs, &why))
        return ::testing::AssertionFailure() << "'" << command << "': " << why;
    return ::testing::AssertionSuccess();
}

bool RunTool(const std::string& command)
{
    std::string output;
    // The subshell keeps the command's own redirections; only its messages reach `output`.
    const int status = RunCommand("( " + command + " ) 2>&1", &output);
    if (status != 0)
        ADD_FAILURE() << "`" << command << "` exited with " << status << ": " << output;
    return status == 0;
}

} // namespace testing_support
