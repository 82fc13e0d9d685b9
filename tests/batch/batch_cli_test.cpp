// pelmora-cli batch, run as a person would.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using testing_support::TempDir;

namespace {

int Cli(const std::string& args, std::string* out = nullptr)
{
    return testing_support::RunCommand(std::string(PELMORA_CLI) + " " + args + " 2>/dev/null", out);
}

std::set<std::string> Tree(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        names.insert(entry.path().lexically_relative(folder).string());
    return names;
}

/// Replaces every occurrence of `from` in `text`.
std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(CliBatch, TwoJobsGiveTheNamesAndReportOfOne)
{
    // 200 files, half of them sharing names with the other half, plus a taken name and an
    // unreadable source: the counters and the failures must come out as one at a time.
    TempDir dir;
    for (const char* sub : { "in/a", "in/b", "one", "two" })
        std::filesystem::create_directories(dir.File(sub));
    codec::CxImage img = testing_support::MakeTestImage(6, 5, 24);
    for (int i = 0; i < 100; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        ASSERT_TRUE(img.Save(dir.File("in/a/" + name), codec::kTypeBmp));
        if (i == 7)
            testing_support::WriteFileBytes(dir.File("in/b/" + name), { 'B', 'M' });
        else
            ASSERT_TRUE(img.Save(dir.File("in/b/" + name), codec::kTypeBmp));
    }
    for (const char* out : { "one", "two" })
        testing_support::WriteFileBytes(dir.File(std::string(out) + "/p3_s.png"), { 1 });

    std::string report1, report2;
    const std::string common = " --to png --suffix _s " + dir.File("in/a") + " " + dir.File("in/b");
    EXPECT_EQ(Cli("batch --jobs 1 --out " + dir.File("one") + common, &report1), 1);
    EXPECT_EQ(Cli("batch --jobs 2 --out " + dir.File("two") + common, &report2), 1);
    EXPECT_EQ(Tree(dir.File("one")), Tree(dir.File("two")));
    EXPECT_EQ(Tree(dir.File("one")).size(), 200u); // 199 outputs and the file that was there
    EXPECT_EQ(Replace(report1, dir.File("one"), "OUT"), Replace(report2, dir.File("two"), "OUT"));
    EXPECT_NE(report1.find("Successfully converted file " + dir.File("one/p3_s(0).png") + "\n"), std::string::npos);
    EXPECT_NE(report1.find("Successfully converted file " + dir.File("one/p3_s(1).png") + "\n"), std::string::npos);
    EXPECT_NE(report1.find("# Error while converting file " + dir.File("one/p7_s(0).png") + "\n"), std::string::npos);
}

TEST(CliBatch, DryRunPlansAndWritesNothing)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("in/sub"));
    codec::CxImage img = testing_support::MakeTestImage(4, 4, 24);
    ASSERT_TRUE(img.Save(dir.File("in/x.bmp"), codec::kTypeBmp));
    ASSERT_TRUE(img.Save(dir.File("in/sub/x.bmp"), codec::kTypeBmp));
    testing_support::WriteFileBytes(dir.File("in/notes.txt"), { 'x' });

    std::string out;
    EXPECT_EQ(Cli("batch --dry-run -r --to tif --out " + dir.File("out") + " " + dir.File("in"), &out), 0);
    EXPECT_EQ(out,
        dir.File("in/sub/x.bmp") + " -> " + dir.File("out/sub/x.tiff") + "\n" + dir.File("in/x.bmp") + " -> "
            + dir.File("out/x.tiff") + "\n");
    EXPECT_EQ(Cli("batch --dry-run --json --to pnm --out " + dir.File("out") + " " + dir.File("in/x.bmp") + " "
                      + dir.File("in/sub/x.bmp"),
                  &out),
        0);
    const std::string settings = ", \"to\": \"pnm\", \"max_side\": null, \"bpp\": null, \"encrypt\": false}\n";
    EXPECT_EQ(out,
        "{\"source\": \"" + dir.File("in/x.bmp") + "\", \"output\": \"" + dir.File("out/x.PNM") + "\"" + settings
            + "{\"source\": \"" + dir.File("in/sub/x.bmp") + "\", \"output\": \"" + dir.File("out/x(0).PNM") + "\""
            + settings);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));

    // Refused before anything is written.
    for (const std::string& args : std::vector<std::string> { "batch --to png " + dir.File("in"),
             "batch --out x " + dir.File("in"),
             "batch --to png --out x",
             "batch --to wmf --out x " + dir.File("in"),
             "batch --to png --bpp 7 --out x " + dir.File("in") })
        EXPECT_EQ(Cli(args + " </dev/null"), 2) << args;
}
