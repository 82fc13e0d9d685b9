// A JPEG turned by the rotation commands and saved as JPEG is written without re-encoding: its
// decoded pixels equal those of jpegtran's lossless turn of the same file.

#include "codec/exif.h"
#include "core/document.h"
#include "support/netpbm.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using codec::CxImage;
using testing_support::RunCommand;
using testing_support::SaveTestJpeg;
using testing_support::ScriptedUi;
using testing_support::TempDir;

namespace {

// The file's pixels as djpeg decodes them (an independent decoder of the same library).
CxImage Decoded(const TempDir& dir, const std::string& jpeg)
{
    CxImage out;
    EXPECT_EQ(RunCommand("djpeg -pnm -outfile " + dir.File("decoded.ppm") + " " + jpeg), 0);
    EXPECT_TRUE(testing_support::ReadNetpbm(dir.File("decoded.ppm"), out));
    return out;
}

bool HaveTools()
{
    return testing_support::HaveTool("jpegtran") && testing_support::HaveTool("djpeg")
        && testing_support::HaveTool("exiftool");
}

} // namespace

TEST(LosslessRotation, TurnedJpegsMatchJpegtranAndKeepTheirOrientationUpright)
{
    if (!HaveTools())
        GTEST_SKIP() << "jpegtran, djpeg or exiftool missing";
    TempDir dir;
    const std::string photo = SaveTestJpeg(dir.File("photo.jpg"), 64, 48);
    // A phone photo stored sideways: orientation 6 (turn 90 clockwise to see it upright).
    const std::string phone = SaveTestJpeg(dir.File("phone.jpg"), 64, 48);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -n -EXIF:Orientation=6 " + phone), 0);

    struct Case {
        const char* name;
        std::string source;
        std::vector<int> turns; // 1 right, 2 half, 3 left
        const char* jpegtran; // the same turn of the stored picture
    };
    const std::vector<Case> cases = {
        { "right", photo, { 1 }, "-rotate 90" },
        { "half", photo, { 2 }, "-rotate 180" },
        { "left", photo, { 3 }, "-rotate 270" },
        { "left then half", photo, { 3, 2 }, "-rotate 90" },
        { "sideways photo turned left", phone, { 3 }, "" },
        { "sideways photo turned half", phone, { 2 }, "-rotate 270" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        core::CVardenDoc doc(ui);
        ASSERT_TRUE(doc.OnOpenDocument(c.source));
        for (int t : c.turns)
            t == 1 ? doc.RotateRight() : t == 2 ? doc.Rotate180() : doc.RotateLeft();
        const std::string out = dir.File("out.jpg");
        ASSERT_TRUE(doc.OnSaveDocument(out));
        EXPECT_EQ(ui.LastStatus(), "Successfully saved file " + out);

        ASSERT_EQ(RunCommand("jpegtran -perfect " + std::string(c.jpegtran) + " -outfile " + dir.File("ref.jpg") + " "
                      + c.source),
            0);
        CxImage expected = Decoded(dir, dir.File("ref.jpg"));
        CxImage written = Decoded(dir, out);
        std::string why;
        EXPECT_TRUE(testing_support::SamePixels(written, expected, &why)) << why;
        // What the view shows is what was written, but for the rounding of turned blocks.
        EXPECT_LE(testing_support::MaxChannelDiff(doc.Image(), written), 2);

        std::string orientation;
        RunCommand("exiftool -s3 -n -EXIF:Orientation " + out, &orientation);
        EXPECT_EQ(orientation, c.source == phone ? "1\n" : "");
    }
}

// A quarter turn swaps the horizontal and vertical resolution, as turning the decoded picture does.
TEST(LosslessRotation, QuarterTurnsSwapTheResolutions)
{
    TempDir dir;
    CxImage img = testing_support::MakeTestImage(64, 48, 24);
    img.SetXDPI(100);
    img.SetYDPI(200);
    ASSERT_TRUE(img.Save(dir.File("dpi.jpg"), codec::kTypeJpg));
    ScriptedUi ui;
    core::CVardenDoc doc(ui);
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("dpi.jpg")));
    doc.RotateLeft();
    ASSERT_TRUE(static_cast<bool>(doc.SaveTurnedJpeg(dir.File("out.jpg"))));
    CxImage back;
    ASSERT_TRUE(back.Load(dir.File("out.jpg")));
    EXPECT_EQ(back.GetXDPI(), 200);
    EXPECT_EQ(back.GetYDPI(), 100);
}

TEST(LosslessRotation, FallsBackToEncodingWhenTheTurnCannotBeExact)
{
    if (!HaveTools())
        GTEST_SKIP() << "jpegtran, djpeg or exiftool missing";
    TempDir dir;
    const std::string odd = SaveTestJpeg(dir.File("odd.jpg"), 61, 45); // edges inside 8 x 8 blocks
    const std::string even = SaveTestJpeg(dir.File("even.jpg"), 64, 48);

    struct Case {
        const char* name;
        std::string source;
        bool edit; // change a pixel after turning (as red-eye removal does)
    };
    for (const Case& c : { Case { "partial blocks", odd, false }, Case { "changed pixels", even, true } }) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        core::CVardenDoc doc(ui);
        ASSERT_TRUE(doc.OnOpenDocument(c.source));
        doc.RotateRight();
        if (c.edit)
            doc.Image().SetPixelColor(3, 3, codec::RGBQuad { 255, 0, 0, 255 });
        EXPECT_EQ(doc.SaveTurnedJpeg(dir.File("lossless.jpg")).status, codec::Status::Unsupported);
        EXPECT_FALSE(std::filesystem::exists(dir.File("lossless.jpg")));

        // Save still writes the picture shown, encoded again.
        ASSERT_TRUE(doc.OnSaveDocument(dir.File("out.jpg")));
        CxImage written;
        ASSERT_TRUE(written.Load(dir.File("out.jpg")));
        EXPECT_EQ(written.GetWidth(), doc.Image().GetWidth());
        EXPECT_GT(testing_support::Psnr(written, doc.Image()), 30.0);
    }
}
