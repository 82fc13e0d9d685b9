// pelmora-cli encrypt and decrypt, run as a person would.

#include "crypt/crypt_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace crypt_testing;
using testing_support::CliRun;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Text(const std::string& path)
{
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(CipherCli, EncryptsAndDecryptsWithReportsAndExitCodes)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("in"));
    const std::string a = dir.File("in/a.bin"), b = dir.File("in/B.bin");
    WriteFileBytes(a, Bytes(200000, 1));
    WriteFileBytes(b, Bytes(3, 2));
    WriteFileBytes(dir.File("pw"), { 'h', 'u', 'n', 't', 'e', 'r', '2', '\n', 'x', '\n' });
    WriteFileBytes(dir.File("short"), { 'a', 'b', 'c', '\n' });

    CliRun enc = testing_support::RunCli(
        "encrypt --out " + dir.File("enc") + " --password-file " + dir.File("pw") + " " + a + " " + b, dir);
    EXPECT_EQ(enc.status, 0) << enc.err;
    EXPECT_EQ(enc.out, "Successfully converted file " + b + "\nSuccessfully converted file " + a + "\n");
    EXPECT_EQ(enc.err, "Finished the conversion of 2 files\n");

    // The password's first line only; the environment serves as well as a file.
    CliRun dec = testing_support::RunCli("decrypt -q --json --out " + dir.File("dec") + " --password-file "
            + dir.File("pw") + " " + dir.File("enc/a.bin") + " " + dir.File("enc/B.bin"),
        dir);
    EXPECT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out,
        "{\"path\": \"" + dir.File("enc/B.bin") + "\", \"ok\": true}\n{\"path\": \"" + dir.File("enc/a.bin")
            + "\", \"ok\": true}\n");
    EXPECT_EQ(dec.err, "");
    EXPECT_TRUE(ReadFileBytes(dir.File("dec/a.bin")) == ReadFileBytes(a));
    EXPECT_TRUE(ReadFileBytes(dir.File("dec/B.bin")) == ReadFileBytes(b));

    CliRun wrong = testing_support::RunCli(
        "decrypt -q --out " + dir.File("wrong") + " --report " + dir.File("report.txt") + " " + dir.File("enc/a.bin"),
        dir,
        "PELMORA_PASSWORD=hunter3");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(Text(dir.File("report.txt")), "# Error while converting file " + dir.File("enc/a.bin") + "\n");
    EXPECT_TRUE(Listing(dir.File("wrong")).empty());

    struct Refusal {
        std::string args;
        std::string message;
    };
    const Refusal refusals[] = {
        { "encrypt --out " + dir.File("x") + " " + a,
            "pelmora-cli: encrypt: no password: give --password-file F or set PELMORA_PASSWORD\n" },
        { "encrypt --password-file " + dir.File("pw") + " " + a,
            "pelmora-cli: Please select a destination for the files\n" },
        { "encrypt --out " + dir.File("x") + " --password-file " + dir.File("pw"),
            "pelmora-cli: Please select files for the crypting operation\n" },
        { "encrypt --out /ab --password-file " + dir.File("short") + " " + a,
            "pelmora-cli: Please select a password with at least 4 characters!\n" },
    };
    for (const Refusal& r : refusals) {
        CliRun run = testing_support::RunCli(r.args, dir);
        EXPECT_EQ(run.status, 2) << r.args;
        EXPECT_EQ(run.err, r.message);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("x")));
}
