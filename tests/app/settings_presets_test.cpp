// The batch presets share the desktop program's settings file: QSettings must read what the
// engine writes and the engine what QSettings writes, and neither may lose the other's keys.

#include "core/presets.h"

#include "support/test_support.h"

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

namespace {

TEST(PresetsAndQSettings, EachReadsWhatTheOtherWrites)
{
    testing_support::TempDir dir;
    const std::string file = dir.File("Korvane Pelmora.conf");
    const QString qfile = QString::fromStdString(file);
    const std::string suffixes[] = { "_small", "a,b", "x=y;z", " padded ", "q\"uote\\", "été" };
    {
        QSettings settings(qfile, QSettings::IniFormat);
        settings.setValue("Recent File List/File1", "/tmp/a b.png");
    }
    std::string error;
    for (std::size_t i = 0; i < std::size(suffixes); ++i) {
        const std::string name = "p" + std::to_string(i);
        ASSERT_TRUE(core::SavePreset(file, name, { { "--to", "png" }, { "--suffix", suffixes[i] } }, error)) << error;
    }
    {
        QSettings settings(qfile, QSettings::IniFormat);
        EXPECT_EQ(settings.value("Recent File List/File1").toString(), "/tmp/a b.png");
        for (std::size_t i = 0; i < std::size(suffixes); ++i) {
            const QString key = QString("BatchPresets/p%1/suffix").arg(i);
            EXPECT_EQ(settings.value(key).toString().toStdString(), suffixes[i]) << key.toStdString();
        }
        // The desktop program rewrites the whole file when it saves its own settings.
        settings.setValue("BatchPresets/fromqt/suffix", QString::fromStdString(suffixes[2]));
        settings.setValue("BatchPresets/fromqt/max-side", 800);
        settings.setValue("Recent File List/File2", "/tmp/c.png");
    }
    for (std::size_t i = 0; i < std::size(suffixes); ++i) {
        const auto preset = core::LoadPreset(file, "p" + std::to_string(i));
        ASSERT_TRUE(preset);
        EXPECT_EQ(preset->at("--suffix"), suffixes[i]);
    }
    const auto fromQt = core::LoadPreset(file, "fromqt");
    ASSERT_TRUE(fromQt);
    EXPECT_EQ(fromQt->at("--suffix"), suffixes[2]);
    EXPECT_EQ(fromQt->at("--max-side"), "800");
}

} // namespace
