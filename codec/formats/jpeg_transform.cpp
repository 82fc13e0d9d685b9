// Lossless JPEG turns through TurboJPEG: the quantised DCT blocks are moved and transposed, never
// decoded and encoded again, so a photo turned any number of times loses nothing.

#include "codec/formats/jpeg.h"

#include <cstring>
#include <string>
#include <utility>

#include <turbojpeg.h>

namespace codec {

namespace {

struct TransformHandle {
    tjhandle handle = tjInitTransform();
    ~TransformHandle()
    {
        if (handle)
            tjDestroy(handle);
    }
};

struct TurboBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~TurboBuffer() { tjFree(data); }
};

} // namespace

Result JpegTurnLossless(ByteView jpeg, Orientation turn, std::vector<std::uint8_t>& out)
{
    out.clear();
    if (jpeg.empty())
        return Truncated("the file is empty");
    // Mirror first, then clockwise quarter turns, as TurboJPEG's eight operations.
    static constexpr int kOps[2][4] = {
        { TJXOP_NONE, TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270 },
        { TJXOP_HFLIP, TJXOP_TRANSVERSE, TJXOP_VFLIP, TJXOP_TRANSPOSE },
    };
    TransformHandle h;
    if (!h.handle)
        return Result::Fail(Status::Internal, "cannot start the JPEG transform");
    tjtransform xform {};
    xform.op = kOps[turn.mirror ? 1 : 0][((turn.quarters % 4) + 4) % 4];
    // Edge blocks that the picture only partly fills cannot be moved exactly: refuse rather than
    // trim the edge (which would change the size people see) or keep the padding.
    xform.options = TJXOPT_PERFECT;
    TurboBuffer result;
    if (tjTransform(h.handle, jpeg.data(), jpeg.size(), 1, &result.data, &result.size, &xform, 0) != 0) {
        const std::string text = tjGetErrorStr2(h.handle);
        if (text.find("not perfect") != std::string::npos)
            return Unsupported("the picture does not end on a whole JPEG block, so it cannot be turned exactly");
        return Malformed(text);
    }
    out.assign(result.data, result.data + result.size);
    exif::MarkJpegUpright(out);
    // A quarter turn swaps the axes, and so their densities, as a decoded turn does. The encoder
    // writes the JFIF segment first: SOI, APP0, length, "JFIF\0", version, unit, X, Y.
    if (((turn.quarters % 2) + 2) % 2 == 1 && out.size() > 18 && out[2] == 0xFF && out[3] == 0xE0
        && std::memcmp(out.data() + 6, "JFIF", 5) == 0) {
        std::swap(out[14], out[16]);
        std::swap(out[15], out[17]);
    }
    return Result::Ok();
}

} // namespace codec
