// The encryption and decryption runs: checks, texts, order, count and the same-destination rule.

#include "crypt/cipher_run.h"
#include "crypt/crypt_helpers.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace crypt_testing;
using cipher::CipherInputProblem;
using cipher::CipherRunKind;
using testing_support::ReadFileBytes;
using testing_support::ScriptedUi;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

TEST(CipherRun, InputChecksComeInOrderWithTheirTexts)
{
    const std::vector<std::string> one { "/x/a.png" }, none;
    struct Case {
        const char* password;
        const char* destination;
        const std::vector<std::string>& files;
        CipherInputProblem problem;
        const char* message;
    };
    const Case cases[] = {
        { "abc",
            "/tmp/out",
            one,
            CipherInputProblem::Password,
            "Please select a password with at least 4 characters!" },
        { "abc", "C:\\", none, CipherInputProblem::Password, "Please select a password with at least 4 characters!" },
        { "abcd", "C:\\", one, CipherInputProblem::Destination, "Please select a destination for the files" },
        { "abcd", "/tmp", none, CipherInputProblem::Files, "Please select files for the crypting operation" },
        { "abcd", "/tmp", one, CipherInputProblem::None, "" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cipher::CheckCipherInputs(c.password, c.destination, c.files), c.problem)
            << c.password << c.destination;
        EXPECT_STREQ(cipher::CipherInputMessage(c.problem), c.message);
    }
}

TEST(CipherRun, EncryptsAndDecryptsWithTheClosingQuestionReportAndCount)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("src/sub"));
    std::filesystem::create_directories(dir.File("enc"));
    // Listed out of path order: the results come in byte order, upper case first.
    const std::vector<std::string> files { dir.File("src/b.txt"), dir.File("src/sub/C.txt"), dir.File("src/B.txt") };
    for (std::size_t i = 0; i < files.size(); ++i)
        WriteFileBytes(files[i], Bytes(100 + i, static_cast<std::uint32_t>(i)));

    ScriptedUi ui;
    ui.answers = { true };
    const auto encrypted = cipher::RunCipher(CipherRunKind::Encrypt, files, dir.File("enc"), "pass", ui);
    const batch::ConversionResults all { { files[2], true }, { files[0], true }, { files[1], true } };
    EXPECT_EQ(encrypted, all);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Completed the encryption. Click yes to show the status messages.");
    EXPECT_EQ(ui.boxes[0].caption, "Encryption completed");
    EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::None);
    EXPECT_EQ(ui.boxes[0].owner, core::Owner::MainWindow);
    EXPECT_TRUE(ui.boxes[0].question);
    ASSERT_EQ(ui.reportsShown.size(), 1u);
    EXPECT_EQ(ui.reportsShown[0], all);
    EXPECT_EQ(ui.statusTexts, std::vector<std::string> { "Finished the conversion of 3 files" });
    EXPECT_EQ(Listing(dir.File("enc")), (std::vector<std::string> { "B.txt", "C.txt", "b.txt" }));

    // Back again into the folder of the encrypted files themselves, answering No.
    ScriptedUi back;
    back.answers = { false };
    const std::vector<std::string> sealed { dir.File("enc/b.txt"), dir.File("enc/C.txt"), dir.File("enc/B.txt") };
    const auto decrypted = cipher::RunCipher(CipherRunKind::Decrypt, sealed, dir.File("enc"), "pass", back);
    EXPECT_EQ(decrypted.size(), 3u);
    ASSERT_EQ(back.boxes.size(), 1u);
    EXPECT_EQ(back.boxes[0].text, "Completed the decryption. Click yes to show the status messages.");
    EXPECT_EQ(back.boxes[0].caption, "Decryption completed");
    EXPECT_TRUE(back.reportsShown.empty());
    EXPECT_EQ(back.LastStatus(), "Finished the conversion of 3 files");
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_TRUE(ReadFileBytes(sealed[i]) == ReadFileBytes(files[i])) << sealed[i];

    // Failures count too; the wrong password changes nothing.
    ScriptedUi wrong;
    const auto failed = cipher::RunCipher(
        CipherRunKind::Decrypt, { sealed[0], dir.File("none"), sealed[0] }, dir.File("enc"), "pass", wrong);
    EXPECT_EQ(failed, (batch::ConversionResults { { sealed[0], false }, { dir.File("none"), false } }));
    EXPECT_EQ(wrong.LastStatus(), "Finished the conversion of 3 files");
    EXPECT_TRUE(ReadFileBytes(sealed[0]) == ReadFileBytes(files[0]));
}

TEST(CipherRun, OneDestinationIsWrittenFromOneSourceOnly)
{
    TempDir dir;
    for (const char* folder : { "x", "y", "out" })
        std::filesystem::create_directory(dir.File(folder));
    WriteFileBytes(dir.File("x/p.txt"), Bytes(50, 1));
    WriteFileBytes(dir.File("y/p.txt"), Bytes(50, 2));
    WriteFileBytes(dir.File("out/p.txt"), Bytes(5, 3)); // from before the run: replaced

    // The same source twice is done twice (one line); another source of the same name is refused
    // rather than written over the first one's result.
    ScriptedUi ui;
    const auto results = cipher::RunCipher(CipherRunKind::Encrypt,
        { dir.File("x/p.txt"), dir.File("y/p.txt"), dir.File("x/p.txt") },
        dir.File("out"),
        "pass",
        ui);
    EXPECT_EQ(results, (batch::ConversionResults { { dir.File("x/p.txt"), true }, { dir.File("y/p.txt"), false } }));
    EXPECT_EQ(ui.LastStatus(), "Finished the conversion of 3 files");
    ASSERT_TRUE(Dec(dir.File("out/p.txt"), dir.File("check"), "pass"));
    EXPECT_TRUE(ReadFileBytes(dir.File("check")) == Bytes(50, 1));

    // Nor does a destination that is another listed file get written over: y/p.txt into x would
    // destroy x/p.txt, which the run encrypts in place.
    const auto inPlace = cipher::RunCipher(
        CipherRunKind::Encrypt, { dir.File("y/p.txt"), dir.File("x/p.txt") }, dir.File("x"), "pass", ui);
    EXPECT_EQ(inPlace, (batch::ConversionResults { { dir.File("x/p.txt"), true }, { dir.File("y/p.txt"), false } }));
    ASSERT_TRUE(Dec(dir.File("x/p.txt"), dir.File("check"), "pass"));
    EXPECT_TRUE(ReadFileBytes(dir.File("check")) == Bytes(50, 1));
    EXPECT_TRUE(ReadFileBytes(dir.File("y/p.txt")) == Bytes(50, 2));
}
