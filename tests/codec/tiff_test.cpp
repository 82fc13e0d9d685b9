#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;

namespace {

CxImage BlackAndWhite(std::uint32_t w, std::uint32_t h, bool whiteFirst)
{
    CxImage img(w, h, 1);
    img.Palette()[0] = whiteFirst ? RGBQuad { 255, 255, 255 } : RGBQuad { 0, 0, 0 };
    img.Palette()[1] = whiteFirst ? RGBQuad { 0, 0, 0 } : RGBQuad { 255, 255, 255 };
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = ((x / 3 + y / 2) % 3 == 0) ? 1 : 0;
    return img;
}

CxImage GrayRamp(std::uint32_t w, std::uint32_t h)
{
    CxImage img(w, h, 8);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
    return img;
}

struct Tags {
    std::uint16_t compression = 0, photometric = 0, bps = 0, spp = 0, predictor = 1;
};

Tags ReadTags(const std::string& path)
{
    Tags t;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif)
        return t;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &t.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &t.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &t.predictor);
    TIFFClose(tif);
    return t;
}

/// Finds an entry of the first directory of a little-endian classic TIFF.
std::size_t FindEntry(const std::vector<std::uint8_t>& file, std::uint16_t tag)
{
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(file[at] | file[at + 1] << 8); };
    const std::size_t ifd = file[4] | file[5] << 8 | file[6] << 16 | static_cast<std::size_t>(file[7]) << 24;
    const std::uint16_t n = u16(ifd);
    for (std::size_t i = 0; i < n; ++i)
        if (u16(ifd + 2 + 12 * i) == tag)
            return ifd + 2 + 12 * i;
    return 0;
}

/// Makes a directory entry hold one LONG value.
void PatchLong(std::vector<std::uint8_t>& file, std::uint16_t tag, std::uint32_t value)
{
    const std::size_t at = FindEntry(file, tag);
    ASSERT_NE(at, 0u) << tag;
    file[at + 2] = 4, file[at + 3] = 0; // LONG
    file[at + 4] = 1, file[at + 5] = file[at + 6] = file[at + 7] = 0;
    for (int i = 0; i < 4; ++i)
        file[at + 8 + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

TEST(Tiff, SniffsBothByteOrders)
{
    auto sniff = [](std::vector<std::uint8_t> b) { return codec::TiffSniff(b); };
    EXPECT_TRUE(sniff({ 'I', 'I', 42, 0 }));
    EXPECT_TRUE(sniff({ 'M', 'M', 0, 42 }));
    EXPECT_FALSE(sniff({ 'I', 'I', 0, 42 }));
    EXPECT_FALSE(sniff({ 'M', 'M', 42, 0 }));
    EXPECT_FALSE(sniff({ 'I', 'I', 42 }));
}

TEST(Tiff, EveryDepthRoundTripsExactlyInItsForm)
{
    TempDir dir;
    struct Case {
        const char* name;
        CxImage image;
        std::uint32_t readBpp;
        std::uint16_t compression, photometric, bps;
    };
    CxImage rgb16 = MakeTestImage(45, 31, 24);
    for (auto& v : rgb16.Pixels())
        v = codec::Quantize5(v);
    CxImage as16(45, 31, 16);
    as16.Pixels() = rgb16.Pixels();
    Case cases[] = {
        { "bw", BlackAndWhite(45, 31, false), 1, COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1 },
        { "wb", BlackAndWhite(45, 31, true), 1, COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1 },
        { "1-colour", MakeTestImage(45, 31, 1), 1, COMPRESSION_LZW, PHOTOMETRIC_PALETTE, 1 },
        { "4", MakeTestImage(45, 31, 4), 4, COMPRESSION_LZW, PHOTOMETRIC_PALETTE, 4 },
        { "8", MakeTestImage(45, 31, 8), 8, COMPRESSION_LZW, PHOTOMETRIC_PALETTE, 8 },
        { "gray", GrayRamp(45, 31), 8, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK, 8 },
        { "16", as16, 24, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8 },
        { "24", MakeTestImage(45, 31, 24), 24, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8 },
        { "32", MakeTestImage(45, 31, 32), 32, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8 },
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.image.SetXDPI(300);
        c.image.SetYDPI(150);
        const std::string path = dir.File(std::string(c.name) + ".tif");
        ASSERT_TRUE(c.image.Save(path, codec::kTypeTif)) << c.image.GetLastError();
        CxImage back;
        ASSERT_TRUE(back.Load(path, 0)) << back.GetLastError();
        EXPECT_EQ(back.GetType(), codec::kTypeTif);
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        std::string why;
        EXPECT_TRUE(SameVisible(c.image, back, true, &why)) << why;
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_EQ(back.GetYDPI(), 150);
        const Tags t = ReadTags(path);
        EXPECT_EQ(t.compression, c.compression);
        EXPECT_EQ(t.photometric, c.photometric);
        EXPECT_EQ(t.bps, c.bps);
        if (c.compression == COMPRESSION_ADOBE_DEFLATE) {
            EXPECT_EQ(t.predictor, PREDICTOR_HORIZONTAL);
        }
    }
}

TEST(Tiff, ReadsWhatImageMagickAndTiffcpWrite)
{
    ASSERT_TRUE(HaveTool("convert"));
    ASSERT_TRUE(HaveTool("tiffcp"));
    TempDir dir;
    const std::string rgb = dir.File("src.ppm"), rgba = dir.File("src.pam"), pal = dir.File("pal.ppm");
    WriteFileBytes(rgb, ToNetpbm(MakeTestImage(53, 37, 24)));
    WriteFileBytes(rgba, ToNetpbm(MakeTestImage(53, 37, 32)));
    WriteFileBytes(pal, ToNetpbm(MakeTestImage(53, 37, 8)));
    ASSERT_EQ(RunCommand("convert " + rgb + " -compress none " + dir.File("plain.tif")), 0);
    ASSERT_EQ(RunCommand("convert " + rgb + " -depth 16 -compress zip " + dir.File("rgb16.tif")), 0);
    struct Variant {
        std::string name, command;
        std::uint32_t bpp;
        double minPsnr = 0; ///< lossy files: the least PSNR against ImageMagick's reading
        int tolerance = 0; ///< largest channel difference allowed
    };
    auto im = [&](const std::string& input, const std::string& options, const std::string& name) {
        return "convert " + input + " " + options + " " + dir.File(name);
    };
    auto cp = [&](const std::string& options, const std::string& from, const std::string& name) {
        return "tiffcp " + options + " " + dir.File(from) + " " + dir.File(name);
    };
    const Variant variants[] = {
        { "plain.tif", "", 24 },
        { "rgb16.tif", "", 24 },
        { "g4.tif", im(rgb, "-type bilevel -compress group4", "g4.tif"), 1 },
        { "g3.tif", im(rgb, "-type bilevel -compress fax", "g3.tif"), 1 },
        { "palette.tif", im(pal, "-type palette -compress lzw", "palette.tif"), 8 },
        { "palette16.tif", im(rgb, "-colors 16 -type palette", "palette16.tif"), 4, 0, 1 },
        { "gray.tif", im(rgb, "-colorspace gray -compress zip", "gray.tif"), 8 },
        // ImageMagick truncates 16-bit values where we round (checked exactly below).
        { "gray16.tif", im(rgb, "-colorspace gray -depth 16", "gray16.tif"), 8, 0, 1 },
        { "gray-miniswhite.tif",
            im(rgb, "-colorspace gray -define tiff:photometric=min-is-white", "gray-miniswhite.tif"),
            8 },
        { "packbits.tif", im(rgb, "-compress rle", "packbits.tif"), 24 },
        { "rgba.tif", im(rgba, "-compress lzw", "rgba.tif"), 32 },
        { "rgba16.tif", im(rgba, "-depth 16", "rgba16.tif"), 32 },
        { "gray-alpha.tif", im(rgba, "-colorspace gray", "gray-alpha.tif"), 32 },
        { "associated.tif", im(rgba, "-define tiff:alpha=associated", "associated.tif"), 32, 0, 1 },
        { "jpeg.tif", im(rgb, "-compress jpeg -quality 90", "jpeg.tif"), 24, 40.0 },
        { "cmyk.tif", im(rgb, "-colorspace cmyk", "cmyk.tif"), 24, 40.0 },
        { "lzw-predictor.tif", cp("-c lzw:2", "plain.tif", "lzw-predictor.tif"), 24 },
        { "big-endian16.tif", cp("-B", "rgb16.tif", "big-endian16.tif"), 24 },
        { "rows-per-strip.tif", cp("-r 5 -c zip", "plain.tif", "rows-per-strip.tif"), 24 },
        { "tiled.tif", cp("-t -w 16 -l 16", "plain.tif", "tiled.tif"), 24 },
        { "separate.tif", cp("-p separate", "plain.tif", "separate.tif"), 24 },
        { "tiffcp-jpeg.tif", cp("-c jpeg", "plain.tif", "tiffcp-jpeg.tif"), 24, 40.0 },
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        if (!v.command.empty()) {
            ASSERT_EQ(RunCommand(v.command), 0) << v.command;
        }
        CxImage ours, theirs;
        ASSERT_TRUE(ours.Load(dir.File(v.name), codec::kTypeTif)) << ours.GetLastError();
        std::string why;
        ASSERT_TRUE(ImageMagickPixels(dir.File(v.name), 0, theirs, &why)) << why;
        EXPECT_EQ(ours.GetBpp(), v.bpp);
        if (v.minPsnr > 0)
            EXPECT_GT(Psnr(ours, theirs), v.minPsnr);
        else if (v.tolerance > 0)
            EXPECT_LE(MaxChannelDiff(ours, theirs, true), v.tolerance);
        else
            EXPECT_TRUE(SameVisible(ours, theirs, true, &why)) << why;
    }
}

TEST(Tiff, SixteenBitSamplesAreRoundedToEightBits)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const std::string rgb = dir.File("src.ppm");
    WriteFileBytes(rgb, ToNetpbm(MakeTestImage(31, 7, 24)));
    for (const char* colorspace : { "gray", "sRGB" }) {
        SCOPED_TRACE(colorspace);
        const std::string path = dir.File(std::string(colorspace) + ".tif");
        // Spread the values over all 16 bits so that rounding and truncating differ.
        ASSERT_EQ(RunCommand(
                      "convert " + rgb + " -colorspace " + colorspace + " -depth 16 -evaluate multiply 1.0013 " + path),
            0);
        const bool gray = std::string(colorspace) == "gray";
        ASSERT_EQ(
            RunCommand("convert " + path + " -depth 16 -endian LSB " + (gray ? "gray:" : "rgb:") + path + ".raw"), 0);
        const std::vector<std::uint8_t> raw = ReadFileBytes(path + ".raw");
        ASSERT_EQ(raw.size(), 31u * 7 * 2 * (gray ? 1 : 3));
        CxImage img;
        ASSERT_TRUE(img.Load(path, 0)) << img.GetLastError();
        for (std::size_t i = 0; i < raw.size() / 2; ++i) {
            const unsigned v = raw[2 * i] | raw[2 * i + 1] << 8;
            const std::size_t pixel = gray ? i : i / 3;
            const codec::RGBQuad c
                = img.GetPixelColor(static_cast<std::uint32_t>(pixel % 31), static_cast<std::uint32_t>(pixel / 31));
            const int channel = gray ? c.red : (i % 3 == 0 ? c.red : i % 3 == 1 ? c.green : c.blue);
            ASSERT_EQ(channel, static_cast<int>(v / 257.0 + 0.5)) << "sample " << i << " = " << v;
        }
    }

    // Colour maps too.
    const std::string path = dir.File("palette.tif");
    ASSERT_EQ(RunCommand("convert " + rgb + " -colors 16 -type palette " + path), 0);
    CxImage img;
    ASSERT_TRUE(img.Load(path, 0)) << img.GetLastError();
    ASSERT_EQ(img.GetBpp(), 4u);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b));
    for (int i = 0; i < 16; ++i) {
        auto round = [](std::uint16_t v) { return static_cast<std::uint8_t>(v / 257.0 + 0.5); };
        EXPECT_EQ(img.Palette()[i], (RGBQuad { round(r[i]), round(g[i]), round(b[i]) })) << i;
    }
    TIFFClose(tif);
}

TEST(Tiff, ImageMagickReadsOurFiles)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    const CxImage images[] = {
        BlackAndWhite(29, 19, false),
        MakeTestImage(29, 19, 1),
        MakeTestImage(29, 19, 4),
        MakeTestImage(29, 19, 8),
        GrayRamp(29, 19),
        MakeTestImage(29, 19, 24),
        MakeTestImage(29, 19, 32),
    };
    int n = 0;
    for (const CxImage& img : images) {
        SCOPED_TRACE(n);
        const std::string path = dir.File("ours" + std::to_string(n++) + ".tif");
        ASSERT_TRUE(CxImage(img).Save(path, codec::kTypeTif));
        CxImage theirs;
        std::string why;
        ASSERT_TRUE(ImageMagickPixels(path, 0, theirs, &why)) << why;
        EXPECT_TRUE(SameVisible(img, theirs, true, &why)) << why;
    }
}

TEST(Tiff, LargePagesAreWrittenInStripsThatEveryReaderReads)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    struct Case {
        const char* name;
        CxImage image;
    };
    const Case cases[] = {
        // a megabyte a strip: two or three strips, the last one short
        { "gray", GrayRamp(1501, 1000) },
        { "rgb", MakeTestImage(701, 900, 24) },
        { "rgba", MakeTestImage(600, 1001, 32) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".tif");
        ASSERT_TRUE(CxImage(c.image).Save(path, codec::kTypeTif));
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        EXPECT_GT(TIFFNumberOfStrips(tif), 1u);
        TIFFClose(tif);
        CxImage ours, theirs;
        ASSERT_TRUE(ours.Load(path, 0)) << ours.GetLastError();
        std::string why;
        EXPECT_TRUE(SameVisible(c.image, ours, true, &why)) << why;
        ASSERT_TRUE(ImageMagickPixels(path, 0, theirs, &why)) << why;
        EXPECT_TRUE(SameVisible(c.image, theirs, true, &why)) << why;
    }
}

TEST(Tiff, ResolutionInCentimetresBecomesDotsPerInch)
{
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    ASSERT_EQ(
        RunCommand("convert -size 4x4 xc:red -units PixelsPerCentimeter -density 40x20 " + dir.File("cm.tif")), 0);
    CxImage img;
    ASSERT_TRUE(img.Load(dir.File("cm.tif"), 0)) << img.GetLastError();
    EXPECT_EQ(img.GetXDPI(), 102); // 101.6
    EXPECT_EQ(img.GetYDPI(), 51); // 50.8
}

TEST(Tiff, HostileInputsFailWithAText)
{
    codec::DecodeLimits limits;
    CxImage img;
    codec::Result r = codec::TiffDecode({}, limits, img);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());

    CxImage src = MakeTestImage(11, 9, 24);
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(src.Encode(good, codec::kTypeTif)) << src.GetLastError();
    // Every cut either fails with a message or, if only padding went, gives the same pixels.
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        codec::Result cr = codec::TiffDecode(cut, limits, img);
        if (cr)
            ASSERT_TRUE(SamePixels(img, src)) << "cut at " << n;
        else
            ASSERT_FALSE(cr.message.empty()) << "cut at " << n;
    }

    // Sizes above the limits are refused before anything is allocated.
    std::vector<std::uint8_t> wide = good;
    PatchLong(wide, TIFFTAG_IMAGEWIDTH, 1000000);
    ASSERT_FALSE(img.Decode(wide, codec::kTypeTif));
    EXPECT_NE(std::string(img.GetLastError()).find("limit"), std::string::npos) << img.GetLastError();
    std::vector<std::uint8_t> large = good;
    PatchLong(large, TIFFTAG_IMAGEWIDTH, 200000);
    PatchLong(large, TIFFTAG_IMAGELENGTH, 200000);
    r = codec::TiffDecode(large, limits, img);
    EXPECT_EQ(r.status, codec::Status::LimitExceeded) << r.message;

    // A strip that starts past the end of the file.
    std::vector<std::uint8_t> lost = good;
    PatchLong(lost, TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0);
    r = codec::TiffDecode(lost, limits, img);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());

    // A colour model nobody knows.
    std::vector<std::uint8_t> odd = good;
    const std::size_t at = FindEntry(odd, TIFFTAG_PHOTOMETRIC);
    ASSERT_NE(at, 0u);
    odd[at + 8] = 99;
    r = codec::TiffDecode(odd, limits, img);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.message.empty());
}
