// pelmora-cli batch executed as a plan's shards under GNU parallel, as on many machines.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using testing_support::CliRun;
using testing_support::RunCli;
using testing_support::TempDir;

namespace {

/// Every file below `folder`, by relative path, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> Files(const std::string& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(folder).string()] = testing_support::ReadFileBytes(entry.path());
    return files;
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Text(const std::string& path)
{
    const auto bytes = testing_support::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(CliShards, FourShardsUnderParallelGiveTheFilesAndReportOfOneRun)
{
    if (!testing_support::HaveTool("parallel"))
        GTEST_SKIP() << "GNU parallel is not installed (scripts/setup installs it)";
    // 200 different small pictures in two folders with the same names, so half the outputs take
    // a counter, and one unreadable file, so the report has a failure.
    TempDir dir;
    for (const char* sub : { "in/a", "in/b" })
        std::filesystem::create_directories(dir.File(sub));
    for (int i = 0; i < 100; ++i) {
        for (const char* sub : { "a", "b" }) {
            codec::CxImage img = testing_support::MakeTestImage(9 + i % 5, 6 + i % 3, 24);
            img.SetPixelColor(0, 0, { static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(sub[0]), 7, 255 });
            const std::string path = dir.File(std::string("in/") + sub + "/p" + std::to_string(i) + ".bmp");
            if (i == 7 && sub[0] == 'b')
                testing_support::WriteFileBytes(path, { 'B', 'M' });
            else
                ASSERT_TRUE(img.Save(path, codec::kTypeBmp));
        }
    }
    const std::string settings = " --to png --max-side 8 --suffix _s in/a in/b";
    CliRun one = RunCli("batch -q --jobs 2 --out one --report one.txt" + settings, dir);
    ASSERT_EQ(one.status, 1) << one.err;
    CliRun plan = RunCli("batch --dry-run --json --out two" + settings + " > plan.json", dir);
    ASSERT_EQ(plan.status, 0) << plan.err;

    // An earlier attempt of shard 0, killed (perhaps mid-run, perhaps after its end), and a
    // damaged file where its first output goes: the retry below replaces both.
    const std::string cli = PELMORA_CLI;
    testing_support::RunCommand("cd '" + dir.path() + "' && { " + cli
        + " batch -q --plan plan.json --shard 0/4 --jobs 1 --report r0.txt & sleep 0.2; kill -KILL $!; wait; } "
          "2>/dev/null");
    std::filesystem::create_directories(dir.File("two"));
    testing_support::WriteFileBytes(dir.File("two/p0_s.png"), { 0x89, 'P', 'N' });
    ASSERT_EQ(testing_support::RunCommand("cd '" + dir.path() + "' && parallel --will-cite -j 4 " + cli
                  + " batch -q --plan plan.json --shard {}/4 --jobs 1 --report r{}.txt ::: 0 1 2 3"),
        1); // one shard had the unreadable file
    CliRun merged = RunCli("report merge r3.txt r1.txt r0.txt r2.txt", dir);
    EXPECT_EQ(merged.status, one.status) << merged.err;
    EXPECT_EQ(
        Replace(merged.out, dir.File("two/"), "OUT/"), Replace(Text(dir.File("one.txt")), dir.File("one/"), "OUT/"));
    EXPECT_NE(merged.out.find("# Error while converting file " + dir.File("two/p7_s(0).png")), std::string::npos);
    const auto files = Files(dir.File("one"));
    EXPECT_EQ(files.size(), 199u);
    EXPECT_TRUE(files == Files(dir.File("two"))) << "the shards' files differ from one run's";

    // A retried task (here a Kubernetes index) writes the same files and report again.
    const std::string r2 = Text(dir.File("r2.txt"));
    CliRun again = RunCli(
        "batch -q --plan plan.json --shard auto --report r2.txt", dir, "JOB_COMPLETION_INDEX=2 PELMORA_SHARD_COUNT=4");
    EXPECT_EQ(again.status, r2.find("# Error") == std::string::npos ? 0 : 1) << again.err;
    EXPECT_EQ(Text(dir.File("r2.txt")), r2);
    EXPECT_TRUE(files == Files(dir.File("two")));

    // Refused before anything is written.
    testing_support::WriteFileBytes(dir.File("old.json"), { '{', '}' });
    for (const std::string& args : { std::string("batch --shard 1/4 --out x in/a"),
             std::string("batch --plan plan.json --to png"),
             std::string("batch --plan plan.json in/a"),
             std::string("batch --plan plan.json --shard 4/4"),
             std::string("batch --plan plan.json --shard auto"),
             std::string("batch --plan missing.json"),
             std::string("batch --plan old.json"),
             std::string("report merge r0.txt r1.txt r2.txt"),
             std::string("report merge r0.txt r1.txt r2.txt r3.txt r3.txt") }) {
        CliRun r = RunCli(args, dir, "-u SLURM_ARRAY_TASK_ID -u JOB_COMPLETION_INDEX");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("pelmora-cli: ", 0), 0u) << args << ": " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("x")));
}
