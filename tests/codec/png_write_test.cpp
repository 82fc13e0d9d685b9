// The PNG writer's banded image data: bands compressed apart (on several threads) must join into
// one zlib stream that every decoder reads to the same pixels.

#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "codec/formats/png.h"
#include "codec/formats/png_deflate.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <libdeflate.h>
#include <zlib.h>

#include <utility>

using codec::CxImage;
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Rows that alternate between smooth (long matches) and noise (stored blocks), so the bands end
// in both kinds of block and at every bit position.
Bytes MixedRows(std::uint32_t height, std::size_t rowBytes)
{
    Bytes rows(height * rowBytes);
    std::uint32_t seed = 12345;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < rowBytes; ++x) {
            seed = seed * 1103515245u + 12345u;
            rows[y * rowBytes + x] = static_cast<std::uint8_t>(y % 3 == 1 ? seed >> 16 : (x / 7 + y) & 0xFF);
        }
    return rows;
}

Bytes Join(const std::vector<Bytes>& pieces)
{
    Bytes all;
    for (const Bytes& p : pieces)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

TEST(PngWrite, BandsJoinIntoOneZlibStream)
{
    struct Case {
        const char* name;
        std::uint32_t height;
        std::size_t rowBytes;
        std::size_t rowsPerBand; // 0: the default band size
        unsigned threads;
        int level;
    };
    const Case cases[] = {
        { "one row", 1, 5, 0, 0, 6 },
        { "a band per row", 7, 64, 1, 3, 6 },
        { "a short last band", 10, 301, 3, 2, 1 },
        { "stored blocks only", 9, 700, 2, 2, 0 },
        { "slowest level", 9, 333, 4, 2, 12 },
        { "more threads than bands", 3, 2000, 1, 8, 6 },
        { "rows longer than a stored block", 12, 70001, 3, 2, 6 },
    };
    TempDir dir;
    std::vector<std::pair<std::string, Bytes>> wants; // for Python: file name, inflated bytes
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes rows = MixedRows(c.height, c.rowBytes);
        codec::png::ImageData data;
        data.height = c.height;
        data.rowBytes = c.rowBytes;
        data.filter = codec::png::Filter::None;
        data.level = c.level;
        data.threads = c.threads;
        data.bandBytes = c.rowsPerBand * (c.rowBytes + 1);
        std::vector<Bytes> pieces;
        std::string error;
        ASSERT_TRUE(codec::png::CompressImageData(
            data, [&](std::uint32_t y, std::uint8_t*) { return rows.data() + y * c.rowBytes; }, pieces, error))
            << error;
        const Bytes stream = Join(pieces);
        Bytes want;
        for (std::uint32_t y = 0; y < c.height; ++y) {
            want.push_back(0); // the filter type of each row
            want.insert(want.end(), rows.begin() + y * c.rowBytes, rows.begin() + (y + 1) * c.rowBytes);
        }

        // zlib checks the stream's structure and its checksum, and that nothing follows it.
        Bytes got(want.size() + 1);
        uLongf gotSize = got.size();
        ASSERT_EQ(uncompress(got.data(), &gotSize, stream.data(), stream.size()), Z_OK);
        got.resize(gotSize);
        EXPECT_TRUE(got == want);

        // Another inflater altogether: libdeflate's.
        libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
        ASSERT_NE(inflater, nullptr);
        std::size_t inflated = 0;
        got.assign(want.size(), 0);
        EXPECT_EQ(libdeflate_zlib_decompress(inflater, stream.data(), stream.size(), got.data(), got.size(), &inflated),
            LIBDEFLATE_SUCCESS);
        libdeflate_free_decompressor(inflater);
        EXPECT_TRUE(got == want);

        // And Python's, below, once for every case.
        const std::string name = dir.File(std::to_string(wants.size()));
        WriteFileBytes(name + ".z", stream);
        wants.emplace_back(name, want);
    }
    std::string command = "python3 -c \"import sys, zlib\nfor n in sys.argv[1:]:\n d = zlib.decompressobj(); "
                          "o = d.decompress(open(n + '.z', 'rb').read()); assert d.eof and not d.unused_data; "
                          "open(n + '.raw', 'wb').write(o)\"";
    for (const auto& w : wants)
        command += " " + w.first;
    ASSERT_TRUE(RunTool(command));
    for (const auto& w : wants)
        EXPECT_TRUE(ReadFileBytes(w.first + ".raw") == w.second) << w.first;
}

TEST(PngWrite, BandedFilesReadTheSameInLibpngAndImageMagick)
{
    ASSERT_TRUE(HaveTool("convert")) << "imagemagick is installed by scripts/setup";
    CxImage gray = MakeGrayImage(101, 13);
    for (std::size_t i = 0; i < 256; ++i) { // a palette that is gray but not in order
        const auto v = static_cast<std::uint8_t>(255 - i);
        gray.Palette()[i] = { v, v, v, 255 };
    }
    CxImage bilevel(37, 23, 1);
    for (std::uint32_t y = 0; y < 23; ++y)
        for (std::uint32_t x = 0; x < 37; ++x)
            bilevel.Row(y)[x] = static_cast<std::uint8_t>((x * y + x) % 3 == 0);
    struct Case {
        const char* name;
        CxImage image;
    };
    const Case cases[] = {
        { "palette 1", MakeTestImage(37, 23, 1) },
        { "black and white", bilevel },
        { "palette 4, odd width", MakeTestImage(33, 9, 4) },
        { "palette 8", MakeTestImage(61, 17, 8) },
        { "gray 8", gray },
        { "rgb, one pixel", MakeTestImage(1, 1, 24) },
        { "rgb, one row", MakeTestImage(257, 1, 24) },
        { "rgb, odd width", MakeTestImage(101, 31, 24) },
        { "rgba", MakeTestImage(45, 29, 32) },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes one, banded;
        ASSERT_TRUE(codec::PngEncode(c.image, one));
        codec::PngWriteOptions options;
        options.bandBytes = 1; // a band per row: every row starts a band
        options.threads = 3;
        ASSERT_TRUE(codec::PngEncodeWithOptions(c.image, options, banded));
        if (c.image.GetHeight() > 1) { // the option took effect: more bands, more bytes
            EXPECT_GT(banded.size(), one.size());
        }

        const CxImage back = DecodeWith(codec::PngDecode, banded);
        std::string why;
        EXPECT_TRUE(SameColors(back, c.image, 0, &why)) << why;
        WriteFileBytes(dir.File("banded.png"), banded);
        CxImage theirs;
        ASSERT_TRUE(ImageMagickPixels(dir.File("banded.png"), 0, theirs, &why)) << why;
        EXPECT_TRUE(SameColors(theirs, c.image, 0, &why)) << why;
    }
}
