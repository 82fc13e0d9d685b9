#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

std::vector<std::uint8_t> EncodeGif(const CxImage& image)
{
    std::vector<std::uint8_t> out;
    EXPECT_TRUE(image.Encode(out, codec::kTypeGif)) << image.GetLastError();
    return out;
}

/// A true-colour gradient with a transparent rectangle: far more than 256 colours.
CxImage GradientWithHole(std::uint32_t w, std::uint32_t h)
{
    CxImage img = MakeTestImage(w, h, 32);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* p = img.Row(y) + x * 4;
            p[3] = (x >= w / 4 && x < w / 2 && y >= h / 3 && y < h / 2) ? 20 : 255;
        }
    return img;
}

/// The pixel's palette index (indexed images only).
std::uint8_t IndexAt(const CxImage& img, std::uint32_t x, std::uint32_t y)
{
    return img.Row(y)[x];
}

} // namespace

TEST(Gif, SniffsBothVersionsAndNothingElse)
{
    auto sniff = [](const char* text) {
        return codec::GifSniff(codec::ByteView(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)));
    };
    EXPECT_TRUE(sniff("GIF87a\x01"));
    EXPECT_TRUE(sniff("GIF89a"));
    EXPECT_FALSE(sniff("GIF88a"));
    EXPECT_FALSE(sniff("GIF89"));
    EXPECT_FALSE(sniff("gif89a"));

    // Content recognition picks GIF even when asked for nothing in particular.
    CxImage img;
    ASSERT_TRUE(img.Decode(EncodeGif(MakeTestImage(5, 5, 8)), 0)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), codec::kTypeGif);
}

TEST(Gif, IndexedDepthsRoundTripExactlyWithFrameData)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u }) {
        SCOPED_TRACE(bpp);
        CxImage img = MakeTestImage(37, 23, bpp);
        img.SetTransIndex(1);
        img.SetFrameDelay(25);
        img.SetDisposalMethod(2);
        const std::vector<std::uint8_t> bytes = EncodeGif(img);
        ASSERT_GE(bytes.size(), 6u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");

        CxImage back;
        ASSERT_TRUE(back.Decode(bytes, codec::kTypeGif)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.Pixels(), img.Pixels()); // the very same indices
        for (std::size_t i = 0; i < img.Palette().size(); ++i)
            EXPECT_EQ(back.Palette()[i], img.Palette()[i]) << i;
        EXPECT_EQ(back.GetTransIndex(), 1);
        EXPECT_EQ(back.GetFrameDelay(), 25u);
        EXPECT_EQ(back.GetDisposalMethod(), 2);
        EXPECT_EQ(back.GetOffsetX(), 0);
    }
}

TEST(Gif, TrueColourIsReducedOnACopy)
{
    for (std::uint32_t bpp : { 24u, 32u }) {
        SCOPED_TRACE(bpp);
        const CxImage img = MakeTestImage(64, 48, bpp);
        const CxImage before(img, true);
        CxImage back;
        ASSERT_TRUE(back.Decode(EncodeGif(img), codec::kTypeGif)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), 8u);
        EXPECT_EQ(back.GetTransIndex(), -1); // this picture's alpha never drops below 128
        EXPECT_GT(Psnr(img, back), 25.0);
        EXPECT_EQ(img.GetBpp(), bpp);
        EXPECT_TRUE(SamePixels(img, before));
    }
}

TEST(Gif, FewColoursStayExactAndLowAlphaBecomesTransparent)
{
    // Under 256 colours: an exact palette, with one entry kept for the transparent pixels.
    CxImage img(30, 20, 32);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 30; ++x)
            img.SetPixelColor(x,
                y,
                RGBQuad { static_cast<std::uint8_t>(x * 8),
                    static_cast<std::uint8_t>((y % 8) * 12),
                    77,
                    static_cast<std::uint8_t>(x < 3 ? 0
                            : x < 5                 ? 127
                            : x < 7                 ? 128
                                                    : 255) });
    CxImage back;
    ASSERT_TRUE(back.Decode(EncodeGif(img), codec::kTypeGif)) << back.GetLastError();
    ASSERT_GE(back.GetTransIndex(), 0);
    std::string why;
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 30; ++x) {
            const RGBQuad c = back.GetPixelColor(x, y);
            ASSERT_EQ(c.alpha, x < 5 ? 0 : 255) << x << "," << y;
            if (x >= 5) {
                ASSERT_EQ(
                    c, (RGBQuad { static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>((y % 8) * 12), 77 }));
            }
        }

    // Far more colours: reduced, and still transparent exactly where alpha was low.
    const CxImage hole = GradientWithHole(80, 60);
    ASSERT_TRUE(back.Decode(EncodeGif(hole), codec::kTypeGif)) << back.GetLastError();
    ASSERT_GE(back.GetTransIndex(), 0);
    for (std::uint32_t y = 0; y < 60; ++y)
        for (std::uint32_t x = 0; x < 80; ++x)
            ASSERT_EQ(back.GetPixelColor(x, y).alpha == 0, hole.GetPixelColor(x, y).alpha < 128) << x << "," << y;
}

TEST(Gif, ReadsWhatImageMagickAndGifsicleWrite)
{
    ASSERT_TRUE(HaveTool("convert"));
    ASSERT_TRUE(HaveTool("gifsicle"));
    TempDir dir;
    const CxImage src = MakeTestImage(41, 29, 8);
    const std::string source = dir.File("src.ppm");
    WriteFileBytes(source, ToNetpbm(src));
    ASSERT_EQ(RunCommand("convert " + source + " " + dir.File("im.gif")), 0);
    struct Variant {
        std::string name, command;
        std::uint32_t bpp;
    };
    const Variant variants[] = {
        { "im.gif", "", 8 },
        { "im-interlaced.gif", "convert " + source + " -interlace GIF " + dir.File("im-interlaced.gif"), 8 },
        { "im-two.gif", "convert " + source + " -colors 2 " + dir.File("im-two.gif"), 1 },
        { "gs-interlaced.gif", "gifsicle -O2 -i " + dir.File("im.gif") + " -o " + dir.File("gs-interlaced.gif"), 8 },
        { "gs-sixteen.gif", "gifsicle --colors 16 " + dir.File("im.gif") + " -o " + dir.File("gs-sixteen.gif"), 4 },
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        if (!v.command.empty()) {
            ASSERT_EQ(RunCommand(v.command), 0);
        }
        CxImage ours, theirs;
        ASSERT_TRUE(ours.Load(dir.File(v.name), codec::kTypeGif)) << ours.GetLastError();
        std::string why;
        ASSERT_TRUE(ImageMagickPixels(dir.File(v.name), 0, theirs, &why)) << why;
        EXPECT_EQ(ours.GetBpp(), v.bpp);
        EXPECT_TRUE(SameVisible(ours, theirs, false, &why)) << why;
    }
    // The plain copy holds the source's colours exactly.
    CxImage plain;
    ASSERT_TRUE(plain.Load(dir.File("im.gif"), 0));
    EXPECT_TRUE(SamePixels(plain, src));

    // One of the sixteen colours made transparent.
    CxImage sixteen;
    ASSERT_TRUE(sixteen.Load(dir.File("gs-sixteen.gif"), 0));
    const RGBQuad corner = sixteen.GetPixelColor(0, 0);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02x%02x%02x", corner.red, corner.green, corner.blue);
    ASSERT_EQ(RunCommand("gifsicle -t '" + std::string(colour) + "' " + dir.File("gs-sixteen.gif") + " -o "
                  + dir.File("gs-transparent.gif")),
        0);
    CxImage ours, theirs;
    ASSERT_TRUE(ours.Load(dir.File("gs-transparent.gif"), 0)) << ours.GetLastError();
    EXPECT_GE(ours.GetTransIndex(), 0);
    EXPECT_EQ(ours.GetPixelColor(0, 0).alpha, 0);
    std::string why;
    ASSERT_TRUE(ImageMagickPixels(dir.File("gs-transparent.gif"), 0, theirs, &why)) << why;
    EXPECT_TRUE(SameVisible(ours, theirs, true, &why)) << why;
}

TEST(Gif, ImageMagickReadsOurFiles)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    CxImage indexed4 = MakeTestImage(33, 17, 4);
    indexed4.SetTransIndex(2);
    const CxImage images[] = { MakeTestImage(33, 17, 1),
        indexed4,
        MakeTestImage(33, 17, 8),
        MakeTestImage(33, 17, 24),
        GradientWithHole(33, 17) };
    int n = 0;
    for (const CxImage& img : images) {
        SCOPED_TRACE(img.GetBpp());
        const std::string path = dir.File("ours" + std::to_string(n++) + ".gif");
        ASSERT_TRUE(CxImage(img).Save(path, codec::kTypeGif));
        CxImage ours, theirs;
        ASSERT_TRUE(ours.Load(path, 0)) << ours.GetLastError();
        std::string why;
        ASSERT_TRUE(ImageMagickPixels(path, 0, theirs, &why)) << why;
        EXPECT_TRUE(SameVisible(ours, theirs, true, &why)) << why;
        if (img.IsIndexed()) {
            EXPECT_TRUE(SameVisible(img, theirs, true, &why)) << why;
        }
    }
}

TEST(Gif, FrameSitsAtItsOffsetAndIsClippedToTheScreen)
{
    ASSERT_TRUE(HaveTool("gifsicle"));
    TempDir dir;
    CxImage frame = MakeTestImage(6, 4, 4);
    for (std::uint32_t x = 0; x < 6; ++x)
        frame.Row(0)[x] = static_cast<std::uint8_t>(5 + x); // never index 0
    ASSERT_TRUE(frame.Save(dir.File("frame.gif"), codec::kTypeGif));
    ASSERT_EQ(RunCommand("gifsicle -i --logical-screen 12x10 --position 3,5 -d 7 --disposal background "
                  + dir.File("frame.gif") + " -o " + dir.File("placed.gif")),
        0);
    std::vector<std::uint8_t> bytes = ReadFileBytes(dir.File("placed.gif"));
    CxImage img;
    ASSERT_TRUE(img.Decode(bytes, codec::kTypeGif)) << img.GetLastError();
    ASSERT_EQ(img.GetWidth(), 12u);
    ASSERT_EQ(img.GetHeight(), 10u);
    EXPECT_EQ(img.GetOffsetX(), 3);
    EXPECT_EQ(img.GetOffsetY(), 5);
    EXPECT_EQ(img.GetFrameDelay(), 7u);
    EXPECT_EQ(img.GetDisposalMethod(), 2);
    // gifsicle may renumber the colours: compare colours inside, the background index outside.
    for (std::uint32_t y = 0; y < 10; ++y)
        for (std::uint32_t x = 0; x < 12; ++x) {
            if (x >= 3 && x < 9 && y >= 5 && y < 9)
                ASSERT_EQ(img.GetPixelColor(x, y), frame.GetPixelColor(x - 3, y - 5)) << x << "," << y;
            else
                ASSERT_EQ(IndexAt(img, x, y), 0) << x << "," << y;
        }

    // Shrink the logical screen under the (interlaced) frame: the frame is cut, never written past.
    bytes[6] = 5, bytes[7] = 0, bytes[8] = 7, bytes[9] = 0;
    ASSERT_TRUE(img.Decode(bytes, codec::kTypeGif)) << img.GetLastError();
    ASSERT_EQ(img.GetWidth(), 5u);
    ASSERT_EQ(img.GetHeight(), 7u);
    for (std::uint32_t y = 0; y < 7; ++y)
        for (std::uint32_t x = 0; x < 5; ++x) {
            if (x >= 3 && y >= 5)
                ASSERT_EQ(img.GetPixelColor(x, y), frame.GetPixelColor(x - 3, y - 5)) << x << "," << y;
            else
                ASSERT_EQ(IndexAt(img, x, y), 0) << x << "," << y;
        }
}

TEST(Gif, HostileInputsFailWithAText)
{
    codec::DecodeLimits limits;
    CxImage img;
    codec::Result r = codec::GifDecode({}, limits, img);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());
    EXPECT_FALSE(img.Decode(std::vector<std::uint8_t> {}, codec::kTypeGif));

    CxImage src = MakeTestImage(9, 7, 4);
    src.SetTransIndex(3);
    const std::vector<std::uint8_t> good = EncodeGif(src);
    // Every cut before the end of the image data fails with a message; only the trailer may go.
    for (std::size_t n = 0; n + 1 < good.size(); ++n) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        codec::Result cr = codec::GifDecode(cut, limits, img);
        ASSERT_FALSE(cr) << "cut at " << n;
        ASSERT_FALSE(cr.message.empty());
    }
    std::vector<std::uint8_t> noTrailer(good.begin(), good.end() - 1);
    EXPECT_TRUE(codec::GifDecode(noTrailer, limits, img));
    EXPECT_EQ(img.Pixels(), src.Pixels());
    // The screen descriptor's size lies: the screen shrinks to the frame the data holds.
    std::vector<std::uint8_t> huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    ASSERT_TRUE(img.Decode(huge, codec::kTypeGif)) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 9u);
    EXPECT_EQ(img.GetHeight(), 7u);

    // A 16000 x 16000 frame (within the pixel limit) from a few dozen bytes of data.
    std::vector<std::uint8_t> bomb = good;
    const std::size_t descriptor = 13 + 3 * 16 + 8; // header, 16-entry table, control extension
    ASSERT_EQ(bomb[descriptor], 0x2C);
    bomb[descriptor + 5] = bomb[descriptor + 7] = 0x80, bomb[descriptor + 6] = bomb[descriptor + 8] = 0x3E;
    r = codec::GifDecode(bomb, limits, img);
    EXPECT_EQ(r.status, codec::Status::Malformed) << r.message;
    EXPECT_NE(r.message.find("16000 x 16000"), std::string::npos) << r.message;

    // Header, screen descriptor and trailer: no image at all.
    std::vector<std::uint8_t> empty(good.begin(), good.begin() + 13);
    empty[10] = 0; // no global table
    empty.push_back(0x3B);
    r = codec::GifDecode(empty, limits, img);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("no image"), std::string::npos) << r.message;
}
