#include "widgets/mem_dc.h"

#include <QPaintDevice>
#include <QPaintEngine>

namespace widgets {

namespace {

bool IsPrinting(QPainter& painter)
{
    const int devType = painter.device()->devType();
    const QPaintEngine* engine = painter.paintEngine();
    return devType == QInternal::Printer || devType == QInternal::Picture
        || (engine && engine->type() == QPaintEngine::Pdf);
}

} // namespace

CMemDC::CMemDC(QPainter& target)
    : target_(target)
    , painter_(&target)
    , offScreen_(!IsPrinting(target))
{
    const QTransform toDevice = target.combinedTransform();
    const QRect deviceRect(0, 0, target.device()->width(), target.device()->height());
    deviceBox_
        = target.hasClipping() ? toDevice.mapRect(target.clipBoundingRect()).toAlignedRect() & deviceRect : deviceRect;
    const QColor background = target.background().color();

    if (!offScreen_) {
        target.save();
        target.setWorldTransform(QTransform());
        target.setViewTransformEnabled(false);
        target.fillRect(deviceBox_, background);
        target.restore();
        return;
    }

    // Sized in the device's own pixels so that a high-density screen keeps its sharpness.
    const qreal ratio = target.device()->devicePixelRatioF();
    buffer_ = QImage(deviceBox_.size() * ratio, QImage::Format_RGB32);
    buffer_.setDevicePixelRatio(ratio);
    buffer_.fill(background);
    bufferPainter_.begin(&buffer_);
    bufferPainter_.setTransform(toDevice * QTransform::fromTranslate(-deviceBox_.x(), -deviceBox_.y()));
    bufferPainter_.setFont(target.font());
    bufferPainter_.setPen(target.pen());
    bufferPainter_.setBrush(target.brush());
    bufferPainter_.setBackground(target.background());
    bufferPainter_.setRenderHints(target.renderHints());
    painter_ = &bufferPainter_;
}

CMemDC::~CMemDC()
{
    if (!offScreen_)
        return;
    bufferPainter_.end();
    target_.save();
    target_.setWorldTransform(QTransform());
    target_.setViewTransformEnabled(false);
    target_.drawImage(deviceBox_.topLeft(), buffer_);
    target_.restore();
}

} // namespace widgets
