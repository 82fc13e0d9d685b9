#include "gif/gif_extract.h"

#include "codec/formats/format.h"
#include "core/paths.h"
#include "core/ui.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace gif {

std::string FrameFileName(const std::string& basePath, int number)
{
    return core::Format("%s/%s_%d.gif",
        core::PathDirectory(basePath).c_str(),
        core::PathStripLastExtension(basePath, true).c_str(),
        number);
}

bool SaveFramesAsFiles(const GifStreamDecoder& decoder, const std::string& basePath, std::vector<std::string>* failed)
{
    if (!decoder.IsGif() || decoder.Frames().size() < 2)
        return false;
    int counter = 1;
    for (const GifFrame& frame : decoder.Frames()) {
        if (!frame.picture)
            continue; // skipped frames do not advance the counter
        const std::string name = FrameFileName(basePath, counter);
        if (!frame.picture->SaveToFile(name) && failed)
            failed->push_back(name);
        ++counter;
    }
    return true;
}

namespace {

} // namespace

// The frame's one-image stream with the screen shrunk to the frame and the frame moved to the
// origin, so the codec returns exactly the frame's pixels whatever it does with screens and
// positions.
bool DecodeFrameRect(const GifFrame& frame, codec::CxImage& out)
{
    std::vector<std::uint8_t> stream = frame.picture->Stream();
    if (stream.size() < 13 || frame.width == 0 || frame.height == 0)
        return false;
    const std::uint32_t globalTable = (stream[10] & 0x80) ? 3u << ((stream[10] & 7) + 1) : 0;
    // Find the image descriptor: after the header, past the frame's extensions.
    GifStreamDecoder walker;
    walker.BeginWalk(stream, 13 + globalTable);
    for (GifBlockKind kind = walker.ClassifyBlock(); kind != kBlockImage; kind = walker.ClassifyBlock())
        if (kind == kBlockUnknown || kind == kBlockTrailer || !walker.SkipBlock())
            return false;
    const std::uint32_t d = walker.ScanPosition();
    auto put16 = [&stream](std::size_t at, std::uint32_t v) {
        stream[at] = static_cast<std::uint8_t>(v & 0xFF);
        stream[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(6, frame.width);
    put16(8, frame.height);
    put16(d + 1, 0);
    put16(d + 3, 0);
    return out.Decode(stream, codec::kTypeGif) && out.GetWidth() == frame.width && out.GetHeight() == frame.height;
}

namespace {

void FillRect(codec::CxImage& screen, std::uint32_t left, std::uint32_t top, std::uint32_t w, std::uint32_t h)
{
    const std::uint32_t right = std::min<std::uint64_t>(std::uint64_t { left } + w, screen.GetWidth());
    const std::uint32_t bottom = std::min<std::uint64_t>(std::uint64_t { top } + h, screen.GetHeight());
    for (std::uint32_t y = top; y < bottom; ++y)
        if (left < right)
            std::memset(screen.Row(y) + std::size_t { left } * 4, 0, std::size_t { right - left } * 4);
}

/// The screen before the first frame: the background colour of the global table, as the tools
/// people compare us with show it, unless the first frame is itself transparent (then the
/// animation means to show what lies under it).
void PaintBackground(codec::CxImage& screen, const GifFrame& first, bool firstIsTransparent)
{
    const std::vector<std::uint8_t>& stream = first.picture->Stream();
    if (firstIsTransparent || stream.size() < 13 || !(stream[10] & 0x80))
        return;
    const std::size_t entry = 13 + std::size_t { stream[11] } * 3;
    const std::size_t tableEnd = 13 + (std::size_t { 3 } << ((stream[10] & 7) + 1));
    if (entry + 3 > std::min(tableEnd, stream.size()))
        return;
    for (std::size_t at = 0; at < screen.Pixels().size(); at += 4) {
        std::uint8_t* p = screen.Pixels().data() + at;
        p[0] = stream[entry], p[1] = stream[entry + 1], p[2] = stream[entry + 2], p[3] = 255;
    }
}

} // namespace

bool CoalesceFrames(const GifStreamDecoder& decoder,
    const std::function<bool(const codec::CxImage& screen, std::size_t index)>& sink,
    std::string* error)
{
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    const auto width = static_cast<std::uint32_t>(std::max(decoder.PictureWidth(), 0));
    const auto height = static_cast<std::uint32_t>(std::max(decoder.PictureHeight(), 0));
    if (codec::Result r = codec::CheckDimensions(width, height, codec::DefaultLimits()); !r)
        return fail(r.message);
    codec::CxImage screen;
    if (!screen.Create(width, height, 32))
        return fail(screen.GetLastError());
    std::fill(screen.Pixels().begin(), screen.Pixels().end(), 0); // the screen starts transparent
    std::optional<codec::CxImage> saved;

    const std::vector<GifFrame>& frames = decoder.Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const GifFrame& frame = frames[i];
        codec::CxImage pixels;
        if (!DecodeFrameRect(frame, pixels))
            return fail("frame " + std::to_string(i + 1) + " cannot be decoded");
        if (i == 0)
            PaintBackground(screen, frame, pixels.GetTransIndex() >= 0);
        if (frame.disposal == 3)
            saved = screen;
        else
            saved.reset();

        const int trans = pixels.GetTransIndex();
        const auto& palette = pixels.Palette();
        for (std::uint32_t y = 0; y < frame.height && std::uint64_t { frame.top } + y < height; ++y) {
            const std::uint8_t* src = pixels.Row(y);
            std::uint8_t* dst = screen.Row(frame.top + y);
            for (std::uint32_t x = 0; x < frame.width && std::uint64_t { frame.left } + x < width; ++x) {
                codec::RGBQuad c;
                if (pixels.IsIndexed()) {
                    if (src[x] == trans || src[x] >= palette.size())
                        continue;
                    c = palette[src[x]];
                } else {
                    c = pixels.GetPixelColor(x, y);
                }
                std::uint8_t* p = dst + std::size_t { frame.left + x } * 4;
                p[0] = c.red, p[1] = c.green, p[2] = c.blue, p[3] = 255;
            }
        }
        if (!sink(screen, i))
            return true;
        if (frame.disposal == 2)
            FillRect(screen, frame.left, frame.top, frame.width, frame.height);
        else if (frame.disposal == 3 && saved)
            screen = std::move(*saved);
    }
    return true;
}

bool SaveCoalescedFramesAsFiles(const GifStreamDecoder& decoder, const std::string& basePath)
{
    if (!decoder.IsGif() || decoder.Frames().size() < 2)
        return false;
    int counter = 1;
    bool allWritten = true;
    const bool decoded = CoalesceFrames(decoder, [&](const codec::CxImage& screen, std::size_t) {
        codec::CxImage copy(screen);
        allWritten = copy.Save(FrameFileName(basePath, counter++), codec::kTypeGif) && allWritten;
        return true;
    });
    return decoded && allWritten;
}

} // namespace gif
