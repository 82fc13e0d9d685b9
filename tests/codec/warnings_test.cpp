// Damaged data that still decodes: the image is used as decoded and carries the library's warnings.

#include "codec/codec_helpers.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using codec::CxImage;
using codec::RGBQuad;
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes EncodeAs(const CxImage& image, std::uint32_t type)
{
    Bytes out;
    EXPECT_TRUE(image.Encode(out, type)) << image.GetLastError();
    return out;
}

void AppendBE32(Bytes& b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

/// A PNG whose pixel data is complete but whose IEND gives way to `trailer`.
Bytes PngWithTrailer(const Bytes& png, const Bytes& trailer)
{
    Bytes out(png.begin(), png.end() - 12); // IEND is the last 12 bytes
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

/// A one-pixel 8-bit gray TIFF (value 0x80) that holds a private tag libtiff does not know.
Bytes TiffWithUnknownTag()
{
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    const Entry entries[] = { { 256, 3, 1 },
        { 257, 3, 1 },
        { 258, 3, 8 },
        { 259, 3, 1 },
        { 262, 3, 1 },
        { 273, 4, 8 + 2 + 10 * 12 + 4 },
        { 277, 3, 1 },
        { 278, 3, 1 },
        { 279, 4, 1 },
        { 65000, 3, 7 } };
    Bytes b { 'I', 'I', 42, 0, 8, 0, 0, 0, 10, 0 };
    auto le = [&b](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (const Entry& e : entries) {
        le(e.tag, 2), le(e.type, 2), le(1, 4), le(e.value, 4); // a SHORT sits in the low half
    }
    le(0, 4); // no next directory
    b.push_back(0x80);
    return b;
}

bool HasWarning(const CxImage& image, const std::string& part)
{
    for (const std::string& w : image.GetWarnings())
        if (w.find(part) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(Warnings, DamagedFilesThatStillDecodeSaySoAndSoundOnesDoNot)
{
    const CxImage photo = MakeTestImage(64, 128, 24);
    const Bytes jpeg = EncodeAs(photo, codec::kTypeJpg);
    const CxImage wholeJpeg = DecodeBytes(jpeg, codec::kTypeJpg);
    const CxImage small = MakeTestImage(16, 16, 24);
    const Bytes png = EncodeAs(small, codec::kTypePng);
    Bytes cutText;
    AppendBE32(cutText, 100);
    for (char c : std::string("tEXtComment\0cut", 15))
        cutText.push_back(static_cast<std::uint8_t>(c));

    struct Case {
        const char* name;
        Bytes bytes;
        const char* says; ///< part of a warning; empty: there must be none
    };
    const Case cases[] = {
        { "jpeg cut in half",
            Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
            "Premature end of JPEG file" },
        { "whole jpeg", jpeg, "" },
        { "png text chunk cut short", PngWithTrailer(png, cutText), "cut short after the image data" },
        { "png without IEND", PngWithTrailer(png, {}), "IEND" },
        { "whole png", png, "" },
        { "tiff with a private tag", TiffWithUnknownTag(), "Unknown field with tag 65000" },
        { "whole tiff", EncodeAs(small, codec::kTypeTif), "" },
        { "whole jp2", EncodeAs(small, codec::kTypeJp2), "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        ASSERT_TRUE(image.Decode(c.bytes, 0)) << image.GetLastError();
        EXPECT_STREQ(image.GetLastError(), "");
        if (*c.says) {
            EXPECT_TRUE(HasWarning(image, c.says)) << ::testing::PrintToString(image.GetWarnings());
        } else {
            EXPECT_TRUE(image.GetWarnings().empty()) << ::testing::PrintToString(image.GetWarnings());
        }
    }

    // What the damaged files hold is what was there: the JPEG's first rows, the PNG's every pixel.
    CxImage cutJpeg = DecodeBytes(cases[0].bytes, 0);
    ASSERT_EQ(cutJpeg.GetHeight(), 128u);
    for (std::uint32_t y = 0; y < 16; ++y)
        ASSERT_EQ(0, std::memcmp(cutJpeg.Row(y), wholeJpeg.Row(y), cutJpeg.GetRowBytes())) << y;
    std::string why;
    EXPECT_TRUE(SamePixels(DecodeBytes(cases[2].bytes, 0), small, &why)) << why;
    const CxImage tiff = DecodeBytes(cases[5].bytes, 0);
    ASSERT_EQ(tiff.GetWidth(), 1u);
    EXPECT_EQ(tiff.GetPixelColor(0, 0), (RGBQuad { 0x80, 0x80, 0x80, 255 }));
}

TEST(Warnings, EachLoadStartsAfreshAndASuccessClearsTheLastError)
{
    const Bytes jpeg = EncodeAs(MakeTestImage(64, 128, 24), codec::kTypeJpg);
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    const Bytes png = EncodeAs(MakeTestImage(8, 8, 8), codec::kTypePng);

    CxImage image;
    EXPECT_FALSE(image.Decode(Bytes { 1, 2, 3 }, 0));
    EXPECT_STRNE(image.GetLastError(), "");
    ASSERT_TRUE(image.Decode(cut, 0));
    EXPECT_STREQ(image.GetLastError(), ""); // the earlier failure no longer applies
    EXPECT_FALSE(image.GetWarnings().empty());

    const CxImage copy(image); // a copy keeps where its picture came from
    EXPECT_EQ(copy.GetWarnings(), image.GetWarnings());

    ASSERT_TRUE(image.Decode(png, 0));
    EXPECT_TRUE(image.GetWarnings().empty());
    ASSERT_TRUE(image.Decode(cut, 0));
    EXPECT_FALSE(image.Load("/nonexistent/file.png", 0));
    EXPECT_TRUE(image.GetWarnings().empty());
    ASSERT_TRUE(image.Decode(cut, 0));
    EXPECT_FALSE(image.Decode(Bytes(png.begin(), png.begin() + 40), 0));
    EXPECT_TRUE(image.GetWarnings().empty());

    // Repeats and blanks are dropped, and the list has a bound.
    CxImage many;
    many.AddWarning("same\n");
    many.AddWarning("same");
    many.AddWarning(" ");
    EXPECT_EQ(many.GetWarnings(), std::vector<std::string> { "same" });
    for (int i = 0; i < 100; ++i)
        many.AddWarning("warning " + std::to_string(i));
    EXPECT_EQ(many.GetWarnings().size(), CxImage::kMaxWarnings);
}

TEST(Warnings, ThreadsReadingTiffFilesKeepTheirOwnWarnings)
{
    const Bytes warned = TiffWithUnknownTag();
    const Bytes sound = EncodeAs(MakeTestImage(8, 8, 24), codec::kTypeTif);
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                const bool damaged = (i + t) % 2 == 0;
                CxImage image;
                if (!image.Decode(damaged ? warned : sound, codec::kTypeTif)
                    || image.GetWarnings().size() != (damaged ? 1u : 0u))
                    ++wrong[t];
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(CopyConstructor, HonoursThePixelAndAlphaFlags)
{
    CxImage rgba(3, 2, 32);
    CxImage indexed(3, 2, 8);
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 3; ++x) {
            rgba.SetPixelColor(x, y, RGBQuad { 10, 20, static_cast<std::uint8_t>(30 + x), 100 });
            indexed.Row(y)[x] = static_cast<std::uint8_t>(5 + x);
        }
    indexed.Palette()[6].alpha = 0;
    indexed.SetTransIndex(6);
    rgba.SetXDPI(300);

    struct Case {
        bool pixels, alpha;
        RGBQuad rgbaAt10; ///< the 32-bit copy's pixel (1, 0)
        std::uint8_t indexAt10;
        std::uint8_t paletteAlpha6;
    };
    const Case cases[] = {
        { true, true, { 10, 20, 31, 100 }, 6, 0 },
        { true, false, { 10, 20, 31, 255 }, 6, 255 },
        { false, true, { 0, 0, 0, 100 }, 0, 0 },
        { false, false, { 0, 0, 0, 255 }, 0, 255 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "pixels " << c.pixels << " alpha " << c.alpha);
        const CxImage a(rgba, c.pixels, true, c.alpha);
        ASSERT_EQ(a.GetWidth(), 3u);
        EXPECT_EQ(a.GetBpp(), 32u);
        EXPECT_EQ(a.GetXDPI(), 300);
        EXPECT_EQ(a.GetPixelColor(1, 0), c.rgbaAt10);
        const CxImage b(indexed, c.pixels, true, c.alpha);
        EXPECT_EQ(b.Row(0)[1], c.indexAt10);
        EXPECT_EQ(b.Palette()[6].alpha, c.paletteAlpha6);
        EXPECT_EQ(b.Palette()[6].red, indexed.Palette()[6].red);
        EXPECT_EQ(b.GetTransIndex(), 6);
    }
    // The source is untouched.
    EXPECT_EQ(rgba.GetPixelColor(1, 0).alpha, 100);
}
