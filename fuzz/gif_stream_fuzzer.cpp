// Walks arbitrary bytes as the frame viewer's GIF stream decoder does, then composes the frames
// as the coalescing extractor does.
#include "fuzz/fuzz_common.h"
#include "gif/gif_extract.h"
#include "gif/gif_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gif::GifStreamDecoder decoder;
    if (decoder.LoadPictureData(codec::ByteView(data, size)) && decoder.Frames().size() >= 2)
        gif::CoalesceFrames(decoder, [](const codec::CxImage&, std::size_t index) { return index < 8; });
    return 0;
}
