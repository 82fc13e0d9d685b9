#include "codec/codec_helpers.h"
#include "codec/formats/bytes.h"
#include "codec/formats/dib.h"
#include "codec/formats/format.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::ByteView;
using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

/// A hand-made BMP: file header, 40-byte info header, then `extras` (masks, palette) and rows.
Bytes MakeBmp(std::int32_t width,
    std::int32_t height,
    std::uint16_t bpp,
    std::uint32_t compression,
    const Bytes& extras,
    const Bytes& rows,
    std::uint32_t colorsUsed = 0)
{
    Bytes out { 'B', 'M' };
    codec::PutU32LE(out, static_cast<std::uint32_t>(14 + 40 + extras.size() + rows.size()));
    codec::PutU32LE(out, 0);
    codec::PutU32LE(out, static_cast<std::uint32_t>(14 + 40 + extras.size()));
    codec::PutU32LE(out, 40);
    codec::PutU32LE(out, static_cast<std::uint32_t>(width));
    codec::PutU32LE(out, static_cast<std::uint32_t>(height));
    codec::PutU16LE(out, 1);
    codec::PutU16LE(out, bpp);
    codec::PutU32LE(out, compression);
    codec::PutU32LE(out, static_cast<std::uint32_t>(rows.size()));
    codec::PutU32LE(out, 3780); // 96 dpi
    codec::PutU32LE(out, 5906); // 150 dpi
    codec::PutU32LE(out, colorsUsed);
    codec::PutU32LE(out, 0);
    out.insert(out.end(), extras.begin(), extras.end());
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

Bytes Masks(std::initializer_list<std::uint32_t> masks)
{
    Bytes out;
    for (std::uint32_t m : masks)
        codec::PutU32LE(out, m);
    return out;
}

/// Palette entries for the given gray levels (blue, green, red, 0).
Bytes GrayPalette(std::initializer_list<std::uint8_t> levels)
{
    Bytes out;
    for (std::uint8_t v : levels)
        out.insert(out.end(), { v, v, v, 0 });
    return out;
}

codec::Result Decode(const Bytes& bytes, CxImage& out)
{
    return codec::BmpDecode(bytes, codec::DefaultLimits(), out);
}

/// Decodes, with the reader's message when it fails.
::testing::AssertionResult Reads(const Bytes& bytes, CxImage& out)
{
    return Decodes(codec::BmpDecode, bytes, out);
}

std::uint32_t U16At(const Bytes& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8;
}
std::uint32_t U32At(const Bytes& b, std::size_t at)
{
    return U16At(b, at) | U16At(b, at + 2) << 16;
}

std::vector<std::uint8_t> Indices(const CxImage& img)
{
    return img.Pixels();
}

} // namespace

TEST(Bmp, EveryWrittenDepthRoundTripsExactlyWithResolution)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u, 32u }) {
        SCOPED_TRACE(bpp);
        CxImage img = MakeTestImage(29, 13, bpp); // odd width: every row needs padding
        img.SetXDPI(300);
        img.SetYDPI(72);
        Bytes bytes;
        ASSERT_TRUE(img.Encode(bytes, codec::kTypeBmp)) << img.GetLastError();
        EXPECT_EQ(U16At(bytes, 28), bpp);
        CxImage back;
        ASSERT_TRUE(back.Decode(bytes, codec::kTypeBmp)) << back.GetLastError();
        EXPECT_EQ(back.GetType(), codec::kTypeBmp);
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_EQ(back.GetYDPI(), 72);
        std::string why;
        EXPECT_TRUE(SamePixels(img, back, &why)) << why;
        if (bpp <= 8) {
            EXPECT_EQ(back.Palette(), img.Palette());
        }
    }
}

TEST(Bmp, SixteenBitImagesAreWrittenAs24AndDibsKeepThemAs555)
{
    CxImage img(11, 5, 16);
    for (std::uint32_t y = 0; y < 5; ++y)
        for (std::uint32_t x = 0; x < 11; ++x)
            img.SetPixelColor(
                x, y, RGBQuad { std::uint8_t(x * 23), std::uint8_t(y * 61), std::uint8_t(x * y * 5), 255 });

    Bytes bmp;
    ASSERT_TRUE(img.Encode(bmp, codec::kTypeBmp));
    EXPECT_EQ(U16At(bmp, 28), 24u);
    CxImage back;
    ASSERT_TRUE(back.Decode(bmp));
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_TRUE(SamePixels(img, back));

    // The clipboard form: 5-5-5 BI_RGB, which reads back as depth 16 without loss.
    const Bytes dib = codec::EncodeDib(img);
    ASSERT_GE(dib.size(), 40u);
    EXPECT_EQ(U16At(dib, 14), 16u);
    EXPECT_EQ(U32At(dib, 16), 0u);
    CxImage fromDib;
    ASSERT_TRUE(codec::DecodeDib(dib, codec::DefaultLimits(), fromDib));
    EXPECT_EQ(fromDib.GetBpp(), 16u);
    EXPECT_EQ(fromDib.Pixels(), img.Pixels());
}

TEST(Bmp, EncodeDibIsBottomUpWithPaddedRowsAndItsPalette)
{
    CxImage img(3, 2, 1);
    img.Palette() = { RGBQuad { 10, 20, 30, 255 }, RGBQuad { 200, 100, 50, 255 } };
    img.Row(0)[0] = 1; // top-left
    img.Row(1)[2] = 1; // bottom-right
    img.SetXDPI(96);
    const Bytes dib = codec::EncodeDib(img);
    ASSERT_EQ(dib.size(), 40u + 2 * 4 + 2 * 4);
    EXPECT_EQ(U32At(dib, 0), 40u);
    EXPECT_EQ(U32At(dib, 4), 3u);
    EXPECT_EQ(U32At(dib, 8), 2u); // positive: bottom-up
    EXPECT_EQ(U32At(dib, 24), 3780u);
    EXPECT_EQ(U32At(dib, 32), 2u); // the palette size, always explicit
    EXPECT_EQ((Bytes { dib.begin() + 40, dib.begin() + 48 }), (Bytes { 30, 20, 10, 0, 50, 100, 200, 0 }));
    EXPECT_EQ(dib[48], 0x20); // first stored row is the bottom one
    EXPECT_EQ(dib[52], 0x80);
    EXPECT_TRUE(codec::EncodeDib(CxImage()).empty());
}

TEST(Bmp, ReadsWhatImageMagickWritesAsImageMagickReadsIt)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    WriteFileBytes(dir.File("rgb.ppm"), ToNetpbm(MakeTestImage(37, 23, 24)));
    WriteFileBytes(dir.File("pal.ppm"), ToNetpbm(MakeTestImage(37, 23, 8)));
    WriteFileBytes(dir.File("alpha.pam"), ToNetpbm(MakeTestImage(37, 23, 32)));
    struct Case {
        const char* source;
        const char* options;
        std::uint32_t headerSize, bitCount, compression, expectBpp;
        bool fourBitChannels = false;
    };
    const Case cases[] = {
        { "rgb.ppm", "BMP3:", 40, 24, 0, 24 },
        { "pal.ppm", "-type Palette -compress None BMP3:", 40, 8, 0, 8 },
        { "pal.ppm", "-type Palette -compress RLE BMP3:", 40, 8, 1, 8 },
        { "rgb.ppm", "-colors 16 -type Palette BMP3:", 40, 4, 0, 4 },
        { "rgb.ppm", "-monochrome BMP3:", 40, 1, 0, 1 },
        { "rgb.ppm", "BMP2:", 12, 24, 0, 24 },
        { "pal.ppm", "-type Palette BMP2:", 12, 8, 0, 8 },
        { "rgb.ppm", "-colors 16 -type Palette BMP2:", 12, 4, 0, 4 },
        { "rgb.ppm", "BMP:", 124, 24, 0, 24 },
        { "rgb.ppm", "-define bmp:subtype=RGB555 BMP:", 124, 16, 3, 16 },
        { "rgb.ppm", "-define bmp:subtype=RGB565 BMP:", 124, 16, 3, 24 },
        { "alpha.pam", "-define bmp:subtype=ARGB4444 BMP:", 124, 16, 3, 32, true },
        { "alpha.pam", "BMP:", 124, 32, 3, 32 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.options);
        const std::string path = dir.File("out.bmp");
        ASSERT_EQ(RunCommand("convert " + dir.File(c.source) + " " + c.options + path), 0);
        const Bytes file = ReadFileBytes(path);
        ASSERT_GT(file.size(), 34u);
        EXPECT_EQ(U32At(file, 14), c.headerSize);
        EXPECT_EQ(c.headerSize == 12 ? U16At(file, 24) : U16At(file, 28), c.bitCount);
        if (c.headerSize > 12) {
            EXPECT_EQ(U32At(file, 30), c.compression);
        }

        CxImage ours, theirs;
        ASSERT_TRUE(Reads(file, ours));
        EXPECT_EQ(ours.GetBpp(), c.expectBpp);
        std::string why;
        ASSERT_TRUE(ToolPixels("convert " + path + " -depth 8 pam:-", theirs, &why)) << why;
        if (c.fourBitChannels) {
            // ImageMagick widens a 4-bit v to v << 4 (full 15 gives 240); we replicate the bits
            // (15 gives 255), so each of our channels must be its value with the bits repeated.
            for (std::size_t i = 0; i < theirs.Pixels().size(); ++i) {
                const std::uint8_t t = theirs.Pixels()[i];
                ASSERT_EQ(ours.Pixels()[i], t | t >> 4) << "byte " << i;
            }
            continue;
        }
        EXPECT_TRUE(SamePixels(ours, theirs, &why)) << why;
    }
}

TEST(Bmp, ReadsWhatNetpbmWritesAsNetpbmReadsIt)
{
    ASSERT_TRUE(HaveTool("ppmtobmp") && HaveTool("bmptopnm"));
    TempDir dir;
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u }) {
        WriteFileBytes(dir.File("src.ppm"), ToNetpbm(MakeTestImage(21, 9, bpp)));
        for (const char* kind : { "-windows", "-os2" }) {
            SCOPED_TRACE(std::to_string(bpp) + kind);
            const std::string path = dir.File("out.bmp");
            ASSERT_EQ(RunCommand("ppmtobmp " + std::string(kind) + " -bpp=" + std::to_string(bpp) + " "
                          + dir.File("src.ppm") + " > " + path + " 2>/dev/null"),
                0);
            CxImage ours;
            ASSERT_TRUE(Reads(ReadFileBytes(path), ours));
            EXPECT_EQ(ours.GetBpp(), bpp);
            EXPECT_TRUE(ToolShows("bmptopnm " + path + " 2>/dev/null", ours));
        }
    }
}

TEST(Bmp, OtherToolsReadOurFilesAsWeWroteThem)
{
    ASSERT_TRUE(HaveTool("convert") && HaveTool("bmptopnm"));
    TempDir dir;
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u, 32u }) {
        SCOPED_TRACE(bpp);
        const CxImage img = MakeTestImage(30, 17, bpp);
        Bytes bytes;
        ASSERT_TRUE(img.Encode(bytes, codec::kTypeBmp));
        WriteFileBytes(dir.File("ours.bmp"), bytes);
        for (const std::string& tool : { "convert " + dir.File("ours.bmp") + " -depth 8 pam:-",
                 "bmptopnm " + dir.File("ours.bmp") + " 2>/dev/null" }) {
            EXPECT_TRUE(ToolShows(tool, img));
        }
    }
}

TEST(Bmp, RunLengthStreamsDecodeRunsDeltasAndAbsoluteRuns)
{
    // RLE8, 6 x 4, bottom row first: a run, an odd absolute run (padded), end of line; a delta
    // of (2, 1) then a run that overshoots the row; then end of bitmap: row 3 stays index 0.
    const Bytes rle8 { 2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 9, 5, 0, 1 };
    CxImage img;
    ASSERT_TRUE(Reads(MakeBmp(6, 4, 8, 1, GrayPalette({ 0, 10, 20, 30, 40, 50, 60, 70 }), rle8), img));
    ASSERT_EQ(img.GetBpp(), 8u);
    EXPECT_EQ(img.GetYDPI(), 150);
    const Bytes want8 { 0, 0, 0, 0, 0, 0, /**/ 0, 0, 5, 5, 5, 5, /**/ 0, 0, 0, 0, 0, 0, /**/ 7, 7, 1, 2, 3, 0 };
    EXPECT_EQ(Indices(img), want8);
    EXPECT_EQ(img.GetPixelColor(2, 1).red, 50);
    EXPECT_EQ(img.Palette().size(), 8u);

    // RLE4, 5 x 2: a run alternating two nibbles, end of line, an absolute run of 3 nibbles
    // (2 bytes, already even), then the stream simply ends.
    const Bytes rle4 { 5, 0x12, 0, 0, 0, 3, 0x34, 0x50 };
    ASSERT_TRUE(Reads(MakeBmp(5, 2, 4, 2, GrayPalette({ 0, 1, 2, 3, 4, 5 }), rle4), img));
    ASSERT_EQ(img.GetBpp(), 4u);
    EXPECT_EQ(Indices(img), (Bytes { 3, 4, 5, 0, 0, /**/ 1, 2, 1, 2, 1 }));
}

TEST(Bmp, RunLengthStreamsThatOvershootTheImageAreClipped)
{
    // 3 x 2. Bottom row: a run of 255 and an absolute run of 255, both far past the width; top
    // row: an absolute run of 5, then a delta 200 rows past the top and a run that must not land.
    Bytes stream { 255, 1, 0, 255 };
    stream.insert(stream.end(), 255, 3);
    stream.insert(stream.end(), { 0, /* pad */ 0, 0, /* end of line */ 0, 5, 2, 2, 2, 2, 2, 0, 0, 2, 0, 200, 3, 3 });
    CxImage img;
    ASSERT_TRUE(Reads(MakeBmp(3, 2, 8, 1, GrayPalette({ 0, 1, 2, 3 }), stream), img));
    EXPECT_EQ(Indices(img), (Bytes { 2, 2, 2, /**/ 1, 1, 1 }));
    EXPECT_EQ(img.Palette().size(), 4u);

    // A four-bit stream ending in the middle of an absolute run keeps what it had.
    ASSERT_TRUE(Reads(MakeBmp(4, 1, 4, 2, GrayPalette({ 0, 1 }), { 2, 0x11, 0, 8, 0x11 }), img));
    EXPECT_EQ(Indices(img), (Bytes { 1, 1, 0, 0 }));
}

TEST(Bmp, BitfieldsTopDownRowsAndAlpha)
{
    // 32 bits with 10-10-10 masks and a 2-bit alpha, top-down (negative height), V3-style
    // masks after a 40-byte header (compression 6 carries four masks).
    const std::uint32_t px0 = (1023u << 0) | (512u << 10) | (4u << 20) | (2u << 30);
    const std::uint32_t px1 = (0u << 0) | (1023u << 10) | (1020u << 20) | (3u << 30);
    Bytes rows;
    for (std::uint32_t v : { px0, px1 })
        codec::PutU32LE(rows, v);
    CxImage img;
    ASSERT_TRUE(Reads(MakeBmp(1, -2, 32, 6, Masks({ 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000 }), rows), img));
    ASSERT_EQ(img.GetBpp(), 32u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 255, 128, 1, 170 })); // first row on top
    EXPECT_EQ(img.GetPixelColor(0, 1), (RGBQuad { 0, 255, 255, 255 }));

    // 16 bits, 4-4-4 masks: channels widen by bit replication (0xA -> 0xAA).
    Bytes rows16 { 0x5A, 0x0F, 0, 0 }; // 0x0F5A: red 0xF, green 0x5, blue 0xA
    ASSERT_TRUE(Reads(MakeBmp(1, 1, 16, 3, Masks({ 0x0F00, 0x00F0, 0x000F }), rows16), img));
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 0xFF, 0x55, 0xAA, 255 }));

    // 5-5-5 masks stay depth 16, 5-6-5 becomes 24.
    Bytes rows555 { 0x1F, 0x7C, 0, 0 }; // red 31, blue 31
    ASSERT_TRUE(Reads(MakeBmp(1, 1, 16, 3, Masks({ 0x7C00, 0x03E0, 0x001F }), rows555), img));
    EXPECT_EQ(img.GetBpp(), 16u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 255, 0, 255, 255 }));
    ASSERT_TRUE(Reads(MakeBmp(1, 1, 16, 3, Masks({ 0xF800, 0x07E0, 0x001F }), { 0xE0, 0x07, 0, 0 }), img));
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 0, 255, 0, 255 }));

    const codec::Result gaps = Decode(MakeBmp(1, 1, 16, 3, Masks({ 0x0F0F, 0x00F0, 0xF000 }), rows16), img);
    EXPECT_EQ(gaps.status, codec::Status::Malformed);
    EXPECT_EQ(gaps.message, "the colour masks are not contiguous");
}

TEST(Bmp, ThirtyTwoBitAlphaOfAllZeroMeansOpaque)
{
    Bytes rows { 10, 20, 30, 0, 40, 50, 60, 0 };
    CxImage img;
    ASSERT_TRUE(Reads(MakeBmp(2, 1, 32, 0, {}, rows), img));
    ASSERT_EQ(img.GetBpp(), 32u);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RGBQuad { 30, 20, 10, 255 }));
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 60, 50, 40, 255 }));
    rows[7] = 128;
    ASSERT_TRUE(Reads(MakeBmp(2, 1, 32, 0, {}, rows), img));
    EXPECT_EQ(img.GetPixelColor(0, 0).alpha, 0);
    EXPECT_EQ(img.GetPixelColor(1, 0).alpha, 128);
}

TEST(Bmp, TopDownFileReadsLikeItsBottomUpTwin)
{
    const CxImage img = MakeTestImage(7, 5, 24);
    Bytes bottomUp;
    ASSERT_TRUE(img.Encode(bottomUp, codec::kTypeBmp));
    // Flip the stored rows and negate the height.
    Bytes topDown = bottomUp;
    const std::size_t rowBytes = 24, start = U32At(bottomUp, 10);
    for (std::size_t r = 0; r < 5; ++r)
        std::copy_n(bottomUp.begin() + start + r * rowBytes, rowBytes, topDown.begin() + start + (4 - r) * rowBytes);
    const std::uint32_t negative = static_cast<std::uint32_t>(-5);
    for (int i = 0; i < 4; ++i)
        topDown[22 + i] = static_cast<std::uint8_t>(negative >> (8 * i));
    CxImage back;
    ASSERT_TRUE(Reads(topDown, back));
    EXPECT_TRUE(SamePixels(img, back));
}

TEST(Bmp, IndicesPastAShortPaletteShowBlackWithoutReadingOutside)
{
    // Two palette entries declared, pixels use 1 and 200.
    CxImage img;
    ASSERT_TRUE(Reads(MakeBmp(2, 1, 8, 0, GrayPalette({ 90, 180 }), { 1, 200, 0, 0 }, 2), img));
    EXPECT_EQ(img.GetPixelColor(0, 0).red, 180);
    EXPECT_EQ(img.GetPixelColor(1, 0), (RGBQuad { 0, 0, 0, 255 }));
    ASSERT_GE(img.Palette().size(), 201u);
    // A palette that claims more colours than fit before the pixel data is cut to what fits.
    ASSERT_TRUE(Reads(MakeBmp(2, 1, 8, 0, GrayPalette({ 90, 180 }), { 1, 0, 0, 0 }, 100), img));
    EXPECT_EQ(img.GetPixelColor(0, 0).red, 180);
}

TEST(Bmp, HostileFilesFailWithAReason)
{
    const Bytes good = MakeBmp(4, 4, 24, 0, {}, Bytes(48, 7));
    Bytes offsetPastEnd = good;
    offsetPastEnd[10] = 0xF0;
    Bytes headerSize64 = good;
    headerSize64[14] = 64;
    Bytes zeroWidth = good;
    zeroWidth[18] = 0;
    const std::vector<HostileInput> cases = {
        { "zero-length", {}, codec::Status::Truncated },
        { "truncated-file-header", Bytes(good.begin(), good.begin() + 12), codec::Status::Truncated },
        { "truncated-info-header", Bytes(good.begin(), good.begin() + 30), codec::Status::Malformed },
        { "truncated-rows", Bytes(good.begin(), good.end() - 13), codec::Status::Truncated },
        { "offset-past-end", offsetPastEnd, codec::Status::Malformed },
        { "header-size-64", headerSize64, codec::Status::Unsupported },
        { "zero-width", zeroWidth, codec::Status::Malformed },
        { "bomb-100000x100000", MakeBmp(100000, 100000, 24, 0, {}, Bytes(16)), codec::Status::LimitExceeded },
        { "bomb-10000x10000", MakeBmp(10000, 10000, 24, 0, {}, Bytes(16)), codec::Status::Truncated },
        { "rle8-with-4-bits", MakeBmp(2, 2, 4, 1, GrayPalette({ 0 }), { 0, 1 }), codec::Status::Malformed },
        { "compression-9", MakeBmp(2, 2, 24, 9, {}, Bytes(16)), codec::Status::Unsupported },
        { "bit-count-2", MakeBmp(2, 2, 2, 0, GrayPalette({ 0, 1, 2, 3 }), Bytes(8)), codec::Status::Unsupported },
        { "bitfields-8-bits", MakeBmp(2, 2, 8, 3, Masks({ 1, 2, 4 }), Bytes(8)), codec::Status::Malformed },
        { "truncated-masks", MakeBmp(2, 2, 16, 3, {}, {}), codec::Status::Truncated },
        { "empty-palette", MakeBmp(2, 2, 8, 0, {}, Bytes(8)), codec::Status::Malformed },
    };
    ExpectRefused(codec::BmpDecode, cases);
    // Through the public interface the text names the format.
    CxImage img;
    EXPECT_FALSE(img.Decode(Bytes(good.begin(), good.end() - 13), codec::kTypeBmp));
    EXPECT_STREQ(img.GetLastError(), "BMP: the pixel data is cut short");
    EXPECT_FALSE(img.IsValid());
}

TEST(Bmp, SniffsTheSignature)
{
    EXPECT_TRUE(codec::BmpSniff(MakeBmp(1, 1, 24, 0, {}, Bytes(4))));
    EXPECT_FALSE(codec::BmpSniff(Bytes { 'B' }));
    EXPECT_FALSE(codec::BmpSniff(Bytes { 'M', 'B', 0, 0 }));
    EXPECT_EQ(codec::SniffCodec(MakeBmp(1, 1, 24, 0, {}, Bytes(4)))->type, codec::kTypeBmp);
}
