// pelmora-cli tiff, run as a person would: exit codes and whole error texts.

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace testing_support;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun Cli(const std::string& args, const TempDir& dir)
{
    CliRun r;
    const std::string errFile = dir.File(".stderr");
    r.status
        = RunCommand("cd '" + dir.path() + "' && " + std::string(PELMORA_CLI) + " " + args + " 2>" + errFile, &r.out);
    const auto bytes = ReadFileBytes(errFile);
    r.err.assign(bytes.begin(), bytes.end());
    ::unlink(errFile.c_str());
    return r;
}

} // namespace

TEST(TiffCli, BuildsPagesInArgumentOrderAndReportsFailures)
{
    TempDir dir;
    ASSERT_TRUE(MakeTestImage(12, 7, 24).Save(dir.File("a.png"), codec::kTypePng));
    ASSERT_TRUE(MakeTestImage(5, 9, 8).Save(dir.File("b.gif"), codec::kTypeGif));

    CliRun ok = Cli("tiff --out book.tiff b.gif a.png b.gif", dir);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out + ok.err, "");
    std::string sizes;
    RunCommand("identify -format '%w %h|' '" + dir.File("book.tiff") + "'", &sizes);
    EXPECT_EQ(sizes, "5 9|12 7|5 9|");

    WriteFileBytes(dir.File("bad.png"), { 0x89, 'P', 'N', 'G' });
    CliRun failed = Cli("tiff --out other.tiff a.png bad.png nowhere.jpg", dir);
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
        CliRun r = Cli(u.args, dir);
        EXPECT_EQ(r.status, 2) << u.args;
        EXPECT_EQ(r.err, u.err) << u.args;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.tiff")).good());
}
