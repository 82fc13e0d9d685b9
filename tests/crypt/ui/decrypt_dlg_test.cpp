#include "app/app_harness.h"
#include "crypt/ui/decrypt_dlg.h"
#include "widgets/folder_dialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>

using cryptui::CDecryptDlg;
using testing_support::ScriptedUi;

namespace {

const char* kPasswordMessage = "Please select a password with at least 4 characters!";
const char* kDestinationMessage = "Please select a destination for the files";
const char* kFilesMessage = "Please select files for the crypting operation";

/// The dialog shown over `files` (none: no list handed over), its controls found by id.
struct Dialog {
    explicit Dialog(const std::vector<std::string>* files)
        : dlg(std::make_unique<CDecryptDlg>(nullptr, ui))
    {
        if (files)
            dlg->SetFiles(*files);
        dlg->show();
        QApplication::processEvents();
    }
    template <typename T> T* Control(int id) const
    {
        T* control = dlg->findChild<T*>(CDecryptDlg::ControlName(id));
        EXPECT_NE(control, nullptr) << "no control " << id;
        return control;
    }
    QLineEdit* Password() const { return Control<QLineEdit>(1049); }
    QLineEdit* Destination() const { return Control<QLineEdit>(1051); }
    QTableWidget* List() const { return Control<QTableWidget>(1000); }
    void Click(int id) { Control<QPushButton>(id)->click(); }
    QStringList Row(int row) const { return { List()->item(row, 0)->text(), List()->item(row, 1)->text() }; }

    ScriptedUi ui;
    std::unique_ptr<CDecryptDlg> dlg;
};

const std::vector<std::string> kThree { "/pictures/a.jpg", "/pictures/b/c.png", "/other/a.jpg" };

TEST(DecryptDialog, Template183)
{
    Dialog d(&kThree);
    EXPECT_EQ(d.dlg->windowTitle(), QStringLiteral("Decypt files"));
    EXPECT_EQ(d.dlg->objectName(), QStringLiteral("id183"));
    QStringList labels;
    for (const QLabel* label : d.dlg->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_EQ(labels, (QStringList { "Password for these files", "Destination path for the files" }));
    EXPECT_EQ(d.Password()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(d.Destination()->isReadOnly());
    for (const auto& [id, text] : { std::pair { 1052, "..." }, { 1053, "Add..." }, { 1, "OK" }, { 2, "Abbrechen" } })
        EXPECT_EQ(d.Control<QPushButton>(id)->text(), QString::fromUtf8(text)) << id;
    EXPECT_TRUE(d.Control<QPushButton>(1)->isDefault());

    QTableWidget* list = d.List();
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("File- name"));
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("File- path"));
    EXPECT_EQ(list->columnWidth(0), 300);
    EXPECT_EQ(list->columnWidth(1), 300);
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(d.Row(0), (QStringList { "a.jpg", "/pictures/a.jpg" }));
    EXPECT_EQ(d.Row(1), (QStringList { "c.png", "/pictures/b/c.png" }));
    EXPECT_EQ(d.Row(2), (QStringList { "a.jpg", "/other/a.jpg" }));
}

TEST(DecryptDialog, OkChecksPasswordThenDestinationThenFilesAndClearsOnlyTheOffendingField)
{
    const std::vector<std::string> none;
    struct Case {
        const char* password;
        const char* destination;
        const std::vector<std::string>* files;
        const char* message; // nullptr: accepted
        core::MessageIcon icon;
        const char* passwordAfter;
        const char* destinationAfter;
    };
    const Case cases[] = {
        { "abcd", "/out", &kThree, nullptr, core::MessageIcon::None, "abcd", "/out" },
        { "abc", "/out", &kThree, kPasswordMessage, core::MessageIcon::Error, "", "/out" },
        // A root of three characters, like C:\, is no destination.
        { "abcd", "C:\\", &kThree, kDestinationMessage, core::MessageIcon::Information, "abcd", "" },
        { "", "/ab", &kThree, kPasswordMessage, core::MessageIcon::Error, "", "/ab" },
        { "abcd", "/out", &none, kFilesMessage, core::MessageIcon::Information, "abcd", "/out" },
        { "abcd", "/out", nullptr, kFilesMessage, core::MessageIcon::Information, "abcd", "/out" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.password) + " | " + c.destination);
        Dialog d(c.files);
        d.Password()->setText(QString::fromUtf8(c.password));
        d.Destination()->setText(QString::fromUtf8(c.destination));
        d.Click(1);
        EXPECT_EQ(d.Password()->text(), QString::fromUtf8(c.passwordAfter));
        EXPECT_EQ(d.Destination()->text(), QString::fromUtf8(c.destinationAfter));
        if (!c.message) {
            EXPECT_EQ(d.dlg->result(), QDialog::Accepted);
            EXPECT_TRUE(d.ui.boxes.empty());
            EXPECT_EQ(d.dlg->Password(), "abcd");
            EXPECT_EQ(d.dlg->Destination(), "/out");
            continue;
        }
        EXPECT_TRUE(d.dlg->isVisible());
        EXPECT_NE(d.dlg->result(), QDialog::Accepted);
        ASSERT_EQ(d.ui.boxes.size(), 1u);
        EXPECT_EQ(d.ui.boxes[0].text, c.message);
        EXPECT_EQ(d.ui.boxes[0].caption, "Korvane Pelmora");
        EXPECT_EQ(d.ui.boxes[0].icon, c.icon);
        EXPECT_EQ(d.ui.boxes[0].owner, core::Owner::Dialog);
    }
}

TEST(DecryptDialog, AddAppendsWithoutLookingForDuplicatesAndRebuildsTheRowsAlsoWhenCancelled)
{
    app_testing::ScriptedPrompts prompts;
    prompts.answers = { {}, { "/pictures/a.jpg", "/new/d.gif" } };
    Dialog d(&kThree);
    d.Password()->setText(QStringLiteral("typed"));
    d.List()->selectRow(1);

    d.Click(1053); // cancelled
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
    EXPECT_EQ(prompts.requests[0].owner, d.dlg.get());
    EXPECT_TRUE(prompts.requests[0].nameFilters.isEmpty());
    EXPECT_EQ(*d.dlg->Files(), kThree);
    EXPECT_EQ(d.List()->rowCount(), 3);
    EXPECT_TRUE(d.List()->selectedItems().isEmpty());

    d.Click(1053);
    std::vector<std::string> expected = kThree;
    expected.insert(expected.end(), { "/pictures/a.jpg", "/new/d.gif" });
    EXPECT_EQ(*d.dlg->Files(), expected);
    ASSERT_EQ(d.List()->rowCount(), 5);
    EXPECT_EQ(d.Row(0), d.Row(3));
    EXPECT_EQ(d.Row(4), (QStringList { "d.gif", "/new/d.gif" }));
    EXPECT_EQ(d.Password()->text(), QStringLiteral("typed"));
}

TEST(DecryptDialog, TheFolderPickerSetsTheDestinationOnlyWhenAFolderIsChosen)
{
    QString title;
    QString initial;
    QUrl answer = QUrl::fromLocalFile(QStringLiteral("/srv/out"));
    const widgets::CFolderDialog::Chooser previous
        = widgets::CFolderDialog::SetChooser([&](QWidget*, const QString& t, const QString& i) {
              title = t;
              initial = i;
              return answer;
          });
    Dialog d(&kThree);
    d.Click(1052);
    EXPECT_EQ(title, QStringLiteral("Select a destination directory"));
    EXPECT_TRUE(initial.isEmpty());
    EXPECT_EQ(d.Destination()->text(), QStringLiteral("/srv/out"));

    answer = QUrl(); // cancelled
    d.Click(1052);
    EXPECT_EQ(initial, QStringLiteral("/srv/out"));
    EXPECT_EQ(d.Destination()->text(), QStringLiteral("/srv/out"));
    widgets::CFolderDialog::SetChooser(previous);
}

} // namespace
