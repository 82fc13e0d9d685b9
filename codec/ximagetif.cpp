#include "codec/ximagetif.h"

#include "codec/formats/tiff_internal.h"

#include <algorithm>
#include <new>

namespace codec {

namespace {

/// The caller's stream as libtiff sees it: offsets count from where the TIFF data starts, so a
/// TIFF can follow other bytes in the same stream.
class IOFileStream final : public tiff::Stream {
public:
    IOFileStream(CxIOFile& file, std::int64_t base)
        : file_(file)
        , base_(base)
    {
    }

    std::int64_t Read(void* buffer, std::int64_t size) override
    {
        if (size < 0)
            return -1;
        return static_cast<std::int64_t>(file_.Read(buffer, 1, static_cast<std::size_t>(size)));
    }
    std::int64_t Write(const void* buffer, std::int64_t size) override
    {
        if (size < 0)
            return -1;
        const auto written = static_cast<std::int64_t>(file_.Write(buffer, 1, static_cast<std::size_t>(size)));
        const std::int64_t at = file_.Tell();
        if (at >= 0)
            end_ = std::max(end_, at - base_);
        return written;
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        if (whence == SEEK_SET)
            offset += base_;
        if (!file_.Seek(offset, whence))
            return -1;
        const std::int64_t at = file_.Tell();
        return at < base_ ? -1 : at - base_;
    }
    std::int64_t Size() override
    {
        const std::int64_t size = file_.Size();
        return size < base_ ? -1 : size - base_;
    }
    /// Where the TIFF data ends, relative to its start.
    std::int64_t End() const { return end_; }

private:
    CxIOFile& file_;
    std::int64_t base_;
    std::int64_t end_ = 0;
};

/// Why the encoders cannot write to `stream`, or null; `base` is where the TIFF starts.
const char* CheckOutput(CxIOFile* stream, bool havePages, std::int64_t& base)
{
    if (!stream || !stream->IsOpen())
        return "TIFF: no stream to write to";
    if (!havePages)
        return "TIFF: there are no pages to write";
    base = stream->Tell();
    if (base < 0)
        return "TIFF: the stream cannot seek, which TIFF writing needs";
    return nullptr;
}

} // namespace

struct CxImageTIF::PageState {
    PageState(CxIOFile& file, std::int64_t base)
        : io(file, base)
        , base(base)
    {
    }
    CxIOFile* file = nullptr;
    IOFileStream io;
    std::int64_t base;
    tiff::PageWriter writer;
};

CxImageTIF::CxImageTIF()
    : CxImage(kTypeTif)
{
}

CxImageTIF::~CxImageTIF() = default;

bool CxImageTIF::BeginPages(CxIOFile* stream, int count)
{
    pages_.reset();
    std::int64_t base = 0;
    if (const char* why = CheckOutput(stream, count > 0, base)) {
        SetLastError(why);
        return false;
    }
    try {
        auto state = std::make_unique<PageState>(*stream, base);
        state->file = stream;
        if (Result r = state->writer.Begin(state->io, static_cast<std::size_t>(count)); !r)
            return Report(Result::Fail(r.status, "TIFF: " + r.message));
        pages_ = std::move(state);
    } catch (const std::bad_alloc&) {
        SetLastError("TIFF: out of memory while encoding");
        return false;
    }
    return true;
}

bool CxImageTIF::WritePage(const CxImage& page)
{
    if (!pages_) {
        SetLastError("TIFF: no page-wise writing was started");
        return false;
    }
    try {
        if (Result r = pages_->writer.Write(page); !r) {
            pages_.reset();
            return Report(Result::Fail(r.status, "TIFF: " + r.message));
        }
    } catch (const std::bad_alloc&) {
        pages_.reset();
        SetLastError("TIFF: out of memory while encoding");
        return false;
    }
    return true;
}

bool CxImageTIF::EndPages()
{
    if (!pages_) {
        SetLastError("TIFF: no page-wise writing was started");
        return false;
    }
    std::unique_ptr<PageState> state = std::move(pages_);
    try {
        Result r = state->writer.Finish();
        // libtiff may finish anywhere in its data; leave the stream after the end of it.
        if (r && (!state->file->Seek(state->base + state->io.End(), SEEK_SET) || !state->file->Flush()))
            r = Result::Fail(Status::Io, "cannot write the TIFF data");
        if (!r)
            return Report(Result::Fail(r.status, "TIFF: " + r.message));
    } catch (const std::bad_alloc&) {
        SetLastError("TIFF: out of memory while encoding");
        return false;
    }
    return true;
}

bool CxImageTIF::Encode(CxIOFile* stream, CxImage** pages, int count)
{
    std::int64_t base = 0;
    if (const char* why = CheckOutput(stream, count > 0 && pages, base)) {
        SetLastError(why);
        return false;
    }
    try {
        IOFileStream io(*stream, base);
        Result r = tiff::WritePages(io, pages, static_cast<std::size_t>(count));
        // libtiff may finish anywhere in its data; leave the stream after the end of it.
        if (r && (!stream->Seek(base + io.End(), SEEK_SET) || !stream->Flush()))
            r = Result::Fail(Status::Io, "cannot write the TIFF data");
        if (!r)
            return Report(Result::Fail(r.status, "TIFF: " + r.message));
    } catch (const std::bad_alloc&) {
        SetLastError("TIFF: out of memory while encoding");
        return false;
    }
    return true;
}

} // namespace codec
