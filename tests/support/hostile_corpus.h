#pragma once

// The hostile-file corpus: the files make_hostile.py keeps in tests/data/hostile, and the damaged
// copies made here of small valid seed files (zero length and cut at many points), so the
// truncations need not be stored. Also the bounds every hostile run is held to: a watchdog on
// time and a ceiling on any single allocation, checked in a child process.

#include "codec/ximage.h"
#include "core/registry.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
// Present only in sanitizer runtimes: there an allocation is watched by a hook, elsewhere by an
// address-space limit (which sanitizers' shadow memory would not survive).
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
    void (*freeHook)(const volatile void*)) __attribute__((weak));
void __sanitizer_print_stack_trace() __attribute__((weak));
}

namespace hostile {

/// No single allocation may be larger: every corpus file is under 100 KB, so the data bound
/// keeps its picture far below this, while a header's declared size would take gigabytes.
inline constexpr std::size_t kMaxAllocationBytes = std::size_t { 128 } << 20;
/// The address space a child may use where no sanitizer runs.
inline constexpr std::uint64_t kMaxAddressSpace = std::uint64_t { 2 } << 30;

struct HostileFile {
    std::string name; ///< with the extension of the format it pretends to be
    std::vector<std::uint8_t> bytes;
};

inline bool Sanitized()
{
    return __sanitizer_install_malloc_and_free_hooks != nullptr;
}

inline std::string Extension(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

/// The files make_hostile.py wrote, sorted by name.
inline std::vector<HostileFile> StoredFiles()
{
    std::vector<HostileFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(PELMORA_TEST_DATA) + "/hostile")) {
        const std::string name = entry.path().filename().string();
        if (Extension(name) == "py")
            continue;
        files.push_back({ name, testing_support::ReadFileBytes(entry.path().string()) });
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return files;
}

/// A small valid file of every format the codec writes, and the stored animation and two-page
/// seeds (the frame decoder and the page reader walk those).
inline std::vector<HostileFile> SeedFiles()
{
    static const struct {
        std::uint32_t type;
        const char* ext;
        std::uint32_t bpp;
    } kinds[] = {
        { codec::kTypeBmp, "bmp", 8 },
        { codec::kTypeGif, "gif", 8 },
        { codec::kTypeJpg, "jpg", 24 },
        { codec::kTypePng, "png", 32 },
        { codec::kTypeIco, "ico", 32 },
        { codec::kTypeTif, "tif", 24 },
        { codec::kTypeTga, "tga", 24 },
        { codec::kTypePcx, "pcx", 8 },
        { codec::kTypeWbmp, "wbmp", 1 },
        { codec::kTypeWmf, "wmf", 24 },
        { codec::kTypeJp2, "jp2", 24 },
        { codec::kTypeJpc, "jpc", 24 },
        { codec::kTypePgx, "pgx", 8 },
        { codec::kTypePnm, "ppm", 24 },
        { codec::kTypeRas, "ras", 24 },
    };
    std::vector<HostileFile> seeds;
    for (const auto& k : kinds) {
        const codec::CxImage image = testing_support::MakeTestImage(21, 13, k.bpp);
        HostileFile seed { std::string("seed.") + k.ext, {} };
        if (image.Encode(seed.bytes, k.type))
            seeds.push_back(std::move(seed));
    }
    for (const char* stored : { "seed-animation.gif", "seed-two-pages.tif" })
        seeds.push_back(
            { stored, testing_support::ReadFileBytes(std::string(PELMORA_TEST_DATA) + "/hostile/" + stored) });
    return seeds;
}

/// Where a seed is cut: every length up to 24 bytes, 31 more spread evenly, the last two.
inline std::vector<std::size_t> CutPoints(std::size_t size)
{
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n <= 24 && n < size; ++n)
        cuts.push_back(n);
    for (std::size_t k = 1; k < 32; ++k)
        cuts.push_back(size * k / 32);
    for (std::size_t back : { 2, 1 })
        if (size >= back)
            cuts.push_back(size - back);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

/// Every seed cut at every cut point, "cut-<seed stem>-<length>.<ext>" (length 0 is the empty file).
inline std::vector<HostileFile> TruncatedFiles(const std::vector<HostileFile>& seeds)
{
    std::vector<HostileFile> files;
    for (const HostileFile& seed : seeds) {
        const std::string stem = seed.name.substr(0, seed.name.rfind('.'));
        for (std::size_t n : CutPoints(seed.bytes.size()))
            files.push_back({ "cut-" + stem + "-" + std::to_string(n) + "." + Extension(seed.name),
                std::vector<std::uint8_t>(seed.bytes.begin(), seed.bytes.begin() + static_cast<std::ptrdiff_t>(n)) });
    }
    return files;
}

/// The whole image corpus: stored files except the encrypted ones, and the seeds' truncations.
inline std::vector<HostileFile> ImageCorpus()
{
    std::vector<HostileFile> files;
    for (HostileFile& f : StoredFiles())
        if (Extension(f.name) != "plm")
            files.push_back(std::move(f));
    for (HostileFile& f : TruncatedFiles(SeedFiles()))
        files.push_back(std::move(f));
    return files;
}

/// The same bytes under another format's extension: the next type in the registry's order.
inline std::string WrongExtensionName(const std::string& name)
{
    static const char* const exts[]
        = { "bmp", "gif", "jpg", "png", "ico", "tif", "tga", "pcx", "wbmp", "wmf", "jp2", "jpc", "pgx", "pnm", "ras" };
    const std::uint32_t type = core::ImageTypeFromExtension(name);
    return name + "." + exts[type % 15];
}

/// A header that declares a size its body cannot fill, or an encrypted-file header: these must
/// fail, never decode.
inline bool MustFail(const std::string& name)
{
    if (name.starts_with("cut-"))
        return name.find("-0.") != std::string::npos;
    return name.starts_with("size-") || name.starts_with("enc-");
}

} // namespace hostile
