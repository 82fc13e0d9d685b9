#include "codec/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace codec {

namespace {

std::string ErrnoText(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

mode_t CurrentUmask()
{
    // umask can only be read by setting it; put it straight back.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

Result ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out)
{
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
}

Result AtomicFile::Open()
{
    if (target_.empty())
        return Result::Fail(Status::Io, "no file name given");
    // Replacing by rename would get past a read-only file; refuse as a plain write would.
    struct stat existing { };
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return Result::Fail(Status::Io, "cannot write " + target_ + ": not a regular file");
    if (exists && ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target_.c_str(), W_OK) != 0))
        return Result::Fail(Status::Io, "cannot write " + target_ + ": the file is read-only");
    std::string pattern = target_ + ".XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return Result::Fail(Status::Io, ErrnoText("cannot create", target_));
    tempPath_ = pattern;
    // mkstemp makes the file private; give it the permissions the replaced file had, or those
    // a plain create would have.
    ::fchmod(fd, exists ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask()));
    stream_ = ::fdopen(fd, "w+b");
    if (!stream_) {
        ::close(fd);
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return Result::Fail(Status::Io, ErrnoText("cannot open", target_));
    }
    return Result::Ok();
}

Result AtomicFile::Commit()
{
    if (!stream_)
        return Result::Fail(Status::Io, "no file to commit for " + target_);
    bool flushed = std::fflush(stream_) == 0 && ::fsync(::fileno(stream_)) == 0;
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!flushed || !closed) {
        Result r = Result::Fail(Status::Io, ErrnoText("cannot write", target_));
        Discard();
        return r;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        Result r = Result::Fail(Status::Io, ErrnoText("cannot write", target_));
        Discard();
        return r;
    }
    committed_ = true;
    tempPath_.clear();
    return Result::Ok();
}

void AtomicFile::Discard()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
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
