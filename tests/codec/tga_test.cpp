#include "codec/codec_helpers.h"
#include "codec/formats/bytes.h"
#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

constexpr std::uint32_t kTga = codec::kTypeTga;

std::vector<std::uint8_t> TgaHeader(std::uint8_t type,
    std::uint16_t w,
    std::uint16_t h,
    std::uint8_t bits,
    std::uint8_t descriptor = 0,
    std::uint8_t mapType = 0,
    std::uint16_t mapFirst = 0,
    std::uint16_t mapLength = 0,
    std::uint8_t mapBits = 0)
{
    std::vector<std::uint8_t> b { 0, mapType, type };
    codec::PutU16LE(b, mapFirst);
    codec::PutU16LE(b, mapLength);
    b.push_back(mapBits);
    codec::PutU32LE(b, 0);
    codec::PutU16LE(b, w);
    codec::PutU16LE(b, h);
    b.push_back(bits);
    b.push_back(descriptor);
    return b;
}

void ExpectColor(const CxImage& img, std::uint32_t x, std::uint32_t y, RGBQuad want)
{
    RGBQuad c = img.GetPixelColor(x, y);
    EXPECT_TRUE(c.red == want.red && c.green == want.green && c.blue == want.blue && c.alpha == want.alpha)
        << "(" << x << "," << y << ") is " << int(c.red) << "," << int(c.green) << "," << int(c.blue) << ","
        << int(c.alpha);
}

} // namespace

// Every depth an image can have goes out as the nearest depth TGA holds and comes back exact.
TEST(TgaFormat, EveryDepthRoundTripsPixelExact)
{
    struct Case {
        CxImage image;
        std::uint32_t readBpp;
    };
    std::vector<Case> cases;
    cases.push_back({ MakeTestImage(13, 7, 1), 8 });
    cases.push_back({ MakeTestImage(13, 7, 4), 8 });
    cases.push_back({ MakeTestImage(13, 7, 8), 8 });
    cases.push_back({ MakeGrayImage(13, 7), 8 });
    cases.push_back({ MakeTestImage(13, 7, 16), 16 });
    cases.push_back({ MakeTestImage(13, 7, 24), 24 });
    cases.push_back({ MakeTestImage(13, 7, 32), 32 });
    for (const Case& c : cases) {
        SCOPED_TRACE("bpp " + std::to_string(c.image.GetBpp()));
        std::vector<std::uint8_t> bytes;
        CxImage back = RoundTrip(c.image, kTga, &bytes);
        ASSERT_TRUE(back.IsValid()) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        EXPECT_EQ(back.GetType(), kTga);
        std::string why;
        EXPECT_TRUE(SamePixels(c.image, back, &why)) << why;
        // The footer some readers insist on.
        ASSERT_GE(bytes.size(), 26u);
        EXPECT_EQ(std::string(bytes.end() - 18, bytes.end() - 1), "TRUEVISION-XFILE.");
        EXPECT_EQ(bytes.back(), 0);
    }
    // A gray palette is written as a gray image, not a colour map.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(MakeGrayImage(4, 4).Encode(bytes, kTga));
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[1], 0);
}

TEST(TgaFormat, RecognisedByContentButNotOtherFiles)
{
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(MakeTestImage(5, 5, 24).Encode(bytes, kTga));
    EXPECT_TRUE(codec::TgaSniff(bytes));
    CxImage img = DecodeBytes(bytes, 0);
    EXPECT_EQ(img.GetType(), kTga);

    const std::string text = "hello world, this is plain text and not an image at all";
    EXPECT_FALSE(codec::TgaSniff(codec::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    std::vector<std::uint8_t> pcx;
    ASSERT_TRUE(MakeTestImage(5, 5, 24).Encode(pcx, codec::kTypePcx));
    EXPECT_FALSE(codec::TgaSniff(pcx));
    // Uncompressed data shorter than the header promises is not claimed.
    bytes.resize(18 + 5 * 5 * 3 - 1);
    EXPECT_FALSE(codec::TgaSniff(bytes));
}

// Hand-made files for the cases writers rarely produce.
TEST(TgaFormat, ReadsOriginsColourMapOffsetAnd16BitEntries)
{
    // 2 x 2, 24 bits, top-left origin: first stored row is the top.
    auto b = TgaHeader(2, 2, 2, 24, 0x20);
    b.insert(b.end(), { 0, 0, 255, 0, 255, 0, /* row 2 */ 255, 0, 0, 255, 255, 255 });
    CxImage img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    ExpectColor(img, 0, 0, { 255, 0, 0, 255 });
    ExpectColor(img, 1, 0, { 0, 255, 0, 255 });
    ExpectColor(img, 0, 1, { 0, 0, 255, 255 });

    // Same bytes, bottom-left and right-to-left: both axes flip.
    b[17] = 0x10;
    img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    ExpectColor(img, 1, 1, { 255, 0, 0, 255 });
    ExpectColor(img, 0, 1, { 0, 255, 0, 255 });
    ExpectColor(img, 1, 0, { 0, 0, 255, 255 });

    // Colour map of 16-bit entries that starts at index 5; an image ID to skip.
    b = TgaHeader(1, 3, 1, 8, 0x20, 1, 5, 2, 16);
    b[0] = 3;
    b.insert(b.begin() + 18, { 'a', 'b', 'c' });
    codec::PutU16LE(b, 31 << 10); // entry 5: red
    codec::PutU16LE(b, 31); // entry 6: blue
    b.insert(b.end(), { 5, 6, 0 });
    img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 8u);
    ExpectColor(img, 0, 0, { 255, 0, 0, 255 });
    ExpectColor(img, 1, 0, { 0, 0, 255, 255 });
    ExpectColor(img, 2, 0, { 0, 0, 0, 255 }); // not covered by the map
}

TEST(TgaFormat, AlphaAllZeroMeansOpaque)
{
    auto b = TgaHeader(2, 2, 1, 32, 0x28);
    b.insert(b.end(), { 10, 20, 30, 0, 40, 50, 60, 0 });
    CxImage img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 32u);
    ExpectColor(img, 0, 0, { 30, 20, 10, 255 });
    ExpectColor(img, 1, 0, { 60, 50, 40, 255 });
    b[18 + 7] = 9; // one visible alpha value: the channel is real
    img = DecodeBytes(b, kTga);
    ExpectColor(img, 0, 0, { 30, 20, 10, 0 });
    ExpectColor(img, 1, 0, { 60, 50, 40, 9 });
}

TEST(TgaFormat, RlePacketsCrossRowsAndStopAtTheImageEnd)
{
    // 3 x 2 gray, top-left. One run of 4 crosses into the second row, then a raw packet that
    // claims 4 pixels where 2 remain: it is cut at the end of the image, nothing more is written.
    auto b = TgaHeader(11, 3, 2, 8, 0x20);
    b.insert(b.end(), { 0x83, 7, 0x03, 8, 9, 10, 11 });
    CxImage img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    const std::uint8_t want[6] = { 7, 7, 7, 7, 8, 9 };
    for (std::uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(img.Row(i / 3)[i % 3], want[i]) << i;

    // A run packet of 128 pixels in a 2-pixel image.
    b = TgaHeader(10, 2, 1, 24, 0x20);
    b.insert(b.end(), { 0xFF, 1, 2, 3 });
    img = DecodeBytes(b, kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    ExpectColor(img, 1, 0, { 3, 2, 1, 255 });
}

TEST(TgaFormat, HostileFilesFailWithAClearText)
{
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(MakeTestImage(16, 16, 24).Encode(good, kTga));
    std::vector<std::uint8_t> rle = TgaHeader(10, 16, 16, 24);
    rle.insert(rle.end(), { 0xFF, 1, 2, 3, 0x7F, 9, 9 }); // a run, then a raw packet cut short
    std::vector<BadInput> bad;
    bad.push_back({ "empty", {}, "empty" });
    bad.push_back({ "short header", std::vector<std::uint8_t>(good.begin(), good.begin() + 10), "shorter than" });
    bad.push_back({ "truncated pixels", std::vector<std::uint8_t>(good.begin(), good.begin() + 300), "cut short" });
    bad.push_back({ "truncated rle", rle, "ends after 128 of 256" });
    auto bomb = TgaHeader(10, 65535, 65535, 24);
    bomb.insert(bomb.end(), { 0xFF, 1, 2, 3 });
    bad.push_back({ "bomb", bomb, "above the decoding limit" });
    auto bomb2 = TgaHeader(10, 4000, 4000, 24);
    bomb2.insert(bomb2.end(), 100, 0xFF);
    bad.push_back({ "rle bomb", bomb2, "more than the compressed data could hold" });
    auto badType = good;
    badType[2] = 4;
    bad.push_back({ "image type 4", badType, "image type 4" });
    auto noMap = good;
    noMap[2] = 1;
    noMap[16] = 8;
    bad.push_back({ "mapped without map", noMap, "without a colour map" });
    auto cutMap = TgaHeader(1, 2, 2, 8, 0, 1, 0, 200, 24);
    cutMap.resize(100);
    bad.push_back({ "cut map", cutMap, "inside the colour map" });
    auto zero = good;
    zero[12] = zero[13] = 0;
    bad.push_back({ "zero width", zero, "no pixels" });
    auto odd = good;
    odd[16] = 12;
    bad.push_back({ "12 bits", odd, "12 bits" });

    ExpectRefused(bad, kTga);
}

TEST(TgaFormat, WriterRefusesSizesTheHeaderCannotHold)
{
    CxImage wide(70000, 1, 8);
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(wide.Encode(bytes, kTga));
    EXPECT_NE(std::string(wide.GetLastError()).find("65535"), std::string::npos);
    EXPECT_TRUE(bytes.empty());
}

// Files from independent writers decode to the pixels they were made from.
TEST(TgaFormat, ReadsWhatOtherToolsWrite)
{
    ASSERT_TRUE(HaveTool("ppmtotga"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const CxImage colour = MakeTestImage(37, 21, 24);
    const CxImage few = MakeTestImage(37, 21, 8);
    const CxImage gray = MakeGrayImage(37, 21);
    const CxImage c16 = MakeTestImage(37, 21, 16);
    WriteFileBytes(dir.File("colour.ppm"), ToPpm(colour));
    WriteFileBytes(dir.File("few.ppm"), ToPpm(few));
    WriteFileBytes(dir.File("gray.ppm"), ToPpm(gray));
    WriteFileBytes(dir.File("c16.ppm"), ToPpm(c16));
    struct Made {
        std::string command;
        const CxImage* source;
        std::uint32_t bpp;
        std::uint8_t type;
    };
    const std::string d = dir.path() + "/";
    const std::vector<Made> made {
        { "ppmtotga -rgb " + d + "colour.ppm > " + d + "o.tga", &colour, 24, 10 },
        { "ppmtotga -rgb -norle " + d + "colour.ppm > " + d + "o.tga", &colour, 24, 2 },
        { "ppmtotga -cmap " + d + "few.ppm > " + d + "o.tga", &few, 8, 9 },
        { "ppmtotga -cmap -norle " + d + "few.ppm > " + d + "o.tga", &few, 8, 1 },
        { "ppmtotga -mono " + d + "gray.ppm > " + d + "o.tga", &gray, 8, 11 },
        // ImageMagick 6 stores rows top first but marks them bottom first unless told the
        // orientation (tgatoppm agrees with us on its files), so its files here say top-left.
        { "convert " + d + "colour.ppm -orient TopLeft -compress RLE " + d + "o.tga", &colour, 24, 10 },
        { "convert " + d + "colour.ppm -orient TopLeft " + d + "o.tga", &colour, 24, 2 },
        { "convert " + d + "few.ppm -orient TopLeft -type Palette " + d + "o.tga", &few, 8, 1 },
        { "convert " + d + "few.ppm -orient TopLeft -type Palette -compress RLE " + d + "o.tga", &few, 8, 9 },
        { "convert " + d + "gray.ppm -orient TopLeft -type Grayscale " + d + "o.tga", &gray, 8, 3 },
        { "convert " + d + "c16.ppm -orient TopLeft -depth 5 " + d + "o.tga", &c16, 16, 2 },
    };
    for (const Made& m : made) {
        SCOPED_TRACE(m.command);
        ASSERT_TRUE(RunTool(m.command));
        const auto bytes = ReadFileBytes(dir.File("o.tga"));
        ASSERT_GT(bytes.size(), 18u);
        EXPECT_EQ(bytes[2], m.type); // the variant meant is the variant made
        CxImage img = DecodeBytes(bytes, 0); // recognised without a hint
        ASSERT_TRUE(img.IsValid()) << img.GetLastError();
        EXPECT_EQ(img.GetType(), kTga);
        EXPECT_EQ(img.GetBpp(), m.bpp);
        std::string why;
        if (m.bpp == 16) {
            // ImageMagick rounds to 5 bits its own way, so the reference is tgatoppm's reading
            // of the same file; it widens 5 bits by rounding where we copy bits (at most 1 apart).
            CxImage theirs;
            ASSERT_TRUE(ToolPixels("tgatoppm " + d + "o.tga", theirs, &why)) << why;
            EXPECT_LE(MaxChannelDiff(theirs, img), 1);
            EXPECT_LE(MaxChannelDiff(*m.source, img), 24); // and it is still the picture
        } else {
            EXPECT_TRUE(SamePixels(*m.source, img, &why)) << why;
        }
    }

    // Half-transparent 32 bits.
    ASSERT_TRUE(RunTool(
        "convert " + d + "colour.ppm -orient TopLeft -alpha set -channel A -evaluate set 50% +channel " + d + "a.tga"));
    CxImage img = DecodeBytes(ReadFileBytes(dir.File("a.tga")), kTga);
    ASSERT_TRUE(img.IsValid()) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 32u);
    std::string why;
    EXPECT_TRUE(SamePixels(colour, img, &why)) << why;
    EXPECT_EQ(img.GetPixelColor(3, 4).alpha, 128);
}

// Our files decode to the same pixels with independent readers.
TEST(TgaFormat, OtherToolsReadWhatWeWrite)
{
    ASSERT_TRUE(HaveTool("tgatoppm"));
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
        CxImage copy(image, true);
        ASSERT_TRUE(copy.Save(dir.File("ours.tga"), kTga)) << copy.GetLastError();
        // ImageMagick keeps a bottom-left file's rows as stored unless asked to orient them.
        for (const std::string& command : { "tgatoppm " + dir.File("ours.tga"),
                 "convert " + dir.File("ours.tga") + " -auto-orient -depth 8 ppm:-" }) {
            SCOPED_TRACE(command);
            CxImage back;
            std::string why;
            ASSERT_TRUE(ToolPixels(command, back, &why)) << why;
            if (image.GetBpp() == 16) {
                // 5-bit channels widened by rounding (v * 255 / 31) rather than by bit copying.
                EXPECT_LE(MaxChannelDiff(image, back), 1);
            } else {
                EXPECT_TRUE(SamePixels(image, back, &why)) << why;
            }
        }
    }
    // The alpha channel as ImageMagick sees it.
    CxImage rgba = MakeTestImage(5, 3, 32);
    ASSERT_TRUE(rgba.Save(dir.File("a.tga"), kTga));
    std::string raw;
    ASSERT_EQ(RunCommand("convert " + dir.File("a.tga") + " -auto-orient -depth 8 rgba:-", &raw), 0);
    ASSERT_EQ(raw.size(), 60u);
    for (std::uint32_t i = 0; i < 15; ++i)
        EXPECT_EQ(static_cast<std::uint8_t>(raw[4 * i + 3]), rgba.GetPixelColor(i % 5, i / 5).alpha) << i;
}
