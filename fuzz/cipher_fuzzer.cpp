// Reads arbitrary bytes as an encrypted file and decrypts them with a fixed password, as a
// decryption run does: the header checks, the key derivation from the header's costs and the walk
// over the sealed chunks. The seeds (fuzz/cipher_seeds.cpp) are real files under that password, so
// the walk reaches the later chunks, the final tag and what may follow it.
#include "crypt/cipher_format.h"
#include "crypt/cipher_session.h"
#include "crypt/file_cipher.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fmt = cipher::format;
namespace fs = std::filesystem;

constexpr std::uint32_t kFuzzOps = 2;
constexpr std::uint32_t kFuzzMemKiB = 256;

std::uint32_t GetU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void PutU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

/// Costs the reader accepts are lowered to a few hundred KiB: its caps still allow seconds per
/// input, which would starve the chunk walk. Costs beyond the caps stay as they are, so their
/// refusal is fuzzed too (one that got through would show as a timeout or the memory limit).
void LowerAcceptedCosts(std::vector<std::uint8_t>& file)
{
    if (file.size() < fmt::kHeaderBytes)
        return;
    const std::uint32_t ops = GetU32(file.data() + fmt::kOffOps);
    const std::uint32_t mem = GetU32(file.data() + fmt::kOffMem);
    if (ops >= 1 && ops <= fmt::kMaxOps && mem >= fmt::kMinMemKiB && mem <= fmt::kMaxMemKiB) {
        PutU32(file.data() + fmt::kOffOps, ops < kFuzzOps ? ops : kFuzzOps);
        PutU32(file.data() + fmt::kOffMem, mem < kFuzzMemKiB ? mem : kFuzzMemKiB);
    }
}

struct Workspace {
    Workspace()
    {
        // Memory-backed when the system has it: every input is written and read back.
        std::error_code ec;
        const fs::path base = std::getenv("TMPDIR") || !fs::is_directory("/dev/shm", ec) ? fs::temp_directory_path()
                                                                                         : fs::path("/dev/shm");
        std::string pattern = (base / "pelmora-cipher-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        dir = pattern;
    }
    ~Workspace()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Workspace work;
    // A run's session, as the decryption run holds one: keys are cached per salt and costs, up to
    // its bound, so hostile headers also walk the cache.
    static cipher::CipherSession session;

    std::vector<std::uint8_t> file(data, data + size);
    LowerAcceptedCosts(file);
    const fs::path in = work.dir / "in.plmc";
    const fs::path out = work.dir / "out";
    if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
        const bool written = file.empty() || std::fwrite(file.data(), 1, file.size(), f) == file.size();
        if (std::fclose(f) != 0 || !written)
            std::abort();
    } else {
        std::abort();
    }

    std::string source = in.string(), destination = out.string(), password = "fuzzing";
    int option = 1;
    const bool ok = Decrypt(source.data(), destination.data(), password.data(), &option) != 0;

    // Whatever the bytes, a failure leaves nothing behind, and a success holds exactly the plain
    // bytes the file's size allows.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(work.dir))
        ++entries;
    if (!ok && entries != 1)
        std::abort();
    if (ok) {
        const std::size_t body = size - fmt::kHeaderBytes;
        const std::size_t sealed = fmt::kChunkBytes + fmt::kChunkOverhead;
        const std::size_t chunks = body / sealed + (body % sealed ? 1 : 0);
        if (entries != 2 || fs::file_size(out) != body - chunks * fmt::kChunkOverhead)
            std::abort();
        fs::remove(out);
    }
    return 0;
}
