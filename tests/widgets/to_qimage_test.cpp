#include "widgets/to_qimage.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using widgets::ToQImage;

namespace {

void ExpectSameColours(const codec::CxImage& image, const QImage& converted)
{
    ASSERT_EQ(converted.width(), static_cast<int>(image.GetWidth()));
    ASSERT_EQ(converted.height(), static_cast<int>(image.GetHeight()));
    int wrong = 0;
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            const QRgb q = converted.pixel(static_cast<int>(x), static_cast<int>(y));
            wrong += qRed(q) != c.red || qGreen(q) != c.green || qBlue(q) != c.blue
                || (converted.hasAlphaChannel() && qAlpha(q) != c.alpha);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(ToQImage, EveryDepthKeepsEveryColour)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u, 16u, 24u, 32u }) {
        SCOPED_TRACE(bpp);
        codec::CxImage image = testing_support::MakeTestImage(37, 21, bpp);
        if (bpp == 16) {
            // Built directly: 16-bit channels hold widened 5-bit values.
            const codec::CxImage source = testing_support::MakeTestImage(37, 21, 24);
            ASSERT_TRUE(image.Create(37, 21, 16));
            for (std::uint32_t y = 0; y < 21; ++y)
                for (std::uint32_t x = 0; x < 37; ++x)
                    image.SetPixelColor(x, y, source.GetPixelColor(x, y));
        }
        const QImage converted = ToQImage(image);
        EXPECT_EQ(converted.hasAlphaChannel(), bpp == 32);
        ExpectSameColours(image, converted);
    }
}

TEST(ToQImage, TheTransparentPaletteEntryBecomesClear)
{
    codec::CxImage image(4, 1, 8);
    image.Palette() = { { 10, 20, 30, 255 }, { 200, 100, 50, 255 } };
    image.Pixels() = { 0, 1, 1, 0 };
    image.SetTransIndex(1);
    const QImage converted = ToQImage(image);
    ASSERT_TRUE(converted.hasAlphaChannel());
    EXPECT_EQ(converted.pixel(0, 0), qRgba(10, 20, 30, 255));
    EXPECT_EQ(qAlpha(converted.pixel(1, 0)), 0);
    EXPECT_EQ(qAlpha(converted.pixel(2, 0)), 0);
}

TEST(ToQImage, IndicesPastThePaletteAreBlackAndNoImageIsNull)
{
    codec::CxImage image(2, 1, 8);
    image.Palette() = { { 255, 255, 255, 255 } };
    image.Pixels() = { 0, 200 };
    const QImage converted = ToQImage(image);
    EXPECT_EQ(converted.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(converted.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_TRUE(ToQImage(codec::CxImage()).isNull());
}

} // namespace
