#include "batch/ui/batch_convert_dlg.h"

#include "app/app_harness.h"
#include "support/scripted_ui.h"
#include "widgets/folder_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using batch_ui::CBatchConvertDlg;

namespace {

struct Dialog {
    explicit Dialog(std::vector<std::string> files = {})
        : dlg(nullptr, ui)
    {
        dlg.SetFileList(files);
    }
    template <typename T> T* Control(int id) { return dlg.findChild<T*>(CBatchConvertDlg::ControlName(id)); }
    QTableWidget* List() { return Control<QTableWidget>(CBatchConvertDlg::kIdFileList); }
    std::vector<std::string> Rows()
    {
        std::vector<std::string> rows;
        for (int i = 0; i < List()->rowCount(); ++i)
            rows.push_back(List()->item(i, 0)->text().toStdString());
        return rows;
    }
    void Click(int id) { Control<QPushButton>(id)->click(); }
    void SelectRows(std::initializer_list<int> rows)
    {
        List()->clearSelection();
        for (int row : rows)
            List()->selectionModel()->select(
                List()->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    testing_support::ScriptedUi ui;
    CBatchConvertDlg dlg;
};

QStringList Items(QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

TEST(BatchConvertDlg, StartsFromTheTemplatesDefaults)
{
    Dialog d({ "/p/a.jpg", "/p/b.png" });
    EXPECT_EQ(d.dlg.windowTitle(), QStringLiteral("Batch convert files"));
    EXPECT_EQ(d.List()->horizontalHeaderItem(0)->text(), QStringLiteral("File- path"));
    EXPECT_EQ(d.List()->columnWidth(0), 300);
    EXPECT_EQ(d.Rows(), (std::vector<std::string> { "/p/a.jpg", "/p/b.png" }));

    auto* format = d.Control<QComboBox>(CBatchConvertDlg::kIdFormat);
    EXPECT_EQ(Items(format),
        (QStringList { "Binary Property Page File (.pgx)",
            "Bitmap File (.bmp)",
            "Graphics Interchange Format File (.gif)",
            "Icon File (.ico)",
            "Japan Picture Format File (.jpc)",
            "Joint Photographic Experts Group File (.jpg, .jpeg)",
            "JPEG 2000 File (.jp2)",
            "Picture Exchange Image File (.pcx)",
            "Portable Any Map Graphic Bitmap File (.pnm, .ppm, .pgm)",
            "Portable Network Graphics File (.png)",
            "Sun Raster Graphic File (.ras)",
            "Tagged Image File Format (.tif, .tiff)",
            "Targa Image File (.tga)",
            "Wireless Bitmap File (.wbmp)",
            // The modern formats follow the sorted originals.
            "WebP Image File (.webp)",
            "AV1 Image File (.avif)",
            "JPEG XL File (.jxl)" }));
    EXPECT_EQ(format->currentIndex(), -1);

    auto* bpp = d.Control<QComboBox>(CBatchConvertDlg::kIdBpp);
    EXPECT_EQ(Items(bpp), (QStringList { "1", "8", "16", "24", "32" }));
    EXPECT_EQ(bpp->currentIndex(), -1);
    EXPECT_FALSE(bpp->isEnabled());
    auto* maxSide = d.Control<QLineEdit>(CBatchConvertDlg::kIdMaxSide);
    EXPECT_EQ(maxSide->text(), QStringLiteral("255"));
    EXPECT_FALSE(maxSide->isEnabled());
    EXPECT_TRUE(d.Control<QLineEdit>(CBatchConvertDlg::kIdPassword)->isReadOnly());
    EXPECT_EQ(d.Control<QLineEdit>(CBatchConvertDlg::kIdPassword)->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(d.Control<QLineEdit>(CBatchConvertDlg::kIdDestination)->isReadOnly());

    QStringList texts;
    for (int id : { 1001, 1002, 1005, 1036, 1032, 1047, 1, 2 }) {
        if (auto* button = d.Control<QAbstractButton>(id))
            texts << button->text();
    }
    EXPECT_EQ(texts,
        (QStringList { "Add...",
            "Remove",
            "...",
            "Change Bpp to",
            "Change max. side size to",
            "Encrypt with password",
            "OK",
            "&Cancel" }));
}

TEST(BatchConvertDlg, EachCheckBoxGovernsItsControlAndKeepsItsText)
{
    struct Case {
        int check;
        int control;
    };
    for (const Case c : { Case { 1036, 1012 }, Case { 1032, 1034 }, Case { 1047, 1048 } }) {
        Dialog d;
        QWidget* control = d.dlg.findChild<QWidget*>(CBatchConvertDlg::ControlName(c.control));
        auto usable = [control] {
            auto* edit = qobject_cast<QLineEdit*>(control);
            return control->isEnabled() && !(edit && edit->isReadOnly());
        };
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->setText(QStringLiteral("77"));
        auto* box = d.Control<QCheckBox>(c.check);
        box->click();
        EXPECT_TRUE(usable()) << c.check;
        box->click();
        EXPECT_FALSE(usable()) << c.check;
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            EXPECT_EQ(edit->text(), QStringLiteral("77")) << c.check;
        }
    }
}

TEST(BatchConvertDlg, OkChecksInOrderAndStaysOpenOnTheFirstFailure)
{
    widgets::CFolderDialog::Chooser previous = widgets::CFolderDialog::SetChooser(
        [](QWidget*, const QString&, const QString&) { return QUrl::fromLocalFile(QStringLiteral("/srv/out")); });
    Dialog d;
    d.dlg.show();
    struct Step {
        std::function<void()> change;
        const char* text; // nullptr: accepted
        const char* caption;
    };
    const Step steps[] = {
        { [] {}, "Please select files to convert.", "No files selected" },
        { [&] { d.dlg.SetFileList({ "/p/a.jpg" }); },
            "Please select a format for the conversion from the dropdown- field.",
            "No format selected" },
        { [&] { d.Control<QComboBox>(1003)->setCurrentIndex(4); },
            "Please select a destination path for the conversion.",
            "No destination selected" },
        { [&] {
             d.Click(1005);
             d.Control<QCheckBox>(1047)->click();
             d.Control<QCheckBox>(1036)->click(); // ticked with no depth chosen: allowed
         },
            "Please specify a password or deactivate the encryption.",
            "No destination selected" },
        { [&] { d.Control<QLineEdit>(1048)->setText(QStringLiteral("x")); }, nullptr, nullptr },
    };
    for (const Step& step : steps) {
        step.change();
        d.ui.boxes.clear();
        d.Click(CBatchConvertDlg::kIdOk);
        if (!step.text) {
            EXPECT_TRUE(d.ui.boxes.empty());
            EXPECT_EQ(d.dlg.result(), QDialog::Accepted);
            break;
        }
        ASSERT_EQ(d.ui.boxes.size(), 1u) << step.text;
        EXPECT_EQ(d.ui.boxes[0].text, step.text);
        EXPECT_EQ(d.ui.boxes[0].caption, step.caption);
        EXPECT_EQ(d.ui.boxes[0].icon, core::MessageIcon::Information);
        EXPECT_EQ(d.ui.boxes[0].owner, core::Owner::Dialog);
        EXPECT_TRUE(d.dlg.isVisible());
    }
    const batch::BatchDialogValues& v = d.dlg.Values();
    EXPECT_EQ(v.formatText, "Japan Picture Format File (.jpc)");
    EXPECT_EQ(v.destination, "/srv/out");
    EXPECT_TRUE(v.changeBpp);
    EXPECT_EQ(v.bppText, "");
    EXPECT_EQ(v.password, "x");
    widgets::CFolderDialog::SetChooser(previous);
}

TEST(BatchConvertDlg, AnInvalidSizeIsRefusedBeforeAnyCheck)
{
    Dialog d;
    d.dlg.show();
    d.Control<QCheckBox>(1032)->click();
    d.Control<QLineEdit>(1034)->setText(QString());
    d.Click(CBatchConvertDlg::kIdOk);
    ASSERT_EQ(d.ui.boxes.size(), 1u);
    EXPECT_EQ(d.ui.boxes[0].text, "Please enter an integer.");
    EXPECT_TRUE(d.dlg.isVisible());
}

TEST(BatchConvertDlg, RemoveAndDeleteDropTheSelectedRowsAndKeepWhatWasTyped)
{
    Dialog d({ "/p/a.jpg", "/p/b.jpg", "/p/c.jpg", "/p/a.jpg" });
    d.Control<QLineEdit>(1033)->setText(QStringLiteral("_s"));
    d.Click(CBatchConvertDlg::kIdRemove); // nothing selected: nothing happens
    EXPECT_EQ(d.Rows().size(), 4u);
    d.SelectRows({ 1, 3 });
    d.Click(CBatchConvertDlg::kIdRemove);
    EXPECT_EQ(d.Rows(), (std::vector<std::string> { "/p/a.jpg", "/p/c.jpg" }));
    d.SelectRows({ 0 });
    QTest::keyClick(d.List(), Qt::Key_Delete);
    EXPECT_EQ(d.Rows(), (std::vector<std::string> { "/p/c.jpg" }));
    EXPECT_EQ(d.dlg.Values().files, d.Rows());
    EXPECT_EQ(d.Control<QLineEdit>(1033)->text(), QStringLiteral("_s"));
}

TEST(BatchConvertDlg, AddAppendsDuplicatesAndBrowseStartsInTheDestination)
{
    app_testing::ScriptedPrompts prompts;
    prompts.answers.push_back({ QStringLiteral("/q/x.png"), QStringLiteral("/p/a.jpg") });
    prompts.answers.push_back({}); // cancelled: nothing added
    QStringList initials;
    QList<QUrl> answers { QUrl::fromLocalFile(QStringLiteral("/srv/a")), QUrl() };
    widgets::CFolderDialog::Chooser previous
        = widgets::CFolderDialog::SetChooser([&](QWidget*, const QString& title, const QString& initial) {
              EXPECT_EQ(title, QStringLiteral("Select a destination directory"));
              initials << initial;
              return answers.takeFirst();
          });

    Dialog d({ "/p/a.jpg" });
    d.Click(CBatchConvertDlg::kIdAdd);
    d.Click(CBatchConvertDlg::kIdAdd);
    EXPECT_EQ(d.Rows(), (std::vector<std::string> { "/p/a.jpg", "/q/x.png", "/p/a.jpg" }));
    ASSERT_EQ(prompts.requests.size(), 2u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
    EXPECT_EQ(prompts.requests[0].nameFilters, app::ToQtNameFilters(core::FullOpenFilter()));

    d.Click(CBatchConvertDlg::kIdBrowse);
    d.Click(CBatchConvertDlg::kIdBrowse); // cancelled: the destination stays
    EXPECT_EQ(initials, (QStringList { QString(), QStringLiteral("/srv/a") }));
    EXPECT_EQ(d.Control<QLineEdit>(1004)->text(), QStringLiteral("/srv/a"));
    widgets::CFolderDialog::SetChooser(previous);
}

TEST(BatchConvertCommand, PromptsThenRunsBehindTheProgressDialog)
{
    testing_support::TempDir dir;
    const QString a = app_testing::WriteImage(dir, "a.png", testing_support::MakeTestImage(8, 6, 24));
    const QString b = app_testing::WriteImage(dir, "b.png", testing_support::MakeTestImage(6, 8, 24));
    std::filesystem::create_directory(dir.File("out"));

    app_testing::ScriptedPrompts prompts;
    prompts.answers.push_back({}); // the first command is cancelled at the open prompt
    prompts.answers.push_back({ a, b });
    std::vector<std::vector<std::string>> shown;
    batch_ui::BatchDialogPrompter previous
        = batch_ui::SetBatchDialogPrompter([&](QWidget*, const std::vector<std::string>& files, core::Ui&) {
              shown.push_back(files);
              batch::BatchDialogValues v;
              v.files = files;
              v.formatText = "Wireless Bitmap File (.wbmp)";
              v.destination = dir.File("out");
              v.suffix = "_s";
              return std::optional<batch::BatchDialogValues>(v);
          });

    app_testing::Harness h;
    QAction* action = h.Frame().CommandAction(app::kIdBatchConvert);
    ASSERT_TRUE(action->isEnabled());
    action->trigger();
    EXPECT_TRUE(shown.empty());
    h.ui.answers.push_back(false); // no report
    action->trigger();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], (std::vector<std::string> { a.toStdString(), b.toStdString() }));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/a_s.wbmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/b_s.wbmp")));
    EXPECT_EQ(h.ui.statusTexts,
        (std::vector<std::string> {
            "Starting the batch conversion of 2 files", "Finished the conversion of 2 files" }));
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].caption, "Batch conversion completed");
    batch_ui::SetBatchDialogPrompter(previous);
}

} // namespace
