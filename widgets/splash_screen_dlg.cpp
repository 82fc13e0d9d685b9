#include "widgets/splash_screen_dlg.h"

#include "widgets/mem_dc.h"
#include "widgets/resources.h"
#include "widgets/to_qimage.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <utility>

namespace widgets {

namespace {

// A thin border drawn by the window itself: the picture sits inside it, as in a bordered popup.
constexpr int kBorder = 1;

} // namespace

CSplashScreenDlg::CSplashScreenDlg()
{
    // Everything is painted, so there is no background to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

QRect CSplashScreenDlg::SplashRect(QSize image, QRect screen)
{
    // Integer division truncates toward zero, as the centring rule asks, also for negatives.
    const int left = (screen.width() - image.width()) / 2;
    const int top = (screen.height() - image.height()) / 2;
    return QRect(screen.x() + left, screen.y() + top, image.width(), image.height());
}

bool CSplashScreenDlg::Create(QWidget* owner)
{
    const QByteArray bytes = ResourceBytes("JPG", kJpgSplash);
    return Create(owner,
        codec::ByteView(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
}

bool CSplashScreenDlg::Create(QWidget* owner, codec::ByteView picture)
{
    if (!image_.LoadResource(picture, codec::kTypeUnknown))
        return false;
    return CreateWindow(owner);
}

bool CSplashScreenDlg::Create(QWidget* owner, codec::CxImage picture)
{
    image_ = std::move(picture);
    return CreateWindow(owner);
}

bool CSplashScreenDlg::CreateWindow(QWidget* owner)
{
    if (!image_.IsValid())
        return false;
    frame_ = ToQImage(image_);
    if (frame_.isNull())
        return false;

    setParent(owner, Qt::SplashScreen | Qt::FramelessWindowHint);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    setGeometry(SplashRect(frame_.size(), screenRect));
    show();
    return isVisible();
}

void CSplashScreenDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const QRect client = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    painter.setClipRect(client & event->rect());
    painter.translate(client.topLeft());
    CMemDC dc(painter);
    if (!frame_.isNull())
        dc->drawImage(0, 0, frame_);
}

} // namespace widgets
