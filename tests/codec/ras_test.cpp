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

constexpr std::uint32_t kRas = codec::kTypeRas;

std::vector<std::uint8_t> RasHeader(std::uint32_t w,
    std::uint32_t h,
    std::uint32_t depth,
    std::uint32_t type,
    std::uint32_t mapType = 0,
    std::uint32_t mapLength = 0)
{
    std::vector<std::uint8_t> b;
    for (std::uint32_t v : { 0x59A66A95u, w, h, depth, 0u, type, mapType, mapLength })
        codec::PutU32BE(b, v);
    return b;
}

CxImage BlackAndWhite(std::uint32_t w, std::uint32_t h, bool whiteFirst)
{
    CxImage img = MakeTestImage(w, h, 1);
    img.Palette()[whiteFirst ? 0 : 1] = { 255, 255, 255, 255 };
    img.Palette()[whiteFirst ? 1 : 0] = { 0, 0, 0, 255 };
    return img;
}

} // namespace

TEST(RasFormat, EveryDepthRoundTripsPixelExact)
{
    struct Case {
        CxImage image;
        std::uint32_t fileDepth; ///< the depth field written
        std::uint32_t readBpp;
    };
    std::vector<Case> cases;
    cases.push_back({ BlackAndWhite(21, 7, true), 1, 1 });
    cases.push_back({ BlackAndWhite(21, 7, false), 1, 1 });
    cases.push_back({ MakeTestImage(21, 7, 1), 8, 8 }); // coloured 1-bit: a colour map needs 8 bits
    cases.push_back({ MakeTestImage(21, 7, 4), 8, 8 });
    cases.push_back({ MakeTestImage(21, 7, 8), 8, 8 });
    cases.push_back({ MakeGrayImage(21, 7), 8, 8 });
    cases.push_back({ MakeTestImage(21, 7, 16), 24, 24 });
    cases.push_back({ MakeTestImage(21, 7, 24), 24, 24 });
    cases.push_back({ MakeTestImage(21, 7, 32), 24, 24 });
    for (const Case& c : cases) {
        SCOPED_TRACE("bpp " + std::to_string(c.image.GetBpp()));
        std::vector<std::uint8_t> bytes;
        CxImage back = RoundTrip(c.image, kRas, &bytes);
        ASSERT_TRUE(back.IsValid()) << back.GetLastError();
        EXPECT_EQ(bytes[15], c.fileDepth);
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        std::string why;
        EXPECT_TRUE(SamePixels(c.image, back, &why)) << why;
    }
    // Without a colour map a set bit is black.
    std::vector<std::uint8_t> bytes;
    CxImage bw(8, 1, 1);
    bw.Palette()[0] = { 255, 255, 255, 255 }, bw.Palette()[1] = { 0, 0, 0, 255 };
    bw.Row(0)[0] = 1;
    ASSERT_TRUE(bw.Encode(bytes, kRas));
    ASSERT_EQ(bytes.size(), 32u + 2u);
    EXPECT_EQ(bytes[32], 0x80);
}

TEST(RasFormat, ReadsRgbOrderPaddingAndEncodedRuns)
{
    // Type 3 (RGB order), 32 bits: the pad byte comes first and is dropped.
    auto b = RasHeader(2, 1, 32, 3);
    b.insert(b.end(), { 99, 1, 2, 3, 99, 4, 5, 6 });
    CxImage img = DecodeBytes(b, kRas);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 1, 2, 3, 255 }));
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 4, 5, 6, 255 }));
    b[23] = 1; // standard type: XBGR
    img = DecodeBytes(b, kRas);
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 6, 5, 4, 255 }));

    // 24 bits, one pixel wide: each 3-byte row is padded to 4.
    b = RasHeader(1, 2, 24, 1);
    b.insert(b.end(), { 1, 2, 3, 0, 4, 5, 6, 0 });
    img = DecodeBytes(b, kRas);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetPixelColor(0, 1), (RGBQuad { 6, 5, 4, 255 }));

    // Byte-encoded 8 bits, 3 x 2 with a map of two colours: a run of 5 crosses into the second
    // row (rows are 4 bytes with padding), an escaped literal 0x80 is index 128 (black: past
    // the map), and a last run that claims 200 bytes stops at the end of the image.
    b = RasHeader(3, 2, 8, 2, 1, 6);
    b.insert(b.end(), { 10, 20, 30, 40, 50, 60 }); // reds, greens, blues
    b.insert(b.end(), { 0x80, 4, 1, 0x80, 0, 0x80, 199, 0 });
    img = DecodeBytes(b, kRas);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 20, 40, 60, 255 }));
    EXPECT_EQ(img.GetPixelColor(2, 0), (RGBQuad { 20, 40, 60, 255 }));
    EXPECT_EQ(img.GetPixelColor(0, 1), (RGBQuad { 20, 40, 60, 255 }));
    EXPECT_EQ(img.Row(1)[1], 128);
    EXPECT_EQ(img.GetPixelColor(1, 1), (RGBQuad { 0, 0, 0, 255 }));
    EXPECT_EQ(img.GetPixelColor(2, 1), (RGBQuad { 10, 30, 50, 255 }));

    // 8 bits without a map: gray levels.
    b = RasHeader(2, 1, 8, 1);
    b.insert(b.end(), { 7, 200 });
    img = DecodeBytes(b, kRas);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 200, 200, 200, 255 }));
}

TEST(RasFormat, HostileFilesFailWithAClearText)
{
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(MakeTestImage(40, 30, 8).Encode(good, kRas));
    std::vector<BadInput> bad;
    bad.push_back({ "short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 20), "shorter than" });
    bad.push_back({ "cut map", std::vector<std::uint8_t>(good.begin(), good.begin() + 100), "colour map" });
    bad.push_back({ "truncated pixels", std::vector<std::uint8_t>(good.begin(), good.end() - 1), "cut short" });
    auto magic = good;
    magic[0] = 0x58;
    bad.push_back({ "magic", magic, "bad magic" });
    auto depth = good;
    depth[15] = 4;
    bad.push_back({ "depth 4", depth, "depth of 4 bits" });
    auto type = good;
    type[23] = 4;
    bad.push_back({ "type 4", type, "type 4" });
    auto mapLength = RasHeader(2, 2, 8, 1, 1, 4);
    mapLength.resize(64, 0);
    bad.push_back({ "map not three planes", mapLength, "not three planes" });
    auto bomb = RasHeader(100000, 100000, 24, 1);
    bomb.resize(64, 0);
    bad.push_back({ "bomb-100000x100000", bomb, "above the decoding limit" });
    auto rleBomb = RasHeader(10000, 10000, 8, 2);
    rleBomb.insert(rleBomb.end(), { 0x80, 0xFF, 1, 0x80, 0xFF, 1 });
    bad.push_back({ "bomb-10000x10000 encoded", rleBomb, "more than the compressed data could hold" });
    auto shortRle = RasHeader(8, 8, 8, 2);
    shortRle.insert(shortRle.end(), { 0x80, 9, 1, 0x80 }); // ends inside an escape
    bad.push_back({ "truncated runs", shortRle, "ends after 10 of 64" });

    ExpectRefused(bad, kRas);
    EXPECT_TRUE(codec::RasSniff(good));
    EXPECT_FALSE(codec::RasSniff(magic));
}

TEST(RasFormat, ReadsWhatOtherToolsWrite)
{
    ASSERT_TRUE(HaveTool("pnmtorast"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const std::string d = dir.path() + "/";
    const CxImage bw = BlackAndWhite(37, 21, true);
    const CxImage few = MakeTestImage(37, 21, 8);
    const CxImage colour = MakeTestImage(37, 21, 24);
    const CxImage gray = MakeGrayImage(37, 21);
    struct Made {
        const CxImage* source;
        std::string command; ///< "%" stands for the input file
        std::uint32_t depth, type;
    };
    // No writer here makes 1-bit files to check against: this pnmtorast writes them with every
    // bit clear, and ImageMagick writes bilevel pictures as 24 bits. Our 1-bit files are
    // checked by the readers below instead. pnmtorast encodes runs only up to 8 bits.
    const std::vector<Made> made {
        { &bw, "convert % -monochrome ras:-", 24, 3 },
        { &few, "pnmtorast -standard %", 8, 1 },
        { &few, "pnmtorast %", 8, 2 },
        { &colour, "pnmtorast -standard %", 24, 1 },
        { &gray, "pnmtorast %", 8, 2 },
        { &colour, "convert % ras:-", 24, 3 },
        { &few, "convert % -type Palette ras:-", 8, 1 },
        { &gray, "convert % ras:-", 24, 3 },
    };
    for (const Made& m : made) {
        SCOPED_TRACE(m.command);
        WriteFileBytes(d + "in.ppm", ToPpm(*m.source));
        std::string command = m.command;
        command.replace(command.find('%'), 1, d + "in.ppm");
        ASSERT_TRUE(RunTool(command + " > " + d + "o.ras"));
        const auto bytes = ReadFileBytes(d + "o.ras");
        ASSERT_GT(bytes.size(), 32u);
        EXPECT_EQ(bytes[15], m.depth);
        EXPECT_EQ(bytes[23], m.type);
        CxImage img = DecodeBytes(bytes, 0);
        ASSERT_TRUE(img.IsValid()) << img.GetLastError();
        EXPECT_EQ(img.GetType(), kRas);
        std::string why;
        EXPECT_TRUE(SamePixels(*m.source, img, &why)) << why;
    }
}

TEST(RasFormat, OtherToolsReadWhatWeWrite)
{
    ASSERT_TRUE(HaveTool("rasttopnm"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const std::vector<CxImage> images { BlackAndWhite(37, 21, true),
        BlackAndWhite(37, 21, false),
        MakeTestImage(37, 21, 1),
        MakeTestImage(37, 21, 4),
        MakeTestImage(37, 21, 8),
        MakeGrayImage(37, 21),
        MakeTestImage(37, 21, 16),
        MakeTestImage(37, 21, 24),
        MakeTestImage(37, 21, 32) };
    for (const CxImage& image : images) {
        SCOPED_TRACE("bpp " + std::to_string(image.GetBpp()));
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(image.Encode(bytes, kRas)) << image.GetLastError();
        WriteFileBytes(dir.File("ours.ras"), bytes);
        EXPECT_TRUE(ToolShows("rasttopnm " + dir.File("ours.ras"), image));
        EXPECT_TRUE(ToolShows("convert " + dir.File("ours.ras") + " -depth 8 ppm:-", image));
    }
}
