#pragma once

// The animated GIF builder: several GIF files, each with its own delay, into one animated GIF.

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

} // namespace gif
