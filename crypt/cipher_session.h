#pragma once

// The run scope of the file cipher. Deriving a key from a password is slow on purpose (Argon2id),
// so a run of many files opens a CipherSession for its duration: while one is open, the key of a
// password is derived once (with one random salt) for every file encrypted, and once per distinct
// salt for the files decrypted. The keys stay in guarded memory, readable only while a file key is
// taken from them, and are wiped when the last session closes. Outside a session every call
// derives on its own. Each file still gets its own key from a random per-file value, so every
// file decrypts on its own.


#include <cstdint>
#include <functional>
#include <string>

namespace cipher {

/// Bytes of the current file read so far, and the file's size.
using CipherByteProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

class CipherSession {
public:
    /// `progress`, when given, hears about every chunk of every file while this session is the
    /// innermost one.
    explicit CipherSession(CipherByteProgress progress = {});
    ~CipherSession();
    CipherSession(const CipherSession&) = delete;
    CipherSession& operator=(const CipherSession&) = delete;

private:
    CipherByteProgress previous_;
    bool open_ = false;
};

/// How many keys have been derived from passwords since the program started (for tests).
std::uint64_t KeyDerivationCount();

/// Why the last Encrypt, Decrypt or EncryptSrcPwd on this thread failed; empty after a success.
const std::string& LastCipherError();

namespace detail {

/// The key-derivation parameters of one file header.
struct KeyParams {
    std::uint8_t alg = 0;
    std::uint32_t ops = 0;
    std::uint32_t memKiB = 0;
    unsigned char salt[16] = {};
};

/// Calls `use` with the 32-byte key of `password` under `params`. For a new file (`newFile`) the
/// parameters are the defaults and the salt is the session's (or a fresh one), written back into
/// `params`; otherwise `params` come from the file. False when derivation fails (out of memory).
bool WithPasswordKey(const std::string& password,
    KeyParams& params,
    bool newFile,
    const std::function<void(const unsigned char* key)>& use);

/// The innermost session's progress callback (empty when none).
CipherByteProgress CurrentProgress();

void SetLastCipherError(std::string text);

} // namespace detail

} // namespace cipher
