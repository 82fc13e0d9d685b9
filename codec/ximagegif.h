#pragma once

#include "codec/ximage.h"
#include "codec/xiofile.h"

#include <string>

namespace codec {

/// The animated GIF encoder: several frames into one GIF89a stream.
class CxImageGIF : public CxImage {
public:
    CxImageGIF()
        : CxImage(kTypeGif)
    {
    }

    /// Written as a comment extension before the first frame; empty writes none.
    void SetComment(std::string comment) { comment_ = std::move(comment); }
    const std::string& GetComment() const { return comment_; }
    /// -1: loop forever; 0 or 1: no loop extension (shown once); L >= 2: L - 1 repeats, so L showings.
    void SetLoops(int loops) { loops_ = loops; }
    int GetLoops() const { return loops_; }

    using CxImage::Encode;
    /// Writes `count` frames to `stream`, left open afterwards. The logical screen is as large as
    /// the largest frame; each frame sits at its top left with its own delay (GetFrameDelay, in
    /// hundredths) and transparent index. Frames above 8 bits are reduced to 8 bits on a copy.
    /// With `localColorTables` every frame gets its own colour table, otherwise the first frame's
    /// is global. Every frame is written with this encoder's own disposal method
    /// (SetDisposalMethod: 0-7, 2 restores the background); a value above 7 is refused.
    /// False with GetLastError on failure.
    bool Encode(CxIOFile* stream, CxImage** frames, int count, bool localColorTables = false);

private:
    std::string comment_;
    int loops_ = 0;
};

} // namespace codec
