#include "codec/codec_helpers.h"
#include "codec/formats/bytes.h"
#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

constexpr std::uint32_t kPcx = codec::kTypePcx;

std::vector<std::uint8_t> PcxHeader(std::uint8_t version,
    std::uint8_t bits,
    std::uint8_t planes,
    std::uint16_t w,
    std::uint16_t h,
    std::uint16_t bytesPerLine,
    std::uint8_t encoding = 1)
{
    std::vector<std::uint8_t> b { 0x0A, version, encoding, bits };
    codec::PutU16LE(b, 0);
    codec::PutU16LE(b, 0);
    codec::PutU16LE(b, w - 1u);
    codec::PutU16LE(b, h - 1u);
    b.resize(65, 0);
    b.push_back(planes);
    codec::PutU16LE(b, bytesPerLine);
    b.resize(128, 0);
    return b;
}

/// An indexed image that uses only the first `n` palette entries.
CxImage UsingColors(CxImage image, std::uint32_t n)
{
    for (auto& p : image.Pixels())
        p = static_cast<std::uint8_t>(p % n);
    return image;
}

} // namespace

TEST(PcxFormat, EveryDepthRoundTripsPixelExact)
{
    struct Case {
        CxImage image;
        std::uint32_t readBpp;
    };
    std::vector<Case> cases;
    cases.push_back({ MakeTestImage(21, 7, 1), 1 });
    cases.push_back({ MakeTestImage(21, 7, 4), 8 });
    cases.push_back({ MakeTestImage(21, 7, 8), 8 });
    cases.push_back({ MakeGrayImage(21, 7), 8 });
    cases.push_back({ MakeTestImage(21, 7, 16), 24 });
    cases.push_back({ MakeTestImage(21, 7, 24), 24 });
    cases.push_back({ MakeTestImage(21, 7, 32), 24 });
    for (Case& c : cases) {
        SCOPED_TRACE("bpp " + std::to_string(c.image.GetBpp()));
        c.image.SetXDPI(300);
        c.image.SetYDPI(150);
        CxImage back = RoundTrip(c.image, kPcx);
        ASSERT_TRUE(back.IsValid()) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        std::string why;
        EXPECT_TRUE(SamePixels(c.image, back, &why)) << why;
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_EQ(back.GetYDPI(), 150);
    }
    // A 1-bit palette of two equal colours cannot be told from a blank header: it goes out as 8 bits.
    CxImage same = MakeTestImage(9, 3, 1);
    same.Palette()[1] = same.Palette()[0];
    CxImage back = RoundTrip(same, kPcx);
    ASSERT_TRUE(back.IsValid()) << back.GetLastError();
    EXPECT_TRUE(SamePixels(same, back));
}

TEST(PcxFormat, RunsCrossingScanlinesAndMissingPalettes)
{
    // 4 x 2, 8 bits: one run of 6 covers the first row and half the second, no trailing
    // palette, blank header palette: the pixels are gray levels.
    auto b = PcxHeader(5, 8, 1, 4, 2, 4);
    b.insert(b.end(), { 0xC6, 50, 0xC1, 0xC9, 7 });
    CxImage img = DecodeBytes(b, kPcx);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 8u);
    const std::uint8_t want[8] = { 50, 50, 50, 50, 50, 50, 0xC9, 7 };
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(img.GetPixelColor(i % 4, i / 4).green, want[i]) << i;

    // 1 bit with a blank header palette: black and white. Raw (unencoded) data.
    b = PcxHeader(5, 1, 1, 8, 1, 2, 0);
    b.insert(b.end(), { 0xA0, 0 });
    img = DecodeBytes(b, kPcx);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 255, 255, 255, 255 }));
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 0, 0, 0, 255 }));
    EXPECT_EQ(img.GetPixelColor(2, 0), (RGBQuad { 255, 255, 255, 255 }));

    // Version 3 (no palette information), four planes: the default sixteen colours.
    b = PcxHeader(3, 1, 4, 8, 1, 2);
    b.insert(b.end(), { 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0 }); // pixel 0 = 15, the rest 0
    img = DecodeBytes(b, kPcx);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 4u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 255, 255, 255, 255 }));
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 0, 0, 0, 255 }));
}

TEST(PcxFormat, RecognisedByContent)
{
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(MakeTestImage(5, 5, 8).Encode(bytes, kPcx));
    EXPECT_TRUE(codec::PcxSniff(bytes));
    EXPECT_EQ(DecodeBytes(bytes, 0).GetType(), kPcx);
    bytes[2] = 2; // unknown encoding
    EXPECT_FALSE(codec::PcxSniff(bytes));
    bytes[2] = 1;
    bytes[1] = 1; // unknown version
    EXPECT_FALSE(codec::PcxSniff(bytes));
}

TEST(PcxFormat, HostileFilesFailWithAClearText)
{
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(MakeTestImage(40, 30, 24).Encode(good, kPcx));
    std::vector<BadInput> bad;
    bad.push_back({ "short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 100), "shorter than" });
    bad.push_back({ "truncated rows", std::vector<std::uint8_t>(good.begin(), good.begin() + 1000), "rows" });
    auto notPcx = good;
    notPcx[0] = 0x0B;
    bad.push_back({ "first byte", notPcx, "not a PCX file" });
    auto layout = good;
    layout[65] = 2;
    bad.push_back({ "two planes of 8 bits", layout, "2 planes of 8 bits" });
    auto narrow = good;
    narrow[66] = 10, narrow[67] = 0;
    bad.push_back({ "bytes per line", narrow, "bytes per line (10)" });
    auto inverted = good;
    inverted[8] = 0, inverted[9] = 0, inverted[4] = 5;
    bad.push_back({ "inverted window", inverted, "inverted" });
    auto bomb = PcxHeader(5, 8, 3, 65535, 65535, 65535);
    bomb.insert(bomb.end(), 64, 0xFF);
    bad.push_back({ "bomb-65535x65535", bomb, "above the decoding limit" });
    auto rleBomb = PcxHeader(5, 8, 1, 8000, 8000, 8000);
    rleBomb.insert(rleBomb.end(), 64, 0xFF);
    bad.push_back({ "bomb-8000x8000", rleBomb, "more than the compressed data could hold" });
    auto raw = PcxHeader(5, 8, 1, 100, 100, 100, 0);
    raw.insert(raw.end(), 500, 0);
    bad.push_back({ "truncated raw", raw, "cut short" });
    auto lastRun = PcxHeader(5, 8, 1, 4, 1, 4);
    lastRun.push_back(0xC4); // a run whose value byte is missing
    bad.push_back({ "truncated run", lastRun, "ends after 0 of 1 rows" });

    ExpectRefused(bad, kPcx);
}

TEST(PcxFormat, ReadsWhatOtherToolsWrite)
{
    ASSERT_TRUE(HaveTool("ppmtopcx"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const std::string d = dir.path() + "/";
    struct Made {
        CxImage source;
        std::string options; ///< ppmtopcx options, or "convert ..." for ImageMagick
        std::uint8_t bits, planes;
    };
    const CxImage c16 = MakeTestImage(37, 21, 4);
    const std::vector<Made> made {
        { MakeTestImage(37, 21, 1), "", 1, 1 },
        { UsingColors(c16, 4), "", 1, 2 },
        { UsingColors(c16, 8), "", 1, 3 },
        { c16, "", 1, 4 },
        { UsingColors(c16, 4), "-packed", 2, 1 },
        { c16, "-packed", 4, 1 },
        { MakeTestImage(37, 21, 8), "", 8, 1 },
        { MakeTestImage(37, 21, 24), "", 8, 3 },
        { c16, "-24bit", 8, 3 },
        { MakeTestImage(37, 21, 8), "convert -type Palette", 8, 1 },
        { MakeTestImage(37, 21, 24), "convert", 8, 3 },
    };
    for (const Made& m : made) {
        SCOPED_TRACE(m.options + " bits " + std::to_string(m.bits) + " planes " + std::to_string(m.planes));
        WriteFileBytes(d + "in.ppm", ToPpm(m.source));
        if (m.options.rfind("convert", 0) == 0)
            ASSERT_TRUE(RunTool(m.options.substr(0, 7) + " " + d + "in.ppm" + m.options.substr(7) + " " + d + "o.pcx"));
        else
            ASSERT_TRUE(RunTool("ppmtopcx " + m.options + " " + d + "in.ppm > " + d + "o.pcx"));
        const auto bytes = ReadFileBytes(d + "o.pcx");
        ASSERT_GT(bytes.size(), 128u);
        EXPECT_EQ(bytes[3], m.bits);
        EXPECT_EQ(bytes[65], m.planes);
        CxImage img = DecodeBytes(bytes, 0);
        ASSERT_TRUE(img.IsValid()) << img.GetLastError();
        EXPECT_EQ(img.GetType(), kPcx);
        std::string why;
        EXPECT_TRUE(SamePixels(m.source, img, &why)) << why;
    }
}

TEST(PcxFormat, OtherToolsReadWhatWeWrite)
{
    ASSERT_TRUE(HaveTool("pcxtoppm"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const std::vector<CxImage> images { MakeTestImage(37, 21, 1),
        MakeTestImage(37, 21, 4),
        MakeTestImage(37, 21, 8),
        MakeGrayImage(37, 21),
        MakeTestImage(37, 21, 16),
        MakeTestImage(37, 21, 24),
        MakeTestImage(37, 21, 32) };
    for (const CxImage& image : images) {
        SCOPED_TRACE("bpp " + std::to_string(image.GetBpp()));
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(image.Encode(bytes, kPcx)) << image.GetLastError();
        WriteFileBytes(dir.File("ours.pcx"), bytes);
        EXPECT_TRUE(ToolShows("pcxtoppm " + dir.File("ours.pcx"), image));
        // ImageMagick 6 draws every 1-bit file in fixed black and white, ignoring the header
        // palette the format gives it (pcxtoppm and we use it); it checks the other depths.
        if (image.GetBpp() != 1) {
            EXPECT_TRUE(ToolShows("convert " + dir.File("ours.pcx") + " -depth 8 ppm:-", image));
        }
    }
}

// Inputs the fuzzer found, kept so the faults stay fixed.
TEST(PcxFormat, FuzzFindingsFailCleanly)
{
    struct Finding {
        const char* file;
        const char* says;
    };
    for (const Finding& f : std::initializer_list<Finding> {
             { "pcx/bad/crash-zero-planes.pcx", "0 planes of 1 bits per pixel are not supported" },
         }) {
        const auto bytes = ReadFileBytes(DataPath(f.file));
        ASSERT_FALSE(bytes.empty()) << f.file;
        CxImage img;
        EXPECT_FALSE(img.Decode(bytes, kPcx)) << f.file;
        EXPECT_NE(std::string(img.GetLastError()).find(f.says), std::string::npos)
            << f.file << ": " << img.GetLastError();
    }
}
