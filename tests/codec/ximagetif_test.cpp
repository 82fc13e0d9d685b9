#include "codec/tiff_ifd.h"
#include "codec/ximagetif.h"
#include "codec/xiofile.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <memory>
#include <sstream>

using codec::CxImage;
using codec::CxImageTIF;
using codec::CxIOFile;
using codec::RGBQuad;
using namespace testing_support;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// An EXIF block with a camera make in its first directory and a capture time in its EXIF one.
std::vector<std::uint8_t> ExifOf(const std::string& make, const std::string& taken)
{
    auto text = [](std::uint16_t tag, const std::string& s) {
        codec::ifd::Entry e { tag, codec::ifd::kTypeAscii, static_cast<std::uint32_t>(s.size() + 1), {}, {} };
        e.value.assign(s.begin(), s.end());
        e.value.push_back(0);
        return e;
    };
    auto exif = std::make_shared<codec::ifd::Directory>();
    exif->entries.push_back(text(36867, taken)); // DateTimeOriginal
    codec::ifd::Directory ifd0;
    ifd0.entries.push_back(text(TIFFTAG_MAKE, make));
    ifd0.entries.push_back({ codec::ifd::kExifIfdTag, 4, 1, {}, exif });
    return codec::ifd::Block(ifd0);
}

/// Five pages, each of its own size and depth; two carry EXIF of their own.
struct Pages {
    CxImage bilevel { 40, 30, 1 };
    CxImage palette = MakeTestImage(33, 21, 4);
    CxImage gray { 50, 10, 8 };
    CxImage rgb = MakeTestImage(17, 19, 24);
    CxImage rgba = MakeTestImage(23, 29, 32);
    CxImage* list[5] = { &bilevel, &palette, &gray, &rgb, &rgba };
    Pages()
    {
        bilevel.Palette()[0] = RGBQuad { 0, 0, 0 };
        bilevel.Palette()[1] = RGBQuad { 255, 255, 255 };
        for (std::uint32_t y = 0; y < 30; ++y)
            for (std::uint32_t x = 0; x < 40; ++x)
                bilevel.Row(y)[x] = (x * y / 7) & 1;
        for (std::uint32_t y = 0; y < 10; ++y)
            for (std::uint32_t x = 0; x < 50; ++x)
                gray.Row(y)[x] = static_cast<std::uint8_t>(x * 5 + y);
        palette.Metadata().exif = ExifOf("First", "2021:01:02 03:04:05");
        rgb.Metadata().exif = ExifOf("Second camera", "2022:06:07 08:09:10");
    }
};

// What libtiff finds of a page's EXIF: "make|capture time", empty parts where there is none.
std::string PageExif(TIFF* tif)
{
    std::string out;
    const char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_MAKE, &text) && text)
        out = text;
    out += "|";
    toff_t offset = 0;
    if (TIFFGetField(tif, TIFFTAG_EXIFIFD, &offset) && TIFFReadEXIFDirectory(tif, offset)
        && TIFFGetField(tif, EXIFTAG_DATETIMEORIGINAL, &text) && text)
        out += text;
    return out;
}

struct PageLayout {
    std::uint32_t width, height;
    std::uint16_t bps, spp, photometric, compression;
};

const PageLayout kExpected[5] = {
    { 40, 30, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4 },
    { 33, 21, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_LZW },
    { 50, 10, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE },
    { 17, 19, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE },
    { 23, 29, 8, 4, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE },
};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CxImageTIF, PagesKeepTheirOwnSizesAndDepths)
{
    ASSERT_TRUE(HaveTool("tiffinfo"));
    ASSERT_TRUE(HaveTool("convert"));
    TempDir dir;
    Pages pages;
    const std::string path = dir.File("pages.tif");
    {
        File f(std::fopen(path.c_str(), "w+b"));
        ASSERT_TRUE(f);
        CxIOFile io(f.get());
        CxImageTIF tif;
        ASSERT_TRUE(tif.Encode(&io, pages.list, 5)) << tif.GetLastError();
    }

    // libtiff, page by page.
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 5);
    const char* exif[5] = { "|", "First|2021:01:02 03:04:05", "|", "Second camera|2022:06:07 08:09:10", "|" };
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(TIFFSetDirectory(tif, static_cast<tdir_t>(i)));
        EXPECT_EQ(PageExif(tif), exif[i]) << i;
    }
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(TIFFSetDirectory(tif, static_cast<tdir_t>(i)));
        PageLayout got {};
        std::uint16_t page = 0, count = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &got.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &got.height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &got.bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &got.spp);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &got.photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &got.compression);
        ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENUMBER, &page, &count));
        EXPECT_EQ(page, i);
        EXPECT_EQ(count, 5);
        EXPECT_EQ(got.width, kExpected[i].width);
        EXPECT_EQ(got.height, kExpected[i].height);
        EXPECT_EQ(got.bps, kExpected[i].bps);
        EXPECT_EQ(got.spp, kExpected[i].spp);
        EXPECT_EQ(got.photometric, kExpected[i].photometric);
        EXPECT_EQ(got.compression, kExpected[i].compression);
    }
    TIFFClose(tif);

    // tiffinfo reads every directory cleanly.
    std::string info;
    ASSERT_EQ(RunCommand("tiffinfo -D '" + path + "' 2>&1", &info), 0) << info;
    for (const PageLayout& p : kExpected)
        EXPECT_TRUE(Has(info, "Image Width: " + std::to_string(p.width) + " Image Length: " + std::to_string(p.height)))
            << info;
    EXPECT_TRUE(Has(info, "CCITT Group 4")) << info;
    EXPECT_FALSE(Has(info, "rror")) << info;

    // ImageMagick gives back each page's pixels.
    std::string sizes;
    ASSERT_EQ(RunCommand("identify -format '%w %h|' '" + path + "'", &sizes), 0);
    EXPECT_EQ(sizes, "40 30|33 21|50 10|17 19|23 29|");
    for (int i = 0; i < 5; ++i) {
        CxImage theirs;
        std::string why;
        ASSERT_TRUE(ImageMagickPixels(path, i, theirs, &why)) << why;
        EXPECT_TRUE(SameVisible(*pages.list[i], theirs, true, &why)) << i << ": " << why;
    }
    // Our own reader takes the first page.
    CxImage first;
    ASSERT_TRUE(first.Load(path, 0)) << first.GetLastError();
    EXPECT_EQ(first.GetBpp(), 1u);
    EXPECT_TRUE(SamePixels(first, pages.bilevel));
}

TEST(CxImageTIF, WritesInsideTheCallersStreamAndLeavesItOpen)
{
    TempDir dir;
    Pages pages;
    const std::string path = dir.File("embedded.bin");
    File f(std::fopen(path.c_str(), "w+b"));
    ASSERT_TRUE(f);
    std::fputs("PREFIX", f.get());
    CxIOFile io(f.get());
    CxImageTIF tif;
    ASSERT_TRUE(tif.Encode(&io, pages.list + 1, 4)) << tif.GetLastError();
    const long end = std::ftell(f.get());
    ASSERT_GT(end, 6);
    ASSERT_GE(std::fputs("TAIL", f.get()), 0);
    f.reset();

    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(end) + 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "PREFIX");
    EXPECT_EQ(std::string(bytes.end() - 4, bytes.end()), "TAIL");
    // The TIFF's offsets count from its own start.
    CxImage first;
    ASSERT_TRUE(first.Decode(codec::ByteView(bytes).subspan(6, static_cast<std::size_t>(end) - 6), codec::kTypeTif))
        << first.GetLastError();
    EXPECT_TRUE(SamePixels(first, pages.palette));
}

TEST(CxImageTIF, RefusesBadRequestsWithAText)
{
    TempDir dir;
    Pages pages;
    const std::string path = dir.File("out.tif");
    File f(std::fopen(path.c_str(), "w+b"));
    ASSERT_TRUE(f);
    CxIOFile io(f.get());
    CxImageTIF tif;
    EXPECT_FALSE(tif.Encode(&io, pages.list, 0));
    EXPECT_NE(std::string(tif.GetLastError()), "");
    EXPECT_FALSE(tif.Encode(nullptr, pages.list, 5));
    CxImage empty;
    CxImage* withEmpty[] = { &pages.rgb, &empty };
    EXPECT_FALSE(tif.Encode(&io, withEmpty, 2));
    EXPECT_TRUE(Has(tif.GetLastError(), "page 2")) << tif.GetLastError();

    File readOnly(std::fopen(path.c_str(), "rb"));
    ASSERT_TRUE(readOnly);
    CxIOFile in(readOnly.get());
    EXPECT_FALSE(tif.Encode(&in, pages.list, 5));
    EXPECT_TRUE(Has(tif.GetLastError(), "TIFF")) << tif.GetLastError();
    File full(std::fopen("/dev/full", "wb"));
    ASSERT_TRUE(full);
    CxIOFile sink(full.get());
    EXPECT_FALSE(tif.Encode(&sink, pages.list, 5));
    EXPECT_TRUE(Has(tif.GetLastError(), "TIFF")) << tif.GetLastError();
}

TEST(CxImageTIF, PageWiseWritingGivesTheSameFileAsEncode)
{
    TempDir dir;
    Pages pages;
    auto write = [&](const std::string& name, bool pageWise) {
        const std::string path = dir.File(name);
        File f(std::fopen(path.c_str(), "w+b"));
        EXPECT_TRUE(f);
        CxIOFile io(f.get());
        CxImageTIF tif;
        if (!pageWise) {
            EXPECT_TRUE(tif.Encode(&io, pages.list, 5)) << tif.GetLastError();
        } else {
            EXPECT_TRUE(tif.BeginPages(&io, 5)) << tif.GetLastError();
            for (CxImage* page : pages.list)
                EXPECT_TRUE(tif.WritePage(*page)) << tif.GetLastError();
            EXPECT_TRUE(tif.EndPages()) << tif.GetLastError();
        }
        f.reset();
        return ReadFileBytes(path);
    };
    const std::vector<std::uint8_t> whole = write("whole.tif", false);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(write("pagewise.tif", true), whole);

    // Out of order or short: refused with a text, and every later call too.
    const std::string path = dir.File("bad.tif");
    File f(std::fopen(path.c_str(), "w+b"));
    CxIOFile io(f.get());
    CxImageTIF tif;
    EXPECT_FALSE(tif.WritePage(pages.rgb));
    EXPECT_TRUE(Has(tif.GetLastError(), "TIFF")) << tif.GetLastError();
    ASSERT_TRUE(tif.BeginPages(&io, 2));
    ASSERT_TRUE(tif.WritePage(pages.rgb));
    EXPECT_FALSE(tif.EndPages());
    EXPECT_TRUE(Has(tif.GetLastError(), "fewer pages")) << tif.GetLastError();
    ASSERT_TRUE(tif.BeginPages(&io, 1));
    CxImage empty;
    EXPECT_FALSE(tif.WritePage(empty));
    EXPECT_TRUE(Has(tif.GetLastError(), "page 1")) << tif.GetLastError();
    EXPECT_FALSE(tif.EndPages());
}
