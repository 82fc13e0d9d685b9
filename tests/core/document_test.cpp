#include "core/document.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using codec::CxImage;
using testing_support::ScriptedUi;
using testing_support::TempDir;

namespace {

/// A clock that returns the given readings in turn.
core::Clock Readings(std::vector<std::int64_t> values)
{
    auto state = std::make_shared<std::pair<std::vector<std::int64_t>, std::size_t>>(std::move(values), 0);
    return [state] { return state->first[std::min(state->second++, state->first.size() - 1)]; };
}

std::string WriteImage(const TempDir& dir,
    const std::string& name,
    std::uint32_t w,
    std::uint32_t h,
    std::uint32_t bpp,
    std::uint32_t type)
{
    CxImage img = testing_support::MakeTestImage(w, h, bpp);
    EXPECT_TRUE(img.Save(dir.File(name), type)) << img.GetLastError();
    return dir.File(name);
}

} // namespace

TEST(Document, OpenReportsWholeSecondsOfWallClock)
{
    TempDir dir;
    const std::string path = WriteImage(dir, "a.bmp", 8, 6, 24, codec::kTypeBmp);
    ScriptedUi ui;
    core::CVardenDoc doc(ui, Readings({ 1000, 1075 }));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(ui.statusTexts,
        (std::vector<std::string> { "Loading file " + path, "File " + path + " successfully loaded in 75 seconds." }));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(doc.Image().GetWidth(), 8u);
    EXPECT_EQ(doc.Zoom(), 1.0f);
    EXPECT_FALSE(doc.IsModified());

    ScriptedUi ui2;
    core::CVardenDoc fast(ui2, Readings({ 50, 50 }));
    ASSERT_TRUE(fast.OnOpenDocument(path));
    EXPECT_EQ(ui2.LastStatus(), "File " + path + " successfully loaded in 0 seconds.");
}

TEST(Document, OpenRecognisesContentWhenTheExtensionIsUnknown)
{
    TempDir dir;
    WriteImage(dir, "a.bmp", 5, 4, 24, codec::kTypeBmp);
    std::rename(dir.File("a.bmp").c_str(), dir.File("scan.emf").c_str());
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("scan.emf")));
    EXPECT_EQ(doc.Image().GetType(), codec::kTypeBmp);
}

TEST(Document, OpenFailureShowsErrorBoxAndStatus)
{
    TempDir dir;
    testing_support::WriteFileBytes(dir.File("bad.png"), { 'n', 'o', 'p', 'e' });
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("bad.png")));
    ASSERT_EQ(ui.boxes.size(), 1u);
    const std::string prefix = "Error while opening file " + dir.File("bad.png") + "\n";
    EXPECT_EQ(ui.boxes[0].text.rfind(prefix, 0), 0u) << ui.boxes[0].text;
    EXPECT_GT(ui.boxes[0].text.size(), prefix.size()); // the codec's reason follows
    EXPECT_EQ(ui.boxes[0].caption, "Error while loading file");
    EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::Error);
    EXPECT_EQ(ui.boxes[0].owner, core::Owner::None);
    EXPECT_EQ(ui.LastStatus(), ui.boxes[0].text);

    ScriptedUi ui2;
    core::CVardenDoc missing(ui2);
    EXPECT_FALSE(missing.OnOpenDocument(dir.File("absent.png")));
    ASSERT_EQ(ui2.boxes.size(), 1u);
    EXPECT_EQ(ui2.boxes[0].text, "Failed to open document.");
    EXPECT_TRUE(ui2.statusTexts.empty());
}

TEST(Document, SaveWithoutKnownExtensionAppendsTheLoadedTypesDefault)
{
    TempDir dir;
    WriteImage(dir, "x.jpg", 6, 6, 24, codec::kTypeJpg);
    std::rename(dir.File("x.jpg").c_str(), dir.File("scan.emf").c_str());
    const auto before = testing_support::ReadFileBytes(dir.File("scan.emf"));
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("scan.emf")));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("scan.emf")));
    EXPECT_EQ(testing_support::ReadFileBytes(dir.File("scan.emf")), before);
    CxImage back;
    ASSERT_TRUE(back.Load(dir.File("scan.emf.jpg"), 0));
    EXPECT_EQ(back.GetType(), codec::kTypeJpg);
    EXPECT_EQ(ui.statusTexts[ui.statusTexts.size() - 2], "Saving image file " + dir.File("scan.emf.jpg"));
    EXPECT_EQ(ui.LastStatus(), "Successfully saved file " + dir.File("scan.emf.jpg"));
    EXPECT_TRUE(ui.waitCursorShown);
    EXPECT_EQ(ui.waitDepth, 0);
}

TEST(Document, SaveAppliesIcoWbmpAndPgxConstraintsToTheOpenImage)
{
    TempDir dir;
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "wide.bmp", 600, 300, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("picture.ico")));
    EXPECT_EQ(doc.Image().GetWidth(), 255u);
    EXPECT_EQ(doc.Image().GetHeight(), 127u);
    EXPECT_EQ(doc.Image().GetBpp(), 8u);

    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "small.bmp", 200, 100, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("small.ico")));
    EXPECT_EQ(doc.Image().GetWidth(), 200u);
    EXPECT_EQ(doc.Image().GetBpp(), 24u);

    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "square.bmp", 300, 300, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("picture.wbmp")));
    CxImage wbmp;
    ASSERT_TRUE(wbmp.Load(dir.File("picture.wbmp"), codec::kTypeWbmp));
    EXPECT_EQ(wbmp.GetBpp(), 1u);
    EXPECT_EQ(wbmp.GetWidth(), 255u);
    EXPECT_EQ(wbmp.GetHeight(), 255u);

    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "tiny.bmp", 20, 10, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("tiny.wbmp")));
    EXPECT_EQ(doc.Image().GetBpp(), 1u);
    EXPECT_EQ(doc.Image().GetWidth(), 20u);

    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "colour.bmp", 20, 10, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("picture.pgx")));
    EXPECT_TRUE(doc.Image().IsGrayScale());
    CxImage pgx;
    ASSERT_TRUE(pgx.Load(dir.File("picture.pgx"), codec::kTypePgx));
    EXPECT_TRUE(pgx.IsGrayScale());
}

TEST(Document, SaveLowerCasesTheExtensionAndTurnsBackslashesIntoSlashes)
{
    TempDir dir;
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "a.bmp", 9, 7, 24, codec::kTypeBmp)));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("picture.TIF")));
    CxImage tif;
    ASSERT_TRUE(tif.Load(dir.File("picture.TIF"), 0));
    EXPECT_EQ(tif.GetType(), codec::kTypeTif);

    // A path with "\" separators reaches the codec with "/" only.
    std::uint32_t type = 0;
    EXPECT_EQ(doc.SaveTarget("C:\\pics\\back.png", &type), "C:/pics/back.png");
    EXPECT_EQ(type, codec::kTypePng);
    EXPECT_EQ(doc.SaveTarget(dir.path() + "//sub//back.PNG", &type), dir.path() + "/sub/back.PNG");
    ASSERT_TRUE(doc.OnSaveDocument(dir.path() + "//back.png"));
    EXPECT_EQ(ui.LastStatus(), "Successfully saved file " + dir.path() + "/back.png");
}

TEST(Document, FailedSaveKeepsTheEarlierFileAndSaysSo)
{
    TempDir dir;
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(WriteImage(dir, "a.bmp", 9, 7, 24, codec::kTypeBmp)));
    // A folder that does not exist: the pre-save check says so, the codec's failure does not.
    EXPECT_FALSE(doc.OnSaveDocument(dir.File("nowhere/x.png")));
    EXPECT_EQ(ui.LastStatus(), "\xC3\x8Arror while saving file " + dir.File("nowhere/x.png"));
    ASSERT_EQ(ui.boxes.size(), 1u);
    ui.boxes.clear();
    // A codec failure alone (an empty new document) reports through the status bar only.
    core::CVardenDoc empty(ui);
    ASSERT_TRUE(empty.OnNewDocument());
    EXPECT_FALSE(empty.OnSaveDocument(dir.File("empty.png")));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.LastStatus(), "\xC3\x8Arror while saving file " + dir.File("empty.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.png")));

    // A read-only file is reported, and neither emptied nor replaced.
    const std::string locked = dir.File("locked.png");
    testing_support::WriteFileBytes(locked, { 1, 2, 3 });
    ::chmod(locked.c_str(), 0444);
    EXPECT_FALSE(doc.OnSaveDocument(locked));
    EXPECT_EQ(testing_support::ReadFileBytes(locked), (std::vector<std::uint8_t> { 1, 2, 3 }));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Unable to write to " + locked + ", it is read-only or opened by someone else.");
    EXPECT_EQ(ui.LastStatus(), "\xC3\x8Arror while saving file " + locked);
}

TEST(Document, FitTo255KeepsProportion)
{
    std::uint32_t w, h;
    core::FitTo255(600, 300, w, h);
    EXPECT_EQ(w, 255u);
    EXPECT_EQ(h, 127u);
    core::FitTo255(300, 300, w, h);
    EXPECT_EQ(w, 255u);
    EXPECT_EQ(h, 255u);
    core::FitTo255(100, 1000, w, h);
    EXPECT_EQ(w, 25u);
    EXPECT_EQ(h, 255u);
}
