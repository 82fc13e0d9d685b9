// The file cipher's three C functions over libsodium. The layout of an encrypted file is in
// cipher_format.h; the key handling in cipher_session.cpp.

#include "crypt/file_cipher.h"

#include "codec/fileio.h"
#include "crypt/cipher_format.h"
#include "crypt/cipher_session.h"

#include <sodium.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace cipher {

namespace {

using namespace format;

static_assert(kStreamHeaderBytes == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kSaltBytes == crypto_pwhash_SALTBYTES);
static_assert(kMinMemKiB * 1024ull >= crypto_pwhash_argon2id_MEMLIMIT_MIN);

constexpr std::size_t kSealedChunkBytes = kChunkBytes + kChunkOverhead;
/// The part of the header the file key is bound to: everything before the stream header.
constexpr std::size_t kKeyedHeaderBytes = kOffStreamHeader;

bool Fail(std::string why)
{
    detail::SetLastCipherError(std::move(why));
    return false;
}

/// A source file opened for reading, unbuffered (we read whole chunks).
class Source {
public:
    ~Source()
    {
        if (file_)
            std::fclose(file_);
    }
    bool Open(const char* path, std::string& why)
    {
        file_ = std::fopen(path, "rb");
        if (!file_) {
            why = std::string("cannot open ") + path + ": " + std::strerror(errno);
            return false;
        }
        struct stat st { };
        if (::fstat(::fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
            why = std::string("not a regular file: ") + path;
            return false;
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
        std::setvbuf(file_, nullptr, _IONBF, 0);
        return true;
    }
    /// Reads up to `n` bytes; fewer only at the end of the file. False on a read error.
    bool Read(unsigned char* buffer, std::size_t n, std::size_t& got)
    {
        got = std::fread(buffer, 1, n, file_);
        return !std::ferror(file_);
    }
    std::uint64_t size() const { return size_; }

private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

/// Buffers that held plain text or key material are wiped when done with.
class Wiped {
public:
    explicit Wiped(std::size_t n)
        : bytes_(n)
    {
    }
    ~Wiped() { sodium_memzero(bytes_.data(), bytes_.size()); }
    unsigned char* data() { return bytes_.data(); }

private:
    std::vector<unsigned char> bytes_;
};

struct StreamState {
    crypto_secretstream_xchacha20poly1305_state state;
    ~StreamState() { sodium_memzero(&state, sizeof state); }
};

void PutU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t GetU32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

bool Write(std::FILE* out, const unsigned char* data, std::size_t n)
{
    return n == 0 || std::fwrite(data, 1, n, out) == n;
}

/// The file key: BLAKE2b-256 keyed by the password's key over the header up to the stream header.
void FileKey(unsigned char* fileKey, const unsigned char* passwordKey, const unsigned char* header)
{
    crypto_generichash(fileKey, kKeyBytes, header, kKeyedHeaderBytes, passwordKey, kKeyBytes);
}

/// What every call checks first: the library, its arguments, and a readable source.
bool StartFile(
    const char* sourcePath, const char* destinationPath, const char* password, Source& source, std::string& why)
{
    if (sodium_init() < 0) {
        why = "the cipher library cannot start";
        return false;
    }
    if (!sourcePath || !destinationPath || !password || !*password) {
        why = "no file or no password given";
        return false;
    }
    return source.Open(sourcePath, why);
}

bool EncryptFile(const char* sourcePath, const char* destinationPath, const char* password)
{
    std::string why;
    Source source;
    if (!StartFile(sourcePath, destinationPath, password, source, why))
        return Fail(why);

    unsigned char header[kHeaderBytes] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    header[kOffVersion] = kVersion;
    randombytes_buf(header + kOffFileNonce, kFileNonceBytes);

    StreamState stream;
    Wiped fileKey(kKeyBytes);
    detail::KeyParams params;
    const bool keyed = detail::WithPasswordKey(password, params, true, [&](const unsigned char* key) {
        header[kOffAlg] = params.alg;
        PutU32(header + kOffOps, params.ops);
        PutU32(header + kOffMem, params.memKiB);
        std::memcpy(header + kOffSalt, params.salt, kSaltBytes);
        FileKey(fileKey.data(), key, header);
    });
    if (!keyed)
        return Fail("cannot derive the key from the password");
    crypto_secretstream_xchacha20poly1305_init_push(&stream.state, header + kOffStreamHeader, fileKey.data());

    codec::AtomicFile out(destinationPath);
    if (codec::Result r = out.Open(); !r)
        return Fail(r.message);
    std::setvbuf(out.stream(), nullptr, _IONBF, 0);
    if (!Write(out.stream(), header, sizeof header))
        return Fail(std::string("cannot write ") + destinationPath);

    const CipherByteProgress progress = detail::CurrentProgress();
    // Two input buffers: the next chunk is read before the current one is sealed, so that the
    // last chunk (the one followed by nothing) gets the final tag.
    Wiped plain(2 * kChunkBytes);
    std::vector<unsigned char> sealed(kSealedChunkBytes);
    unsigned char* current = plain.data();
    unsigned char* next = plain.data() + kChunkBytes;
    std::size_t currentBytes = 0;
    if (!source.Read(current, kChunkBytes, currentBytes))
        return Fail(std::string("cannot read ") + sourcePath);
    std::uint64_t done = 0;
    for (bool first = true;; first = false) {
        std::size_t nextBytes = 0;
        if (currentBytes == kChunkBytes && !source.Read(next, kChunkBytes, nextBytes))
            return Fail(std::string("cannot read ") + sourcePath);
        const bool last = nextBytes == 0;
        unsigned long long sealedBytes = 0;
        crypto_secretstream_xchacha20poly1305_push(&stream.state,
            sealed.data(),
            &sealedBytes,
            current,
            currentBytes,
            first ? header : nullptr,
            first ? sizeof header : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        if (!Write(out.stream(), sealed.data(), static_cast<std::size_t>(sealedBytes)))
            return Fail(std::string("cannot write ") + destinationPath + ": " + std::strerror(errno));
        done += currentBytes;
        if (progress)
            progress(done, source.size());
        if (last)
            break;
        std::swap(current, next);
        currentBytes = nextBytes;
    }
    if (codec::Result r = out.Commit(); !r)
        return Fail(r.message);
    detail::SetLastCipherError({});
    return true;
}

/// Checks a header before anything is derived from it.
bool CheckHeader(const unsigned char* header, detail::KeyParams& params, std::string& why)
{
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        why = "not an encrypted file";
        return false;
    }
    if (header[kOffVersion] != kVersion) {
        why = "encrypted with an unknown format version " + std::to_string(header[kOffVersion]);
        return false;
    }
    params.alg = header[kOffAlg];
    params.ops = GetU32(header + kOffOps);
    params.memKiB = GetU32(header + kOffMem);
    std::memcpy(params.salt, header + kOffSalt, kSaltBytes);
    if (params.alg != kAlgArgon2id13 || header[kOffReserved] != 0 || header[kOffReserved + 1] != 0) {
        why = "unknown key derivation";
        return false;
    }
    if (params.ops < 1 || params.ops > kMaxOps || params.memKiB < kMinMemKiB || params.memKiB > kMaxMemKiB) {
        why = "the key derivation parameters are out of range";
        return false;
    }
    return true;
}

bool DecryptFile(const char* sourcePath, const char* destinationPath, const char* password)
{
    std::string why;
    Source source;
    if (!StartFile(sourcePath, destinationPath, password, source, why))
        return Fail(why);

    unsigned char header[kHeaderBytes];
    std::size_t got = 0;
    if (!source.Read(header, sizeof header, got))
        return Fail(std::string("cannot read ") + sourcePath);
    if (got < sizeof header)
        return Fail("not an encrypted file");
    detail::KeyParams params;
    if (!CheckHeader(header, params, why))
        return Fail(why);

    StreamState stream;
    Wiped fileKey(kKeyBytes);
    if (!detail::WithPasswordKey(
            password, params, false, [&](const unsigned char* key) { FileKey(fileKey.data(), key, header); }))
        return Fail("cannot derive the key from the password");
    if (crypto_secretstream_xchacha20poly1305_init_pull(&stream.state, header + kOffStreamHeader, fileKey.data()) != 0)
        return Fail("not an encrypted file");

    // Nothing reaches the destination before the whole stream, final tag included, has verified:
    // the plain text goes to a temporary file that is renamed only then.
    codec::AtomicFile out(destinationPath);
    if (codec::Result r = out.Open(); !r)
        return Fail(r.message);
    std::setvbuf(out.stream(), nullptr, _IONBF, 0);

    const CipherByteProgress progress = detail::CurrentProgress();
    std::vector<unsigned char> sealed(kSealedChunkBytes);
    Wiped plain(kChunkBytes);
    std::uint64_t done = sizeof header;
    for (bool first = true;; first = false) {
        std::size_t sealedBytes = 0;
        if (!source.Read(sealed.data(), sealed.size(), sealedBytes))
            return Fail(std::string("cannot read ") + sourcePath);
        if (sealedBytes < kChunkOverhead)
            return Fail("the file is cut short");
        unsigned long long plainBytes = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&stream.state,
                plain.data(),
                &plainBytes,
                &tag,
                sealed.data(),
                sealedBytes,
                first ? header : nullptr,
                first ? sizeof header : 0)
            != 0)
            return Fail(first ? "wrong password, or the file is damaged" : "the file is damaged");
        if (!Write(out.stream(), plain.data(), static_cast<std::size_t>(plainBytes)))
            return Fail(std::string("cannot write ") + destinationPath + ": " + std::strerror(errno));
        done += sealedBytes;
        if (progress)
            progress(done, source.size());
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            unsigned char extra = 0;
            std::size_t extraBytes = 0;
            if (!source.Read(&extra, 1, extraBytes) || extraBytes != 0)
                return Fail("the file has bytes after its end");
            break;
        }
        // We only ever write plain chunks and one final one; anything else is not ours.
        if (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE || sealedBytes != sealed.size())
            return Fail("the file is damaged");
    }
    if (codec::Result r = out.Commit(); !r)
        return Fail(r.message);
    detail::SetLastCipherError({});
    return true;
}

} // namespace

} // namespace cipher

extern "C" {

// No exception may cross into a C caller: running out of memory is a failed file like any other.

unsigned char Encrypt(char* sourcePath, char* destinationPath, char* password, int* option)
{
    (void)option; // the caller's, holding 1; it means nothing here
    try {
        return cipher::EncryptFile(sourcePath, destinationPath, password) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

unsigned char Decrypt(char* sourcePath, char* destinationPath, char* password, int* option)
{
    (void)option;
    try {
        return cipher::DecryptFile(sourcePath, destinationPath, password) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

unsigned char EncryptSrcPwd(char* path, char* password)
{
    try {
        return cipher::EncryptFile(path, path, password) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
