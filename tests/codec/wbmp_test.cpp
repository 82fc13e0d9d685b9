#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

::testing::AssertionResult Reads(const Bytes& bytes, CxImage& out)
{
    return Decodes(codec::WbmpDecode, bytes, out);
}

Bytes Encode(const CxImage& img)
{
    Bytes out;
    EXPECT_TRUE(img.Encode(out, codec::kTypeWbmp)) << img.GetLastError();
    return out;
}

const RGBQuad kBlack { 0, 0, 0, 255 };
const RGBQuad kWhite { 255, 255, 255, 255 };

CxImage Pattern(std::uint32_t w, std::uint32_t h, bool whiteFirst)
{
    CxImage img(w, h, 1);
    img.Palette() = whiteFirst ? std::vector<RGBQuad> { kWhite, kBlack } : std::vector<RGBQuad> { kBlack, kWhite };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = (x * 3 + y * y) % 5 < 2;
    return img;
}

} // namespace

TEST(Wbmp, BlackAndWhiteImagesRoundTripExactly)
{
    for (bool whiteFirst : { false, true }) {
        for (std::uint32_t width : { 1u, 13u, 130u }) {
            SCOPED_TRACE(std::to_string(width) + (whiteFirst ? " white first" : " black first"));
            const CxImage img = Pattern(width, 6, whiteFirst);
            const Bytes bytes = Encode(img);
            EXPECT_EQ(bytes.size(), (width <= 127 ? 4u : 5u) + (width + 7) / 8 * 6);
            CxImage back;
            ASSERT_TRUE(back.Decode(bytes)) << back.GetLastError();
            EXPECT_EQ(back.GetType(), codec::kTypeWbmp);
            EXPECT_EQ(back.GetBpp(), 1u);
            std::string why;
            EXPECT_TRUE(SamePixels(img, back, &why)) << why;
        }
    }
}

TEST(Wbmp, SizesAreMultiByteIntegers)
{
    const Bytes bytes = Encode(CxImage(200, 16384, 1));
    ASSERT_GE(bytes.size(), 7u);
    // 200 = 1 * 128 + 72; 16384 = 1 * 128 * 128 + 0 + 0.
    EXPECT_EQ((Bytes { bytes.begin(), bytes.begin() + 7 }), (Bytes { 0, 0, 0x81, 0x48, 0x81, 0x80, 0x00 }));
    CxImage back;
    ASSERT_TRUE(Reads(bytes, back));
    EXPECT_EQ(back.GetWidth(), 200u);
    EXPECT_EQ(back.GetHeight(), 16384u);
}

TEST(Wbmp, OtherDepthsAreThresholdedAtLuma128)
{
    // Luma (Rec. 601) of each colour: 127, 128, 76, 150, 29, 226.
    const RGBQuad colours[] = {
        { 127, 127, 127, 255 },
        { 128, 128, 128, 255 },
        { 255, 0, 0, 255 },
        { 0, 255, 0, 255 },
        { 0, 0, 255, 255 },
        { 255, 255, 0, 255 },
    };
    const bool white[] = { false, true, false, true, false, true };
    CxImage rgb(6, 1, 24), rgba(6, 1, 32), indexed(6, 1, 8), twoColour(6, 1, 1);
    indexed.Palette().assign(std::begin(colours), std::end(colours));
    twoColour.Palette() = { colours[2], colours[3] }; // red reads black, green white
    for (std::uint32_t x = 0; x < 6; ++x) {
        rgb.SetPixelColor(x, 0, colours[x]);
        rgba.SetPixelColor(x, 0, RGBQuad { colours[x].red, colours[x].green, colours[x].blue, 0 });
        indexed.Row(0)[x] = static_cast<std::uint8_t>(x);
        twoColour.Row(0)[x] = x % 2;
    }
    for (const CxImage* img : { &rgb, &rgba, &indexed }) {
        CxImage back;
        ASSERT_TRUE(Reads(Encode(*img), back));
        for (std::uint32_t x = 0; x < 6; ++x)
            EXPECT_EQ(back.GetPixelColor(x, 0), white[x] ? kWhite : kBlack) << "bpp " << img->GetBpp() << " x " << x;
    }
    CxImage back;
    ASSERT_TRUE(Reads(Encode(twoColour), back));
    for (std::uint32_t x = 0; x < 6; ++x)
        EXPECT_EQ(back.GetPixelColor(x, 0), x % 2 ? kWhite : kBlack);
}

TEST(Wbmp, AgreesWithNetpbm)
{
    ASSERT_TRUE(HaveTool("pbmtowbmp") && HaveTool("wbmptopbm") && HaveTool("ppmtopgm") && HaveTool("pamditherbw"));
    TempDir dir;
    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(MakeTestImage(139, 17, 24)));
    const std::string theirs = dir.File("theirs.wbmp");
    ASSERT_EQ(
        RunCommand("ppmtopgm " + dir.File("src.ppm") + " | pamditherbw -threshold | pamtopnm | pbmtowbmp > " + theirs),
        0);
    CxImage ours;
    ASSERT_TRUE(Reads(ReadFileBytes(theirs), ours));
    EXPECT_TRUE(ToolShows("wbmptopbm " + theirs, ours));
    EXPECT_TRUE(codec::WbmpSniff(ReadFileBytes(theirs)));

    const CxImage img = Pattern(139, 17, true);
    WriteFileBytes(dir.File("ours.wbmp"), Encode(img));
    EXPECT_TRUE(ToolShows("wbmptopbm " + dir.File("ours.wbmp"), img));
}

TEST(Wbmp, HostileFilesFailWithAReason)
{
    const std::vector<HostileInput> cases = {
        { "zero-length", {}, codec::Status::Truncated },
        { "truncated-header", { 0, 0, 0x81 }, codec::Status::Truncated },
        { "truncated-rows", { 0, 0, 9, 2, 0xFF, 0xFF, 0xFF }, codec::Status::Truncated },
        { "five-byte-width", { 0, 0, 0x81, 0x80, 0x80, 0x80, 0x01, 1, 0 }, codec::Status::Malformed },
        { "type-1", { 1, 0, 1, 1, 0 }, codec::Status::Unsupported },
        { "extension-headers", { 0, 0x80, 1, 1, 0 }, codec::Status::Unsupported },
        { "zero-width", { 0, 0, 0, 1 }, codec::Status::Malformed },
        { "bomb-268435455x268435455",
            { 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0 },
            codec::Status::LimitExceeded },
        { "bomb-16000x16000", { 0, 0, 0x80 | 125, 0, 0x80 | 125, 0, 0xAA }, codec::Status::Truncated },
    };
    ExpectRefused(codec::WbmpDecode, cases);
    CxImage img;
    EXPECT_FALSE(img.Decode(Bytes { 0, 0, 0x81, 0x80, 0x80, 0x80, 0x01, 1, 0 }, codec::kTypeWbmp));
    EXPECT_STREQ(img.GetLastError(), "WBMP: the width is longer than four bytes");
}

TEST(Wbmp, SniffDemandsAnExactFit)
{
    const Bytes good = Encode(Pattern(10, 3, false));
    EXPECT_TRUE(codec::WbmpSniff(good));
    EXPECT_EQ(codec::SniffCodec(good)->type, codec::kTypeWbmp);
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(codec::WbmpSniff(longer));
    EXPECT_FALSE(codec::WbmpSniff(Bytes(good.begin(), good.end() - 1)));
    EXPECT_FALSE(codec::WbmpSniff(Bytes { 0, 0, 0, 0 }));
    // Trailing bytes are tolerated when the type is named.
    CxImage img;
    EXPECT_TRUE(img.Decode(longer, codec::kTypeWbmp)) << img.GetLastError();
}
