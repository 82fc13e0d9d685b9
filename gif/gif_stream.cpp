#include "gif/gif_stream.h"

#include "codec/fileio.h"
#include "codec/formats/format.h"
#include "core/ui.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace gif {

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

} // namespace

bool HasGifSignature(codec::ByteView data)
{
    return data.size() >= 6 && std::memcmp(data.data(), "GIF", 3) == 0
        && (std::memcmp(data.data() + 3, "87a", 3) == 0 || std::memcmp(data.data() + 3, "89a", 3) == 0);
}

// ---- GifPicture ----

std::shared_ptr<const GifPicture> GifPicture::FromStream(std::vector<std::uint8_t> stream)
{
    codec::CxImage image;
    if (!image.Decode(stream, 0))
        return nullptr;
    auto picture = std::make_shared<GifPicture>();
    picture->width_ = image.GetWidth();
    picture->height_ = image.GetHeight();
    picture->stream_ = std::move(stream);
    return picture;
}

bool GifPicture::Decode(codec::CxImage& out) const
{
    return out.Decode(stream_, 0);
}

bool GifPicture::SaveToFile(const std::string& path) const
{
    return static_cast<bool>(codec::WriteFileAtomic(path, stream_));
}

// ---- GifStreamDecoder ----

std::uint32_t GifStreamDecoder::Byte(std::uint64_t offset) const
{
    return data_ && offset < dataSize_ ? data_[offset] : 0;
}

std::uint32_t GifStreamDecoder::Word(std::uint64_t offset) const
{
    return Byte(offset) | (Byte(offset + 1) << 8);
}

void GifStreamDecoder::BeginWalk(codec::ByteView data, std::uint32_t position)
{
    data_ = data.data();
    dataSize_
        = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), std::numeric_limits<std::uint32_t>::max()));
    scan_ = position;
    globalTableSize_ = 0;
    if (HasGifSignature(data) && (Byte(10) & 0x80))
        globalTableSize_ = 3u << ((Byte(10) & 7) + 1);
}

GifBlockKind GifStreamDecoder::ClassifyBlock() const
{
    if (!data_ || scan_ >= dataSize_)
        return kBlockUnknown;
    switch (data_[scan_]) {
    case kImageSeparator:
        return kBlockImage;
    case kTrailer:
        return kBlockTrailer;
    case kExtensionIntroducer:
        switch (Byte(std::uint64_t { scan_ } + 1)) {
        case 0xFF:
            return kBlockApplication;
        case 0xFE:
            return kBlockComment;
        case 0xF9:
            return kBlockGraphicControl;
        case 0x01:
            return kBlockPlainText;
        default:
            return kBlockUnknown;
        }
    default:
        return kBlockUnknown;
    }
}

std::uint32_t GifStreamDecoder::MeasureSubBlocks(std::uint64_t start) const
{
    std::uint64_t pos = start;
    for (;;) {
        if (!data_ || pos >= dataSize_)
            return 0;
        const std::uint32_t length = data_[pos];
        if (length == 0)
            return static_cast<std::uint32_t>(pos - start + 1);
        pos += length + 1;
    }
}

std::int64_t GifStreamDecoder::MeasureBlock() const
{
    const std::uint64_t p = scan_;
    auto withChain = [this](std::uint64_t fixed, std::uint64_t chainStart) -> std::int64_t {
        const std::uint32_t chain = MeasureSubBlocks(chainStart);
        return chain == 0 ? 0 : static_cast<std::int64_t>(fixed + chain);
    };
    switch (ClassifyBlock()) {
    case kBlockApplication:
        return withChain(14, p + 14);
    case kBlockComment:
        return withChain(2, p + 2);
    case kBlockGraphicControl:
        return 8;
    case kBlockPlainText:
        return withChain(15, p + 15);
    case kBlockImage: {
        if (p + 9 >= dataSize_)
            return 0;
        const std::uint32_t packed = data_[p + 9];
        const std::uint64_t table = (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
        return withChain(11 + table, p + 11 + table);
    }
    case kBlockTrailer:
        return 1;
    case kBlockUnknown:
        break;
    }
    return -1;
}

bool GifStreamDecoder::SkipBlock()
{
    if (!data_)
        return false;
    const std::int64_t length = MeasureBlock();
    if (length <= 0 || std::uint64_t { scan_ } + static_cast<std::uint64_t>(length) > dataSize_)
        return false;
    scan_ += static_cast<std::uint32_t>(length);
    return true;
}

GifBlockKind GifStreamDecoder::SkipLeadingExtensions()
{
    for (;;) {
        const GifBlockKind kind = ClassifyBlock();
        if (kind != kBlockApplication && kind != kBlockComment)
            return kind;
        if (!SkipBlock())
            return kBlockUnknown;
    }
}

bool GifStreamDecoder::SkipGraphicBlock()
{
    if (!data_)
        return false;
    GifBlockKind kind = SkipLeadingExtensions();
    if (kind == kBlockTrailer || kind == kBlockUnknown || MeasureBlock() <= 0)
        return false;
    if (kind == kBlockGraphicControl) {
        if (!SkipBlock())
            return false;
        for (kind = ClassifyBlock(); kind == kBlockApplication || kind == kBlockComment || kind == kBlockGraphicControl;
             kind = ClassifyBlock())
            if (!SkipBlock())
                return false;
        if (kind != kBlockImage && kind != kBlockPlainText)
            return false;
    }
    return SkipBlock();
}

std::optional<ExtractedFrame> GifStreamDecoder::ExtractNextFrame()
{
    if (!data_)
        return std::nullopt;
    ExtractedFrame frame;
    GifBlockKind kind = SkipLeadingExtensions();
    if (kind == kBlockTrailer || kind == kBlockUnknown)
        return std::nullopt;

    const std::uint32_t start = scan_;
    if (kind == kBlockGraphicControl) {
        if (!SkipBlock()) // the skip proves all eight bytes are there
            return std::nullopt;
        frame.delay = Word(start + 4);
        frame.disposal = (Byte(start + 3) >> 2) & 7;
        for (kind = ClassifyBlock(); kind == kBlockApplication || kind == kBlockComment || kind == kBlockGraphicControl;
             kind = ClassifyBlock())
            if (!SkipBlock())
                return std::nullopt;
        if (kind != kBlockImage && kind != kBlockPlainText)
            return std::nullopt;
    }
    const std::uint32_t graphic = scan_;
    if (!SkipBlock())
        return std::nullopt;
    if (kind == kBlockImage) {
        frame.left = Word(graphic + 1);
        frame.top = Word(graphic + 3);
        frame.width = Word(graphic + 5);
        frame.height = Word(graphic + 7);
    }
    const std::uint32_t end = scan_;
    const std::uint32_t header = std::min(HeaderLength(), dataSize_);
    try {
        frame.stream.reserve(std::size_t { header } + (end - start) + 1);
        frame.stream.assign(data_, data_ + header);
        frame.stream.insert(frame.stream.end(), data_ + start, data_ + end);
        frame.stream.push_back(kTrailer);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return frame;
}

void GifStreamDecoder::CollectBlockInfo()
{
    scan_ = HeaderLength();
    int controls = 0;
    int images = 0;
    while (scan_ < dataSize_) {
        const std::uint32_t p = scan_;
        switch (ClassifyBlock()) {
        case kBlockGraphicControl:
            infoLines_.push_back(core::Format("Graphic control for frame %d Delay %d", ++controls, Word(p + 4)));
            break;
        case kBlockImage:
            infoLines_.push_back(core::Format("Image frame %d Res: %dx%d Pos: Left %d Top %d",
                ++images,
                Word(p + 5),
                Word(p + 7),
                Word(p + 1),
                Word(p + 3)));
            break;
        default:
            break;
        }
        const std::int64_t length = MeasureBlock();
        if (length <= 0 || std::uint64_t { p } + static_cast<std::uint64_t>(length) > dataSize_)
            break;
        scan_ = p + static_cast<std::uint32_t>(length);
    }
}

bool GifStreamDecoder::LoadPictureFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (!codec::ReadWholeFile(path, bytes))
        return false;
    return LoadPictureData(bytes);
}

bool GifStreamDecoder::LoadPictureData(codec::ByteView data)
{
    ClearPicture();
    if (!data.data() || data.size() > std::numeric_limits<std::uint32_t>::max())
        return false;
    // The walk's pointer lives only as long as this load.
    struct EndWalk {
        GifStreamDecoder& d;
        ~EndWalk() { d.data_ = nullptr; }
    } endWalk { *this };
    BeginWalk(data, 0);

    if (!HasGifSignature(data)) {
        single_ = GifPicture::FromStream(std::vector<std::uint8_t>(data.begin(), data.end()));
        if (!single_)
            return false;
        width_ = static_cast<std::int32_t>(single_->Width());
        height_ = static_cast<std::int32_t>(single_->Height());
        return true;
    }

    isGif_ = true;
    width_ = static_cast<std::int32_t>(Word(6));
    height_ = static_cast<std::int32_t>(Word(8));

    scan_ = HeaderLength();
    std::uint32_t count = 0;
    while (SkipGraphicBlock())
        ++count;
    CollectBlockInfo();

    if (count == 0)
        return false;
    // A screen larger than the data could ever fill is cut to what the frames cover, as the
    // codec cuts it: the surfaces drawn on it are allocated from this size.
    const codec::DecodeLimits bound = codec::BoundByData(codec::DefaultLimits(), data.size(), codec::ratio::kLzw, 8);
    const bool screenTooLarge = !codec::CheckDimensions(Word(6), Word(8), bound);
    if (count == 1) {
        single_ = GifPicture::FromStream(std::vector<std::uint8_t>(data.begin(), data.end()));
        if (single_ && screenTooLarge) {
            width_ = static_cast<std::int32_t>(single_->Width());
            height_ = static_cast<std::int32_t>(single_->Height());
        }
        return single_ != nullptr;
    }
    scan_ = HeaderLength();
    while (std::optional<ExtractedFrame> extracted = ExtractNextFrame()) {
        auto picture = GifPicture::FromStream(std::move(extracted->stream));
        if (!picture)
            continue; // the codec refused it: left out, as a loader would drop it
        frames_.push_back(GifFrame { std::move(picture),
            extracted->width,
            extracted->height,
            extracted->left,
            extracted->top,
            extracted->delay,
            extracted->disposal });
    }
    if (screenTooLarge) {
        std::uint32_t right = 0, bottom = 0;
        for (const GifFrame& f : frames_) {
            right = std::max(right, f.left + f.width);
            bottom = std::max(bottom, f.top + f.height);
        }
        width_ = static_cast<std::int32_t>(std::min<std::uint32_t>(right, Word(6)));
        height_ = static_cast<std::int32_t>(std::min<std::uint32_t>(bottom, Word(8)));
    }
    return !frames_.empty();
}

void GifStreamDecoder::ClearPicture()
{
    single_.reset();
    frames_.clear();
    data_ = nullptr;
    isGif_ = false;
    globalTableSize_ = 0;
    scan_ = 0;
    dataSize_ = 0;
    width_ = 0;
    height_ = 0;
}

} // namespace gif
