#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "codec/formats/jpeg.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using codec::CxImage;
using codec::Status;
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Encode(const CxImage& image)
{
    return EncodeWith(codec::JpegEncode, image);
}

CxImage Decode(const Bytes& bytes)
{
    return DecodeWith(codec::JpegDecode, bytes);
}

codec::Result DecodeResult(const Bytes& bytes, const codec::DecodeLimits& limits = codec::DefaultLimits())
{
    CxImage image;
    return codec::JpegDecode(bytes, limits, image);
}

/// The luma of the colour test picture as an 8-bit image with the standard gray ramp.
CxImage GrayImage(std::uint32_t width, std::uint32_t height)
{
    const CxImage rgb = MakeTestImage(width, height, 24);
    CxImage image(width, height, 8);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const codec::RGBQuad c = rgb.GetPixelColor(x, y);
            image.Row(y)[x] = static_cast<std::uint8_t>((299 * c.red + 587 * c.green + 114 * c.blue + 500) / 1000);
        }
    }
    return image;
}

/// The image's colours at another depth (8: gray values): what its JPEG must be made from.
CxImage Expanded(const CxImage& image, std::uint32_t bpp)
{
    CxImage out(image.GetWidth(), image.GetHeight(), bpp);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            if (bpp == 8)
                out.Row(y)[x] = c.red;
            else
                out.SetPixelColor(x, y, c);
        }
    return out;
}

/// Offsets of every marker `code` outside entropy-coded data (segments are walked, scans skipped).
std::vector<std::size_t> FindMarkers(const Bytes& jpeg, std::uint8_t code)
{
    std::vector<std::size_t> found;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xD9)
            break;
        if (marker == code)
            found.push_back(pos);
        pos += 2 + (jpeg[pos + 2] << 8 | jpeg[pos + 3]);
        if (marker == 0xDA) { // skip the entropy-coded data up to the next real marker
            while (pos + 1 < jpeg.size()
                && !(jpeg[pos] == 0xFF && jpeg[pos + 1] != 0 && (jpeg[pos + 1] < 0xD0 || jpeg[pos + 1] > 0xD7)))
                ++pos;
        }
    }
    return found;
}

std::string Cjpeg(const TempDir& dir, const CxImage& source, const std::string& options, const std::string& name)
{
    const std::string ppm = dir.File(name + ".ppm"), jpg = dir.File(name + ".jpg");
    WriteFileBytes(ppm, ToNetpbm(source));
    EXPECT_EQ(RunCommand("cjpeg " + options + " -outfile " + jpg + " " + ppm), 0) << options;
    return jpg;
}

} // namespace

TEST(Jpeg, TrueColourImagesRoundTripAboveFortyDecibels)
{
    const CxImage rgb = MakeTestImage(96, 64, 24);
    const CxImage back = Decode(Encode(rgb));
    ASSERT_EQ(back.GetWidth(), 96u);
    ASSERT_EQ(back.GetHeight(), 64u);
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_GE(Psnr(rgb, back), 40.0);

    // 16 bits are written as their RGB values, 32 bits without alpha: the same file as 24 bits.
    const CxImage rgb16 = MakeTestImage(96, 64, 16);
    const CxImage rgba = MakeTestImage(96, 64, 32);
    for (const CxImage* image : { &rgb16, &rgba }) {
        const Bytes bytes = Encode(*image);
        EXPECT_EQ(bytes, Encode(Expanded(*image, 24))) << image->GetBpp();
        EXPECT_EQ(Decode(bytes).GetBpp(), 24u);
    }
}

TEST(Jpeg, GrayPaletteImagesAreWrittenAsGray)
{
    const CxImage gray = GrayImage(96, 64);
    const CxImage back = Decode(Encode(gray));
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(back.IsGrayScale());
    EXPECT_GE(Psnr(gray, back), 40.0);

    // Any gray palette, in any order or size, goes through the palette, not the raw indexes.
    CxImage reversed = gray;
    for (std::size_t i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(255 - i);
        reversed.Palette()[i] = { v, v, v, 255 };
    }
    CxImage bw(64, 32, 1);
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x)
            bw.Row(y)[x] = (x / 8 + y / 8) % 2;
    for (const CxImage* image : { &reversed, &bw }) {
        const Bytes bytes = Encode(*image);
        EXPECT_EQ(bytes, Encode(Expanded(*image, 8))) << image->GetBpp();
        EXPECT_EQ(Decode(bytes).GetBpp(), 8u);
    }
}

TEST(Jpeg, ColourPaletteImagesAreExpandedToTrueColour)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u }) {
        const CxImage indexed = MakeTestImage(64, 48, bpp);
        ASSERT_FALSE(indexed.IsGrayScale());
        const Bytes bytes = Encode(indexed);
        EXPECT_EQ(bytes, Encode(Expanded(indexed, 24))) << bpp;
        EXPECT_EQ(Decode(bytes).GetBpp(), 24u);
    }
}

TEST(Jpeg, QualityTradesSizeForFidelity)
{
    const CxImage rgb = MakeTestImage(96, 64, 24);
    Bytes low, high;
    ASSERT_TRUE(codec::JpegEncodeWithQuality(rgb, 30, low));
    ASSERT_TRUE(codec::JpegEncodeWithQuality(rgb, 100, high));
    EXPECT_LT(low.size(), Encode(rgb).size());
    EXPECT_LT(Encode(rgb).size(), high.size());
    EXPECT_LT(Psnr(rgb, Decode(low)), Psnr(rgb, Decode(high)));
}

TEST(Jpeg, DecodesExactlyLikeDjpeg)
{
    ASSERT_TRUE(HaveTool("cjpeg") && HaveTool("djpeg")) << "libjpeg-turbo-progs is installed by scripts/setup";
    TempDir dir;
    const CxImage source = MakeTestImage(61, 45, 24); // odd size: partial blocks on both edges
    std::vector<std::string> files;
    for (const char* options :
        { "", "-progressive", "-sample 1x1", "-restart 1 -quality 60", "-grayscale", "-optimize" })
        files.push_back(Cjpeg(dir, source, options, std::to_string(files.size()) + "c"));
    WriteFileBytes(dir.File("ours.jpg"), Encode(source));
    files.push_back(dir.File("ours.jpg"));

    for (const std::string& jpg : files) {
        SCOPED_TRACE(jpg);
        ASSERT_EQ(RunCommand("djpeg -pnm -outfile " + jpg + ".pnm " + jpg), 0);
        CxImage expected;
        std::string why;
        ASSERT_TRUE(ReadNetpbm(jpg + ".pnm", expected, &why)) << why;
        const CxImage ours = Decode(ReadFileBytes(jpg));
        EXPECT_TRUE(SameColors(ours, expected, 0, &why)) << why;
    }
}

TEST(Jpeg, CmykFilesLoadAsTrueColour)
{
    ASSERT_TRUE(HaveTool("convert")) << "imagemagick is installed by scripts/setup";
    TempDir dir;
    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(MakeTestImage(64, 48, 24)));
    ASSERT_EQ(RunCommand("convert " + dir.File("src.ppm") + " -colorspace CMYK " + dir.File("cmyk.jpg")), 0);
    std::string space;
    RunCommand("identify -format %[colorspace] " + dir.File("cmyk.jpg"), &space);
    ASSERT_EQ(space, "CMYK");
    ASSERT_EQ(RunCommand("convert " + dir.File("cmyk.jpg") + " -colorspace sRGB " + dir.File("ref.ppm")), 0);

    const CxImage ours = Decode(ReadFileBytes(dir.File("cmyk.jpg")));
    CxImage expected;
    std::string why;
    ASSERT_TRUE(ReadNetpbm(dir.File("ref.ppm"), expected, &why)) << why;
    EXPECT_EQ(ours.GetBpp(), 24u);
    EXPECT_GE(Psnr(ours, expected), 45.0);
}

TEST(Jpeg, ResolutionRoundTripsInDotsPerInch)
{
    TempDir dir;
    CxImage rgb = MakeTestImage(32, 16, 24);
    rgb.SetXDPI(300);
    rgb.SetYDPI(300);
    const Bytes withDpi = Encode(rgb);
    CxImage back = Decode(withDpi);
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 300);
    ASSERT_TRUE(HaveTool("convert"));
    WriteFileBytes(dir.File("ours.jpg"), withDpi);
    std::string reported;
    RunCommand("identify -format '%x %y %U' " + dir.File("ours.jpg"), &reported);
    EXPECT_EQ(reported, "300 300 PixelsPerInch");

    rgb.SetXDPI(0);
    rgb.SetYDPI(0);
    EXPECT_EQ(Decode(Encode(rgb)).GetXDPI(), 0);

    // Dots per centimetre, as ImageMagick writes them: 118 /cm is 299.72 dpi.
    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(rgb));
    ASSERT_EQ(
        RunCommand("convert " + dir.File("src.ppm") + " -units PixelsPerCentimeter -density 118 " + dir.File("cm.jpg")),
        0);
    back = Decode(ReadFileBytes(dir.File("cm.jpg")));
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 300);
    // cjpeg writes density unit 0 (aspect ratio only): no resolution, not 1 dpi.
    ASSERT_TRUE(HaveTool("cjpeg"));
    EXPECT_EQ(Decode(ReadFileBytes(Cjpeg(dir, rgb, "", "aspect"))).GetXDPI(), 0);
}

TEST(Jpeg, SavesAndLoadsThroughTheImageClass)
{
    TempDir dir;
    CxImage rgb = MakeTestImage(40, 30, 24);
    ASSERT_TRUE(rgb.Save(dir.File("x.jpeg"), codec::kTypeJpg)) << rgb.GetLastError();
    CxImage loaded;
    ASSERT_TRUE(loaded.Load(dir.File("x.jpeg"), codec::kTypeUnknown)) << loaded.GetLastError();
    EXPECT_EQ(loaded.GetType(), codec::kTypeJpg);
    EXPECT_GE(Psnr(rgb, loaded), 40.0);
    EXPECT_TRUE(codec::JpegSniff(ReadFileBytes(dir.File("x.jpeg"))));
}

TEST(Jpeg, RefusesEmptyAndForeignData)
{
    EXPECT_EQ(DecodeResult({}).status, Status::Truncated);
    EXPECT_EQ(DecodeResult({ 0x89, 'P', 'N', 'G' }).status, Status::Malformed);
    EXPECT_FALSE(codec::JpegSniff(Bytes { 0xFF, 0xD8 }));

    Bytes junk { 0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02 };
    for (int i = 0; i < 200; ++i)
        junk.push_back(static_cast<std::uint8_t>(i * 37));
    const codec::Result r = DecodeResult(junk);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());

    CxImage image;
    EXPECT_FALSE(image.Decode(junk, codec::kTypeJpg));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(std::string(image.GetLastError()).rfind("JPEG: ", 0), 0u) << image.GetLastError();
}

// Policy: a cut file opens with what arrived (libjpeg fills the rest) when at least one band of
// rows, or for a progressive file more than its first scan, was decoded; otherwise it fails.
TEST(Jpeg, TruncatedFilesKeepWhatArrivedOrFail)
{
    const CxImage source = MakeTestImage(64, 256, 24);
    const Bytes full = Encode(source);
    const CxImage complete = Decode(full);

    const Bytes half(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(full.size() / 2));
    CxImage partial;
    ASSERT_TRUE(codec::JpegDecode(half, codec::DefaultLimits(), partial));
    ASSERT_EQ(partial.GetHeight(), 256u);
    for (std::uint32_t y = 0; y < 32; ++y)
        ASSERT_EQ(0, std::memcmp(partial.Row(y), complete.Row(y), partial.GetRowBytes())) << "row " << y;
    EXPECT_LT(Psnr(partial, complete), 40.0); // the lower part really is missing

    const std::vector<std::size_t> sos = FindMarkers(full, 0xDA);
    ASSERT_EQ(sos.size(), 1u);
    const std::size_t scanData = sos[0] + 2 + (full[sos[0] + 2] << 8 | full[sos[0] + 3]);
    const codec::Result noRows
        = DecodeResult(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(scanData + 10)));
    EXPECT_EQ(noRows.status, Status::Truncated) << noRows.message;
    EXPECT_EQ(DecodeResult(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(sos[0]))).status,
        Status::Truncated);

    ASSERT_TRUE(HaveTool("cjpeg"));
    TempDir dir;
    const Bytes progressive = ReadFileBytes(Cjpeg(dir, source, "-progressive", "p"));
    const std::vector<std::size_t> scans = FindMarkers(progressive, 0xDA);
    ASSERT_GT(scans.size(), 3u);
    const Bytes inFirstScan(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(scans[0] + 40));
    EXPECT_EQ(DecodeResult(inFirstScan).status, Status::Truncated);
    const Bytes afterThirdScan(progressive.begin(), progressive.begin() + static_cast<std::ptrdiff_t>(scans[3]));
    CxImage coarse;
    ASSERT_TRUE(codec::JpegDecode(afterThirdScan, codec::DefaultLimits(), coarse));
    EXPECT_GE(Psnr(coarse, complete), 15.0); // a coarse picture, not gray fill
}

TEST(Jpeg, RefusesHugeDeclaredSizeBeforeDecoding)
{
    Bytes bomb = Encode(MakeTestImage(16, 16, 24));
    const std::vector<std::size_t> sof = FindMarkers(bomb, 0xC0);
    ASSERT_EQ(sof.size(), 1u);
    for (std::size_t i = 5; i < 9; i += 2)
        bomb[sof[0] + i] = 0xEA, bomb[sof[0] + i + 1] = 0x60; // 60000 x 60000
    const codec::Result r = DecodeResult(bomb);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;
    EXPECT_NE(r.message.find("60000 x 60000"), std::string::npos) << r.message;
    // Beyond what the format allows at all: libjpeg's own refusal is a limit too.
    for (std::size_t i = 5; i < 9; ++i)
        bomb[sof[0] + i] = 0xFF;
    EXPECT_EQ(DecodeResult(bomb).status, Status::LimitExceeded);

    // Within the limits, but a few hundred bytes of Huffman data cannot cover 64 megapixels.
    for (std::size_t i = 5; i < 9; i += 2)
        bomb[sof[0] + i] = 0x1F, bomb[sof[0] + i + 1] = 0x40; // 8000 x 8000
    const codec::Result tooSmall = DecodeResult(bomb);
    EXPECT_EQ(tooSmall.status, Status::Malformed) << tooSmall.message;
    EXPECT_NE(tooSmall.message.find("8000 x 8000"), std::string::npos) << tooSmall.message;

    codec::DecodeLimits small;
    small.maxPixels = 100;
    EXPECT_EQ(DecodeResult(Encode(MakeTestImage(16, 16, 24)), small).status, Status::LimitExceeded);
}

TEST(Jpeg, ArithmeticCodedFlatImagesAreNotMistakenForBombs)
{
    ASSERT_TRUE(HaveTool("cjpeg"));
    TempDir dir;
    CxImage flat(2048, 2048, 8);
    std::fill(flat.Pixels().begin(), flat.Pixels().end(), std::uint8_t { 200 });
    const Bytes file = ReadFileBytes(Cjpeg(dir, flat, "-arithmetic -grayscale", "flat"));
    ASSERT_LT(file.size() * 8, (2048u / 8) * (2048u / 8)) << "fewer bits than blocks, or the case proves nothing";
    const CxImage back = Decode(file);
    ASSERT_EQ(back.GetWidth(), 2048u);
    EXPECT_EQ(back.GetPixelColor(1000, 1000).red, 200);
}

TEST(Jpeg, RefusesEndlessProgressiveScans)
{
    ASSERT_TRUE(HaveTool("cjpeg"));
    TempDir dir;
    const Bytes file = ReadFileBytes(Cjpeg(dir, MakeTestImage(16, 16, 24), "-progressive", "p"));
    const std::size_t last = FindMarkers(file, 0xDA).back();
    ASSERT_EQ(file[file.size() - 2], 0xFF);
    const Bytes scan(file.begin() + static_cast<std::ptrdiff_t>(last), file.end() - 2);
    Bytes endless(file.begin(), file.end() - 2);
    for (int i = 0; i < 600; ++i)
        endless.insert(endless.end(), scan.begin(), scan.end());
    endless.push_back(0xFF);
    endless.push_back(0xD9);
    const codec::Result r = DecodeResult(endless);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;
}

namespace {

/// A smooth colour picture (slow waves and ramps), the kind reduced decoding is meant for.
CxImage SmoothImage(std::uint32_t width, std::uint32_t height)
{
    CxImage image(width, height, 24);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const double wave = std::sin(x / 23.0) * std::cos(y / 31.0);
            image.SetPixelColor(x,
                y,
                { static_cast<std::uint8_t>(128 + 100 * wave),
                    static_cast<std::uint8_t>(x * 255 / width),
                    static_cast<std::uint8_t>(y * 255 / height),
                    255 });
        }
    return image;
}

codec::LoadHints AtLeast(std::uint32_t width, std::uint32_t height)
{
    codec::LoadHints hints;
    hints.minimumSize = [=](std::uint32_t, std::uint32_t) { return codec::LoadHints::Size { width, height }; };
    return hints;
}

} // namespace

TEST(Jpeg, ScaledDecodeTakesTheSmallestScaleThatCoversTheMinimum)
{
    // 250 x 170: the sides at 1/2, 1/4, 1/8 are 125 x 85, 63 x 43, 32 x 22 (rounded up).
    const Bytes bytes = Encode(SmoothImage(250, 170));
    struct Case {
        std::uint32_t minW, minH, expectW, expectH;
    };
    for (const Case& c : std::vector<Case> { { 32, 22, 32, 22 }, // 1/8, exactly
             { 33, 10, 63, 43 }, // one column more than 1/8 gives: 1/4
             { 10, 43, 63, 43 },
             { 63, 44, 125, 85 }, // one row more than 1/4 gives: 1/2
             { 125, 85, 125, 85 },
             { 126, 85, 250, 170 }, // beyond 1/2: full size
             { 250, 170, 250, 170 },
             { 0, 22, 250, 170 }, // a zero side asks for nothing to be skipped
             { 1000, 1000, 250, 170 } }) {
        CxImage image;
        ASSERT_TRUE(codec::JpegDecodeScaled(bytes, codec::DefaultLimits(), AtLeast(c.minW, c.minH), image));
        EXPECT_EQ(image.GetWidth(), c.expectW) << c.minW << "x" << c.minH;
        EXPECT_EQ(image.GetHeight(), c.expectH) << c.minW << "x" << c.minH;
    }
    EXPECT_EQ(codec::JpegScaleFor(6400, 4800, 800, 600), 8u);
    EXPECT_EQ(codec::JpegScaleFor(4000, 3000, 800, 600), 4u);

    // Gray files scale too, and other formats ignore the hint.
    CxImage gray;
    ASSERT_TRUE(gray.Decode(Encode(GrayImage(96, 64)), codec::kTypeJpg, AtLeast(12, 8)));
    EXPECT_EQ(gray.GetWidth(), 12u);
    EXPECT_EQ(gray.GetBpp(), 8u);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(SmoothImage(96, 64).Encode(png, codec::kTypePng));
    CxImage fromPng;
    ASSERT_TRUE(fromPng.Decode(png, 0, AtLeast(12, 8)));
    EXPECT_EQ(fromPng.GetWidth(), 96u);
}

TEST(Jpeg, ScaledDecodeResampledMatchesTheFullDecodeResampled)
{
    const Bytes bytes = Encode(SmoothImage(640, 480));
    CxImage full = Decode(bytes);
    for (const std::uint32_t side : { 300u, 150u, 80u }) { // 1/2, 1/4, 1/8
        const std::uint32_t h = side * 3 / 4;
        CxImage scaled;
        ASSERT_TRUE(codec::JpegDecodeScaled(bytes, codec::DefaultLimits(), AtLeast(side, h), scaled));
        ASSERT_LT(scaled.GetWidth(), 640u);
        CxImage expected;
        ASSERT_TRUE(full.Resample2(side, h, codec::kInterpolationNearest, codec::kOverflowBackground, &expected));
        ASSERT_TRUE(scaled.Resample2(side, h, codec::kInterpolationNearest, codec::kOverflowBackground));
        EXPECT_GE(Psnr(expected, scaled), 30.0) << side;
    }
}

TEST(Jpeg, ScaledDecodeKeepsTheFullSizeLimits)
{
    // A reduced decode would fit in 300 columns, but the file's own width does not.
    codec::DecodeLimits limits;
    limits.maxWidth = 300;
    CxImage image;
    EXPECT_EQ(codec::JpegDecodeScaled(Encode(SmoothImage(640, 480)), limits, AtLeast(80, 60), image).status,
        Status::LimitExceeded);
}
