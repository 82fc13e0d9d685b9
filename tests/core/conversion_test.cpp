#include "core/conversion.h"
#include "core/registry.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;
using core::ConversionOptions;
using testing_support::ScriptedUi;
using testing_support::TempDir;

namespace {

const char* kRgbCaption = "Gray- scale or RGB image?";
const char* kGifCaption = "GIF with more than 8 bpp detected.";

/// A document holding a test image, with a clock that never moves.
struct Fixture {
    ScriptedUi ui;
    core::CVardenDoc doc { ui, [] { return std::int64_t { 7 }; } };
    TempDir dir;

    explicit Fixture(std::uint32_t w = 40, std::uint32_t h = 30, std::uint32_t bpp = 24)
    {
        doc.Image() = testing_support::MakeTestImage(w, h, bpp);
        doc.Image().SetType(codec::kTypePng);
        doc.Image().SetXDPI(72);
        doc.Image().SetYDPI(72);
    }
    ConversionOptions Options(std::uint32_t type, const std::string& name, std::uint32_t bpp)
    {
        ConversionOptions o;
        o.targetType = type;
        o.path = dir.File(name);
        o.width = doc.Image().GetWidth();
        o.height = doc.Image().GetHeight();
        o.bpp = bpp;
        o.dpi = 72;
        return o;
    }
    /// Runs the command with the dialog answered by `options`.
    void Command(const ConversionOptions& options)
    {
        core::ConvertImageCommand(
            doc, options.targetType, [&](std::uint32_t) { return options; }, ui);
    }
};

} // namespace

TEST(Conversion, RgbQuestionYesWritesColourNoWritesGray)
{
    Fixture f;
    f.ui.answers = { true };
    f.Command(f.Options(codec::kTypeJpg, "yes.jpg", 8));
    ASSERT_EQ(f.ui.boxes.size(), 2u);
    EXPECT_TRUE(f.ui.boxes[0].question);
    EXPECT_EQ(f.ui.boxes[0].caption, kRgbCaption);
    EXPECT_EQ(f.ui.boxes[0].icon, core::MessageIcon::Information);
    EXPECT_EQ(f.ui.boxes[0].text,
        "You have selected Joint Photographic Experts Group File which either must be in RGB or gray- scale "
        "format.\nShould the target image be converted as RGB or gray- scale image?\nPress YES for RGB mode (changing "
        "8 "
        "to 24 bpp) or NO for gray- scale mode.");
    EXPECT_EQ(f.ui.boxes[1].caption, "Successfully converted file");
    CxImage yes;
    ASSERT_TRUE(yes.Load(f.dir.File("yes.jpg"), 0));
    EXPECT_EQ(yes.GetBpp(), 24u);
    EXPECT_FALSE(yes.IsGrayScale());

    f.ui.answers = { false };
    f.Command(f.Options(codec::kTypeJpg, "no.jpg", 8));
    CxImage no;
    ASSERT_TRUE(no.Load(f.dir.File("no.jpg"), 0));
    EXPECT_EQ(no.GetBpp(), 8u);
    EXPECT_TRUE(no.IsGrayScale());
    EXPECT_EQ(f.ui.unexpectedQuestions, 0);
}

TEST(Conversion, QuestionsAskedOnlyWhereTheyApply)
{
    Fixture f;
    ConversionOptions ticked = f.Options(codec::kTypeJpg, "ticked.jpg", 8);
    ticked.grayScale = true;
    EXPECT_TRUE(core::DecideColourDepth(ticked, f.ui).grayScale);
    EXPECT_TRUE(core::DecideColourDepth(f.Options(codec::kTypePgx, "a.pgx", 8), f.ui).grayScale);
    EXPECT_TRUE(core::DecideColourDepth(f.Options(codec::kTypePgx, "a.pgx", 24), f.ui).grayScale);
    EXPECT_FALSE(core::DecideColourDepth(f.Options(codec::kTypeJpg, "a.jpg", 24), f.ui).grayScale);
    EXPECT_FALSE(core::DecideColourDepth(f.Options(codec::kTypePng, "a.png", 8), f.ui).grayScale);
    EXPECT_TRUE(f.ui.boxes.empty());
    // Each of JPEG 2000, JPC, PNM and RAS asks at 8 bits or less.
    for (std::uint32_t type : { codec::kTypeJp2, codec::kTypeJpc, codec::kTypePnm, codec::kTypeRas }) {
        f.ui.answers = { false };
        ConversionOptions o = core::DecideColourDepth(f.Options(type, "x", 1), f.ui);
        EXPECT_TRUE(o.grayScale);
        EXPECT_EQ(o.bpp, 1u);
    }
    EXPECT_EQ(f.ui.boxes.size(), 4u);
    EXPECT_EQ(f.ui.unexpectedQuestions, 0);
}

TEST(Conversion, GifQuestionYesReducesTo8NoKeeps24)
{
    Fixture f;
    f.ui.answers = { true };
    f.Command(f.Options(codec::kTypeGif, "yes.gif", 24));
    ASSERT_GE(f.ui.boxes.size(), 1u);
    EXPECT_EQ(f.ui.boxes[0].caption, kGifCaption);
    EXPECT_EQ(f.ui.boxes[0].text,
        "Your are about to convert a gif image with more than 8 bits per pixel.\nThese images can't be displayed by "
        "the "
        "most conventional image viewers.\nClick YES if you want to convert the image with 8 bpp otherwise NO.");
    CxImage yes;
    ASSERT_TRUE(yes.Load(f.dir.File("yes.gif"), 0));
    EXPECT_EQ(yes.GetBpp(), 8u);

    f.ui.answers = { false };
    ConversionOptions o = core::DecideColourDepth(f.Options(codec::kTypeGif, "no.gif", 24), f.ui);
    EXPECT_EQ(o.bpp, 24u);
}

TEST(Conversion, StepsInOrderAndSuccessTextNamesTheFileOnly)
{
    Fixture f(800, 600);
    ConversionOptions o = f.Options(codec::kTypePng, "photo.png", 24);
    o.width = 640;
    o.height = 480;
    o.dpi = 200;
    core::ConversionOutcome outcome = core::ConvertImage(f.doc, o);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.message, "Successfully converted file photo.png with a size of 640 x 480 in 0 seconds");
    EXPECT_EQ(f.ui.LastStatus(), outcome.message);
    CxImage out;
    ASSERT_TRUE(out.Load(o.path, 0));
    EXPECT_EQ(out.GetWidth(), 640u);
    EXPECT_EQ(out.GetHeight(), 480u);
    EXPECT_EQ(out.GetXDPI(), 200);
    EXPECT_EQ(out.GetYDPI(), 200);
    // The document's image is untouched.
    EXPECT_EQ(f.doc.Image().GetWidth(), 800u);
    EXPECT_EQ(f.doc.Image().GetXDPI(), 72);
}

TEST(Conversion, PgxIsGrayAndDepthChangesBothWays)
{
    Fixture f;
    ASSERT_TRUE(core::ConvertImage(f.doc, f.Options(codec::kTypePgx, "g.pgx", 24)).ok);
    CxImage pgx;
    ASSERT_TRUE(pgx.Load(f.dir.File("g.pgx"), 0));
    EXPECT_TRUE(pgx.IsGrayScale());

    Fixture indexed(16, 16, 8);
    ASSERT_TRUE(core::ConvertImage(indexed.doc, indexed.Options(codec::kTypeBmp, "up.bmp", 24)).ok);
    CxImage up;
    ASSERT_TRUE(up.Load(indexed.dir.File("up.bmp"), 0));
    EXPECT_EQ(up.GetBpp(), 24u);
    EXPECT_TRUE(testing_support::SamePixels(up, indexed.doc.Image()));

    ASSERT_TRUE(core::ConvertImage(f.doc, f.Options(codec::kTypeBmp, "down.bmp", 1)).ok);
    CxImage down;
    ASSERT_TRUE(down.Load(f.dir.File("down.bmp"), 0));
    EXPECT_EQ(down.GetBpp(), 1u);
}

TEST(Conversion, FailedSaveLeavesTheEarlierFileAndNoPartialFile)
{
    Fixture f;
    core::ConversionOutcome missingFolder = core::ConvertImage(f.doc, f.Options(codec::kTypePng, "no/dir/x.png", 24));
    EXPECT_FALSE(missingFolder.ok);
    EXPECT_EQ(missingFolder.message.rfind(
                  "Error while saving image file to: " + f.dir.File("no/dir/x.png") + "\nError:\t", 0),
        0u);

    // ICO cannot hold more than 256 x 256: the codec refuses, and the file that was there stays.
    Fixture big(300, 300);
    const std::string path = big.dir.File("keep.ico");
    testing_support::WriteFileBytes(path, { 'o', 'l', 'd' });
    ConversionOptions o = big.Options(codec::kTypeIco, "keep.ico", 24);
    core::ConversionOutcome outcome = core::ConvertImage(big.doc, o);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(testing_support::ReadFileBytes(path), (std::vector<std::uint8_t> { 'o', 'l', 'd' }));
    std::string listing;
    testing_support::RunCommand("ls -A " + big.dir.path(), &listing);
    EXPECT_EQ(listing, "keep.ico\n");

    // The command shows the error with its caption and icon.
    big.ui.boxes.clear();
    big.Command(o);
    ASSERT_EQ(big.ui.boxes.size(), 1u);
    EXPECT_EQ(big.ui.boxes[0].caption, "Error while converting file");
    EXPECT_EQ(big.ui.boxes[0].icon, core::MessageIcon::Error);
}

TEST(Conversion, EmptyDocumentReportsFalseWithEmptyText)
{
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ConversionOptions o;
    o.targetType = codec::kTypePng;
    o.path = "/tmp/never-written.png";
    core::ConversionOutcome outcome = core::ConvertImage(doc, o);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(ui.statusTexts.empty());

    core::ExportDialogState s = core::PrepareConversionOptions(doc.Image(), codec::kTypePng);
    EXPECT_EQ(s.width, 0u);
    EXPECT_EQ(s.height, 0u);
}

TEST(ConversionDialog, ListsSelectOrAppendExactText)
{
    CxImage oneBit(10, 10, 1);
    oneBit.SetXDPI(30);
    core::ExportDialogState s = core::PrepareConversionOptions(oneBit, codec::kTypePng);
    core::ExportDialogInit(s);
    EXPECT_EQ(s.bppList, (std::vector<std::string> { "1", "8", "16", "24", "32" }));
    EXPECT_EQ(s.bppSelected, 0);
    EXPECT_EQ(s.dpiList, (std::vector<std::string> { "72", "96", "150", "300", "600", "30" }));
    EXPECT_EQ(s.dpiSelected, 5);

    CxImage fourBit(10, 10, 4);
    s = core::PrepareConversionOptions(fourBit, codec::kTypePng);
    core::ExportDialogInit(s);
    EXPECT_EQ(s.bppList.back(), "4");
    EXPECT_EQ(s.bppSelected, 5);
    EXPECT_EQ(s.dpiText, "0");
    EXPECT_EQ(s.dpiList.back(), "0");
}

TEST(ConversionDialog, WbmpListIsFixedToOne)
{
    CxImage colour(10, 10, 24);
    core::ExportDialogState s = core::PrepareConversionOptions(colour, codec::kTypeWbmp);
    core::ExportDialogInit(s);
    EXPECT_EQ(s.bppText, "1");
    EXPECT_EQ(s.bppList[s.bppSelected], "1");
    EXPECT_FALSE(s.bppEnabled);

    // A 1-bit source leaves the list enabled.
    CxImage mono(10, 10, 1);
    s = core::PrepareConversionOptions(mono, codec::kTypeWbmp);
    core::ExportDialogInit(s);
    EXPECT_TRUE(s.bppEnabled);

    // A depth typed in anyway is put back to 1 with the message, and the name is accepted.
    ScriptedUi ui;
    s.bppText = "8";
    EXPECT_TRUE(core::ExportDialogFileNameOK(s, ui));
    EXPECT_EQ(s.bppText, "1");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, ".wbmp files must have 1 bit per pixel color- depth.");
    EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::Information);
}

TEST(ConversionDialog, IcoSizeFitAndRefusal)
{
    CxImage wide(1000, 500, 24);
    core::ExportDialogState s = core::PrepareConversionOptions(wide, codec::kTypeIco);
    core::ExportDialogInit(s);
    EXPECT_EQ(s.width, 255u);
    EXPECT_EQ(s.height, 127u);

    ScriptedUi ui;
    s.width = 300;
    core::ExportDialogLeaveWidth(s);
    EXPECT_EQ(s.height, 150u);
    EXPECT_FALSE(core::ExportDialogFileNameOK(s, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Files with the ico or wbmp format can't have a dimension bigger than 255 x 255");
    EXPECT_EQ(s.width, 255u);
    EXPECT_EQ(s.height, 127u);
    EXPECT_TRUE(core::ExportDialogFileNameOK(s, ui));

    CxImage tall(100, 1000, 24);
    s = core::PrepareConversionOptions(tall, codec::kTypeWbmp);
    core::ExportDialogInit(s);
    EXPECT_EQ(s.width, 25u);
    EXPECT_EQ(s.height, 255u);
}

TEST(ConversionDialog, KeepProportionsRecomputesFromTheSource)
{
    CxImage src(800, 600, 24);
    core::ExportDialogState s = core::PrepareConversionOptions(src, codec::kTypePng);
    core::ExportDialogInit(s);
    s.width = 400;
    core::ExportDialogLeaveWidth(s);
    EXPECT_EQ(s.height, 300u);
    s.width = 333;
    core::ExportDialogLeaveWidth(s);
    EXPECT_EQ(s.height, 250u);
    s.height = 300;
    core::ExportDialogLeaveHeight(s);
    EXPECT_EQ(s.width, 400u);
    s.width = 0;
    core::ExportDialogLeaveWidth(s);
    EXPECT_EQ(s.height, 0u);

    s.keepProportions = false;
    s.width = 100;
    s.height = 77;
    core::ExportDialogLeaveWidth(s);
    EXPECT_EQ(s.height, 77u);

    s.bppText = "16";
    s.dpiText = "200";
    ConversionOptions o = core::ExportDialogResult(s, "/out/x.png");
    EXPECT_EQ(o.bpp, 16u);
    EXPECT_EQ(o.dpi, 200);
    EXPECT_EQ(o.width, 100u);
    EXPECT_EQ(o.path, "/out/x.png");
}
