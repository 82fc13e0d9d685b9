// pelmora-cli rotate, and the metadata that convert and batch keep or, with --strip-metadata, drop.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using codec::CxImage;
using testing_support::RunCli;
using testing_support::RunCommand;
using testing_support::SaveTestJpeg;
using testing_support::TempDir;

namespace {

std::string Size(const std::string& path)
{
    CxImage img;
    return img.Load(path) ? std::to_string(img.GetWidth()) + "x" + std::to_string(img.GetHeight()) : "unreadable";
}

} // namespace

TEST(CliRotate, TurnsLosslesslyOrRefusesAndReencodesOtherwise)
{
    TempDir dir;
    const std::string even = SaveTestJpeg(dir.File("even.jpg"), 64, 48);
    const std::string odd = SaveTestJpeg(dir.File("odd.jpg"), 61, 45);
    struct Case {
        std::string args;
        int status;
        const char* out;
        const char* size; // of OUT, or nullptr when nothing may be written
    };
    const std::vector<Case> cases = {
        { "--lossless --left " + even, 0, "a.jpg", "48x64" },
        { "--lossless --180 " + even, 0, "b.jpg", "64x48" },
        { "--lossless " + odd, 1, "c.jpg", nullptr },
        { odd, 0, "d.jpg", "45x61" },
        { "--left " + odd, 0, "e.png", "45x61" },
        { "--lossless " + even, 2, "f.png", nullptr },
        { "--left --right " + even, 2, "g.jpg", nullptr },
        { "--lossless " + dir.File("missing.jpg"), 1, "h.jpg", nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const testing_support::CliRun run = RunCli("rotate -q " + c.args + " " + dir.File(c.out), dir);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.size) {
            EXPECT_EQ(Size(dir.File(c.out)), c.size);
        } else {
            EXPECT_FALSE(std::filesystem::exists(dir.File(c.out)));
        }
    }
}

TEST(CliMetadata, ConvertAndBatchKeepMetadataUnlessStripped)
{
    if (!testing_support::HaveTool("exiftool"))
        GTEST_SKIP() << "exiftool missing";
    TempDir dir;
    const std::string photo = SaveTestJpeg(dir.File("photo.jpg"), 32, 24);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -EXIF:Make=Pelmora -XMP-dc:Title=Kept " + photo), 0);
    struct Case {
        std::string args;
        std::string out;
        bool kept;
    };
    const std::vector<Case> cases = {
        { "convert " + photo + " " + dir.File("c.png"), dir.File("c.png"), true },
        { "convert --strip-metadata " + photo + " " + dir.File("s.png"), dir.File("s.png"), false },
        { "batch -q --to tif --out " + dir.File("kept") + " " + photo, dir.File("kept/photo.tiff"), true },
        { "batch -q --strip-metadata --to jpg --out " + dir.File("bare") + " " + photo,
            dir.File("bare/photo.jpg"),
            false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(RunCli(c.args, dir).status, 0);
        std::string title;
        RunCommand("exiftool -q -q -s3 -XMP-dc:Title " + c.out, &title);
        EXPECT_EQ(title, c.kept ? "Kept\n" : "");
    }
}

// A photo stored sideways is upright everywhere: its size in info, and a shrinking batch run
// (which decodes JPEGs at a reduced scale from the stored size) makes the upright shape.
TEST(CliOrientation, SidewaysPhotosAreMeasuredAndShrunkUpright)
{
    if (!testing_support::HaveTool("exiftool"))
        GTEST_SKIP() << "exiftool missing";
    TempDir dir;
    const std::string phone = SaveTestJpeg(dir.File("phone.jpg"), 64, 48);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -n -EXIF:Orientation=6 " + phone), 0);
    const std::string info = RunCli("info " + phone, dir).out;
    EXPECT_NE(info.find(": Joint Photographic Experts Group File 48x64 24 bpp"), std::string::npos) << info;
    ASSERT_EQ(RunCli("batch -q --max-side 16 --to png --out " + dir.File("small") + " " + phone, dir).status, 0);
    EXPECT_EQ(Size(dir.File("small/phone.png")), "12x16");
}
