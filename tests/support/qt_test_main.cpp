// gtest main for the Qt test binaries: one QApplication for the whole run, on the offscreen
// platform, with settings, cache and data folders of its own so no test touches the real ones.

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform warns about size hints on every top-level window shown; nothing to act on.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    // All of it must be in place before the application object exists: the platform plugin is chosen
    // and the standard paths are read while it is constructed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder for the test settings\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath("cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path())); // private to us (0700), as Qt wants it
    defaultHandler = qInstallMessageHandler(QuietHandler);

    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
