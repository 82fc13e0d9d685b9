#include "app/export_image_file_dlg.h"
#include "app/file_prompt.h"

#include "core/registry.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using app::CExportImageFileDlg;
using codec::CxImage;
using testing_support::ScriptedUi;
using testing_support::TempDir;

namespace {

const char* kSizeMessage = "Files with the ico or wbmp format can't have a dimension bigger than 255 x 255";
const char* kWbmpMessage = ".wbmp files must have 1 bit per pixel color- depth.";
const char* kIntegerPrompt = "Please enter a positive integer.";

CxImage Source(std::uint32_t w, std::uint32_t h, std::uint32_t bpp, std::int32_t dpi = 72)
{
    CxImage image = testing_support::MakeTestImage(w, h, bpp);
    image.SetType(codec::kTypeBmp);
    image.SetXDPI(dpi);
    image.SetYDPI(dpi);
    return image;
}

QStringList Items(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

/// One dialog over one source image, with its controls looked up by id as a person's test
/// tool would find them.
struct Dialog {
    ScriptedUi ui;
    CxImage image;
    TempDir dir;
    std::unique_ptr<CExportImageFileDlg> dlg;

    Dialog(CxImage source, std::uint32_t targetType)
        : image(std::move(source))
        , dlg(std::make_unique<CExportImageFileDlg>(nullptr, image, targetType, ui))
    {
    }

    template <typename T> T* Control(int id) const
    {
        T* control = dlg->findChild<T*>(CExportImageFileDlg::ControlName(id));
        EXPECT_NE(control, nullptr) << "no control " << id;
        return control;
    }
    QLineEdit* Width() const { return Control<QLineEdit>(1019); }
    QLineEdit* Height() const { return Control<QLineEdit>(1020); }
    QComboBox* Bpp() const { return Control<QComboBox>(1012); }
    QComboBox* Dpi() const { return Control<QComboBox>(1015); }
    QCheckBox* Keep() const { return Control<QCheckBox>(1009); }
    QCheckBox* Gray() const { return Control<QCheckBox>(1031); }

    /// Types into an edit and moves the focus on, as tabbing to the next control does.
    void TypeAndLeave(QLineEdit* edit, const QString& text)
    {
        edit->setText(text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(edit, &out);
    }
    /// Types a file name and presses the accept button.
    bool Accept(const std::string& name)
    {
        dlg->selectFile(QString::fromStdString(dir.File(name)));
        dlg->accept();
        return dlg->result() == QDialog::Accepted;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : ui.boxes)
            texts.push_back(box.text);
        return texts;
    }
};

} // namespace

TEST(ExportDialog, QtNameFiltersFromRegistryFilters)
{
    using app::ToQtNameFilters;
    EXPECT_EQ(ToQtNameFilters("Bitmap File (*.bmp)|*.bmp||"), QStringList { "Bitmap File (*.bmp) (*.bmp)" });
    // Qt splits patterns at blanks only: the semicolons (with or without a blank) must go.
    EXPECT_EQ(ToQtNameFilters(core::ImageTypeFilter(codec::kTypeJpg).filter),
        QStringList { "Joint Photographic Experts Group File (*.jpg; *.jpeg) (*.jpg *.jpeg)" });
    EXPECT_EQ(ToQtNameFilters(core::ImageTypeFilter(codec::kTypePnm).filter),
        QStringList { "Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm) (*.pnm *.ppm *.pgm)" });

    // The open filter followed by one more entry, the way the file commands offer it.
    std::string withAll = core::FullOpenFilter();
    withAll.pop_back();
    const QStringList open = ToQtNameFilters(withAll + "All Files (*.*)|*.*||");
    ASSERT_EQ(open.size(), 17);
    EXPECT_TRUE(
        open[0].endsWith("(*.bmp *.gif *.jpg *.jpeg *.png *.ico *.tif *.tiff *.tga *.pcx *.wbmp *.wmf *.jp2 *.jpc "
                         "*.pgx *.pnm *.pgm *.ppm *.ras)"));
    EXPECT_EQ(open[16], "All Files (*.*) (*.*)");

    // An empty field ends the list, and so does an entry with nothing but separators.
    EXPECT_EQ(ToQtNameFilters("Pictures|*.png;*.bmp||"), QStringList { "Pictures (*.png *.bmp)" });
    EXPECT_TRUE(ToQtNameFilters("").isEmpty());
    EXPECT_TRUE(ToQtNameFilters("Nothing||").isEmpty());
    EXPECT_EQ(ToQtNameFilters("Icon File (*.ico)|*.ico|No patterns||Bitmap File (*.bmp)|*.bmp||"),
        QStringList { "Icon File (*.ico) (*.ico)" });
    EXPECT_EQ(ToQtNameFilters("Icon File (*.ico)|*.ico|Odd|;||"), QStringList { "Icon File (*.ico) (*.ico)" });
}

TEST(ExportDialog, FileDialogPartIsASaveDialogWithTheTypeFilter)
{
    Dialog d(Source(800, 600, 24), codec::kTypePng);
    EXPECT_EQ(d.dlg->windowTitle(), "Convert image files");
    QPushButton* ok = d.Control<QPushButton>(1);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "File conversion");
    EXPECT_NE(d.Control<QPushButton>(2), nullptr);
    EXPECT_EQ(d.dlg->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(d.dlg->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(d.dlg->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(d.dlg->nameFilters(), QStringList { "Portable Network Graphics File (*.png) (*.png)" });
    EXPECT_TRUE(d.dlg->testOption(QFileDialog::HideNameFilterDetails));
    EXPECT_EQ(d.dlg->defaultSuffix(), "png");
    EXPECT_EQ(d.dlg->result(), 0);
    EXPECT_FALSE(d.dlg->Options());
}

TEST(ExportDialog, PanelControlsWithIdsAndTextsBelowTheFileDialog)
{
    Dialog d(Source(800, 600, 24), codec::kTypePng);
    EXPECT_EQ(d.Keep()->text(), "Keep proportions");
    EXPECT_EQ(d.Gray()->text(), "Gray- scale");
    EXPECT_FALSE(d.Bpp()->isEditable());
    EXPECT_TRUE(d.Dpi()->isEditable());

    QWidget* panel = d.Width()->parentWidget();
    QStringList labels;
    for (QLabel* l : panel->findChildren<QLabel*>())
        labels << l->text();
    labels.sort();
    EXPECT_EQ(labels, (QStringList { "Bits per pixel", "Dimensions", "dpi", "x", "y" }));
    for (QWidget* control : { static_cast<QWidget*>(d.Keep()),
             static_cast<QWidget*>(d.Height()),
             static_cast<QWidget*>(d.Bpp()),
             static_cast<QWidget*>(d.Dpi()),
             static_cast<QWidget*>(d.Gray()) })
        EXPECT_EQ(control->parentWidget(), panel);

    // The panel is the last row of the file dialog's grid and spans all of its columns.
    auto* grid = qobject_cast<QGridLayout*>(d.dlg->layout());
    ASSERT_NE(grid, nullptr);
    const int index = grid->indexOf(panel);
    ASSERT_GE(index, 0);
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    EXPECT_EQ(row, grid->rowCount() - 1);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(columnSpan, grid->columnCount());
    EXPECT_GT(row, 0);
}

TEST(ExportDialog, InitialValuesFromTheSourceImage)
{
    Dialog d(Source(800, 600, 24, 72), codec::kTypePng);
    EXPECT_EQ(d.Width()->text(), "800");
    EXPECT_EQ(d.Height()->text(), "600");
    EXPECT_TRUE(d.Keep()->isChecked());
    EXPECT_FALSE(d.Gray()->isChecked());
    EXPECT_EQ(Items(d.Bpp()), (QStringList { "1", "8", "16", "24", "32" }));
    EXPECT_EQ(d.Bpp()->currentText(), "24");
    EXPECT_TRUE(d.Bpp()->isEnabled());
    EXPECT_EQ(Items(d.Dpi()), (QStringList { "72", "96", "150", "300", "600" }));
    EXPECT_EQ(d.Dpi()->currentIndex(), 0);
    EXPECT_EQ(d.Dpi()->currentText(), "72");
    EXPECT_TRUE(d.ui.boxes.empty());
}

TEST(ExportDialog, ListsSelectTheExactEntryOrAppendIt)
{
    {
        Dialog d(Source(16, 16, 1), codec::kTypePng);
        EXPECT_EQ(d.Bpp()->currentIndex(), 0); // "1", never "16"
        EXPECT_EQ(d.Bpp()->count(), 5);
    }
    {
        Dialog d(Source(16, 16, 4), codec::kTypePng);
        EXPECT_EQ(Items(d.Bpp()), (QStringList { "1", "8", "16", "24", "32", "4" }));
        EXPECT_EQ(d.Bpp()->currentIndex(), 5);
    }
    {
        Dialog d(Source(16, 16, 24, 30), codec::kTypePng);
        EXPECT_EQ(Items(d.Dpi()), (QStringList { "72", "96", "150", "300", "600", "30" }));
        EXPECT_EQ(d.Dpi()->currentIndex(), 5);
        EXPECT_EQ(d.Dpi()->currentText(), "30");
    }
}

TEST(ExportDialog, WbmpFixesTheDepthToOne)
{
    {
        Dialog d(Source(40, 30, 24), codec::kTypeWbmp);
        EXPECT_EQ(d.Bpp()->currentText(), "1");
        EXPECT_FALSE(d.Bpp()->isEnabled());
        ASSERT_TRUE(d.Accept("mono"));
        EXPECT_EQ(d.dlg->Options()->bpp, 1u);
        EXPECT_TRUE(d.ui.boxes.empty());
    }
    {
        // A 1-bit source leaves the list open; choosing more is refused at accept, then accepted as 1.
        Dialog d(Source(40, 30, 1), codec::kTypeWbmp);
        EXPECT_TRUE(d.Bpp()->isEnabled());
        d.Bpp()->setCurrentText("8");
        ASSERT_TRUE(d.Accept("mono"));
        EXPECT_EQ(d.Texts(), std::vector<std::string> { kWbmpMessage });
        EXPECT_EQ(d.Bpp()->currentText(), "1");
        EXPECT_EQ(d.dlg->Options()->bpp, 1u);
    }
}

TEST(ExportDialog, IcoOversizeIsFittedAndRefusedAtAccept)
{
    Dialog d(Source(1000, 500, 24), codec::kTypeIco);
    EXPECT_EQ(d.Width()->text(), "255");
    EXPECT_EQ(d.Height()->text(), "127");
    EXPECT_TRUE(d.ui.boxes.empty()); // fitting on opening says nothing

    d.TypeAndLeave(d.Width(), "300");
    EXPECT_EQ(d.Height()->text(), "150");
    EXPECT_FALSE(d.Accept("icon"));
    ASSERT_EQ(d.ui.boxes.size(), 1u);
    EXPECT_EQ(d.ui.boxes[0].text, kSizeMessage);
    EXPECT_EQ(d.ui.boxes[0].icon, core::MessageIcon::Information);
    EXPECT_EQ(d.Width()->text(), "255");
    EXPECT_EQ(d.Height()->text(), "127");
    EXPECT_FALSE(d.dlg->Options());

    // The fitted size is accepted on the next try.
    ASSERT_TRUE(d.Accept("icon"));
    EXPECT_EQ(d.ui.boxes.size(), 1u);
    const auto options = d.dlg->Options();
    ASSERT_TRUE(options);
    EXPECT_EQ(options->width, 255u);
    EXPECT_EQ(options->height, 127u);
    EXPECT_EQ(options->path, d.dir.File("icon.ico"));
}

TEST(ExportDialog, LeavingAnEditKeepsProportions)
{
    Dialog d(Source(800, 600, 24), codec::kTypePng);
    d.TypeAndLeave(d.Width(), "400");
    EXPECT_EQ(d.Height()->text(), "300");
    d.TypeAndLeave(d.Width(), "333");
    EXPECT_EQ(d.Height()->text(), "250"); // 249.75 rounded
    d.TypeAndLeave(d.Height(), "150");
    EXPECT_EQ(d.Width()->text(), "200");
    d.TypeAndLeave(d.Width(), "0");
    EXPECT_EQ(d.Height()->text(), "0");

    // Switching windows is no leaving of the edit.
    d.Width()->setText("400");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(d.Width(), &away);
    EXPECT_EQ(d.Height()->text(), "0");

    // Without keep proportions the other edit stays as typed.
    d.Keep()->setChecked(false);
    d.TypeAndLeave(d.Width(), "100");
    EXPECT_EQ(d.Height()->text(), "0");
    EXPECT_TRUE(d.ui.boxes.empty());
}

TEST(ExportDialog, ADimensionThatIsNoUnsignedNumberIsRefused)
{
    Dialog d(Source(800, 600, 24), codec::kTypePng);
    for (const char* bad : { "abc", "", "-5", "12x", "4294967296" }) {
        SCOPED_TRACE(bad);
        d.ui.boxes.clear();
        d.TypeAndLeave(d.Width(), bad);
        ASSERT_EQ(d.ui.boxes.size(), 1u);
        EXPECT_EQ(d.ui.boxes[0].text, kIntegerPrompt);
        EXPECT_EQ(d.ui.boxes[0].caption, core::kAppTitle);
        EXPECT_EQ(d.ui.boxes[0].icon, core::MessageIcon::Warning);
        EXPECT_EQ(d.Width()->text(), bad); // left for the person to correct
        EXPECT_EQ(d.Height()->text(), "600");
        EXPECT_EQ(d.dlg->State().width, 800u);
    }

    // A bad height stops the accept check as well, before any rule runs.
    d.ui.boxes.clear();
    d.Width()->setText("800");
    d.Height()->setText("abc");
    EXPECT_FALSE(d.Accept("out"));
    EXPECT_EQ(d.Texts(), std::vector<std::string> { kIntegerPrompt });

    // Blanks around the digits are fine, and the largest 32-bit value fits.
    d.ui.boxes.clear();
    d.Keep()->setChecked(false);
    d.TypeAndLeave(d.Height(), " 4294967295 ");
    d.TypeAndLeave(d.Width(), "  42 ");
    EXPECT_TRUE(d.ui.boxes.empty());
    EXPECT_EQ(d.dlg->State().width, 42u);
    EXPECT_EQ(d.dlg->State().height, 4294967295u);
}

TEST(ExportDialog, AcceptedOptionsCarryEveryControl)
{
    Dialog d(Source(800, 600, 24, 72), codec::kTypePng);
    d.TypeAndLeave(d.Width(), "400");
    d.Bpp()->setCurrentText("8");
    d.Dpi()->setEditText("200"); // typed, not in the list
    d.Gray()->setChecked(true);
    ASSERT_TRUE(d.Accept("out"));
    const auto options = d.dlg->Options();
    ASSERT_TRUE(options);
    EXPECT_EQ(options->targetType, codec::kTypePng);
    EXPECT_EQ(options->path, d.dir.File("out.png")); // the default suffix added
    EXPECT_EQ(options->width, 400u);
    EXPECT_EQ(options->height, 300u);
    EXPECT_EQ(options->bpp, 8u);
    EXPECT_EQ(options->dpi, 200);
    EXPECT_TRUE(options->grayScale);
    EXPECT_TRUE(d.ui.boxes.empty());
}

TEST(ExportDialog, NameWithItsOwnSuffixAndFolderNames)
{
    Dialog d(Source(1000, 500, 24), codec::kTypeIco);
    d.Keep()->setChecked(false);
    d.Width()->setText("300");
    // A folder is opened, not checked: no message, nothing accepted, the typed size kept.
    ASSERT_TRUE(std::filesystem::create_directory(d.dir.File("sub")));
    d.dlg->selectFile(QString::fromStdString(d.dir.File("sub")));
    d.dlg->accept();
    EXPECT_NE(d.dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(d.ui.boxes.empty());
    EXPECT_EQ(d.Width()->text(), "300");
    EXPECT_EQ(d.dlg->directory().absolutePath().toStdString(), d.dir.File("sub"));

    d.Width()->setText("64");
    ASSERT_TRUE(d.Accept("favicon.bin"));
    EXPECT_EQ(d.dlg->Options()->path, d.dir.File("favicon.bin"));
}

TEST(ExportDialog, EmptyDocumentShowsZeroByZero)
{
    ScriptedUi ui;
    CxImage empty;
    CExportImageFileDlg dlg(nullptr, empty, codec::kTypeIco, ui);
    EXPECT_EQ(dlg.findChild<QLineEdit*>("id1019")->text(), "0");
    EXPECT_EQ(dlg.findChild<QLineEdit*>("id1020")->text(), "0");
}

TEST(ExportDialog, ShowConversionOptionsAnswersTheAcceptedChoiceOrNothing)
{
    ScriptedUi ui;
    TempDir dir;
    const CxImage image = Source(64, 48, 24, 96);
    // Drives the modal dialog from its own event loop; a guard closes a dialog left open after
    // a while, so a fault cannot hang the run. It ends with the test.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* stray = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            stray->reject();
    });
    auto drive = [&](bool accept) {
        guard.start(10000);
        QTimer::singleShot(0, [&, accept] {
            auto* dlg = qobject_cast<CExportImageFileDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            if (!accept) {
                dlg->reject();
                return;
            }
            dlg->findChild<QComboBox*>("id1012")->setCurrentText("32");
            dlg->selectFile(QString::fromStdString(dir.File("shot")));
            dlg->accept();
        });
    };

    drive(true);
    const auto options = app::ShowConversionOptions(nullptr, image, codec::kTypeBmp, ui);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->path, dir.File("shot.bmp"));
    EXPECT_EQ(options->width, 64u);
    EXPECT_EQ(options->height, 48u);
    EXPECT_EQ(options->bpp, 32u);
    EXPECT_EQ(options->dpi, 96);

    drive(false);
    EXPECT_FALSE(app::ShowConversionOptions(nullptr, image, codec::kTypeBmp, ui));
    EXPECT_TRUE(ui.boxes.empty());
}
