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

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

/// Decodes, with the reader's message when it fails.
::testing::AssertionResult Reads(const Bytes& bytes, CxImage& out)
{
    return Decodes(codec::PnmDecode, bytes, out);
}

const RGBQuad kBlack { 0, 0, 0, 255 };
const RGBQuad kWhite { 255, 255, 255, 255 };

CxImage BlackAndWhite(std::uint32_t w, std::uint32_t h, bool whiteFirst)
{
    CxImage img(w, h, 1);
    img.Palette() = whiteFirst ? std::vector<RGBQuad> { kWhite, kBlack } : std::vector<RGBQuad> { kBlack, kWhite };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = (x * x + y) % 3 == 0;
    return img;
}

/// 8-bit with a palette of all 256 gray levels, or 4-bit with 16.
CxImage Gray(std::uint32_t w, std::uint32_t h, std::uint32_t bpp)
{
    CxImage img(w, h, bpp);
    img.SetGrayPalette();
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13) % (1u << bpp));
    return img;
}

std::string Magic(const Bytes& b)
{
    return std::string(b.begin(), b.begin() + 2);
}

} // namespace

TEST(Pnm, WritesTheSmallestKindAndReadsItBackExactly)
{
    CxImage colour16(9, 4, 16);
    for (std::uint32_t x = 0; x < 9; ++x)
        colour16.SetPixelColor(x, 2, RGBQuad { 255, std::uint8_t(x * 30), 7, 255 });
    struct Case {
        const char* name;
        CxImage image;
        const char* magic;
        std::uint32_t readBpp;
    };
    const Case cases[] = {
        { "black-and-white", BlackAndWhite(13, 5, false), "P4", 1 },
        { "white-and-black", BlackAndWhite(13, 5, true), "P4", 1 },
        { "gray-8", Gray(17, 6, 8), "P5", 8 },
        { "gray-4", Gray(17, 6, 4), "P5", 8 },
        { "colour-1", MakeTestImage(11, 3, 1), "P6", 24 },
        { "colour-4", MakeTestImage(11, 3, 4), "P6", 24 },
        { "colour-8", MakeTestImage(11, 3, 8), "P6", 24 },
        { "colour-16", colour16, "P6", 24 },
        { "colour-24", MakeTestImage(11, 3, 24), "P6", 24 },
        { "colour-32", MakeTestImage(11, 3, 32), "P6", 24 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes;
        ASSERT_TRUE(c.image.Encode(bytes, codec::kTypePnm)) << c.image.GetLastError();
        EXPECT_EQ(Magic(bytes), c.magic);
        CxImage back;
        ASSERT_TRUE(back.Decode(bytes)) << back.GetLastError();
        EXPECT_EQ(back.GetType(), codec::kTypePnm);
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        std::string why;
        EXPECT_TRUE(SamePixels(c.image, back, &why)) << why; // alpha is not compared against 24 bits
    }
}

TEST(Pnm, BitmapsReadOneAsBlack)
{
    CxImage img;
    ASSERT_TRUE(Reads(Text("P4\n3 2\n\xA0\x40"), img));
    ASSERT_EQ(img.GetBpp(), 1u);
    EXPECT_EQ(img.GetPixelColor(0, 0), kBlack);
    EXPECT_EQ(img.GetPixelColor(1, 0), kWhite);
    EXPECT_EQ(img.GetPixelColor(2, 0), kBlack);
    EXPECT_EQ(img.GetPixelColor(1, 1), kBlack);
    EXPECT_EQ(img.GetPixelColor(2, 1), kWhite);
    // The same picture written plain, with a comment and digits that need no separators.
    CxImage plain;
    ASSERT_TRUE(Reads(Text("P1\n# made by hand\n3 2\n1 0 1\n010"), plain));
    EXPECT_EQ(plain.Pixels(), img.Pixels());
    EXPECT_EQ(plain.Palette(), img.Palette());
}

TEST(Pnm, PlainFilesWithCommentsAndOddMaximumValues)
{
    CxImage img;
    ASSERT_TRUE(Reads(Text("P2\n2 2\n4\n0 1\r\n2\t4\n"), img));
    ASSERT_EQ(img.GetBpp(), 8u);
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(img.Pixels(), (Bytes { 0, 64, 128, 255 }));

    ASSERT_TRUE(Reads(Text("P3 2 1 1000 1000 0 500 # a comment between samples\n 0 0 1000"), img));
    ASSERT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 255, 0, 128, 255 }));
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 0, 0, 255, 255 }));

    Bytes raw16 = Text("P5 2 1 65535\n");
    raw16.insert(raw16.end(), { 0xFF, 0xFF, 0x80, 0x00 });
    ASSERT_TRUE(Reads(raw16, img));
    EXPECT_EQ(img.Pixels(), (Bytes { 255, 128 }));

    // Raw samples above the maximum are clamped rather than read past a table.
    ASSERT_TRUE(Reads(Text("P5 2 1 100\n\x64\xC8"), img));
    EXPECT_EQ(img.Pixels(), (Bytes { 255, 255 }));
}

TEST(Pnm, ScalesSamplesAsNetpbmDoes)
{
    ASSERT_TRUE(HaveTool("pamdepth"));
    TempDir dir;
    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(MakeTestImage(33, 12, 24)));
    for (int maxval : { 1000, 65535, 31, 1 }) {
        SCOPED_TRACE(maxval);
        const std::string deep = dir.File("deep.ppm");
        ASSERT_EQ(RunCommand("pamdepth " + std::to_string(maxval) + " " + dir.File("src.ppm") + " > " + deep), 0);
        CxImage ours;
        ASSERT_TRUE(Reads(ReadFileBytes(deep), ours));
        EXPECT_TRUE(ToolShows("pamdepth 255 " + deep, ours));
    }
}

TEST(Pnm, NetpbmReadsOurFilesAndOurPlainReaderAgrees)
{
    ASSERT_TRUE(HaveTool("pnmtoplainpnm") && HaveTool("ppmtoppm"));
    TempDir dir;
    for (const CxImage& img : { BlackAndWhite(21, 7, false), Gray(21, 7, 8), MakeTestImage(21, 7, 24) }) {
        SCOPED_TRACE(img.GetBpp());
        Bytes bytes;
        ASSERT_TRUE(img.Encode(bytes, codec::kTypePnm));
        const std::string path = dir.File("ours.pnm");
        WriteFileBytes(path, bytes);
        EXPECT_TRUE(ToolShows("ppmtoppm < " + path, img));

        std::string plainText;
        ASSERT_EQ(RunCommand("pnmtoplainpnm " + path, &plainText), 0);
        CxImage plain;
        ASSERT_TRUE(Reads(Text(plainText), plain));
        EXPECT_EQ(plain.GetBpp(), img.GetBpp());
        std::string why;
        EXPECT_TRUE(SamePixels(img, plain, &why)) << why;
    }
}

TEST(Pnm, ReadsWhatImageMagickWrites)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(MakeTestImage(25, 9, 24)));
    for (const char* target :
        { "pbm:", "pgm:", "ppm:", "-compress none pbm:", "-compress none pgm:", "-compress none ppm:" }) {
        SCOPED_TRACE(target);
        const std::string path = dir.File("im.pnm");
        ASSERT_EQ(RunCommand("convert " + dir.File("src.ppm") + " " + target + path), 0);
        CxImage ours;
        ASSERT_TRUE(Reads(ReadFileBytes(path), ours));
        EXPECT_TRUE(ToolShows("convert " + path + " -depth 8 ppm:-", ours));
    }
}

TEST(Pnm, HostileFilesFailWithAReason)
{
    const std::vector<HostileInput> cases = {
        { "zero-length", {}, codec::Status::Malformed },
        { "truncated-header", Text("P6\n12 "), codec::Status::Truncated },
        { "truncated-raw", Text("P6 2 2 255\nabcdefghijk"), codec::Status::Truncated },
        { "truncated-plain", Text("P2 2 2 9 1 2 3 "), codec::Status::Truncated },
        { "bomb-100000x100000", Text("P6 100000 100000 255\n"), codec::Status::LimitExceeded },
        { "bomb-16000x16000", Text("P5 16000 16000 255\n\x01\x02"), codec::Status::Truncated },
        { "bomb-16000x16000-plain", Text("P1 16000 16000\n0"), codec::Status::Truncated },
        { "width-too-big", Text("P4 99999999999 1\n"), codec::Status::Malformed },
        { "zero-height", Text("P4 1 0\n"), codec::Status::Malformed },
        { "maxval-0", Text("P5 1 1 0\n"), codec::Status::Malformed },
        { "maxval-65536", Text("P5 1 1 65536\n"), codec::Status::Malformed },
        { "sample-above-maxval", Text("P2 2 1 10 3 11"), codec::Status::Malformed },
        { "letter-in-plain", Text("P3 1 1 255 1 x 3"), codec::Status::Malformed },
        { "bitmap-digit-2", Text("P1 2 1 0 2"), codec::Status::Malformed },
        { "no-space-after-header", Text("P5 1 1 255"), codec::Status::Truncated },
        { "not-pnm", Text("P7 1 1"), codec::Status::Malformed },
    };
    ExpectRefused(codec::PnmDecode, cases);
    CxImage img;
    EXPECT_FALSE(img.Decode(Text("P2 2 1 10 3 11"), codec::kTypePnm));
    EXPECT_STREQ(img.GetLastError(), "PNM: a sample is above 10");
}

TEST(Pnm, SniffsMagicFollowedByWhiteSpace)
{
    EXPECT_TRUE(codec::PnmSniff(Text("P6\n1 1 255\n")));
    EXPECT_TRUE(codec::PnmSniff(Text("P1 1 1 0")));
    EXPECT_FALSE(codec::PnmSniff(Text("P7\nWIDTH 1")));
    EXPECT_FALSE(codec::PnmSniff(Text("P6x")));
    EXPECT_FALSE(codec::PnmSniff(Text("P6")));
    EXPECT_EQ(codec::SniffCodec(Text("P5\t1 1 255\n\x10"))->type, codec::kTypePnm);
}
