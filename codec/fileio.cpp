#include "codec/fileio.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace codec {

namespace {

std::string ErrnoText(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::string DirName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links to the file that is really written. A link to a name that
// does not exist yet resolves to that name, so the save creates the file the link points at.
// Loops end at the kernel's own depth limit; the open that follows then reports ELOOP.
std::string ResolveLinks(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st { };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer))
            return path;
        std::string link(buffer, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : DirName(path) + "/" + link;
    }
    return path;
}

std::atomic<std::int64_t> g_diskSpaceForTests { -1 };

/// The test seam's full disk: takes `bytes` from the space left, false (errno ENOSPC) when they
/// do not fit.
bool TakeDiskSpace(std::int64_t bytes)
{
    std::int64_t left = g_diskSpaceForTests.load();
    do {
        if (left < 0)
            return true;
        if (bytes > left) {
            errno = ENOSPC;
            return false;
        }
    } while (!g_diskSpaceForTests.compare_exchange_weak(left, left - bytes));
    return true;
}

// Short on purpose: a name derived from the target would overflow NAME_MAX for long targets.
std::string RandomTempName()
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6] {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Only without entropy at all; the O_EXCL retry loop still keeps names unique.
        static unsigned counter = 0;
        const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u + ++counter;
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string name = ".pelmora-";
    for (unsigned char b : bytes)
        name += kChars[b % (sizeof kChars - 1)];
    return name;
}

} // namespace

Result ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out)
{
    out.clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer before the
    // fstat below can refuse it. It has no effect on reading regular files.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Result::Fail(Status::Io, ErrnoText("cannot open", path));
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result::Fail(Status::Io, "not a regular file: " + path);
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
        ::close(fd);
        return LimitExceeded("the file is too large: " + path);
    }
    try {
        out.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return LimitExceeded("out of memory reading " + path);
    }
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Result r = Result::Fail(Status::Io, ErrnoText("cannot read", path));
            ::close(fd);
            return r;
        }
        if (n == 0)
            break; // the file shrank under us: take what is there
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    ::close(fd);
    return Result::Ok();
}

AtomicFile::AtomicFile(std::string targetPath)
    : target_(std::move(targetPath))
{
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        Discard();
    if (dirFd_ >= 0)
        ::close(dirFd_);
}

Result AtomicFile::Fail(const char* what)
{
    Result r = Result::Fail(Status::Io, ErrnoText(what, target_));
    Discard();
    return r;
}

Result AtomicFile::Open()
{
    if (target_.empty())
        return Result::Fail(Status::Io, "no file name given");
    if (stream_ || committed_)
        return Result::Fail(Status::Internal, "the file is already open: " + target_);
    resolved_ = ResolveLinks(target_);
    // Replacing by rename would get past a read-only file; refuse as a plain write would.
    struct stat existing { };
    const bool exists = ::stat(resolved_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return Result::Fail(Status::Io, "cannot write " + target_ + ": not a regular file");
    if (exists && ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(resolved_.c_str(), W_OK) != 0))
        return Result::Fail(Status::Io, "cannot write " + target_ + ": the file is read-only");
    if (!exists && errno != ENOENT)
        return Result::Fail(Status::Io, ErrnoText("cannot write", target_));

    if (dirFd_ < 0)
        dirFd_ = ::open(DirName(resolved_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        return Result::Fail(Status::Io, ErrnoText("cannot create", target_));

    // 0666 lets the kernel apply the umask: reading it with umask() would race other threads.
    // A nameless file is only of use if Commit can link it: without /proc that takes a
    // capability we may not have.
    int fd = -1;
    if (::access("/proc/self/fd", F_OK) == 0)
        fd = ::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    anonymous_ = fd >= 0;
    if (fd >= 0) {
        tempPath_ = "/proc/self/fd/" + std::to_string(fd);
    } else {
        // No O_TMPFILE on this file system (or kernel): a hidden name of our own.
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            std::string name = RandomTempName();
            fd = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0)
                tempName_ = std::move(name);
            else if (errno != EEXIST)
                break;
        }
        if (fd < 0)
            return Result::Fail(Status::Io, ErrnoText("cannot create", target_));
        tempPath_ = DirName(resolved_) + "/" + tempName_;
    }
    stream_ = ::fdopen(fd, "w+b");
    if (!stream_) {
        ::close(fd);
        return Fail("cannot open");
    }
    if (exists) {
        // Keep the replaced file's owner where we may (root, or a group we belong to), then its
        // permissions; never carry setuid/setgid over to content that did not earn them.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
            && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not allowed: the file becomes ours, as any new file would.
        }
        const mode_t mode = existing.st_mode & 0777;
        struct stat now { };
        if (::fchmod(fd, mode) != 0 && (::fstat(fd, &now) != 0 || (now.st_mode & 07777) != mode))
            return Fail("cannot set the permissions of");
    }
    return Result::Ok();
}

Result AtomicFile::Commit()
{
    if (!stream_)
        return Result::Fail(Status::Io, "no file to commit for " + target_);
    // Data on disk before the name: otherwise a crash can leave an empty file under the final
    // name on file systems that order metadata before data.
    const int fd = ::fileno(stream_);
    // A write that failed earlier (a full disk) and that the writer did not check leaves the
    // stream's error flag: the file is short, whatever the flush says now.
    struct stat written { };
    if (std::ferror(stream_) || std::fflush(stream_) != 0 || ::fstat(fd, &written) != 0
        || !TakeDiskSpace(written.st_size) || ::fsync(fd) != 0)
        return Fail("cannot write");
    if (anonymous_) {
        // linkat cannot replace an existing name: give the file a hidden name, then rename it
        // over the target. AT_EMPTY_PATH needs a capability; /proc/self/fd works for everyone.
        const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0; attempt < 100 && tempName_.empty(); ++attempt) {
            std::string name = RandomTempName();
            if (::linkat(fd, "", dirFd_, name.c_str(), AT_EMPTY_PATH) == 0
                || ::linkat(AT_FDCWD, procPath.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                tempName_ = std::move(name);
            else if (errno != EEXIST)
                return Fail("cannot write");
        }
        if (tempName_.empty())
            return Fail("cannot write");
    }
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed)
        return Fail("cannot write");
    if (::renameat(dirFd_, tempName_.c_str(), dirFd_, BaseName(resolved_).c_str()) != 0)
        return Fail("cannot write");
    tempName_.clear();
    tempPath_.clear();
    committed_ = true;
    // The new name on disk too. The file is already in place, so a folder that cannot be
    // synced (some network and FUSE file systems refuse) does not make the save a failure.
    ::fsync(dirFd_);
    return Result::Ok();
}

void AtomicFile::Discard()
{
    if (stream_) {
        std::fclose(stream_); // a nameless file disappears here
        stream_ = nullptr;
    }
    if (!tempName_.empty() && dirFd_ >= 0) {
        ::unlinkat(dirFd_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    tempPath_.clear();
}

void SetDiskSpaceForTests(std::int64_t bytes)
{
    g_diskSpaceForTests = bytes;
}

Result WriteFileAtomic(const std::string& path, ByteView data)
{
    AtomicFile file(path);
    if (Result r = file.Open(); !r)
        return r;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.stream()) != data.size())
        return Result::Fail(Status::Io, ErrnoText("cannot write", path));
    return file.Commit();
}

} // namespace codec
