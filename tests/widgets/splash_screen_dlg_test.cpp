#include "widgets/splash_screen_dlg.h"

#include "widgets/resources.h"

#include "support/test_support.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <gtest/gtest.h>

using widgets::CSplashScreenDlg;

namespace {

QRect Splash(int screenWidth, int screenHeight, QPoint origin = {})
{
    return CSplashScreenDlg::SplashRect(QSize(640, 480), QRect(origin, QSize(screenWidth, screenHeight)));
}

TEST(SplashRect, CentresThePictureOnTheScreen)
{
    EXPECT_EQ(Splash(1920, 1080), QRect(640, 300, 640, 480));
    EXPECT_EQ(Splash(1024, 768), QRect(192, 144, 640, 480));
    EXPECT_EQ(Splash(1025, 769), QRect(192, 144, 640, 480));
    EXPECT_EQ(Splash(640, 480), QRect(0, 0, 640, 480));
    // A primary screen that does not start at the origin of the desktop.
    EXPECT_EQ(Splash(1280, 1024, QPoint(1920, 0)), QRect(2240, 272, 640, 480));
}

TEST(SplashRect, ASmallerScreenGivesNegativeCornersTruncatedTowardZero)
{
    EXPECT_EQ(Splash(600, 400), QRect(-20, -40, 640, 480));
    EXPECT_EQ(Splash(600, 400).center(), QRect(0, 0, 600, 400).center());
    // Odd differences: -39 / 2 is -19 (not -20 as flooring would give), -1 / 2 is 0.
    EXPECT_EQ(Splash(601, 401), QRect(-19, -39, 640, 480));
    EXPECT_EQ(Splash(639, 479), QRect(0, 0, 640, 480));
    EXPECT_EQ(Splash(320, 200), QRect(-160, -140, 640, 480));
}

TEST(SplashScreen, APictureThatCannotBeLoadedMakesNoWindow)
{
    const std::uint8_t garbage[] = { 'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e' };
    for (codec::ByteView bytes : { codec::ByteView(garbage), codec::ByteView() }) {
        CSplashScreenDlg splash;
        EXPECT_FALSE(splash.Create(nullptr, bytes));
        EXPECT_FALSE(splash.isVisible());
        EXPECT_FALSE(splash.testAttribute(Qt::WA_WState_Created));
        EXPECT_EQ(splash.windowHandle(), nullptr);
    }
    CSplashScreenDlg empty;
    EXPECT_FALSE(empty.Create(nullptr, codec::CxImage()));
    EXPECT_FALSE(empty.isVisible());
}

TEST(SplashScreen, ShowsThePictureCentredInsideAThinBorder)
{
    const codec::CxImage picture = testing_support::MakeTestImage(640, 480, 24);
    CSplashScreenDlg splash;
    ASSERT_TRUE(splash.Create(nullptr, picture));
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.isWindow());
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::SplashScreen));
    EXPECT_TRUE(splash.windowTitle().isEmpty());
    EXPECT_EQ(
        splash.geometry(), CSplashScreenDlg::SplashRect(QSize(640, 480), QGuiApplication::primaryScreen()->geometry()));

    const QImage shown = splash.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(640, 480));
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(639, 479), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(320, 0), qRgb(0, 0, 0));
    // The picture starts inside the border at its own (0, 0); its last column and row are covered.
    int wrong = 0;
    for (int y = 0; y < 478; ++y)
        for (int x = 0; x < 638; ++x) {
            const codec::RGBQuad c
                = picture.GetPixelColor(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
            wrong += shown.pixel(x + 1, y + 1) != qRgb(c.red, c.green, c.blue);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(SplashScreen, Picture168IsOurOwn640By480Jpeg)
{
    const QByteArray bytes = widgets::ResourceBytes("JPG", widgets::kJpgSplash);
    ASSERT_GT(bytes.size(), 1000);
    EXPECT_TRUE(bytes.startsWith("\xFF\xD8\xFF"));
    const QImage qtView = QImage::fromData(bytes, "JPG");
    EXPECT_EQ(qtView.size(), QSize(640, 480));
}

// Needs the codec's JPEG reader.
TEST(SplashScreen, LoadsPicture168ThroughTheCodec)
{
    CSplashScreenDlg splash;
    ASSERT_TRUE(splash.Create(nullptr)) << splash.Image().GetLastError();
    EXPECT_EQ(splash.Image().GetWidth(), 640u);
    EXPECT_EQ(splash.Image().GetHeight(), 480u);
    EXPECT_EQ(splash.size(), QSize(640, 480));

    // Qt's own JPEG reader as the oracle: the same picture up to decoder rounding.
    const QImage oracle
        = QImage(widgets::ResourcePath("JPG", widgets::kJpgSplash)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(oracle.size(), QSize(640, 480));
    double squared = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const codec::RGBQuad c
                = splash.Image().GetPixelColor(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
            const QRgb o = oracle.pixel(x, y);
            const double dr = c.red - qRed(o), dg = c.green - qGreen(o), db = c.blue - qBlue(o);
            squared += dr * dr + dg * dg + db * db;
        }
    const double mse = squared / (640.0 * 480.0 * 3.0);
    EXPECT_LT(mse, 4.0); // above 42 dB
}

} // namespace
