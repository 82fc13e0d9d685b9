#pragma once

// The animated GIF builder: several GIF files (or, from the command line, any images), each with
// its own delay, into one animated GIF.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gif {

/// One entry of the frame list.
struct GifFrameSource {
    std::string path;
    std::uint32_t delay = 22; ///< hundredths of a second, used unchanged as the GIF delay
};

inline constexpr const char* kAnimationComment = "Korvane Velk - GIF animation";

// The builder dialog's messages.
inline constexpr const char* kTooFewFilesMessage = "Please select at least two GIF files for the animation sequence";
inline constexpr const char* kNoDestinationMessage = "Please select a destination GIF file for the animation sequence";
inline constexpr const char* kTooFewPreviewFramesMessage = "Please select at least two frames for your GIF animation";
inline constexpr const char* kLoopRangeMessage = "Please enter an integer between 1 and 100.";
inline constexpr int kMinLoops = 1;
inline constexpr int kMaxLoops = 100;

/// What Create refuses, in the order it checks: fewer than two rows, then no destination.
/// Null when the animation can be built.
const char* CheckAnimationCreate(std::size_t rows, const std::string& destination);

/// The loop value the encoder is given for the dialog's setting: -1 (infinite) stays -1, a limit
/// of 1 gives 1 (shown once), a limit N > 1 gives N + 1.
int EncoderLoopValue(int loops);

/// Builds the animation at `destination`: every frame loaded as a GIF, reduced to 8 bits when
/// deeper, with its delay and its number; comment, loop value, disposal 2 and a local colour table
/// per frame. The file is written to a temporary file that replaces the destination only when the
/// encode succeeded, so a failure changes nothing at the destination. `loops` is -1 for infinite,
/// else the limit (1..100). False for an empty list, a destination that cannot be written or a
/// failed encode; `error`, when given, says why.
bool BuildAnimatedGif(
    const std::vector<GifFrameSource>& frames, const std::string& destination, int loops, std::string* error = nullptr);

/// How frames that are not already indexed (photos, PNGs) get their 256 colours.
enum class FramePalette {
    kPerFrame, ///< each frame its own optimised palette (what the desktop dialog's GIF frames get)
    kShared,   ///< one palette made from all of them, so colours do not shimmer between frames
    kAuto,     ///< shared unless it costs clearly more colour error than palettes of their own
};

/// A shared palette is chosen in kAuto when its mean colour error is at most this many times
/// that of the frames' own palettes: steady colours are worth a little more error.
inline constexpr double kSharedPaletteTolerance = 1.25;

/// BuildAnimatedGif for frames of any image format: indexed frames keep their palettes; the
/// others are reduced to 8 bits as `palette` says. `chosen`, when given, says which was used
/// (kPerFrame when no frame needed reducing).
bool BuildAnimatedGif(const std::vector<GifFrameSource>& frames,
    const std::string& destination,
    int loops,
    FramePalette palette,
    FramePalette* chosen,
    std::string* error = nullptr);

} // namespace gif
