#include "core/presets.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using testing_support::TempDir;

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PresetValues, EscapeAndUnescapeAsTheSettingsFileDoes)
{
    struct Case {
        std::string value, written;
    };
    const Case cases[] = {
        { "_small", "_small" },
        { "", "" },
        { "a,b", "\"a,b\"" },
        { "x=y;z", "\"x=y;z\"" },
        { " padded ", "\" padded \"" },
        { "back\\slash \"q\"", "back\\\\slash \\\"q\\\"" },
        { "tab\there", "tab\\there" },
        { "été", "été" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core::ini::EscapeValue(c.value), c.written) << c.value;
        EXPECT_EQ(core::ini::UnescapeValue(c.written), c.value) << c.written;
    }
    // Unquoted padding and trailing comments are not part of a value.
    EXPECT_EQ(core::ini::UnescapeValue("  png   "), "png");
    EXPECT_EQ(core::ini::UnescapeValue("png ; a comment"), "png");
    EXPECT_EQ(core::ini::UnescapeValue("\"a;b\" ; comment"), "a;b");
}

TEST(Presets, SaveKeepsEveryOtherLineAndReplacesOnlyItsOwnKeys)
{
    TempDir dir;
    const std::string file = dir.File("cfg/Pelmora.conf");
    std::string error;
    ASSERT_TRUE(core::SavePreset(file, "web", { { "--to", "jpg" }, { "--max-side", "1024" } }, error)) << error;
    {
        // What the desktop program keeps in the same file.
        std::ofstream out(file, std::ios::app);
        out << "\n[Recent%20File%20List]\nFile1=/tmp/a.png\n";
    }
    ASSERT_TRUE(core::SavePreset(file, "thumbs", { { "--to", "png" }, { "--suffix", "_t,1" } }, error));
    ASSERT_TRUE(core::SavePreset(file, "web", { { "--to", "png" }, { "--recursive", "1" } }, error));

    const std::string text = ReadText(file);
    EXPECT_NE(text.find("[Recent%20File%20List]\nFile1=/tmp/a.png\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("max-side"), std::string::npos) << "the replaced preset kept an old key:\n" << text;
    EXPECT_EQ(core::PresetNames(file), (std::vector<std::string> { "thumbs", "web" }));

    const auto web = core::LoadPreset(file, "web");
    ASSERT_TRUE(web);
    EXPECT_EQ(core::PresetArguments(*web), (std::vector<std::string> { "--to", "png", "--recursive" }));
    const auto thumbs = core::LoadPreset(file, "thumbs");
    ASSERT_TRUE(thumbs);
    EXPECT_EQ(thumbs->at("--suffix"), "_t,1");
    EXPECT_FALSE(core::LoadPreset(file, "missing"));
    EXPECT_FALSE(core::LoadPreset(dir.File("none.conf"), "web"));

    EXPECT_FALSE(core::SavePreset(file, "bad name", { { "--to", "png" } }, error));
    EXPECT_FALSE(core::SavePreset(file, "", { { "--to", "png" } }, error));
}

TEST(Presets, OptionsAPresetMayKeepNeverIncludeThePassword)
{
    bool takesValue = false;
    for (const char* option : { "--to", "--max-side", "--bpp", "--suffix", "--jobs" }) {
        EXPECT_TRUE(core::IsPresetOption(option, takesValue)) << option;
        EXPECT_TRUE(takesValue) << option;
    }
    EXPECT_TRUE(core::IsPresetOption("--encrypt", takesValue));
    EXPECT_FALSE(takesValue);
    for (const char* option : { "--password-file", "--out", "--report", "--plan", "--password" })
        EXPECT_FALSE(core::IsPresetOption(option, takesValue)) << option;
}

TEST(Presets, SettingsFileFollowsXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(core::SettingsFilePath(), "/cfg/Korvane Lumbrix/Korvane Pelmora.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored, as the XDG rules say
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(core::SettingsFilePath(), "/home/u/.config/Korvane Lumbrix/Korvane Pelmora.conf");
    setenv("HOME", home.c_str(), 1);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

} // namespace
