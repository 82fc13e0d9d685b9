#pragma once

#include "codec/result.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace codec {

/// Largest file the image library reads whole into memory.
inline constexpr std::uint64_t kMaxFileBytes = 1ull << 31;

/// Reads a whole regular file. Anything else (a FIFO, a device, a folder) is refused at once,
/// without waiting for a writer that may never come.
Result ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out);

/// Writes `data` to a temporary file next to `path`, flushes it to disk, and renames it over
/// `path`. On any failure nothing is left behind and whatever was at `path` stays as it was.
/// A symbolic link at `path` is written through: the file it points at is replaced, the link
/// is kept.
Result WriteFileAtomic(const std::string& path, ByteView data);

/// Test seam: from now on the writer acts as if the disk had only `bytes` left. Each Commit
/// takes its file's size from them and fails with ENOSPC ("No space left on device") once they
/// run out, as file systems with delayed allocation report a full disk only at fsync. A
/// negative value (the default) removes the limit.
void SetDiskSpaceForTests(std::int64_t bytes);

/// A temporary file in the folder of a target path, removed on destruction unless committed.
/// For writers that stream into a FILE* (libtiff, giflib) rather than build bytes in memory.
///
/// Where the file system allows it the file has no name until Commit (O_TMPFILE), so a process
/// killed while writing leaves nothing visible; elsewhere it is a hidden ".pelmora-XXXXXX" file
/// in the target's folder. A replaced file's permission bits are kept, without setuid/setgid;
/// a new file gets 0666 less the umask.
class AtomicFile {
public:
    explicit AtomicFile(std::string targetPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file; its stream is opened "w+b".
    Result Open();
    std::FILE* stream() const { return stream_; }
    /// A path that opens the temporary file while it is open: the hidden file's name, or, for a
    /// file without a name, "/proc/self/fd/N" (valid in this process only, until Commit or
    /// Discard). Empty when nothing is open.
    const std::string& tempPath() const { return tempPath_; }
    /// Flushes the data to disk, then puts the file in place of the target in one rename.
    Result Commit();
    /// Closes and removes the temporary file (also what the destructor does if not committed).
    void Discard();

private:
    Result Fail(const char* what);

    std::string target_; // as the caller named it, for messages
    std::string resolved_; // the target with symbolic links followed
    std::string tempPath_;
    std::string tempName_; // name inside the folder once the file has one
    std::FILE* stream_ = nullptr;
    int dirFd_ = -1;
    bool anonymous_ = false;
    bool committed_ = false;
};

} // namespace codec
