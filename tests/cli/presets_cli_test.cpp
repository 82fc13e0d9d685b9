// Batch presets from the command line: saved once, repeated later, overridden by later options,
// and never holding a password.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::CliRun;
using testing_support::RunCli;
using testing_support::TempDir;

TEST(CliPresets, SavedSettingsRepeatARunAndLaterOptionsOverrideThem)
{
    TempDir dir;
    const std::string env = "XDG_CONFIG_HOME=" + dir.File("config");
    const std::string conf = dir.File("config/Korvane Lumbrix/Korvane Pelmora.conf");
    for (const char* name : { "a.png", "b.png" })
        ASSERT_TRUE(testing_support::MakeTestImage(40, 20, 24).Save(dir.File(name), codec::kTypePng));
    testing_support::WriteFileBytes(dir.File("pw"), { 's', 'e', 'c', 'r', 'e', 't', '9', '\n' });

    // Saving without input files only saves; the password file is not kept.
    CliRun save = RunCli("batch --save-preset small --to jpg --max-side 16 --suffix _s --encrypt --password-file "
            + dir.File("pw"),
        dir, env);
    ASSERT_EQ(save.status, 0) << save.err;
    const auto text = testing_support::ReadFileBytes(conf);
    const std::string saved(text.begin(), text.end());
    EXPECT_NE(saved.find("small\\to=jpg"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("pw"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("secret9"), std::string::npos) << saved;

    CliRun list = RunCli("batch --list-presets", dir, env);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "small: --to jpg --max-side 16 --suffix _s --encrypt\n");

    // A preset made from another one keeps its settings.
    ASSERT_EQ(RunCli("batch --save-preset copy --preset small --suffix _c", dir, env).status, 0);
    EXPECT_EQ(RunCli("batch --list-presets", dir, env).out,
        "copy: --to jpg --max-side 16 --suffix _c --encrypt\nsmall: --to jpg --max-side 16 --suffix _s --encrypt\n");
    CliRun plain = RunCli("batch --save-preset web --to jpg --max-side 16 --suffix _s", dir, env);
    ASSERT_EQ(plain.status, 0) << plain.err;
    CliRun run = RunCli("batch -q --preset web --out " + dir.File("o1") + " " + dir.File("a.png"), dir, env);
    ASSERT_EQ(run.status, 0) << run.err;
    codec::CxImage out;
    ASSERT_TRUE(out.Load(dir.File("o1/a_s.jpg"), 0)) << run.out;
    EXPECT_EQ(out.GetWidth(), 16u);
    EXPECT_EQ(out.GetHeight(), 8u);

    // Options after --preset win.
    run = RunCli("batch -q --preset web --to png --max-side 20 --out " + dir.File("o2") + " " + dir.File("b.png"), dir, env);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(out.Load(dir.File("o2/b_s.png"), 0));
    EXPECT_EQ(out.GetWidth(), 20u);

    struct Bad {
        const char* args;
    };
    for (const Bad& bad : { Bad { "batch --preset missing --out o3 a.png" }, Bad { "batch --save-preset 'a b' --to png" },
             Bad { "batch --save-preset x --out o4" }, Bad { "batch --save-preset x --to wmf" },
             Bad { "batch --save-preset x --bpp 7" }, Bad { "batch --preset" } }) {
        CliRun r = RunCli(bad.args, dir, env);
        EXPECT_EQ(r.status, 2) << bad.args << "\n" << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("o3")));
}
