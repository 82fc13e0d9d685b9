// EXIF orientation and metadata carried through the readers and writers, with exiftool and
// ImageMagick as the independent oracles.

#include "codec/exif.h"
#include "codec/tiff_ifd.h"
#include "codec/ximage.h"
#include "support/netpbm.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
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

// EXIF (first directory, EXIF and GPS directories), XMP and the ICC profile go along from format
// to format, read back by exiftool at every step.
TEST(ImageMetadata, TravelsThroughJpegPngAndTiff)
{
    if (!testing_support::HaveTool("exiftool") || !testing_support::HaveTool("convert")
        || RunCommand(std::string("test -f ") + kIcc) != 0)
        GTEST_SKIP() << "exiftool, ImageMagick or the sRGB profile missing";
    TempDir dir;
    CxImage start = testing_support::MakeTestImage(40, 30, 24);
    ASSERT_TRUE(start.Save(dir.File("plain.png"), codec::kTypePng));
    ASSERT_EQ(RunCommand("convert " + dir.File("plain.png") + " -profile " + kIcc + " " + dir.File("0.png")), 0);
    ExifTool("-overwrite_original -EXIF:Make=Pelmora '-EXIF:DateTimeOriginal=2024:05:06 07:08:09' "
             "-GPSLatitude=48.5 -GPSLatitudeRef=N -XMP-dc:Title=Turned "
        + dir.File("0.png"));

    // exiftool writes EXIF big-endian; the TIFF is little-endian, so the tags go through a change
    // of byte order and two relocations.
    std::string from = dir.File("0.png");
    for (const auto& [file, type] : std::vector<std::pair<const char*, std::uint32_t>> { { "1.jpg", codec::kTypeJpg },
             { "2.png", codec::kTypePng },
             { "3.tif", codec::kTypeTif },
             { "4.jpg", codec::kTypeJpg },
             { "5.tif", codec::kTypeTif },
             { "6.png", codec::kTypePng } }) {
        SCOPED_TRACE(file);
        CxImage image;
        ASSERT_TRUE(image.Load(from)) << image.GetLastError();
        ASSERT_TRUE(image.Save(dir.File(file), type)) << image.GetLastError();
        const std::string tags = ExifTool("-n -s3 -EXIF:Make -EXIF:DateTimeOriginal -GPS:GPSLatitude -XMP-dc:Title "
                                          "-ICC_Profile:ProfileDescription "
            + dir.File(file));
        EXPECT_EQ(tags, "Pelmora\n2024:05:06 07:08:09\n48.5\nTurned\nArtifex Software sRGB ICC Profile\n");
        EXPECT_EQ(ExifTool("-a -s -Warning -Error " + dir.File(file)), "") << "exiftool cannot read the file cleanly";
        from = dir.File(file);
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

namespace {

// A directory as text, sub-directories in brackets: "tag:type:count:value-hex ...".
std::string Dump(const codec::ifd::Directory& dir)
{
    std::string out;
    char buf[32];
    for (const codec::ifd::Entry& e : dir.entries) {
        std::snprintf(buf, sizeof buf, "%u:%u:%u:", e.tag, e.type, e.count);
        out += buf;
        for (std::uint8_t b : e.value) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            out += buf;
        }
        if (e.sub)
            out += "[" + Dump(*e.sub) + "]";
        out += " ";
    }
    return out;
}

codec::ifd::Entry Values(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::vector<std::uint8_t> le)
{
    return { tag, type, count, std::move(le), {} };
}

// A file of `dir` after an 8-byte header, in the given order.
std::vector<std::uint8_t> TiffOf(const codec::ifd::Directory& dir, bool big)
{
    std::vector<std::uint8_t> file = big ? std::vector<std::uint8_t> { 'M', 'M', 0, 42, 0, 0, 0, 8 }
                                         : std::vector<std::uint8_t> { 'I', 'I', 42, 0, 8, 0, 0, 0 };
    const std::vector<std::uint8_t> body = codec::ifd::Write(dir, 8, big);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

} // namespace

// The directories EXIF lives in come from files: whatever is there is read, in either byte order,
// and written back the same; what is not there is left out, never read past the bytes.
TEST(TiffDirectories, ReadWhatIsThereAndWriteItBackInEitherOrder)
{
    using codec::ifd::Directory;
    auto interop = std::make_shared<Directory>();
    interop->entries = { Values(1, 2, 4, { 'R', '9', '8', 0 }) };
    auto exif = std::make_shared<Directory>();
    exif->entries = { Values(33434, 5, 1, { 1, 0, 0, 0, 0xF4, 1, 0, 0 }), // 1/500 s
        Values(37500, 7, 6, { 1, 2, 3, 4, 5, 6 }),
        { codec::ifd::kInteropIfdTag, 4, 1, {}, interop } };
    Directory dir;
    dir.entries = { Values(271, 2, 9, { 'P', 'e', 'l', 'm', 'o', 'r', 'a', '!', 0 }),
        Values(274, 3, 1, { 6, 0 }),
        Values(296, 3, 3, { 1, 0, 2, 0, 3, 0 }),
        { codec::ifd::kExifIfdTag, 4, 1, {}, exif } };
    const std::string expected = Dump(dir);
    for (bool big : { false, true }) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        const std::vector<std::uint8_t> file = TiffOf(dir, big);
        std::optional<Directory> back = codec::ifd::Read(file, 8);
        ASSERT_TRUE(back);
        EXPECT_EQ(Dump(*back), expected);
        // The orientation sits where the older parser finds it, in either order.
        EXPECT_EQ(codec::exif::Orientation(file), 6);
    }
    std::optional<Directory> block = codec::ifd::ReadBlock(codec::ifd::Block(dir));
    ASSERT_TRUE(block);
    EXPECT_EQ(Dump(*block), expected);

    // Damage, each in the little-endian file: entry 0 holds Make (9 bytes elsewhere), entry 3
    // the EXIF pointer.
    const std::vector<std::uint8_t> good = TiffOf(dir, false);
    auto entry = [](std::size_t i) { return 8 + 2 + 12 * i; };
    struct Case {
        const char* name;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
        std::string lost; // the first tag gone, or "all" when nothing is read
    };
    const std::vector<Case> cases = {
        { "value past the end", entry(0) + 8, { 0xF0, 0xFF, 0xFF, 0xFF }, "271" },
        { "count of 4 G values", entry(0) + 4, { 0xFF, 0xFF, 0xFF, 0xFF }, "271" },
        { "unknown type", entry(0) + 2, { 99, 0 }, "271" },
        { "EXIF pointer past the end", entry(3) + 8, { 0xF0, 0xFF, 0xFF, 0xFF }, "34665" },
        { "EXIF pointer to itself", entry(3) + 8, { 8, 0, 0, 0 }, "" },
        { "500 entries claimed", 8, { 0xF4, 0x01 }, "" },
        { "directory past the end", 4, { 0xF0, 0xFF, 0xFF, 0xFF }, "all" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bad = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(c.at));
        const std::uint32_t first = bad[4] | bad[5] << 8 | bad[6] << 16 | std::uint32_t { bad[7] } << 24;
        std::optional<Directory> got = codec::ifd::Read(bad, first);
        if (c.lost == "all") {
            EXPECT_FALSE(got);
            continue;
        }
        ASSERT_TRUE(got);
        const std::string text = Dump(*got);
        if (!c.lost.empty()) {
            EXPECT_EQ(text.find(c.lost + ":"), std::string::npos) << text;
        }
        // What was read writes out and reads back the same.
        std::optional<Directory> again = codec::ifd::ReadBlock(codec::ifd::Block(*got));
        ASSERT_TRUE(again);
        EXPECT_EQ(Dump(*again), text);
    }

    // A fan of pointers back to the directory itself: one is followed, two levels deep.
    std::vector<std::uint8_t> fan { 'I', 'I', 42, 0, 8, 0, 0, 0, 0xE8, 0x03 }; // 1000 entries
    for (int i = 0; i < 1000; ++i)
        fan.insert(fan.end(), { 0x69, 0x87, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0 });
    std::optional<Directory> looped = codec::ifd::Read(fan, 8);
    ASSERT_TRUE(looped);
    EXPECT_EQ(Dump(*looped), "34665:4:1:[34665:4:1:[] ] ");
}
