// EXIF orientation and metadata carried through the readers and writers, with exiftool and
// ImageMagick as the independent oracles.

#include "codec/exif.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using codec::CxImage;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

const char kIcc[] = "/usr/share/color/icc/ghostscript/srgb.icc";

// A TIFF-structured EXIF block: one camera-make entry, then an orientation entry.
std::vector<std::uint8_t> ExifBlock(bool little, std::uint16_t type, std::uint32_t value, std::uint16_t count = 2)
{
    std::vector<std::uint8_t> b;
    auto u16 = [&](std::uint32_t v) {
        little ? b.insert(b.end(), { std::uint8_t(v), std::uint8_t(v >> 8) })
               : b.insert(b.end(), { std::uint8_t(v >> 8), std::uint8_t(v) });
    };
    auto u32 = [&](std::uint32_t v) { little ? (u16(v & 0xFFFF), u16(v >> 16)) : (u16(v >> 16), u16(v & 0xFFFF)); };
    b.insert(b.end(),
        little ? std::initializer_list<std::uint8_t> { 'I', 'I' } : std::initializer_list<std::uint8_t> { 'M', 'M' });
    u16(42), u32(8), u16(count);
    u16(0x010F), u16(2), u32(4), b.insert(b.end(), { 'C', 'a', 'm', 0 });
    u16(0x0112), u16(type), u32(1);
    if (type == 3)
        u16(value), u16(0);
    else
        u32(value);
    u32(0);
    return b;
}

std::string ExifTool(const std::string& args)
{
    std::string out;
    RunCommand("exiftool -q -q " + args + " 2>/dev/null", &out);
    return out;
}

} // namespace

TEST(ExifOrientation, ReadsAndResetsTheTagAndRefusesDamage)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int expected;
        bool entry; // an orientation entry SetOrientation can overwrite
    };
    std::vector<std::uint8_t> cut = ExifBlock(true, 3, 6);
    cut.resize(8 + 2 + 12 + 6); // the orientation entry is cut short
    std::vector<std::uint8_t> farIfd = ExifBlock(false, 3, 6);
    farIfd[7] = 0xF0; // directory offset past the end
    const std::vector<Case> cases = {
        { "little-endian SHORT", ExifBlock(true, 3, 6), 6, true },
        { "big-endian SHORT", ExifBlock(false, 3, 8), 8, true },
        { "LONG", ExifBlock(true, 4, 3), 3, true },
        { "out of range", ExifBlock(true, 3, 9), 0, true },
        { "count beyond the data", ExifBlock(false, 3, 5, 500), 5, true },
        { "entry cut short", cut, 0, false },
        { "directory past the end", farIfd, 0, false },
        { "not TIFF", { 'E', 'x', 'i', 'f', 0, 0, 0, 0, 0, 0 }, 0, false },
        { "empty", {}, 0, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(codec::exif::Orientation(c.bytes), c.expected);
        std::vector<std::uint8_t> patched = c.bytes;
        EXPECT_EQ(codec::exif::SetOrientation(patched, 1), c.entry);
        EXPECT_EQ(codec::exif::Orientation(patched), c.entry ? 1 : 0);
    }

    std::string xmp = R"(<a tiff:Orientation="6" b/><tiff:Orientation> 8</tiff:Orientation><tiff:Orientation>12<)";
    codec::exif::MarkXmpUpright(xmp);
    EXPECT_EQ(xmp, R"(<a tiff:Orientation="1" b/><tiff:Orientation> 1</tiff:Orientation><tiff:Orientation>12<)");
}

// A phone photo is stored as the sensor saw it, with a tag saying how to turn it. Each of the
// eight values must load as ImageMagick's -auto-orient shows it, with EXIF then saying upright.
TEST(ExifOrientation, EveryOrientationLoadsUprightAsImageMagickShowsIt)
{
    if (!testing_support::HaveTool("exiftool") || !testing_support::HaveTool("convert"))
        GTEST_SKIP() << "exiftool or ImageMagick missing";
    TempDir dir;
    CxImage photo = testing_support::MakeTestImage(64, 48, 24);
    struct Case {
        const char* file;
        std::uint32_t type;
        const char* tag; // how exiftool writes the orientation into this format
    };
    const std::vector<Case> formats = {
        { "photo.jpg", codec::kTypeJpg, "-EXIF:Orientation" },
        { "scan.tif", codec::kTypeTif, "-IFD0:Orientation" },
    };
    for (const Case& f : formats) {
        for (int value = 1; value <= 8; ++value) {
            if (f.type == codec::kTypeTif && value != 4 && value != 5 && value != 6)
                continue; // TIFF's own tag: one flip, one transpose, one turn suffice
            SCOPED_TRACE(std::string(f.file) + " orientation " + std::to_string(value));
            const std::string path = dir.File(f.file);
            ASSERT_TRUE(photo.Save(path, f.type)) << photo.GetLastError();
            ExifTool("-overwrite_original -n " + std::string(f.tag) + "=" + std::to_string(value) + " " + path);
            ASSERT_EQ(RunCommand("convert " + path + " -auto-orient " + dir.File("upright.ppm")), 0);
            CxImage expected, loaded;
            ASSERT_TRUE(testing_support::ReadNetpbm(dir.File("upright.ppm"), expected));
            ASSERT_TRUE(loaded.Load(path)) << loaded.GetLastError();
            EXPECT_EQ(loaded.GetWidth(), value >= 5 ? 48u : 64u);
            EXPECT_LE(testing_support::MaxChannelDiff(loaded, expected), 1);
            if (f.type == codec::kTypeJpg) {
                EXPECT_EQ(codec::exif::Orientation(loaded.GetMetadata().exif), 1);
            }
        }
    }
}

// EXIF, XMP and the ICC profile go along from format to format: PNG -> JPEG -> PNG -> TIFF ->
// JPEG, read back by exiftool at every step. TIFF carries no EXIF from or into a file.
TEST(ImageMetadata, TravelsThroughJpegPngAndTiff)
{
    if (!testing_support::HaveTool("exiftool") || !testing_support::HaveTool("convert")
        || RunCommand(std::string("test -f ") + kIcc) != 0)
        GTEST_SKIP() << "exiftool, ImageMagick or the sRGB profile missing";
    TempDir dir;
    CxImage start = testing_support::MakeTestImage(40, 30, 24);
    ASSERT_TRUE(start.Save(dir.File("plain.png"), codec::kTypePng));
    ASSERT_EQ(RunCommand("convert " + dir.File("plain.png") + " -profile " + kIcc + " " + dir.File("0.png")), 0);
    ExifTool("-overwrite_original -EXIF:Make=Pelmora -XMP-dc:Title=Turned " + dir.File("0.png"));

    struct Step {
        const char* file;
        std::uint32_t type;
        bool exif;
    };
    const std::vector<Step> steps = {
        { "1.jpg", codec::kTypeJpg, true },
        { "2.png", codec::kTypePng, true },
        { "3.tif", codec::kTypeTif, false },
        { "4.jpg", codec::kTypeJpg, false },
    };
    std::string from = dir.File("0.png");
    for (const Step& s : steps) {
        SCOPED_TRACE(s.file);
        CxImage image;
        ASSERT_TRUE(image.Load(from)) << image.GetLastError();
        ASSERT_TRUE(image.Save(dir.File(s.file), s.type)) << image.GetLastError();
        const std::string tags
            = ExifTool("-s3 -EXIF:Make -XMP-dc:Title -ICC_Profile:ProfileDescription " + dir.File(s.file));
        EXPECT_EQ(tags, std::string(s.exif ? "Pelmora\n" : "") + "Turned\nArtifex Software sRGB ICC Profile\n");
        from = dir.File(s.file);
    }
}

// A profile for other pixels than the ones written is left out: gray pixels get no RGB profile.
TEST(ImageMetadata, ProfilesOnlyWhereThePixelsMatchThem)
{
    if (!testing_support::HaveTool("exiftool") || RunCommand(std::string("test -f ") + kIcc) != 0)
        GTEST_SKIP() << "exiftool or the sRGB profile missing";
    CxImage image = testing_support::MakeTestImage(16, 16, 24);
    image.Metadata().icc = testing_support::ReadFileBytes(kIcc);
    image.GrayScale();
    TempDir dir;
    const std::pair<const char*, std::uint32_t> targets[]
        = { { "gray.jpg", codec::kTypeJpg }, { "gray.png", codec::kTypePng }, { "gray.tif", codec::kTypeTif } };
    for (const auto& [name, type] : targets) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(image.Save(dir.File(name), type)) << image.GetLastError();
        EXPECT_EQ(ExifTool("-s3 -ICC_Profile:ProfileDescription " + dir.File(name)), "");
    }
    // A damaged profile that libpng refuses costs the profile, not the file.
    CxImage colour = testing_support::MakeTestImage(16, 16, 24);
    std::vector<std::uint8_t> junk(200, 0);
    std::copy_n("RGB ", 4, junk.begin() + 16);
    std::copy_n("acsp", 4, junk.begin() + 36);
    colour.Metadata().icc = junk;
    EXPECT_TRUE(colour.Save(dir.File("junk.png"), codec::kTypePng)) << colour.GetLastError();
    CxImage back;
    EXPECT_TRUE(back.Load(dir.File("junk.png")));
    EXPECT_TRUE(back.GetMetadata().icc.empty());
}

// PNG keeps EXIF in eXIf, which may also follow the image data; its orientation applies as a
// JPEG's does.
TEST(ImageMetadata, PngExifAfterTheImageDataTurnsThePicture)
{
    CxImage source = testing_support::MakeTestImage(20, 10, 24);
    source.Metadata().exif = ExifBlock(false, 3, 6);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(source.Encode(png, codec::kTypePng)) << source.GetLastError();

    // Move the eXIf chunk (its CRC covers only type and data) to just before IEND.
    auto chunkAt = [&](const char* type) {
        for (std::size_t p = 8; p + 12 <= png.size();) {
            const std::size_t length = std::size_t { png[p] } << 24 | png[p + 1] << 16 | png[p + 2] << 8 | png[p + 3];
            if (std::equal(type, type + 4, png.begin() + static_cast<std::ptrdiff_t>(p + 4)))
                return std::pair { p, length + 12 };
            p += length + 12;
        }
        return std::pair { png.size(), std::size_t { 0 } };
    };
    const auto [at, size] = chunkAt("eXIf");
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> chunk(
        png.begin() + static_cast<std::ptrdiff_t>(at), png.begin() + static_cast<std::ptrdiff_t>(at + size));
    png.erase(png.begin() + static_cast<std::ptrdiff_t>(at), png.begin() + static_cast<std::ptrdiff_t>(at + size));
    png.insert(png.begin() + static_cast<std::ptrdiff_t>(chunkAt("IEND").first), chunk.begin(), chunk.end());

    CxImage loaded;
    ASSERT_TRUE(loaded.Decode(png)) << loaded.GetLastError();
    EXPECT_TRUE(loaded.GetWarnings().empty());
    CxImage expected = source;
    expected.RotateRight();
    EXPECT_TRUE(testing_support::SamePixels(loaded, expected));
    EXPECT_EQ(codec::exif::Orientation(loaded.GetMetadata().exif), 1);
}
