#include "widgets/about_dlg.h"

#include "widgets/hyperlink.h"
#include "widgets/image_ctrl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QtMath>

#include <gtest/gtest.h>

#include <vector>

using widgets::CAboutDlg;

namespace {

const QString kInformationLine
    = QStringLiteral("Further information about Korvane and it's members is available at the");

QStringList LabelTexts(const QWidget& dialog)
{
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

QLabel* Control(const QWidget& dialog, int id)
{
    return dialog.findChild<QLabel*>(QStringLiteral("id%1").arg(id));
}

void ClickAt(QWidget* widget, QPoint pos)
{
    for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
        QMouseEvent event(type,
            QPointF(pos),
            QPointF(widget->mapToGlobal(pos)),
            Qt::LeftButton,
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
            Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

class AboutDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = CAboutDlg::SetUrlOpener([this](const QUrl& url) {
            opened.push_back(url);
            return false; // a handler that fails: the dialog carries on silently
        });
        dialog.show();
    }
    void TearDown() override { CAboutDlg::SetUrlOpener(previous); }

    CAboutDlg::UrlOpener previous;
    std::vector<QUrl> opened;
    CAboutDlg dialog;
};

TEST_F(AboutDlgTest, ShowsEveryTextOfTheTemplate)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Korvane Pelmora"));
    EXPECT_EQ(dialog.objectName(), QStringLiteral("id100"));
    const QStringList texts = LabelTexts(dialog);
    for (const char* text : { "Korvane Pelmora Version 1.0",
             "Korvane Website",
             "For additional feature request, bug reports or any other requests feel free to contact the members of "
             "Korvane Software Solutions Ltd.",
             "Korvane contact",
             "Korvane Software Solutions Ltd." })
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;

    EXPECT_EQ(Control(dialog, 1007)->text(), QStringLiteral("Korvane Website"));
    EXPECT_EQ(Control(dialog, 1008)->text(), QStringLiteral("Korvane contact"));
    EXPECT_EQ(Control(dialog, 1029)->text(), QStringLiteral("Korvane Software Solutions Ltd."));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("id1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());

    // The two-line sentence: a line naming the maker, then the information line, a gap, a full stop.
    const QRegularExpression twoLines(QStringLiteral("^Korvane[^\\n]+\\n")
        + QRegularExpression::escape(kInformationLine) + QStringLiteral(" {3,}\\.$"));
    EXPECT_EQ(texts.filter(twoLines).size(), 1) << texts.join(QStringLiteral(" | ")).toStdString();
}

TEST_F(AboutDlgTest, TheWebLinkSitsInTheGapOfTheInformationLine)
{
    QLabel* information = nullptr;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->text().contains(kInformationLine))
            information = label;
    ASSERT_NE(information, nullptr);
    QLabel* website = Control(dialog, 1007);
    ASSERT_EQ(website->parentWidget(), &dialog);

    const QFontMetricsF metrics(information->font());
    const QString secondLine = information->text().section(QLatin1Char('\n'), 1);
    const qreal gapStart = information->x() + metrics.horizontalAdvance(kInformationLine);
    const qreal fullStop = information->x() + metrics.horizontalAdvance(secondLine.chopped(1));
    const QRect link = website->geometry();
    EXPECT_GT(link.left(), gapStart);
    // The full stop follows the link's end closely: at most a pixel before it, less than a space after.
    const qreal linkEnd = link.left() + metrics.horizontalAdvance(website->text());
    EXPECT_GE(fullStop, linkEnd - 1);
    EXPECT_LT(fullStop, linkEnd + metrics.horizontalAdvance(QLatin1Char(' ')));
    EXPECT_EQ(link.top(), information->y() + qRound(metrics.lineSpacing()));
    EXPECT_TRUE(website->isVisible());
}

TEST_F(AboutDlgTest, TheCompanyNameIsInSylfaenWithEverythingElseKept)
{
    QLabel* company = Control(dialog, 1029);
    ASSERT_NE(qobject_cast<widgets::CImageCtrl*>(company), nullptr);
    const QFont font = company->font();
    const QFont dialogFont = dialog.font();
    EXPECT_EQ(font.family(), QStringLiteral("Sylfaen"));
    EXPECT_EQ(font.pointSizeF(), dialogFont.pointSizeF());
    EXPECT_EQ(font.weight(), dialogFont.weight());
    EXPECT_EQ(font.italic(), dialogFont.italic());
    EXPECT_EQ(font.underline(), dialogFont.underline());
    EXPECT_EQ(font, dialog.CompanyFont());
    // Whatever face the font matching gives for Sylfaen, the control is laid out for it: the whole
    // name fits, none of it clipped, and it is drawn.
    QApplication::processEvents();
    EXPECT_GE(company->width(), qCeil(QFontMetricsF(font).horizontalAdvance(company->text())));
    const QImage shown = company->grab().toImage();
    const QRgb background = shown.pixel(0, 0);
    int inked = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            inked += shown.pixel(x, y) != background;
    EXPECT_GT(inked, 20);
    // Other statics keep the dialog's face.
    EXPECT_EQ(Control(dialog, 1008)->font().family(), dialogFont.family());
}

TEST_F(AboutDlgTest, ThePictureIsBitmap175InAnImageControl)
{
    auto* picture = qobject_cast<widgets::CImageCtrl*>(Control(dialog, 1028));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(299, 155));
    EXPECT_EQ(picture->size(), QSize(299, 155));
}

TEST_F(AboutDlgTest, BothLinksAreLinksOfTheDialogAndOpenTheirAddresses)
{
    QLabel* website = Control(dialog, 1007);
    QLabel* contact = Control(dialog, 1008);
    ASSERT_NE(widgets::FindHyperlink(website), nullptr);
    ASSERT_NE(widgets::FindHyperlink(contact), nullptr);
    EXPECT_EQ(dialog.findChildren<widgets::HyperlinkParent*>().size(), 1);
    EXPECT_EQ(website->palette().color(QPalette::WindowText), widgets::HyperlinkColor());
    EXPECT_EQ(contact->palette().color(QPalette::WindowText), widgets::HyperlinkColor());
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label == website || label == contact)
            continue;
        EXPECT_NE(label->palette().color(QPalette::WindowText), widgets::HyperlinkColor())
            << label->text().toStdString();
    }

    ClickAt(website, QPoint(3, 3));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], CAboutDlg::WebsiteUrl());
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("https"));
    EXPECT_TRUE(opened[0].toString().endsWith(QStringLiteral("?app=Velk")));

    ClickAt(contact, QPoint(3, 3));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
