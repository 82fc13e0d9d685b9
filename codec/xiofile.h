#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace codec {

/// A caller-opened C stream for the multi-image encoders. It never closes the stream: the
/// caller opened it and may go on writing to it after an encoder is done.
class CxIOFile {
public:
    explicit CxIOFile(std::FILE* stream = nullptr)
        : stream_(stream)
    {
    }
    CxIOFile(const CxIOFile&) = delete;
    CxIOFile& operator=(const CxIOFile&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    std::FILE* GetStream() const { return stream_; }

    /// Like fwrite: the number of whole items written.
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count);
    /// Like fread: the number of whole items read.
    std::size_t Read(void* buffer, std::size_t size, std::size_t count);
    /// `origin` is SEEK_SET, SEEK_CUR or SEEK_END.
    bool Seek(std::int64_t offset, int origin);
    /// The position, or -1.
    std::int64_t Tell() const;
    /// The stream's length, or -1; the position is kept.
    std::int64_t Size();
    bool Flush();
    /// True once a read or write on the stream has failed.
    bool Error() const;

private:
    std::FILE* stream_;
};

} // namespace codec
