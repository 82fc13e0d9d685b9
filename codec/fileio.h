#pragma once

#include "codec/result.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace codec {

/// Largest file the image library reads whole into memory.
inline constexpr std::uint64_t kMaxFileBytes = 1ull << 31;

/// Reads a whole regular file.
Result ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out);

/// Writes `data` to a temporary file next to `path`, flushes it, and renames it over `path`.
/// On any failure the temporary file is removed and whatever was at `path` stays as it was.
Result WriteFileAtomic(const std::string& path, ByteView data);

/// A temporary file in the folder of a target path, removed on destruction unless committed.
/// For writers that stream into a FILE* (libtiff, giflib) rather than build bytes in memory.
class AtomicFile {
public:
    explicit AtomicFile(std::string targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file; its stream is opened "w+b".
    Result Open();
    std::FILE* stream() const { return stream_; }
    const std::string& tempPath() const { return tempPath_; }
    /// Flushes, closes and renames the temporary file over the target.
    Result Commit();
    /// Closes and removes the temporary file (also what the destructor does if not committed).
    void Discard();

private:
    std::string target_;
    std::string tempPath_;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
};

} // namespace codec
