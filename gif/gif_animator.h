#pragma once

// What the animated picture control draws: an off-screen RGBA image of the picture's size that
// holds the still picture, or the animation as a thread of its own plays it frame after frame
// with the frames' delays and disposal methods. The control only copies the image to the screen.

#include "codec/ximage.h"
#include "gif/gif_stream.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace gif {

class GifAnimator {
public:
    /// Plays what `decoder` holds; the decoder must not change while the animation runs (every
    /// change to it stops the animation first).
    explicit GifAnimator(const GifStreamDecoder& decoder);
    ~GifAnimator();
    GifAnimator(const GifAnimator&) = delete;
    GifAnimator& operator=(const GifAnimator&) = delete;

    /// A fresh off-screen image of width x height filled with `fill`; `background` becomes the
    /// colour of the restore-to-background disposal and of the clear at the end of each cycle.
    bool PrepareSurface(std::uint32_t width, std::uint32_t height, codec::RGBQuad background, codec::RGBQuad fill);
    bool IsPrepared() const { return prepared_; }
    /// Draws the still picture (true when drawn) or, for two frames or more, starts the animation
    /// thread (false).
    bool ShowPicture();
    /// Ends the animation thread at once, even in the middle of a long delay. The current frame
    /// index is kept, so a later ShowPicture resumes with it.
    void StopAnimation();
    bool IsAnimating() const { return thread_.joinable(); }
    /// Stops and returns to the empty state: no image, first frame, white background.
    void Clear();

    /// Copies the off-screen image (top-down RGBA rows); empty before a picture was prepared.
    void CopySurface(std::vector<std::uint8_t>& rgba, std::uint32_t& width, std::uint32_t& height) const;
    /// Called on the animation thread after each frame was drawn (the control asks for a repaint).
    void SetOnDrawn(std::function<void()> onDrawn) { onDrawn_ = std::move(onDrawn); }

    /// How long a frame stays: 100 ms for delays below 5 hundredths (and for frames that carry no
    /// delay at all), else the delay in milliseconds.
    static std::uint32_t FrameWaitMs(std::uint32_t delay);

    /// One turn of the animation loop on the calling thread: draw the current frame, wait its
    /// time when `wait` is set (returning early when stopped), dispose it and move on. Used by the
    /// thread, and by tests without one. False when a stop ended the turn.
    bool RunOneFrame(bool wait);
    /// What a stop may have left undone, before the loop starts again.
    void ResumeAfterStop();
    std::size_t CurrentFrame() const { return current_; }
    /// Test seam: sees every wait the loop asks for, in milliseconds.
    void SetWaitObserver(std::function<void(std::uint32_t)> observer) { waitObserver_ = std::move(observer); }

private:
    void RunAnimation();
    void FillRect(std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height, codec::RGBQuad c);
    /// Draws `image` (the frame's own rectangle) at (left, top); transparent pixels leave what is
    /// beneath visible.
    void Blit(const codec::CxImage& image, std::uint32_t left, std::uint32_t top);
    void Dispose(const GifFrame& frame);

    const GifStreamDecoder& decoder_;
    mutable std::mutex surfaceLock_; ///< between the thread's drawing and the paint's copy
    std::vector<std::uint8_t> surface_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    codec::RGBQuad background_ { 255, 255, 255, 255 };
    std::optional<codec::CxImage> savedBackground_;
    std::size_t current_ = 0;
    bool prepared_ = false;

    std::thread thread_;
    std::atomic<bool> exit_ { false };
    std::mutex waitLock_;
    std::condition_variable wake_;
    std::function<void()> onDrawn_;
    std::function<void(std::uint32_t)> waitObserver_;
};

} // namespace gif
