#include "app/main_frame.h"
#include "app/varden_app.h"
#include "batch/ui/hlist_box.h"
#include "batch/ui/status_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using batch::ui::CHListBox;
using batch::ui::CStatusDlg;

namespace {

QStringList Lines(const CHListBox& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

/// The report shown over `results`, as a person sees it.
struct Report {
    explicit Report(const batch::ConversionResults* results)
    {
        dialog.results = results;
        dialog.show();
        QApplication::processEvents();
    }
    CHListBox& List() { return *dialog.findChild<CHListBox*>(QStringLiteral("id1014")); }
    CStatusDlg dialog;
};

TEST(ConversionReport, TemplateAndLinesInPathOrder)
{
    // Byte order: upper case before lower case, so the list order of a run plays no part.
    const batch::ConversionResults results {
        { "/b/x.png", true },
        { "/a.png", true },
        { "/B/y.png", false },
        { "/A.png", false },
    };
    Report report(&results);
    EXPECT_EQ(report.dialog.windowTitle(), QStringLiteral("Conversion report"));
    EXPECT_EQ(report.dialog.objectName(), QStringLiteral("id104"));
    EXPECT_EQ(report.List().selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_EQ(report.dialog.focusWidget(), &report.List());
    ASSERT_NE(report.dialog.findChild<QPushButton*>(QStringLiteral("id1")), nullptr);
    EXPECT_EQ(report.dialog.findChild<QPushButton*>(QStringLiteral("id1"))->text(), QStringLiteral("OK"));
    EXPECT_EQ(Lines(report.List()),
        (QStringList {
            "# Error while converting file /A.png",
            "# Error while converting file /B/y.png",
            "Successfully converted file /a.png",
            "Successfully converted file /b/x.png",
        }));

    Report none(nullptr);
    EXPECT_EQ(none.List().count(), 0);
}

TEST(ConversionReport, TheExtentFollowsTheLongestLineAndNeverShrinks)
{
    const std::string longPath = "/" + std::string(300, 'w') + ".png";
    const batch::ConversionResults results { { longPath, true }, { "/z.png", true } }; // the short one comes last
    Report report(&results);
    CHListBox& list = report.List();
    const int longWidth = QFontMetrics(list.font()).horizontalAdvance(list.item(0)->text());
    EXPECT_GT(list.MaxExtent(), longWidth);
    EXPECT_LT(list.MaxExtent(), longWidth + 20);
    // The scroll range reaches the end of the widest line.
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), list.MaxExtent() - list.viewport()->width());

    const int extent = list.MaxExtent();
    list.AddString(QStringLiteral("short"));
    list.UpdateExtent(QStringLiteral("short"));
    list.resize(list.size() + QSize(10, 0)); // a relayout keeps the extent's range
    QApplication::processEvents();
    EXPECT_EQ(list.MaxExtent(), extent);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), extent - list.viewport()->width());

    list.ResetContent();
    EXPECT_EQ(list.MaxExtent(), 0);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
}

TEST(ConversionReport, CtrlAAndCtrlCCopyTheSelectedLinesEachWithCrLf)
{
    const batch::ConversionResults results { { "/a.png", true }, { "/b.png", false }, { "/c.png", true } };
    Report report(&results);
    CHListBox& list = report.List();
    QClipboard* clipboard = QGuiApplication::clipboard();

    // Nothing selected: the clipboard keeps what it had.
    clipboard->setText(QStringLiteral("before"));
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));

    // Each click toggles one line; the copy is in line order whatever the clicking order.
    for (int row : { 2, 0 })
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(),
        QStringLiteral("Successfully converted file /a.png\r\nSuccessfully converted file /c.png\r\n"));

    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list.selectedItems().size(), 3);
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(),
        QStringLiteral("Successfully converted file /a.png\r\n# Error while converting file /b.png\r\n"
                       "Successfully converted file /c.png\r\n"));
}

TEST(ConversionReport, TheDesktopUiShowsItModallyOverTheMainWindow)
{
    app::CVardenApp application; // the desktop's own Ui
    ASSERT_TRUE(application.InitInstance(0, { QStringLiteral("pelmora") }));
    const batch::ConversionResults results { { "/x.png", false }, { "/y.png", true } };
    QWidget* parent = nullptr;
    QStringList lines;
    QTimer::singleShot(0, [&] {
        auto* report = qobject_cast<CStatusDlg*>(QApplication::activeModalWidget());
        if (!report)
            return;
        parent = report->parentWidget();
        lines = Lines(*report->ReportList());
        report->findChild<QPushButton*>(QStringLiteral("id1"))->click();
    });
    application.GetUi().ShowConversionReport(results);
    EXPECT_EQ(parent, application.MainFrame());
    EXPECT_EQ(lines, (QStringList { "# Error while converting file /x.png", "Successfully converted file /y.png" }));
}

} // namespace
