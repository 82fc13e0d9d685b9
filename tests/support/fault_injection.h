#pragma once

// Faults the tests inject: a full disk (the file writer's seam, or a file size limit that makes
// writes fail as the disk filling up under them would), a read-only folder that holds even for
// root, and listings that see every file a writer may have left.

#include "codec/fileio.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <linux/capability.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

/// The file writer behaves as if the disk had `bytes` left, for the life of the object.
class ScopedDiskSpace {
public:
    explicit ScopedDiskSpace(std::int64_t bytes) { codec::SetDiskSpaceForTests(bytes); }
    ~ScopedDiskSpace() { codec::SetDiskSpaceForTests(-1); }
    ScopedDiskSpace(const ScopedDiskSpace&) = delete;
    ScopedDiskSpace& operator=(const ScopedDiskSpace&) = delete;
};

/// No file of this process may grow past `bytes`: the write that would fails with EFBIG, the way
/// a disk that fills up fails it (SIGXFSZ is ignored meanwhile, so the process lives on).
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(std::uint64_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit saved_ {};
    void (*previous_)(int) = SIG_DFL;
};

/// Permission bits hold for this thread (and threads it starts meanwhile) even when it runs as
/// root: the capabilities that override them are left out of its effective set.
class ScopedPermissions {
public:
    ScopedPermissions()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = { saved_[0], saved_[1] };
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        changed_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ScopedPermissions()
    {
        if (changed_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    ScopedPermissions(const ScopedPermissions&) = delete;
    ScopedPermissions& operator=(const ScopedPermissions&) = delete;

private:
    __user_cap_header_struct header_ {};
    __user_cap_data_struct saved_[2] {};
    bool changed_ = false;
};

/// The command prefix that runs a program with permission bits holding even for root, and the
/// one that runs it with its files limited to `bytes` (SIGXFSZ ignored). Each ends in a space.
inline std::string PermissionsPrefix()
{
    return ::geteuid() == 0 ? "setpriv --inh-caps=-dac_override,-dac_read_search,-fowner "
                              "--bounding-set=-dac_override,-dac_read_search,-fowner "
                            : "";
}

inline std::string FileSizeLimitPrefix(std::uint64_t bytes)
{
    return "sh -c 'trap \"\" XFSZ; exec prlimit --fsize=" + std::to_string(bytes) + " \"$0\" \"$@\"' ";
}

/// Every name below `folder`, hidden ones too, relative and sorted.
inline std::vector<std::string> Tree(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(std::filesystem::relative(it->path(), folder, ec).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace testing_support
