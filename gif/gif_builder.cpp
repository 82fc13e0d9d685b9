#include "gif/gif_builder.h"

#include "codec/fileio.h"
#include "codec/palette.h"
#include "codec/ximagegif.h"
#include "codec/xiofile.h"

#include <memory>

namespace gif {

const char* CheckAnimationCreate(std::size_t rows, const std::string& destination)
{
    if (rows < 2)
        return kTooFewFilesMessage;
    if (destination.empty())
        return kNoDestinationMessage;
    return nullptr;
}

int EncoderLoopValue(int loops)
{
    if (loops < 0)
        return -1;
    return loops > 1 ? loops + 1 : 1;
}

bool BuildAnimatedGif(
    const std::vector<GifFrameSource>& frames, const std::string& destination, int loops, std::string* error)
{
    return BuildAnimatedGif(frames, destination, loops, FramePalette::kPerFrame, nullptr, error);
}

namespace {

/// Reduces the true-colour frames to 8 bits; returns the palette mode used.
FramePalette ReduceFrames(std::vector<std::unique_ptr<codec::CxImage>>& images, FramePalette mode)
{
    std::vector<const codec::CxImage*> deep;
    for (const auto& image : images)
        if (image->IsValid() && image->GetBpp() > 8)
            deep.push_back(image.get());
    if (deep.empty())
        return FramePalette::kPerFrame;

    std::vector<codec::RGBQuad> shared;
    if (mode != FramePalette::kPerFrame)
        shared = codec::SharedPalette(deep, 256);
    if (mode == FramePalette::kAuto) {
        double sharedError = 0.0, ownError = 0.0;
        for (const codec::CxImage* image : deep) {
            sharedError += codec::PaletteError(*image, shared);
            ownError += codec::PaletteError(*image, codec::OwnPalette(*image, 256));
        }
        // A small absolute allowance keeps near-exact frames (few colours) on the shared palette.
        mode = sharedError <= ownError * kSharedPaletteTolerance + deep.size() ? FramePalette::kShared
                                                                              : FramePalette::kPerFrame;
    }
    for (auto& image : images) {
        if (!image->IsValid() || image->GetBpp() <= 8)
            continue;
        if (mode == FramePalette::kShared)
            image->DecreaseBpp(8, true, shared.data(), static_cast<std::uint32_t>(shared.size()));
        else
            image->DecreaseBpp(8, true);
    }
    return mode;
}

} // namespace

bool BuildAnimatedGif(const std::vector<GifFrameSource>& frames,
    const std::string& destination,
    int loops,
    FramePalette palette,
    FramePalette* chosen,
    std::string* error)
{
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    if (frames.empty())
        return fail("no frames");

    std::vector<std::unique_ptr<codec::CxImage>> images;
    images.reserve(frames.size());
    for (const GifFrameSource& frame : frames) {
        // A frame that does not load stays in the sequence as an empty image; the encoder
        // refuses it and the build fails as a whole. Content decides the format, so a still
        // image named on the command line loads as itself.
        images.push_back(std::make_unique<codec::CxImage>(frame.path, codec::kTypeGif));
    }
    const FramePalette used = ReduceFrames(images, palette);
    if (chosen)
        *chosen = used;
    std::vector<codec::CxImage*> pointers;
    for (std::size_t i = 0; i < images.size(); ++i) {
        images[i]->SetFrameDelay(frames[i].delay);
        images[i]->SetFrame(static_cast<std::int32_t>(i));
        pointers.push_back(images[i].get());
    }

    codec::AtomicFile file(destination);
    if (codec::Result r = file.Open(); !r)
        return fail(r.message);
    codec::CxImageGIF encoder;
    encoder.SetComment(kAnimationComment);
    encoder.SetLoops(EncoderLoopValue(loops));
    encoder.SetDisposalMethod(2);
    codec::CxIOFile stream(file.stream());
    if (!encoder.Encode(&stream, pointers.data(), static_cast<int>(pointers.size()), true))
        return fail(encoder.GetLastError());
    if (codec::Result r = file.Commit(); !r)
        return fail(r.message);
    return true;
}

} // namespace gif
