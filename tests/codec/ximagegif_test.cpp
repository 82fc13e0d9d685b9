#include "codec/ximagegif.h"
#include "codec/xiofile.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using codec::CxImage;
using codec::CxImageGIF;
using codec::CxIOFile;
using namespace testing_support;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

/// Three frames of different depths and sizes with their own delays; the last has a
/// transparent index.
struct Frames {
    CxImage first = MakeTestImage(40, 30, 8);
    CxImage second = MakeTestImage(40, 30, 24);
    CxImage third = MakeTestImage(20, 10, 4);
    CxImage* list[3] = { &first, &second, &third };
    Frames()
    {
        first.SetFrameDelay(10);
        second.SetFrameDelay(20);
        third.SetFrameDelay(30);
        third.SetTransIndex(2);
    }
};

std::string GifsicleInfo(const std::string& path)
{
    std::string info;
    EXPECT_EQ(RunCommand("gifsicle --info '" + path + "'", &info), 0);
    return info;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CxImageGIF, WritesFramesWithDelaysDisposalLoopsAndComment)
{
    ASSERT_TRUE(HaveTool("gifsicle"));
    ASSERT_TRUE(HaveTool("identify"));
    TempDir dir;
    Frames frames;
    struct Case {
        int loops;
        const char* expected; ///< gifsicle's loop line, or empty for none
    };
    for (const Case& c : { Case { -1, "loop forever" }, Case { 1, "" }, Case { 0, "" }, Case { 3, "loop count 2" } }) {
        SCOPED_TRACE(c.loops);
        const std::string path = dir.File("anim" + std::to_string(c.loops) + ".gif");
        CxImageGIF gif;
        gif.SetComment("made by pelmora");
        gif.SetLoops(c.loops);
        // One disposal method, whichever way it is set: through the image interface it is the
        // value written for every frame.
        codec::CxImage& asImage = gif;
        asImage.SetDisposalMethod(2);
        EXPECT_EQ(gif.GetDisposalMethod(), 2);
        {
            File f(std::fopen(path.c_str(), "w+b"));
            ASSERT_TRUE(f);
            CxIOFile io(f.get());
            ASSERT_TRUE(gif.Encode(&io, frames.list, 3, false)) << gif.GetLastError();
        }
        const std::string info = GifsicleInfo(path);
        EXPECT_TRUE(Has(info, "3 images")) << info;
        EXPECT_TRUE(Has(info, "logical screen 40x30")) << info;
        EXPECT_TRUE(Has(info, "comment made by pelmora")) << info;
        if (*c.expected)
            EXPECT_TRUE(Has(info, c.expected)) << info;
        else
            EXPECT_FALSE(Has(info, "loop")) << info;
        EXPECT_TRUE(Has(info, "+ image #2 20x10 transparent 2")) << info;
        for (const char* delay : { "delay 0.10s", "delay 0.20s", "delay 0.30s" })
            EXPECT_TRUE(Has(info, std::string("disposal background ") + delay)) << info;

        std::string identify;
        ASSERT_EQ(RunCommand("identify -format '%T %w %h|' " + path, &identify), 0);
        EXPECT_EQ(identify, "10 40 30|20 40 30|30 20 10|");
    }
    // The frames themselves were not changed by the reduction.
    EXPECT_EQ(frames.second.GetBpp(), 24u);
}

TEST(CxImageGIF, FramesComeBackAsWritten)
{
    ASSERT_TRUE(HaveTool("convert"));
    ASSERT_TRUE(HaveTool("gifsicle"));
    TempDir dir;
    Frames frames;
    for (bool local : { false, true }) {
        SCOPED_TRACE(local);
        const std::string path = dir.File(local ? "local.gif" : "global.gif");
        CxImageGIF gif;
        {
            File f(std::fopen(path.c_str(), "w+b"));
            ASSERT_TRUE(f);
            CxIOFile io(f.get());
            ASSERT_TRUE(gif.Encode(&io, frames.list, 3, local)) << gif.GetLastError();
        }
        for (int i = 0; i < 3; ++i) {
            CxImage theirs;
            std::string why;
            ASSERT_TRUE(ImageMagickPixels(path, i, theirs, &why)) << why;
            const CxImage& mine = *frames.list[i];
            if (mine.IsIndexed())
                EXPECT_TRUE(SameVisible(mine, theirs, true, &why)) << i << ": " << why;
            else
                EXPECT_GT(Psnr(mine, theirs), 25.0) << i;
        }
        // The reader gives the first frame, placed on the whole screen.
        CxImage first;
        ASSERT_TRUE(first.Load(path, 0)) << first.GetLastError();
        EXPECT_EQ(first.Pixels(), frames.first.Pixels());
        EXPECT_EQ(first.GetFrameDelay(), 10u);

        const std::string info = GifsicleInfo(path);
        EXPECT_EQ(Has(info, "global color table"), !local) << info;
        // Later frames whose colours differ from the first's get a table of their own either way.
        std::size_t tables = 0;
        for (std::size_t at = info.find("local color table"); at != std::string::npos;
             at = info.find("local color table", at + 1))
            ++tables;
        EXPECT_EQ(tables, local ? 3u : 2u) << info;
    }
}

TEST(CxImageGIF, LeavesTheCallersStreamOpen)
{
    TempDir dir;
    Frames frames;
    const std::string path = dir.File("stream.gif");
    File f(std::fopen(path.c_str(), "w+b"));
    ASSERT_TRUE(f);
    std::fputs("HEAD", f.get());
    CxIOFile io(f.get());
    CxImageGIF gif;
    gif.SetLoops(-1);
    ASSERT_TRUE(gif.Encode(&io, frames.list, 3));
    const long end = std::ftell(f.get());
    ASSERT_GT(end, 4);
    EXPECT_EQ(io.Tell(), end);
    ASSERT_GE(std::fputs("TAIL", f.get()), 0);
    f.reset();
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(end) + 4);
    EXPECT_EQ(std::string(bytes.end() - 5, bytes.end()), ";TAIL");
    CxImage first;
    ASSERT_TRUE(first.Decode(codec::ByteView(bytes).subspan(4, static_cast<std::size_t>(end) - 4), codec::kTypeGif))
        << first.GetLastError();
    EXPECT_EQ(first.Pixels(), frames.first.Pixels());
}

TEST(CxImageGIF, RefusesBadRequestsWithAText)
{
    TempDir dir;
    Frames frames;
    const std::string path = dir.File("out.gif");
    File f(std::fopen(path.c_str(), "w+b"));
    ASSERT_TRUE(f);
    CxIOFile io(f.get());
    CxImageGIF gif;
    EXPECT_FALSE(gif.Encode(&io, frames.list, 0));
    EXPECT_NE(std::string(gif.GetLastError()), "");
    EXPECT_FALSE(gif.Encode(&io, nullptr, 2));
    EXPECT_FALSE(gif.Encode(nullptr, frames.list, 3));
    CxImage empty;
    CxImage* withEmpty[] = { &frames.first, &empty };
    EXPECT_FALSE(gif.Encode(&io, withEmpty, 2));
    EXPECT_TRUE(Has(gif.GetLastError(), "frame 2")) << gif.GetLastError();
    gif.SetDisposalMethod(9);
    EXPECT_FALSE(gif.Encode(&io, frames.list, 3));
    EXPECT_TRUE(Has(gif.GetLastError(), "disposal")) << gif.GetLastError();
    EXPECT_EQ(std::ftell(f.get()), 0); // nothing was written by the refused calls

    // A stream that cannot be written.
    gif.SetDisposalMethod(0);
    File readOnly(std::fopen(path.c_str(), "rb"));
    ASSERT_TRUE(readOnly);
    CxIOFile in(readOnly.get());
    EXPECT_FALSE(gif.Encode(&in, frames.list, 3));
    EXPECT_TRUE(Has(gif.GetLastError(), "cannot write")) << gif.GetLastError();
    // A device that is always full: the failure shows when the data is flushed.
    File full(std::fopen("/dev/full", "wb"));
    ASSERT_TRUE(full);
    CxIOFile sink(full.get());
    EXPECT_FALSE(gif.Encode(&sink, frames.list, 3));
}
