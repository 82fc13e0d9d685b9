// JPEG 2000 (JP2 and raw codestream): round trips at every depth, OpenJPEG's own tools as the
// oracle in both directions, and hostile files.

#include "codec/formats/format.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace codec;
using namespace testing_support;

namespace {

struct Kind {
    const char* name;
    std::uint32_t type;
    const char* ext;
    Result (*encode)(const CxImage&, std::vector<std::uint8_t>&);
    Result (*decode)(ByteView, const DecodeLimits&, CxImage&);
};

const Kind kJp2 { "JP2", kTypeJp2, "jp2", Jp2Encode, Jp2Decode };
const Kind kJpc { "JPC", kTypeJpc, "j2k", JpcEncode, JpcDecode };

/// The samples of a PGX file as written by the tools: one channel, signed when `sgnd` says so.
bool ReadPgx(const std::vector<std::uint8_t>& f, NetpbmSamples& s, int* precision, bool* sgnd)
{
    const auto nl = std::find(f.begin(), f.end(), '\n');
    if (nl == f.end())
        return false;
    char sign = 0;
    int prec = 0;
    unsigned w = 0, h = 0;
    const std::string header(f.begin(), nl);
    if (std::sscanf(header.c_str(), "PG ML %c %d %u %u", &sign, &prec, &w, &h) != 4)
        return false;
    s.width = w, s.height = h, s.channels = 1, *sgnd = sign == '-';
    *precision = prec;
    std::size_t pos = static_cast<std::size_t>(nl - f.begin()) + 1;
    const std::size_t bytes = prec > 8 ? 2 : 1;
    if (f.size() < pos + std::size_t { w } * h * bytes)
        return false;
    s.v.resize(std::size_t { w } * h);
    for (std::size_t i = 0; i < s.v.size(); ++i) {
        std::int32_t v = bytes == 2 ? (f[pos + 2 * i] << 8) | f[pos + 2 * i + 1] : f[pos + i];
        if (*sgnd && v >= (1 << (bytes * 8 - 1)))
            v -= 1 << (bytes * 8);
        s.v[i] = v;
    }
    return true;
}

/// Compares a decoded image with 8-bit tool output: gray (1), RGB (3) or RGBA (4) channels.
::testing::AssertionResult SameAsTool(const CxImage& img, const NetpbmSamples& s, int tolerance = 0)
{
    if (img.GetWidth() != s.width || img.GetHeight() != s.height)
        return ::testing::AssertionFailure()
            << "size " << img.GetWidth() << "x" << img.GetHeight() << " vs " << s.width << "x" << s.height;
    if (s.maxval != 255)
        return ::testing::AssertionFailure() << "tool wrote maxval " << s.maxval;
    for (std::uint32_t y = 0; y < s.height; ++y) {
        for (std::uint32_t x = 0; x < s.width; ++x) {
            const RGBQuad c = img.GetPixelColor(x, y);
            const std::int32_t* t = &s.v[(std::size_t { y } * s.width + x) * s.channels];
            const int got[4] = { c.red, c.green, c.blue, c.alpha };
            for (std::uint32_t k = 0; k < std::max(3u, s.channels); ++k) {
                const std::int64_t want = s.channels == 1 ? t[0] : t[k];
                if (std::abs(got[k] - want) > tolerance)
                    return ::testing::AssertionFailure()
                        << "pixel (" << x << "," << y << ") channel " << k << ": " << got[k] << " vs " << want;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

double AlphaPsnr(const CxImage& a, const CxImage& b)
{
    double sum = 0;
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            const double d = a.GetPixelColor(x, y).alpha - b.GetPixelColor(x, y).alpha;
            sum += d * d;
        }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / (sum / (double(a.GetWidth()) * a.GetHeight())));
}

CxImage GrayRamp(std::uint32_t w, std::uint32_t h)
{
    CxImage img(w, h, 8);
    img.SetGrayPalette();
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = static_cast<std::uint8_t>((x * 5 + y * 3) & 255);
    return img;
}

std::vector<std::uint8_t> Encode(const Kind& k, const CxImage& img)
{
    std::vector<std::uint8_t> out;
    Result r = k.encode(img, out);
    EXPECT_TRUE(r) << k.name << ": " << r.message;
    return out;
}

CxImage Decode(const Kind& k, const std::vector<std::uint8_t>& bytes)
{
    CxImage img;
    Result r = k.decode(bytes, DecodeLimits {}, img);
    EXPECT_TRUE(r) << k.name << ": " << r.message;
    return img;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

void PrintTo(const Kind& k, std::ostream* os)
{
    *os << k.name;
}

class Jp2Kinds : public ::testing::TestWithParam<Kind> { };

} // namespace

TEST(Jp2Sniff, SignaturesTellTheTwoApart)
{
    const std::vector<std::uint8_t> jp2 = Encode(kJp2, GrayRamp(40, 40));
    const std::vector<std::uint8_t> jpc = Encode(kJpc, GrayRamp(40, 40));
    EXPECT_TRUE(Jp2Sniff(jp2));
    EXPECT_FALSE(JpcSniff(jp2));
    EXPECT_TRUE(JpcSniff(jpc));
    EXPECT_FALSE(Jp2Sniff(jpc));
    EXPECT_FALSE(Jp2Sniff(ByteView(jp2.data(), 11)));
    EXPECT_FALSE(JpcSniff(ByteView(jpc.data(), 3)));
    // Content recognition picks the right type whatever the caller asked for.
    CxImage img;
    ASSERT_TRUE(img.Decode(jpc, kTypeJp2)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), kTypeJpc);
    ASSERT_TRUE(img.Decode(jp2, 0)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), kTypeJp2);
}

TEST_P(Jp2Kinds, GrayPaletteIsOneLosslessComponent)
{
    const Kind& k = GetParam();
    const CxImage src = GrayRamp(67, 45);
    const CxImage back = Decode(k, Encode(k, src));
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(back.IsGrayScale());
    std::string why;
    EXPECT_TRUE(SamePixels(src, back, &why)) << why;
}

TEST_P(Jp2Kinds, IndexedColourIsExpandedLosslessly)
{
    const Kind& k = GetParam();
    for (std::uint32_t bpp : { 1u, 4u, 8u }) {
        const CxImage src = MakeTestImage(53, 37, bpp);
        const CxImage back = Decode(k, Encode(k, src));
        EXPECT_EQ(back.GetBpp(), 24u) << bpp;
        std::string why;
        EXPECT_TRUE(SamePixels(src, back, &why)) << bpp << " bpp: " << why;
    }
}

TEST_P(Jp2Kinds, TransparentPaletteIndexBecomesAlpha)
{
    const Kind& k = GetParam();
    CxImage src = MakeTestImage(40, 33, 4);
    src.SetTransIndex(3);
    const CxImage back = Decode(k, Encode(k, src));
    ASSERT_EQ(back.GetBpp(), 32u);
    std::string why;
    EXPECT_TRUE(SamePixels(src, back, &why)) << why; // compares alpha too: 0 where index 3 was
}

TEST_P(Jp2Kinds, TrueColourKeepsFortyDecibels)
{
    const Kind& k = GetParam();
    const CxImage rgb = MakeTestImage(160, 120, 24);
    const CxImage rgbBack = Decode(k, Encode(k, rgb));
    EXPECT_EQ(rgbBack.GetBpp(), 24u);
    EXPECT_GE(Psnr(rgb, rgbBack), 40.0);

    const CxImage rgba = MakeTestImage(160, 120, 32);
    const CxImage rgbaBack = Decode(k, Encode(k, rgba));
    ASSERT_EQ(rgbaBack.GetBpp(), 32u); // the raw codestream's fourth component is read as alpha too
    EXPECT_GE(Psnr(rgba, rgbaBack), 40.0);
    EXPECT_GE(AlphaPsnr(rgba, rgbaBack), 40.0);

    // 16-bit images hold 5-bit channels; they come back as 24 bits with the same colours.
    CxImage c16(90, 70, 16);
    for (std::uint32_t y = 0; y < 70; ++y)
        for (std::uint32_t x = 0; x < 90; ++x)
            c16.SetPixelColor(x, y, RGBQuad { std::uint8_t(x * 2), std::uint8_t(y * 3), std::uint8_t(x + y), 255 });
    const CxImage back16 = Decode(k, Encode(k, c16));
    EXPECT_EQ(back16.GetBpp(), 24u);
    EXPECT_GE(Psnr(c16, back16), 40.0);
}

TEST_P(Jp2Kinds, TinyAndOddSizes)
{
    const Kind& k = GetParam();
    for (auto [w, h] : { std::pair { 1u, 1u }, { 1u, 9u }, { 7u, 2u }, { 33u, 31u }, { 64u, 64u }, { 200u, 3u } }) {
        const CxImage src = MakeTestImage(w, h, 8);
        const CxImage back = Decode(k, Encode(k, src));
        std::string why;
        EXPECT_TRUE(SamePixels(src, back, &why)) << w << "x" << h << ": " << why;
        const CxImage rgb = MakeTestImage(w, h, 24);
        const CxImage rgbBack = Decode(k, Encode(k, rgb));
        EXPECT_EQ(rgbBack.GetWidth(), w);
        EXPECT_EQ(rgbBack.GetHeight(), h);
        EXPECT_GE(Psnr(rgb, rgbBack), 40.0) << w << "x" << h;
    }
}

TEST_P(Jp2Kinds, EncodingIsDeterministicWithThreads)
{
    const Kind& k = GetParam();
    const CxImage src = MakeTestImage(300, 200, 32);
    EXPECT_EQ(Encode(k, src), Encode(k, src));
}

TEST_P(Jp2Kinds, ToolFilesDecodeToTheToolsPixels)
{
    const Kind& k = GetParam();
    ASSERT_TRUE(HaveTool("opj_compress") && HaveTool("opj_decompress"));
    TempDir dir;
    const std::uint32_t w = 71, h = 50;
    NetpbmSamples gray { w, h, 1, 255, {} }, rgb { w, h, 3, 255, {} };
    for (std::uint32_t i = 0; i < w * h; ++i) {
        gray.v.push_back(static_cast<std::int32_t>(((i * 7) ^ (i / w)) & 255));
        rgb.v.insert(rgb.v.end(),
            { static_cast<std::int32_t>((i % w * 3) & 255),
                static_cast<std::int32_t>((i / w * 5) & 255),
                static_cast<std::int32_t>((i * 13) & 255) });
    }
    WriteFileBytes(dir.File("g.pgm"), ToNetpbm(gray));
    WriteFileBytes(dir.File("c.ppm"), ToNetpbm(rgb));
    struct Case {
        const char* input;
        const char* options;
        const char* output;
    };
    for (const Case& c : { Case { "g.pgm", "", "pgm" },
             Case { "g.pgm", "-r 20", "pgm" },
             Case { "c.ppm", "", "ppm" },
             Case { "c.ppm", "-r 15 -I", "ppm" },
             Case { "c.ppm", "-n 2 -b 16,16 -t 32,32", "ppm" } }) {
        SCOPED_TRACE(std::string(c.input) + " " + c.options);
        const std::string coded = dir.File(std::string("t.") + k.ext), ref = dir.File(std::string("ref.") + c.output);
        ASSERT_EQ(RunCommand("opj_compress -i " + Quote(dir.File(c.input)) + " -o " + Quote(coded) + " " + c.options
                      + " >/dev/null 2>&1"),
            0);
        ASSERT_EQ(RunCommand("opj_decompress -i " + Quote(coded) + " -o " + Quote(ref) + " >/dev/null 2>&1"), 0);
        const CxImage ours = Decode(k, ReadFileBytes(coded));
        NetpbmSamples s;
        ASSERT_TRUE(ParseNetpbm(ReadFileBytes(ref), s));
        EXPECT_EQ(ours.GetBpp(), s.channels == 1 ? 8u : 24u);
        EXPECT_TRUE(SameAsTool(ours, s));
    }
}

TEST_P(Jp2Kinds, OurFilesDecodeWithTheToolToOurPixels)
{
    const Kind& k = GetParam();
    ASSERT_TRUE(HaveTool("opj_decompress"));
    TempDir dir;
    struct Case {
        CxImage image;
        const char* output;
    };
    for (const Case& c : { Case { GrayRamp(70, 41), "pgm" },
             Case { MakeTestImage(70, 41, 24), "ppm" },
             Case { MakeTestImage(70, 41, 32), "pnm" } }) {
        SCOPED_TRACE(c.output);
        const std::vector<std::uint8_t> bytes = Encode(k, c.image);
        const std::string coded = dir.File(std::string("o.") + k.ext), ref = dir.File(std::string("ref.") + c.output);
        WriteFileBytes(coded, bytes);
        ASSERT_EQ(RunCommand("opj_decompress -i " + Quote(coded) + " -o " + Quote(ref) + " >/dev/null 2>&1"), 0);
        NetpbmSamples s;
        ASSERT_TRUE(ParseNetpbm(ReadFileBytes(ref), s));
        EXPECT_TRUE(SameAsTool(Decode(k, bytes), s));
    }
}

TEST_P(Jp2Kinds, HighPrecisionAndSignedSamplesScaleToEightBits)
{
    const Kind& k = GetParam();
    ASSERT_TRUE(HaveTool("opj_compress") && HaveTool("opj_decompress"));
    TempDir dir;
    const std::uint32_t w = 64, h = 48;
    // 16-bit unsigned gray.
    NetpbmSamples g16 { w, h, 1, 65535, {} };
    for (std::uint32_t i = 0; i < w * h; ++i)
        g16.v.push_back(static_cast<std::int32_t>((i * 977) & 0xFFFF));
    WriteFileBytes(dir.File("g16.pgm"), ToNetpbm(g16));
    const std::string coded = dir.File(std::string("g16.") + k.ext);
    ASSERT_EQ(
        RunCommand("opj_compress -i " + Quote(dir.File("g16.pgm")) + " -o " + Quote(coded) + " >/dev/null 2>&1"), 0);
    ASSERT_EQ(
        RunCommand("opj_decompress -i " + Quote(coded) + " -o " + Quote(dir.File("r16.pgm")) + " >/dev/null 2>&1"), 0);
    NetpbmSamples s;
    ASSERT_TRUE(ParseNetpbm(ReadFileBytes(dir.File("r16.pgm")), s));
    ASSERT_EQ(s.maxval, 65535u);
    CxImage ours = Decode(k, ReadFileBytes(coded));
    ASSERT_EQ(ours.GetWidth(), w);
    for (std::uint32_t i = 0; i < w * h; ++i) {
        const int want = static_cast<int>((s.v[i] * 255 + 32767) / 65535);
        ASSERT_EQ(ours.GetPixelColor(i % w, i / w).red, want) << "sample " << i;
    }

    // Signed samples (PGX): the decoder offsets them by half the range before scaling.
    std::string header = "PG ML - 12 " + std::to_string(w) + " " + std::to_string(h) + "\n";
    std::vector<std::uint8_t> pgx(header.begin(), header.end());
    for (std::uint32_t i = 0; i < w * h; ++i) {
        const int v = static_cast<int>((i * 37) % 2048) - 1024;
        pgx.push_back(static_cast<std::uint8_t>((v >> 8) & 255)), pgx.push_back(static_cast<std::uint8_t>(v & 255));
    }
    WriteFileBytes(dir.File("s.pgx"), pgx);
    const std::string signedCoded = dir.File(std::string("s.") + k.ext);
    ASSERT_EQ(
        RunCommand("opj_compress -i " + Quote(dir.File("s.pgx")) + " -o " + Quote(signedCoded) + " >/dev/null 2>&1"),
        0);
    ASSERT_EQ(
        RunCommand("opj_decompress -i " + Quote(signedCoded) + " -o " + Quote(dir.File("r.pgx")) + " >/dev/null 2>&1"),
        0);
    NetpbmSamples p;
    int prec = 0;
    bool sgnd = false;
    ASSERT_TRUE(ReadPgx(ReadFileBytes(dir.File("r_0.pgx")), p, &prec, &sgnd));
    ASSERT_TRUE(sgnd);
    ours = Decode(k, ReadFileBytes(signedCoded));
    const std::int64_t maxv = (std::int64_t { 1 } << prec) - 1, half = std::int64_t { 1 } << (prec - 1);
    for (std::uint32_t i = 0; i < w * h; ++i) {
        const int want = static_cast<int>(((p.v[i] + half) * 255 + maxv / 2) / maxv);
        ASSERT_EQ(ours.GetPixelColor(i % w, i / w).red, want) << "sample " << i;
    }
}

TEST_P(Jp2Kinds, SubsampledChromaIsUpsampled)
{
    const Kind& k = GetParam();
    ASSERT_TRUE(HaveTool("opj_compress") && HaveTool("opj_decompress"));
    TempDir dir;
    const std::uint32_t w = 64, h = 48;
    std::vector<std::uint8_t> raw;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            raw.push_back(static_cast<std::uint8_t>(40 + x * 2 + y));
    for (std::uint32_t y = 0; y < h / 2; ++y)
        for (std::uint32_t x = 0; x < w / 2; ++x)
            raw.push_back(static_cast<std::uint8_t>(90 + x * 3));
    for (std::uint32_t y = 0; y < h / 2; ++y)
        for (std::uint32_t x = 0; x < w / 2; ++x)
            raw.push_back(static_cast<std::uint8_t>(170 - y * 2));
    WriteFileBytes(dir.File("yuv.raw"), raw);
    const std::string coded = dir.File(std::string("yuv.") + k.ext);
    ASSERT_EQ(RunCommand("opj_compress -i " + Quote(dir.File("yuv.raw")) + " -o " + Quote(coded)
                  + " -F 64,48,3,8,u@1x1:2x2:2x2 >/dev/null 2>&1"),
        0);
    ASSERT_EQ(
        RunCommand("opj_decompress -i " + Quote(coded) + " -o " + Quote(dir.File("ref.ppm")) + " >/dev/null 2>&1"), 0);
    NetpbmSamples s;
    ASSERT_TRUE(ParseNetpbm(ReadFileBytes(dir.File("ref.ppm")), s));
    const CxImage ours = Decode(k, ReadFileBytes(coded));
    EXPECT_EQ(ours.GetBpp(), 24u);
    // The tool converts with its own rounding; one or two levels apart is the same colour.
    EXPECT_TRUE(SameAsTool(ours, s, 2));
}

TEST_P(Jp2Kinds, HostileFilesFailCleanly)
{
    const Kind& k = GetParam();
    const std::vector<std::uint8_t> good = Encode(k, MakeTestImage(120, 90, 24));
    CxImage img;

    // Truncated at several points: never a success, always a message.
    for (std::size_t cut : { std::size_t { 14 }, good.size() / 3, good.size() / 2, good.size() - 3 }) {
        const std::vector<std::uint8_t> part(good.begin(), good.begin() + cut);
        const Result r = k.decode(part, DecodeLimits {}, img);
        EXPECT_FALSE(r) << "cut at " << cut;
        EXPECT_FALSE(r.message.empty());
    }

    // Garbage after the signature.
    std::vector<std::uint8_t> junk(good.begin(), good.begin() + 12);
    junk.resize(400, 0xA5);
    if (k.type == kTypeJpc)
        junk[0] = 0xFF, junk[1] = 0x4F, junk[2] = 0xFF, junk[3] = 0x51;
    EXPECT_FALSE(k.decode(junk, DecodeLimits {}, img));

    // Not this format at all.
    const std::vector<std::uint8_t> other = Encode(k.type == kTypeJp2 ? kJpc : kJp2, MakeTestImage(40, 40, 24));
    const Result wrong = k.decode(other, DecodeLimits {}, img);
    EXPECT_EQ(wrong.status, Status::Malformed);

    // Through the image class, the message names the format.
    CxImage viaClass;
    EXPECT_FALSE(viaClass.Decode(std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2), k.type));
    EXPECT_EQ(std::string(viaClass.GetLastError()).rfind(std::string(k.name) + ": ", 0), 0u) << viaClass.GetLastError();
    EXPECT_FALSE(viaClass.IsValid());
}

TEST(Jp2Hostile, DeclaredSizeIsCheckedBeforeDecoding)
{
    // bomb-100000x100000: the codestream's size (and its single tile) patched in the SIZ marker.
    std::vector<std::uint8_t> cs = Encode(kJpc, GrayRamp(64, 64));
    ASSERT_EQ(cs[2], 0xFF);
    ASSERT_EQ(cs[3], 0x51);
    auto put32 = [&cs](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            cs[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    put32(8, 100000), put32(12, 100000); // Xsiz, Ysiz
    put32(24, 100000), put32(28, 100000); // XTsiz, YTsiz
    CxImage img;
    const Result r = JpcDecode(cs, DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;
    EXPECT_NE(r.message.find("100000"), std::string::npos) << r.message;

    DecodeLimits small;
    small.maxPixels = 1000;
    EXPECT_EQ(Jp2Decode(Encode(kJp2, GrayRamp(64, 64)), small, img).status, Status::LimitExceeded);
}

TEST(Jp2Format, AlphaIsMarkedOnlyInTheFileFormat)
{
    const CxImage rgba = MakeTestImage(40, 40, 32);
    const std::vector<std::uint8_t> jp2 = Encode(kJp2, rgba);
    const std::vector<std::uint8_t> jpc = Encode(kJpc, rgba);
    const auto has = [](const std::vector<std::uint8_t>& v, const char* box) {
        return std::search(v.begin(), v.end(), box, box + 4) != v.end();
    };
    EXPECT_TRUE(has(jp2, "cdef"));
    EXPECT_TRUE(has(jp2, "jp2c"));
    EXPECT_FALSE(has(jpc, "cdef"));
}

INSTANTIATE_TEST_SUITE_P(
    Both, Jp2Kinds, ::testing::Values(kJp2, kJpc), [](const auto& info) { return std::string(info.param.name); });
