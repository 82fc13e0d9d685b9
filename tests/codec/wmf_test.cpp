// Windows metafiles: exact round trips through our bitmap reader, the written structure,
// ImageMagick reading our files, vector records through libwmf, composed bitmaps, hostile files.

#include "codec/codec_helpers.h"
#include "codec/formats/bytes.h"
#include "codec/formats/format.h"
#include "codec/formats/wmf.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

using namespace codec;
using namespace testing_support;

namespace {

constexpr std::uint16_t kRop[2] = { 0x0020, 0x00CC }; // SRCCOPY, low word first

/// Builds metafiles record by record; parameters are 16-bit words in file order.
class MetafileBuilder {
public:
    MetafileBuilder& Record(
        std::uint16_t function, std::vector<std::uint16_t> words, const std::vector<std::uint8_t>& tail = {})
    {
        const std::uint32_t size = static_cast<std::uint32_t>(3 + words.size() + tail.size() / 2);
        maxWords_ = std::max(maxWords_, size);
        PutU32LE(body_, size);
        PutU16LE(body_, function);
        for (std::uint16_t w : words)
            PutU16LE(body_, w);
        body_.insert(body_.end(), tail.begin(), tail.end());
        return *this;
    }
    MetafileBuilder& Objects(std::uint16_t n)
    {
        objects_ = n;
        return *this;
    }
    /// With a placeable header when `frame` is given: left, top, right, bottom, units per inch.
    std::vector<std::uint8_t> Build(std::optional<std::array<std::int16_t, 5>> frame) const
    {
        std::vector<std::uint8_t> f;
        if (frame) {
            PutU32LE(f, 0x9AC6CDD7);
            PutU16LE(f, 0);
            for (int i = 0; i < 5; ++i)
                PutU16LE(f, static_cast<std::uint16_t>((*frame)[i]));
            PutU32LE(f, 0);
            std::uint16_t sum = 0;
            for (int i = 0; i < 10; ++i)
                sum ^= static_cast<std::uint16_t>(f[2 * i] | (f[2 * i + 1] << 8));
            PutU16LE(f, sum);
        }
        PutU16LE(f, 1);
        PutU16LE(f, 9);
        PutU16LE(f, 0x0300);
        PutU32LE(f, static_cast<std::uint32_t>(9 + body_.size() / 2 + 3));
        PutU16LE(f, objects_);
        PutU32LE(f, maxWords_);
        PutU16LE(f, 0);
        f.insert(f.end(), body_.begin(), body_.end());
        PutU32LE(f, 3);
        PutU16LE(f, 0);
        return f;
    }

private:
    std::vector<std::uint8_t> body_;
    std::uint32_t maxWords_ = 3;
    std::uint16_t objects_ = 0;
};

std::uint16_t W(int v)
{
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
}

std::vector<std::uint8_t> Encode(const CxImage& img)
{
    std::vector<std::uint8_t> out;
    Result r = WmfEncode(img, out);
    EXPECT_TRUE(r) << r.message;
    return out;
}

/// The device-independent bitmap our writer puts in its StretchDIB record.
std::vector<std::uint8_t> DibOf(const CxImage& img)
{
    const std::vector<std::uint8_t> f = Encode(img);
    const std::size_t at = 22 + 18 + 10 + 10 + 6 + 22;
    return std::vector<std::uint8_t>(f.begin() + at, f.end() - 6);
}

/// A red rectangle with no outline on a white page: vector records only. `scale` multiplies
/// every logical coordinate; `mapMode` 0 leaves the placeable default.
std::vector<std::uint8_t> RectangleMetafile(bool placeable, int scale, std::uint16_t mapMode)
{
    MetafileBuilder b;
    if (mapMode)
        b.Record(0x0103, { mapMode });
    b.Record(0x020B, { 0, 0 }); // window origin y, x
    b.Record(0x020C, { W(50 * scale), W(100 * scale) }); // window extent y, x
    b.Record(0x02FC, { 0, 0x00FF, 0x0000, 0 }); // solid brush, colour 0x000000FF (red)
    b.Record(0x012D, { 0 });
    b.Record(0x02FA, { 5, 0, 0, 0, 0 }); // null pen
    b.Record(0x012D, { 1 });
    b.Record(0x041B, { W(40 * scale), W(60 * scale), W(10 * scale), W(20 * scale) }); // bottom, right, top, left
    b.Objects(2);
    return b.Build(placeable ? std::optional(std::array<std::int16_t, 5> { 0,
                       0,
                       static_cast<std::int16_t>(100 * scale),
                       static_cast<std::int16_t>(50 * scale),
                       static_cast<std::int16_t>(96 * scale) })
                             : std::nullopt);
}

bool IsColour(const CxImage& img, std::uint32_t x, std::uint32_t y, RGBQuad want)
{
    const RGBQuad c = img.GetPixelColor(x, y);
    return c.red == want.red && c.green == want.green && c.blue == want.blue;
}

constexpr RGBQuad kRed { 255, 0, 0, 255 };
constexpr RGBQuad kWhite { 255, 255, 255, 255 };

} // namespace

TEST(WmfRoundTrip, BitmapsComeBackExactAtTheirDepth)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u }) {
        for (std::uint32_t w : { 1u, 13u, 31u }) {
            const CxImage src = MakeTestImage(w, 9, bpp);
            CxImage back;
            ASSERT_TRUE(back.Decode(Encode(src), 0)) << back.GetLastError();
            EXPECT_EQ(back.GetType(), kTypeWmf);
            EXPECT_EQ(back.GetBpp(), bpp);
            if (bpp <= 8) {
                EXPECT_EQ(back.Palette(), src.Palette());
            }
            std::string why;
            EXPECT_TRUE(SamePixels(src, back, &why)) << bpp << " bpp, width " << w << ": " << why;
        }
    }
}

TEST(WmfRoundTrip, OtherDepthsTakeTheNearestBitmapDepth)
{
    std::string why;
    CxImage back;

    const CxImage rgba = MakeTestImage(20, 11, 32);
    ASSERT_TRUE(WmfDecode(Encode(rgba), DecodeLimits {}, back));
    EXPECT_EQ(back.GetBpp(), 32u);
    EXPECT_TRUE(SamePixels(rgba, back, &why)) << why;

    CxImage opaque = MakeTestImage(20, 11, 24);
    CxImage opaque32(20, 11, 32);
    for (std::uint32_t y = 0; y < 11; ++y)
        for (std::uint32_t x = 0; x < 20; ++x)
            opaque32.SetPixelColor(x, y, opaque.GetPixelColor(x, y));
    ASSERT_TRUE(WmfDecode(Encode(opaque32), DecodeLimits {}, back));
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_TRUE(SamePixels(opaque, back, &why)) << why;

    CxImage c16(17, 5, 16);
    for (std::uint32_t y = 0; y < 5; ++y)
        for (std::uint32_t x = 0; x < 17; ++x)
            c16.SetPixelColor(x, y, RGBQuad { std::uint8_t(x * 15), std::uint8_t(y * 60), std::uint8_t(200 - x), 255 });
    ASSERT_TRUE(WmfDecode(Encode(c16), DecodeLimits {}, back));
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_TRUE(SamePixels(c16, back, &why)) << why;

    CxImage gray(10, 10, 8);
    gray.SetGrayPalette();
    for (std::uint32_t i = 0; i < 100; ++i)
        gray.Pixels()[i] = static_cast<std::uint8_t>(i * 2);
    gray.SetXDPI(300), gray.SetYDPI(150);
    ASSERT_TRUE(WmfDecode(Encode(gray), DecodeLimits {}, back));
    EXPECT_TRUE(back.IsGrayScale());
    EXPECT_TRUE(SamePixels(gray, back, &why)) << why;
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 150);
}

TEST(WmfWriter, HeadersAndRecordSizesAgree)
{
    const std::vector<std::uint8_t> f = Encode(MakeTestImage(37, 21, 8));
    ByteReader r(f);
    EXPECT_EQ(r.U32LE(), 0x9AC6CDD7u);
    r.Skip(2);
    EXPECT_EQ(r.U16LE(), 0);
    EXPECT_EQ(r.U16LE(), 0);
    EXPECT_EQ(r.U16LE(), 37);
    EXPECT_EQ(r.U16LE(), 21);
    EXPECT_EQ(r.U16LE(), 96);
    r.Skip(4);
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= static_cast<std::uint16_t>(f[2 * i] | (f[2 * i + 1] << 8));
    EXPECT_EQ(r.U16LE(), sum);

    EXPECT_EQ(r.U16LE(), 1);
    EXPECT_EQ(r.U16LE(), 9);
    r.Skip(2);
    EXPECT_EQ(std::uint64_t { r.U32LE() } * 2, f.size() - 22);
    r.Skip(2);
    const std::uint32_t maxRecord = r.U32LE();
    r.Skip(2);
    std::vector<std::uint16_t> functions;
    std::uint32_t largest = 0;
    while (r.remaining() >= 6) {
        const std::uint32_t words = r.U32LE();
        functions.push_back(r.U16LE());
        largest = std::max(largest, words);
        ASSERT_GE(words, 3u);
        ASSERT_TRUE(r.Skip((words - 3) * 2));
    }
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(maxRecord, largest);
    EXPECT_EQ(functions, (std::vector<std::uint16_t> { 0x020B, 0x020C, 0x0F43, 0x0000 }));
}

TEST(WmfWriter, RefusesWhatTheRecordsCannotHold)
{
    CxImage wide(40000, 1, 8);
    std::vector<std::uint8_t> out;
    const Result r = WmfEncode(wide, out);
    EXPECT_EQ(r.status, Status::Unsupported);
    EXPECT_NE(r.message.find("32767"), std::string::npos);
}

TEST(WmfOracle, ImageMagickReadsOurFilesExactly)
{
    ASSERT_TRUE(HaveTool("convert"));
    std::string formats;
    RunCommand("convert -list format", &formats);
    ASSERT_NE(formats.find("WMF"), std::string::npos) << "ImageMagick has no WMF reader";
    TempDir dir;
    for (std::uint32_t bpp : { 1u, 4u, 8u, 24u }) {
        const CxImage src = MakeTestImage(121, 80, bpp);
        WriteFileBytes(dir.File("a.wmf"), Encode(src));
        EXPECT_TRUE(ToolShows("convert -density 96 '" + dir.File("a.wmf") + "' -depth 8 ppm:- 2>/dev/null", src))
            << bpp << " bpp";
    }
}

TEST(WmfLibwmf, VectorRecordsRenderAtThePlaceableSize)
{
    // The same picture three ways: placeable default mapping, anisotropic with a window ten times
    // finer (and ten times the units per inch), and MM_TEXT.
    for (auto [scale, mode] : { std::pair { 1, 0 }, std::pair { 10, 8 }, std::pair { 1, 1 } }) {
        SCOPED_TRACE("scale " + std::to_string(scale) + " map mode " + std::to_string(mode));
        CxImage img;
        ASSERT_TRUE(img.Decode(RectangleMetafile(true, scale, static_cast<std::uint16_t>(mode)), 0))
            << img.GetLastError();
        EXPECT_EQ(img.GetType(), kTypeWmf);
        ASSERT_EQ(img.GetWidth(), 100u);
        ASSERT_EQ(img.GetHeight(), 50u);
        EXPECT_TRUE(IsColour(img, 40, 25, kRed));
        EXPECT_TRUE(IsColour(img, 22, 12, kRed));
        EXPECT_TRUE(IsColour(img, 57, 37, kRed));
        EXPECT_TRUE(IsColour(img, 17, 25, kWhite));
        EXPECT_TRUE(IsColour(img, 63, 25, kWhite));
        EXPECT_TRUE(IsColour(img, 40, 7, kWhite));
        EXPECT_TRUE(IsColour(img, 40, 43, kWhite));
        EXPECT_TRUE(IsColour(img, 2, 2, kWhite));
    }
}

TEST(WmfLibwmf, WithoutPlaceableHeaderTheDrawnExtentIsThePicture)
{
    CxImage img;
    ASSERT_TRUE(img.Decode(RectangleMetafile(false, 1, 0), 0)) << img.GetLastError();
    ASSERT_GT(img.GetWidth(), 10u);
    ASSERT_GT(img.GetHeight(), 10u);
    EXPECT_TRUE(IsColour(img, img.GetWidth() / 2, img.GetHeight() / 2, kRed));
}

TEST(WmfBitmaps, TilesAreComposedExactly)
{
    const CxImage whole = MakeTestImage(30, 20, 24);
    CxImage left(15, 20, 24), right(15, 20, 24);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 15; ++x) {
            left.SetPixelColor(x, y, whole.GetPixelColor(x, y));
            right.SetPixelColor(x, y, whole.GetPixelColor(x + 15, y));
        }
    // Logical units twice the pixels: the composition runs at the bitmaps' own resolution.
    MetafileBuilder b;
    b.Record(0x0107, { 3 }); // stretch mode
    b.Record(0x001E, {}); // SaveDC
    b.Record(0x0B41, { kRop[0], kRop[1], 20, 15, 0, 0, 40, 30, 0, 0 }, DibOf(left)); // DIBStretchBlt
    b.Record(0x0940, { kRop[0], kRop[1], 0, 0, 20, 15, 0, 30 }, DibOf(right)); // DIBBitBlt, 1:1 in logical units
    b.Record(0x0127, { W(-1) }); // RestoreDC
    CxImage out;
    const Result r
        = WmfDecodeBitmapOnly(b.Build(std::array<std::int16_t, 5> { 0, 0, 60, 40, 192 }), DecodeLimits {}, out);
    ASSERT_TRUE(r) << r.message;
    ASSERT_EQ(out.GetWidth(), 30u);
    ASSERT_EQ(out.GetHeight(), 20u);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 15; ++x)
            ASSERT_TRUE(IsColour(out, x, y, whole.GetPixelColor(x, y))) << x << "," << y;
    // The BitBlt tile covers 15 x 20 logical units, 7.5 x 10 canvas pixels: halved by nearest
    // neighbour (pixel centres pick every second source pixel), the rest of the frame white.
    EXPECT_TRUE(IsColour(out, 15, 0, right.GetPixelColor(1, 1)));
    EXPECT_TRUE(IsColour(out, 21, 9, right.GetPixelColor(13, 19)));
    EXPECT_TRUE(IsColour(out, 15, 12, kWhite));
    EXPECT_TRUE(IsColour(out, 29, 19, kWhite));
}

TEST(WmfBitmaps, SingleBitmapInsideALargerFrameAndCroppedSource)
{
    const CxImage pic = MakeTestImage(16, 12, 8);
    CxImage out;
    std::string why;

    // Placed at (4, 2) in a 24 x 16 frame: a white border around exact pixels.
    MetafileBuilder placed;
    placed.Record(0x0F43, { kRop[0], kRop[1], 0, 12, 16, 0, 0, 12, 16, 2, 4 }, DibOf(pic));
    ASSERT_TRUE(
        WmfDecodeBitmapOnly(placed.Build(std::array<std::int16_t, 5> { 0, 0, 24, 16, 96 }), DecodeLimits {}, out));
    ASSERT_EQ(out.GetWidth(), 24u);
    ASSERT_EQ(out.GetHeight(), 16u);
    EXPECT_TRUE(IsColour(out, 0, 0, kWhite));
    EXPECT_TRUE(IsColour(out, 3, 5, kWhite));
    EXPECT_TRUE(IsColour(out, 23, 15, kWhite));
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            ASSERT_TRUE(IsColour(out, x + 4, y + 2, pic.GetPixelColor(x, y)));

    // StretchDIB with a source rectangle: 6 x 4 pixels from (5, 3) counted from the lower left of
    // the bottom-up bitmap, that is rows 5..8 from the top.
    MetafileBuilder cropped;
    cropped.Record(0x0F43, { kRop[0], kRop[1], 0, 4, 6, 3, 5, 4, 6, 0, 0 }, DibOf(pic));
    ASSERT_TRUE(
        WmfDecodeBitmapOnly(cropped.Build(std::array<std::int16_t, 5> { 0, 0, 6, 4, 96 }), DecodeLimits {}, out));
    ASSERT_EQ(out.GetWidth(), 6u);
    ASSERT_EQ(out.GetHeight(), 4u);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 6; ++x)
            ASSERT_TRUE(IsColour(out, x, y, pic.GetPixelColor(x + 5, y + 5))) << x << "," << y;
}

TEST(WmfBitmaps, ThirtyTwoBitBitmapsWithAnUnusedFourthByteLoadAsTwentyFour)
{
    // Most writers leave the fourth byte of a 32-bit bitmap zero: no alpha, not an invisible picture.
    const CxImage rgba = MakeTestImage(5, 3, 32);
    std::vector<std::uint8_t> dib = DibOf(rgba);
    ASSERT_EQ(dib.size(), 40u + 5 * 3 * 4);
    for (std::size_t i = 40 + 3; i < dib.size(); i += 4)
        dib[i] = 0;
    auto decode = [&](CxImage& out) {
        MetafileBuilder b;
        b.Record(0x0F43, { kRop[0], kRop[1], 0, 3, 5, 0, 0, 3, 5, 0, 0 }, dib);
        return WmfDecodeBitmapOnly(b.Build(std::array<std::int16_t, 5> { 0, 0, 5, 3, 96 }), DecodeLimits {}, out);
    };
    CxImage out;
    ASSERT_TRUE(decode(out));
    EXPECT_EQ(out.GetBpp(), 24u);
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 5; ++x)
            ASSERT_TRUE(IsColour(out, x, y, rgba.GetPixelColor(x, y))) << x << "," << y;

    // One non-zero fourth byte makes them all alpha. The first row in the file is the bottom one.
    dib[40 + 3] = 1;
    ASSERT_TRUE(decode(out));
    EXPECT_EQ(out.GetBpp(), 32u);
    EXPECT_EQ(out.GetPixelColor(0, 2).alpha, 1);
    EXPECT_EQ(out.GetPixelColor(1, 2).alpha, 0);
}

TEST(WmfBitmaps, AnythingElseIsLeftToTheRenderer)
{
    CxImage out;
    EXPECT_EQ(WmfDecodeBitmapOnly(RectangleMetafile(true, 1, 0), DecodeLimits {}, out).status, Status::Unsupported);
    // A bitmap with another raster operation than a plain copy.
    MetafileBuilder inverted;
    inverted.Record(0x0F43, { 0x0046, 0x0066, 0, 4, 4, 0, 0, 4, 4, 0, 0 }, DibOf(MakeTestImage(4, 4, 24))); // SRCINVERT
    const std::vector<std::uint8_t> f = inverted.Build(std::array<std::int16_t, 5> { 0, 0, 4, 4, 96 });
    EXPECT_EQ(WmfDecodeBitmapOnly(f, DecodeLimits {}, out).status, Status::Unsupported);
    // ...which libwmf still draws.
    ASSERT_TRUE(WmfDecode(f, DecodeLimits {}, out));
    EXPECT_EQ(out.GetWidth(), 4u);
}

TEST(WmfHostile, BrokenFilesFailWithAReason)
{
    const std::vector<std::uint8_t> good = Encode(MakeTestImage(40, 30, 24));
    CxImage img;
    std::vector<HostileInput> cases;
    cases.push_back({ "truncated-in-bitmap",
        std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2),
        Status::Truncated });
    cases.push_back(
        { "truncated-header", std::vector<std::uint8_t>(good.begin(), good.begin() + 30), Status::Truncated });
    std::vector<std::uint8_t> tiny = good;
    tiny[40] = 2, tiny[41] = tiny[42] = tiny[43] = 0; // first record claims 2 words
    cases.push_back({ "crash-record-size", tiny, Status::Malformed });
    std::vector<std::uint8_t> huge = good;
    huge[40] = huge[41] = huge[42] = 0xFF, huge[43] = 0x7F; // first record runs far past the end
    cases.push_back({ "crash-record-past-end", huge, Status::Truncated });
    std::vector<std::uint8_t> bomb = good;
    const std::size_t dib = 22 + 18 + 10 + 10 + 6 + 22;
    for (int i = 0; i < 4; ++i)
        bomb[dib + 4 + i] = static_cast<std::uint8_t>(100000u >> (8 * i));
    for (int i = 0; i < 4; ++i)
        bomb[dib + 8 + i] = static_cast<std::uint8_t>(100000u >> (8 * i));
    cases.push_back({ "bomb-100000x100000-bitmap", bomb, Status::Truncated }); // pixels cannot be in the file
    std::vector<std::uint8_t> palette = Encode(MakeTestImage(8, 8, 4));
    palette[dib + 32] = 17; // 17 colours for a 4-bit bitmap
    cases.push_back({ "crash-palette-too-large", palette, Status::Malformed });
    std::vector<std::uint8_t> depth = good;
    depth[dib + 14] = 7;
    cases.push_back({ "crash-bitmap-depth", depth, Status::Malformed });
    std::vector<std::uint8_t> notWmf(good.begin(), good.end());
    notWmf[22] = 7; // metafile type
    cases.push_back({ "not-a-metafile", notWmf, Status::Malformed });
    std::vector<std::uint8_t> vectorBomb = RectangleMetafile(true, 1, 0);
    vectorBomb[10] = 0x30, vectorBomb[11] = 0x75, vectorBomb[12] = 0x30, vectorBomb[13] = 0x75; // 30000 x 30000
    vectorBomb[14] = 1, vectorBomb[15] = 0; // one unit per inch: 2.88 million pixels a side
    cases.push_back({ "bomb-2880000x2880000-vector", vectorBomb, Status::LimitExceeded });

    ExpectRefused(WmfDecode, cases);

    // A bitmap size above the limits is refused before allocating, even when the data is there.
    DecodeLimits small;
    small.maxPixels = 500;
    EXPECT_EQ(WmfDecode(good, small, img).status, Status::LimitExceeded);

    CxImage viaClass;
    EXPECT_FALSE(viaClass.Decode(cases[0].bytes, kTypeWmf));
    EXPECT_EQ(std::string(viaClass.GetLastError()).rfind("WMF: ", 0), 0u) << viaClass.GetLastError();
}

TEST(WmfSniff, PlaceableAndPlainHeaders)
{
    EXPECT_TRUE(WmfSniff(Encode(MakeTestImage(4, 4, 8))));
    EXPECT_TRUE(WmfSniff(RectangleMetafile(false, 1, 0)));
    const std::vector<std::uint8_t> text { 'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd' };
    EXPECT_FALSE(WmfSniff(text));
    EXPECT_FALSE(WmfSniff(ByteView()));
}

TEST(WmfLibwmf, RendererErrorsBecomeTheMessage)
{
    std::vector<std::uint8_t> f = RectangleMetafile(true, 1, 0);
    f[22 + 12] = 3, f[22 + 13] = f[22 + 14] = f[22 + 15] = 0; // largest record: 3 words, which the records exceed
    CxImage img;
    const Result r = WmfDecode(f, DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::Malformed);
    EXPECT_EQ(r.message.rfind("cannot read the metafile: ", 0), 0u) << r.message;
    EXPECT_NE(r.message.find("record size"), std::string::npos) << r.message;
    EXPECT_EQ(r.message.find(".c ("), std::string::npos) << r.message;
}

TEST(WmfHostile, BitmapsAreCheckedBeforeTheRendererSeesThem)
{
    // Bitmaps our reader leaves to libwmf (another raster operation) with headers libwmf would
    // trust: an odd header size once sent its reader into a near-endless loop.
    const std::vector<std::uint8_t> dib = DibOf(MakeTestImage(4, 4, 24));
    auto withDib = [](std::vector<std::uint8_t> d) {
        MetafileBuilder b;
        b.Record(0x0F43, { 0x0046, 0x0066, 0, 4, 4, 0, 0, 4, 4, 0, 0 }, d); // SRCINVERT
        return b.Build(std::array<std::int16_t, 5> { 0, 0, 4, 4, 96 });
    };
    CxImage img;
    std::vector<std::uint8_t> odd = dib;
    odd[0] = 24;
    Result r = WmfDecode(withDib(odd), DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::Malformed) << r.message;

    std::vector<std::uint8_t> bomb = dib;
    bomb[4] = 0xA0, bomb[5] = 0x86, bomb[6] = 0x01; // width 100000
    bomb[8] = 0xA0, bomb[9] = 0x86, bomb[10] = 0x01; // height 100000
    r = WmfDecode(withDib(bomb), DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;

    std::vector<std::uint8_t> rle = dib;
    rle[16] = 1; // run-length coding on a 24-bit bitmap
    r = WmfDecode(withDib(rle), DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::Malformed) << r.message;

    std::vector<std::uint8_t> cut(dib.begin(), dib.end() - 16);
    r = WmfDecode(withDib(cut), DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::Truncated) << r.message;
}

TEST(WmfHostile, StackedBitmapsAreBounded)
{
    // Twenty bitmaps each covering the whole picture: far more drawing than any real file does.
    const std::vector<std::uint8_t> dib = DibOf(MakeTestImage(2, 2, 24));
    MetafileBuilder b;
    for (int i = 0; i < 20; ++i)
        b.Record(0x0F43, { kRop[0], kRop[1], 0, 2, 2, 0, 0, 50, 50, 0, 0 }, dib);
    CxImage img;
    const Result r = WmfDecode(b.Build(std::array<std::int16_t, 5> { 0, 0, 50, 50, 96 }), DecodeLimits {}, img);
    EXPECT_EQ(r.status, Status::LimitExceeded) << r.message;
    // Eight layers are still drawn.
    MetafileBuilder eight;
    for (int i = 0; i < 8; ++i)
        eight.Record(0x0F43, { kRop[0], kRop[1], 0, 2, 2, 0, 0, 50, 50, 0, 0 }, dib);
    EXPECT_TRUE(WmfDecode(eight.Build(std::array<std::int16_t, 5> { 0, 0, 50, 50, 96 }), DecodeLimits {}, img));
    EXPECT_EQ(img.GetWidth(), 2u);
}

namespace {

/// The share of 4 x 4 blocks whose average colour differs by more than `levels` in some channel,
/// `b` sampled at the same relative place (the renderers may round the size one pixel apart).
/// Blocks, not pixels: the two renderers place anti-aliased and aliased edges a pixel apart.
double DifferentBlocks(const CxImage& a, const CxImage& b, int levels)
{
    constexpr std::uint32_t kBlock = 4;
    std::uint32_t blocks = 0, different = 0;
    for (std::uint32_t by = 0; by + kBlock <= a.GetHeight(); by += kBlock)
        for (std::uint32_t bx = 0; bx + kBlock <= a.GetWidth(); bx += kBlock) {
            int sum[2][3] = {};
            for (std::uint32_t y = by; y < by + kBlock; ++y)
                for (std::uint32_t x = bx; x < bx + kBlock; ++x) {
                    const RGBQuad p = a.GetPixelColor(x, y);
                    const RGBQuad q
                        = b.GetPixelColor(static_cast<std::uint32_t>(std::uint64_t { x } * b.GetWidth() / a.GetWidth()),
                            static_cast<std::uint32_t>(std::uint64_t { y } * b.GetHeight() / a.GetHeight()));
                    sum[0][0] += p.red, sum[0][1] += p.green, sum[0][2] += p.blue;
                    sum[1][0] += q.red, sum[1][1] += q.green, sum[1][2] += q.blue;
                }
            bool differs = false;
            for (int c = 0; c < 3; ++c)
                differs |= std::abs(sum[0][c] - sum[1][c]) > levels * int { kBlock * kBlock };
            different += differs;
            ++blocks;
        }
    return blocks ? static_cast<double>(different) / blocks : 1.0;
}

/// The share of pixels that are not white.
double Drawn(const CxImage& img)
{
    std::uint64_t drawn = 0;
    for (std::uint32_t y = 0; y < img.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < img.GetWidth(); ++x)
            drawn += !IsColour(img, x, y, kWhite);
    return static_cast<double>(drawn) / (std::uint64_t { img.GetWidth() } * img.GetHeight());
}

} // namespace

TEST(WmfOracle, VectorMetafilesOfOtherWritersMatchImageMagick)
{
    // Metafiles laid out as drawing programs and clip art do (see make_fixtures.py): window origins
    // away from zero, y axes pointing up, windows set twice, pens, brushes, holes and text. Their
    // drawings fill their frames, where ImageMagick (which maps the drawn extent) and we (the
    // placeable frame) agree. Tolerance: at most 10 % of 4 x 4 blocks differ by more than 48
    // levels; measured 2-8 %: text in another font, anti-aliased edges, and ImageMagick filling
    // an ellipse that libwmf's own raster renderer leaves hollow. A blank picture differs in
    // every block.
    ASSERT_TRUE(HaveTool("convert"));
    for (const char* name : { "house", "star", "chart", "survey" }) {
        SCOPED_TRACE(name);
        const std::string path = DataPath(std::string("wmf/") + name + ".wmf");
        CxImage ours;
        ASSERT_TRUE(Decodes(WmfDecode, ReadFileBytes(path), ours));
        CxImage theirs;
        std::string why;
        ASSERT_TRUE(ToolPixels("convert -density 96 '" + path + "' -depth 8 ppm:-", theirs, &why)) << why;
        EXPECT_NEAR(ours.GetWidth(), theirs.GetWidth(), 1.0);
        EXPECT_NEAR(ours.GetHeight(), theirs.GetHeight(), 1.0);
        EXPECT_GT(Drawn(ours), 0.9 * Drawn(theirs));
        EXPECT_LE(DifferentBlocks(ours, theirs, 48), 0.10);
    }
}

TEST(WmfLibwmf, TheFrameFollowsTheMappingInForceWhenDrawingStarts)
{
    // A red square in the middle of a 100 x 100 frame, however the file gets there: the window
    // the file sets is what the picture shows, as a player maps it onto its output.
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint16_t, std::vector<std::uint16_t>>> mapping;
        std::array<std::int16_t, 4> square; ///< left, top, right, bottom in the file's units
        bool fills; ///< the picture is the square alone
    };
    const std::vector<Case> cases {
        { "placeable units", {}, { 25, 25, 75, 75 }, false },
        { "window origin", { { 0x020B, { W(-300), W(-200) } } }, { -175, -275, -125, -225 }, false },
        { "y axis up", { { 0x020B, { 100, 0 } }, { 0x020C, { W(-100), 100 } } }, { 25, 75, 75, 25 }, false },
        { "window set twice",
            { { 0x0103, { 8 } }, { 0x020C, { 1, 1 } }, { 0x020B, { 50, 50 } }, { 0x020C, { 100, 100 } } },
            { 75, 75, 125, 125 },
            false },
        { "anisotropic, viewport moved",
            { { 0x0103, { 8 } }, { 0x020C, { 10, 10 } }, { 0x020E, { 1024, 1024 } }, { 0x020D, { 50, 50 } } },
            { 2, 2, 8, 8 },
            false },
        { "saved and restored",
            { { 0x001E, {} }, { 0x020B, { 500, 500 } }, { 0x0127, { W(-1) } } },
            { 25, 25, 75, 75 },
            false },
        // A mapping record not followed here: the drawn extent becomes the picture.
        { "window offset", { { 0x020F, { 0, 0 } } }, { 25, 25, 75, 75 }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MetafileBuilder b;
        for (const auto& [function, words] : c.mapping)
            b.Record(function, words);
        b.Record(0x02FC, { 0, 0x00FF, 0x0000, 0 }); // red brush
        b.Record(0x012D, { 0 });
        b.Record(0x02FA, { 5, 0, 0, 0, 0 }); // null pen
        b.Record(0x012D, { 1 });
        b.Record(0x041B, { W(c.square[3]), W(c.square[2]), W(c.square[1]), W(c.square[0]) });
        b.Objects(2);
        CxImage img;
        ASSERT_TRUE(Decodes(WmfDecode, b.Build(std::array<std::int16_t, 5> { 0, 0, 100, 100, 96 }), img));
        ASSERT_EQ(img.GetWidth(), 100u);
        ASSERT_EQ(img.GetHeight(), 100u);
        EXPECT_TRUE(IsColour(img, 50, 50, kRed));
        EXPECT_TRUE(IsColour(img, 30, 30, kRed));
        EXPECT_TRUE(IsColour(img, 70, 70, kRed));
        EXPECT_EQ(IsColour(img, 10, 10, kWhite), !c.fills);
        EXPECT_EQ(IsColour(img, 90, 90, kWhite), !c.fills);
    }
}

TEST(WmfHostile, DeclaredSizesTheDataCannotFillTakeWhatTheDataHolds)
{
    // Tiny files that once took the memory of their declared size: each now gives the picture its
    // records really draw, within 2 megapixels.
    std::vector<std::uint8_t> onePixel;
    PutU32LE(onePixel, 40), PutU32LE(onePixel, 1), PutU32LE(onePixel, 1);
    PutU16LE(onePixel, 1), PutU16LE(onePixel, 24);
    for (int i = 0; i < 6; ++i)
        PutU32LE(onePixel, 0);
    PutU32LE(onePixel, 0x0000FF); // one red pixel, padded
    auto stretch = [&](std::int16_t srcW, std::int16_t srcH, std::int16_t dstW, std::int16_t dstH) {
        MetafileBuilder b;
        b.Record(0x0F43, { kRop[0], kRop[1], 0, W(srcH), W(srcW), 0, 0, W(dstH), W(dstW), 0, 0 }, onePixel);
        return b.Build(std::nullopt);
    };
    auto rectangle = [](std::int16_t frame, std::array<std::int16_t, 4> ltrb) {
        MetafileBuilder b;
        b.Record(0x041B, { W(ltrb[3]), W(ltrb[2]), W(ltrb[1]), W(ltrb[0]) });
        return b.Build(std::array<std::int16_t, 5> { 0, 0, frame, frame, 96 });
    };
    std::vector<std::uint8_t> claimsHugeRecords = rectangle(100, { 10, 10, 90, 90 });
    for (int i = 0; i < 4; ++i)
        claimsHugeRecords[22 + 12 + i] = i == 3 ? 0x7F : 0xFF;

    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        std::uint32_t width, height; ///< 0: at most the budget, keeping the frame square
    };
    const std::vector<Case> cases {
        { "bomb-16384x16384-source-of-1x1-bitmap", stretch(16384, 16384, 16384, 16384), 1, 1 },
        { "bomb-16384x16384-source-onto-1x1", stretch(16384, 16384, 1, 1), 1, 1 },
        { "bomb-8192x8192-frame-one-small-rectangle", rectangle(8192, { 1000, 1000, 1100, 1050 }), 100, 50 },
        { "bomb-8192x8192-frame-filled", rectangle(8192, { 0, 0, 8192, 8192 }), 0, 0 },
        { "bomb-max-record-2147483647", claimsHugeRecords, 100, 100 },
    };
    EXPECT_EQ(cases[0].file.size(), 96u);
    EXPECT_EQ(cases[3].file.size(), 60u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage img;
        ASSERT_TRUE(Decodes(WmfDecode, c.file, img));
        if (c.width) {
            EXPECT_NEAR(img.GetWidth(), c.width, 2.0);
            EXPECT_NEAR(img.GetHeight(), c.height, 2.0);
        } else {
            EXPECT_LE(std::uint64_t { img.GetWidth() } * img.GetHeight(), 1u << 21);
            EXPECT_GE(img.GetWidth(), 1400u);
            EXPECT_EQ(img.GetWidth(), img.GetHeight());
        }
        EXPECT_GT(Drawn(img), 0.0);
    }
}

TEST(WmfBitmaps, EveryDibReaderAcceptsTheSameHeaderSizes)
{
    // BMP files, icon entries, metafile bitmaps (ours and those checked for libwmf) read their
    // headers through one parser: a size one accepts, all accept.
    auto dib = [](std::uint32_t headerSize, bool icon) {
        std::vector<std::uint8_t> d;
        PutU32LE(d, headerSize);
        const std::uint32_t rows = icon ? 4 : 2;
        if (headerSize == 12) {
            PutU16LE(d, 2), PutU16LE(d, static_cast<std::uint16_t>(rows)), PutU16LE(d, 1), PutU16LE(d, 24);
        } else {
            PutU32LE(d, 2), PutU32LE(d, rows), PutU16LE(d, 1), PutU16LE(d, 24);
            d.resize(headerSize, 0); // no compression, no palette, no masks in use
        }
        for (int row = 0; row < 2; ++row)
            for (std::uint8_t v : { 0, 0, 255, 0, 255, 0, 0, 0 }) // red, green, padding
                d.push_back(v);
        if (icon)
            d.resize(d.size() + 8, 0); // the AND mask: all opaque
        return d;
    };
    for (std::uint32_t size : { 12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u }) {
        SCOPED_TRACE("header of " + std::to_string(size) + " bytes");
        const bool known = size != 16 && size != 64;
        CxImage img;

        std::vector<std::uint8_t> bmp { 'B', 'M' };
        PutU32LE(bmp, 0), PutU32LE(bmp, 0), PutU32LE(bmp, 14 + size);
        const std::vector<std::uint8_t> plain = dib(size, false);
        bmp.insert(bmp.end(), plain.begin(), plain.end());
        EXPECT_EQ(static_cast<bool>(BmpDecode(bmp, DecodeLimits {}, img)), known);

        std::vector<std::uint8_t> ico;
        const std::vector<std::uint8_t> entry = dib(size, true);
        PutU16LE(ico, 0), PutU16LE(ico, 1), PutU16LE(ico, 1);
        PutU8(ico, 2), PutU8(ico, 2), PutU8(ico, 0), PutU8(ico, 0), PutU16LE(ico, 1), PutU16LE(ico, 24);
        PutU32LE(ico, static_cast<std::uint32_t>(entry.size())), PutU32LE(ico, 22);
        ico.insert(ico.end(), entry.begin(), entry.end());
        EXPECT_EQ(static_cast<bool>(IcoDecode(ico, DecodeLimits {}, img)), known);

        for (std::uint16_t rop : { kRop[1], std::uint16_t { 0x0066 } }) { // SRCCOPY: ours; SRCINVERT: libwmf
            MetafileBuilder b;
            b.Record(
                0x0F43, { rop == kRop[1] ? kRop[0] : std::uint16_t { 0x0046 }, rop, 0, 2, 2, 0, 0, 2, 2, 0, 0 }, plain);
            const Result r = WmfDecode(b.Build(std::array<std::int16_t, 5> { 0, 0, 2, 2, 96 }), DecodeLimits {}, img);
            EXPECT_EQ(static_cast<bool>(r), known) << r.message;
        }
    }
}
