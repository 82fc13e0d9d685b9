// Every writing command of pelmora-cli under a full disk (files limited to half the size of the
// largest output a clean run writes) and a read-only destination: the command says it failed, the
// files it could write are whole, the others leave nothing (no temporary file either), and what was
// at a target before is unchanged.

#include "support/fault_injection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::RunCli;
using testing_support::TempDir;
using testing_support::Tree;

namespace {

constexpr const char* kPasswordEnv = "PELMORA_PASSWORD=sesame-4711";

struct Command {
    const char* what;
    std::string args; ///< "OUT" stands for the destination folder
    /// A file already at the destination before the run (a single target's own name).
    std::string earlier;
    /// Files of the run that are small enough to be written under the full disk.
    int smallSuccesses = 0;
};

std::string WithOut(std::string args, const std::string& out)
{
    for (std::size_t at; (at = args.find("OUT")) != std::string::npos;)
        args.replace(at, 3, out);
    return args;
}

std::map<std::string, std::vector<std::uint8_t>> Contents(const std::string& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const std::string& name : Tree(folder))
        files[name] = ReadFileBytes(folder + "/" + name);
    return files;
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir.File("src"));
        const std::uint32_t sides[] = { 16, 300, 20 };
        const char* names[] = { "src/small.bmp", "src/big.bmp", "src/small2.bmp" };
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(
                testing_support::MakeTestImage(sides[i], sides[i], 24).Save(dir.File(names[i]), codec::kTypeBmp));
        for (const char* name : { "src/f1.gif", "src/f2.gif" })
            ASSERT_TRUE(testing_support::MakeTestImage(300, 300, 8).Save(dir.File(name), codec::kTypeGif));
        ASSERT_EQ(RunCli("gif-animate --out src/anim.gif src/f1.gif src/f2.gif", dir).status, 0);
        fs::create_directories(dir.File("sealed"));
        ASSERT_EQ(
            RunCli("encrypt -q --out sealed src/small.bmp src/big.bmp src/small2.bmp", dir, kPasswordEnv).status, 0);
        before = Contents(dir.File("src"));
        sealedBefore = Contents(dir.File("sealed"));
    }

    /// Runs `c` into a fresh folder `out` (with its earlier file) behind `prefix`.
    testing_support::CliRun Run(const Command& c, const std::string& out, const std::string& prefix)
    {
        fs::create_directories(dir.File(out));
        if (!c.earlier.empty())
            testing_support::WriteFileBytes(dir.File(out + "/" + c.earlier), { 'e', 'a', 'r', 'l', 'y' });
        earlierContents = Contents(dir.File(out));
        return RunCli(WithOut(c.args, out), dir, std::string(kPasswordEnv) + " " + prefix);
    }

    static std::vector<Command> Commands()
    {
        return {
            { "convert", "convert src/big.bmp OUT/x.png", "x.png" },
            { "batch", "batch -q --jobs 1 --to bmp --out OUT src/small.bmp src/big.bmp src/small2.bmp", "", 2 },
            { "batch --encrypt",
                "batch -q --jobs 2 --encrypt --to bmp --out OUT src/small.bmp src/big.bmp src/small2.bmp",
                "",
                2 },
            { "gif-animate", "gif-animate --out OUT/anim.gif src/f1.gif src/f2.gif", "anim.gif" },
            { "gif-extract", "gif-extract -q src/anim.gif --out OUT", "" },
            { "gif-extract --coalesce", "gif-extract -q --coalesce src/anim.gif --out OUT", "" },
            { "tiff", "tiff --out OUT/pages.tiff src/small.bmp src/big.bmp", "pages.tiff" },
            { "encrypt", "encrypt -q --out OUT src/small.bmp src/big.bmp src/small2.bmp", "", 2 },
            { "decrypt", "decrypt -q --out OUT sealed/small.bmp sealed/big.bmp sealed/small2.bmp", "", 2 },
        };
    }

    /// The sources are untouched, and every file in `out` is either what was there before or what
    /// the clean run wrote under that name (the same size when encrypted: the salt differs).
    void ExpectOnlyWholeFiles(const std::string& out, const std::string& clean)
    {
        EXPECT_EQ(Contents(dir.File("src")), before);
        EXPECT_EQ(Contents(dir.File("sealed")), sealedBefore);
        const auto cleanFiles = Contents(dir.File(clean));
        for (const auto& [name, bytes] : Contents(dir.File(out))) {
            SCOPED_TRACE(name);
            if (auto e = earlierContents.find(name); e != earlierContents.end() && e->second == bytes)
                continue;
            auto c = cleanFiles.find(name);
            ASSERT_NE(c, cleanFiles.end()) << "a file the clean run did not write";
            const bool sealed = bytes.size() >= 8 && std::string(bytes.begin(), bytes.begin() + 8) == "PLMCRYPT";
            if (sealed)
                EXPECT_EQ(bytes.size(), c->second.size());
            else
                EXPECT_EQ(bytes, c->second);
        }
    }

    TempDir dir;
    std::map<std::string, std::vector<std::uint8_t>> before, sealedBefore, earlierContents;
};

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

} // namespace

TEST_F(CliFaults, FullDiskFailsTheLargeFilesOnly)
{
    int i = 0;
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.what);
        const std::string clean = "clean" + std::to_string(i), out = "full" + std::to_string(i);
        ++i;
        const auto cleanRun = Run(c, clean, "");
        ASSERT_EQ(cleanRun.status, 0) << cleanRun.err;
        std::uintmax_t largest = 0;
        for (const std::string& name : Tree(dir.File(clean)))
            largest = std::max<std::uintmax_t>(largest, fs::file_size(dir.File(clean + "/" + name)));

        const auto run = Run(c, out, testing_support::FileSizeLimitPrefix(largest / 2));
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        ExpectOnlyWholeFiles(out, clean);
        EXPECT_NE(Contents(dir.File(out)), Contents(dir.File(clean))) << "the largest file cannot be there";
        EXPECT_EQ(Count(run.out, "Successfully converted file"), static_cast<std::size_t>(c.smallSuccesses));
    }
}

TEST_F(CliFaults, ReadOnlyDestinationFailsEveryFileAndWritesNothing)
{
    if (testing_support::RunCommand(testing_support::PermissionsPrefix() + "true") != 0)
        GTEST_SKIP() << "cannot give up the capabilities that override permission bits";
    int i = 0;
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.what);
        const std::string out = "ro" + std::to_string(i++);
        fs::create_directories(dir.File(out));
        if (!c.earlier.empty())
            testing_support::WriteFileBytes(dir.File(out + "/" + c.earlier), { 'e' });
        const auto earlier = Contents(dir.File(out));
        ::chmod(dir.File(out).c_str(), 0555);
        const auto run
            = RunCli(WithOut(c.args, out), dir, std::string(kPasswordEnv) + " " + testing_support::PermissionsPrefix());
        ::chmod(dir.File(out).c_str(), 0755);
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(Contents(dir.File(out)), earlier);
        EXPECT_EQ(Contents(dir.File("src")), before);
        EXPECT_EQ(Count(run.out, "Successfully converted file"), 0u);
    }
}

// A file named on the command line that is gone by the time it is read: the single-target commands
// fail and leave their target as it was, the runs fail that entry and go on.
TEST_F(CliFaults, SourceGoneBeforeLoadingFailsOnlyItself)
{
    const std::vector<Command> commands = {
        { "convert", "convert src/gone.bmp OUT/x.png", "x.png" },
        { "batch", "batch -q --to png --out OUT src/small.bmp src/gone.bmp src/small2.bmp", "", 2 },
        { "gif-animate", "gif-animate --out OUT/anim.gif src/f1.gif src/gone.gif", "anim.gif" },
        { "gif-extract", "gif-extract -q src/gone.gif --out OUT", "" },
        { "tiff", "tiff --out OUT/pages.tiff src/small.bmp src/gone.bmp", "pages.tiff" },
        { "encrypt", "encrypt -q --out OUT src/small.bmp src/gone.bmp src/small2.bmp", "", 2 },
        { "decrypt", "decrypt -q --out OUT sealed/small.bmp sealed/gone.bmp", "", 1 },
    };
    int i = 0;
    for (const Command& c : commands) {
        SCOPED_TRACE(c.what);
        const std::string out = "gone" + std::to_string(i++);
        const auto run = Run(c, out, "");
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(Count(run.out, "Successfully converted file"), static_cast<std::size_t>(c.smallSuccesses));
        EXPECT_EQ(Count(run.out, "# Error while converting file"), c.smallSuccesses ? 1u : 0u);
        // Only the files that exist were written; a single target keeps what it held.
        const auto after = Contents(dir.File(out));
        EXPECT_EQ(after.size(), earlierContents.size() + static_cast<std::size_t>(c.smallSuccesses));
        for (const auto& [name, bytes] : earlierContents)
            EXPECT_EQ(after.at(name), bytes) << name;
    }
}
