// The image as device-independent bitmap bytes (clipboard) and as plain RGBA (drawing).

#include "codec/formats/dib.h"
#include "codec/ops/ops_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace codec {

std::vector<std::uint8_t> CxImage::CopyToHandle() const
{
    try {
        return EncodeDib(*this);
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while copying the image");
        return {};
    }
}

std::vector<std::uint8_t> CxImage::ExportRGBA() const
{
    std::vector<std::uint8_t> out;
    if (!IsValid())
        return out;
    try {
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
        out.resize(rowBytes * height_);
        ops::RowReader reader(*this, 4);
        for (std::uint32_t y = 0; y < height_; ++y)
            std::memcpy(out.data() + y * rowBytes, reader.Get(y), rowBytes);
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory while exporting the image");
        out.clear();
    }
    return out;
}

} // namespace codec
