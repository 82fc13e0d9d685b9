#include "widgets/image_ctrl.h"

#include "widgets/resources.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using widgets::CImageCtrl;

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);

// A background no picture pixel could be confused with.
QImage Checkerboard(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(11, 222, 33) : qRgb(44, 55, 166));
    return image;
}

// The control drawn over `background`, as a dialog's background would be behind it.
QImage RenderOver(CImageCtrl& control, const QImage& background)
{
    QImage target = background.copy();
    control.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
    return target;
}

TEST(ImageCtrl, MagentaShowsTheBackgroundAndEveryOtherPixelIsCopied)
{
    // Magenta and its nearest neighbours, which must not be taken for it.
    const QRgb colours[] = { kMagenta,
        qRgb(254, 0, 255),
        qRgb(255, 1, 255),
        qRgb(255, 0, 254),
        qRgb(0, 0, 0),
        qRgb(255, 255, 255),
        qRgb(0, 0, 192),
        qRgb(17, 99, 201) };
    QImage picture(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, colours[(x * 5 + y * 3 + x * y) % std::size(colours)]);

    CImageCtrl control;
    control.setPixmap(QPixmap::fromImage(picture));
    control.setFixedSize(picture.size());
    const QImage background = Checkerboard(picture.size());
    const QImage shown = RenderOver(control, background);

    int wrong = 0, transparent = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb expected = picture.pixel(x, y) == kMagenta ? background.pixel(x, y) : picture.pixel(x, y);
            transparent += picture.pixel(x, y) == kMagenta;
            wrong += shown.pixel(x, y) != expected;
        }
    EXPECT_GT(transparent, 10);
    EXPECT_EQ(wrong, 0);
}

TEST(ImageCtrl, AreaBeyondThePictureIsTransparentToo)
{
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    CImageCtrl control;
    control.setPixmap(QPixmap::fromImage(picture));
    control.setFixedSize(9, 7);
    const QImage background = Checkerboard(QSize(9, 7));
    const QImage shown = RenderOver(control, background);
    EXPECT_EQ(shown.pixel(3, 2), qRgb(1, 2, 3));
    EXPECT_EQ(shown.pixel(4, 2), background.pixel(4, 2));
    EXPECT_EQ(shown.pixel(3, 3), background.pixel(3, 3));
    EXPECT_EQ(shown.pixel(8, 6), background.pixel(8, 6));
}

TEST(ImageCtrl, ANewPictureReplacesTheOldOne)
{
    QImage red(5, 5, QImage::Format_RGB32), blue(5, 5, QImage::Format_RGB32);
    red.fill(qRgb(200, 0, 0));
    blue.fill(qRgb(0, 0, 200));
    CImageCtrl control;
    control.setFixedSize(5, 5);
    control.setPixmap(QPixmap::fromImage(red));
    EXPECT_EQ(RenderOver(control, Checkerboard(QSize(5, 5))).pixel(2, 2), qRgb(200, 0, 0));
    control.setPixmap(QPixmap::fromImage(blue));
    EXPECT_EQ(RenderOver(control, Checkerboard(QSize(5, 5))).pixel(2, 2), qRgb(0, 0, 200));
}

TEST(ImageCtrl, WithoutAPictureItDrawsAsAnOrdinaryLabel)
{
    CImageCtrl control(QStringLiteral("Korvane Software Solutions Ltd."));
    QLabel label(QStringLiteral("Korvane Software Solutions Ltd."));
    control.resize(label.sizeHint());
    label.resize(label.sizeHint());
    EXPECT_EQ(control.grab().toImage(), label.grab().toImage());
}

TEST(ImageCtrl, Bitmap175IsA299By155PictureOnMagenta)
{
    const QImage bitmap(widgets::ResourcePath("bitmap", widgets::kBitmapAbout));
    ASSERT_EQ(bitmap.size(), QSize(299, 155));
    EXPECT_FALSE(bitmap.hasAlphaChannel());
    EXPECT_EQ(bitmap.pixel(0, 0), kMagenta);
    EXPECT_EQ(bitmap.pixel(298, 154), kMagenta);
    int magenta = 0;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            magenta += bitmap.pixel(x, y) == kMagenta;
    // Mostly background, but with a picture on it.
    EXPECT_GT(magenta, 299 * 155 / 3);
    EXPECT_LT(magenta, 299 * 155 * 9 / 10);
}

} // namespace
