#include "codec/ops_helpers.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using codec::RGBQuad;
using namespace ops_test;
using testing_support::SamePixels;

namespace {

// The 3x2 image  a b c / d e f  at a given depth; indexed depths store the letters as indices.
CxImage Letters(std::uint32_t bpp)
{
    if (bpp <= 8) {
        std::vector<RGBQuad> pal(std::size_t { 1 } << bpp);
        for (std::size_t i = 0; i < pal.size(); ++i)
            pal[i] = { static_cast<std::uint8_t>(i * 13), 50, 60, 255 };
        return FromIndices(3, 2, bpp, pal, { 'a' % 16, 'b' % 16, 'c' % 16, 'd' % 16, 'e' % 16, 'f' % 16 });
    }
    std::vector<RGBQuad> c;
    for (char l : std::string("abcdef"))
        c.push_back({ static_cast<std::uint8_t>(l), 1, 2, static_cast<std::uint8_t>(l + 100) });
    return FromColors(3, 2, c, bpp);
}

// The letter at (x, y), read back from its colour.
char LetterAt(const CxImage& img, std::uint32_t x, std::uint32_t y)
{
    const RGBQuad c = img.GetPixelColor(x, y);
    if (img.IsIndexed())
        return static_cast<char>('a' + (img.Pixels()[y * img.GetWidth() + x] - 'a' % 16));
    return static_cast<char>(c.red);
}

std::string Rows(const CxImage& img)
{
    std::string s;
    for (std::uint32_t y = 0; y < img.GetHeight(); ++y) {
        if (y)
            s += '/';
        for (std::uint32_t x = 0; x < img.GetWidth(); ++x)
            s += LetterAt(img, x, y);
    }
    return s;
}

} // namespace

TEST(OpsTransform, QuarterAndHalfTurnsOfA3x2Image)
{
    for (std::uint32_t bpp : { 4u, 8u, 24u, 32u }) {
        const CxImage src = Letters(bpp);
        ASSERT_EQ(Rows(src), "abc/def");
        CxImage left = src, right = src, half = src;
        ASSERT_TRUE(left.RotateLeft());
        ASSERT_TRUE(right.RotateRight());
        ASSERT_TRUE(half.Rotate180());
        EXPECT_EQ(Rows(left), "cf/be/ad") << bpp;
        EXPECT_EQ(Rows(right), "da/eb/fc") << bpp;
        EXPECT_EQ(Rows(half), "fed/cba") << bpp;
        EXPECT_EQ(left.GetBpp(), bpp);
        if (bpp == 32) {
            EXPECT_EQ(right.GetPixelColor(1, 0).alpha, 'a' + 100);
        }
    }
}

TEST(OpsTransform, QuarterTurnsSwapResolution)
{
    CxImage img = Letters(24);
    img.SetXDPI(300);
    img.SetYDPI(100);
    ASSERT_TRUE(img.RotateRight());
    EXPECT_EQ(img.GetXDPI(), 100);
    EXPECT_EQ(img.GetYDPI(), 300);
    ASSERT_TRUE(img.Rotate180());
    EXPECT_EQ(img.GetXDPI(), 100);
}

TEST(OpsTransform, TurnsOfALargeImageComposeToTheIdentity)
{
    // Sizes that are not multiples of the copy tiles.
    const CxImage src = testing_support::MakeTestImage(131, 70, 24);
    CxImage img = src;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(img.RotateRight());
    std::string why;
    EXPECT_TRUE(SamePixels(img, src, &why)) << why;
    ASSERT_TRUE(img.RotateLeft());
    ASSERT_TRUE(img.RotateLeft());
    CxImage half = src;
    ASSERT_TRUE(half.Rotate180());
    EXPECT_TRUE(SamePixels(img, half, &why)) << why;
    EXPECT_EQ(img.GetPixelColor(130, 0), src.GetPixelColor(0, 69));
}

TEST(OpsTransform, TurningIntoADestinationLeavesTheSourceAlone)
{
    CxImage src = Letters(8);
    src.SetTransIndex(2);
    src.SetXDPI(72);
    CxImage dest(codec::kTypeTif);
    ASSERT_TRUE(src.RotateLeft(&dest));
    EXPECT_EQ(Rows(dest), "cf/be/ad");
    EXPECT_EQ(Rows(src), "abc/def");
    EXPECT_EQ(dest.GetTransIndex(), 2);
    EXPECT_EQ(dest.Palette(), src.Palette());
    EXPECT_EQ(dest.GetYDPI(), 72);
    EXPECT_EQ(dest.GetType(), static_cast<std::uint32_t>(codec::kTypeTif));
    CxImage half;
    ASSERT_TRUE(src.Rotate180(&half));
    EXPECT_EQ(Rows(half), "fed/cba");
    CxImage empty;
    EXPECT_FALSE(empty.RotateRight());
    EXPECT_STRNE(empty.GetLastError(), "");
}

TEST(OpsTransform, GrayValuesOfPrimaries)
{
    // (299 R + 587 G + 114 B + 500) / 1000
    CxImage img = FromColors(5,
        1,
        { { 255, 0, 0, 255 }, { 0, 255, 0, 255 }, { 0, 0, 255, 255 }, { 255, 255, 255, 255 }, { 10, 20, 30, 0 } },
        32);
    ASSERT_TRUE(img.GrayScale());
    EXPECT_EQ(img.GetBpp(), 8u);
    EXPECT_EQ(img.Pixels(), (std::vector<std::uint8_t> { 76, 150, 29, 255, 18 }));
    ASSERT_EQ(img.Palette().size(), 256u);
    EXPECT_EQ(img.Palette()[76], (RGBQuad { 76, 76, 76, 255 }));
    EXPECT_TRUE(img.IsGrayScale());
}

TEST(OpsTransform, GrayScaleOfIndexedImages)
{
    CxImage img = FromIndices(3, 1, 4, std::vector<RGBQuad>(16, RGBQuad { 0, 0, 255, 255 }), { 0, 1, 2 });
    img.Palette()[1] = { 255, 0, 0, 255 };
    img.SetTransIndex(2);
    ASSERT_TRUE(img.GrayScale());
    EXPECT_EQ(img.GetBpp(), 8u);
    EXPECT_EQ(img.GetTransIndex(), -1);
    EXPECT_EQ(img.Pixels(), (std::vector<std::uint8_t> { 29, 76, 29 }));

    // Black and white stays 8 bits: 0 and 255.
    CxImage bw = FromIndices(2, 1, 1, { { 0, 0, 0, 255 }, { 255, 255, 255, 255 } }, { 1, 0 });
    ASSERT_TRUE(bw.GrayScale());
    EXPECT_EQ(bw.GetBpp(), 8u);
    EXPECT_EQ(bw.Pixels(), (std::vector<std::uint8_t> { 255, 0 }));
}

namespace {

const RGBQuad kSkin { 220, 170, 140, 255 };
const RGBQuad kRedEye { 200, 30, 40, 255 };
const RGBQuad kShirt { 210, 20, 20, 255 };

// A face-like picture: skin, two small red pupils in dark irises, and a large red shirt below.
CxImage Face()
{
    CxImage img = Filled(200, 160, kSkin);
    auto disc = [&](int cx, int cy, int radius, RGBQuad c) {
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                    img.SetPixelColor(x, y, c);
    };
    disc(70, 50, 8, RGBQuad { 60, 40, 30, 255 });
    disc(130, 50, 8, RGBQuad { 60, 40, 30, 255 });
    disc(70, 50, 4, kRedEye);
    disc(130, 50, 4, kRedEye);
    for (std::uint32_t y = 110; y < 160; ++y)
        for (std::uint32_t x = 20; x < 180; ++x)
            img.SetPixelColor(x, y, kShirt);
    // A thin red line: small, but not round.
    for (std::uint32_t x = 80; x < 120; ++x)
        img.SetPixelColor(x, 90, kShirt);
    return img;
}

} // namespace

TEST(OpsTransform, RedEyeRemovalFixesPupilsOnly)
{
    const CxImage src = Face();
    CxImage img = src;
    ASSERT_TRUE(img.RedEyeRemove());
    for (std::uint32_t y = 0; y < 160; ++y)
        for (std::uint32_t x = 0; x < 200; ++x) {
            const RGBQuad before = src.GetPixelColor(x, y), after = img.GetPixelColor(x, y);
            if (SameColor(before, kRedEye)) {
                EXPECT_EQ(after, (RGBQuad { 35, 30, 40, 255 })) << x << "," << y; // red = mean of green and blue
            } else {
                ASSERT_EQ(after, before) << x << "," << y;
            }
        }
}

TEST(OpsTransform, RedEyeRemovalOnIndexedImagesExpandsOnlyWhenNeeded)
{
    CxImage face = Face();
    ASSERT_TRUE(face.DecreaseBpp(8, false)); // few colours: exact
    CxImage img = face;
    ASSERT_TRUE(img.RedEyeRemove());
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.GetPixelColor(70, 50), (RGBQuad { 35, 30, 40, 255 }));
    EXPECT_EQ(img.GetPixelColor(100, 130), kShirt);

    // Red that is no eye (the shirt, the line) does not make an indexed image grow.
    CxImage noEyes = Face();
    for (std::uint32_t y = 40; y < 60; ++y)
        for (std::uint32_t x = 60; x < 140; ++x)
            noEyes.SetPixelColor(x, y, kSkin);
    ASSERT_TRUE(noEyes.DecreaseBpp(8, false));
    const CxImage before = noEyes;
    ASSERT_TRUE(noEyes.RedEyeRemove());
    EXPECT_EQ(noEyes.GetBpp(), 8u);
    EXPECT_EQ(noEyes.Pixels(), before.Pixels());
}
