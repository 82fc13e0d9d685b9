// Plain text and passwords in memory and on disk: a decryption's output has no name until it has
// verified, and a wiped password leaves zeros in the whole buffer that held it.

#include "crypt/cipher_session.h"
#include "crypt/crypt_helpers.h"
#include "crypt/secret_string.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::TempDir;

TEST(CipherSecrets, DecryptedFileHasNoNameBeforeItVerifies)
{
    TempDir dir;
    const std::vector<std::uint8_t> content = crypt_testing::Bytes(5 * 65536 + 100, 4);
    testing_support::WriteFileBytes(dir.File("plain.bin"), content);
    ASSERT_TRUE(crypt_testing::Enc(dir.File("plain.bin"), dir.File("sealed.bin"), "sesame"));
    std::filesystem::remove(dir.File("plain.bin"));

    // Every chunk reports its progress after its plain text was written out.
    int chunks = 0;
    bool seen = false;
    {
        cipher::CipherSession session([&](std::uint64_t, std::uint64_t) {
            ++chunks;
            // A hidden temporary name is allowed where the file system cannot make nameless files.
            seen = seen || std::filesystem::exists(dir.File("plain.bin"));
        });
        ASSERT_TRUE(crypt_testing::Dec(dir.File("sealed.bin"), dir.File("plain.bin"), "sesame"));
    }
    EXPECT_EQ(chunks, 6);
    EXPECT_FALSE(seen) << "the final name appeared while decrypting";
    EXPECT_EQ(crypt_testing::Listing(dir.path()), std::vector<std::string>({ "plain.bin", "sealed.bin" }));
    EXPECT_EQ(testing_support::ReadFileBytes(dir.File("plain.bin")), content);
}

TEST(CipherSecrets, WipedPasswordLeavesZerosInItsWholeBuffer)
{
    std::string password = "a password long enough to live on the heap";
    password.reserve(200);
    const char* buffer = password.data();
    const std::size_t capacity = password.capacity();
    cipher::WipeString(password);
    EXPECT_TRUE(password.empty());
    ASSERT_EQ(password.data(), buffer);
    EXPECT_EQ(std::count(buffer, buffer + capacity, '\0'), static_cast<std::ptrdiff_t>(capacity));
}
