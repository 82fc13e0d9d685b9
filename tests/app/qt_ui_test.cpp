#include "app/qt_ui.h"

#include "app/main_frame.h"
#include "app/varden_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
    bool seen = false;
};

/// Answers the next message box with `button` once it is up, recording what it showed.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, [&seen, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = { box->windowTitle(), box->text(), box->icon(), box->parentWidget(), true };
        box->button(button)->click();
    });
}

class QtUiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = std::make_unique<app::CVardenApp>(); // the desktop's own Ui
        ASSERT_TRUE(app->InitInstance(0, { QStringLiteral("pelmora") }));
    }
    std::unique_ptr<app::CVardenApp> app;
};

TEST_F(QtUiTest, StatusTextsGoToTheFirstPane)
{
    app->GetUi().SetStatusText("Loading file /tmp/a.png");
    EXPECT_EQ(app->MainFrame()->MessageText(), QStringLiteral("Loading file /tmp/a.png"));
    app->GetUi().SetStatusText("\xC3\x8Arror while saving file /x");
    EXPECT_EQ(app->MainFrame()->MessageText(), QString::fromUtf8("\u00CArror while saving file /x"));
}

TEST_F(QtUiTest, MessageBoxesShowCaptionTextAndIconWithTheOwnersWindow)
{
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    app->GetUi().MessageBox(
        "Error while opening file x\nbad", "Error while loading file", core::MessageIcon::Error, core::Owner::None);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.caption, QStringLiteral("Error while loading file"));
    EXPECT_EQ(seen.text, QStringLiteral("Error while opening file x\nbad"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.parent, nullptr);

    AnswerNextBox(seen, QMessageBox::Ok);
    app->GetUi().MessageBox(
        "Failed to open document.", "Korvane Pelmora", core::MessageIcon::Warning, core::Owner::MainWindow);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.parent, app->MainFrame());
}

TEST_F(QtUiTest, QuestionsAnswerYesOrNo)
{
    SeenBox seen;
    AnswerNextBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(app->GetUi().AskYesNo("Show the report?", "Done", core::MessageIcon::Information, core::Owner::View));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.parent, app->MainFrame()); // no view open: the main window owns it
    AnswerNextBox(seen, QMessageBox::No);
    EXPECT_FALSE(app->GetUi().AskYesNo("Show the report?", "Done", core::MessageIcon::None, core::Owner::Dialog));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST_F(QtUiTest, WaitCursorNestsAndUnwinds)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        core::WaitCursor outer(app->GetUi());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        core::WaitCursor inner(app->GetUi());
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    app->GetUi().EndWaitCursor(); // one too many changes nothing
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
