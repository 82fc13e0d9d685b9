// The file cipher: exact round trips, and every kind of damage refused without a trace.

#include "crypt/cipher_format.h"
#include "crypt/cipher_session.h"
#include "crypt/crypt_helpers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace crypt_testing;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
namespace fmt = cipher::format;

namespace {

constexpr std::size_t kSealed = fmt::kChunkBytes + fmt::kChunkOverhead;

class FileCipher : public ::testing::Test {
protected:
    cipher::CipherSession session; // one derivation for the whole test
    TempDir dir;
};

} // namespace

TEST_F(FileCipher, RoundTripsRestoreEveryByte)
{
    for (std::size_t n : { 0u, 1u, 65535u, 65536u, 65537u, 5u * 1024 * 1024 + 3 }) {
        SCOPED_TRACE(n);
        const auto plain = Bytes(n, static_cast<std::uint32_t>(n));
        WriteFileBytes(dir.File("plain"), plain);
        ASSERT_TRUE(Enc(dir.File("plain"), dir.File("sealed"), "secret"));
        // One sealed chunk per 64 KiB begun, and a lone empty one for an empty file: a full last
        // chunk carries the final tag itself.
        const std::size_t chunks = n == 0 ? 1 : (n + fmt::kChunkBytes - 1) / fmt::kChunkBytes;
        EXPECT_EQ(ReadFileBytes(dir.File("sealed")).size(), fmt::kHeaderBytes + n + chunks * fmt::kChunkOverhead);
        ASSERT_TRUE(Dec(dir.File("sealed"), dir.File("back"), "secret"));
        EXPECT_TRUE(ReadFileBytes(dir.File("back")) == plain);
    }
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string> { "back", "plain", "sealed" }));
}

TEST_F(FileCipher, DamagedWrongOrForeignFilesDecryptToNothing)
{
    // Three full chunks: the last one carries the final tag, so only the end of the file may follow.
    const auto plain = Bytes(3 * fmt::kChunkBytes);
    WriteFileBytes(dir.File("plain"), plain);
    ASSERT_TRUE(Enc(dir.File("plain"), dir.File("sealed"), "secret"));
    const auto good = ReadFileBytes(dir.File("sealed"));
    ASSERT_EQ(good.size(), fmt::kHeaderBytes + plain.size() + 3 * fmt::kChunkOverhead);

    using Data = std::vector<std::uint8_t>;
    auto flip = [](std::size_t at) { return [at](Data& b) { b[at] ^= 0x01; }; };
    auto cut = [](std::size_t to) { return [to](Data& b) { b.resize(to); }; };
    const std::size_t end = good.size();
    struct Case {
        const char* name;
        std::function<void(Data&)> change;
        const char* password;
    };
    const Case cases[] = {
        { "wrong password", [](Data&) {}, "Secret" },
        { "magic", flip(0), "secret" },
        { "version", flip(fmt::kOffVersion), "secret" },
        { "reserved", flip(fmt::kOffReserved), "secret" },
        { "passes", flip(fmt::kOffOps), "secret" },
        { "memory", flip(fmt::kOffMem + 1), "secret" },
        { "salt", flip(fmt::kOffSalt + 3), "secret" },
        { "file value", flip(fmt::kOffFileNonce + 5), "secret" },
        { "stream header", flip(fmt::kOffStreamHeader + 7), "secret" },
        { "first chunk body", flip(fmt::kHeaderBytes + 100), "secret" },
        { "second chunk body", flip(fmt::kHeaderBytes + kSealed + 10), "secret" },
        { "first chunk tag", flip(fmt::kHeaderBytes + kSealed - 1), "secret" },
        { "last chunk tag", flip(end - 1), "secret" },
        { "a byte missing", [](Data& b) { b.erase(b.begin() + 70000); }, "secret" },
        { "a byte after the end", [](Data& b) { b.push_back(0); }, "secret" },
        { "empty", cut(0), "secret" },
        { "cut in the header", cut(50), "secret" },
        { "header only", cut(fmt::kHeaderBytes), "secret" },
        { "cut at a chunk boundary", cut(fmt::kHeaderBytes + kSealed), "secret" },
        { "last chunk missing its final byte", cut(end - 1), "secret" },
        { "not encrypted", [&](Data& b) { b.assign(plain.begin(), plain.begin() + 1000); }, "secret" },
    };
    std::filesystem::create_directory(dir.File("out"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Data bad = good;
        c.change(bad);
        WriteFileBytes(dir.File("bad"), bad);
        EXPECT_FALSE(Dec(dir.File("bad"), dir.File("out/plain"), c.password));
        EXPECT_TRUE(Listing(dir.File("out")).empty());
        // Decrypting over the file itself leaves it as it was.
        EXPECT_FALSE(Dec(dir.File("bad"), dir.File("bad"), c.password));
        EXPECT_TRUE(ReadFileBytes(dir.File("bad")) == bad);
    }
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string> { "bad", "out", "plain", "sealed" }));
}

TEST_F(FileCipher, AbsurdKeyParametersAreRefusedBeforeAnyDerivation)
{
    WriteFileBytes(dir.File("plain"), Bytes(10));
    ASSERT_TRUE(Enc(dir.File("plain"), dir.File("sealed"), "secret"));
    const auto good = ReadFileBytes(dir.File("sealed"));
    struct Case {
        std::size_t offset;
        std::uint32_t value;
    };
    for (Case c : { Case { fmt::kOffMem, 0xFFFFFFFFu },
             Case { fmt::kOffMem, fmt::kMaxMemKiB + 1 },
             Case { fmt::kOffMem, 1 },
             Case { fmt::kOffOps, fmt::kMaxOps + 1 },
             Case { fmt::kOffOps, 0 } }) {
        auto bad = good;
        for (int i = 0; i < 4; ++i)
            bad[c.offset + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
        WriteFileBytes(dir.File("bad"), bad);
        const auto before = cipher::KeyDerivationCount();
        EXPECT_FALSE(Dec(dir.File("bad"), dir.File("out"), "secret")) << c.offset << " " << c.value;
        EXPECT_EQ(cipher::KeyDerivationCount(), before);
    }
}

TEST_F(FileCipher, ADestinationNamingTheSourceKeepsItsContentRecoverable)
{
    const auto plain = Bytes(70000);
    const std::string file = dir.File("photo.jpg");
    WriteFileBytes(file, plain);
    ASSERT_TRUE(Enc(file, file, "secret"));
    const auto sealed = ReadFileBytes(file);
    EXPECT_FALSE(sealed == plain);
    EXPECT_FALSE(Dec(file, file, "wrong"));
    EXPECT_TRUE(ReadFileBytes(file) == sealed);
    ASSERT_TRUE(Dec(file, file, "secret"));
    EXPECT_TRUE(ReadFileBytes(file) == plain);

    std::string path = file, password = "x"; // the batch run's option allows any non-empty password
    ASSERT_TRUE(EncryptSrcPwd(path.data(), password.data()));
    EXPECT_EQ(ReadFileBytes(file).size(), fmt::kHeaderBytes + plain.size() + 2 * fmt::kChunkOverhead);
    ASSERT_TRUE(Dec(file, file, "x"));
    EXPECT_TRUE(ReadFileBytes(file) == plain);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string> { "photo.jpg" });

    EXPECT_FALSE(Enc(file, dir.File("e"), "")); // no password, no file
    EXPECT_FALSE(Enc(dir.File("missing"), dir.File("e"), "secret"));
    EXPECT_FALSE(Enc(dir.path(), dir.File("e"), "secret")); // a folder is not a file
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string> { "photo.jpg" });
}

TEST(CipherSession, DerivesOncePerPasswordAndSaltWhileEveryFileDecryptsAlone)
{
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        WriteFileBytes(dir.File("p" + std::to_string(i)), Bytes(1000, i + 1));
    auto count = [] { return cipher::KeyDerivationCount(); };

    auto before = count();
    {
        cipher::CipherSession run;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(Enc(dir.File("p" + std::to_string(i)), dir.File("a" + std::to_string(i)), "one"));
        ASSERT_TRUE(Enc(dir.File("p0"), dir.File("b0"), "two")); // another password: its own key
        ASSERT_TRUE(Dec(dir.File("a0"), dir.File("c0"), "one")); // a key the session holds
    }
    EXPECT_EQ(count() - before, 2u);
    // Same plain text, same key, yet different files: each has its own file key and stream.
    EXPECT_FALSE(ReadFileBytes(dir.File("a0")) == ReadFileBytes(dir.File("b0")));

    before = count();
    for (int i = 0; i < 3; ++i) { // without a session, each file on its own
        ASSERT_TRUE(Dec(dir.File("a" + std::to_string(i)), dir.File("d" + std::to_string(i)), "one"));
        EXPECT_TRUE(ReadFileBytes(dir.File("d" + std::to_string(i))) == Bytes(1000, i + 1));
    }
    EXPECT_EQ(count() - before, 3u);

    ASSERT_TRUE(Enc(dir.File("p1"), dir.File("e1"), "one")); // a fresh salt, outside any session
    before = count();
    {
        cipher::CipherSession run;
        for (const char* name : { "a0", "a1", "a2", "e1" })
            ASSERT_TRUE(Dec(dir.File(name), dir.File(std::string("f") + name), "one"));
    }
    EXPECT_EQ(count() - before, 2u); // one per distinct salt
}
