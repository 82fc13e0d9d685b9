// JPEG 2000 through OpenJPEG: the JP2 file format (type 11) and the raw codestream (type 12).
//
// Reading: gray, gray + alpha, RGB, RGBA, sYCC and CMYK; any component precision is scaled to
// 8 bits, signed components are offset, sub-sampled components are upsampled (nearest).
// Writing: indexed images are written losslessly (reversible 5/3 wavelet) because they are
// graphics whose exact colours matter and compress well without loss; true-colour images are
// written with the irreversible 9/7 wavelet at a fixed quality of 45 dB PSNR, visually lossless
// and 10 to 20 times smaller than lossless on photographs. Images under 64 x 64 pixels are
// always lossless: the quality target misses badly on a handful of pixels, and lossless costs
// nothing at that size.

#include "codec/formats/bytes.h"
#include "codec/formats/format.h"

#include <openjpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace codec {

namespace {

constexpr std::array<std::uint8_t, 12> kJp2Signature {
    0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A
};
constexpr std::array<std::uint8_t, 4> kCodestreamSignature { 0xFF, 0x4F, 0xFF, 0x51 };

/// PSNR target of the lossy true-colour encoding.
constexpr float kLossyQualityDb = 45.0f;
constexpr std::uint64_t kLosslessBelowPixels = 64 * 64;
constexpr int kThreads = 2;

bool StartsWith(ByteView data, const std::uint8_t* magic, std::size_t n)
{
    return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
}

// ---- messages ----

/// Collects OpenJPEG's error text so that it becomes the Result's message, and its distinct
/// warnings for the image.
struct Messages {
    std::string error;
    std::vector<std::string> warnings;
};

void OnError(const char* msg, void* client)
{
    auto* m = static_cast<Messages*>(client);
    if (!m->error.empty() || !msg)
        return; // the first error names the cause; later ones repeat it
    m->error = msg;
    while (!m->error.empty() && (m->error.back() == '\n' || m->error.back() == ' '))
        m->error.pop_back();
}
void OnWarning(const char* msg, void* client)
{
    auto* m = static_cast<Messages*>(client);
    if (!msg || m->warnings.size() >= CxImage::kMaxWarnings)
        return;
    try {
        std::string text = msg;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (std::find(m->warnings.begin(), m->warnings.end(), text) == m->warnings.end())
            m->warnings.push_back(std::move(text));
    } catch (const std::bad_alloc&) { // a lost warning is better than an exception through the library
    }
}
void OnQuiet(const char*, void*) { }

void InstallHandlers(opj_codec_t* codec, Messages& messages)
{
    opj_set_error_handler(codec, OnError, &messages);
    opj_set_warning_handler(codec, OnWarning, &messages);
    opj_set_info_handler(codec, OnQuiet, nullptr);
}

std::string Explain(const Messages& m, const char* fallback)
{
    return m.error.empty() ? std::string(fallback) : std::string(fallback) + ": " + m.error;
}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

// ---- memory streams ----

struct Source {
    ByteView data;
    std::size_t pos = 0;
};

OPJ_SIZE_T SourceRead(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<Source*>(user);
    if (s->pos >= s->data.size())
        return static_cast<OPJ_SIZE_T>(-1); // end of stream
    const std::size_t k = std::min<std::size_t>(n, s->data.size() - s->pos);
    std::memcpy(buffer, s->data.data() + s->pos, k);
    s->pos += k;
    return k;
}

OPJ_OFF_T SourceSkip(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<Source*>(user);
    if (n < 0) {
        if (static_cast<std::uint64_t>(-n) > s->pos)
            return -1;
        s->pos -= static_cast<std::size_t>(-n);
        return n;
    }
    const std::size_t left = s->data.size() - s->pos;
    if (left == 0)
        return -1;
    const std::size_t k = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), left);
    s->pos += k;
    return static_cast<OPJ_OFF_T>(k);
}

OPJ_BOOL SourceSeek(OPJ_OFF_T to, void* user)
{
    auto* s = static_cast<Source*>(user);
    if (to < 0 || static_cast<std::uint64_t>(to) > s->data.size())
        return OPJ_FALSE;
    s->pos = static_cast<std::size_t>(to);
    return OPJ_TRUE;
}

StreamPtr MakeSourceStream(Source& source)
{
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!stream)
        return stream;
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), source.data.size());
    opj_stream_set_read_function(stream.get(), SourceRead);
    opj_stream_set_skip_function(stream.get(), SourceSkip);
    opj_stream_set_seek_function(stream.get(), SourceSeek);
    return stream;
}

struct Sink {
    std::vector<std::uint8_t>* out;
    std::size_t pos = 0;
};

OPJ_SIZE_T SinkWrite(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<Sink*>(user);
    try { // no exception may cross the library's C frames
        if (s->pos + n > s->out->size())
            s->out->resize(s->pos + n);
    } catch (const std::bad_alloc&) {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    std::memcpy(s->out->data() + s->pos, buffer, n);
    s->pos += n;
    return n;
}

OPJ_OFF_T SinkSkip(OPJ_OFF_T n, void* user)
{
    auto* s = static_cast<Sink*>(user);
    if (n < 0 && static_cast<std::uint64_t>(-n) > s->pos)
        return -1;
    s->pos = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(s->pos) + n);
    return n;
}

OPJ_BOOL SinkSeek(OPJ_OFF_T to, void* user)
{
    if (to < 0)
        return OPJ_FALSE;
    static_cast<Sink*>(user)->pos = static_cast<std::size_t>(to); // the JP2 writer comes back to fill box lengths
    return OPJ_TRUE;
}

StreamPtr MakeSinkStream(Sink& sink)
{
    StreamPtr stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
    if (!stream)
        return stream;
    opj_stream_set_user_data(stream.get(), &sink, nullptr);
    opj_stream_set_write_function(stream.get(), SinkWrite);
    opj_stream_set_skip_function(stream.get(), SinkSkip);
    opj_stream_set_seek_function(stream.get(), SinkSeek);
    return stream;
}

// ---- decoding ----

/// One component prepared for sampling on the image grid: column/row maps for sub-sampled
/// components and a table from stored value to 8 bits.
class Channel {
public:
    Result Prepare(const opj_image_t& image, const opj_image_comp_t& comp, std::uint32_t width, std::uint32_t height)
    {
        if (!comp.data || comp.w == 0 || comp.h == 0)
            return Malformed("a component has no samples");
        if (comp.prec < 1 || comp.prec > 31)
            return Malformed("component precision " + std::to_string(comp.prec));
        data_ = comp.data;
        stride_ = comp.w;
        cols_.resize(width);
        rows_.resize(height);
        // Both maps are clamped to the component, so every sample index stays in range whatever
        // the header claimed about origins and steps.
        for (std::uint32_t x = 0; x < width; ++x)
            cols_[x] = GridToComponent(image.x0 + static_cast<std::int64_t>(x), comp.dx, comp.x0, comp.w);
        for (std::uint32_t y = 0; y < height; ++y)
            rows_[y] = GridToComponent(image.y0 + static_cast<std::int64_t>(y), comp.dy, comp.y0, comp.h);
        maxValue_ = (std::int64_t { 1 } << comp.prec) - 1;
        offset_ = comp.sgnd ? (std::int64_t { 1 } << (comp.prec - 1)) : 0;
        if (comp.prec <= 16) {
            lut_.resize(static_cast<std::size_t>(maxValue_) + 1);
            for (std::int64_t v = 0; v <= maxValue_; ++v)
                lut_[static_cast<std::size_t>(v)] = Scale(v);
        }
        return Result::Ok();
    }

    std::uint8_t At(std::uint32_t x, std::uint32_t y) const
    {
        std::int64_t v
            = static_cast<std::int64_t>(data_[static_cast<std::size_t>(rows_[y]) * stride_ + cols_[x]]) + offset_;
        v = std::clamp<std::int64_t>(v, 0, maxValue_);
        return lut_.empty() ? Scale(v) : lut_[static_cast<std::size_t>(v)];
    }

private:
    static std::uint32_t GridToComponent(std::int64_t at, std::uint32_t step, std::uint32_t origin, std::uint32_t size)
    {
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(at / step - origin, 0, std::int64_t { size } - 1));
    }
    std::uint8_t Scale(std::int64_t v) const
    {
        return static_cast<std::uint8_t>((v * 255 + maxValue_ / 2) / maxValue_);
    }

    const OPJ_INT32* data_ = nullptr;
    std::size_t stride_ = 0;
    std::vector<std::uint32_t> cols_, rows_;
    std::int64_t maxValue_ = 255;
    std::int64_t offset_ = 0;
    std::vector<std::uint8_t> lut_;
};

std::uint8_t Clamp8(double v)
{
    return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

Result ConvertImage(
    const opj_image_t& image, std::uint32_t width, std::uint32_t height, const DecodeLimits& limits, CxImage& out)
{
    const std::uint32_t nc = image.numcomps;
    std::vector<Channel> ch(nc);
    for (std::uint32_t i = 0; i < nc; ++i)
        if (Result r = ch[i].Prepare(image, image.comps[i], width, height); !r)
            return r;

    // The alpha channel: the one the JP2 channel definition marks, else the last of 2 or 4.
    int alpha = -1;
    for (std::uint32_t i = 0; i < nc; ++i)
        if (image.comps[i].alpha)
            alpha = static_cast<int>(i);
    if (alpha < 0 && (nc == 2 || nc == 4) && image.color_space != OPJ_CLRSPC_CMYK)
        alpha = static_cast<int>(nc) - 1;
    int colour[3] = { 0, 0, 0 };
    {
        int k = 0;
        for (std::uint32_t i = 0; i < nc && k < 3; ++i)
            if (static_cast<int>(i) != alpha)
                colour[k++] = static_cast<int>(i);
        if (k == 2)
            return Unsupported("two colour components are not an image this library reads");
    }
    const bool gray = nc - (alpha >= 0 ? 1 : 0) == 1;

    if (gray && alpha < 0) {
        if (Result r = CreateChecked(out, width, height, 8, limits); !r)
            return r;
        out.SetGrayPalette();
        for (std::uint32_t y = 0; y < height; ++y) {
            std::uint8_t* row = out.Row(y);
            for (std::uint32_t x = 0; x < width; ++x)
                row[x] = ch[colour[0]].At(x, y);
        }
        return Result::Ok();
    }

    const bool cmyk = image.color_space == OPJ_CLRSPC_CMYK && nc == 4;
    // Three components with sub-sampled chroma are YCbCr whatever the header says (a raw
    // codestream has no colour space at all); OpenJPEG's own tools read them the same way.
    const bool subsampledChroma = nc == 3 && image.comps[0].dx == 1 && image.comps[0].dy == 1
        && (image.comps[1].dx > 1 || image.comps[1].dy > 1);
    const bool sycc = (image.color_space == OPJ_CLRSPC_SYCC && nc >= 3) || subsampledChroma;
    const bool withAlpha = alpha >= 0 && !cmyk;
    if (Result r = CreateChecked(out, width, height, withAlpha ? 32 : 24, limits); !r)
        return r;
    const std::size_t step = withAlpha ? 4 : 3;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* p = out.Row(y);
        for (std::uint32_t x = 0; x < width; ++x, p += step) {
            if (gray) {
                p[0] = p[1] = p[2] = ch[colour[0]].At(x, y);
            } else if (cmyk) {
                const int k = 255 - ch[3].At(x, y);
                p[0] = static_cast<std::uint8_t>((255 - ch[0].At(x, y)) * k / 255);
                p[1] = static_cast<std::uint8_t>((255 - ch[1].At(x, y)) * k / 255);
                p[2] = static_cast<std::uint8_t>((255 - ch[2].At(x, y)) * k / 255);
            } else if (sycc) {
                const double yy = ch[colour[0]].At(x, y);
                const double cb = ch[colour[1]].At(x, y) - 128.0, cr = ch[colour[2]].At(x, y) - 128.0;
                p[0] = Clamp8(yy + 1.402 * cr);
                p[1] = Clamp8(yy - 0.344136 * cb - 0.714136 * cr);
                p[2] = Clamp8(yy + 1.772 * cb);
            } else {
                p[0] = ch[colour[0]].At(x, y);
                p[1] = ch[colour[1]].At(x, y);
                p[2] = ch[colour[2]].At(x, y);
            }
            if (withAlpha)
                p[3] = ch[alpha].At(x, y);
        }
    }
    return Result::Ok();
}

/// Gray, gray and alpha, colour, colour and alpha (or CMYK).
constexpr std::uint32_t kMaxComponents = 4;

/// What the codestream's SIZ marker declares.
struct SizeMarker {
    std::uint64_t width = 0, height = 0, tiles = 0;
    std::uint32_t components = 0;
    double samplesPerPixel = 0;
};

/// The start of the codestream: the whole data for a raw codestream, the contiguous-codestream
/// box's contents in a JP2 file. Empty when it cannot be found.
ByteView FindCodestream(ByteView data, OPJ_CODEC_FORMAT format)
{
    if (format == OPJ_CODEC_J2K)
        return data;
    ByteReader r(data);
    for (int box = 0; box < 64 && r.remaining() >= 8; ++box) {
        const std::size_t start = r.pos();
        std::uint64_t length = r.U32BE();
        const std::uint32_t type = r.U32BE();
        if (length == 1)
            length = std::uint64_t { r.U32BE() } << 32 | r.U32BE();
        else if (length == 0)
            length = data.size() - start;
        const std::size_t header = r.pos() - start;
        if (!r.ok() || length < header)
            return {};
        if (type == 0x6A703263u) // 'jp2c'; a file cut short keeps what it has
            return data.subspan(r.pos());
        if (length > data.size() - start)
            return {};
        r.Seek(start + static_cast<std::size_t>(length));
    }
    return {};
}

/// Reads SIZ, which must follow the start-of-codestream marker; false when it is not there or
/// makes no sense (OpenJPEG then says what is wrong).
bool ReadSizeMarker(ByteView codestream, SizeMarker& siz)
{
    ByteReader r(codestream);
    if (r.U16BE() != 0xFF4F || r.U16BE() != 0xFF51)
        return false;
    r.Skip(4); // length and capabilities
    const std::uint32_t x1 = r.U32BE(), y1 = r.U32BE(), x0 = r.U32BE(), y0 = r.U32BE();
    const std::uint32_t tileWidth = r.U32BE(), tileHeight = r.U32BE(), tileX0 = r.U32BE(), tileY0 = r.U32BE();
    const std::uint16_t components = r.U16BE();
    if (!r.ok() || x1 <= x0 || y1 <= y0 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0
        || components == 0)
        return false;
    for (std::uint16_t i = 0; i < components; ++i) {
        r.U8(); // precision and sign
        const std::uint8_t dx = r.U8(), dy = r.U8();
        if (!r.ok() || dx == 0 || dy == 0)
            return false;
        siz.samplesPerPixel += 1.0 / (static_cast<double>(dx) * dy);
    }
    siz.components = components;
    siz.width = x1 - x0;
    siz.height = y1 - y0;
    siz.tiles = ((std::uint64_t { x1 } - tileX0 + tileWidth - 1) / tileWidth)
        * ((std::uint64_t { y1 } - tileY0 + tileHeight - 1) / tileHeight);
    return true;
}

/// The limits for the samples the file's bytes can fill.
DecodeLimits BoundJ2k(const DecodeLimits& limits, ByteView data, double samplesPerPixel)
{
    return BoundByData(
        limits, data.size(), ratio::kJpeg2000, static_cast<std::uint32_t>(std::ceil(samplesPerPixel * 8)));
}

Result DecodeJ2k(ByteView data, const DecodeLimits& limits, CxImage& out, OPJ_CODEC_FORMAT format)
{
    // OpenJPEG sets up every declared tile and component (kilobytes each) while it reads the
    // header: the size, the tile count and the components are checked before it sees the file.
    if (SizeMarker siz; ReadSizeMarker(FindCodestream(data, format), siz)) {
        if (siz.components > kMaxComponents)
            return Unsupported("images with " + std::to_string(siz.components) + " components are not supported");
        if (Result r = CheckDimensions(siz.width, siz.height, BoundJ2k(limits, data, siz.samplesPerPixel)); !r)
            return r;
        // Every tile has a header of its own in the data.
        if (siz.tiles > data.size())
            return Malformed("the header declares " + std::to_string(siz.tiles) + " tiles, more than the file holds");
    }

    Messages messages;
    CodecPtr codec(opj_create_decompress(format));
    if (!codec)
        return Result::Fail(Status::Internal, "cannot create the JPEG 2000 decoder");
    InstallHandlers(codec.get(), messages);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params))
        return Result::Fail(Status::Internal, Explain(messages, "decoder setup failed"));
    opj_codec_set_threads(codec.get(), kThreads);

    Source source { data, 0 };
    StreamPtr stream = MakeSourceStream(source);
    if (!stream)
        return Result::Fail(Status::Internal, "cannot create a memory stream");

    opj_image_t* raw = nullptr;
    const bool headerOk = opj_read_header(stream.get(), codec.get(), &raw);
    ImagePtr image(raw);
    if (!headerOk || !image)
        return Malformed(Explain(messages, "cannot read the header"));

    // Check the declared size before the decoder allocates anything for the samples.
    if (image->x1 <= image->x0 || image->y1 <= image->y0)
        return Malformed("the image has no pixels");
    const std::uint32_t width = image->x1 - image->x0;
    const std::uint32_t height = image->y1 - image->y0;
    if (Result r = CheckDimensions(width, height, limits); !r)
        return r;
    if (image->numcomps < 1 || image->numcomps > kMaxComponents)
        return Unsupported("images with " + std::to_string(image->numcomps) + " components are not supported");
    for (std::uint32_t i = 0; i < image->numcomps; ++i)
        if (image->comps[i].dx == 0 || image->comps[i].dy == 0)
            return Malformed("a component has a zero sampling step");
    // OpenJPEG takes the memory of the declared tiles before it reads a packet, and empty
    // packets are nearly free: the samples are bounded by the file's bytes.
    double samplesPerPixel = 0;
    for (std::uint32_t i = 0; i < image->numcomps; ++i)
        samplesPerPixel += 1.0 / (static_cast<double>(image->comps[i].dx) * image->comps[i].dy);
    const DecodeLimits bounded = BoundJ2k(limits, data, samplesPerPixel);
    if (Result r = CheckDimensions(width, height, bounded); !r)
        return r;

    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
        std::string why = Explain(messages, "cannot decode the image");
        const bool shortStream = messages.error.find("too short") != std::string::npos
            || messages.error.find("truncated") != std::string::npos;
        return shortStream ? Truncated(why) : Malformed(why);
    }
    Result r = ConvertImage(*image, width, height, bounded, out);
    if (r)
        for (std::string& w : messages.warnings)
            out.AddWarning(std::move(w));
    return r;
}

// ---- encoding ----

Result EncodeJ2k(const CxImage& src, std::vector<std::uint8_t>& out, OPJ_CODEC_FORMAT format)
{
    const std::uint32_t width = src.GetWidth(), height = src.GetHeight();
    const bool indexed = src.IsIndexed();
    const auto& pal = src.Palette();
    bool paletteAlpha = indexed && src.GetTransIndex() >= 0;
    if (indexed)
        paletteAlpha
            = paletteAlpha || std::any_of(pal.begin(), pal.end(), [](const RGBQuad& c) { return c.alpha != 255; });
    const bool gray = indexed && !paletteAlpha && src.IsGrayScale();
    const std::uint32_t nc = gray ? 1 : (src.GetBpp() == 32 || paletteAlpha) ? 4 : 3;

    opj_image_cmptparm_t parms[4];
    std::memset(parms, 0, sizeof parms);
    for (std::uint32_t i = 0; i < nc; ++i) {
        parms[i].dx = parms[i].dy = 1;
        parms[i].w = width;
        parms[i].h = height;
        parms[i].prec = 8;
        parms[i].sgnd = 0;
    }
    ImagePtr image(opj_image_create(nc, parms, gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image)
        return Result::Fail(Status::Internal, "out of memory for the JPEG 2000 image");
    image->x0 = image->y0 = 0;
    image->x1 = width;
    image->y1 = height;
    if (nc == 4)
        image->comps[3].alpha = 1; // the JP2 writer records it in a channel definition box

    OPJ_INT32* planes[4] = {};
    for (std::uint32_t i = 0; i < nc; ++i)
        planes[i] = image->comps[i].data;
    std::size_t at = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = src.Row(y);
        for (std::uint32_t x = 0; x < width; ++x, ++at) {
            RGBQuad c;
            if (indexed) {
                const std::uint8_t index = p[x];
                c = index < pal.size() ? pal[index] : RGBQuad {};
                if (index == src.GetTransIndex())
                    c.alpha = 0;
            } else {
                const std::uint8_t* q = p + static_cast<std::size_t>(x) * src.GetBytesPerPixel();
                c = RGBQuad { q[0], q[1], q[2], src.GetBpp() == 32 ? q[3] : std::uint8_t { 255 } };
            }
            planes[0][at] = c.red;
            if (nc >= 3)
                planes[1][at] = c.green, planes[2][at] = c.blue;
            if (nc == 4)
                planes[3][at] = c.alpha;
        }
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    if (indexed || std::uint64_t { width } * height < kLosslessBelowPixels) {
        params.irreversible = 0;
        params.cp_disto_alloc = 1;
        params.tcp_rates[0] = 0; // lossless
    } else {
        params.irreversible = 1;
        params.cp_fixed_quality = 1;
        params.tcp_distoratio[0] = kLossyQualityDb;
    }
    params.tcp_mct = nc >= 3 ? 1 : 0;
    // Each wavelet level halves the image; the library refuses more levels than the size allows.
    while (params.numresolution > 1 && (1u << (params.numresolution - 1)) > std::min(width, height))
        --params.numresolution;

    Messages messages;
    CodecPtr codec(opj_create_compress(format));
    if (!codec)
        return Result::Fail(Status::Internal, "cannot create the JPEG 2000 encoder");
    InstallHandlers(codec.get(), messages);
    if (!opj_setup_encoder(codec.get(), &params, image.get()))
        return Result::Fail(Status::Internal, Explain(messages, "encoder setup failed"));
    opj_codec_set_threads(codec.get(), kThreads);

    out.clear();
    Sink sink { &out, 0 };
    StreamPtr stream = MakeSinkStream(sink);
    if (!stream)
        return Result::Fail(Status::Internal, "cannot create a memory stream");
    if (!opj_start_compress(codec.get(), image.get(), stream.get()) || !opj_encode(codec.get(), stream.get())
        || !opj_end_compress(codec.get(), stream.get()))
        return Result::Fail(Status::Internal, Explain(messages, "encoding failed"));
    return Result::Ok();
}

} // namespace

bool Jp2Sniff(ByteView data)
{
    return StartsWith(data, kJp2Signature.data(), kJp2Signature.size());
}

Result Jp2Decode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (!Jp2Sniff(data))
        return Malformed("not a JP2 file (no signature box)");
    return DecodeJ2k(data, limits, out, OPJ_CODEC_JP2);
}

Result Jp2Encode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    return EncodeJ2k(image, out, OPJ_CODEC_JP2);
}

bool JpcSniff(ByteView data)
{
    return StartsWith(data, kCodestreamSignature.data(), kCodestreamSignature.size());
}

Result JpcDecode(ByteView data, const DecodeLimits& limits, CxImage& out)
{
    if (!JpcSniff(data))
        return Malformed("not a JPEG 2000 codestream (no SOC/SIZ markers)");
    return DecodeJ2k(data, limits, out, OPJ_CODEC_J2K);
}

/// A raw codestream has no box to mark a fourth component as alpha; readers (ours included)
/// take the fourth of four components as alpha by convention.
Result JpcEncode(const CxImage& image, std::vector<std::uint8_t>& out)
{
    return EncodeJ2k(image, out, OPJ_CODEC_J2K);
}

} // namespace codec
