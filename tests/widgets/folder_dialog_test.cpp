#include "widgets/folder_dialog.h"

#include "support/test_support.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

using widgets::CFolderDialog;

namespace {

// Answers as scripted and records what the picker was asked.
class ScriptedChooser {
public:
    explicit ScriptedChooser(QUrl answer)
        : answer_(std::move(answer))
    {
        previous_ = CFolderDialog::SetChooser([this](QWidget* owner, const QString& title, const QString& initial) {
            ++calls;
            this->owner = owner;
            this->title = title;
            this->initial = initial;
            return answer_;
        });
    }
    ~ScriptedChooser() { CFolderDialog::SetChooser(previous_); }

    int calls = 0;
    QWidget* owner = nullptr;
    QString title;
    QString initial;

private:
    QUrl answer_;
    CFolderDialog::Chooser previous_;
};

TEST(FolderDialog, AChosenFolderGivesOneAndItsPath)
{
    QWidget parent;
    ScriptedChooser chooser(QUrl::fromLocalFile(QStringLiteral("/srv/pictures/out")));
    CFolderDialog dialog(&parent, "Select a destination directory", "/srv/pictures");
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.selectedPath, "/srv/pictures/out");
    EXPECT_EQ(chooser.calls, 1);
    EXPECT_EQ(chooser.owner, &parent);
    EXPECT_EQ(chooser.title, QStringLiteral("Select a destination directory"));
    EXPECT_EQ(chooser.initial, QStringLiteral("/srv/pictures"));
}

TEST(FolderDialog, CancellingGivesMinusOneAndLeavesThePathEmpty)
{
    ScriptedChooser chooser { QUrl() };
    CFolderDialog dialog(nullptr, "Select a destination directory for thed gif frames");
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_TRUE(dialog.selectedPath.empty());
    EXPECT_TRUE(chooser.initial.isEmpty());
}

TEST(FolderDialog, APlaceWithoutALocalPathGivesTwo)
{
    ScriptedChooser chooser(QUrl(QStringLiteral("smb://fileserver/share/pictures")));
    CFolderDialog dialog(nullptr, "Select a destination directory", "/tmp");
    EXPECT_EQ(dialog.DoModal(), 2);
    EXPECT_TRUE(dialog.selectedPath.empty());
}

TEST(FolderDialog, TheRootKeepsItsSeparatorAndOtherFoldersLoseIt)
{
    {
        ScriptedChooser chooser(QUrl(QStringLiteral("file:///")));
        CFolderDialog dialog(nullptr, "t");
        ASSERT_EQ(dialog.DoModal(), 1);
        EXPECT_EQ(dialog.selectedPath, "/");
    }
    {
        ScriptedChooser chooser(QUrl(QStringLiteral("file:///home/ana/out//")));
        CFolderDialog dialog(nullptr, "t");
        ASSERT_EQ(dialog.DoModal(), 1);
        EXPECT_EQ(dialog.selectedPath, "/home/ana/out");
    }
}

TEST(FolderDialog, LongAndNonAsciiPathsComeBackWhole)
{
    // Far past the old 260-byte buffers, with a multibyte folder name.
    std::string longPath = "/data";
    while (longPath.size() < 700)
        longPath += "/Bilder-\xC3\x8A-" + std::to_string(longPath.size());
    ScriptedChooser chooser(QUrl::fromLocalFile(QString::fromStdString(longPath)));
    CFolderDialog dialog(nullptr, "t", longPath);
    ASSERT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.selectedPath, longPath);
    EXPECT_EQ(chooser.initial.toStdString(), longPath);
}

// Qt's own chooser, driven as a user would: it opens in the initial folder, so accepting at once
// answers that folder; cancelling answers -1.
class DefaultChooserTest : public ::testing::Test {
protected:
    // Runs `act` on the modal file dialog as soon as it is up.
    void WhenModalAppears(std::function<void(QFileDialog*)> act)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                act(dialog);
            }
        });
        timer->start();
    }

    testing_support::TempDir dir;
};

TEST_F(DefaultChooserTest, AcceptingAtOnceAnswersTheInitialFolder)
{
    const std::string folder = dir.File("start here");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(dir.File("start here/inner"));
    QString seenTitle;
    QFileDialog::FileMode seenMode = QFileDialog::AnyFile;
    WhenModalAppears([&](QFileDialog* dialog) {
        seenTitle = dialog->windowTitle();
        seenMode = dialog->fileMode();
        static_cast<QDialog*>(dialog)->accept(); // the file dialog's own accept, as its button calls it
    });
    CFolderDialog picker(nullptr, "Select a destination directory", folder);
    EXPECT_EQ(picker.DoModal(), 1);
    EXPECT_EQ(picker.selectedPath, folder);
    EXPECT_EQ(seenTitle, QStringLiteral("Select a destination directory"));
    EXPECT_EQ(seenMode, QFileDialog::Directory);
}

TEST_F(DefaultChooserTest, CancellingAnswersMinusOne)
{
    WhenModalAppears([](QFileDialog* dialog) { dialog->reject(); });
    CFolderDialog picker(nullptr, "Select a destination directory", dir.path());
    EXPECT_EQ(picker.DoModal(), -1);
    EXPECT_TRUE(picker.selectedPath.empty());
}

} // namespace
