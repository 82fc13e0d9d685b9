#include "codec/formats/format.h"
#include "codec/ops_helpers.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using codec::CxImage;
using codec::RGBQuad;
using namespace ops_test;
using testing_support::HaveTool;
using testing_support::TempDir;

namespace {

// Gives every pixel of a w x h image its own colour, so a sampled colour names its source.
CxImage Labelled(std::uint32_t w, std::uint32_t h, std::uint32_t bpp = 24)
{
    CxImage img(w, h, bpp);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.SetPixelColor(x,
                y,
                RGBQuad { static_cast<std::uint8_t>(x * 10),
                    static_cast<std::uint8_t>(y * 10),
                    7,
                    static_cast<std::uint8_t>(200 + x) });
    return img;
}

void ExpectSampledFrom(
    const CxImage& out, const CxImage& src, const std::vector<int>& cols, const std::vector<int>& rows)
{
    ASSERT_EQ(out.GetWidth(), cols.size());
    ASSERT_EQ(out.GetHeight(), rows.size());
    for (std::uint32_t y = 0; y < rows.size(); ++y)
        for (std::uint32_t x = 0; x < cols.size(); ++x)
            EXPECT_EQ(out.GetPixelColor(x, y), src.GetPixelColor(cols[x], rows[y])) << "at " << x << "," << y;
}

} // namespace

// Destination (x, y) samples source (floor((x + 0.5) * srcW / newW), floor((y + 0.5) * srcH / newH)).
TEST(OpsResample, NearestShrinkPicksTheMappedPixels)
{
    const CxImage src = Labelled(4, 2);
    CxImage img = src;
    ASSERT_TRUE(img.Resample2(2, 1, codec::kInterpolationNearest));
    // x: (0.5 * 4 / 2) = 1, (1.5 * 4 / 2) = 3; y: 0.5 * 2 / 1 = 1.
    ExpectSampledFrom(img, src, { 1, 3 }, { 1 });
}

TEST(OpsResample, NearestEnlargeRepeatsByTheMapping)
{
    const CxImage src = Labelled(2, 2, 32);
    CxImage img = src;
    ASSERT_TRUE(img.Resample2(5, 5, codec::kInterpolationNearest, codec::kOverflowBackground));
    EXPECT_EQ(img.GetBpp(), 32u);
    // (x + 0.5) * 2 / 5 = 0.2, 0.6, 1.0, 1.4, 1.8: the overflow method plays no part.
    ExpectSampledFrom(img, src, { 0, 0, 1, 1, 1 }, { 0, 0, 1, 1, 1 });
}

TEST(OpsResample, NearestKeepsIndicesPaletteAndTransparency)
{
    std::vector<RGBQuad> pal = { { 1, 2, 3, 255 }, { 9, 9, 9, 255 }, { 200, 0, 0, 255 }, { 0, 0, 250, 255 } };
    pal.resize(16);
    CxImage img = FromIndices(3, 1, 4, pal, { 2, 3, 1 });
    img.SetTransIndex(3);
    img.SetXDPI(150);
    img.SetType(codec::kTypeGif);
    ASSERT_TRUE(img.Resample2(6, 2, codec::kInterpolationNearest));
    EXPECT_EQ(img.GetBpp(), 4u);
    EXPECT_EQ(img.GetTransIndex(), 3);
    EXPECT_EQ(img.Palette(), pal);
    EXPECT_EQ(img.GetXDPI(), 150);
    EXPECT_EQ(img.GetType(), static_cast<std::uint32_t>(codec::kTypeGif));
    const std::vector<std::uint8_t> row = { 2, 2, 3, 3, 1, 1 };
    EXPECT_EQ(std::vector<std::uint8_t>(img.Pixels().begin(), img.Pixels().begin() + 6), row);
    EXPECT_EQ(std::vector<std::uint8_t>(img.Pixels().begin() + 6, img.Pixels().end()), row);
}

TEST(OpsResample, NearestAgreesWithImageMagickSample)
{
    ASSERT_TRUE(HaveTool("convert")) << "ImageMagick is installed by scripts/setup";
    TempDir dir;
    const CxImage src = testing_support::MakeTestImage(37, 23, 24);
    testing_support::WriteFileBytes(dir.File("in.ppm"), testing_support::ToPpm(src));
    const std::pair<int, int> sizes[] = { { 11, 7 }, { 80, 51 }, { 37, 5 }, { 3, 40 } };
    for (auto [w, h] : sizes) {
        CxImage img = src;
        ASSERT_TRUE(img.Resample2(w, h, codec::kInterpolationNearest));
        EXPECT_TRUE(testing_support::ToolShows(
            "convert " + dir.File("in.ppm") + " -sample " + std::to_string(w) + "x" + std::to_string(h) + "! ppm:-",
            img))
            << w << "x" << h;
    }
}

TEST(OpsResample, BicubicOfAConstantImageStaysConstant)
{
    for (std::uint32_t bpp : { 24u, 32u }) {
        const RGBQuad c { 90, 180, 33, bpp == 32 ? std::uint8_t { 140 } : std::uint8_t { 255 } };
        const std::pair<int, int> sizes[] = { { 40, 30 }, { 7, 5 }, { 3, 1 }, { 130, 2 } };
        for (auto [w, h] : sizes) {
            for (bool noAveraging : { false, true }) {
                CxImage img = Filled(37, 23, c, bpp);
                ASSERT_TRUE(
                    img.Resample2(w, h, codec::kInterpolationBicubic, codec::kOverflowRepeat, nullptr, noAveraging));
                ASSERT_EQ(img.GetBpp(), bpp);
                for (std::uint32_t y = 0; y < img.GetHeight(); ++y)
                    for (std::uint32_t x = 0; x < img.GetWidth(); ++x)
                        ASSERT_EQ(img.GetPixelColor(x, y), c)
                            << bpp << " bpp " << w << "x" << h << " at " << x << "," << y;
            }
        }
    }
}

TEST(OpsResample, BicubicAtTheSameSizeIsAnExactCopy)
{
    const CxImage src = testing_support::MakeTestImage(29, 17, 32);
    CxImage img = src;
    ASSERT_TRUE(img.Resample2(29, 17, codec::kInterpolationBicubic, codec::kOverflowBackground));
    std::string why;
    EXPECT_TRUE(testing_support::SamePixels(img, src, &why)) << why;
}

TEST(OpsResample, OverflowBackgroundDarkensTheBorderWhereRepeatDoesNot)
{
    const RGBQuad white { 255, 255, 255, 255 };
    CxImage repeat = Filled(4, 4, white), background = Filled(4, 4, white);
    ASSERT_TRUE(repeat.Resample2(10, 10, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    ASSERT_TRUE(background.Resample2(10, 10, codec::kInterpolationBicubic, codec::kOverflowBackground));
    EXPECT_EQ(repeat.GetPixelColor(0, 0), white);
    EXPECT_LT(background.GetPixelColor(0, 0).red, 250);
    EXPECT_LT(background.GetPixelColor(9, 5).green, 250);
    // Away from the border every tap is inside: (4 + 0.5) * 0.4 - 0.5 = 1.3 reads 0..3.
    EXPECT_EQ(background.GetPixelColor(4, 4), white);

    // With alpha the background is transparent: the border fades but keeps its colour.
    CxImage rgba = Filled(4, 4, RGBQuad { 200, 100, 50, 255 }, 32);
    ASSERT_TRUE(rgba.Resample2(10, 10, codec::kInterpolationBicubic, codec::kOverflowBackground));
    const RGBQuad corner = rgba.GetPixelColor(0, 0);
    EXPECT_LT(corner.alpha, 250);
    EXPECT_GT(corner.alpha, 0);
    EXPECT_EQ(corner.red, 200);
    EXPECT_EQ(corner.green, 100);
    EXPECT_EQ(corner.blue, 50);
}

TEST(OpsResample, BicubicEnlargementAgreesWithImageMagickCatromInside)
{
    ASSERT_TRUE(HaveTool("convert")) << "ImageMagick is installed by scripts/setup";
    TempDir dir;
    const CxImage src = PhotoLike(24, 18, 3);
    testing_support::WriteFileBytes(dir.File("in.ppm"), testing_support::ToPpm(src));
    CxImage expected, img = src;
    std::string why;
    ASSERT_TRUE(testing_support::ToolPixels(
        "convert " + dir.File("in.ppm") + " -filter Catrom -resize 72x54! ppm:-", expected, &why))
        << why;
    ASSERT_TRUE(img.Resample2(72, 54, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    // ImageMagick renormalises its kernel at the border instead of repeating the edge pixel, so
    // compare where every tap is inside (3 output pixels per source pixel, 2 source pixels in).
    int worst = 0;
    for (std::uint32_t y = 6; y < 48; ++y)
        for (std::uint32_t x = 6; x < 66; ++x) {
            const RGBQuad a = img.GetPixelColor(x, y), b = expected.GetPixelColor(x, y);
            worst
                = std::max({ worst, std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue) });
        }
    EXPECT_LE(worst, 1);
}

TEST(OpsResample, ShrinkingAveragesUnlessDisabled)
{
    // A one-pixel white line every tenth column: shrinking 10x by averaging spreads each line
    // over its output pixel (255 / 10), while the four cubic taps at 10x + 3 .. 10x + 6 miss
    // every line.
    CxImage lines(400, 300, 24);
    for (std::uint32_t y = 0; y < 300; ++y)
        for (std::uint32_t x = 0; x < 400; x += 10)
            lines.SetPixelColor(x, y, RGBQuad { 255, 255, 255, 255 });
    CxImage averaged = lines, sampled = lines;
    ASSERT_TRUE(averaged.Resample2(40, 30, codec::kInterpolationBicubic, codec::kOverflowRepeat, nullptr, false));
    ASSERT_TRUE(sampled.Resample2(40, 30, codec::kInterpolationBicubic, codec::kOverflowRepeat, nullptr, true));
    for (std::uint32_t y = 0; y < 30; ++y)
        for (std::uint32_t x = 0; x < 40; ++x) {
            EXPECT_NEAR(averaged.GetPixelColor(x, y).red, 26, 1) << x << "," << y;
            EXPECT_EQ(sampled.GetPixelColor(x, y).red, 0) << x << "," << y;
        }

    // The box runs on alpha-weighted colour: a transparent half lends no colour.
    CxImage rgba(40, 40, 32);
    for (std::uint32_t y = 0; y < 40; ++y)
        for (std::uint32_t x = 0; x < 40; ++x)
            rgba.SetPixelColor(x, y, x % 2 ? RGBQuad { 0, 255, 0, 0 } : RGBQuad { 200, 0, 100, 255 });
    ASSERT_TRUE(rgba.Resample2(4, 4, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    EXPECT_EQ(rgba.GetPixelColor(1, 2), (RGBQuad { 200, 0, 100, 128 }));
}

TEST(OpsResample, BicubicOfIndexedImagesGivesTrueColour)
{
    std::vector<RGBQuad> pal(256);
    pal[0] = { 250, 10, 10, 255 };
    pal[1] = { 10, 10, 250, 255 };
    CxImage img = FromIndices(4, 4, 8, pal, std::vector<std::uint8_t>(16, 1));
    img.Pixels()[0] = 0;
    CxImage copy = img;
    ASSERT_TRUE(img.Resample2(8, 8, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_TRUE(img.Palette().empty());
    EXPECT_GT(img.GetPixelColor(0, 0).red, 200);
    EXPECT_EQ(img.GetPixelColor(7, 7), pal[1]);

    // A transparent index needs alpha.
    copy.SetTransIndex(0);
    ASSERT_TRUE(copy.Resample2(8, 8, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    EXPECT_EQ(copy.GetBpp(), 32u);
    EXPECT_EQ(copy.GetTransIndex(), -1);
    EXPECT_LT(copy.GetPixelColor(0, 0).alpha, 60);
    EXPECT_EQ(copy.GetPixelColor(7, 7).alpha, 255);
}

TEST(OpsResample, SixteenBitResultsStayFiveBitValues)
{
    CxImage img = testing_support::MakeTestImage(40, 30, 16);
    ASSERT_EQ(img.GetBpp(), 16u);
    ASSERT_TRUE(img.Resample2(33, 71, codec::kInterpolationBicubic, codec::kOverflowRepeat));
    EXPECT_EQ(img.GetBpp(), 16u);
    for (std::uint8_t v : img.Pixels())
        ASSERT_EQ(v, codec::Quantize5(v));
}

TEST(OpsResample, DestinationKeepsItsTypeAndTakesTheRest)
{
    CxImage src = testing_support::MakeTestImage(20, 10, 8);
    src.SetXDPI(300);
    src.SetYDPI(200);
    src.SetTransIndex(5);
    src.SetType(codec::kTypeBmp);
    const CxImage before = src;
    CxImage dest(10, 5, 8, codec::kTypeGif);
    ASSERT_TRUE(src.Resample2(10, 5, codec::kInterpolationNearest, codec::kOverflowRepeat, &dest));
    EXPECT_EQ(dest.GetType(), static_cast<std::uint32_t>(codec::kTypeGif));
    EXPECT_EQ(dest.GetBpp(), 8u);
    EXPECT_EQ(dest.Palette(), src.Palette());
    EXPECT_EQ(dest.GetTransIndex(), 5);
    EXPECT_EQ(dest.GetXDPI(), 300);
    EXPECT_EQ(dest.GetYDPI(), 200);
    EXPECT_EQ(dest.GetPixelColor(3, 2), src.GetPixelColor(7, 5)); // (3.5 * 2, 2.5 * 2)
    std::string why;
    EXPECT_TRUE(testing_support::SamePixels(src, before, &why)) << why;
    EXPECT_EQ(src.GetWidth(), 20u);

    // Again into the same destination: its memory is reused and nothing of the last result stays.
    const std::uint8_t* memory = dest.Pixels().data();
    CxImage flipped = src;
    ASSERT_TRUE(flipped.Rotate180());
    ASSERT_TRUE(flipped.Resample2(10, 5, codec::kInterpolationNearest, codec::kOverflowRepeat, &dest));
    EXPECT_EQ(dest.Pixels().data(), memory);
    EXPECT_EQ(dest.GetPixelColor(3, 2), src.GetPixelColor(20 - 1 - 7, 10 - 1 - 5));

    // An empty destination of another depth is resized too.
    CxImage other(codec::kTypePng);
    ASSERT_TRUE(src.Resample2(7, 9, codec::kInterpolationBicubic, codec::kOverflowRepeat, &other));
    EXPECT_EQ(other.GetWidth(), 7u);
    EXPECT_EQ(other.GetHeight(), 9u);
    EXPECT_EQ(other.GetBpp(), 32u); // the source has a transparent index
    EXPECT_EQ(other.GetType(), static_cast<std::uint32_t>(codec::kTypePng));
}

TEST(OpsResample, RefusesBadArgumentsAndLeavesTheImageAlone)
{
    const CxImage src = testing_support::MakeTestImage(8, 8, 24);
    CxImage img = src;
    EXPECT_FALSE(img.Resample2(0, 5));
    EXPECT_STRNE(img.GetLastError(), "");
    EXPECT_FALSE(img.Resample2(5, 0, codec::kInterpolationNearest));
    EXPECT_FALSE(img.Resample2(5, 5, 3));
    EXPECT_FALSE(img.Resample2(5, 5, codec::kInterpolationNearest, 9));
    img.SetLastError("");
    EXPECT_FALSE(img.Resample2(codec::DefaultLimits().maxWidth + 1, 1, codec::kInterpolationNearest));
    EXPECT_STRNE(img.GetLastError(), "");
    EXPECT_FALSE(img.Resample2(1u << 17, 1u << 17, codec::kInterpolationNearest)); // above maxPixels
    std::string why;
    EXPECT_TRUE(testing_support::SamePixels(img, src, &why)) << why;

    CxImage empty;
    EXPECT_FALSE(empty.Resample2(4, 4));
    EXPECT_STRNE(empty.GetLastError(), "");
}
