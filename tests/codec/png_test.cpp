#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "codec/formats/png.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using codec::CxImage;
using codec::RGBQuad;
using codec::Status;
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Encode(const CxImage& image)
{
    return EncodeWith(codec::PngEncode, image);
}

CxImage Decode(const Bytes& bytes)
{
    return DecodeWith(codec::PngDecode, bytes);
}

codec::Result DecodeResult(const Bytes& bytes, const codec::DecodeLimits& limits = codec::DefaultLimits())
{
    CxImage image;
    return codec::PngDecode(bytes, limits, image);
}

// IHDR is the first chunk: its fields sit at fixed offsets.
int BitDepth(const Bytes& png)
{
    return png.at(24);
}
int ColorType(const Bytes& png)
{
    return png.at(25);
}
bool Interlaced(const Bytes& png)
{
    return png.at(28) != 0;
}

bool HasChunk(const Bytes& png, const char* type)
{
    return std::search(png.begin(), png.end(), type, type + 4) != png.end();
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

/// Rewrites the IHDR size and fixes its CRC, so only the size is wrong.
void PatchSize(Bytes& png, std::uint32_t width, std::uint32_t height)
{
    PutU32(png, 16, width);
    PutU32(png, 20, height);
    PutU32(png, 29, Crc32(png.data() + 12, 17));
}

CxImage GrayImage(std::uint32_t width, std::uint32_t height)
{
    CxImage image(width, height, 8);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            image.Row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
    return image;
}

CxImage GrayRamp(std::uint32_t width, std::uint32_t height, std::uint32_t bpp)
{
    CxImage image(width, height, bpp); // Create gives the plain gray ramp palette
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            image.Row(y)[x] = static_cast<std::uint8_t>((x + 3 * y) % (1u << bpp));
    return image;
}

} // namespace

TEST(Png, EveryDepthRoundTripsExactly)
{
    CxImage reversedGray = GrayImage(37, 23);
    for (std::size_t i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(255 - i);
        reversedGray.Palette()[i] = { v, v, v, 255 };
    }
    struct Case {
        const char* name;
        CxImage image;
        int colorType, bitDepth;
        std::uint32_t readBpp;
    };
    const Case cases[] = {
        { "palette 1", MakeTestImage(37, 23, 1), 3, 1, 1 },
        { "black and white", GrayRamp(37, 23, 1), 0, 1, 1 },
        { "palette 4", MakeTestImage(37, 23, 4), 3, 4, 4 },
        { "gray 4", GrayRamp(37, 23, 4), 0, 4, 4 },
        { "palette 8", MakeTestImage(37, 23, 8), 3, 8, 8 },
        { "gray 8", GrayImage(37, 23), 0, 8, 8 },
        { "gray 8, reordered palette", reversedGray, 0, 8, 8 },
        { "16 bits", MakeTestImage(37, 23, 16), 2, 8, 24 },
        { "24 bits", MakeTestImage(37, 23, 24), 2, 8, 24 },
        { "32 bits", MakeTestImage(37, 23, 32), 6, 8, 32 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = Encode(c.image);
        EXPECT_EQ(ColorType(bytes), c.colorType);
        EXPECT_EQ(BitDepth(bytes), c.bitDepth);
        const CxImage back = Decode(bytes);
        EXPECT_EQ(back.GetBpp(), c.readBpp);
        std::string why;
        EXPECT_TRUE(SameColors(back, c.image, 0, &why)) << why;
    }
}

TEST(Png, PaletteTransparencyRoundTrips)
{
    CxImage image = MakeTestImage(40, 30, 8);
    image.Palette()[3].alpha = 128;
    image.Palette()[7].alpha = 0;
    image.SetTransIndex(5);
    Bytes bytes = Encode(image);
    EXPECT_EQ(ColorType(bytes), 3);
    EXPECT_TRUE(HasChunk(bytes, "tRNS"));
    CxImage back = Decode(bytes);
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_EQ(back.GetTransIndex(), 5); // the first fully transparent entry
    EXPECT_EQ(back.Palette()[3].alpha, 128);
    std::string why;
    EXPECT_TRUE(SameColors(back, image, 0, &why)) << why;

    // A transparent index alone, on a gray ramp: must stay a palette image to keep it.
    CxImage gray = GrayRamp(40, 30, 4);
    gray.SetTransIndex(9);
    bytes = Encode(gray);
    EXPECT_EQ(ColorType(bytes), 3);
    back = Decode(bytes);
    EXPECT_EQ(back.GetBpp(), 4u);
    EXPECT_EQ(back.GetTransIndex(), 9);
    EXPECT_TRUE(SameColors(back, gray, 0, &why)) << why;

    // A short palette still covers every index the pixels use.
    CxImage shortPalette = MakeTestImage(20, 10, 8);
    shortPalette.Palette().resize(100);
    bytes = Encode(shortPalette);
    EXPECT_TRUE(SameColors(Decode(bytes), shortPalette, 0, &why)) << why;
}

TEST(Png, DecodesImageMagickFilesLikeImageMagick)
{
    ASSERT_TRUE(HaveTool("convert")) << "imagemagick is installed by scripts/setup";
    TempDir dir;
    const std::string src = dir.File("src.ppm");
    WriteFileBytes(src, ToNetpbm(MakeTestImage(37, 23, 24)));
    const std::string size = " -size 37x23 ";
    const std::string gray = size + "gradient:black-white -depth 8 ";
    const std::string gray16 = size + "gradient:black-white -depth 16 ";
    const std::string alpha = " \\(" + size + "gradient:white-black \\) -alpha off -compose copy-opacity -composite ";
    const std::string colour16 = size + "gradient:red-blue -depth 16 ";
    struct Case {
        const char* name;
        std::string args;
        int colorType, bitDepth;
        bool interlaced, trns;
        std::uint32_t readBpp;
        int tolerance; // 16-bit samples: libpng's fast rounding is off by one for 1 value in 512
    };
    const Case cases[] = {
        { "gray 1",
            gray + "-threshold 50% -define png:bit-depth=1 -define png:color-type=0",
            0,
            1,
            false,
            false,
            1,
            0 },
        { "gray 2", gray + "-depth 2 -define png:bit-depth=2 -define png:color-type=0", 0, 2, false, false, 8, 0 },
        { "gray 4", gray + "-depth 4 -define png:bit-depth=4 -define png:color-type=0", 0, 4, false, false, 4, 0 },
        { "gray 8", gray + "-define png:color-type=0", 0, 8, false, false, 8, 0 },
        { "gray 16", gray16 + "-define png:bit-depth=16 -define png:color-type=0", 0, 16, false, false, 8, 1 },
        { "gray 1 interlaced",
            gray + "-threshold 50% -interlace PNG -define png:bit-depth=1 -define png:color-type=0",
            0,
            1,
            true,
            false,
            1,
            0 },
        { "palette 1", src + " -colors 2 -define png:bit-depth=1 PNG8:", 3, 1, false, false, 1, 0 },
        { "palette 2", src + " -colors 4 -define png:bit-depth=2 PNG8:", 3, 2, false, false, 4, 0 },
        { "palette 4", src + " -colors 16 -define png:bit-depth=4 PNG8:", 3, 4, false, false, 4, 0 },
        { "palette 8", src + " -colors 200 PNG8:", 3, 8, false, false, 8, 0 },
        { "palette 8 with tRNS",
            src
                + " -colors 8 -fill none -draw \"color 0,0 replace\" -fill \"rgba(200,0,0,0.5)\" -draw \"point 3,3\" "
                  "PNG8:",
            3,
            8,
            false,
            true,
            8,
            0 },
        { "palette 4 interlaced",
            src + " -colors 16 -interlace PNG -define png:bit-depth=4 PNG8:",
            3,
            4,
            true,
            false,
            4,
            0 },
        { "gray 8 with tRNS", gray + "-transparent black -define png:color-type=0", 0, 8, false, true, 32, 0 },
        { "gray 16 with tRNS", gray16 + "-transparent black -define png:color-type=0", 0, 16, false, true, 32, 1 },
        { "gray 4 with tRNS",
            gray + "-depth 4 -transparent black -define png:bit-depth=4 -define png:color-type=0",
            0,
            4,
            false,
            true,
            32,
            0 },
        { "gray+alpha 8", gray + alpha + "-define png:color-type=4", 4, 8, false, false, 32, 0 },
        { "gray+alpha 16",
            gray16 + alpha + "-define png:color-type=4 -define png:bit-depth=16",
            4,
            16,
            false,
            false,
            32,
            1 },
        { "RGB 8", src + " PNG24:", 2, 8, false, false, 24, 0 },
        { "RGB 8 interlaced", src + " -interlace PNG PNG24:", 2, 8, true, false, 24, 0 },
        { "RGB 8 with tRNS", src + " -transparent \"rgb(0,0,255)\" PNG24:", 2, 8, false, true, 32, 0 },
        { "RGB 16", colour16 + "PNG48:", 2, 16, false, false, 24, 1 },
        { "RGBA 8", src + alpha + "PNG32:", 6, 8, false, false, 32, 0 },
        { "RGBA 16", colour16 + alpha + "PNG64:", 6, 16, false, false, 32, 1 },
        { "RGBA 16 interlaced", colour16 + alpha + "-interlace PNG PNG64:", 6, 16, true, false, 32, 1 },
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string png = dir.File("case" + std::to_string(index++) + ".png");
        std::string args = c.args;
        // Output prefixes such as PNG8: go right before the file name.
        const bool prefixed = args.size() > 1 && args.back() == ':';
        const std::string command = "convert " + args + (prefixed ? "" : " ") + png;
        ASSERT_EQ(RunCommand(command + " 2>/dev/null"), 0) << command;
        const Bytes bytes = ReadFileBytes(png);
        // Make sure ImageMagick wrote the kind of file this case is about.
        ASSERT_EQ(ColorType(bytes), c.colorType) << command;
        ASSERT_EQ(BitDepth(bytes), c.bitDepth) << command;
        ASSERT_EQ(Interlaced(bytes), c.interlaced) << command;
        ASSERT_EQ(HasChunk(bytes, "tRNS"), c.trns) << command;

        ASSERT_EQ(RunCommand("convert " + png + " " + png + ".pam"), 0);
        CxImage expected;
        std::string why;
        ASSERT_TRUE(ReadNetpbm(png + ".pam", expected, &why)) << why;
        const CxImage ours = Decode(bytes);
        EXPECT_EQ(ours.GetBpp(), c.readBpp);
        EXPECT_TRUE(SameColors(ours, expected, c.tolerance, &why)) << why;
    }
}

TEST(Png, ResolutionRoundTripsInDotsPerInch)
{
    TempDir dir;
    CxImage image = MakeTestImage(16, 8, 24);
    for (int dpi : { 72, 96, 300, 600 }) {
        image.SetXDPI(dpi);
        image.SetYDPI(dpi);
        const CxImage back = Decode(Encode(image));
        EXPECT_EQ(back.GetXDPI(), dpi);
        EXPECT_EQ(back.GetYDPI(), dpi);
    }
    image.SetXDPI(0);
    image.SetYDPI(0);
    const Bytes none = Encode(image);
    EXPECT_FALSE(HasChunk(none, "pHYs"));
    EXPECT_EQ(Decode(none).GetXDPI(), 0);

    ASSERT_TRUE(HaveTool("convert"));
    image.SetXDPI(300);
    image.SetYDPI(150);
    WriteFileBytes(dir.File("ours.png"), Encode(image));
    std::string reported;
    RunCommand("identify -format '%[fx:resolution.x] %[fx:resolution.y] %U' " + dir.File("ours.png"), &reported);
    EXPECT_EQ(reported, "118.11 59.06 PixelsPerCentimeter");

    WriteFileBytes(dir.File("src.ppm"), ToNetpbm(image));
    ASSERT_EQ(
        RunCommand("convert " + dir.File("src.ppm") + " -units PixelsPerInch -density 72 " + dir.File("im.png")), 0);
    const CxImage theirs = Decode(ReadFileBytes(dir.File("im.png")));
    EXPECT_EQ(theirs.GetXDPI(), 72);
    EXPECT_EQ(theirs.GetYDPI(), 72);
}

TEST(Png, SavesAndLoadsThroughTheImageClass)
{
    TempDir dir;
    CxImage image = MakeTestImage(40, 30, 32);
    ASSERT_TRUE(image.Save(dir.File("x.png"), codec::kTypePng)) << image.GetLastError();
    CxImage loaded;
    ASSERT_TRUE(loaded.Load(dir.File("x.png"), codec::kTypeJpg)) << loaded.GetLastError(); // mislabelled
    EXPECT_EQ(loaded.GetType(), codec::kTypePng);
    EXPECT_TRUE(testing_support::SamePixels(loaded, image));
}

TEST(Png, RefusesEmptyTruncatedAndForeignData)
{
    EXPECT_EQ(DecodeResult({}).status, Status::Truncated);
    EXPECT_EQ(DecodeResult({ 0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0 }).status, Status::Malformed);
    EXPECT_FALSE(codec::PngSniff(Bytes { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A }));

    const Bytes full = Encode(MakeTestImage(64, 64, 24));
    ASSERT_TRUE(codec::PngSniff(full));
    for (std::size_t size :
        { std::size_t { 8 }, std::size_t { 20 }, std::size_t { 33 }, full.size() / 2, full.size() - 13 }) {
        const codec::Result r = DecodeResult(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(r.status, Status::Truncated) << size << ": " << r.message;
    }

    CxImage image;
    EXPECT_FALSE(image.Decode(Bytes(full.begin(), full.begin() + 100), codec::kTypePng));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(std::string(image.GetLastError()).rfind("PNG: ", 0), 0u) << image.GetLastError();
}

TEST(Png, RefusesHugeDeclaredSizesBeforeAllocating)
{
    Bytes bomb = Encode(MakeTestImage(16, 16, 24));
    PatchSize(bomb, 100000, 100000);
    codec::Result r = DecodeResult(bomb);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;
    EXPECT_NE(r.message.find("100000 x 100000"), std::string::npos) << r.message;

    // Within the limits, but a few hundred bytes cannot inflate to 256 megapixels.
    PatchSize(bomb, 16000, 16000);
    r = DecodeResult(bomb);
    EXPECT_EQ(r.status, Status::Malformed) << r.message;
    EXPECT_NE(r.message.find("16000 x 16000"), std::string::npos) << r.message;

    // A chunk that claims a gigabyte in a small file is refused before libpng allocates for it.
    Bytes longChunk = Encode(MakeTestImage(16, 16, 24));
    const Bytes splt { 0x3C, 0x00, 0x00, 0x00, 's', 'P', 'L', 'T', 'x', 0, 8, 0, 0 };
    longChunk.insert(longChunk.begin() + 33, splt.begin(), splt.end());
    r = DecodeResult(longChunk);
    EXPECT_EQ(r.status, Status::Truncated) << r.message;
    EXPECT_NE(r.message.find("1006632960"), std::string::npos) << r.message;

    codec::DecodeLimits narrow;
    narrow.maxWidth = 10;
    EXPECT_EQ(DecodeResult(Encode(MakeTestImage(16, 4, 24)), narrow).status, Status::LimitExceeded);
}

TEST(Png, RefusesBadChecksums)
{
    const Bytes good = Encode(MakeTestImage(32, 32, 24));
    const auto idat
        = static_cast<std::size_t>(std::search(good.begin(), good.end(), "IDAT", "IDAT" + 4) - good.begin());

    const std::size_t idatLength = good[idat - 4] << 24 | good[idat - 3] << 16 | good[idat - 2] << 8 | good[idat - 1];
    Bytes badCrc = good;
    badCrc[idat + 4 + idatLength] ^= 0x01;
    codec::Result r = DecodeResult(badCrc);
    EXPECT_EQ(r.status, Status::Malformed) << r.message;
    EXPECT_NE(r.message.find("CRC"), std::string::npos) << r.message;

    Bytes badData = good; // zlib notices before the chunk's CRC is reached
    badData[idat + 10] ^= 0x01;
    EXPECT_EQ(DecodeResult(badData).status, Status::Malformed);

    Bytes badHeaderCrc = good;
    badHeaderCrc[29] ^= 0x80;
    r = DecodeResult(badHeaderCrc);
    EXPECT_EQ(r.status, Status::Malformed) << r.message;
}
