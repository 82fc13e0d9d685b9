#pragma once

// The GIF stream decoder behind the frame viewer and extractor. It never decompresses image data
// itself: it walks the block structure of a GIF87a/GIF89a stream by offsets, counts the frames,
// cuts every frame out into a standalone one-image GIF stream (the source's header, screen
// descriptor and global colour table, the frame's own blocks, a trailer) and hands that to the
// codec. Every read is checked against the data size.

#include "codec/result.h"
#include "codec/ximage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gif {

enum GifBlockKind : int {
    kBlockUnknown = 0,
    kBlockApplication = 1,
    kBlockComment = 2,
    kBlockGraphicControl = 3,
    kBlockPlainText = 4,
    kBlockImage = 5,
    kBlockTrailer = 6,
};

/// A picture: the encoded stream it came from, decoded by the codec when it is drawn or saved.
/// Keeping the encoded bytes rather than the raster is what lets a 500-frame animation load with
/// the memory of a few frames.
class GifPicture {
public:
    /// Decodes the stream once to prove it is a picture; null when the codec refuses it.
    static std::shared_ptr<const GifPicture> FromStream(std::vector<std::uint8_t> stream);

    /// The raster, transparency kept (an indexed image with its transparent index).
    bool Decode(codec::CxImage& out) const;
    const std::vector<std::uint8_t>& Stream() const { return stream_; }
    /// The decoded size in pixels.
    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    /// Writes the encoded stream to `path` (a frame's one-image GIF stream), atomically.
    bool SaveToFile(const std::string& path) const;

private:
    std::vector<std::uint8_t> stream_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

/// One frame of an animated GIF.
struct GifFrame {
    std::shared_ptr<const GifPicture> picture;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    /// Hundredths of a second; kNoDelay when the frame has no graphic control extension.
    std::uint32_t delay = 0;
    std::uint32_t disposal = 0; ///< 0..7
};

inline constexpr std::uint32_t kNoDelay = 0xFFFFFFFFu;

/// A frame cut out of the stream, before the codec has seen it.
struct ExtractedFrame {
    std::vector<std::uint8_t> stream;
    std::uint32_t delay = kNoDelay;
    std::uint32_t disposal = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
};

class GifStreamDecoder {
public:
    /// Reads the whole file and loads it. False when it cannot be read or holds no picture.
    bool LoadPictureFile(const std::string& path);
    /// Replaces what the decoder held by the picture in `data`. True when it holds a picture:
    /// a single one (a non-GIF stream, or a GIF of one frame) or two frames or more.
    bool LoadPictureData(codec::ByteView data);
    /// Back to empty. The information lines are kept: only destruction empties them.
    void ClearPicture();

    bool IsGif() const { return isGif_; }
    const std::vector<GifFrame>& Frames() const { return frames_; }
    const std::shared_ptr<const GifPicture>& SinglePicture() const { return single_; }
    std::int32_t PictureWidth() const { return width_; }
    std::int32_t PictureHeight() const { return height_; }
    const std::vector<std::string>& InfoLines() const { return infoLines_; }
    bool HasPicture() const { return single_ || !frames_.empty(); }

    // The walk over the blocks, on the data of the load under way; public for tests.
    GifBlockKind ClassifyBlock() const;
    /// The length of the sub-block chain from `start` including its terminator; 0 when the chain
    /// runs into the end of the data.
    std::uint32_t MeasureSubBlocks(std::uint64_t start) const;
    /// The length of the block at the scan position; -1 for an unknown block, 0 when it cannot be
    /// measured.
    std::int64_t MeasureBlock() const;
    bool SkipBlock();
    /// Passes one frame (its extensions and its image or plain text block).
    bool SkipGraphicBlock();
    std::optional<ExtractedFrame> ExtractNextFrame();
    void CollectBlockInfo();

    /// Points the walk at `data` without loading: for tests of the single steps.
    void BeginWalk(codec::ByteView data, std::uint32_t position);
    std::uint32_t ScanPosition() const { return scan_; }

private:
    std::uint32_t Byte(std::uint64_t offset) const;
    std::uint32_t Word(std::uint64_t offset) const;
    /// Skips application and comment extensions; the kind of the block it stops at, or unknown
    /// when a skip fails.
    GifBlockKind SkipLeadingExtensions();
    std::uint32_t HeaderLength() const { return 13 + globalTableSize_; }

    std::vector<std::string> infoLines_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint32_t dataSize_ = 0;
    std::uint32_t scan_ = 0;
    std::uint32_t globalTableSize_ = 0;
    bool isGif_ = false;
    std::shared_ptr<const GifPicture> single_;
    const std::uint8_t* data_ = nullptr;
    std::vector<GifFrame> frames_;
};

/// The signature test: "GIF" followed by "87a" or "89a".
bool HasGifSignature(codec::ByteView data);

} // namespace gif
