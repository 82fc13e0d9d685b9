// The encryption and decryption runs, and the in-place encryption of the batch run, under injected
// faults: a full disk, a read-only destination, a destination that goes away during the run, a
// source that goes away between listing and reading. A failed file leaves nothing at its
// destination, no temporary file, and its source exactly as it was.

#include "crypt/cipher_run.h"
#include "crypt/cipher_session.h"
#include "crypt/crypt_helpers.h"
#include "support/fault_injection.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace fs = std::filesystem;
using crypt_testing::Bytes;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::Tree;
using testing_support::WriteFileBytes;

namespace {

constexpr const char* kPassword = "sesame-4711";

struct Fault {
    const char* what;
    /// Given the destination and the size of the large file's result; what must live during the run.
    std::function<std::shared_ptr<void>(const std::string& dest, std::uintmax_t largeResult)> arm;
    /// Called before entry i.
    std::function<void(std::size_t i, const std::string& dest, const std::vector<std::string>& files)> beforeFile;
    std::vector<bool> expected;
    bool destinationGone = false;
};

std::vector<Fault> Faults()
{
    auto removeSecondSource = [](std::size_t i, const std::string&, const std::vector<std::string>& files) {
        if (i == 1)
            fs::remove(files[1]);
    };
    return {
        { "full disk when the large result is flushed",
            [](const std::string&, std::uintmax_t large) {
                return std::make_shared<testing_support::ScopedDiskSpace>(large - 1);
            },
            {},
            { true, false, true } },
        { "full disk while the large result is written",
            [](const std::string&, std::uintmax_t large) {
                return std::make_shared<testing_support::ScopedFileSizeLimit>(large / 2);
            },
            {},
            { true, false, true } },
        { "read-only destination",
            [](const std::string& dest, std::uintmax_t) {
                ::chmod(dest.c_str(), 0555);
                return std::make_shared<testing_support::ScopedPermissions>();
            },
            {},
            { false, false, false } },
        { "destination removed during the run",
            {},
            [](std::size_t i, const std::string& dest, const std::vector<std::string>&) {
                if (i == 1)
                    fs::remove_all(dest);
            },
            { true, false, false },
            true },
        { "source gone between listing and reading", {}, removeSecondSource, { true, false, true } },
    };
}

} // namespace

TEST(CipherFaults, EachFaultFailsOnlyItsFileAndKeepsItsSource)
{
    const std::vector<std::vector<std::uint8_t>> contents = { Bytes(1000, 1), Bytes(300000, 2), Bytes(2000, 3) };
    // Their encrypted forms, made once (one key derivation) for every decryption run.
    std::vector<std::vector<std::uint8_t>> sealedContents;
    {
        TempDir work;
        cipher::CipherSession session;
        for (const auto& bytes : contents) {
            WriteFileBytes(work.File("f"), bytes);
            ASSERT_TRUE(crypt_testing::Enc(work.File("f"), work.File("f"), kPassword));
            sealedContents.push_back(ReadFileBytes(work.File("f")));
        }
    }
    for (cipher::CipherRunKind kind : { cipher::CipherRunKind::Encrypt, cipher::CipherRunKind::Decrypt }) {
        const bool encrypt = kind == cipher::CipherRunKind::Encrypt;
        for (const Fault& fault : Faults()) {
            SCOPED_TRACE(std::string(encrypt ? "encrypt: " : "decrypt: ") + fault.what);
            // The sources: plain files, or their encrypted forms for a decryption run.
            TempDir src;
            std::vector<std::string> files;
            std::vector<std::vector<std::uint8_t>> before;
            for (std::size_t i = 0; i < contents.size(); ++i) {
                const std::string path = src.File("f" + std::to_string(i) + ".bin");
                WriteFileBytes(path, encrypt ? contents[i] : sealedContents[i]);
                files.push_back(path);
                before.push_back(ReadFileBytes(path));
            }
            const std::uintmax_t largeResult = encrypt ? before[1].size() + 76 + 5 * 17 : contents[1].size();

            TempDir dest;
            std::shared_ptr<void> armed = fault.arm ? fault.arm(dest.path(), largeResult) : nullptr;
            testing_support::ScriptedUi ui;
            cipher::CipherRunObserver observer;
            observer.fileStarted = [&](std::size_t i, std::size_t, const std::string&) {
                if (fault.beforeFile)
                    fault.beforeFile(i, dest.path(), files);
            };
            const batch::ConversionResults results
                = cipher::RunCipher(kind, files, dest.path(), kPassword, ui, observer);
            armed.reset();
            ::chmod(dest.path().c_str(), 0700);

            std::vector<bool> ok;
            for (const std::string& f : files)
                ok.push_back(results.count(f) && results.at(f));
            EXPECT_EQ(ok, fault.expected);
            // Every source that is still there is as it was.
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (fs::exists(files[i])) {
                    EXPECT_EQ(ReadFileBytes(files[i]), before[i]) << files[i];
                }
            }
            if (fault.destinationGone) {
                EXPECT_FALSE(fs::exists(dest.path()));
                continue;
            }
            std::vector<std::string> expectedNames;
            for (std::size_t i = 0; i < files.size(); ++i)
                if (fault.expected[i])
                    expectedNames.push_back(fs::path(files[i]).filename().string());
            EXPECT_EQ(Tree(dest.path()), expectedNames);
            // What was written is whole: it turns back into the original bytes.
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (!fault.expected[i])
                    continue;
                const std::string out = dest.File(fs::path(files[i]).filename().string());
                if (encrypt) {
                    ASSERT_TRUE(crypt_testing::Dec(out, out, kPassword));
                }
                EXPECT_EQ(ReadFileBytes(out), contents[i]);
            }
        }
    }
}

// The batch run's "Encrypt with password" replaces its file in place: a failure must leave the
// file exactly as it was, whichever step fails.
TEST(CipherFaults, InPlaceEncryptionKeepsTheFileOnEveryFailure)
{
    const std::vector<std::uint8_t> content = Bytes(200000, 7);
    const std::uintmax_t sealedSize = content.size() + 76 + 4 * 17;
    struct Case {
        const char* what;
        std::function<std::shared_ptr<void>(const std::string& folder)> arm;
    };
    const std::vector<Case> cases = {
        { "full disk at the flush",
            [&](const std::string&) { return std::make_shared<testing_support::ScopedDiskSpace>(sealedSize - 1); } },
        { "full disk while writing",
            [&](const std::string&) {
                return std::make_shared<testing_support::ScopedFileSizeLimit>(content.size() + 50);
            } },
        { "read-only folder",
            [](const std::string& folder) {
                ::chmod(folder.c_str(), 0555);
                return std::make_shared<testing_support::ScopedPermissions>();
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.File("photo.png");
        WriteFileBytes(path, content);
        {
            std::shared_ptr<void> armed = c.arm(dir.path());
            std::string p = path, pw = kPassword;
            EXPECT_EQ(EncryptSrcPwd(p.data(), pw.data()), 0);
        }
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(ReadFileBytes(path), content);
        EXPECT_EQ(Tree(dir.path()), std::vector<std::string>({ "photo.png" }));
    }
}

// A decryption that fails (damaged file, full disk) never touches a file already at the
// destination, also when that destination is the encrypted file itself.
TEST(CipherFaults, FailedDecryptionKeepsWhatIsAtTheDestination)
{
    TempDir dir;
    const std::vector<std::uint8_t> content = Bytes(150000, 9);
    const std::string sealed = dir.File("sealed.bin");
    WriteFileBytes(sealed, content);
    ASSERT_TRUE(crypt_testing::Enc(sealed, sealed, kPassword));
    std::vector<std::uint8_t> damaged = ReadFileBytes(sealed);
    damaged[damaged.size() - 5] ^= 1; // in the last chunk: every earlier chunk still verifies
    const std::string damagedPath = dir.File("damaged.bin");
    WriteFileBytes(damagedPath, damaged);
    const std::string earlier = dir.File("earlier.bin");
    WriteFileBytes(earlier, Bytes(10, 1));

    struct Case {
        const char* what;
        std::string source, destination;
        std::int64_t space;
    };
    const std::vector<Case> cases = {
        { "damaged, onto an earlier file", damagedPath, earlier, -1 },
        { "damaged, in place", damagedPath, damagedPath, -1 },
        { "full disk, onto an earlier file", sealed, earlier, 1000 },
        { "full disk, in place", sealed, sealed, 1000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto sourceBefore = ReadFileBytes(c.source);
        const auto destinationBefore = ReadFileBytes(c.destination);
        {
            testing_support::ScopedDiskSpace space(c.space);
            EXPECT_FALSE(crypt_testing::Dec(c.source, c.destination, kPassword));
        }
        EXPECT_EQ(ReadFileBytes(c.source), sourceBefore);
        EXPECT_EQ(ReadFileBytes(c.destination), destinationBefore);
        EXPECT_EQ(Tree(dir.path()), std::vector<std::string>({ "damaged.bin", "earlier.bin", "sealed.bin" }));
    }
}
