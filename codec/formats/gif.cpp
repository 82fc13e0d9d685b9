// GIF through giflib. Reading gives the first image of a file as an indexed picture of the whole
// logical screen; writing gives GIF89a with one frame here, or several through CxImageGIF.

#include "codec/formats/format.h"
#include "codec/formats/gif_internal.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace codec {

namespace {

// ---------------------------------------------------------------- reading

struct MemoryInput {
    ByteView data;
    std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int size)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    if (size <= 0)
        return 0;
    const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(size), in->data.size() - in->pos);
    std::memcpy(buffer, in->data.data() + in->pos, take);
    in->pos += take;
    return static_cast<int>(take);
}

struct DecoderCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using Decoder = std::unique_ptr<GifFileType, DecoderCloser>;

Result ReadFailure(int code, const std::string& where)
{
    switch (code) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
        return Truncated("the file ends inside " + where);
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return LimitExceeded("out of memory reading " + where);
    default: {
        const char* text = GifErrorString(code);
        return Malformed(where + " is damaged: " + (text ? text : "unknown error"));
    }
    }
}

/// Indexed depth that holds a colour table of `count` entries.
std::uint32_t DepthForTable(int count)
{
    return count <= 0 ? 8 : count <= 2 ? 1 : count <= 16 ? 4 : 8;
}

/// File order of the rows of a frame: interlaced frames arrive in four passes.
std::vector<std::uint32_t> RowOrder(std::uint32_t height, bool interlaced)
{
    std::vector<std::uint32_t> order;
    order.reserve(height);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    constexpr std::uint32_t kStart[] = { 0, 4, 2, 1 };
    constexpr std::uint32_t kStep[] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass])
            order.push_back(y);
    return order;
}

/// Skips one extension block and its sub-blocks; false on damaged data.
bool SkipExtension(GifFileType* gif)
{
    int code = 0;
    GifByteType* extension = nullptr;
    if (DGifGetExtension(gif, &code, &extension) == GIF_ERROR)
        return false;
    while (extension)
        if (DGifGetExtensionNext(gif, &extension) == GIF_ERROR)
            return false;
    return true;
}

/// The extent of the file's frames (right and bottom edges of the union of the first
/// `maxFrames`), walking their compressed data without decoding it. Damaged data ends the walk.
void FramesExtent(ByteView data, std::uint32_t maxFrames, std::uint32_t& width, std::uint32_t& height)
{
    width = height = 0;
    MemoryInput in { data };
    int error = 0;
    Decoder gif(DGifOpen(&in, ReadFromMemory, &error));
    if (!gif)
        return;
    for (std::uint32_t frames = 0; frames < maxFrames;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR || record == TERMINATE_RECORD_TYPE)
            return;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!SkipExtension(gif.get()))
                return;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return;
        const GifImageDesc& d = gif->Image;
        width = std::max<std::uint32_t>(width, static_cast<std::uint32_t>(std::max(d.Left, 0) + std::max(d.Width, 0)));
        height
            = std::max<std::uint32_t>(height, static_cast<std::uint32_t>(std::max(d.Top, 0) + std::max(d.Height, 0)));
        ++frames;
        int codeSize = 0;
        GifByteType* block = nullptr;
        if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR)
            return;
        while (block)
            if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR)
                return;
    }
}

// ---------------------------------------------------------------- writing

struct ColorTable {
    std::array<GifColorType, 256> colors {};
    int size = 2;

    bool StartsWith(const ColorTable& other) const
    {
        if (other.size > size)
            return false;
        for (int i = 0; i < other.size; ++i) {
            const GifColorType &a = colors[i], &b = other.colors[i];
            if (a.Red != b.Red || a.Green != b.Green || a.Blue != b.Blue)
                return false;
        }
        return true;
    }
};

/// The colour table an indexed frame needs: its palette, grown to cover every index used and the
/// transparent index, padded with black to a power of two.
ColorTable TableFor(const CxImage& image)
{
    std::uint8_t maxIndex = 0;
    for (std::uint8_t v : image.Pixels())
        maxIndex = std::max(maxIndex, v);
    std::size_t needed = std::max<std::size_t>(image.Palette().size(), std::size_t { maxIndex } + 1);
    if (image.GetTransIndex() >= 0 && image.GetTransIndex() < 256)
        needed = std::max<std::size_t>(needed, static_cast<std::size_t>(image.GetTransIndex()) + 1);
    ColorTable table;
    while (static_cast<std::size_t>(table.size) < needed && table.size < 256)
        table.size *= 2;
    const auto& palette = image.Palette();
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
        table.colors[i] = GifColorType { palette[i].red, palette[i].green, palette[i].blue };
    return table;
}

bool HasTransparentPixels(const CxImage& image)
{
    if (image.GetBpp() != 32)
        return false;
    const auto& px = image.Pixels();
    for (std::size_t i = 3; i < px.size(); i += 4)
        if (px[i] < 128)
            return true;
    return false;
}

/// An exact 8-bit version of a true-colour picture that uses few enough colours; false when it
/// uses more. Transparent pixels (alpha below 128) take the index after the last colour.
bool ExactPalette(const CxImage& src, bool transparent, CxImage& out)
{
    const std::size_t maxColors = transparent ? 255 : 256;
    constexpr std::uint32_t kEmpty = 0xFFFFFFFFu; // no 24-bit colour packs to this
    constexpr std::uint32_t kSlots = 1024;
    std::array<std::uint32_t, kSlots> keys;
    std::array<std::uint8_t, kSlots> values {};
    keys.fill(kEmpty);
    if (!out.Create(src.GetWidth(), src.GetHeight(), 8))
        return false;
    auto& palette = out.Palette();
    palette.clear();
    const std::uint32_t bytes = src.GetBytesPerPixel();
    const bool alpha = src.GetBpp() == 32;
    const std::uint8_t* p = src.Pixels().data();
    std::uint8_t* dst = out.Pixels().data();
    const std::size_t count = static_cast<std::size_t>(src.GetWidth()) * src.GetHeight();
    for (std::size_t i = 0; i < count; ++i, p += bytes) {
        if (alpha && p[3] < 128) {
            dst[i] = 255; // only colours 0..254 exist when there is transparency
            continue;
        }
        const std::uint32_t key = std::uint32_t { p[0] } << 16 | std::uint32_t { p[1] } << 8 | p[2];
        std::uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != kEmpty && keys[slot] != key)
            slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] == kEmpty) {
            if (palette.size() == maxColors)
                return false;
            keys[slot] = key;
            values[slot] = static_cast<std::uint8_t>(palette.size());
            palette.push_back(RGBQuad { p[0], p[1], p[2], 255 });
        }
        dst[i] = values[slot];
    }
    if (palette.empty())
        palette.push_back(RGBQuad {});
    if (transparent) {
        const auto index = static_cast<std::uint8_t>(palette.size());
        if (index != 255)
            for (std::size_t i = 0; i < count; ++i)
                if (dst[i] == 255)
                    dst[i] = index;
        palette.push_back(RGBQuad { 0, 0, 0, 0 });
        out.SetTransIndex(index);
    }
    return true;
}

/// Median-cut reduction from giflib, for when the library's own reduction is unavailable.
Result QuantizeWithGiflib(const CxImage& src, bool transparent, CxImage& out)
{
    const std::size_t count = static_cast<std::size_t>(src.GetWidth()) * src.GetHeight();
    std::vector<GifByteType> planes(count * 3);
    const std::uint32_t bytes = src.GetBytesPerPixel();
    const std::uint8_t* p = src.Pixels().data();
    for (std::size_t i = 0; i < count; ++i, p += bytes) {
        planes[i] = p[0];
        planes[count + i] = p[1];
        planes[2 * count + i] = p[2];
    }
    if (!out.Create(src.GetWidth(), src.GetHeight(), 8))
        return LimitExceeded(out.GetLastError());
    int size = transparent ? 255 : 256;
    std::array<GifColorType, 256> map {};
    if (GifQuantizeBuffer(src.GetWidth(),
            src.GetHeight(),
            &size,
            planes.data(),
            planes.data() + count,
            planes.data() + 2 * count,
            out.Pixels().data(),
            map.data())
        == GIF_ERROR)
        return Result::Fail(Status::Internal, "cannot reduce the colours to 256");
    size = std::clamp(size, 1, 256);
    auto& palette = out.Palette();
    palette.resize(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        palette[i] = RGBQuad { map[i].Red, map[i].Green, map[i].Blue, 255 };
    return Result::Ok();
}

/// Marks the pixels of `src` with alpha below 128 transparent in its reduced copy, taking a
/// palette entry no opaque pixel uses, or freeing the least used one when all 256 are taken.
void PunchTransparency(const CxImage& src, CxImage& indexed)
{
    const std::size_t count = static_cast<std::size_t>(src.GetWidth()) * src.GetHeight();
    const std::uint8_t* alpha = src.Pixels().data() + 3;
    std::uint8_t* px = indexed.Pixels().data();
    std::array<std::uint64_t, 256> used {};
    for (std::size_t i = 0; i < count; ++i)
        if (alpha[i * 4] >= 128)
            ++used[px[i]];
    auto& palette = indexed.Palette();
    int index = -1;
    for (int i = 0; i < 256 && index < 0; ++i)
        if (used[i] == 0)
            index = i;
    if (index < 0) {
        index = static_cast<int>(std::min_element(used.begin(), used.end()) - used.begin());
        const RGBQuad c = palette[index];
        int nearest = index == 0 ? 1 : 0, best = 1 << 30;
        for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
            if (i == index)
                continue;
            const int dr = palette[i].red - c.red, dg = palette[i].green - c.green, db = palette[i].blue - c.blue;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best)
                best = d, nearest = i;
        }
        for (std::size_t i = 0; i < count; ++i)
            if (px[i] == index)
                px[i] = static_cast<std::uint8_t>(nearest);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (alpha[i * 4] < 128)
            px[i] = static_cast<std::uint8_t>(index);
    if (palette.size() <= static_cast<std::size_t>(index))
        palette.resize(static_cast<std::size_t>(index) + 1);
    palette[index] = RGBQuad { 0, 0, 0, 0 };
    indexed.SetTransIndex(index);
}

/// The frame as it will be written: the frame itself when indexed, else an 8-bit copy.
Result IndexedFrame(const CxImage& src, CxImage& storage, const CxImage*& result)
{
    result = &src;
    if (src.IsIndexed())
        return Result::Ok();
    const bool transparent = HasTransparentPixels(src);
    if (!ExactPalette(src, transparent, storage)) {
        storage = src;
        if (!storage.DecreaseBpp(8, true) || !storage.IsIndexed() || storage.GetWidth() != src.GetWidth()
            || storage.GetHeight() != src.GetHeight()) {
            if (Result r = QuantizeWithGiflib(src, transparent, storage); !r)
                return r;
        }
        storage.SetTransIndex(-1);
        if (transparent)
            PunchTransparency(src, storage);
    }
    result = &storage;
    return Result::Ok();
}

struct OutputContext {
    gif::WriteFn write;
    void* context;
    bool failed = false;
};

int WriteThrough(GifFileType* gif, const GifByteType* data, int size)
{
    auto* out = static_cast<OutputContext*>(gif->UserData);
    if (out->failed || size < 0)
        return 0;
    if (size > 0 && !out->write(out->context, data, static_cast<std::size_t>(size))) {
        out->failed = true;
        return 0;
    }
    return size;
}

struct EncoderCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
using Encoder = std::unique_ptr<GifFileType, EncoderCloser>;

struct MapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColorMap = std::unique_ptr<ColorMapObject, MapFree>;

Result WriteFailure(const GifFileType* gif, const OutputContext& out, const char* what)
{
    if (out.failed)
        return Result::Fail(Status::Io, std::string("cannot write the ") + what);
    const char* text = GifErrorString(gif->Error);
    return Result::Fail(
        Status::Internal, std::string("cannot write the ") + what + ": " + (text ? text : "unknown error"));
}

ColorMap MakeMap(const ColorTable& table)
{
    ColorMap map(GifMakeMapObject(table.size, table.colors.data()));
    if (!map)
        throw std::bad_alloc();
    return map;
}

} // namespace

namespace gif {

Result Write(const CxImage* const* frames, std::size_t count, const WriteOptions& options, WriteFn write, void* context)
{
    if (count == 0 || !frames)
        return Malformed("there are no frames to write");
    if (options.disposal < -1 || options.disposal > 7)
        return Malformed("invalid disposal method " + std::to_string(options.disposal));
    std::uint32_t screenWidth = 0, screenHeight = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!frames[i] || !frames[i]->IsValid())
            return Malformed("frame " + std::to_string(i + 1) + " is empty");
        screenWidth = std::max(screenWidth, frames[i]->GetWidth());
        screenHeight = std::max(screenHeight, frames[i]->GetHeight());
    }
    if (screenWidth > 65535 || screenHeight > 65535)
        return Unsupported("a GIF image is at most 65535 x 65535 pixels, not " + std::to_string(screenWidth) + " x "
            + std::to_string(screenHeight));

    std::vector<CxImage> storage(count);
    std::vector<const CxImage*> ready(count);
    std::vector<ColorTable> tables(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (Result r = IndexedFrame(*frames[i], storage[i], ready[i]); !r)
            return r;
        tables[i] = TableFor(*ready[i]);
    }

    OutputContext out { write, context };
    int error = 0;
    Encoder gif(EGifOpen(&out, WriteThrough, &error));
    if (!gif)
        return Result::Fail(Status::Internal, "cannot start the GIF writer");
    EGifSetGifVersion(gif.get(), true);

    ColorMap global;
    if (!options.localColorTables)
        global = MakeMap(tables[0]);
    if (EGifPutScreenDesc(gif.get(), static_cast<int>(screenWidth), static_cast<int>(screenHeight), 8, 0, global.get())
        == GIF_ERROR)
        return WriteFailure(gif.get(), out, "screen descriptor");

    // The application extension goes first so that every reader finds it.
    if (options.loops < 0 || options.loops >= 2) {
        const int repeats = options.loops < 0 ? 0 : std::min(options.loops - 1, 65535);
        const GifByteType loop[3]
            = { 1, static_cast<GifByteType>(repeats & 0xFF), static_cast<GifByteType>((repeats >> 8) & 0xFF) };
        if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR
            || EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0") == GIF_ERROR
            || EGifPutExtensionBlock(gif.get(), 3, loop) == GIF_ERROR
            || EGifPutExtensionTrailer(gif.get()) == GIF_ERROR)
            return WriteFailure(gif.get(), out, "loop extension");
    }
    if (!options.comment.empty() && EGifPutComment(gif.get(), options.comment.c_str()) == GIF_ERROR)
        return WriteFailure(gif.get(), out, "comment");

    std::vector<GifPixelType> line(screenWidth);
    for (std::size_t i = 0; i < count; ++i) {
        const CxImage& frame = *ready[i];
        const ColorTable& table = tables[i];
        GraphicsControlBlock gcb {};
        gcb.DisposalMode = options.disposal >= 0 ? options.disposal : frames[i]->GetDisposalMethod() & 7;
        gcb.UserInputFlag = false;
        gcb.DelayTime = static_cast<int>(std::min<std::uint32_t>(frames[i]->GetFrameDelay(), 65535));
        const int trans = frame.GetTransIndex();
        gcb.TransparentColor = trans >= 0 && trans < table.size ? trans : NO_TRANSPARENT_COLOR;
        GifByteType extension[4] = {};
        const std::size_t length = EGifGCBToExtension(&gcb, extension);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_ERROR)
            return WriteFailure(gif.get(), out, "frame header");

        ColorMap local;
        // A later frame whose colours the global table lacks gets its own table.
        if (options.localColorTables || !tables[0].StartsWith(table))
            local = MakeMap(table);
        const int width = static_cast<int>(frame.GetWidth());
        if (EGifPutImageDesc(gif.get(), 0, 0, width, static_cast<int>(frame.GetHeight()), false, local.get())
            == GIF_ERROR)
            return WriteFailure(gif.get(), out, "frame header");
        for (std::uint32_t y = 0; y < frame.GetHeight(); ++y) {
            // giflib masks the line in place, so it gets a copy.
            std::memcpy(line.data(), frame.Row(y), frame.GetWidth());
            if (EGifPutLine(gif.get(), line.data(), width) == GIF_ERROR)
                return WriteFailure(gif.get(), out, "image data");
        }
    }
    error = 0;
    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR || out.failed) {
        if (out.failed)
            return Result::Fail(Status::Io, "cannot write the end of the GIF data");
        const char* text = GifErrorString(error);
        return Result::Fail(Status::Internal, std::string("cannot finish the GIF data: ") + (text ? text : ""));
    }
    return Result::Ok();
}

} // namespace gif

bool GifSniff(ByteView data)
{
    return data.size() >= 6
        && (std::memcmp(data.data(), "GIF87a", 6) == 0 || std::memcmp(data.data(), "GIF89a", 6) == 0);
}

Result GifDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (data.size() < 6)
        return Truncated("the file is too short for a GIF header");
    if (!GifSniff(data))
        return Malformed("not a GIF file");
    MemoryInput in { data };
    int error = 0;
    Decoder gif(DGifOpen(&in, ReadFromMemory, &error));
    if (!gif)
        return ReadFailure(error, "the screen descriptor");

    GraphicsControlBlock gcb { DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR };
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            return ReadFailure(gif->Error, "the block list");
        if (record == TERMINATE_RECORD_TYPE)
            return Malformed("the file holds no image");
        if (record == IMAGE_DESC_RECORD_TYPE)
            break;
        if (record != EXTENSION_RECORD_TYPE)
            return Malformed("unknown block in the file");
        int code = 0;
        GifByteType* extension = nullptr;
        if (DGifGetExtension(gif.get(), &code, &extension) == GIF_ERROR)
            return ReadFailure(gif->Error, "an extension block");
        // The control block that counts is the last one before the image.
        if (code == GRAPHICS_EXT_FUNC_CODE && extension && extension[0] == 4) {
            GraphicsControlBlock parsed {};
            if (DGifExtensionToGCB(4, extension + 1, &parsed) == GIF_OK)
                gcb = parsed;
        }
        while (extension)
            if (DGifGetExtensionNext(gif.get(), &extension) == GIF_ERROR)
                return ReadFailure(gif->Error, "an extension block");
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return ReadFailure(gif->Error, "the image descriptor");

    const GifImageDesc& desc = gif->Image;
    const auto left = static_cast<std::uint32_t>(std::max(desc.Left, 0));
    const auto top = static_cast<std::uint32_t>(std::max(desc.Top, 0));
    const auto frameWidth = static_cast<std::uint32_t>(std::max(desc.Width, 0));
    const auto frameHeight = static_cast<std::uint32_t>(std::max(desc.Height, 0));
    // The frame's pixels come from the LZW data that follows its descriptor.
    if (Result r = CheckDimensions(frameWidth, frameHeight, BoundByData(limits, data.size() - in.pos, ratio::kLzw, 8));
        !r)
        return r;
    // A screen of no size (some writers leave it blank) takes the frame's extent.
    std::uint32_t screenWidth = static_cast<std::uint32_t>(std::max(gif->SWidth, 0));
    std::uint32_t screenHeight = static_cast<std::uint32_t>(std::max(gif->SHeight, 0));
    if (screenWidth == 0 || screenHeight == 0) {
        screenWidth = left + frameWidth;
        screenHeight = top + frameHeight;
    }
    // The screen around the frames is background only: when the file's bytes could not fill
    // that much, the screen shrinks to what its frames cover.
    const DecodeLimits bounded = BoundByData(limits, data.size(), ratio::kLzw, 8);
    if (!DataCanFill(screenWidth, screenHeight, bounded)) {
        std::uint32_t extentWidth = 0, extentHeight = 0;
        FramesExtent(data, limits.maxFrames, extentWidth, extentHeight);
        screenWidth = std::min(screenWidth, std::max(extentWidth, left + frameWidth));
        screenHeight = std::min(screenHeight, std::max(extentHeight, top + frameHeight));
    }

    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    const std::uint32_t bpp = DepthForTable(map ? map->ColorCount : 0);
    if (Result r = CreateChecked(out, screenWidth, screenHeight, bpp, bounded); !r)
        return r;
    const std::uint32_t colors = 1u << bpp;
    if (map) {
        auto& palette = out.Palette();
        std::fill(palette.begin(), palette.end(), RGBQuad { 0, 0, 0, 255 });
        for (int i = 0; i < map->ColorCount && i < static_cast<int>(colors); ++i)
            palette[i] = RGBQuad { map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 255 };
    }
    // Indices beyond what the depth holds have no colour; they become 0.
    const auto background = static_cast<std::uint8_t>(
        gif->SBackGroundColor >= 0 && static_cast<std::uint32_t>(gif->SBackGroundColor) < colors ? gif->SBackGroundColor
                                                                                                 : 0);
    std::fill(out.Pixels().begin(), out.Pixels().end(), background);

    // Only the part of the frame on the screen is kept.
    const std::uint32_t visibleWidth = left < screenWidth ? std::min(frameWidth, screenWidth - left) : 0;
    std::vector<GifPixelType> line(frameWidth);
    const std::vector<std::uint32_t> order = RowOrder(frameHeight, desc.Interlace);
    const std::string where = "the image data";
    for (std::uint32_t row : order) {
        const std::uint64_t y = std::uint64_t { top } + row;
        // Without interlacing the rows come top down: nothing more to see past the screen.
        if (!desc.Interlace && (y >= screenHeight || visibleWidth == 0))
            break;
        if (DGifGetLine(gif.get(), line.data(), static_cast<int>(frameWidth)) == GIF_ERROR)
            return ReadFailure(gif->Error, where);
        if (y >= screenHeight || visibleWidth == 0)
            continue;
        std::uint8_t* dst = out.Row(static_cast<std::uint32_t>(y)) + left;
        for (std::uint32_t x = 0; x < visibleWidth; ++x)
            dst[x] = line[x] < colors ? line[x] : 0;
    }

    if (gcb.TransparentColor >= 0 && static_cast<std::uint32_t>(gcb.TransparentColor) < colors)
        out.SetTransIndex(gcb.TransparentColor);
    out.SetFrameDelay(static_cast<std::uint32_t>(std::max(gcb.DelayTime, 0)));
    out.SetDisposalMethod(static_cast<std::uint8_t>(gcb.DisposalMode & 7));
    out.SetOffset(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top));
    return Result::Ok();
}

Result GifEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    out.clear();
    const CxImage* frames[] = { &image };
    auto append = [](void* context, const std::uint8_t* data, std::size_t size) {
        try {
            auto* buffer = static_cast<std::vector<std::uint8_t>*>(context);
            buffer->insert(buffer->end(), data, data + size);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
    return gif::Write(frames, 1, gif::WriteOptions {}, append, &out);
}

} // namespace codec
