#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace codec {

/// Why an operation failed. The message is what GetLastError shows.
enum class Status {
    Ok,
    Truncated, ///< the data ends before the format says it does
    Malformed, ///< the data contradicts itself or the format
    Unsupported, ///< valid, but a variant this library does not handle
    LimitExceeded, ///< the declared size is above the decode limits
    Io, ///< the file system refused
    Internal,
};

struct Result {
    Status status = Status::Ok;
    std::string message;

    static Result Ok() { return {}; }
    static Result Fail(Status s, std::string msg) { return { s, std::move(msg) }; }
    explicit operator bool() const { return status == Status::Ok; }
};

inline Result Truncated(std::string msg)
{
    return Result::Fail(Status::Truncated, std::move(msg));
}
inline Result Malformed(std::string msg)
{
    return Result::Fail(Status::Malformed, std::move(msg));
}
inline Result Unsupported(std::string msg)
{
    return Result::Fail(Status::Unsupported, std::move(msg));
}
inline Result LimitExceeded(std::string msg)
{
    return Result::Fail(Status::LimitExceeded, std::move(msg));
}

using ByteView = std::span<const std::uint8_t>;

/// Limits checked against a header before any pixel memory is taken.
struct DecodeLimits {
    std::uint32_t maxWidth = 1u << 18;
    std::uint32_t maxHeight = 1u << 18;
    std::uint64_t maxPixels = 1ull << 28;
    /// Images a reader walks at most in one file (a GIF's frames when it sizes the screen).
    std::uint32_t maxFrames = 10000;
    /// Pixels the file's own bytes can stand for. Each reader lowers it for its file with
    /// `BoundByData` (codec/formats/format.h); unbounded until then.
    std::uint64_t maxDataPixels = ~std::uint64_t { 0 };
};

/// The process-wide default limits; fuzz targets lower them.
DecodeLimits& DefaultLimits();

} // namespace codec
