// Writes the cipher fuzz target's seeds into the folder named: real encrypted files under its
// password at the lowest key costs (so each input derives in microseconds), sealed here from the
// layout in cipher_format.h rather than by the cipher itself, so a drift between the two shows as
// seeds that no longer decrypt; and headers whose costs the reader must refuse.
#include "crypt/cipher_format.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace fmt = cipher::format;
using Bytes = std::vector<unsigned char>;

void PutU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

Bytes Seal(std::size_t plainBytes, std::uint32_t ops, std::uint32_t memKiB)
{
    static const char password[] = "fuzzing";
    Bytes header(fmt::kHeaderBytes, 0);
    std::memcpy(header.data(), fmt::kMagic, sizeof fmt::kMagic);
    header[fmt::kOffVersion] = fmt::kVersion;
    header[fmt::kOffAlg] = fmt::kAlgArgon2id13;
    PutU32(&header[fmt::kOffOps], ops);
    PutU32(&header[fmt::kOffMem], memKiB);
    randombytes_buf(&header[fmt::kOffSalt], fmt::kSaltBytes);
    randombytes_buf(&header[fmt::kOffFileNonce], fmt::kFileNonceBytes);

    unsigned char key[fmt::kKeyBytes], fileKey[fmt::kKeyBytes];
    if (crypto_pwhash(key,
            sizeof key,
            password,
            sizeof password - 1,
            &header[fmt::kOffSalt],
            ops,
            std::size_t(memKiB) * 1024,
            crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return {};
    crypto_generichash(fileKey, sizeof fileKey, header.data(), fmt::kOffStreamHeader, key, sizeof key);
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, &header[fmt::kOffStreamHeader], fileKey);

    Bytes plain(plainBytes);
    for (std::size_t i = 0; i < plainBytes; ++i)
        plain[i] = static_cast<unsigned char>(i * 7 + 3);
    Bytes file = header;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(fmt::kChunkBytes, plainBytes - at);
        const bool last = at + n == plainBytes;
        Bytes sealed(n + fmt::kChunkOverhead);
        crypto_secretstream_xchacha20poly1305_push(&state,
            sealed.data(),
            nullptr,
            plain.data() + at,
            n,
            at == 0 ? header.data() : nullptr,
            at == 0 ? header.size() : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        file.insert(file.end(), sealed.begin(), sealed.end());
        at += n;
    } while (at < plainBytes);
    return file;
}

bool Save(const std::string& folder, const std::string& name, const Bytes& bytes)
{
    std::FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (!f)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || sodium_init() < 0) {
        std::fprintf(stderr, "usage: cipher_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::uint32_t ops = 1, mem = fmt::kMinMemKiB;
    bool ok = true;
    // An empty file (one empty final chunk), a short one, one exactly filling a chunk (the final
    // tag on a full chunk) and one a byte into a second chunk.
    for (std::size_t n : { 0u, 100u, unsigned(fmt::kChunkBytes), unsigned(fmt::kChunkBytes + 1) })
        ok &= Save(folder, "plain-" + std::to_string(n) + ".plmc", Seal(n, ops, mem));
    // Costs the reader must refuse before deriving anything.
    const Bytes small = Seal(10, ops, mem);
    struct Hostile {
        const char* name;
        std::size_t offset;
        std::uint32_t value;
    };
    for (Hostile h : { Hostile { "memory-4g", fmt::kOffMem, 0xFFFFFFFFu },
             Hostile { "memory-over-cap", fmt::kOffMem, fmt::kMaxMemKiB + 1 },
             Hostile { "passes-4g", fmt::kOffOps, 0xFFFFFFFFu },
             Hostile { "passes-zero", fmt::kOffOps, 0 } }) {
        Bytes bad = small;
        PutU32(&bad[h.offset], h.value);
        ok &= Save(folder, std::string("hostile-") + h.name + ".plmc", bad);
    }
    return ok ? 0 : 1;
}
