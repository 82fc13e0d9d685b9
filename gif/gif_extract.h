#pragma once

// Frame extraction: every frame of an animation to its own numbered file, either as the frame's
// own one-image GIF stream or, coalesced, as the whole screen shows it at that frame.

#include "codec/ximage.h"
#include "gif/gif_stream.h"

#include <functional>
#include <string>
#include <vector>

namespace gif {

/// Writes every frame of a loaded animation to "FOLDER/NAME_N.gif", N from 1, where FOLDER is
/// `PathDirectory(basePath)` and NAME the base path's file name without its last extension.
/// False for a still picture or fewer than two frames; a frame that cannot be written is not
/// reported by the result (the desktop program says nothing of it), only added to `failed`
/// when given, so that the command line can.
bool SaveFramesAsFiles(
    const GifStreamDecoder& decoder, const std::string& basePath, std::vector<std::string>* failed = nullptr);

/// The name of frame `number` (from 1): "%s/%s_%d.gif" with folder and name as above.
std::string FrameFileName(const std::string& basePath, int number);

/// The frame's own rectangle (its width x height pixels), transparency kept.
bool DecodeFrameRect(const GifFrame& frame, codec::CxImage& out);

/// Calls `sink` with each frame as it appears on screen, in order: a 32-bit image of the logical
/// screen with the earlier frames composed under it by their disposal methods (1 and 0 keep the
/// frame, 2 clears its rectangle to transparent, 3 restores what was there before it). The screen
/// starts with the global background colour, or transparent when the first frame has transparency. Stops early when
/// `sink` returns false. False when a frame cannot be decoded or the screen exceeds the decode limits.
bool CoalesceFrames(const GifStreamDecoder& decoder,
    const std::function<bool(const codec::CxImage& screen, std::size_t index)>& sink,
    std::string* error = nullptr);

/// SaveFramesAsFiles with the coalesced frames, each encoded as a GIF.
bool SaveCoalescedFramesAsFiles(const GifStreamDecoder& decoder, const std::string& basePath);

} // namespace gif
