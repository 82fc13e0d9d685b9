// The GIF stream decoder on streams built byte by byte.

#include "gif/gif_stream.h"
#include "gif_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace gif_bytes;

Bytes TwoFrames()
{
    Bytes b = Header(40, 40);
    Append(b, Gce(10));
    Append(b, Image(5, 6, 20, 30));
    Append(b, Gce(10));
    Append(b, Image(5, 6, 20, 30));
    b.push_back(0x3B);
    return b;
}

TEST(GifStreamDecoder, SignaturesDecideThePath)
{
    struct Case {
        const char* version;
        bool gif;
    } cases[] = { { "89a", true }, { "87a", true }, { "88a", false } };
    for (const Case& c : cases) {
        Bytes b = Header(40, 40, c.version);
        Append(b, Image(0, 0, 4, 4));
        b.push_back(0x3B);
        gif::GifStreamDecoder d;
        d.LoadPictureData(b);
        EXPECT_EQ(d.IsGif(), c.gif) << c.version;
        if (!c.gif) {
            EXPECT_TRUE(d.InfoLines().empty());
        }
    }
}

TEST(GifStreamDecoder, TwoFramesGiveFourInfoLinesAndTheirGeometry)
{
    gif::GifStreamDecoder d;
    ASSERT_TRUE(d.LoadPictureData(TwoFrames()));
    const std::vector<std::string> want = {
        "Graphic control for frame 1 Delay 10",
        "Image frame 1 Res: 20x30 Pos: Left 5 Top 6",
        "Graphic control for frame 2 Delay 10",
        "Image frame 2 Res: 20x30 Pos: Left 5 Top 6",
    };
    EXPECT_EQ(d.InfoLines(), want);
    ASSERT_EQ(d.Frames().size(), 2u);
    const gif::GifFrame& f = d.Frames()[1];
    EXPECT_EQ(f.width, 20u);
    EXPECT_EQ(f.height, 30u);
    EXPECT_EQ(f.left, 5u);
    EXPECT_EQ(f.top, 6u);
    EXPECT_EQ(f.delay, 10u);
    EXPECT_EQ(d.PictureWidth(), 40);
    EXPECT_FALSE(d.SinglePicture());
}

TEST(GifStreamDecoder, OneImageIsASinglePictureOfTheScreenSize)
{
    Bytes b = Header(40, 50);
    Append(b, Gce(7));
    Append(b, Image(2, 2, 8, 8));
    b.push_back(0x3B);
    gif::GifStreamDecoder d;
    ASSERT_TRUE(d.LoadPictureData(b));
    EXPECT_TRUE(d.SinglePicture());
    EXPECT_TRUE(d.Frames().empty());
    EXPECT_EQ(d.PictureWidth(), 40);
    EXPECT_EQ(d.PictureHeight(), 50);
}

TEST(GifStreamDecoder, NoImageFailsButKeepsTheLines)
{
    Bytes b = Header(10, 10);
    Append(b, Gce(3));
    b.push_back(0x3B);
    gif::GifStreamDecoder d;
    EXPECT_FALSE(d.LoadPictureData(b));
    EXPECT_EQ(d.InfoLines(), std::vector<std::string> { "Graphic control for frame 1 Delay 3" });
    d.ClearPicture();
    EXPECT_EQ(d.InfoLines().size(), 1u) << "only destruction empties the lines";
}

TEST(GifStreamDecoder, CommentInsideAFrameBelongsToItsStream)
{
    const Bytes gce = Gce(10), image = Image(0, 0, 4, 4), comment = Comment("between");
    Bytes b = Header(8, 8);
    const std::size_t header = b.size();
    // A looping extension and a comment before the first frame belong to no frame.
    Append(b, Looping());
    Append(b, Comment("before"));
    Append(b, gce);
    Append(b, image);
    Append(b, gce);
    Append(b, comment);
    Append(b, image);
    b.push_back(0x3B);

    gif::GifStreamDecoder d;
    d.BeginWalk(b, static_cast<std::uint32_t>(header));
    auto first = d.ExtractNextFrame();
    auto second = d.ExtractNextFrame();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->stream.size(), header + gce.size() + image.size() + 1);
    EXPECT_EQ(second->stream.size(), header + gce.size() + comment.size() + image.size() + 1);
    EXPECT_EQ(second->stream.back(), 0x3B);
    EXPECT_FALSE(d.ExtractNextFrame());

    gif::GifStreamDecoder loaded;
    ASSERT_TRUE(loaded.LoadPictureData(b));
    EXPECT_EQ(loaded.InfoLines().size(), 4u);
    EXPECT_EQ(loaded.Frames().size(), 2u);
}

TEST(GifStreamDecoder, FrameWithoutControlExtension)
{
    Bytes b = Header(8, 8);
    Append(b, Image(0, 0, 4, 4));
    Append(b, Gce(5, 2));
    Append(b, Image(0, 0, 4, 4));
    b.push_back(0x3B);
    gif::GifStreamDecoder d;
    ASSERT_TRUE(d.LoadPictureData(b));
    ASSERT_EQ(d.Frames().size(), 2u);
    EXPECT_EQ(d.Frames()[0].delay, gif::kNoDelay);
    EXPECT_EQ(d.Frames()[0].disposal, 0u);
    EXPECT_EQ(d.Frames()[1].delay, 5u);
    EXPECT_EQ(d.Frames()[1].disposal, 2u);
}

TEST(GifStreamDecoder, WalksStopAtTheEndOfWhatIsThere)
{
    struct Case {
        const char* name;
        Bytes tail;
        std::size_t frames;
        std::size_t lines;
    };
    const Bytes truncated = [] {
        Bytes i = Image(0, 0, 4, 4);
        i.resize(i.size() - 3); // its sub-block chain now runs past the end
        return i;
    }();
    Bytes afterTrailer = { 0x3B, 0x00, 0x2C };
    Bytes unknown = { 0x21, 0x77, 1, 0, 0 };
    Bytes truncatedTail = Gce(10);
    Append(truncatedTail, truncated);
    Case cases[] = {
        { "bytes after the trailer", afterTrailer, 2, 4 },
        { "an unknown label", unknown, 2, 4 },
        { "a truncated last image", truncatedTail, 2, 6 },
    };
    for (const Case& c : cases) {
        Bytes b = TwoFrames();
        b.pop_back(); // the trailer
        Append(b, c.tail);
        gif::GifStreamDecoder d;
        ASSERT_TRUE(d.LoadPictureData(b)) << c.name;
        EXPECT_EQ(d.Frames().size(), c.frames) << c.name;
        EXPECT_EQ(d.InfoLines().size(), c.lines) << c.name;
    }
}

TEST(GifStreamDecoder, MeasuresNeverPassTheData)
{
    // Every prefix of a valid stream: no read past its end (the sanitizers watch), no frames
    // from a cut frame.
    const Bytes full = TwoFrames();
    for (std::size_t n = 0; n + 1 < full.size(); ++n) { // without the trailer both frames are whole
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        gif::GifStreamDecoder d;
        d.LoadPictureData(cut);
        EXPECT_LE(d.Frames().size(), 1u) << n;
    }
    gif::GifStreamDecoder d;
    const Bytes chain = { 3, 1, 2, 3, 2, 1 };
    d.BeginWalk(chain, 0);
    EXPECT_EQ(d.MeasureSubBlocks(0), 0u);
    const Bytes whole = { 3, 1, 2, 3, 0 };
    d.BeginWalk(whole, 0);
    EXPECT_EQ(d.MeasureSubBlocks(0), 5u);
}

TEST(GifStreamDecoder, ANonGifFileIsOneStillPicture)
{
    // A PNG made by the codec: goes whole to the codec, no lines.
    codec::CxImage image(6, 4, 24);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(image.Encode(png, codec::kTypePng));
    gif::GifStreamDecoder d;
    ASSERT_TRUE(d.LoadPictureData(png));
    EXPECT_FALSE(d.IsGif());
    EXPECT_TRUE(d.InfoLines().empty());
    EXPECT_EQ(d.PictureWidth(), 6);
    EXPECT_EQ(d.PictureHeight(), 4);
}

} // namespace

namespace {

TEST(GifStreamDecoder, AScreenTheDataCannotFillIsCutToTheFrames)
{
    // 16384 x 16384 declared in a few dozen bytes: the surfaces drawn on it would take a gigabyte.
    Bytes b = Header(16384, 16384);
    for (int i = 0; i < 2; ++i) {
        Append(b, Gce(10));
        Append(b, Image(3, 2, 4, 4));
    }
    b.push_back(0x3B);
    gif::GifStreamDecoder d;
    ASSERT_TRUE(d.LoadPictureData(b));
    EXPECT_EQ(d.PictureWidth(), 7);
    EXPECT_EQ(d.PictureHeight(), 6);
}

} // namespace
