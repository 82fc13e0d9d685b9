// Filtering and banded compression of PNG image data (see png_deflate.h).
//
// libdeflate compresses a whole buffer at once and always marks its last block final. A band
// that is not the image's last is made continuable afterwards: zlib's inflate, stopping at every
// block boundary (Z_BLOCK), tells where the final block's header starts and where the block
// ends, to the bit. Clearing that header's BFINAL bit and appending an empty stored block there
// (three zero header bits, padding to the byte, LEN 0 and NLEN 0xFFFF: what zlib's full flush
// writes) leaves the band ending on a byte boundary with the stream still open. Bands never
// refer back to an earlier band's bytes, so they decode the same wherever they start.

#include "codec/formats/png_deflate.h"

#include "codec/formats/work_threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <libdeflate.h>
#include <zlib.h>

namespace codec::png {

namespace {

// About 4 MB of filtered rows a band: small enough to share the work of a large image evenly
// between cores and keep each thread's buffers modest, large enough that restarting the window
// every band costs next to nothing (a band's first 32 KB cannot refer to the band before).
constexpr std::size_t kDefaultBandBytes = std::size_t { 4 } << 20;

// ---------------------------------------------------------------------------------------------
// Filters. Encoding has no dependency from one output byte to the next, so the loops vectorise.

void FilterSub(const std::uint8_t* row, std::size_t n, std::size_t bpp, std::uint8_t* out)
{
    const std::size_t head = std::min(bpp, n);
    std::memcpy(out, row, head);
    for (std::size_t i = head; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
}

void FilterUp(const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::uint8_t* out)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
}

void FilterAverage(const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp, std::uint8_t* out)
{
    const std::size_t head = std::min(bpp, n);
    for (std::size_t i = 0; i < head; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - (prev[i] >> 1));
    for (std::size_t i = head; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - bpp] + prev[i]) >> 1));
}

void FilterPaeth(const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp, std::uint8_t* out)
{
    const std::size_t head = std::min(bpp, n);
    for (std::size_t i = 0; i < head; ++i) // no left neighbours: the predictor is the byte above
        out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
    for (std::size_t i = head; i < n; ++i) {
        const int a = row[i - bpp], b = prev[i], c = prev[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predictor = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
        out[i] = static_cast<std::uint8_t>(row[i] - predictor);
    }
}

// The usual heuristic for choosing a filter: bytes read as signed values, smaller is better.
std::uint64_t Cost(const std::uint8_t* bytes, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
    return sum;
}

// ---------------------------------------------------------------------------------------------
// One thread's tools, reused for every band it takes.

struct Band {
    std::uint32_t first = 0;
    std::uint32_t rows = 0;
    std::vector<std::uint8_t> deflate; // raw deflate blocks
    std::uint32_t adler = 1; // of the band's filtered bytes
    std::size_t filteredBytes = 0;
    bool failed = false;
    std::string error;
};

class Worker {
public:
    Worker(const ImageData& data, const RowSource& rows)
        : data_(data)
        , rows_(rows)
    {
    }
    ~Worker()
    {
        if (compressor_)
            libdeflate_free_compressor(compressor_);
        if (inflating_)
            inflateEnd(&inflater_);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void Run(Band& band, bool last)
    {
        try {
            if (!Compress(band, last))
                band.failed = true;
        } catch (const std::bad_alloc&) {
            band.failed = true;
            band.error = "out of memory while compressing the image data";
        }
    }

private:
    bool Compress(Band& band, bool last)
    {
        const std::size_t n = data_.rowBytes, stride = n + 1;
        if (!compressor_) {
            compressor_ = libdeflate_alloc_compressor(std::clamp(data_.level, 0, 12));
            if (!compressor_)
                throw std::bad_alloc();
            for (auto& s : scratch_)
                s.resize(n);
            zero_.assign(n, 0);
            if (data_.filter == Filter::Adaptive)
                candidates_.resize(4 * n);
        }
        filtered_.resize(stride * band.rows);

        const std::uint8_t* prev
            = band.first == 0 ? zero_.data() : rows_(band.first - 1, scratch_[(band.first - 1) & 1].data());
        for (std::uint32_t i = 0; i < band.rows; ++i) {
            const std::uint32_t y = band.first + i;
            const std::uint8_t* row = rows_(y, scratch_[y & 1].data());
            FilterRow(row, prev, filtered_.data() + i * stride);
            prev = row;
        }
        band.filteredBytes = filtered_.size();
        band.adler = libdeflate_adler32(1, filtered_.data(), filtered_.size());

        // Compressed into this thread's buffer, then copied at its size: the worst-case bound
        // is the size of the input, and zeroing that much for every band would cost more.
        const std::size_t bound = libdeflate_deflate_compress_bound(compressor_, filtered_.size());
        if (compressed_.size() < bound)
            compressed_.resize(bound);
        const std::size_t size
            = libdeflate_deflate_compress(compressor_, filtered_.data(), filtered_.size(), compressed_.data(), bound);
        if (size == 0) {
            band.error = "the compressor failed";
            return false;
        }
        band.deflate.reserve(size + 6); // room for the closing empty stored block
        band.deflate.assign(compressed_.data(), compressed_.data() + size);
        return last || MakeContinuable(band);
    }

    void FilterRow(const std::uint8_t* row, const std::uint8_t* prev, std::uint8_t* out)
    {
        const std::size_t n = data_.rowBytes, bpp = data_.pixelBytes;
        switch (data_.filter) {
        case Filter::None:
            out[0] = 0;
            std::memcpy(out + 1, row, n);
            return;
        case Filter::Sub:
            out[0] = 1;
            FilterSub(row, n, bpp, out + 1);
            return;
        case Filter::Up:
            out[0] = 2;
            FilterUp(row, prev, n, out + 1);
            return;
        case Filter::Average:
            out[0] = 3;
            FilterAverage(row, prev, n, bpp, out + 1);
            return;
        case Filter::Paeth:
            out[0] = 4;
            FilterPaeth(row, prev, n, bpp, out + 1);
            return;
        case Filter::Adaptive:
            break;
        }
        std::uint8_t* c = candidates_.data();
        FilterSub(row, n, bpp, c);
        FilterUp(row, prev, n, c + n);
        FilterAverage(row, prev, n, bpp, c + 2 * n);
        FilterPaeth(row, prev, n, bpp, c + 3 * n);
        int best = 0;
        std::uint64_t bestCost = Cost(row, n);
        for (int f = 1; f <= 4; ++f) {
            const std::uint64_t cost = Cost(c + (f - 1) * n, n);
            if (cost < bestCost) {
                best = f;
                bestCost = cost;
            }
        }
        out[0] = static_cast<std::uint8_t>(best);
        std::memcpy(out + 1, best == 0 ? row : c + (best - 1) * n, n);
    }

    // Finds the final block by inflating the band with a stop at every block boundary, then
    // clears its BFINAL bit and closes the band with an empty stored block.
    bool MakeContinuable(Band& band)
    {
        if (!inflating_) {
            std::memset(&inflater_, 0, sizeof inflater_);
            if (inflateInit2(&inflater_, -15) != Z_OK)
                throw std::bad_alloc();
            inflating_ = true;
            sink_.resize(std::size_t { 256 } << 10);
        } else if (inflateReset(&inflater_) != Z_OK) {
            band.error = "cannot restart the block scan";
            return false;
        }
        std::vector<std::uint8_t>& d = band.deflate;
        inflater_.next_in = d.data();
        inflater_.avail_in = static_cast<uInt>(d.size());
        std::uint64_t lastHeader = 0, end = 0;
        bool found = false;
        while (!found) {
            inflater_.next_out = sink_.data();
            inflater_.avail_out = static_cast<uInt>(sink_.size());
            const int r = inflate(&inflater_, Z_BLOCK);
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR)
                break;
            const bool boundary = (inflater_.data_type & 128) != 0;
            if (boundary) {
                const std::uint64_t consumed = d.size() - inflater_.avail_in;
                const std::uint64_t bit = consumed * 8 - static_cast<unsigned>(inflater_.data_type & 63);
                if (inflater_.data_type & 64) {
                    end = bit;
                    found = true;
                } else {
                    lastHeader = bit;
                }
            } else if (r == Z_STREAM_END || (r == Z_BUF_ERROR && inflater_.avail_in == 0)) {
                break;
            }
        }
        if (!found || (end + 7) / 8 != d.size()) {
            band.error = "the compressed band does not end where expected";
            return false;
        }
        d[lastHeader >> 3] &= static_cast<std::uint8_t>(~(1u << (lastHeader & 7)));
        // The empty stored block: its three header bits are zero and go right after the final
        // block; if fewer than three bits are left in the last byte it takes one more byte.
        const unsigned used = static_cast<unsigned>(end & 7);
        if (used != 0)
            d.back() &= static_cast<std::uint8_t>((1u << used) - 1);
        if (used == 0 || used > 5)
            d.push_back(0);
        const std::uint8_t stored[4] = { 0x00, 0x00, 0xFF, 0xFF };
        d.insert(d.end(), stored, stored + 4);
        return true;
    }

    const ImageData& data_;
    const RowSource& rows_;
    libdeflate_compressor* compressor_ = nullptr;
    z_stream inflater_ {};
    bool inflating_ = false;
    std::vector<std::uint8_t> scratch_[2];
    std::vector<std::uint8_t> zero_;
    std::vector<std::uint8_t> candidates_;
    std::vector<std::uint8_t> filtered_;
    std::vector<std::uint8_t> compressed_;
    std::vector<std::uint8_t> sink_;
};

std::uint8_t HeaderFlags(int level)
{
    // FLEVEL as libdeflate's own zlib wrapper sets it; FCHECK makes the header a multiple of 31.
    const unsigned flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned flags = flevel << 6;
    flags += 31 - ((0x78u * 256 + flags) % 31);
    return static_cast<std::uint8_t>(flags);
}

} // namespace

bool CompressImageData(
    const ImageData& data, const RowSource& rows, std::vector<std::vector<std::uint8_t>>& pieces, std::string& error)
{
    pieces.clear();
    error.clear();
    const std::size_t stride = data.rowBytes + 1;
    const std::size_t bandBytes = data.bandBytes ? data.bandBytes : kDefaultBandBytes;
    const auto rowsPerBand
        = static_cast<std::uint32_t>(std::clamp<std::size_t>(bandBytes / stride, 1, std::max(data.height, 1u)));
    const std::uint32_t bandCount = data.height == 0 ? 0 : (data.height - 1) / rowsPerBand + 1;
    try {
        std::vector<Band> bands(bandCount);
        for (std::uint32_t i = 0; i < bandCount; ++i) {
            bands[i].first = i * rowsPerBand;
            bands[i].rows = std::min(rowsPerBand, data.height - bands[i].first);
        }
        std::atomic<std::uint32_t> next { 0 };
        RunOnThreads(ThreadsFor(data.threads, bandCount), [&] {
            Worker worker(data, rows);
            for (std::uint32_t i; (i = next.fetch_add(1)) < bandCount;)
                worker.Run(bands[i], i + 1 == bandCount);
        });

        pieces.reserve(bandCount + 2);
        pieces.push_back({ 0x78, HeaderFlags(data.level) });
        std::uint32_t adler = 1;
        for (Band& band : bands) {
            if (band.failed) {
                error = band.error.empty() ? "out of memory while compressing the image data" : band.error;
                pieces.clear();
                return false;
            }
            adler = static_cast<std::uint32_t>(
                adler32_combine(adler, band.adler, static_cast<z_off_t>(band.filteredBytes)));
            pieces.push_back(std::move(band.deflate));
        }
        if (bandCount == 0) // no rows: an empty final stored block
            pieces.push_back({ 0x01, 0x00, 0x00, 0xFF, 0xFF });
        pieces.push_back({ static_cast<std::uint8_t>(adler >> 24),
            static_cast<std::uint8_t>(adler >> 16),
            static_cast<std::uint8_t>(adler >> 8),
            static_cast<std::uint8_t>(adler) });
        return true;
    } catch (const std::bad_alloc&) {
        pieces.clear();
        error = "out of memory while compressing the image data";
        return false;
    }
}

} // namespace codec::png
