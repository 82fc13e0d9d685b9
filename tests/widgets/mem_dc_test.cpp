#include "widgets/mem_dc.h"

#include <QBuffer>
#include <QPdfWriter>

#include <gtest/gtest.h>

using widgets::CMemDC;

namespace {

TEST(MemDC, DrawsOffScreenAndCopiesTheClipBoxOnceDone)
{
    QImage target(60, 40, QImage::Format_RGB32);
    target.fill(qRgb(0, 128, 0));
    {
        QPainter painter(&target);
        painter.translate(10, 5);
        painter.setClipRect(QRect(0, 0, 20, 10));
        CMemDC dc(painter);
        EXPECT_TRUE(dc.IsOffScreen());
        EXPECT_EQ(dc.DeviceRect(), QRect(10, 5, 20, 10));
        dc->fillRect(QRect(0, 0, 5, 5), QColor(200, 0, 0));
        dc->fillRect(QRect(15, 8, 50, 50), QColor(0, 0, 200)); // runs past the clip box
        // Nothing reaches the target before the buffer is done.
        EXPECT_EQ(target.pixel(10, 5), qRgb(0, 128, 0));
    }
    // Logical (0,0) is device (10,5); the box is filled with the painter's background (white).
    EXPECT_EQ(target.pixel(10, 5), qRgb(200, 0, 0));
    EXPECT_EQ(target.pixel(14, 9), qRgb(200, 0, 0));
    EXPECT_EQ(target.pixel(15, 9), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(25, 13), qRgb(0, 0, 200));
    EXPECT_EQ(target.pixel(29, 14), qRgb(0, 0, 200));
    // Outside the box the target is untouched.
    EXPECT_EQ(target.pixel(30, 14), qRgb(0, 128, 0));
    EXPECT_EQ(target.pixel(29, 15), qRgb(0, 128, 0));
    EXPECT_EQ(target.pixel(9, 5), qRgb(0, 128, 0));
}

TEST(MemDC, WithoutAClipItCoversTheWholeDevice)
{
    QImage target(8, 6, QImage::Format_RGB32);
    target.fill(qRgb(0, 128, 0));
    {
        QPainter painter(&target);
        painter.setBackground(QColor(9, 9, 9));
        CMemDC dc(painter);
        EXPECT_EQ(dc.DeviceRect(), QRect(0, 0, 8, 6));
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(target.pixel(7, 5), qRgb(9, 9, 9));
}

TEST(MemDC, APrinterIsDrawnOnDirectly)
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    QPainter painter(&writer);
    {
        CMemDC dc(painter);
        EXPECT_FALSE(dc.IsOffScreen());
        EXPECT_EQ(&*dc, &painter);
    }
    painter.end();
    EXPECT_TRUE(pdf.data().startsWith("%PDF"));
}

} // namespace
