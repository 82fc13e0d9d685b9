// Walks arbitrary bytes as the frame viewer's GIF stream decoder does, then composes the frames
// as the coalescing extractor does and draws them as the animated picture control does (on the
// calling thread, without waiting): every frame's rectangle and disposal against the screen.
#include "fuzz/fuzz_common.h"
#include "gif/gif_animator.h"
#include "gif/gif_extract.h"
#include "gif/gif_stream.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gif::GifStreamDecoder decoder;
    if (!decoder.LoadPictureData(codec::ByteView(data, size)))
        return 0;
    if (decoder.Frames().size() >= 2)
        gif::CoalesceFrames(decoder, [](const codec::CxImage&, std::size_t index) { return index < 8; });
    gif::GifAnimator animator(decoder);
    if (!animator.PrepareSurface(static_cast<std::uint32_t>(decoder.PictureWidth()),
            static_cast<std::uint32_t>(decoder.PictureHeight()),
            codec::RGBQuad { 255, 255, 255, 255 },
            codec::RGBQuad { 0, 0, 0, 255 }))
        return 0;
    if (decoder.Frames().size() < 2) {
        animator.ShowPicture(); // a still picture: drawn at once, no thread
        return 0;
    }
    // Two turns more than the frames: the end of a cycle clears the screen and starts again.
    const std::size_t turns = std::min<std::size_t>(decoder.Frames().size(), 8) + 2;
    for (std::size_t i = 0; i < turns; ++i)
        animator.RunOneFrame(false);
    return 0;
}
