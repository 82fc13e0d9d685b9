#include "codec/xiofile.h"

#include <sys/types.h>

namespace codec {

std::size_t CxIOFile::Write(const void* buffer, std::size_t size, std::size_t count)
{
    if (!stream_ || !buffer || size == 0 || count == 0)
        return 0;
    return std::fwrite(buffer, size, count, stream_);
}

std::size_t CxIOFile::Read(void* buffer, std::size_t size, std::size_t count)
{
    if (!stream_ || !buffer || size == 0 || count == 0)
        return 0;
    return std::fread(buffer, size, count, stream_);
}

bool CxIOFile::Seek(std::int64_t offset, int origin)
{
    return stream_ && ::fseeko(stream_, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t CxIOFile::Tell() const
{
    return stream_ ? static_cast<std::int64_t>(::ftello(stream_)) : -1;
}

std::int64_t CxIOFile::Size()
{
    const std::int64_t here = Tell();
    if (here < 0 || !Seek(0, SEEK_END))
        return -1;
    const std::int64_t size = Tell();
    return Seek(here, SEEK_SET) ? size : -1;
}

bool CxIOFile::Flush()
{
    return stream_ && std::fflush(stream_) == 0;
}

bool CxIOFile::Error() const
{
    return !stream_ || std::ferror(stream_) != 0;
}

} // namespace codec
