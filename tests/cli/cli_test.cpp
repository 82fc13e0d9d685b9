// pelmora-cli is run as a person would: whole outputs and exit codes are compared.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using codec::CxImage;
using testing_support::CliRun;
using testing_support::TempDir;

namespace {

/// The conversion message with its elapsed time read as 0: a loaded machine may take a second.
std::string AtZeroSeconds(const std::string& text)
{
    return std::regex_replace(text, std::regex(" in [0-9]+ seconds"), " in 0 seconds");
}

std::string Save(const TempDir& dir,
    const std::string& name,
    std::uint32_t w,
    std::uint32_t h,
    std::uint32_t bpp,
    std::uint32_t type,
    int dpi)
{
    CxImage img = testing_support::MakeTestImage(w, h, bpp);
    img.SetXDPI(dpi);
    img.SetYDPI(dpi);
    EXPECT_TRUE(img.Save(dir.File(name), type)) << name << ": " << img.GetLastError();
    return dir.File(name);
}

} // namespace

TEST(CliInfo, PrintsOneLinePerFileAndFailsOnUnreadable)
{
    TempDir dir;
    const std::string png = Save(dir, "a.png", 30, 20, 24, codec::kTypePng, 300);
    const std::string bmp = Save(dir, "b.bmp", 7, 5, 8, codec::kTypeBmp, 96);
    testing_support::WriteFileBytes(dir.File("bad.jpg"), { 1, 2, 3 });

    CliRun ok = testing_support::RunCli("info " + png + " " + bmp, dir);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out,
        png + ": Portable Network Graphics File 30x20 24 bpp 300 dpi\n" + bmp + ": Bitmap File 7x5 8 bpp 96 dpi\n");

    CliRun bad = testing_support::RunCli("info " + dir.File("bad.jpg") + " " + png, dir);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out.rfind(dir.File("bad.jpg") + ": error: ", 0), 0u) << bad.out;
    EXPECT_NE(bad.out.find(png + ": Portable Network Graphics File 30x20 24 bpp 300 dpi\n"), std::string::npos);

    CliRun json = testing_support::RunCli("info --json " + png, dir);
    EXPECT_EQ(json.out,
        "{\"path\": \"" + png
            + "\", \"ok\": true, \"type\": \"Portable Network Graphics File\", \"width\": 30, \"height\": 20, \"bpp\": "
              "24, \"dpi\": 300, \"warnings\": []}\n");
    EXPECT_EQ(json.err, "");

    EXPECT_EQ(testing_support::RunCli("info", dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("info --bogus x", dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("frobnicate", dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("--help", dir).status, 0);
    EXPECT_EQ(testing_support::RunCli("--version", dir).out.rfind("pelmora-cli ", 0), 0u);
}

TEST(CliConvert, DefaultsKeepTheSourceAndTheMessageGoesToStdout)
{
    TempDir dir;
    const std::string src = Save(dir, "src.png", 64, 48, 24, codec::kTypePng, 150);
    CliRun r = testing_support::RunCli("convert " + src + " " + dir.File("out.bmp"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(AtZeroSeconds(r.out), "Successfully converted file out.bmp with a size of 64 x 48 in 0 seconds\n");
    CxImage out;
    ASSERT_TRUE(out.Load(dir.File("out.bmp"), 0));
    EXPECT_EQ(out.GetBpp(), 24u);
    EXPECT_EQ(out.GetXDPI(), 150);
}

TEST(CliConvert, SizeFlagsFollowTheDialogRules)
{
    TempDir dir;
    const std::string src = Save(dir, "src.png", 800, 600, 24, codec::kTypePng, 72);
    ASSERT_EQ(testing_support::RunCli("convert -q " + src + " " + dir.File("w.png") + " --width 333", dir).status, 0);
    CxImage w;
    ASSERT_TRUE(w.Load(dir.File("w.png"), 0));
    EXPECT_EQ(w.GetWidth(), 333u);
    EXPECT_EQ(w.GetHeight(), 250u);

    ASSERT_EQ(testing_support::RunCli("convert -q " + src + " " + dir.File("h.png") + " --height=300", dir).status, 0);
    CxImage h;
    ASSERT_TRUE(h.Load(dir.File("h.png"), 0));
    EXPECT_EQ(h.GetWidth(), 400u);

    ASSERT_EQ(testing_support::RunCli(
                  "convert -q " + src + " " + dir.File("n.png") + " --width 100 --no-keep-proportions", dir)
                  .status,
        0);
    CxImage n;
    ASSERT_TRUE(n.Load(dir.File("n.png"), 0));
    EXPECT_EQ(n.GetWidth(), 100u);
    EXPECT_EQ(n.GetHeight(), 600u);

    // ICO: fitted after the message, which is not an error.
    CliRun ico = testing_support::RunCli("convert -q " + src + " " + dir.File("i.ico") + " --width 300", dir);
    ASSERT_EQ(ico.status, 0) << ico.err;
    EXPECT_NE(ico.err.find("Files with the ico or wbmp format can't have a dimension bigger than 255 x 255"),
        std::string::npos);
    EXPECT_EQ(AtZeroSeconds(ico.out), "Successfully converted file i.ico with a size of 255 x 191 in 0 seconds\n");
}

TEST(CliConvert, QuestionFlags)
{
    TempDir dir;
    const std::string src = Save(dir, "src.png", 32, 32, 24, codec::kTypePng, 72);
    CliRun rgb = testing_support::RunCli("convert -q " + src + " " + dir.File("rgb.jpg") + " --bpp 8", dir);
    ASSERT_EQ(rgb.status, 0) << rgb.err;
    EXPECT_NE(rgb.err.find("note:"), std::string::npos);
    CxImage a;
    ASSERT_TRUE(a.Load(dir.File("rgb.jpg"), 0));
    EXPECT_EQ(a.GetBpp(), 24u);

    CliRun gray = testing_support::RunCli("convert -q " + src + " " + dir.File("gray.jpg") + " --bpp 8 --gray", dir);
    ASSERT_EQ(gray.status, 0) << gray.err;
    EXPECT_EQ(gray.err, "");
    CxImage g;
    ASSERT_TRUE(g.Load(dir.File("gray.jpg"), 0));
    EXPECT_EQ(g.GetBpp(), 8u);
    EXPECT_TRUE(g.IsGrayScale());

    ASSERT_EQ(testing_support::RunCli("convert -q " + src + " " + dir.File("x.gif"), dir).status, 0);
    CxImage gif8;
    ASSERT_TRUE(gif8.Load(dir.File("x.gif"), 0));
    EXPECT_EQ(gif8.GetBpp(), 8u);

    ASSERT_EQ(testing_support::RunCli("convert -q " + src + " " + dir.File("w.wbmp"), dir).status, 0);
    CxImage wbmp;
    ASSERT_TRUE(wbmp.Load(dir.File("w.wbmp"), 0));
    EXPECT_EQ(wbmp.GetBpp(), 1u);
}

TEST(CliConvert, EveryFormatIsWrittenAndReadBack)
{
    TempDir dir;
    const std::string src = Save(dir, "src.png", 40, 30, 24, codec::kTypePng, 72);
    const char* formats[]
        = { "bmp", "gif", "jpg", "png", "ico", "tif", "tga", "pcx", "wbmp", "wmf", "jp2", "jpc", "pgx", "pnm", "ras" };
    for (const char* f : formats) {
        const std::string out = dir.File(std::string("out.") + f);
        CliRun r = testing_support::RunCli("convert -q --rgb " + src + " " + out, dir);
        EXPECT_EQ(r.status, 0) << f << ": " << r.out << r.err;
        CxImage back;
        EXPECT_TRUE(back.Load(out, 0)) << f << ": " << back.GetLastError();
        EXPECT_EQ(back.GetWidth(), 40u) << f;
    }
}

TEST(CliConvert, UsageErrorsWriteNothing)
{
    TempDir dir;
    const std::string src = Save(dir, "src.png", 8, 8, 24, codec::kTypePng, 72);
    EXPECT_EQ(testing_support::RunCli("convert " + src + " " + dir.File("out.xyz"), dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("convert " + src + " " + dir.File("out.xyz") + " --type exr", dir).status, 2);
    CliRun neg = testing_support::RunCli("convert " + src + " " + dir.File("o.png") + " --width -5", dir);
    EXPECT_EQ(neg.status, 2);
    EXPECT_EQ(neg.err, "pelmora-cli: Please enter a positive integer.\n");
    EXPECT_EQ(testing_support::RunCli("convert " + src + " " + dir.File("o.png") + " --bpp 7", dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("convert " + src, dir).status, 2);
    EXPECT_EQ(testing_support::RunCli("convert " + src + " " + dir.File("o.png") + " --gray --rgb", dir).status, 2);
    // The extension-less DEST takes --type; no other file appears on failure.
    ASSERT_EQ(testing_support::RunCli("convert -q " + src + " " + dir.File("typed") + " --type .PNG", dir).status, 0);
    CxImage typed;
    ASSERT_TRUE(typed.Load(dir.File("typed"), 0));
    EXPECT_EQ(typed.GetType(), codec::kTypePng);

    CliRun missing = testing_support::RunCli("convert " + dir.File("absent.png") + " " + dir.File("o2.png"), dir);
    EXPECT_EQ(missing.status, 1);
    std::string listing;
    testing_support::RunCommand("ls " + dir.path(), &listing);
    EXPECT_EQ(listing, "src.png\ntyped\n");
}

TEST(CliConvert, RelativePathsAreNamedInTheMessage)
{
    TempDir dir;
    Save(dir, "src.png", 8, 8, 24, codec::kTypePng, 72);
    std::string out;
    const int status = testing_support::RunCommand(
        "cd " + dir.path() + " && " + std::string(PELMORA_CLI) + " convert -q src.png rel.bmp 2>/dev/null", &out);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(AtZeroSeconds(out), "Successfully converted file rel.bmp with a size of 8 x 8 in 0 seconds\n");
}

// A JPEG cut short is read as far as it goes; every command names the file in a warning line.
TEST(CliWarnings, AJpegCutShortIsUsedWithAWarningNamingTheFile)
{
    TempDir dir;
    const std::string whole = Save(dir, "whole.jpg", 64, 128, 24, codec::kTypeJpg, 72);
    std::vector<std::uint8_t> bytes = testing_support::ReadFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    const std::string cut = dir.File("cut.jpg");
    testing_support::WriteFileBytes(cut, bytes);
    const std::string warning = cut + ": warning: Premature end of JPEG file\n";

    CliRun info = testing_support::RunCli("info " + cut, dir);
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out, cut + ": Joint Photographic Experts Group File 64x128 24 bpp 72 dpi\n");
    EXPECT_NE(info.err.find(warning), std::string::npos) << info.err;
    // Every line on stderr is one of the file's warnings.
    std::istringstream lines(info.err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind(cut + ": warning: ", 0), 0u) << line;

    CliRun json = testing_support::RunCli("info --json " + cut + " " + whole, dir);
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"warnings\": [\"Premature end of JPEG file\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"path\": \"" + whole + "\", \"ok\": true"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"dpi\": 72, \"warnings\": []}\n"), std::string::npos) << json.out;
    EXPECT_NE(json.err.find(warning), std::string::npos) << json.err;
    EXPECT_EQ(json.err.find(whole + ":"), std::string::npos) << json.err;

    CliRun convert = testing_support::RunCli("convert -q " + cut + " " + dir.File("out.png"), dir);
    EXPECT_EQ(convert.status, 0);
    EXPECT_EQ(AtZeroSeconds(convert.out), "Successfully converted file out.png with a size of 64 x 128 in 0 seconds\n");
    EXPECT_NE(convert.err.find(warning), std::string::npos) << convert.err;
    CxImage out;
    ASSERT_TRUE(out.Load(dir.File("out.png"), 0)) << out.GetLastError();
    EXPECT_EQ(out.GetHeight(), 128u);
    EXPECT_TRUE(out.GetWarnings().empty()); // the damage is not carried into the new file

    CliRun batch = testing_support::RunCli("batch -q --json --jobs 1 --to png --out " + dir.File("b") + " " + cut, dir);
    EXPECT_EQ(batch.status, 0);
    EXPECT_NE(batch.err.find(warning), std::string::npos) << batch.err;
    EXPECT_NE(batch.out.find("\"ok\": true, \"warnings\": [\"Premature end of JPEG file\""), std::string::npos)
        << batch.out;
}
