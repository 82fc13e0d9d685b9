#include "gif/ui/picture_ex.h"

#include "codec/fileio.h"
#include "widgets/cross_thread.h"

#include <QImage>
#include <QPainter>
#include <QPalette>

namespace gif_ui {

namespace {

codec::RGBQuad ToQuad(const QColor& c)
{
    return codec::RGBQuad { static_cast<std::uint8_t>(c.red()),
        static_cast<std::uint8_t>(c.green()),
        static_cast<std::uint8_t>(c.blue()),
        255 };
}

} // namespace

CPictureEx::CPictureEx(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Drawn frames reach the screen through the event loop: the thread never touches the widget.
    animator_.SetOnDrawn(
        [this] { widgets::InvokeFromWorker(this, [this] { update(); }, Qt::QueuedConnection); });
}

CPictureEx::~CPictureEx()
{
    ClearPicture();
}

bool CPictureEx::LoadPictureFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (!codec::ReadWholeFile(path, bytes))
        return false;
    return LoadPictureData(bytes);
}

bool CPictureEx::LoadPictureData(codec::ByteView data)
{
    ClearPicture();
    if (!decoder_.LoadPictureData(data))
        return false;
    return PrepareSurface(decoder_.PictureWidth(), decoder_.PictureHeight());
}

void CPictureEx::ClearPicture()
{
    animator_.Clear(); // stops the thread before the frames go
    decoder_.ClearPicture();
    update();
}

bool CPictureEx::PrepareSurface(int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    resize(width, height); // the position stays
    const QPalette& p = palette();
    return animator_.PrepareSurface(static_cast<std::uint32_t>(width),
        static_cast<std::uint32_t>(height),
        ToQuad(p.color(QPalette::Button)),
        ToQuad(p.color(QPalette::Window)));
}

bool CPictureEx::ShowPicture()
{
    const bool drawn = animator_.ShowPicture();
    if (drawn)
        update();
    return drawn;
}

void CPictureEx::StopAnimation()
{
    animator_.StopAnimation();
}

void CPictureEx::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    std::vector<std::uint8_t> rgba;
    std::uint32_t w = 0, h = 0;
    animator_.CopySurface(rgba, w, h);
    if (rgba.empty())
        return; // nothing prepared yet
    const QImage image(
        rgba.data(), static_cast<int>(w), static_cast<int>(h), static_cast<int>(w * 4), QImage::Format_RGBA8888);
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

} // namespace gif_ui
