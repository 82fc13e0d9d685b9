#pragma once

// The TIFF page writer shared by the one-image save (TiffEncode) and the multi-page encoder
// (CxImageTIF), over any random-access byte stream.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace codec::tiff {

/// Where libtiff reads and writes. It must seek and read back: libtiff revisits the file to link
/// one page's directory to the next. Offsets are relative to where the TIFF data starts.
class Stream {
public:
    virtual ~Stream() = default;
    /// Bytes read, or -1.
    virtual std::int64_t Read(void* buffer, std::int64_t size) = 0;
    /// Bytes written; anything short of `size` is a failure.
    virtual std::int64_t Write(const void* buffer, std::int64_t size) = 0;
    /// The new position, or -1. `whence` is SEEK_SET, SEEK_CUR or SEEK_END.
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
    virtual std::int64_t Size() = 0;
    /// The whole content in memory, when the stream has it there; libtiff then reads from it
    /// directly (and never writes into it).
    virtual const void* Mapping() const { return nullptr; }
};

/// Writes `count` pages, each keeping its own size and depth: 1 bit black and white as CCITT
/// Group 4, other 1-bit and 4- and 8-bit palettes with LZW, 8-bit gray ramps, 16 and 24 bits as
/// RGB, 32 bits as RGBA with unassociated alpha, all three with Deflate and the horizontal
/// predictor. With more than one page each is marked as a page with its number.
Result WritePages(Stream& stream, const CxImage* const* pages, std::size_t count);

/// WritePages one page at a time, so a caller needs only one decoded page in memory at once:
/// Begin, Write each of the `count` pages announced, Finish. The first failure ends the writer.
class PageWriter {
public:
    PageWriter();
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    Result Begin(Stream& stream, std::size_t count);
    Result Write(const CxImage& page);
    /// Completes the file; fails when fewer pages were written than announced.
    Result Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace codec::tiff
