// pelmora-cli with WebP, AVIF and JPEG XL: converted to and from, named by extension or --type,
// listed by info, and a batch target.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using testing_support::CliRun;
using testing_support::RunCli;
using testing_support::TempDir;

namespace {

struct Target {
    const char* ext;
    std::uint32_t type;
    const char* name;
};

const Target kTargets[] = {
    { "webp", codec::kTypeWebp, "WebP Image File" },
    { "avif", codec::kTypeAvif, "AV1 Image File" },
    { "jxl", codec::kTypeJxl, "JPEG XL File" },
};

TEST(CliModernFormats, ConvertToAndFromEachAndInfoNamesIt)
{
    TempDir dir;
    CxImage src = testing_support::MakeTestImage(40, 30, 24);
    ASSERT_TRUE(src.Save(dir.File("src.png"), codec::kTypePng));
    for (const Target& t : kTargets) {
        const std::string out = dir.File(std::string("a.") + t.ext);
        CliRun to = RunCli("convert " + dir.File("src.png") + " " + out + " -q", dir);
        ASSERT_EQ(to.status, 0) << t.ext << ": " << to.out << to.err;
        CliRun info = RunCli("info " + out, dir);
        EXPECT_EQ(info.out, out + ": " + t.name + " 40x30 24 bpp 0 dpi\n") << t.ext;

        // Back to PNG, and the same format given by --type under another name.
        CliRun back = RunCli("convert " + out + " " + dir.File(std::string("back-") + t.ext + ".png") + " -q", dir);
        ASSERT_EQ(back.status, 0) << back.out << back.err;
        CxImage png;
        ASSERT_TRUE(png.Load(dir.File(std::string("back-") + t.ext + ".png"), codec::kTypePng));
        EXPECT_GE(testing_support::Psnr(src, png), 25.0) << t.ext; // lossy: only the plumbing is tested here
        CliRun typed = RunCli(
            "convert " + dir.File("src.png") + " " + dir.File("typed.bin") + " --type ." + std::string(t.ext) + " -q",
            dir);
        ASSERT_EQ(typed.status, 0) << typed.err;
        CxImage check;
        ASSERT_TRUE(check.Load(dir.File("typed.bin"), 0));
        EXPECT_EQ(check.GetType(), t.type) << t.ext;
    }
}

TEST(CliModernFormats, BatchWritesEachWithItsDefaultExtension)
{
    TempDir dir;
    ASSERT_TRUE(testing_support::MakeTestImage(20, 10, 8).Save(dir.File("a.gif"), codec::kTypeGif));
    ASSERT_TRUE(testing_support::MakeTestImage(20, 10, 24).Save(dir.File("b.webp"), codec::kTypeWebp));
    for (const Target& t : kTargets) {
        const std::string out = dir.File(std::string("out-") + t.ext);
        CliRun run = RunCli("batch --to " + std::string(t.ext) + " --out " + out + " -q --jobs 1 " + dir.File("a.gif")
                + " " + dir.File("b.webp"),
            dir);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        for (const char* name : { "a", "b" }) {
            CxImage img;
            EXPECT_TRUE(img.Load(out + "/" + name + "." + t.ext, 0)) << t.ext << " " << name;
            EXPECT_EQ(img.GetType(), t.type);
        }
    }
}

} // namespace
