#include "codec/fileio.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using codec::CxImage;
using testing_support::TempDir;

TEST(Image, CreateGivesBlankImageOfEveryDepth)
{
    for (std::uint32_t bpp : { 1u, 4u, 8u, 16u, 24u, 32u }) {
        CxImage img(7, 3, bpp, codec::kTypePng);
        ASSERT_TRUE(img.IsValid()) << bpp;
        EXPECT_EQ(img.GetBpp(), bpp);
        EXPECT_EQ(img.GetType(), codec::kTypePng);
        EXPECT_EQ(img.Pixels().size(), 7u * 3u * CxImage::BytesPerPixelFor(bpp));
        if (bpp <= 8) {
            EXPECT_EQ(img.Palette().size(), 1u << bpp);
        }
    }
}

TEST(Image, CreateRefusesBadDepthAndHugeSizes)
{
    CxImage img;
    EXPECT_FALSE(img.Create(10, 10, 7));
    EXPECT_FALSE(img.IsValid());
    EXPECT_FALSE(img.Create(1u << 20, 1u << 20, 24));
    EXPECT_STRNE(img.GetLastError(), "");
    EXPECT_FALSE(img.Create(0, 10, 24));
}

TEST(Image, ResolutionBelowOneMeansNone)
{
    CxImage img(2, 2, 24);
    img.SetXDPI(0);
    img.SetYDPI(-5);
    EXPECT_EQ(img.GetXDPI(), 0);
    EXPECT_EQ(img.GetYDPI(), 0);
    img.SetXDPI(300);
    EXPECT_EQ(img.GetXDPI(), 300);
}

TEST(Image, CopiesAreIndependent)
{
    CxImage a(4, 4, 24);
    a.SetPixelColor(1, 1, { 10, 20, 30, 255 });
    CxImage b(a, true, true, true);
    b.SetPixelColor(1, 1, { 90, 90, 90, 255 });
    EXPECT_EQ(a.GetPixelColor(1, 1).red, 10);
    EXPECT_EQ(b.GetPixelColor(1, 1).red, 90);
}

TEST(Image, LoadFailuresLeaveAnInvalidImageAndSayWhy)
{
    TempDir dir;
    CxImage img;
    EXPECT_FALSE(img.Load(dir.File("missing.png"), codec::kTypePng));
    EXPECT_NE(std::string(img.GetLastError()).find("missing.png"), std::string::npos);

    testing_support::WriteFileBytes(dir.File("empty.png"), {});
    EXPECT_FALSE(img.Load(dir.File("empty.png"), 0));
    EXPECT_STREQ(img.GetLastError(), "the file is empty");

    testing_support::WriteFileBytes(dir.File("noise.bin"), { 1, 2, 3, 4, 5, 6, 7, 8, 9 });
    EXPECT_FALSE(img.Load(dir.File("noise.bin"), 0));
    EXPECT_FALSE(img.IsValid());
}

TEST(FileIo, AtomicWriteReplacesWholeFileOrNothing)
{
    TempDir dir;
    const std::string path = dir.File("out.bin");
    testing_support::WriteFileBytes(path, { 1, 2, 3 });
    std::vector<std::uint8_t> data(1000, 7);
    ASSERT_TRUE(codec::WriteFileAtomic(path, data));
    EXPECT_EQ(testing_support::ReadFileBytes(path), data);
    // A folder that does not exist: failure, and no stray temporary file anywhere.
    EXPECT_FALSE(codec::WriteFileAtomic(dir.File("nope/out.bin"), data));
    std::string listing;
    testing_support::RunCommand("ls -A " + dir.path(), &listing);
    EXPECT_EQ(listing, "out.bin\n");
}

TEST(FileIo, DiscardedAtomicFileLeavesOldContent)
{
    TempDir dir;
    const std::string path = dir.File("keep.bin");
    testing_support::WriteFileBytes(path, { 9, 9 });
    {
        codec::AtomicFile f(path);
        ASSERT_TRUE(f.Open());
        std::fputs("partial", f.stream());
    } // destroyed without commit
    EXPECT_EQ(testing_support::ReadFileBytes(path), (std::vector<std::uint8_t> { 9, 9 }));
    std::string listing;
    testing_support::RunCommand("ls -A " + dir.path(), &listing);
    EXPECT_EQ(listing, "keep.bin\n");
}

TEST(FileIo, ReadOnlyTargetIsRefusedAndKeepsItsModeWhenWritable)
{
    TempDir dir;
    const std::string locked = dir.File("locked.bin");
    testing_support::WriteFileBytes(locked, { 5 });
    ::chmod(locked.c_str(), 0444);
    std::vector<std::uint8_t> data(10, 1);
    codec::Result r = codec::WriteFileAtomic(locked, data);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("read-only"), std::string::npos);
    EXPECT_EQ(testing_support::ReadFileBytes(locked), (std::vector<std::uint8_t> { 5 }));

    const std::string shared = dir.File("shared.bin");
    testing_support::WriteFileBytes(shared, { 5 });
    ::chmod(shared.c_str(), 0664);
    ASSERT_TRUE(codec::WriteFileAtomic(shared, data));
    struct stat st { };
    ::stat(shared.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
}
