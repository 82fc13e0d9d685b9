#include "widgets/hyperlink.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

using widgets::AttachHyperlink;
using widgets::DetachHyperlink;
using widgets::FindHyperlink;
using widgets::HyperlinkColor;
using widgets::HyperlinkParent;
using widgets::HyperlinkStatic;

namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Click(QWidget* target, QPoint press, QPoint release, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(target, QEvent::MouseButtonPress, press, button);
    SendMouse(target, QEvent::MouseButtonRelease, release, button);
}

QStringList HyperlinkProperties(const QObject* object)
{
    QStringList names;
    for (const QByteArray& name : object->dynamicPropertyNames())
        if (name.startsWith("_Hyperlink_"))
            names << QString::fromLatin1(name);
    return names;
}

bool HasPixel(const QImage& image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u))
                return true;
    return false;
}

class HyperlinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(dialog.get());
        plain = new QLabel(QStringLiteral("An ordinary static text"), dialog.get());
        first = new QLabel(QStringLiteral("First link"), dialog.get());
        second = new QLabel(QStringLiteral("Second link"), dialog.get());
        layout->addWidget(plain);
        layout->addWidget(first);
        layout->addWidget(second);
        dialog->show();
        fontBefore = first->font();
    }

    std::unique_ptr<QDialog> dialog;
    QLabel* plain = nullptr;
    QLabel* first = nullptr;
    QLabel* second = nullptr;
    QFont fontBefore;
};

TEST_F(HyperlinkTest, LinksAreDrawnInTheLinkColourAndOtherStaticsKeepTheirs)
{
    const QColor normal = dialog->palette().color(QPalette::WindowText);
    ASSERT_NE(normal, HyperlinkColor());
    EXPECT_TRUE(AttachHyperlink(first));
    EXPECT_TRUE(AttachHyperlink(second));

    EXPECT_EQ(first->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_EQ(second->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_EQ(plain->palette().color(QPalette::WindowText), normal);

    // And on screen: the link's text strokes carry the link colour, the plain text's never do.
    const QImage link = first->grab().toImage();
    const QImage other = plain->grab().toImage();
    EXPECT_TRUE(HasPixel(link, qRgb(0, 0, 192)));
    EXPECT_FALSE(HasPixel(other, qRgb(0, 0, 192)));
    EXPECT_TRUE(HasPixel(other, normal.rgb()));
}

TEST_F(HyperlinkTest, LinkColourOutlivesAPaletteChangeOfTheDialog)
{
    AttachHyperlink(first);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::WindowText, QColor(90, 20, 20));
    dialog->setPalette(palette);
    EXPECT_EQ(first->palette().color(QPalette::WindowText), HyperlinkColor());
    EXPECT_EQ(plain->palette().color(QPalette::WindowText), QColor(90, 20, 20));
}

TEST_F(HyperlinkTest, ColourIsGivenAgainWhenAStylePolishesTheLink)
{
    AttachHyperlink(first);
    first->setPalette(dialog->palette()); // what a style's polish may do
    ASSERT_NE(first->palette().color(QPalette::WindowText), HyperlinkColor());
    QChildEvent polished(QEvent::ChildPolished, first);
    QApplication::sendEvent(dialog.get(), &polished);
    EXPECT_EQ(first->palette().color(QPalette::WindowText), HyperlinkColor());
}

TEST_F(HyperlinkTest, StateLivesInTheNamedProperties)
{
    AttachHyperlink(first);
    EXPECT_EQ(first->property(widgets::kHyperlinkOriginalFont).value<QFont>(), fontBefore);
    QFont underlined = fontBefore;
    underlined.setUnderline(true);
    EXPECT_EQ(first->property(widgets::kHyperlinkUnderlineFont).value<QFont>(), underlined);
    EXPECT_EQ(first->property(widgets::kHyperlinkFromStatic).toInt(), 1);
    EXPECT_EQ(first->property(widgets::kHyperlinkOriginalProc).value<QObject*>(), FindHyperlink(first));
    EXPECT_NE(FindHyperlink(first), nullptr);
    EXPECT_EQ(FindHyperlink(plain), nullptr);
    EXPECT_TRUE(HyperlinkProperties(plain).isEmpty());
    EXPECT_EQ(first->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(plain->testAttribute(Qt::WA_SetCursor));
}

TEST_F(HyperlinkTest, UnderlinedWhileThePointerIsOverItAndBackOnceItLeaves)
{
    AttachHyperlink(first);
    HyperlinkStatic* link = FindHyperlink(first);
    const QPoint inside(3, first->height() / 2);
    // Left of, above, right of and below the label; the first two are negative positions.
    const QPoint outside[] = { { -1, 3 }, { 3, -1 }, { -20, -20 }, { first->width(), 3 }, { 3, first->height() } };
    for (const QPoint& out : outside) {
        SCOPED_TRACE(testing::Message() << "leaving to " << out.x() << "," << out.y());
        SendMouse(first, QEvent::MouseMove, inside);
        EXPECT_TRUE(link->IsHot());
        EXPECT_TRUE(first->font().underline());
        SendMouse(first, QEvent::MouseMove, inside + QPoint(1, 0));
        EXPECT_TRUE(first->font().underline());
        SendMouse(first, QEvent::MouseMove, out);
        EXPECT_FALSE(link->IsHot());
        EXPECT_FALSE(first->font().underline());
        EXPECT_EQ(first->font(), fontBefore);
    }

    // Qt's leave notice counts as leaving too.
    SendMouse(first, QEvent::MouseMove, inside);
    ASSERT_TRUE(first->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(first, &leave);
    EXPECT_FALSE(first->font().underline());
}

TEST_F(HyperlinkTest, AButtonLikeClickReachesTheDialog)
{
    AttachHyperlink(first);
    AttachHyperlink(second);
    QSignalSpy firstClicks(FindHyperlink(first), &HyperlinkStatic::clicked);
    QSignalSpy secondClicks(FindHyperlink(second), &HyperlinkStatic::clicked);
    const QPoint inside(4, 4);

    Click(first, inside, inside);
    EXPECT_EQ(firstClicks.count(), 1);

    // While hot (pointer over it, underlined) a click still counts.
    SendMouse(first, QEvent::MouseMove, inside);
    ASSERT_TRUE(FindHyperlink(first)->IsHot());
    Click(first, inside, inside);
    EXPECT_EQ(firstClicks.count(), 2);

    // Not clicks: released outside, a release without a press, the other button.
    Click(first, inside, QPoint(-3, 4));
    SendMouse(first, QEvent::MouseButtonRelease, inside, Qt::LeftButton);
    Click(first, inside, inside, Qt::RightButton);
    EXPECT_EQ(firstClicks.count(), 2);
    EXPECT_EQ(secondClicks.count(), 0);

    Click(second, inside, inside);
    EXPECT_EQ(secondClicks.count(), 1);
    EXPECT_EQ(firstClicks.count(), 2);
}

TEST_F(HyperlinkTest, TwoLinksChangeTheDialogOnce)
{
    AttachHyperlink(first);
    QObject* parentFilter = dialog->property(widgets::kHyperlinkOriginalProc).value<QObject*>();
    ASSERT_NE(parentFilter, nullptr);
    AttachHyperlink(second);
    EXPECT_EQ(dialog->property(widgets::kHyperlinkOriginalProc).value<QObject*>(), parentFilter);
    EXPECT_EQ(dialog->findChildren<HyperlinkParent*>().size(), 1);
    EXPECT_EQ(first->palette().color(QPalette::WindowText), HyperlinkColor());
    EXPECT_EQ(second->palette().color(QPalette::WindowText), HyperlinkColor());
    EXPECT_EQ(HyperlinkProperties(dialog.get()), QStringList { QString::fromLatin1(widgets::kHyperlinkOriginalProc) });

    // Attaching a link again changes nothing either.
    AttachHyperlink(first);
    EXPECT_EQ(first->findChildren<HyperlinkStatic*>().size(), 1);
    QSignalSpy clicks(FindHyperlink(first), &HyperlinkStatic::clicked);
    Click(first, QPoint(2, 2), QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(HyperlinkTest, DetachingUndoesEveryChange)
{
    const QColor normal = first->palette().color(QPalette::WindowText);
    AttachHyperlink(first);
    AttachHyperlink(second);
    QPointer<HyperlinkStatic> firstFilter = FindHyperlink(first);
    QPointer<QObject> parentFilter = dialog->property(widgets::kHyperlinkOriginalProc).value<QObject*>();
    SendMouse(first, QEvent::MouseMove, QPoint(2, 2)); // detach while hot

    DetachHyperlink(first);
    EXPECT_TRUE(firstFilter.isNull());
    EXPECT_TRUE(HyperlinkProperties(first).isEmpty());
    EXPECT_EQ(first->font(), fontBefore);
    EXPECT_FALSE(first->testAttribute(Qt::WA_SetFont));
    EXPECT_FALSE(first->testAttribute(Qt::WA_SetCursor));
    EXPECT_FALSE(first->testAttribute(Qt::WA_SetPalette));
    EXPECT_EQ(first->palette().color(QPalette::WindowText), normal);
    SendMouse(first, QEvent::MouseMove, QPoint(2, 2));
    EXPECT_FALSE(first->font().underline());

    // The dialog keeps its filter while a link remains, and loses it with the last one.
    EXPECT_FALSE(parentFilter.isNull());
    EXPECT_FALSE(HyperlinkProperties(dialog.get()).isEmpty());
    DetachHyperlink(second);
    EXPECT_TRUE(parentFilter.isNull());
    EXPECT_TRUE(HyperlinkProperties(dialog.get()).isEmpty());
    EXPECT_TRUE(dialog->findChildren<HyperlinkParent*>().isEmpty());
}

TEST_F(HyperlinkTest, DestroyingTheLinksAndTheDialogLeavesNothingBehind)
{
    AttachHyperlink(first);
    AttachHyperlink(second);
    QPointer<HyperlinkStatic> firstFilter = FindHyperlink(first);
    QPointer<QObject> parentFilter = dialog->property(widgets::kHyperlinkOriginalProc).value<QObject*>();

    delete first;
    first = nullptr;
    EXPECT_TRUE(firstFilter.isNull());
    // The other link and the dialog still work.
    SendMouse(second, QEvent::MouseMove, QPoint(2, 2));
    EXPECT_TRUE(second->font().underline());
    dialog->setPalette(QPalette(QColor(200, 200, 200)));
    EXPECT_EQ(second->palette().color(QPalette::WindowText), HyperlinkColor());

    QPointer<HyperlinkStatic> secondFilter = FindHyperlink(second);
    dialog.reset();
    EXPECT_TRUE(secondFilter.isNull());
    EXPECT_TRUE(parentFilter.isNull());
}

TEST(HyperlinkWithoutParent, WorksAsALinkButKeepsItsColour)
{
    QLabel label(QStringLiteral("alone"));
    const QColor normal = label.palette().color(QPalette::WindowText);
    EXPECT_TRUE(AttachHyperlink(&label));
    SendMouse(&label, QEvent::MouseMove, QPoint(1, 1));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), normal);
    DetachHyperlink(&label);
    EXPECT_TRUE(HyperlinkProperties(&label).isEmpty());
}

} // namespace
