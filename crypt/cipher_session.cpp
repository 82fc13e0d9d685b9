#include "crypt/cipher_session.h"

#include "crypt/cipher_format.h"

#include <sodium.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace cipher {

namespace {

static_assert(sizeof(detail::KeyParams::salt) == crypto_pwhash_SALTBYTES);
static_assert(format::kKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(format::kAlgArgon2id13 == crypto_pwhash_ALG_ARGON2ID13);

/// A password's key in memory of its own (guard pages, locked, wiped on free), readable only
/// while it is being used.
struct CachedKey {
    unsigned char passwordTag[crypto_generichash_BYTES];
    detail::KeyParams params;
    bool forNewFiles;
    unsigned char* key;
};

// A run of many files asks for few distinct keys; a decryption run over files of many runs is
// bounded so that a folder of hostile files cannot pile up locked memory.
constexpr std::size_t kMaxCachedKeys = 32;

std::mutex g_mutex;
int g_depth = 0;
// Keys the password tags, so that the cache holds no plain password hash to test guesses against.
unsigned char* g_tagKey = nullptr;
std::vector<CachedKey> g_keys;
CipherByteProgress g_progress;
std::atomic<std::uint64_t> g_derivations { 0 };
thread_local std::string t_lastError;

void FreeKey(CachedKey& k)
{
    sodium_free(k.key); // wipes before freeing
    k.key = nullptr;
    sodium_memzero(k.passwordTag, sizeof k.passwordTag);
}

void ClearCache()
{
    for (CachedKey& k : g_keys)
        FreeKey(k);
    g_keys.clear();
    if (g_tagKey) {
        sodium_free(g_tagKey);
        g_tagKey = nullptr;
    }
}

bool SameParams(const detail::KeyParams& a, const detail::KeyParams& b)
{
    return a.alg == b.alg && a.ops == b.ops && a.memKiB == b.memKiB
        && sodium_memcmp(a.salt, b.salt, sizeof a.salt) == 0;
}

unsigned char* Derive(const std::string& password, const detail::KeyParams& params)
{
    auto* key = static_cast<unsigned char*>(sodium_malloc(format::kKeyBytes));
    if (!key)
        return nullptr;
    const int rc = crypto_pwhash(key,
        format::kKeyBytes,
        password.data(),
        password.size(),
        params.salt,
        params.ops,
        static_cast<std::size_t>(params.memKiB) * 1024u,
        params.alg);
    if (rc != 0) {
        sodium_free(key);
        return nullptr;
    }
    g_derivations++;
    sodium_mprotect_noaccess(key);
    return key;
}

void UseKey(unsigned char* key, const std::function<void(const unsigned char*)>& use)
{
    sodium_mprotect_readonly(key);
    use(key);
    sodium_mprotect_noaccess(key);
}

} // namespace

CipherSession::CipherSession(CipherByteProgress progress)
{
    if (sodium_init() < 0)
        return; // every call will then fail on its own
    std::lock_guard lock(g_mutex);
    open_ = true;
    if (g_depth++ == 0) {
        // Room for every entry up front: a growing vector would leave copies of the tags behind.
        g_keys.reserve(kMaxCachedKeys);
        g_tagKey = static_cast<unsigned char*>(sodium_malloc(crypto_generichash_KEYBYTES));
        if (g_tagKey) {
            randombytes_buf(g_tagKey, crypto_generichash_KEYBYTES);
            sodium_mprotect_noaccess(g_tagKey);
        }
    }
    previous_ = std::move(g_progress);
    g_progress = std::move(progress);
}

CipherSession::~CipherSession()
{
    if (!open_)
        return;
    std::lock_guard lock(g_mutex);
    g_progress = std::move(previous_);
    if (--g_depth == 0)
        ClearCache();
}

std::uint64_t KeyDerivationCount()
{
    return g_derivations.load();
}

const std::string& LastCipherError()
{
    return t_lastError;
}

namespace detail {

void SetLastCipherError(std::string text)
{
    t_lastError = std::move(text);
}

CipherByteProgress CurrentProgress()
{
    std::lock_guard lock(g_mutex);
    return g_progress;
}

bool WithPasswordKey(const std::string& password,
    KeyParams& params,
    bool newFile,
    const std::function<void(const unsigned char* key)>& use)
{
    if (sodium_init() < 0)
        return false;
    if (newFile) {
        params.alg = format::kAlgArgon2id13;
        params.ops = format::kDefaultOps;
        params.memKiB = format::kDefaultMemKiB;
    }
    // One lock over lookup and derivation: threads of one run asking for the same key wait for
    // the first derivation instead of each paying (and allocating) for their own.
    std::lock_guard lock(g_mutex);
    const bool caching = g_depth > 0 && g_tagKey;
    // The tag stands for the password: gone from the stack however this returns.
    struct Tag {
        unsigned char bytes[crypto_generichash_BYTES] {};
        ~Tag() { sodium_memzero(bytes, sizeof bytes); }
    } tagHolder;
    unsigned char* tag = tagHolder.bytes;
    constexpr std::size_t kTagBytes = sizeof tagHolder.bytes;
    if (caching) {
        sodium_mprotect_readonly(g_tagKey);
        crypto_generichash(tag,
            kTagBytes,
            reinterpret_cast<const unsigned char*>(password.data()),
            password.size(),
            g_tagKey,
            crypto_generichash_KEYBYTES);
        sodium_mprotect_noaccess(g_tagKey);
        for (CachedKey& k : g_keys) {
            if (sodium_memcmp(k.passwordTag, tag, kTagBytes) != 0)
                continue;
            if (newFile ? k.forNewFiles : SameParams(k.params, params)) {
                if (newFile)
                    std::memcpy(params.salt, k.params.salt, sizeof params.salt);
                UseKey(k.key, use);
                return true;
            }
        }
    }
    if (newFile)
        randombytes_buf(params.salt, sizeof params.salt);
    unsigned char* key = Derive(password, params);
    if (!key)
        return false;
    UseKey(key, use);
    if (!caching) {
        sodium_free(key);
        return true;
    }
    if (g_keys.size() >= kMaxCachedKeys) {
        // Keep the key new files use; drop the oldest of the others.
        auto victim = g_keys.begin();
        while (victim != g_keys.end() && victim->forNewFiles)
            ++victim;
        if (victim == g_keys.end())
            victim = g_keys.begin();
        FreeKey(*victim);
        g_keys.erase(victim);
    }
    CachedKey entry { {}, params, newFile, key };
    std::memcpy(entry.passwordTag, tag, kTagBytes);
    g_keys.push_back(entry);
    return true;
}

} // namespace detail

} // namespace cipher
