// The animated GIF builder, the frame extraction and the coalescing extractor, read back by
// independent tools (gifsicle, ImageMagick).

#include "gif/gif_builder.h"
#include "gif/gif_extract.h"
#include "gif/gif_stream.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

/// A small 8-bit GIF of one colour with a square of another, so frames differ.
std::string MakeFrame(const TempDir& dir, const std::string& name, std::uint8_t shade)
{
    codec::CxImage image(16, 12, 24);
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 16; ++x)
            image.SetPixelColor(
                x, y, x > 4 && y > 3 ? codec::RGBQuad { shade, 0, 0, 255 } : codec::RGBQuad { 0, 0, 255, 255 });
    const std::string path = dir.File(name);
    EXPECT_TRUE(image.Save(path, codec::kTypeGif)) << image.GetLastError();
    return path;
}

std::string GifsicleInfo(const std::string& path)
{
    std::string out;
    EXPECT_EQ(RunCommand("gifsicle --info --extension-info '" + path + "'", &out), 0);
    return out;
}

TEST(BuildAnimatedGif, WritesDelaysCommentDisposalAndLoops)
{
    TempDir dir;
    const std::vector<gif::GifFrameSource> frames = {
        { MakeFrame(dir, "a.gif", 50), 22 },
        { MakeFrame(dir, "b.gif", 150), 50 },
        { MakeFrame(dir, "c.gif", 250), 22 },
    };
    struct Case {
        int loops;
        const char* want; ///< what gifsicle says of the loop extension, or null for none
    } cases[] = { { -1, "loop forever" }, { 1, nullptr }, { 3, "loop count 3" } };
    for (const Case& c : cases) {
        const std::string out = dir.File("anim" + std::to_string(c.loops) + ".gif");
        ASSERT_TRUE(gif::BuildAnimatedGif(frames, out, c.loops));
        const std::string info = GifsicleInfo(out);
        EXPECT_NE(info.find("3 images"), std::string::npos) << info;
        EXPECT_NE(info.find("Korvane Velk - GIF animation"), std::string::npos) << info;
        const auto first = info.find("delay 0.22s"), second = info.find("delay 0.50s");
        EXPECT_TRUE(first != std::string::npos && second != std::string::npos && first < second) << info;
        EXPECT_NE(info.rfind("delay 0.22s"), first) << "the third frame keeps its own delay";
        EXPECT_NE(info.find("disposal background"), std::string::npos) << info;
        if (c.want) {
            EXPECT_NE(info.find(c.want), std::string::npos) << info;
        } else {
            EXPECT_EQ(info.find("loop"), std::string::npos) << info;
        }
    }
    EXPECT_EQ(gif::EncoderLoopValue(3), 4);
    EXPECT_EQ(gif::EncoderLoopValue(1), 1);
    EXPECT_EQ(gif::EncoderLoopValue(-1), -1);
}

TEST(BuildAnimatedGif, AFailureLeavesTheDestinationAsItWas)
{
    TempDir dir;
    const std::string out = dir.File("anim.gif");
    WriteFileBytes(out, { 'o', 'l', 'd' });
    const std::vector<gif::GifFrameSource> frames = {
        { MakeFrame(dir, "a.gif", 50), 10 },
        { dir.File("missing.gif"), 10 },
    };
    std::string why;
    EXPECT_FALSE(gif::BuildAnimatedGif(frames, out, -1, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ReadFileBytes(out), (std::vector<std::uint8_t> { 'o', 'l', 'd' }));
    EXPECT_FALSE(gif::BuildAnimatedGif({}, out, -1));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "no temporary file left";
}

TEST(SaveFramesAsFiles, NamesFramesAfterTheFileAndRefusesStills)
{
    TempDir dir;
    const std::vector<gif::GifFrameSource> frames = {
        { MakeFrame(dir, "1.gif", 50), 10 },
        { MakeFrame(dir, "2.gif", 150), 20 },
        { MakeFrame(dir, "3.gif", 250), 30 },
    };
    const std::string anim = dir.File("a.b.gif");
    ASSERT_TRUE(gif::BuildAnimatedGif(frames, anim, -1));
    gif::GifStreamDecoder decoder;
    ASSERT_TRUE(decoder.LoadPictureFile(anim));
    ASSERT_EQ(decoder.Frames().size(), 3u);
    fs::create_directory(dir.File("out"));
    ASSERT_TRUE(gif::SaveFramesAsFiles(decoder, dir.File("out") + "/a.b.gif"));
    for (int i = 1; i <= 3; ++i) {
        const std::string frame = dir.File("out/a.b_" + std::to_string(i) + ".gif");
        ASSERT_TRUE(fs::exists(frame)) << frame;
        // Each file is the frame's own one-image stream: one image, its own delay.
        const std::string info = GifsicleInfo(frame);
        EXPECT_NE(info.find("1 image"), std::string::npos) << info;
        EXPECT_NE(info.find("delay 0." + std::to_string(i) + "0s"), std::string::npos) << info;
    }
    EXPECT_EQ(gif::FrameFileName("D:\\/walk.gif", 12), "D:\\/walk_12.gif");

    gif::GifStreamDecoder still;
    ASSERT_TRUE(still.LoadPictureFile(frames[0].path));
    EXPECT_FALSE(gif::SaveFramesAsFiles(still, dir.File("out") + "/1.gif"));
}

// Animations as optimisers write them: partial frames at offsets, transparency, every disposal.
TEST(CoalesceFrames, MatchesImageMagickFrameByFrame)
{
    ASSERT_TRUE(HaveTool("gifsicle") && HaveTool("convert"));
    TempDir dir;
    const std::string make = "cd '" + dir.path()
        + "' && "
          "convert -size 40x30 xc:white -fill red -draw 'rectangle 3,3 20,15' f1.gif && "
          "convert -size 40x30 xc:white -fill red -draw 'rectangle 3,3 20,15' -fill lime -draw 'circle 28,20 33,24' "
          "f2.gif && "
          "convert -size 40x30 xc:white -fill blue -draw 'rectangle 10,8 30,25' f3.gif && "
          "convert -size 40x30 xc:white -fill blue -draw 'rectangle 10,8 30,25' -fill black -draw 'line 0,0 39,29' "
          "f4.gif";
    ASSERT_TRUE(RunTool(make));
    // gifsicle -O2 cuts the frames down to what changes (partial frames at offsets, transparency);
    // the second pass sets the disposal methods to test.
    ASSERT_TRUE(RunTool("cd '" + dir.path()
        + "' && gifsicle -O2 f1.gif f2.gif f3.gif f4.gif > o.gif"
          " && gifsicle -O2 --transparent '#FFFFFF' f1.gif f2.gif f3.gif f4.gif > t.gif"));
    struct Case {
        const char* name;
        const char* recipe;
    } cases[] = {
        { "asis", "--disposal asis o.gif" },
        { "background", "--disposal background o.gif" },
        { "previous", "--disposal previous o.gif" },
        { "mixed",
            "o.gif --disposal background '#0' --disposal previous '#1' --disposal background '#2' --disposal none "
            "'#3'" },
        { "transparent", "--disposal background t.gif" },
    };
    for (const Case& c : cases) {
        const std::string anim = dir.File(std::string(c.name) + ".gif");
        ASSERT_TRUE(RunTool("cd '" + dir.path() + "' && gifsicle " + c.recipe + " > '" + anim + "'"));
        gif::GifStreamDecoder decoder;
        ASSERT_TRUE(decoder.LoadPictureFile(anim)) << c.name;
        std::vector<codec::CxImage> ours;
        ASSERT_TRUE(gif::CoalesceFrames(decoder, [&](const codec::CxImage& screen, std::size_t) {
            ours.push_back(screen);
            return true;
        }));
        ASSERT_EQ(ours.size(), 4u) << c.name;
        // ImageMagick's frames as it composes them, before any re-quantising on write.
        ASSERT_TRUE(
            RunTool("convert '" + anim + "' -coalesce +adjoin '" + dir.File(std::string(c.name) + "_%d.pam") + "'"));
        for (std::size_t i = 0; i < ours.size(); ++i) {
            codec::CxImage theirs;
            std::string why;
            ASSERT_TRUE(ReadNetpbm(dir.File(std::string(c.name) + "_" + std::to_string(i) + ".pam"), theirs, &why))
                << why;
            EXPECT_TRUE(SameVisible(ours[i], theirs, false, &why)) << c.name << " frame " << i + 1 << ": " << why;
        }
    }
}

TEST(GifCli, AnimateInfoAndExtract)
{
    TempDir dir;
    const std::string a = MakeFrame(dir, "a.gif", 50), b = MakeFrame(dir, "b.gif", 150);
    WriteFileBytes(dir.File("c.png"), { 1 });
    WriteFileBytes(dir.File("notes.txt"), { 'x' });
    const std::string cli = PELMORA_CLI;
    const std::string anim = dir.File("anim.gif");
    struct Case {
        std::string args;
        int status;
        std::string stdoutHas;
        std::string stderrHas;
    } cases[] = {
        { "gif-animate --out '" + anim + "' --delay 7 '" + a + "' '" + dir.File("notes.txt") + "' --delay 9 '" + b + "'",
            0,
            "",
            "not an image file" },
        { "gif-animate --out '" + dir.File("bad.gif") + "' '" + a + "' '" + dir.File("c.png") + "'", 1, "", "error" },
        { "gif-animate --palette some --out '" + dir.File("bad.gif") + "' '" + a + "' '" + b + "'", 2, "", "--palette" },
        { "gif-animate --out '" + anim + "' --loops 0 '" + a + "' '" + b + "'",
            2,
            "",
            "Please enter an integer between 1 and 100." },
        { "gif-animate --out '" + anim + "' '" + a + "'",
            2,
            "",
            "Please select at least two GIF files for the animation sequence" },
        { "gif-info '" + anim + "'",
            0,
            "Graphic control for frame 2 Delay 9\nImage frame 2 Res: 16x12 Pos: Left 0 Top 0\nframes: 2",
            "" },
        { "gif-extract '" + anim + "' --out '" + dir.path() + "'", 0, "", "" },
        { "gif-extract '" + dir.File("c.png") + "' --out '" + dir.path() + "'",
            2,
            "",
            "The selected file is not a valid GIF animation" },
        { "gif-extract '" + a + "' --out '" + dir.path() + "'",
            1,
            "",
            "Error while saving the frames as images for the file " + a },
        { "gif-extract --coalesce '" + anim + "' --out '" + dir.File("co") + "'", 0, "", "" },
    };
    fs::create_directory(dir.File("co"));
    for (const Case& c : cases) {
        std::string out;
        const int status = RunCommand(cli + " " + c.args + " 2>'" + dir.File("err") + "'", &out);
        std::vector<std::uint8_t> errBytes = ReadFileBytes(dir.File("err"));
        const std::string err(errBytes.begin(), errBytes.end());
        EXPECT_EQ(status, c.status) << c.args << "\n" << err;
        EXPECT_NE(out.find(c.stdoutHas), std::string::npos) << c.args << "\n" << out;
        EXPECT_NE(err.find(c.stderrHas), std::string::npos) << c.args << "\n" << err;
    }
    EXPECT_TRUE(fs::exists(dir.File("anim_2.gif")));
    EXPECT_FALSE(fs::exists(dir.File("bad.gif")));
    codec::CxImage frame;
    ASSERT_TRUE(frame.Load(dir.File("co/anim_2.gif"), codec::kTypeGif));
    EXPECT_EQ(frame.GetWidth(), 16u);
}

// Frames from photos and PNGs: similar frames share one palette, unrelated ones keep their own,
// and what a GIF reader shows stays close to the sources either way.
TEST(GifBuilder, StillFramesGetASharedPaletteWhenItLooksAsGood)
{
    TempDir dir;
    auto still = [&](const std::string& name, int shift, bool blue, std::uint32_t type) {
        codec::CxImage img(64, 48, 24);
        for (std::uint32_t y = 0; y < 48; ++y)
            for (std::uint32_t x = 0; x < 64; ++x) {
                const auto u = static_cast<std::uint8_t>((x * 4 + static_cast<std::uint32_t>(shift)) & 255);
                const auto v = static_cast<std::uint8_t>(y * 5);
                img.SetPixelColor(x, y, blue ? codec::RGBQuad { 0, v, u, 255 } : codec::RGBQuad { u, v, 40, 255 });
            }
        EXPECT_TRUE(img.Save(dir.File(name), type));
        return std::make_pair(dir.File(name), img);
    };
    const auto [p1, i1] = still("a.png", 0, false, codec::kTypePng);
    const auto [p2, i2] = still("b.png", 8, false, codec::kTypePng);
    const auto [p3, i3] = still("c.png", 0, true, codec::kTypePng);

    struct Case {
        std::vector<std::pair<std::string, codec::CxImage>> frames;
        gif::FramePalette asked, expected;
    } cases[] = {
        { { { p1, i1 }, { p2, i2 } }, gif::FramePalette::kAuto, gif::FramePalette::kShared },
        { { { p1, i1 }, { p3, i3 } }, gif::FramePalette::kAuto, gif::FramePalette::kPerFrame },
        { { { p1, i1 }, { p3, i3 } }, gif::FramePalette::kShared, gif::FramePalette::kShared },
        { { { p1, i1 }, { p2, i2 } }, gif::FramePalette::kPerFrame, gif::FramePalette::kPerFrame },
    };
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        const Case& c = cases[n];
        std::vector<gif::GifFrameSource> sources;
        for (const auto& f : c.frames)
            sources.push_back({ f.first, 10 });
        const std::string anim = dir.File("anim" + std::to_string(n) + ".gif");
        gif::FramePalette used {};
        std::string why;
        ASSERT_TRUE(gif::BuildAnimatedGif(sources, anim, -1, c.asked, &used, &why)) << why;
        EXPECT_EQ(used, c.expected) << "case " << n;

        // ImageMagick reads every frame back close to its source.
        ASSERT_TRUE(RunTool("convert '" + anim + "' -coalesce +adjoin '" + dir.File("f" + std::to_string(n) + "_%d.pam") + "'"));
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            codec::CxImage back;
            ASSERT_TRUE(ReadNetpbm(dir.File("f" + std::to_string(n) + "_" + std::to_string(i) + ".pam"), back, &why)) << why;
            EXPECT_TRUE(SameColors(c.frames[i].second, back, 48, &why)) << "case " << n << " frame " << i << ": " << why;
        }
    }
}

} // namespace
