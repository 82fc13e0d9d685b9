// pelmora-cli tiff, run as a person would: exit codes and whole error texts.

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace testing_support;

namespace {

} // namespace

TEST(TiffCli, BuildsPagesInArgumentOrderAndReportsFailures)
{
    TempDir dir;
    ASSERT_TRUE(MakeTestImage(12, 7, 24).Save(dir.File("a.png"), codec::kTypePng));
    ASSERT_TRUE(MakeTestImage(5, 9, 8).Save(dir.File("b.gif"), codec::kTypeGif));

    CliRun ok = testing_support::RunCli("tiff --out book.tiff b.gif a.png b.gif", dir);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out + ok.err, "");
    std::string sizes;
    RunCommand("identify -format '%w %h|' '" + dir.File("book.tiff") + "'", &sizes);
    EXPECT_EQ(sizes, "5 9|12 7|5 9|");

    WriteFileBytes(dir.File("bad.png"), { 0x89, 'P', 'N', 'G' });
    CliRun failed = testing_support::RunCli("tiff --out other.tiff a.png bad.png nowhere.jpg", dir);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    const std::string prefix = "bad.png: error: ";
    ASSERT_EQ(failed.err.compare(0, prefix.size(), prefix), 0) << failed.err;
    EXPECT_NE(failed.err.find("\nnowhere.jpg: error: cannot open nowhere.jpg: No such file or directory\n"),
        std::string::npos)
        << failed.err;
    EXPECT_TRUE(failed.err.ends_with("\nError: Error while creating multipage tiff file\n")) << failed.err;
    EXPECT_FALSE(std::ifstream(dir.File("other.tiff")).good());

    struct Usage {
        const char* args;
        const char* err;
    };
    for (const Usage& u : { Usage { "tiff a.png", "pelmora-cli: tiff: --out FILE is required\n" },
             Usage { "tiff --out x.tiff", "pelmora-cli: tiff: no files given\n" },
             Usage { "tiff --out", "pelmora-cli: tiff: --out needs a FILE\n" },
             Usage { "tiff --bogus --out x.tiff a.png", "pelmora-cli: tiff: unknown option '--bogus'\n" } }) {
        CliRun r = testing_support::RunCli(u.args, dir);
        EXPECT_EQ(r.status, 2) << u.args;
        EXPECT_EQ(r.err, u.err) << u.args;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.tiff")).good());
}
