#include "codec/codec_helpers.h"
#include "codec/formats/bytes.h"
#include "codec/formats/format.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

codec::Result Decode(const Bytes& bytes, CxImage& out)
{
    return codec::IcoDecode(bytes, codec::DefaultLimits(), out);
}

/// Decodes, with the reader's message when it fails.
::testing::AssertionResult Reads(const Bytes& bytes, CxImage& out)
{
    return Decodes(codec::IcoDecode, bytes, out);
}

Bytes Encode(const CxImage& img)
{
    Bytes out;
    EXPECT_TRUE(img.Encode(out, codec::kTypeIco)) << img.GetLastError();
    return out;
}

std::uint32_t U32At(const Bytes& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

/// One icon file holding the single entries of several.
Bytes CombineIcons(const std::vector<Bytes>& icons)
{
    Bytes out;
    codec::PutU16LE(out, 0);
    codec::PutU16LE(out, 1);
    codec::PutU16LE(out, static_cast<std::uint32_t>(icons.size()));
    std::size_t offset = 6 + 16 * icons.size();
    Bytes data;
    for (const Bytes& icon : icons) {
        out.insert(out.end(), icon.begin() + 6, icon.begin() + 18); // entry up to its offset
        codec::PutU32LE(out, static_cast<std::uint32_t>(offset + data.size()));
        data.insert(data.end(), icon.begin() + U32At(icon, 18), icon.end());
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

} // namespace

TEST(Ico, EveryWrittenDepthRoundTripsExactly)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u, 32u }) {
        SCOPED_TRACE(bpp);
        const CxImage img = MakeTestImage(19, 7, bpp);
        const Bytes bytes = Encode(img);
        ASSERT_GT(bytes.size(), 22u);
        EXPECT_EQ(bytes[6], 19);
        EXPECT_EQ(bytes[7], 7);
        EXPECT_EQ(bytes[12], bpp);
        EXPECT_EQ(U32At(bytes, 14), bytes.size() - 22);
        CxImage back;
        ASSERT_TRUE(back.Decode(bytes)) << back.GetLastError();
        EXPECT_EQ(back.GetType(), codec::kTypeIco);
        EXPECT_EQ(back.GetBpp(), bpp);
        std::string why;
        EXPECT_TRUE(SamePixels(img, back, &why)) << why;
    }
    CxImage sixteen(5, 5, 16);
    sixteen.SetPixelColor(2, 2, RGBQuad { 255, 8, 132, 255 });
    CxImage back;
    ASSERT_TRUE(back.Decode(Encode(sixteen)));
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_TRUE(SamePixels(sixteen, back));
}

TEST(Ico, TransparentIndexBecomesAlphaThroughTheMask)
{
    CxImage img = MakeTestImage(10, 4, 4);
    img.SetTransIndex(img.Row(1)[3]);
    const int trans = img.GetTransIndex();
    CxImage back;
    ASSERT_TRUE(back.Decode(Encode(img)));
    ASSERT_EQ(back.GetBpp(), 32u);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 10; ++x) {
            const RGBQuad c = back.GetPixelColor(x, y);
            EXPECT_EQ(c.alpha, img.Row(y)[x] == trans ? 0 : 255) << x << "," << y;
            EXPECT_EQ(c.red, img.Palette()[img.Row(y)[x]].red);
        }
}

TEST(Ico, MaskBitsMakeOpaqueEntriesTransparent)
{
    // 24-bit entry, 4 x 2: set the mask bit of the top-left pixel (the last stored mask row).
    Bytes bytes = Encode(MakeTestImage(4, 2, 24));
    bytes[bytes.size() - 4] = 0x80;
    CxImage img;
    ASSERT_TRUE(Reads(bytes, img));
    ASSERT_EQ(img.GetBpp(), 32u);
    EXPECT_EQ(img.GetPixelColor(0, 0).alpha, 0);
    EXPECT_EQ(img.GetPixelColor(1, 0).alpha, 255);
    EXPECT_EQ(img.GetPixelColor(0, 1).alpha, 255);

    // 32-bit entry whose alpha bytes are all zero: the mask decides, not the zeros.
    CxImage opaque(3, 1, 32);
    Bytes b32 = Encode(opaque);
    const std::size_t rows = 22 + 40;
    for (std::size_t i = rows + 3; i < rows + 12; i += 4)
        b32[i] = 0;
    b32[b32.size() - 4] = 0x40; // second pixel
    ASSERT_TRUE(Reads(b32, img));
    EXPECT_EQ(img.GetPixelColor(0, 0).alpha, 255);
    EXPECT_EQ(img.GetPixelColor(1, 0).alpha, 0);

    // A missing mask leaves the entry opaque.
    Bytes noMask = Encode(MakeTestImage(4, 2, 24));
    noMask.resize(noMask.size() - 8);
    ASSERT_TRUE(Reads(noMask, img));
    EXPECT_EQ(img.GetBpp(), 24u);
}

TEST(Ico, SizeLimitIs256)
{
    const CxImage big = MakeTestImage(256, 256, 8);
    const Bytes bytes = Encode(big);
    EXPECT_EQ(bytes[6], 0); // 256 is stored as 0
    EXPECT_EQ(bytes[7], 0);
    CxImage back;
    ASSERT_TRUE(back.Decode(bytes, codec::kTypeIco));
    EXPECT_TRUE(SamePixels(big, back));

    Bytes out;
    const CxImage wide(257, 2, 24);
    EXPECT_FALSE(wide.Encode(out, codec::kTypeIco));
    EXPECT_STREQ(wide.GetLastError(), "ICO: ICO images cannot be larger than 256 x 256");
    EXPECT_EQ(codec::IcoEncode(CxImage(2, 300, 8), out).status, codec::Status::Unsupported);
}

TEST(Ico, PicksTheLargestThenDeepestEntry)
{
    const CxImage four = MakeTestImage(32, 32, 4), eight = MakeTestImage(32, 32, 8);
    const Bytes file = CombineIcons({ Encode(MakeTestImage(16, 16, 32)),
        Encode(four),
        Encode(eight),
        Encode(MakeTestImage(24, 24, 24)),
        Encode(MakeTestImage(31, 32, 32)) });
    CxImage img;
    ASSERT_TRUE(Reads(file, img));
    EXPECT_EQ(img.GetBpp(), 8u);
    EXPECT_TRUE(SamePixels(img, eight));
}

TEST(Ico, ReadsWhatOtherToolsWriteAsTheyReadIt)
{
    ASSERT_TRUE(HaveTool("convert") && HaveTool("pamtowinicon") && HaveTool("winicontopam"));
    TempDir dir;
    WriteFileBytes(dir.File("src.pam"), ToNetpbm(MakeTestImage(48, 40, 32)));
    const std::string im = dir.File("im.ico"), pbm = dir.File("pbm.ico");
    ASSERT_EQ(RunCommand("convert " + dir.File("src.pam") + " -define icon:auto-resize=16,32,48 " + im), 0);
    ASSERT_EQ(RunCommand("pamtowinicon " + dir.File("src.pam") + " > " + pbm + " 2>/dev/null"), 0);

    CxImage ours;
    ASSERT_TRUE(Reads(ReadFileBytes(im), ours));
    ASSERT_EQ(ours.GetWidth(), 48u);
    EXPECT_TRUE(ToolShows("convert '" + im + "[2]' -depth 8 pam:-", ours));

    ASSERT_TRUE(Reads(ReadFileBytes(pbm), ours));
    ASSERT_EQ(ours.GetBpp(), 32u);
    EXPECT_TRUE(ToolShows("winicontopam " + pbm + " 2>/dev/null", ours));
}

// Needs the PNG codec: ImageMagick stores a 256 x 256 entry as PNG.
TEST(Ico, ReadsPngEntries)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    WriteFileBytes(dir.File("src.pam"), ToNetpbm(MakeTestImage(256, 256, 32)));
    const std::string path = dir.File("png.ico");
    ASSERT_EQ(RunCommand("convert " + dir.File("src.pam") + " -define icon:auto-resize=256 " + path), 0);
    const Bytes file = ReadFileBytes(path);
    ASSERT_GT(file.size(), 30u);
    ASSERT_EQ(file[22 + 1], 'P'); // the entry is a PNG stream
    CxImage ours;
    const codec::Result r = Decode(file, ours);
    ASSERT_TRUE(r) << r.message;
    EXPECT_TRUE(ToolShows("convert " + path + " -depth 8 pam:-", ours));
}

TEST(Ico, OtherToolsReadOurFilesAsWeWroteThem)
{
    ASSERT_TRUE(HaveTool("convert") && HaveTool("winicontopam"));
    TempDir dir;
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u, 32u }) {
        SCOPED_TRACE(bpp);
        CxImage img = MakeTestImage(20, 11, bpp);
        if (bpp == 32) // alpha only 0 or 255: the AND mask and the alpha channel then agree
            for (std::size_t i = 3; i < img.Pixels().size(); i += 4)
                img.Pixels()[i] = (i / 4) % 3 ? 255 : 0;
        const std::string path = dir.File("ours.ico");
        WriteFileBytes(path, Encode(img));
        for (const std::string& tool :
            { "winicontopam " + path + " 2>/dev/null", "convert " + path + " -depth 8 pam:-" }) {
            CxImage theirs;
            std::string why;
            ASSERT_TRUE(ToolPixels(tool, theirs, &why)) << why;
            EXPECT_TRUE(SamePixels(img, theirs, &why)) << tool << ": " << why;
            if (bpp != 32) {
                EXPECT_EQ(theirs.GetPixelColor(3, 3).alpha, 255) << tool;
            }
        }
    }
}

TEST(Ico, HostileFilesFailWithAReason)
{
    const Bytes good = Encode(MakeTestImage(8, 8, 24));
    Bytes countZero = good;
    countZero[4] = 0;
    Bytes offsetPastEnd = good;
    offsetPastEnd[21] = 0x7F;
    Bytes notIcon = good;
    notIcon[2] = 3;
    // An entry whose DIB header claims 60000 x 60000 (the height field counts the mask too).
    Bytes bomb = good;
    bomb[22 + 4] = 0x60, bomb[22 + 5] = 0xEA;
    bomb[22 + 8] = 0xC0, bomb[22 + 9] = 0xD4, bomb[22 + 10] = 0x01;
    Bytes bombFits = good; // 4000 x 4000: under the limits, far more than the data
    bombFits[22 + 4] = 0xA0, bombFits[22 + 5] = 0x0F;
    bombFits[22 + 8] = 0x40, bombFits[22 + 9] = 0x1F;
    Bytes headerSize = good;
    headerSize[22] = 20;
    const std::vector<HostileInput> cases = {
        { "zero-length", {}, codec::Status::Truncated },
        { "truncated-header", Bytes(good.begin(), good.begin() + 5), codec::Status::Truncated },
        { "truncated-directory", Bytes(good.begin(), good.begin() + 20), codec::Status::Truncated },
        { "truncated-rows", Bytes(good.begin(), good.begin() + 22 + 40 + 100), codec::Status::Truncated },
        { "count-zero", countZero, codec::Status::Malformed },
        { "offset-past-end", offsetPastEnd, codec::Status::Malformed },
        { "not-an-icon", notIcon, codec::Status::Malformed },
        { "bomb-60000x60000", bomb, codec::Status::LimitExceeded },
        { "bomb-4000x4000", bombFits, codec::Status::Truncated },
        { "unknown-header-size", headerSize, codec::Status::Malformed },
    };
    ExpectRefused(codec::IcoDecode, cases);
    CxImage img;
    EXPECT_FALSE(img.Decode(offsetPastEnd, codec::kTypeIco));
    EXPECT_STREQ(img.GetLastError(), "ICO: the icon holds no readable image");
}

TEST(Ico, SniffNeedsASaneDirectory)
{
    const Bytes good = Encode(MakeTestImage(8, 8, 8));
    EXPECT_TRUE(codec::IcoSniff(good));
    EXPECT_EQ(codec::SniffCodec(good)->type, codec::kTypeIco);
    Bytes cursor = good, noImages = good, badBits = good, offsetInDirectory = good;
    cursor[2] = 2;
    noImages[4] = 0;
    badBits[12] = 7;
    offsetInDirectory[18] = 10;
    for (const Bytes& b : { cursor, noImages, badBits, offsetInDirectory, Bytes(good.begin(), good.begin() + 21) })
        EXPECT_FALSE(codec::IcoSniff(b));
}
