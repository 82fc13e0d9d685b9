#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using codec::CxImage;
using namespace testing_support;

namespace {

constexpr std::uint32_t kPgx = codec::kTypePgx;

std::vector<std::uint8_t> Bytes(const std::string& header, std::initializer_list<std::uint8_t> samples)
{
    std::vector<std::uint8_t> b(header.begin(), header.end());
    b.insert(b.end(), samples);
    return b;
}

std::vector<std::uint8_t> GrayRow(const CxImage& img, std::uint32_t y)
{
    std::vector<std::uint8_t> row;
    for (std::uint32_t x = 0; x < img.GetWidth(); ++x)
        row.push_back(img.GetPixelColor(x, y).red);
    return row;
}

} // namespace

TEST(PgxFormat, WritesEightBitGrayAndReadsItBackExactly)
{
    const CxImage gray = MakeGrayImage(13, 5);
    std::vector<std::uint8_t> bytes;
    CxImage back = RoundTrip(gray, kPgx, &bytes);
    ASSERT_TRUE(back.IsValid()) << back.GetLastError();
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 15), "PG ML + 8 13 5\n");
    EXPECT_EQ(bytes.size(), 15u + 13 * 5);
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(back.IsGrayScale());
    std::string why;
    EXPECT_TRUE(SamePixels(gray, back, &why)) << why;

    // Every other depth becomes luma, the same for a colour and its indexed twin.
    const CxImage colour = MakeTestImage(13, 5, 24);
    for (const CxImage& image : { colour,
             MakeTestImage(13, 5, 32),
             MakeTestImage(13, 5, 16),
             MakeTestImage(13, 5, 8),
             MakeTestImage(13, 5, 1) }) {
        SCOPED_TRACE("bpp " + std::to_string(image.GetBpp()));
        back = RoundTrip(image, kPgx);
        ASSERT_TRUE(back.IsValid()) << back.GetLastError();
        for (std::uint32_t y = 0; y < 5; ++y)
            for (std::uint32_t x = 0; x < 13; ++x) {
                codec::RGBQuad c = image.GetPixelColor(x, y);
                const int luma = (299 * c.red + 587 * c.green + 114 * c.blue + 500) / 1000;
                ASSERT_EQ(back.GetPixelColor(x, y).red, luma) << x << "," << y;
            }
    }
}

TEST(PgxFormat, ScalesDepthsSignsAndByteOrders)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> want;
    };
    const std::vector<Case> cases {
        { Bytes("PG ML + 8 3 1\n", { 0, 128, 255 }), { 0, 128, 255 } },
        { Bytes("PG ML +1 3 1\n", { 0, 1, 0 }), { 0, 255, 0 } },
        { Bytes("PG LM + 4 3 1\n", { 0, 7, 15 }), { 0, 119, 255 } },
        // Signed 8 bits: -128..127 shifted up by 128.
        { Bytes("PG ML - 8 3 1\n", { 0x80, 0x00, 0x7F }), { 0, 128, 255 } },
        // 12 bits, big- and little-endian two-byte samples.
        { Bytes("PG ML + 12 3 1\n", { 0x00, 0x00, 0x08, 0x00, 0x0F, 0xFF }), { 0, 128, 255 } },
        { Bytes("PG LM + 12 3 1\n", { 0x00, 0x00, 0x00, 0x08, 0xFF, 0x0F }), { 0, 128, 255 } },
        // Signed 16 bits written as "-16" with no blank, tabs between numbers.
        { Bytes("PG\tLM -16\t3 1\n", { 0x00, 0x80, 0x00, 0x00, 0xFF, 0x7F }), { 0, 128, 255 } },
        // Values outside the declared depth are clamped.
        { Bytes("PG ML + 10 2 1\n", { 0xFF, 0xFF, 0x02, 0x00 }), { 255, 128 } },
        // A carriage return before the newline.
        { Bytes("PG ML + 8 2 1 \r\n", { 9, 10 }), { 9, 10 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.bytes.begin(), std::find(c.bytes.begin(), c.bytes.end(), '\n')));
        CxImage img = DecodeBytes(c.bytes, kPgx);
        ASSERT_TRUE(img.IsValid()) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 8u);
        EXPECT_EQ(GrayRow(img, 0), c.want);
    }
}

TEST(PgxFormat, HostileFilesFailWithAClearText)
{
    const std::vector<BadInput> bad {
        { "not pgx", Bytes("P5 3 1\n", { 1, 2, 3 }), "no \"PG\"" },
        { "byte order", Bytes("PG MM + 8 3 1\n", { 1, 2, 3 }), "neither ML nor LM" },
        { "no newline", Bytes("PG ML + 8 3 1", {}), "cut short" },
        { "junk after height", Bytes("PG ML + 8 3 1x\n", { 1, 2, 3 }), "does not end with a newline" },
        { "no depth", Bytes("PG ML + x 3 1\n", { 1, 2, 3 }), "bit depth" },
        { "depth 0", Bytes("PG ML + 0 3 1\n", { 1, 2, 3 }), "bit depth of 0" },
        { "depth 17", Bytes("PG ML + 17 1 1\n", { 1, 2, 3, 4 }), "bit depth of 17" },
        { "overlong number", Bytes("PG ML + 8 99999999999 1\n", { 1 }), "no valid width" },
        { "zero height", Bytes("PG ML + 8 3 0\n", {}), "no pixels" },
        { "truncated", Bytes("PG ML + 12 3 1\n", { 0, 1, 0, 2, 0 }), "cut short (5 of 6 bytes)" },
        { "bomb-200000x200000", Bytes("PG ML + 8 200000 200000\n", { 1 }), "above the decoding limit" },
        { "bomb-10000x10000", Bytes("PG ML + 8 10000 10000\n", { 1 }), "cut short" },
    };
    ExpectRefused(bad, kPgx);
    CxImage img;
    EXPECT_FALSE(img.Decode(std::vector<std::uint8_t> {}, kPgx));
}

TEST(PgxFormat, RecognisedOnlyWithItsHeader)
{
    const auto good = Bytes("PG ML + 8 1 1\n", { 5 });
    EXPECT_TRUE(codec::PgxSniff(good));
    EXPECT_TRUE(codec::PgxSniff(Bytes("PG LM -12 1 1\n", { 5, 0 })));
    EXPECT_FALSE(codec::PgxSniff(Bytes("PG XY + 8 1 1\n", { 5 })));
    EXPECT_FALSE(codec::PgxSniff(Bytes("PGML + 8 1 1\n", { 5 })));
    EXPECT_FALSE(codec::PgxSniff(Bytes("PG M", {})));
}

// The JPEG 2000 tools read our files and write files we read, with the same samples.
TEST(PgxFormat, AgreesWithTheJpeg2000Tools)
{
    ASSERT_TRUE(HaveTool("opj_compress"));
    ASSERT_TRUE(HaveTool("opj_decompress"));
    TempDir dir;
    const std::string d = dir.path() + "/";

    // Ours -> lossless codestream -> PGM.
    const CxImage colour = MakeTestImage(37, 21, 24);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(colour.Encode(bytes, kPgx));
    WriteFileBytes(d + "ours.pgx", bytes);
    ASSERT_TRUE(RunTool("opj_compress -i " + d + "ours.pgx -o " + d + "ours.j2k -n 1 > /dev/null"));
    ASSERT_TRUE(RunTool("opj_decompress -i " + d + "ours.j2k -o " + d + "ours.pgm > /dev/null"));
    CxImage viaTools;
    std::string why;
    ASSERT_TRUE(ReadNetpbm(d + "ours.pgm", viaTools, &why)) << why;
    EXPECT_TRUE(SamePixels(DecodeBytes(bytes, kPgx), viaTools, &why)) << why;

    // PGM of 8, 12 and 16 bits -> codestream -> their PGX files -> ours, against the PGM.
    for (std::uint32_t maxval : { 255u, 4095u, 65535u }) {
        SCOPED_TRACE("maxval " + std::to_string(maxval));
        const std::uint32_t w = 29, h = 11;
        NetpbmSamples pgm { w, h, 1, maxval, {} };
        for (std::uint32_t i = 0; i < w * h; ++i)
            pgm.v.push_back(static_cast<std::int32_t>((i * 2654435761u >> 7) % (maxval + 1)));
        WriteFileBytes(d + "in.pgm", ToNetpbm(pgm));
        ASSERT_TRUE(RunTool("opj_compress -i " + d + "in.pgm -o " + d + "in.j2k -n 1 > /dev/null"));
        ASSERT_TRUE(RunTool("opj_decompress -i " + d + "in.j2k -o " + d + "theirs.pgx > /dev/null"));
        // The tool names a component file after its index.
        const auto theirs = ReadFileBytes(d + "theirs_0.pgx");
        ASSERT_FALSE(theirs.empty());
        CxImage img = DecodeBytes(theirs, 0);
        ASSERT_TRUE(img.IsValid()) << img.GetLastError();
        EXPECT_EQ(img.GetType(), kPgx);
        CxImage source;
        ASSERT_TRUE(ReadNetpbm(d + "in.pgm", source, &why)) << why;
        EXPECT_TRUE(SamePixels(source, img, &why)) << why;
    }
}
