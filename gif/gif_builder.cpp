#include "gif/gif_builder.h"

#include "codec/fileio.h"
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
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    if (frames.empty())
        return fail("no frames");

    std::vector<std::unique_ptr<codec::CxImage>> images;
    std::vector<codec::CxImage*> pointers;
    images.reserve(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        // A frame that does not load stays in the sequence as an empty image; the encoder
        // refuses it and the build fails as a whole.
        auto image = std::make_unique<codec::CxImage>(frames[i].path, codec::kTypeGif);
        if (image->IsValid() && image->GetBpp() > 8)
            image->DecreaseBpp(8, true);
        image->SetFrameDelay(frames[i].delay);
        image->SetFrame(static_cast<std::int32_t>(i));
        pointers.push_back(image.get());
        images.push_back(std::move(image));
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
