#include "tiff/multipage_tiff.h"

#include "support/netpbm.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using namespace testing_support;

namespace {

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0;
}

// Each page as libtiff's own tool reads it: "WxH bits/sample x samples/pixel".
std::vector<std::string> PageLayouts(const std::string& path)
{
    std::string info;
    if (RunCommand("tiffinfo '" + path + "' 2>&1", &info) != 0)
        return { "tiffinfo failed: " + info };
    std::vector<std::string> pages;
    std::istringstream in(info);
    std::string line;
    while (std::getline(in, line)) {
        unsigned w = 0, h = 0, n = 0;
        if (std::sscanf(line.c_str(), "  Image Width: %u Image Length: %u", &w, &h) == 2)
            pages.push_back(std::to_string(w) + "x" + std::to_string(h));
        else if (std::sscanf(line.c_str(), "  Bits/Sample: %u", &n) == 1 && !pages.empty())
            pages.back() += " " + std::to_string(n);
        else if (std::sscanf(line.c_str(), "  Samples/Pixel: %u", &n) == 1 && !pages.empty())
            pages.back() += "x" + std::to_string(n);
    }
    return pages;
}

struct Sources {
    TempDir dir;
    std::string Write(const std::string& name, codec::CxImage image, std::uint32_t type)
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(image.Save(path, type)) << image.GetLastError();
        return path;
    }
};

} // namespace

TEST(MultipageTiff, PageIIsFileIWithItsOwnSizeAndDepth)
{
    Sources s;
    codec::CxImage bilevel(20, 12, 1);
    bilevel.Palette()[0] = { 0, 0, 0 };
    bilevel.Palette()[1] = { 255, 255, 255 };
    for (std::uint32_t y = 0; y < 12; ++y)
        for (std::uint32_t x = 0; x < 20; ++x)
            bilevel.Row(y)[x] = (x + y) % 3 == 0;
    const std::string rgb = s.Write("photo.png", MakeTestImage(31, 17, 24), codec::kTypePng);
    const std::string palette = s.Write("icon.gif", MakeTestImage(9, 14, 8), codec::kTypeGif);
    const std::string rgba = s.Write("alpha.png", MakeTestImage(13, 5, 32), codec::kTypePng);
    const std::string bw = s.Write("scan.bmp", bilevel, codec::kTypeBmp);
    // A PNG whose name the registry knows no type for: read by its content.
    const std::string unknown = s.dir.File("mystery.dat");
    ASSERT_EQ(RunCommand("cp '" + rgb + "' '" + unknown + "'"), 0);

    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> layouts;
    };
    const std::vector<Case> cases = {
        { "one file", { rgb }, { "31x17 8x3" } },
        { "the same file twice", { palette, palette }, { "9x14 8x1", "9x14 8x1" } },
        { "unknown extension", { unknown }, { "31x17 8x3" } },
        { "every depth, in list order",
            { bw, rgba, palette, rgb },
            { "20x12 1x1", "13x5 8x4", "9x14 8x1", "31x17 8x3" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = s.dir.File("out.tiff");
        std::vector<tiff::BuildError> errors;
        ASSERT_TRUE(tiff::BuildMultipageTiff(&c.files, target, &errors));
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(PageLayouts(target), c.layouts);
        // Each page holds its file's pixels, as an independent reader sees them.
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            codec::CxImage source, page;
            ASSERT_TRUE(source.Load(c.files[i], 0));
            std::string why;
            ASSERT_TRUE(ImageMagickPixels(target, static_cast<int>(i), page, &why)) << why;
            EXPECT_TRUE(SameVisible(source, page, true, &why)) << "page " << i << ": " << why;
        }
    }
}

TEST(MultipageTiff, AnyFailureTriesEveryFileShowsOneMessageAndWritesNothing)
{
    Sources s;
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(s.Write("page" + std::to_string(i) + ".png", MakeTestImage(8, 8, 24), codec::kTypePng));
    // The third cannot be read, nor can the last: finding the last shows the run went on.
    WriteFileBytes(files[2], { 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e' });
    files[9] = s.dir.File("missing.png");

    const std::string fresh = s.dir.File("fresh.tiff");
    const std::string existing = s.dir.File("existing.tiff");
    WriteFileBytes(existing, { 1, 2, 3 });
    for (const std::string& target : { fresh, existing }) {
        SCOPED_TRACE(target);
        ScriptedUi ui;
        std::vector<tiff::BuildError> errors;
        EXPECT_FALSE(tiff::CreateMultipageTiff(ui, files, target, &errors));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Error while creating multipage tiff file");
        EXPECT_EQ(ui.boxes[0].caption, "Error");
        EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::Warning);
        EXPECT_FALSE(ui.boxes[0].question);
        ASSERT_EQ(errors.size(), 2u);
        EXPECT_EQ(errors[0].path, files[2]);
        EXPECT_EQ(errors[1].path, files[9]);
    }
    // No file of the build's own; what was there before stays as it was.
    EXPECT_FALSE(Exists(fresh));
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t> { 1, 2, 3 }));
    std::string listing;
    RunCommand("ls -A '" + s.dir.path() + "' | grep -v '^page' ", &listing);
    EXPECT_EQ(listing, "existing.tiff\n");

    // A target that cannot be written: the same single message.
    ScriptedUi ui;
    const std::vector<std::string> good(files.begin(), files.begin() + 2);
    EXPECT_FALSE(tiff::CreateMultipageTiff(ui, good, s.dir.File("no/such/folder.tiff")));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error while creating multipage tiff file");
    const std::vector<std::string> none;
    EXPECT_FALSE(tiff::BuildMultipageTiff(&none, fresh));
    EXPECT_FALSE(tiff::BuildMultipageTiff(nullptr, fresh));
    EXPECT_FALSE(Exists(fresh));
}

TEST(MultipageTiff, ExistingTargetIsReplacedAndATargetThatIsAPageKeepsItsContent)
{
    Sources s;
    const std::string a = s.Write("a.png", MakeTestImage(10, 6, 24), codec::kTypePng);
    const codec::CxImage old = MakeTestImage(7, 9, 8);
    const std::string target = s.Write("book.tif", old, codec::kTypeTif);
    const std::vector<std::string> files { a, target, a };
    ScriptedUi ui;
    ASSERT_TRUE(tiff::CreateMultipageTiff(ui, files, target));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(PageLayouts(target), (std::vector<std::string> { "10x6 8x3", "7x9 8x1", "10x6 8x3" }));
    codec::CxImage page;
    std::string why;
    ASSERT_TRUE(ImageMagickPixels(target, 1, page, &why)) << why;
    EXPECT_TRUE(SameVisible(old, page, true, &why)) << why;
}
