#include "codec/ops_helpers.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using codec::RGBQuad;
using namespace ops_test;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n)
{
    return std::vector<std::uint8_t>(
        b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

} // namespace

TEST(OpsExport, DibHeaderAndRowsOfATinyTrueColourImage)
{
    CxImage img = FromColors(3,
        2,
        { { 1, 2, 3, 255 },
            { 4, 5, 6, 255 },
            { 7, 8, 9, 255 },
            { 10, 11, 12, 255 },
            { 13, 14, 15, 255 },
            { 16, 17, 18, 255 } });
    img.SetXDPI(96);
    img.SetYDPI(300);
    const auto dib = img.CopyToHandle();
    ASSERT_EQ(dib.size(), 40u + 2 * 12);
    EXPECT_EQ(U32(dib, 0), 40u);
    EXPECT_EQ(U32(dib, 4), 3u);
    EXPECT_EQ(U32(dib, 8), 2u);
    EXPECT_EQ(U16(dib, 12), 1);
    EXPECT_EQ(U16(dib, 14), 24);
    EXPECT_EQ(U32(dib, 16), 0u);
    EXPECT_EQ(U32(dib, 20), 24u);
    EXPECT_EQ(U32(dib, 24), 3780u); // 96 / 0.0254 = 3779.5
    EXPECT_EQ(U32(dib, 28), 11811u); // 300 / 0.0254 = 11811.02
    EXPECT_EQ(U32(dib, 32), 0u);
    // Bottom-up BGR rows, each padded from 9 to 12 bytes.
    EXPECT_EQ(Slice(dib, 40, 12), (std::vector<std::uint8_t> { 12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0 }));
    EXPECT_EQ(Slice(dib, 52, 12), (std::vector<std::uint8_t> { 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0 }));

    CxImage rgba = FromColors(1, 1, { { 1, 2, 3, 99 } }, 32);
    const auto dib32 = rgba.CopyToHandle();
    EXPECT_EQ(U16(dib32, 14), 32);
    EXPECT_EQ(Slice(dib32, 40, 4), (std::vector<std::uint8_t> { 3, 2, 1, 99 }));
}

TEST(OpsExport, DibPacksIndexedAndSixteenBitRows)
{
    CxImage bw = FromIndices(10, 1, 1, { { 0, 0, 0, 255 }, { 255, 250, 245, 255 } }, { 1, 0, 1, 1, 0, 0, 0, 0, 1, 1 });
    const auto dib1 = bw.CopyToHandle();
    EXPECT_EQ(U16(dib1, 14), 1);
    EXPECT_EQ(U32(dib1, 32), 2u);
    EXPECT_EQ(Slice(dib1, 40, 8), (std::vector<std::uint8_t> { 0, 0, 0, 0, 245, 250, 255, 0 }));
    ASSERT_EQ(dib1.size(), 40u + 8 + 4);
    EXPECT_EQ(Slice(dib1, 48, 4), (std::vector<std::uint8_t> { 0b10110000, 0b11000000, 0, 0 }));

    std::vector<RGBQuad> pal(16);
    CxImage nib = FromIndices(3, 1, 4, pal, { 0xA, 0x3, 0xF });
    const auto dib4 = nib.CopyToHandle();
    EXPECT_EQ(U32(dib4, 32), 16u);
    EXPECT_EQ(Slice(dib4, 40 + 64, 4), (std::vector<std::uint8_t> { 0xA3, 0xF0, 0, 0 }));

    CxImage five(2, 1, 24);
    five.SetPixelColor(0, 0, { codec::Widen5(31), codec::Widen5(1), codec::Widen5(16), 255 });
    ASSERT_TRUE(five.DecreaseBpp(16, false));
    const auto dib16 = five.CopyToHandle();
    EXPECT_EQ(U16(dib16, 14), 16);
    EXPECT_EQ(U16(dib16, 40), (31 << 10) | (1 << 5) | 16);
    EXPECT_EQ(U16(dib16, 42), 0);
}

TEST(OpsExport, DibDecodesInImageMagickAsTheSamePicture)
{
    ASSERT_TRUE(testing_support::HaveTool("convert")) << "ImageMagick is installed by scripts/setup";
    testing_support::TempDir dir;
    for (std::uint32_t bpp : { 1u, 4u, 8u, 16u, 24u }) {
        CxImage img = testing_support::MakeTestImage(19, 7, bpp);
        const auto dib = img.CopyToHandle();
        // A file header in front makes the bytes a BMP file.
        std::vector<std::uint8_t> file = { 'B', 'M' };
        const std::uint32_t size = static_cast<std::uint32_t>(14 + dib.size());
        const std::uint32_t offset = 14 + 40 + U32(dib, 32) * 4;
        for (std::uint32_t v : { size, 0u, offset })
            for (int i = 0; i < 4; ++i)
                file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        file.insert(file.end(), dib.begin(), dib.end());
        const std::string path = dir.File("x" + std::to_string(bpp) + ".bmp");
        testing_support::WriteFileBytes(path, file);
        EXPECT_TRUE(testing_support::ToolShows("convert " + path + " -depth 8 ppm:-", img)) << bpp;
    }
}

TEST(OpsExport, RgbaOfAPaletteImageWithATransparentIndex)
{
    CxImage img
        = FromIndices(3, 2, 8, { { 10, 20, 30, 255 }, { 40, 50, 60, 255 }, { 70, 80, 90, 128 } }, { 0, 1, 2, 1, 1, 0 });
    img.SetTransIndex(1);
    const auto rgba = img.ExportRGBA();
    EXPECT_EQ(rgba,
        (std::vector<std::uint8_t> { 10,
            20,
            30,
            255,
            40,
            50,
            60,
            0,
            70,
            80,
            90,
            128, //
            40,
            50,
            60,
            0,
            40,
            50,
            60,
            0,
            10,
            20,
            30,
            255 }));

    // True colour: top-down, alpha as stored, never premultiplied.
    CxImage rgb = FromColors(1, 2, { { 1, 2, 3, 255 }, { 200, 100, 50, 10 } }, 32);
    EXPECT_EQ(rgb.ExportRGBA(), (std::vector<std::uint8_t> { 1, 2, 3, 255, 200, 100, 50, 10 }));
    ASSERT_TRUE(rgb.DecreaseBpp(24, false));
    EXPECT_EQ(rgb.ExportRGBA(), (std::vector<std::uint8_t> { 1, 2, 3, 255, 200, 100, 50, 255 }));

    CxImage empty;
    EXPECT_TRUE(empty.ExportRGBA().empty());
    EXPECT_TRUE(empty.CopyToHandle().empty());
}
