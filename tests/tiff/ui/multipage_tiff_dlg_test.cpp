#include "app/app_harness.h"

#include "app/command_table.h"
#include "core/paths.h"
#include "core/registry.h"
#include "tiff/ui/multipage_tiff_command.h"
#include "tiff/ui/multipage_tiff_dlg.h"
#include "widgets/list_rows.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

using app_testing::Harness;
using app_testing::ScriptedPrompts;
using tiff_ui::CMultipageTiffDlg;

namespace {

QStringList RowTexts(const QTableWidget& list, int column)
{
    QStringList texts;
    for (int r = 0; r < list.rowCount(); ++r)
        texts << list.item(r, column)->text();
    return texts;
}

template <class T> T* Control(const CMultipageTiffDlg& dlg, int id)
{
    return dlg.findChild<T*>(CMultipageTiffDlg::ControlName(id));
}

void Click(const CMultipageTiffDlg& dlg, int id)
{
    if (auto* button = Control<QAbstractButton>(dlg, id))
        button->click();
    else
        ADD_FAILURE() << "no control " << id;
}

} // namespace

TEST(MultipageTiffDlg, ShowsTheFileListWithItsTextsAndAddsMore)
{
    ScriptedPrompts prompts;
    prompts.answers.push_back({ QStringLiteral("/scans/c.tif"), QStringLiteral("/home/a b/A.JPG") });
    prompts.answers.push_back({}); // cancelled: nothing added
    std::vector<std::string> files { "/home/a b/A.JPG", "/x/noext" };
    CMultipageTiffDlg dlg;
    dlg.SetFileList(&files);
    dlg.OnInitDialog();

    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Create multipage Tiff file"));
    bool pagesLabel = false;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        pagesLabel = pagesLabel || label->text() == QStringLiteral("Pages");
    EXPECT_TRUE(pagesLabel);
    EXPECT_EQ(Control<QPushButton>(dlg, CMultipageTiffDlg::kIdAdd)->text(), QStringLiteral("Add..."));
    EXPECT_EQ(Control<QPushButton>(dlg, CMultipageTiffDlg::kIdOk)->text(), QStringLiteral("OK"));
    EXPECT_TRUE(Control<QPushButton>(dlg, CMultipageTiffDlg::kIdOk)->isDefault());
    EXPECT_EQ(Control<QPushButton>(dlg, CMultipageTiffDlg::kIdCancel)->text(), QStringLiteral("Abbrechen"));
    EXPECT_FALSE(Control<QToolButton>(dlg, CMultipageTiffDlg::kIdRowUp)->icon().isNull());
    EXPECT_FALSE(Control<QToolButton>(dlg, CMultipageTiffDlg::kIdRowDown)->icon().isNull());

    const QTableWidget& list = *dlg.List();
    ASSERT_EQ(list.columnCount(), 3);
    const char* titles[] = { "Filename", "Filepath", "File type" };
    const int widths[] = { 150, 200, 114 };
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(list.horizontalHeaderItem(c)->text(), QString::fromLatin1(titles[c]));
        EXPECT_EQ(list.columnWidth(c), widths[c]);
    }
    EXPECT_TRUE(list.showGrid());
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(RowTexts(list, 0), (QStringList { "A.JPG", "noext" }));
    // The type is the extension as written: the dot, the capitals, and for a name without a dot
    // whatever PathExtension gives.
    EXPECT_EQ(RowTexts(list, 2),
        (QStringList { QStringLiteral(".JPG"), QString::fromStdString(core::PathExtension("/x/noext")) }));

    Click(dlg, CMultipageTiffDlg::kIdAdd);
    Click(dlg, CMultipageTiffDlg::kIdAdd);
    EXPECT_EQ(files, (std::vector<std::string> { "/home/a b/A.JPG", "/x/noext", "/scans/c.tif", "/home/a b/A.JPG" }));
    EXPECT_EQ(RowTexts(list, 1), (QStringList { "/home/a b/A.JPG", "/x/noext", "/scans/c.tif", "/home/a b/A.JPG" }));
    ASSERT_EQ(prompts.requests.size(), 2u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
    EXPECT_EQ(prompts.requests[0].nameFilters, app::ToQtNameFilters(core::ImageTypeFilter(0).filter));
    EXPECT_EQ(prompts.requests[0].owner, &dlg);
}

TEST(MultipageTiffDlg, RowMovesKeepRowsAndFileListTogether)
{
    std::vector<std::string> files { "/p/1.png", "/p/2.png", "/p/3.png", "/p/4.png" };
    CMultipageTiffDlg dlg;
    dlg.SetFileList(&files);
    dlg.OnInitDialog();
    QTableWidget& list = *dlg.List();
    auto check = [&](std::vector<std::string> expected, int selected) {
        EXPECT_EQ(files, expected);
        QStringList rows;
        for (const std::string& f : expected)
            rows << QString::fromStdString(f);
        EXPECT_EQ(RowTexts(list, 1), rows);
        EXPECT_EQ(widgets::FirstSelectedRow(list), selected);
    };

    list.selectRow(2);
    Click(dlg, CMultipageTiffDlg::kIdRowUp);
    Click(dlg, CMultipageTiffDlg::kIdRowUp);
    check({ "/p/3.png", "/p/1.png", "/p/2.png", "/p/4.png" }, 0);
    Click(dlg, CMultipageTiffDlg::kIdRowUp); // the first row stays
    check({ "/p/3.png", "/p/1.png", "/p/2.png", "/p/4.png" }, 0);
    list.selectRow(3);
    Click(dlg, CMultipageTiffDlg::kIdRowDown); // the last row stays
    check({ "/p/3.png", "/p/1.png", "/p/2.png", "/p/4.png" }, 3);
    list.selectRow(1);
    Click(dlg, CMultipageTiffDlg::kIdRowDown);
    check({ "/p/3.png", "/p/2.png", "/p/1.png", "/p/4.png" }, 2);
    list.clearSelection();
    Click(dlg, CMultipageTiffDlg::kIdRowUp); // nothing selected: nothing moves
    check({ "/p/3.png", "/p/2.png", "/p/1.png", "/p/4.png" }, -1);
}

TEST(MultipageTiffCommand, RunsFromTheMenuThroughTheDialogToTheFile)
{
    testing_support::TempDir dir;
    const QString a = app_testing::WriteImage(dir, "a.png", testing_support::MakeTestImage(6, 4, 24));
    const QString b = app_testing::WriteImage(dir, "b.png", testing_support::MakeTestImage(3, 8, 24));
    const QString c = app_testing::WriteImage(dir, "c.png", testing_support::MakeTestImage(5, 5, 24));
    const QString target = QString::fromStdString(dir.File("out.tiff"));
    testing_support::WriteFileBytes(target.toStdString(), { 1, 2, 3 });

    Harness h;
    ScriptedPrompts prompts;
    // The menu entry is enabled and routed: a cancelled first prompt ends the command.
    QAction* action = h.Frame().CommandAction(app::kIdMultipageTiff);
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->isEnabled());
    action->trigger();
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);

    // The third file moved up twice becomes page 1; the existing target is replaced silently.
    prompts.requests.clear();
    prompts.answers = { { a, b, c }, { target } };
    tiff_ui::OnMultipageTiff(*h.app, [](CMultipageTiffDlg& dlg) {
        dlg.OnInitDialog();
        dlg.List()->selectRow(2);
        Click(dlg, CMultipageTiffDlg::kIdRowUp);
        Click(dlg, CMultipageTiffDlg::kIdRowUp);
        return int(QDialog::Accepted);
    });
    ASSERT_EQ(prompts.requests.size(), 2u);
    const app::FilePromptRequest& save = prompts.requests[1];
    EXPECT_EQ(save.mode, app::FilePromptRequest::Save);
    EXPECT_EQ(save.nameFilters, app::ToQtNameFilters("Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff||"));
    EXPECT_EQ(save.defaultSuffix, QStringLiteral("tiff"));
    EXPECT_FALSE(save.confirmOverwrite);
    EXPECT_TRUE(save.initialPath.isEmpty());
    EXPECT_TRUE(h.ui.boxes.empty());
    std::string sizes;
    testing_support::RunCommand("identify -format '%w %h|' '" + target.toStdString() + "'", &sizes);
    EXPECT_EQ(sizes, "5 5|6 4|3 8|");

    // Cancelling the dialog or the save prompt writes nothing; a failed build says so once.
    const std::vector<std::uint8_t> before = testing_support::ReadFileBytes(target.toStdString());
    prompts.answers = { { a } };
    tiff_ui::OnMultipageTiff(*h.app, [](CMultipageTiffDlg&) { return int(QDialog::Rejected); });
    prompts.answers = { { a }, {} };
    tiff_ui::OnMultipageTiff(*h.app, [](CMultipageTiffDlg&) { return int(QDialog::Accepted); });
    EXPECT_EQ(testing_support::ReadFileBytes(target.toStdString()), before);
    EXPECT_TRUE(h.ui.boxes.empty());
    prompts.answers = { { a, QString::fromStdString(dir.File("missing.png")) }, { target } };
    tiff_ui::OnMultipageTiff(*h.app, [](CMultipageTiffDlg&) { return int(QDialog::Accepted); });
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Error while creating multipage tiff file");
    EXPECT_EQ(h.ui.boxes[0].caption, "Error");
    EXPECT_EQ(h.ui.boxes[0].icon, core::MessageIcon::Warning);
    EXPECT_EQ(h.ui.boxes[0].owner, core::Owner::MainWindow);
    EXPECT_EQ(testing_support::ReadFileBytes(target.toStdString()), before);
}
