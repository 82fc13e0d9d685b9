// Files whose headers declare far more pixels than their data can fill (tests/data/hostile/,
// made by make_hostile.py there): each reader refuses them or clips them to what the data
// covers, at the limits every user gets, before taking the declared size's memory.
#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

using codec::CxImage;
using codec::DecodeLimits;
using codec::Status;
using namespace testing_support;

namespace {

using Decoder = codec::Result (*)(codec::ByteView, const DecodeLimits&, CxImage&);

std::vector<std::uint8_t> Hostile(const std::string& name)
{
    return ReadFileBytes(std::string(PELMORA_TEST_DATA) + "/hostile/" + name);
}

struct Case {
    const char* file;
    Decoder decode;
    Status status; ///< Ok: the picture the data holds, of the size below
    std::uint32_t width = 0, height = 0;
};

TEST(DeclaredSizes, RefusedOrClippedAtTheDefaultLimits)
{
    const Case cases[] = {
        { "bomb-16384x16384-screen.gif", codec::GifDecode, Status::Ok, 1, 1 },
        { "bomb-16384x16384-corner.gif", codec::GifDecode, Status::Malformed },
        { "bomb-8192x8192-empty-packets.j2k", codec::JpcDecode, Status::Malformed },
        { "bomb-8192x8192-empty-packets.jp2", codec::Jp2Decode, Status::Malformed },
        { "bomb-2048x2040-tiles.j2k", codec::JpcDecode, Status::Malformed },
        { "bomb-4096x4096-spp64.tif", codec::TiffDecode, Status::Unsupported },
        { "bomb-4096x4096-spp8192.tif", codec::TiffDecode, Status::Unsupported },
        { "bomb-4096x4096-lzw.tif", codec::TiffDecode, Status::Malformed },
        { "bomb-16384x16384-arithmetic.jpg", codec::JpegDecode, Status::Malformed },
        { "bomb-16384x16384.png", codec::PngDecode, Status::Malformed },
        { "bomb-16384x16384-rle8.bmp", codec::BmpDecode, Status::Malformed },
        { "bomb-16384x16384-rle8.ico", codec::IcoDecode, Status::Malformed },
        { "bomb-65535x4096-rle.tga", codec::TgaDecode, Status::Malformed },
        { "bomb-16000x16000-rle.pcx", codec::PcxDecode, Status::Malformed },
        { "bomb-16000x16000-encoded.ras", codec::RasDecode, Status::Malformed },
        { "bomb-16000x16000.wbmp", codec::WbmpDecode, Status::Truncated },
        { "bomb-16000x16000.pnm", codec::PnmDecode, Status::Truncated },
        { "bomb-16000x16000.pgx", codec::PgxDecode, Status::Truncated },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<std::uint8_t> bytes = Hostile(c.file);
        ASSERT_FALSE(bytes.empty());
        ASSERT_LT(bytes.size(), 200u); // tiny by design: the point is the ratio
        CxImage img;
        const codec::Result r = c.decode(bytes, DecodeLimits {}, img);
        EXPECT_EQ(r.status, c.status) << r.message;
        if (c.status == Status::Ok) {
            EXPECT_EQ(img.GetWidth(), c.width);
            EXPECT_EQ(img.GetHeight(), c.height);
        } else {
            EXPECT_FALSE(img.IsValid());
            EXPECT_FALSE(r.message.empty());
        }
    }
}

// The same files through the format table, as every caller loads them: a clear error text.
TEST(DeclaredSizes, LoadingThroughTheImageGivesAClearError)
{
    CxImage img;
    ASSERT_FALSE(img.Decode(Hostile("bomb-4096x4096-lzw.tif"), codec::kTypeTif));
    EXPECT_NE(std::string(img.GetLastError()).find("more than the compressed data could hold"), std::string::npos)
        << img.GetLastError();
    ASSERT_FALSE(img.Decode(Hostile("bomb-4096x4096-spp8192.tif"), codec::kTypeTif));
    EXPECT_NE(std::string(img.GetLastError()).find("8192 samples per pixel"), std::string::npos) << img.GetLastError();
}

/// The hostile GIF's screen with a second 1 x 1 frame at (x, y) before the trailer.
std::vector<std::uint8_t> TwoFrames(std::uint16_t x, std::uint16_t y)
{
    std::vector<std::uint8_t> bytes = Hostile("bomb-16384x16384-screen.gif");
    bytes.pop_back(); // the trailer
    const std::uint8_t frame[] = { 0x2C,
        static_cast<std::uint8_t>(x),
        static_cast<std::uint8_t>(x >> 8),
        static_cast<std::uint8_t>(y),
        static_cast<std::uint8_t>(y >> 8),
        1,
        0,
        1,
        0,
        0,
        2,
        2,
        0x44,
        0x01,
        0,
        ';' };
    bytes.insert(bytes.end(), std::begin(frame), std::end(frame));
    return bytes;
}

// The screen shrinks to what all frames cover, not just the first; the walk stops at maxFrames.
TEST(DeclaredSizes, GifScreenClipsToTheFramesItWalks)
{
    CxImage img;
    ASSERT_TRUE(codec::GifDecode(TwoFrames(99, 49), DecodeLimits {}, img));
    EXPECT_EQ(img.GetWidth(), 100u);
    EXPECT_EQ(img.GetHeight(), 50u);

    DecodeLimits oneFrame;
    oneFrame.maxFrames = 1;
    ASSERT_TRUE(codec::GifDecode(TwoFrames(99, 49), oneFrame, img));
    EXPECT_EQ(img.GetWidth(), 1u);
    EXPECT_EQ(img.GetHeight(), 1u);
}

// A screen the file's bytes could fill stays as declared, background around the frame.
TEST(DeclaredSizes, GifScreenTheDataCouldFillIsKept)
{
    std::vector<std::uint8_t> bytes = Hostile("bomb-16384x16384-screen.gif");
    bytes[6] = 200, bytes[7] = 0, bytes[8] = 100, bytes[9] = 0; // 200 x 100
    CxImage img;
    ASSERT_TRUE(codec::GifDecode(bytes, DecodeLimits {}, img));
    EXPECT_EQ(img.GetWidth(), 200u);
    EXPECT_EQ(img.GetHeight(), 100u);
}

// The bound follows the data: the same declared size is refused from a few bytes and read
// from enough of them.
TEST(DeclaredSizes, BoundGrowsWithTheData)
{
    const DecodeLimits defaults;
    const DecodeLimits small = codec::BoundByData(defaults, 100, codec::ratio::kDeflate, 8);
    EXPECT_EQ(small.maxDataPixels, 100u * 1032);
    EXPECT_FALSE(codec::CheckDimensions(1024, 1024, small));
    EXPECT_TRUE(codec::CheckDimensions(1024, 1024, codec::BoundByData(defaults, 1100, codec::ratio::kDeflate, 8)));
    // Nested readers (a PNG inside an icon) only ever lower the bound.
    EXPECT_EQ(codec::BoundByData(small, 1u << 30, codec::ratio::kDeflate, 8).maxDataPixels, small.maxDataPixels);
}

} // namespace
