// WebP, AVIF and JPEG XL: round trips at every depth, an animated WebP read as frames, metadata
// kept through each writer, files the readers must refuse, and independent readers of what we
// write.

#include "codec/codec_helpers.h"
#include "codec/formats/format.h"
#include "codec/formats/webp.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdio>
#include <cstring>
#include <string>

using namespace codec;
using namespace testing_support;

namespace {

struct Modern {
    const char* name;
    std::uint32_t type;
    const char* ext;
    /// Lowest PSNR of a lossy round trip of the test picture (small, with hard colour edges that
    /// lossy coding and 4:2:0 smear) and of a photograph.
    double minPsnrTestPicture;
    double minPsnrPhoto;
    /// Largest alpha difference after a lossy round trip: libjxl 0.7 codes alpha lossily too.
    int alphaTolerance;
};

const Modern kModern[] = {
    { "WebP", kTypeWebp, "webp", 23.0, 32.0, 0 },
    { "AVIF", kTypeAvif, "avif", 24.0, 32.0, 0 },
    { "JPEG XL", kTypeJxl, "jxl", 27.0, 34.0, 8 },
};

/// A small EXIF block: a little-endian TIFF header and one IFD holding Orientation = 1.
std::vector<std::uint8_t> SmallExif()
{
    return { 'I',
        'I',
        42,
        0,
        8,
        0,
        0,
        0, // header, IFD at 8
        1,
        0, // one entry
        0x12,
        0x01,
        3,
        0,
        1,
        0,
        0,
        0,
        1,
        0,
        0,
        0, // Orientation, SHORT, 1, value 1
        0,
        0,
        0,
        0 }; // no next IFD
}

TEST(ModernFormats, RoundTripsAtEveryDepth)
{
    for (const Modern& f : kModern) {
        for (std::uint32_t bpp : { 1u, 4u, 8u, 16u, 24u, 32u }) {
            const CxImage img = MakeTestImage(67, 41, bpp);
            std::vector<std::uint8_t> bytes;
            const CxImage back = RoundTrip(img, f.type, &bytes);
            ASSERT_TRUE(back.IsValid()) << f.name << " " << bpp << ": " << back.GetLastError();
            EXPECT_EQ(back.GetType(), f.type) << f.name;
            // Alpha is kept where the source has it; gray stays gray only in JPEG XL and AVIF.
            const std::uint32_t expectBpp = bpp == 32 ? 32 : img.IsGrayScale() && f.type != kTypeWebp ? 8 : 24;
            EXPECT_EQ(back.GetBpp(), expectBpp) << f.name << " " << bpp;
            const double psnr = Psnr(img, back);
            std::printf("[ figures  ] %-7s %2u bpp: %5zu bytes, PSNR %.1f dB, max diff %d\n",
                f.name,
                bpp,
                bytes.size(),
                psnr,
                MaxChannelDiff(img, back, bpp == 32));
            if (img.IsIndexed() && f.type != kTypeAvif) {
                std::string why;
                EXPECT_TRUE(SamePixels(img, back, &why)) << f.name << " " << bpp << " is written losslessly: " << why;
            } else {
                EXPECT_GE(psnr, f.minPsnrTestPicture) << f.name << " " << bpp;
            }
        }
    }
}

TEST(ModernFormats, AlphaIsKeptExactly)
{
    // Lossy colour, lossless alpha in WebP and AVIF: each pixel's opacity stays as it was.
    const CxImage img = MakeTestImage(40, 24, 32);
    for (const Modern& f : kModern) {
        const CxImage back = RoundTrip(img, f.type);
        ASSERT_TRUE(back.IsValid()) << f.name << ": " << back.GetLastError();
        int worst = 0;
        for (std::uint32_t y = 0; y < img.GetHeight(); ++y)
            for (std::uint32_t x = 0; x < img.GetWidth(); ++x)
                worst = std::max(worst, std::abs(img.GetPixelColor(x, y).alpha - back.GetPixelColor(x, y).alpha));
        EXPECT_LE(worst, f.alphaTolerance) << f.name;
    }
}

TEST(ModernFormats, MetadataSurvivesEachWriter)
{
    CxImage img = MakeTestImage(32, 16, 24);
    img.Metadata().exif = SmallExif();
    img.Metadata().xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>";
    for (const Modern& f : kModern) {
        // JPEG XL takes only a profile it can parse; the others keep an RGB profile's bytes as given.
        std::vector<std::uint8_t> icc(200, 7);
        std::memcpy(icc.data() + 16, "RGB ", 4);
        img.Metadata().icc = f.type == kTypeJxl ? std::vector<std::uint8_t> {} : icc;
        const CxImage back = RoundTrip(img, f.type);
        ASSERT_TRUE(back.IsValid()) << f.name << ": " << back.GetLastError();
        EXPECT_EQ(back.GetMetadata().exif, img.GetMetadata().exif) << f.name;
        EXPECT_EQ(back.GetMetadata().xmp, img.GetMetadata().xmp) << f.name;
        EXPECT_EQ(back.GetMetadata().icc, img.GetMetadata().icc) << f.name;
    }
    // A CMYK profile does not describe the RGB pixels written: it is left out.
    img.Metadata().icc.assign(200, 7);
    std::memcpy(img.Metadata().icc.data() + 16, "CMYK", 4);
    for (const Modern& f : kModern)
        EXPECT_TRUE(RoundTrip(img, f.type).GetMetadata().icc.empty()) << f.name;
}

TEST(ModernFormats, ExiftoolReadsTheExifWeWrite)
{
    if (!HaveTool("exiftool"))
        GTEST_SKIP() << "exiftool is not installed";
    TempDir dir;
    CxImage img = MakeTestImage(32, 16, 24);
    img.Metadata().exif = SmallExif();
    for (const Modern& f : kModern) {
        const std::string path = dir.File(std::string("meta.") + f.ext);
        ASSERT_TRUE(img.Save(path, f.type)) << img.GetLastError();
        std::string out;
        ASSERT_EQ(RunCommand("exiftool -s3 -Orientation# '" + path + "'", &out), 0);
        EXPECT_EQ(out, "1\n") << f.name;
    }
}

/// An animation of three flat frames (red, green, blue) shown 100, 200 and 300 ms, made with
/// libwebp's own animation encoder.
std::vector<std::uint8_t> MakeAnimatedWebp(int width, int height)
{
    WebPAnimEncoderOptions options;
    EXPECT_TRUE(WebPAnimEncoderOptionsInit(&options));
    WebPAnimEncoder* enc = WebPAnimEncoderNew(width, height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    const std::uint8_t colors[3][3] = { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 } };
    int timestamp = 0;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
        for (std::size_t p = 0; p < rgb.size(); p += 3)
            std::memcpy(&rgb[p], colors[i], 3);
        // The last frame covers only the left half; the right half keeps the green under it.
        if (i == 2)
            for (int y = 0; y < height; ++y)
                for (int x = width / 2; x < width; ++x)
                    std::memcpy(&rgb[(static_cast<std::size_t>(y) * width + x) * 3], colors[1], 3);
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.width = width, pic.height = height, pic.use_argb = 1;
        WebPPictureImportRGB(&pic, rgb.data(), width * 3);
        EXPECT_TRUE(WebPAnimEncoderAdd(enc, &pic, timestamp, &config));
        WebPPictureFree(&pic);
        timestamp += 100 * (i + 1);
    }
    WebPAnimEncoderAdd(enc, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    EXPECT_TRUE(WebPAnimEncoderAssemble(enc, &data));
    std::vector<std::uint8_t> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(enc);
    return bytes;
}

TEST(ModernFormats, AnimatedWebpReadsAsFramesAndShowsTheFirst)
{
    const std::vector<std::uint8_t> anim = MakeAnimatedWebp(20, 10);
    EXPECT_EQ(WebpFrameCount(anim), 3u);

    CxImage first = DecodeBytes(anim, 0);
    ASSERT_TRUE(first.IsValid()) << first.GetLastError();
    EXPECT_EQ(first.GetType(), kTypeWebp);
    EXPECT_EQ(first.GetBpp(), 32u);
    EXPECT_EQ(first.GetPixelColor(5, 5), (RGBQuad { 255, 0, 0, 255 }));

    std::vector<RGBQuad> left, right;
    std::vector<std::uint32_t> delays;
    const Result r = WebpDecodeFrames(anim, DecodeLimits {}, [&](const CxImage& frame, std::size_t index) {
        EXPECT_EQ(frame.GetFrame(), static_cast<std::int32_t>(index));
        EXPECT_EQ(frame.GetWidth(), 20u);
        left.push_back(frame.GetPixelColor(2, 5));
        right.push_back(frame.GetPixelColor(17, 5));
        delays.push_back(frame.GetFrameDelay());
        return true;
    });
    ASSERT_TRUE(r) << r.message;
    const RGBQuad red { 255, 0, 0, 255 }, green { 0, 255, 0, 255 }, blue { 0, 0, 255, 255 };
    EXPECT_EQ(left, (std::vector<RGBQuad> { red, green, blue }));
    EXPECT_EQ(right, (std::vector<RGBQuad> { red, green, green }));
    EXPECT_EQ(delays, (std::vector<std::uint32_t> { 10, 20, 30 }));

    // A sink that has seen enough stops the walk; too many frames for the limits are refused.
    std::size_t seen = 0;
    EXPECT_TRUE(WebpDecodeFrames(anim, DecodeLimits {}, [&](const CxImage&, std::size_t) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2u);
    DecodeLimits two;
    two.maxFrames = 2;
    EXPECT_EQ(
        WebpDecodeFrames(anim, two, [](const CxImage&, std::size_t) { return true; }).status, Status::LimitExceeded);
}

TEST(ModernFormats, HostileAndDamagedFilesAreRefusedWithAReason)
{
    // Headers declaring 16000 x 16000 pixels over a few hundred bytes (fuzz/make_modern_corpus.sh).
    for (const char* bomb : { "webp/bomb-16000x16000.webp", "avif/bomb-16000x16000.avif" }) {
        CxImage img;
        EXPECT_FALSE(img.Load(std::string(PELMORA_TEST_DATA "/../../fuzz/corpus/") + bomb, 0)) << bomb;
        EXPECT_NE(std::string(img.GetLastError()).find("16000"), std::string::npos) << img.GetLastError();
    }
    for (const Modern& f : kModern) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(MakeTestImage(50, 30, 24).Encode(bytes, f.type));
        for (std::size_t keep : { bytes.size() / 2, std::size_t { 20 }, std::size_t { 13 } }) {
            CxImage img;
            EXPECT_FALSE(img.Decode(ByteView(bytes.data(), keep), f.type)) << f.name << " cut to " << keep;
            EXPECT_STRNE(img.GetLastError(), "") << f.name;
        }
    }
}

TEST(ModernFormats, IndependentReadersAgreeWithWhatWeWriteFromAPhoto)
{
    // ImageMagick reads WebP and AVIF through its own delegates (libheif for AVIF); libvips reads
    // JPEG XL.
    TempDir dir;
    CxImage photo;
    ASSERT_TRUE(photo.Load(PELMORA_TEST_DATA "/../../res/samples/photo.jpg", 0)) << photo.GetLastError();
    for (const Modern& f : kModern) {
        const std::string path = dir.File(std::string("oracle.") + f.ext);
        const std::string ppm = dir.File(std::string("oracle-") + f.ext + ".ppm");
        ASSERT_TRUE(photo.Save(path, f.type)) << photo.GetLastError();
        CxImage ours;
        ASSERT_TRUE(ours.Load(path, 0)) << ours.GetLastError();
        std::printf("[ figures  ] %-7s photo 80 x 60: %zu bytes, PSNR %.1f dB\n",
            f.name,
            ReadFileBytes(path).size(),
            Psnr(photo, ours));
        EXPECT_GE(Psnr(photo, ours), f.minPsnrPhoto) << f.name;
        std::string command;
        if (f.type == kTypeJxl && HaveTool("vips"))
            command = "vips copy '" + path + "' '" + ppm + "'";
        else if (f.type != kTypeJxl && HaveTool("convert"))
            command = "convert '" + path + "' '" + ppm + "'";
        if (command.empty() || RunCommand(command + " 2>/dev/null") != 0) {
            std::printf("[ skipped  ] no reader of %s here\n", f.name);
            continue;
        }
        CxImage theirs;
        ASSERT_TRUE(theirs.Load(ppm, kTypePnm)) << theirs.GetLastError();
        // WebP and JPEG XL: the same library decodes the same stream. AVIF: libheif's chroma
        // upsampling and YUV to RGB conversion differ from libavif's (38 dB apart here).
        if (f.type == kTypeAvif)
            EXPECT_GE(Psnr(ours, theirs), 35.0) << f.name;
        else
            EXPECT_LE(MaxChannelDiff(ours, theirs), 1) << f.name;
    }
}

} // namespace
