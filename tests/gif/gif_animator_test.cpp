// The animation behind the picture control: timing, disposal, the end of a cycle, stopping.

#include "gif/gif_animator.h"
#include "gif/gif_stream.h"
#include "gif_bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace gif_bytes;

const codec::RGBQuad kFace { 200, 0, 0, 255 }; // stands for the button-face colour
const codec::RGBQuad kMenu { 0, 0, 200, 255 };

/// An 8x8 black frame, then a white 4x4 frame at (2, 2) with the given disposal and delay.
Bytes BlackThenWhite(std::uint32_t disposal, std::uint32_t delay = 1)
{
    Bytes b = Header(8, 8);
    Append(b, Gce(delay, 1));
    Append(b, Image(0, 0, 8, 8, 0));
    Append(b, Gce(delay, disposal));
    Append(b, Image(2, 2, 4, 4, 1));
    b.push_back(0x3B);
    return b;
}

std::uint8_t RedAt(const gif::GifAnimator& a, std::uint32_t x, std::uint32_t y)
{
    std::vector<std::uint8_t> rgba;
    std::uint32_t w = 0, h = 0;
    a.CopySurface(rgba, w, h);
    return rgba[(std::size_t { y } * w + x) * 4];
}

TEST(GifAnimator, FrameTimes)
{
    EXPECT_EQ(gif::GifAnimator::FrameWaitMs(0), 100u);
    EXPECT_EQ(gif::GifAnimator::FrameWaitMs(4), 100u);
    EXPECT_EQ(gif::GifAnimator::FrameWaitMs(5), 50u);
    EXPECT_EQ(gif::GifAnimator::FrameWaitMs(gif::kNoDelay), 100u) << "no control extension: not 49.7 days";

    // The thread asks for exactly those waits, frame after frame.
    Bytes b = Header(4, 4);
    for (std::uint32_t delay : { 0u, 4u, 5u }) {
        Append(b, Gce(delay));
        Append(b, Image(0, 0, 4, 4));
    }
    b.push_back(0x3B);
    gif::GifStreamDecoder decoder;
    ASSERT_TRUE(decoder.LoadPictureData(b));
    gif::GifAnimator animator(decoder);
    std::mutex m;
    std::vector<std::uint32_t> waits;
    animator.SetWaitObserver([&](std::uint32_t ms) {
        std::lock_guard lock(m);
        waits.push_back(ms);
    });
    ASSERT_TRUE(animator.PrepareSurface(4, 4, kFace, kMenu));
    EXPECT_FALSE(animator.ShowPicture()) << "an animation starts its thread";
    EXPECT_TRUE(animator.IsAnimating());
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(m);
            if (waits.size() >= 3)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    animator.StopAnimation();
    ASSERT_GE(waits.size(), 3u);
    EXPECT_EQ(
        std::vector<std::uint32_t>(waits.begin(), waits.begin() + 3), (std::vector<std::uint32_t> { 100, 100, 50 }));
}

TEST(GifAnimator, DisposalAndTheEndOfACycle)
{
    struct Case {
        std::uint32_t disposal;
        std::uint8_t redAfter; ///< red channel in the white frame's rectangle after its delay
    } cases[] = { { 0, 255 }, { 1, 255 }, { 2, kFace.red }, { 3, 0 } };
    for (const Case& c : cases) {
        gif::GifStreamDecoder decoder;
        ASSERT_TRUE(decoder.LoadPictureData(BlackThenWhite(c.disposal)));
        gif::GifAnimator animator(decoder);
        ASSERT_TRUE(animator.PrepareSurface(8, 8, kFace, kMenu));
        EXPECT_EQ(RedAt(animator, 3, 3), kMenu.red);
        ASSERT_TRUE(animator.RunOneFrame(false));
        EXPECT_EQ(RedAt(animator, 3, 3), 0) << "the black frame";
        // Second frame: drawn, then disposed; the cycle ends, so everything is cleared.
        std::uint8_t duringDelay = 0, afterDisposal = 0;
        animator.SetWaitObserver([&](std::uint32_t) { duringDelay = RedAt(animator, 3, 3); });
        ASSERT_TRUE(animator.RunOneFrame(false));
        afterDisposal = RedAt(animator, 0, 0);
        EXPECT_EQ(duringDelay, 255) << "the white frame is shown";
        EXPECT_EQ(afterDisposal, kFace.red) << "the end of the cycle clears to the background";
        EXPECT_EQ(animator.CurrentFrame(), 0u);
    }
    // Disposal seen before the end-of-cycle clear: a three-frame sequence.
    for (const Case& c : cases) {
        Bytes b = BlackThenWhite(c.disposal);
        b.pop_back();
        Append(b, Gce(1));
        Append(b, Image(7, 7, 1, 1, 0));
        b.push_back(0x3B);
        gif::GifStreamDecoder decoder;
        ASSERT_TRUE(decoder.LoadPictureData(b));
        gif::GifAnimator animator(decoder);
        ASSERT_TRUE(animator.PrepareSurface(8, 8, kFace, kMenu));
        ASSERT_TRUE(animator.RunOneFrame(false));
        ASSERT_TRUE(animator.RunOneFrame(false));
        EXPECT_EQ(RedAt(animator, 3, 3), c.redAfter) << "disposal " << c.disposal;
    }
}

TEST(GifAnimator, StopEndsALongDelayAtOnce)
{
    gif::GifStreamDecoder decoder;
    ASSERT_TRUE(decoder.LoadPictureData(BlackThenWhite(0, 1000))); // ten seconds a frame
    gif::GifAnimator animator(decoder);
    ASSERT_TRUE(animator.PrepareSurface(8, 8, kFace, kMenu));
    animator.ShowPicture();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    animator.StopAnimation();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(animator.IsAnimating());
    EXPECT_EQ(animator.CurrentFrame(), 0u) << "the frame index is kept for a later resume";
}

TEST(GifAnimator, AStillPictureStartsNoThread)
{
    Bytes b = Header(8, 8);
    Append(b, Image(0, 0, 8, 8, 1));
    b.push_back(0x3B);
    gif::GifStreamDecoder decoder;
    ASSERT_TRUE(decoder.LoadPictureData(b));
    gif::GifAnimator animator(decoder);
    EXPECT_FALSE(animator.ShowPicture()) << "not prepared yet";
    ASSERT_TRUE(animator.PrepareSurface(8, 8, kFace, kMenu));
    EXPECT_TRUE(animator.ShowPicture());
    EXPECT_FALSE(animator.IsAnimating());
    EXPECT_EQ(RedAt(animator, 4, 4), 255);
}

} // namespace
