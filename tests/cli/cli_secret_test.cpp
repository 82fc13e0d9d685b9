// The password and the files of pelmora-cli: the password is in no file, report or message the
// program writes; created files and folders get exactly the permissions the umask allows; a
// decryption that does not verify leaves no file at all.

#include "support/fault_injection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::RunCli;
using testing_support::TempDir;
using testing_support::Tree;

namespace {

constexpr const char* kPassword = "Qx7-unusual-secret-91";

bool Contains(const std::vector<std::uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

void MakeSources(const TempDir& dir)
{
    fs::create_directories(dir.File("src"));
    ASSERT_TRUE(testing_support::MakeTestImage(40, 30, 24).Save(dir.File("src/a.bmp"), codec::kTypeBmp));
    ASSERT_TRUE(testing_support::MakeTestImage(30, 40, 8).Save(dir.File("src/b.gif"), codec::kTypeGif));
    ASSERT_TRUE(testing_support::MakeTestImage(30, 40, 8).Save(dir.File("src/c.gif"), codec::kTypeGif));
    testing_support::WriteFileBytes(
        dir.File("pw.txt"), std::vector<std::uint8_t>(kPassword, kPassword + std::strlen(kPassword)));
}

} // namespace

TEST(CliSecrets, PasswordIsInNothingTheProgramWrites)
{
    TempDir dir;
    MakeSources(dir);
    const std::string env = std::string("PELMORA_PASSWORD=") + kPassword;
    // Successes and failures (a missing file, a file that is not encrypted, a wrong password), with
    // every kind of report.
    const std::vector<std::pair<std::string, std::string>> runs = {
        { "batch -q --encrypt --password-file pw.txt --to png --json --report out/batch.json --out out/b src "
          "src/missing.bmp",
            "" },
        { "batch --encrypt --to jpg --out out/b2 src/a.bmp src/missing.bmp", env },
        { "encrypt --password-file pw.txt --report out/enc.txt --out out/enc src/a.bmp src/b.gif src/missing.bmp", "" },
        { "encrypt --json --out out/enc2 src/a.bmp", env },
        { "decrypt --password-file pw.txt --json --out out/dec out/enc/a.bmp src/a.bmp", "" },
        { "decrypt --report out/dec.txt --out out/dec2 out/enc/b.gif", env },
        { "decrypt --out out/wrong out/enc/a.bmp", "PELMORA_PASSWORD=another-password" },
    };
    std::string said;
    for (const auto& [args, runEnv] : runs) {
        const auto run = RunCli(args, dir, runEnv);
        EXPECT_LE(run.status, 1) << args << "\n" << run.err;
        said += run.out + run.err;
    }
    EXPECT_EQ(said.find(kPassword), std::string::npos);
    ASSERT_TRUE(fs::exists(dir.File("out/dec/a.bmp")));
    std::size_t scanned = 0;
    for (const std::string& name : Tree(dir.path())) {
        const std::string path = dir.File(name);
        if (name == "pw.txt" || !fs::is_regular_file(path))
            continue;
        EXPECT_FALSE(Contains(ReadFileBytes(path), kPassword)) << name;
        ++scanned;
    }
    EXPECT_GE(scanned, 15u);
}

TEST(CliSecrets, CreatedFilesHaveTheModeTheUmaskAllows)
{
    for (const char* umask : { "077", "022", "027" }) {
        SCOPED_TRACE(std::string("umask ") + umask);
        TempDir dir;
        MakeSources(dir);
        const mode_t mask = static_cast<mode_t>(std::stoi(umask, nullptr, 8));
        const std::string prefix
            = std::string("PELMORA_PASSWORD=") + kPassword + " sh -c 'umask " + umask + "; exec \"$0\" \"$@\"' ";
        fs::create_directories(dir.File("made/frames"));
        ::chmod(dir.File("made").c_str(), 0777 & ~mask);
        ::chmod(dir.File("made/frames").c_str(), 0777 & ~mask);
        for (const char* args : {
                 "convert src/a.bmp made/a.png",
                 "batch -q --to tif --report made/report.txt --out made/batch src",
                 "batch -q -r --encrypt --to png --out made/sealed/deeper src",
                 "gif-animate --out made/anim.gif src/b.gif src/c.gif",
                 "gif-extract -q made/anim.gif --out made/frames",
                 "tiff --out made/pages.tiff src/a.bmp src/b.gif",
                 "encrypt -q --out made/enc src/a.bmp",
                 "decrypt -q --json --report made/dec.json --out made/dec made/enc/a.bmp",
             }) {
            const auto run = RunCli(args, dir, prefix);
            EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
        }
        std::size_t files = 0;
        for (const std::string& name : Tree(dir.File("made"))) {
            struct stat st { };
            ASSERT_EQ(::stat(dir.File("made/" + name).c_str(), &st), 0);
            const mode_t expected = (S_ISDIR(st.st_mode) ? 0777 : 0666) & ~mask;
            EXPECT_EQ(st.st_mode & 07777, expected) << name;
            files += S_ISREG(st.st_mode);
        }
        EXPECT_GE(files, 12u);
    }
}

TEST(CliSecrets, DecryptionThatDoesNotVerifyLeavesNoFile)
{
    TempDir dir;
    MakeSources(dir);
    const std::string env = std::string("PELMORA_PASSWORD=") + kPassword;
    // Large enough for several chunks: the damage is found only after earlier chunks verified.
    ASSERT_TRUE(testing_support::MakeTestImage(400, 300, 24).Save(dir.File("src/big.bmp"), codec::kTypeBmp));
    ASSERT_EQ(RunCli("encrypt -q --out sealed src/big.bmp", dir, env).status, 0);
    const std::vector<std::uint8_t> sealed = ReadFileBytes(dir.File("sealed/big.bmp"));
    ASSERT_GT(sealed.size(), 3u * 65536);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::string env;
    };
    std::vector<Case> cases = {
        { "last chunk changed", sealed, env },
        { "cut short after two chunks",
            std::vector<std::uint8_t>(sealed.begin(), sealed.begin() + 76 + 2 * (65536 + 17)),
            env },
        { "a byte added", sealed, env },
        { "wrong password", sealed, "PELMORA_PASSWORD=not-the-password" },
    };
    cases[0].bytes[cases[0].bytes.size() - 3] ^= 0x40;
    cases[2].bytes.push_back(0);
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string in = "in" + std::to_string(i) + "/big.bmp", out = "out" + std::to_string(i++);
        fs::create_directories(dir.File(in).substr(0, dir.File(in).rfind('/')));
        testing_support::WriteFileBytes(dir.File(in), c.bytes);
        const auto run = RunCli("decrypt --out " + out + " " + in, dir, c.env);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(Tree(dir.File(out)), std::vector<std::string>()) << "nothing at all, no temporary file";
        EXPECT_EQ(ReadFileBytes(dir.File(in)), c.bytes);
    }
}
