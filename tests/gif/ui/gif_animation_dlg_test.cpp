// The picture control and the GIF frame viewer: sizing, still pictures, the information list,
// extraction and its messages.

#include "app/file_prompt.h"
#include "gif/ui/gif_animation_dlg.h"
#include "gif/ui/picture_ex.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "widgets/folder_dialog.h"

#include "../gif_bytes.h"

#include <QListWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace gif_bytes;
using testing_support::ScriptedUi;
using testing_support::TempDir;

Bytes Animation(std::uint32_t w, std::uint32_t h)
{
    Bytes b = Header(w, h);
    for (int i = 0; i < 2; ++i) {
        Append(b, Gce(10));
        Append(b, Image(0, 0, 4, 4, static_cast<std::uint8_t>(i)));
    }
    b.push_back(0x3B);
    return b;
}

TEST(CPictureEx, TakesThePictureSizeAtItsPlaceAndAnimatesOnlyAnimations)
{
    QWidget parent;
    gif_ui::CPictureEx picture(&parent);
    picture.setGeometry(17, 23, 50, 50);
    ASSERT_TRUE(picture.LoadPictureData(Animation(300, 200)));
    EXPECT_EQ(picture.geometry(), QRect(17, 23, 300, 200));
    EXPECT_FALSE(picture.ShowPicture());
    EXPECT_TRUE(picture.IsAnimating());
    picture.ClearPicture();
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.InfoLines().size(), 4u) << "clearing keeps the lines";

    Bytes still = Header(30, 20);
    Append(still, Image(0, 0, 30, 20, 1));
    still.push_back(0x3B);
    ASSERT_TRUE(picture.LoadPictureData(still));
    EXPECT_TRUE(picture.ShowPicture());
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.size(), QSize(30, 20));
}

struct Folders {
    Folders(std::string answer)
    {
        previous = widgets::CFolderDialog::SetChooser([answer, this](QWidget*, const QString& title, const QString&) {
            titles.push_back(title);
            return answer.empty() ? QUrl() : QUrl::fromLocalFile(QString::fromStdString(answer));
        });
    }
    ~Folders() { widgets::CFolderDialog::SetChooser(previous); }
    widgets::CFolderDialog::Chooser previous;
    std::vector<QString> titles;
};

TEST(CGifAnimationDlg, ListsTheLinesAndExtractsTheFrames)
{
    TempDir dir;
    testing_support::WriteFileBytes(dir.File("walk.gif"), Animation(8, 8));
    std::filesystem::create_directory(dir.File("out"));
    ScriptedUi ui;
    gif_ui::CGifAnimationDlg dialog(nullptr, dir.File("walk.gif"), ui);
    ASSERT_EQ(dialog.InfoList()->count(), 4);
    EXPECT_EQ(dialog.InfoList()->item(1)->text(), QStringLiteral("Image frame 1 Res: 4x4 Pos: Left 0 Top 0"));
    {
        Folders folders(dir.File("out"));
        dialog.OnExtract();
        ASSERT_EQ(folders.titles.size(), 1u);
        EXPECT_EQ(folders.titles[0], QStringLiteral("Select a destination directory for thed gif frames"));
    }
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/walk_1.gif")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/walk_2.gif")));
    EXPECT_TRUE(ui.boxes.empty());

    // A file that does not decode: the fallback line, and Extract reports the error.
    testing_support::WriteFileBytes(dir.File("bad.gif"), { 'G', 'I', 'F', '8', '9', 'a' });
    gif_ui::CGifAnimationDlg bad(nullptr, dir.File("bad.gif"), ui);
    ASSERT_EQ(bad.InfoList()->count(), 1);
    EXPECT_EQ(bad.InfoList()->item(0)->text(), QStringLiteral("No picture information available for this GIF file..."));
    Folders folders(dir.File("out"));
    bad.OnExtract();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error while saving the frames as images for the file " + dir.File("bad.gif"));
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::Warning);
}

TEST(OnExtractGifFrames, RefusesFilesThatAreNotGifByName)
{
    auto previous = app::SetFilePrompter(
        [](const app::FilePromptRequest&) { return QStringList { QStringLiteral("/x/walk.png") }; });
    ScriptedUi ui;
    gif_ui::OnExtractGifFrames(nullptr, ui);
    app::SetFilePrompter(previous);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "The selected file is not a valid GIF animation");
}

} // namespace
