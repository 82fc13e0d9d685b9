#include "codec/ops/ops_internal.h"
#include "codec/ops_helpers.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using codec::CxImage;
using codec::RGBQuad;
using namespace ops_test;
using testing_support::Psnr;
using testing_support::SamePixels;

namespace {

std::size_t DistinctColors(const CxImage& img)
{
    std::set<std::uint32_t> seen;
    for (std::uint32_t y = 0; y < img.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < img.GetWidth(); ++x) {
            const RGBQuad c = img.GetPixelColor(x, y);
            seen.insert((c.red << 16) | (c.green << 8) | c.blue);
        }
    return seen.size();
}

} // namespace

TEST(OpsDepth, IncreaseWidensIndicesWithBlackEntries)
{
    CxImage img = FromIndices(3, 1, 1, { { 10, 20, 30, 255 }, { 200, 100, 0, 255 } }, { 1, 0, 1 });
    img.SetTransIndex(0);
    ASSERT_TRUE(img.IncreaseBpp(4));
    EXPECT_EQ(img.GetBpp(), 4u);
    EXPECT_EQ(img.Pixels(), (std::vector<std::uint8_t> { 1, 0, 1 }));
    ASSERT_EQ(img.Palette().size(), 16u);
    EXPECT_EQ(img.Palette()[1], (RGBQuad { 200, 100, 0, 255 }));
    EXPECT_EQ(img.Palette()[15], (RGBQuad { 0, 0, 0, 255 }));
    EXPECT_EQ(img.GetTransIndex(), 0);
}

TEST(OpsDepth, IncreaseExpandsThroughThePalette)
{
    const std::vector<RGBQuad> pal = { { 10, 20, 30, 255 }, { 200, 100, 0, 255 }, { 1, 2, 3, 255 }, { 4, 5, 6, 255 } };
    CxImage img = FromIndices(2, 2, 4, pal, { 0, 1, 2, 3 });
    img.SetTransIndex(2);
    CxImage rgb = img, rgba = img, five = img;
    ASSERT_TRUE(rgb.IncreaseBpp(24));
    EXPECT_EQ(rgb.GetBpp(), 24u);
    EXPECT_EQ(rgb.GetTransIndex(), -1);
    EXPECT_TRUE(rgb.Palette().empty());
    EXPECT_EQ(rgb.Pixels(), (std::vector<std::uint8_t> { 10, 20, 30, 200, 100, 0, 1, 2, 3, 4, 5, 6 }));

    ASSERT_TRUE(rgba.IncreaseBpp(32));
    EXPECT_EQ(
        rgba.Pixels(), (std::vector<std::uint8_t> { 10, 20, 30, 255, 200, 100, 0, 255, 1, 2, 3, 0, 4, 5, 6, 255 }));

    ASSERT_TRUE(five.IncreaseBpp(16));
    EXPECT_EQ(five.GetBpp(), 16u);
    EXPECT_EQ(five.GetPixelColor(1, 0), (RGBQuad { codec::Quantize5(200), codec::Quantize5(100), 0, 255 }));
}

TEST(OpsDepth, IncreaseBetweenTrueColourDepths)
{
    CxImage img = testing_support::MakeTestImage(9, 4, 16);
    const std::vector<std::uint8_t> stored = img.Pixels();
    ASSERT_TRUE(img.IncreaseBpp(24));
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.Pixels(), stored); // a relabel
    ASSERT_TRUE(img.IncreaseBpp(32));
    ASSERT_EQ(img.Pixels().size(), stored.size() / 3 * 4);
    for (std::size_t i = 0; i < stored.size() / 3; ++i) {
        EXPECT_EQ(img.Pixels()[i * 4], stored[i * 3]);
        EXPECT_EQ(img.Pixels()[i * 4 + 3], 255);
    }
    // Not larger: nothing to do. Not a depth: refused.
    EXPECT_TRUE(img.IncreaseBpp(24));
    EXPECT_EQ(img.GetBpp(), 32u);
    EXPECT_FALSE(img.IncreaseBpp(12));
    EXPECT_STRNE(img.GetLastError(), "");
    EXPECT_EQ(img.GetBpp(), 32u);
}

TEST(OpsDepth, RoundTripsThroughTrueColourAreExactForFewColours)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u }) {
        for (bool diffusion : { false, true }) {
            CxImage src = testing_support::MakeTestImage(45, 31, bpp);
            if (bpp == 1)
                src.Palette() = { { 0, 0, 0, 255 }, { 255, 255, 255, 255 } };
            for (std::uint32_t wide : { 24u, 32u }) {
                CxImage img = src;
                ASSERT_TRUE(img.IncreaseBpp(wide));
                ASSERT_TRUE(img.DecreaseBpp(bpp, diffusion));
                EXPECT_EQ(img.GetBpp(), bpp);
                EXPECT_LE(img.Palette().size(), std::size_t { 1 } << bpp);
                std::string why;
                EXPECT_TRUE(SamePixels(img, src, &why))
                    << bpp << " via " << wide << " diffusion " << diffusion << ": " << why;
            }
        }
    }
}

TEST(OpsDepth, IndexedToFewerBitsIsExactWhenTheUsedColoursFit)
{
    std::vector<RGBQuad> pal(256);
    for (int i = 0; i < 256; ++i)
        pal[i] = { static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 77, 255 };
    // Six colours used, one of them transparent, with an opaque twin that must stay apart.
    pal[201] = pal[200];
    std::vector<std::uint8_t> idx;
    const std::uint8_t used[] = { 3, 90, 200, 201, 250, 17 };
    for (int i = 0; i < 60; ++i)
        idx.push_back(used[(i * 7) % 6]);
    CxImage src = FromIndices(12, 5, 8, pal, idx);
    src.SetTransIndex(201);
    CxImage img = src;
    ASSERT_TRUE(img.DecreaseBpp(4, true));
    EXPECT_EQ(img.GetBpp(), 4u);
    std::string why;
    EXPECT_TRUE(SamePixels(img, src, &why)) << why;
    ASSERT_GE(img.GetTransIndex(), 0);
    for (std::size_t i = 0; i < idx.size(); ++i)
        EXPECT_EQ(img.Pixels()[i] == img.GetTransIndex(), idx[i] == 201) << i;
}

TEST(OpsDepth, IndexedToFewerBitsRequantisesManyColours)
{
    CxImage src = testing_support::MakeTestImage(64, 64, 8);
    CxImage img = src;
    ASSERT_TRUE(img.DecreaseBpp(4, false));
    EXPECT_EQ(img.GetBpp(), 4u);
    EXPECT_EQ(img.Palette().size(), 16u);
    for (std::uint8_t p : img.Pixels())
        ASSERT_LT(p, 16);
    EXPECT_GT(Psnr(img, src), 18.0);
    CxImage bw = src;
    ASSERT_TRUE(bw.DecreaseBpp(1, false));
    EXPECT_EQ(bw.Palette(), (std::vector<RGBQuad> { { 0, 0, 0, 255 }, { 255, 255, 255, 255 } }));
    for (std::uint32_t i = 0; i < 64 * 64; ++i) {
        const RGBQuad c = src.GetPixelColor(i % 64, i / 64);
        ASSERT_EQ(bw.Pixels()[i], codec::ops::Luma(c.red, c.green, c.blue) >= 128 ? 1 : 0) << i;
    }
}

TEST(OpsDepth, OneBitFromAGrayRamp)
{
    CxImage ramp(256, 3, 24);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 256; ++x) {
            const auto v = static_cast<std::uint8_t>(x);
            ramp.SetPixelColor(x, y, RGBQuad { v, v, v, 255 });
        }
    CxImage img = ramp;
    ASSERT_TRUE(img.DecreaseBpp(1, false));
    EXPECT_EQ(img.GetBpp(), 1u);
    EXPECT_EQ(img.Palette(), (std::vector<RGBQuad> { { 0, 0, 0, 255 }, { 255, 255, 255, 255 } }));
    for (std::uint32_t x = 0; x < 256; ++x)
        EXPECT_EQ(img.Row(1)[x], x >= 128 ? 1 : 0) << x;

    // Diffused, a flat gray comes out as that share of white dots.
    for (int gray : { 64, 191 }) {
        CxImage flat = Filled(64,
            64,
            RGBQuad { static_cast<std::uint8_t>(gray),
                static_cast<std::uint8_t>(gray),
                static_cast<std::uint8_t>(gray),
                255 });
        ASSERT_TRUE(flat.DecreaseBpp(1, true));
        double white = 0;
        for (std::uint8_t p : flat.Pixels())
            white += p;
        EXPECT_NEAR(white / (64 * 64), gray / 255.0, 0.02) << gray;
    }
}

TEST(OpsDepth, EightBitsWithDiffusionKeepPhotosClose)
{
    const CxImage src = PhotoLike(320, 240);
    ASSERT_GT(DistinctColors(src), 5000u);
    CxImage diffused = src, plain = src;
    ASSERT_TRUE(diffused.DecreaseBpp(8, true));
    ASSERT_TRUE(plain.DecreaseBpp(8, false));
    EXPECT_EQ(diffused.GetBpp(), 8u);
    EXPECT_LE(diffused.Palette().size(), 256u);
    EXPECT_GE(Psnr(diffused, src), 30.0);
    EXPECT_GE(Psnr(plain, src), 30.0);
    CxImage four = src;
    ASSERT_TRUE(four.DecreaseBpp(4, true));
    EXPECT_EQ(four.Palette().size(), 16u);
    EXPECT_GE(Psnr(four, src), 20.0);
}

TEST(OpsDepth, EightBitsWithDiffusionKeepAPlasmaFractalClose)
{
    ASSERT_TRUE(testing_support::HaveTool("convert")) << "ImageMagick is installed by scripts/setup";
    CxImage src;
    std::string why;
    ASSERT_TRUE(testing_support::ToolPixels("convert -seed 7 -size 256x256 plasma:fractal -depth 8 ppm:-", src, &why))
        << why;
    ASSERT_GT(DistinctColors(src), 1000u);
    CxImage img = src;
    ASSERT_TRUE(img.DecreaseBpp(8, true));
    EXPECT_GE(Psnr(img, src), 30.0);
}

TEST(OpsDepth, ReducesIntoAGivenPalette)
{
    const RGBQuad pal[]
        = { { 255, 0, 0, 255 }, { 0, 255, 0, 255 }, { 0, 0, 255, 255 }, { 0, 0, 0, 255 }, { 9, 9, 9, 255 } };
    CxImage img
        = FromColors(4, 1, { { 200, 30, 30, 255 }, { 20, 20, 20, 255 }, { 10, 40, 250, 255 }, { 90, 200, 60, 255 } });
    ASSERT_TRUE(img.DecreaseBpp(4, false, pal, 4)); // the fifth entry is not offered
    EXPECT_EQ(img.Palette(), std::vector<RGBQuad>(pal, pal + 4));
    EXPECT_EQ(img.Pixels(), (std::vector<std::uint8_t> { 0, 3, 2, 1 }));

    // An indexed image of the same depth is remapped into the palette given.
    CxImage indexed = FromIndices(2, 1, 4, { { 250, 5, 5, 255 }, { 3, 3, 3, 255 } }, { 1, 0 });
    ASSERT_TRUE(indexed.DecreaseBpp(4, false, pal, 4));
    EXPECT_EQ(indexed.Pixels(), (std::vector<std::uint8_t> { 3, 0 }));

    EXPECT_FALSE(img.DecreaseBpp(1, false, pal, 0));
    EXPECT_STRNE(img.GetLastError(), "");
}

TEST(OpsDepth, ToSixteenBitsQuantisesChannels)
{
    CxImage src = Filled(40, 40, RGBQuad { 100, 100, 100, 255 });
    CxImage plain = src, diffused = src;
    ASSERT_TRUE(plain.DecreaseBpp(16, false));
    EXPECT_EQ(plain.GetBpp(), 16u);
    for (std::uint8_t v : plain.Pixels())
        ASSERT_EQ(v, codec::Quantize5(100));
    ASSERT_TRUE(diffused.DecreaseBpp(16, true));
    double sum = 0;
    std::set<int> values;
    for (std::uint8_t v : diffused.Pixels()) {
        ASSERT_EQ(v, codec::Quantize5(v));
        sum += v;
        values.insert(v);
    }
    EXPECT_NEAR(sum / diffused.Pixels().size(), 100.0, 0.5); // diffusion keeps the mean
    EXPECT_GT(values.size(), 1u);
}

TEST(OpsDepth, From32BitsAlphaIsDropped)
{
    CxImage img = FromColors(2, 1, { { 10, 20, 30, 0 }, { 40, 50, 60, 128 } }, 32);
    ASSERT_TRUE(img.DecreaseBpp(24, false));
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_EQ(img.Pixels(), (std::vector<std::uint8_t> { 10, 20, 30, 40, 50, 60 }));
}

TEST(OpsDepth, RefusesDepthsItCannotMake)
{
    CxImage img = testing_support::MakeTestImage(4, 4, 24);
    EXPECT_FALSE(img.DecreaseBpp(2, false));
    EXPECT_FALSE(img.DecreaseBpp(32, false));
    EXPECT_STRNE(img.GetLastError(), "");
    EXPECT_EQ(img.GetBpp(), 24u);
    EXPECT_TRUE(img.DecreaseBpp(24, false)); // the same depth: nothing to do
    CxImage empty;
    EXPECT_FALSE(empty.DecreaseBpp(8, false));
    EXPECT_FALSE(empty.IncreaseBpp(24));
}

TEST(OpsDepth, NearestColourLookupMatchesAFullSearch)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 4; ++round) {
        // Clustered palettes stress the pruning more than spread ones; duplicates test the ties.
        std::vector<RGBQuad> pal;
        const int n = round == 0 ? 1 : round == 1 ? 7 : 256;
        for (int i = 0; i < n; ++i) {
            const int spread = round == 3 ? 12 : 255;
            pal.push_back({ static_cast<std::uint8_t>(round == 3 ? 120 + byte(rng) % spread : byte(rng)),
                static_cast<std::uint8_t>(round == 3 ? 60 + byte(rng) % spread : byte(rng)),
                static_cast<std::uint8_t>(byte(rng)),
                255 });
        }
        if (n > 2)
            pal[n - 1] = pal[0];
        codec::ops::NearestColorMap map(pal);
        for (int k = 0; k < 20000; ++k) {
            const int r = byte(rng), g = byte(rng), b = byte(rng);
            int best = 0, bestDist = 1 << 30;
            for (int i = 0; i < n; ++i) {
                const int d = (pal[i].red - r) * (pal[i].red - r) + (pal[i].green - g) * (pal[i].green - g)
                    + (pal[i].blue - b) * (pal[i].blue - b);
                if (d < bestDist)
                    bestDist = d, best = i;
            }
            ASSERT_EQ(map.Find(r, g, b), best) << "round " << round << " colour " << r << "," << g << "," << b;
        }
    }
}
