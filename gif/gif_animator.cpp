#include "gif/gif_animator.h"

#include "codec/formats/format.h"
#include "gif/gif_extract.h"

#include <algorithm>
#include <chrono>

namespace gif {

GifAnimator::GifAnimator(const GifStreamDecoder& decoder)
    : decoder_(decoder)
{
}

GifAnimator::~GifAnimator()
{
    StopAnimation();
}

std::uint32_t GifAnimator::FrameWaitMs(std::uint32_t delay)
{
    // A frame without a control extension carries all bits set; shown like a zero delay rather
    // than for 49.7 days.
    if (delay < 5 || delay == kNoDelay)
        return 100;
    return delay * 10;
}

bool GifAnimator::PrepareSurface(
    std::uint32_t width, std::uint32_t height, codec::RGBQuad background, codec::RGBQuad fill)
{
    if (codec::Result r = codec::CheckDimensions(width, height, codec::DefaultLimits()); !r)
        return false;
    std::lock_guard lock(surfaceLock_);
    try {
        surface_.assign(std::size_t { width } * height * 4, 0);
    } catch (const std::bad_alloc&) {
        surface_.clear();
        return false;
    }
    width_ = width;
    height_ = height;
    background_ = background;
    for (std::size_t at = 0; at < surface_.size(); at += 4)
        surface_[at] = fill.red, surface_[at + 1] = fill.green, surface_[at + 2] = fill.blue, surface_[at + 3] = 255;
    prepared_ = true;
    return true;
}

void GifAnimator::Blit(const codec::CxImage& image, std::uint32_t left, std::uint32_t top)
{
    std::lock_guard lock(surfaceLock_);
    const int trans = image.IsIndexed() ? image.GetTransIndex() : -1;
    for (std::uint32_t y = 0; y < image.GetHeight() && std::uint64_t { top } + y < height_; ++y) {
        const std::uint8_t* src = image.Row(y);
        std::uint8_t* dst = surface_.data() + (std::size_t { top + y } * width_ + left) * 4;
        for (std::uint32_t x = 0; x < image.GetWidth() && std::uint64_t { left } + x < width_; ++x, dst += 4) {
            if (trans >= 0 && src[x] == trans)
                continue;
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            const unsigned a = image.GetBpp() == 32 ? c.alpha : 255;
            dst[0] = static_cast<std::uint8_t>((c.red * a + dst[0] * (255 - a) + 127) / 255);
            dst[1] = static_cast<std::uint8_t>((c.green * a + dst[1] * (255 - a) + 127) / 255);
            dst[2] = static_cast<std::uint8_t>((c.blue * a + dst[2] * (255 - a) + 127) / 255);
        }
    }
}

void GifAnimator::FillRect(
    std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height, codec::RGBQuad c)
{
    std::lock_guard lock(surfaceLock_);
    const std::uint32_t right
        = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t { left } + width, width_));
    const std::uint32_t bottom
        = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t { top } + height, height_));
    for (std::uint32_t y = top; y < bottom; ++y)
        for (std::uint32_t x = left; x < right; ++x) {
            std::uint8_t* p = surface_.data() + (std::size_t { y } * width_ + x) * 4;
            p[0] = c.red, p[1] = c.green, p[2] = c.blue, p[3] = 255;
        }
}

bool GifAnimator::ShowPicture()
{
    if (!prepared_)
        return false;
    if (decoder_.IsGif() && decoder_.Frames().size() > 1) {
        StopAnimation();
        thread_ = std::thread([this] { RunAnimation(); });
        return false;
    }
    codec::CxImage still;
    if (!decoder_.SinglePicture() || !decoder_.SinglePicture()->Decode(still))
        return false;
    if (still.GetWidth() != width_ || still.GetHeight() != height_)
        still.Resample2(width_, height_, codec::kInterpolationBicubic, codec::kOverflowRepeat);
    Blit(still, 0, 0);
    return true;
}

void GifAnimator::Dispose(const GifFrame& frame)
{
    if (frame.disposal == 2) {
        FillRect(frame.left, frame.top, frame.width, frame.height, background_);
    } else if (frame.disposal == 3 && savedBackground_) {
        std::lock_guard lock(surfaceLock_);
        const codec::CxImage& saved = *savedBackground_;
        for (std::uint32_t y = 0; y < saved.GetHeight(); ++y)
            std::copy_n(saved.Row(y),
                saved.GetRowBytes(),
                surface_.data() + (std::size_t { frame.top + y } * width_ + frame.left) * 4);
        savedBackground_.reset();
    }
}

void GifAnimator::ResumeAfterStop()
{
    const auto& frames = decoder_.Frames();
    if (current_ >= frames.size())
        return;
    const GifFrame& f = frames[current_];
    if (f.disposal == 2)
        FillRect(f.left, f.top, f.width, f.height, background_);
    else if (f.disposal == 3)
        Dispose(f);
}

bool GifAnimator::RunOneFrame(bool wait)
{
    const auto& frames = decoder_.Frames();
    if (frames.empty())
        return false;
    const GifFrame& f = frames[current_ % frames.size()];
    if (f.picture) {
        if (f.disposal == 3) {
            // The area under the frame, clipped to the picture, until the frame is disposed.
            const std::uint32_t w = f.left < width_ ? std::min(f.width, width_ - f.left) : 0;
            const std::uint32_t h = f.top < height_ ? std::min(f.height, height_ - f.top) : 0;
            savedBackground_.reset();
            if (w && h) {
                codec::CxImage saved(w, h, 32);
                std::lock_guard lock(surfaceLock_);
                for (std::uint32_t y = 0; y < h; ++y)
                    std::copy_n(
                        surface_.data() + (std::size_t { f.top + y } * width_ + f.left) * 4, w * 4, saved.Row(y));
                savedBackground_ = std::move(saved);
            }
        }
        codec::CxImage pixels;
        if (DecodeFrameRect(f, pixels)) { // a frame that fails to draw is still timed and disposed
            Blit(pixels, f.left, f.top);
            if (onDrawn_)
                onDrawn_();
        }
        if (exit_)
            return false;
        const std::uint32_t ms = FrameWaitMs(f.delay);
        if (waitObserver_)
            waitObserver_(ms);
        if (wait) {
            std::unique_lock lock(waitLock_);
            wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return exit_.load(); });
        }
        if (exit_)
            return false;
        Dispose(f);
    }
    if (++current_ >= frames.size()) {
        current_ = 0;
        FillRect(0, 0, width_, height_, background_);
    }
    return true;
}

void GifAnimator::RunAnimation()
{
    ResumeAfterStop();
    while (!exit_)
        if (!RunOneFrame(true))
            break;
}

void GifAnimator::StopAnimation()
{
    {
        std::lock_guard lock(waitLock_);
        exit_ = true;
    }
    wake_.notify_all();
    // The thread only ever waits on the condition variable, so it ends at once.
    if (thread_.joinable())
        thread_.join();
    exit_ = false;
}

void GifAnimator::Clear()
{
    StopAnimation();
    std::lock_guard lock(surfaceLock_);
    surface_.clear();
    width_ = height_ = 0;
    savedBackground_.reset();
    current_ = 0;
    prepared_ = false;
    background_ = codec::RGBQuad { 255, 255, 255, 255 };
}

void GifAnimator::CopySurface(std::vector<std::uint8_t>& rgba, std::uint32_t& width, std::uint32_t& height) const
{
    std::lock_guard lock(surfaceLock_);
    rgba = surface_;
    width = width_;
    height = height_;
}

} // namespace gif
