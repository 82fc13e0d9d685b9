#include "codec/ximagegif.h"

#include "codec/formats/gif_internal.h"

#include <new>

namespace codec {

bool CxImageGIF::Encode(CxIOFile* stream, CxImage** frames, int count, bool localColorTables)
{
    if (!stream || !stream->IsOpen()) {
        SetLastError("GIF: no stream to write to");
        return false;
    }
    if (count < 1 || !frames) {
        SetLastError("GIF: there are no frames to write");
        return false;
    }
    gif::WriteOptions options;
    options.comment = comment_;
    options.loops = loops_;
    options.disposal = GetDisposalMethod();
    options.localColorTables = localColorTables;
    auto write = [](void* context, const std::uint8_t* data, std::size_t size) {
        return static_cast<CxIOFile*>(context)->Write(data, 1, size) == size;
    };
    try {
        Result r = gif::Write(frames, static_cast<std::size_t>(count), options, write, stream);
        if (r && !stream->Flush())
            r = Result::Fail(Status::Io, "cannot write the GIF data");
        if (!r)
            return Report(Result::Fail(r.status, "GIF: " + r.message));
    } catch (const std::bad_alloc&) {
        SetLastError("GIF: out of memory while encoding");
        return false;
    }
    return true;
}

} // namespace codec
