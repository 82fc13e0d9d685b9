// Batch presets from the command line: saved once, repeated later, overridden by later options,
// and never holding a password.

#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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

// The manual page installed with the package must keep up with the commands and their options.
TEST(CliManual, NamesEveryCommandAndOptionOfTheHelp)
{
    TempDir dir;
    const auto page = testing_support::ReadFileBytes(std::string(PELMORA_TEST_DATA) + "/../../docs/pelmora-cli.1");
    ASSERT_FALSE(page.empty());
    // troff writes a literal '-' as "\-".
    std::string manual;
    for (std::size_t i = 0; i < page.size(); ++i)
        if (!(page[i] == '\\' && i + 1 < page.size() && page[i + 1] == '-'))
            manual += static_cast<char>(page[i]);

    CliRun help = RunCli("--help", dir);
    ASSERT_EQ(help.status, 0);
    std::istringstream lines(help.out.substr(help.out.find("Commands:")));
    std::vector<std::string> commands;
    for (std::string line; std::getline(lines, line) && !line.empty();)
        if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] != ' ')
            commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    ASSERT_GE(commands.size(), 9u) << help.out;
    for (const std::string& command : commands) {
        EXPECT_NE(manual.find(command), std::string::npos) << command;
        CliRun own = RunCli(command + " --help", dir);
        std::istringstream words(own.out);
        for (std::string word; words >> word;) {
            if (word.rfind("--", 0) != 0 || word.size() < 4)
                continue;
            word = word.substr(0, word.find_first_of("=,.)/"));
            EXPECT_NE(manual.find(word), std::string::npos) << command << " " << word;
        }
    }
}
