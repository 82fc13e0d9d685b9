#include "widgets/hyperlink.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QVariant>

namespace widgets {

namespace {

HyperlinkParent* ParentFilterOf(const QWidget* parent)
{
    return qobject_cast<HyperlinkParent*>(parent->property(kHyperlinkOriginalProc).value<QObject*>());
}

bool IsLink(const QObject* object)
{
    return object->property(kHyperlinkFromStatic).isValid();
}

} // namespace

HyperlinkStatic::HyperlinkStatic(QLabel* label)
    : QObject(label)
    , label_(label)
{
    hadOwnCursor_ = label->testAttribute(Qt::WA_SetCursor);
    savedCursor_ = label->cursor();
    hadMouseTracking_ = label->hasMouseTracking();
    hadOwnPalette_ = label->testAttribute(Qt::WA_SetPalette);
    savedPalette_ = label->palette();

    // Qt always has the pointing hand; where a platform lacks the shape it shows its arrow.
    label->setCursor(Qt::PointingHandCursor);
    // Without tracking a label sees no mouse move unless a button is down.
    label->setMouseTracking(true);
    label->installEventFilter(this);
}

void HyperlinkStatic::Detach()
{
    QLabel* label = label_;
    label->removeEventFilter(this);
    label->setProperty(kHyperlinkOriginalProc, QVariant());
    label->setFont(label->property(kHyperlinkOriginalFont).value<QFont>());
    label->setProperty(kHyperlinkOriginalFont, QVariant());
    label->setProperty(kHyperlinkUnderlineFont, QVariant());
    label->setProperty(kHyperlinkFromStatic, QVariant());

    if (hadOwnCursor_)
        label->setCursor(savedCursor_);
    else
        label->unsetCursor();
    label->setMouseTracking(hadMouseTracking_);
    // An empty palette hands the label back to its parent's palette.
    label->setPalette(hadOwnPalette_ ? savedPalette_ : QPalette());
    label->update();
    delete this;
}

void HyperlinkStatic::SetHot(bool hot)
{
    if (hot_ == hot)
        return;
    hot_ = hot;
    label_->setFont(label_->property(hot ? kHyperlinkUnderlineFont : kHyperlinkOriginalFont).value<QFont>());
    label_->update();
}

bool HyperlinkStatic::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != label_)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        // A move outside arrives while a button holds the pointer (a drag off the link); left of or
        // above the label the position is negative, which is outside as well.
        const bool inside = label_->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint());
        SetHot(inside);
        break;
    }
    case QEvent::Leave:
        // Qt reports the pointer leaving, so the link needs no mouse grab to notice it.
        SetHot(false);
        break;
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            pressed_ = true;
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const bool click = pressed_ && label_->rect().contains(mouse->position().toPoint());
        pressed_ = false;
        if (click) {
            // A receiver may detach the link, which deletes this filter: touch no member after.
            emit clicked();
            return false;
        }
        break;
    }
    default:
        break;
    }
    // Like any subclassing, everything goes on to the label's own handling.
    return false;
}

HyperlinkParent::HyperlinkParent(QWidget* parent)
    : QObject(parent)
{
    parent->installEventFilter(this);
}

void HyperlinkParent::ApplyLinkColor(QLabel* label)
{
    QPalette palette = label->palette();
    if (palette.color(QPalette::Active, QPalette::WindowText) == HyperlinkColor()
        && palette.color(QPalette::Inactive, QPalette::WindowText) == HyperlinkColor())
        return;
    // A disabled link keeps the style's grey text, as a disabled static does.
    palette.setColor(QPalette::Active, QPalette::WindowText, HyperlinkColor());
    palette.setColor(QPalette::Inactive, QPalette::WindowText, HyperlinkColor());
    label->setPalette(palette);
}

bool HyperlinkParent::eventFilter(QObject* watched, QEvent* event)
{
    // A style may set a polished child's palette: colour the links again after it.
    if (watched == parent() && event->type() == QEvent::ChildPolished) {
        if (auto* label = qobject_cast<QLabel*>(static_cast<QChildEvent*>(event)->child()); label && IsLink(label))
            ApplyLinkColor(label);
    }
    return false;
}

bool AttachHyperlink(QLabel* label)
{
    if (!label || label->property(kHyperlinkOriginalProc).isValid())
        return true;

    // The parent is changed once, however many links it holds.
    QWidget* parent = label->parentWidget();
    if (parent && !ParentFilterOf(parent)) {
        auto* parentFilter = new HyperlinkParent(parent);
        parent->setProperty(kHyperlinkOriginalProc, QVariant::fromValue<QObject*>(parentFilter));
    }

    auto* filter = new HyperlinkStatic(label);
    label->setProperty(kHyperlinkOriginalProc, QVariant::fromValue<QObject*>(filter));

    const QFont font = label->font();
    QFont underline = font;
    underline.setUnderline(true);
    label->setProperty(kHyperlinkOriginalFont, font);
    label->setProperty(kHyperlinkUnderlineFont, underline);
    label->setProperty(kHyperlinkFromStatic, 1);

    // The colour belongs to the parent, as with any static it draws; a label without a parent
    // keeps its colour.
    if (parent)
        HyperlinkParent::ApplyLinkColor(label);
    return true;
}

HyperlinkStatic* FindHyperlink(const QLabel* label)
{
    if (!label)
        return nullptr;
    return qobject_cast<HyperlinkStatic*>(label->property(kHyperlinkOriginalProc).value<QObject*>());
}

void DetachHyperlink(QLabel* label)
{
    HyperlinkStatic* filter = FindHyperlink(label);
    if (!filter)
        return;
    filter->Detach();

    QWidget* parent = label->parentWidget();
    if (!parent)
        return;
    HyperlinkParent* parentFilter = ParentFilterOf(parent);
    if (!parentFilter)
        return;
    for (const QObject* child : parent->children())
        if (IsLink(child))
            return;
    parent->removeEventFilter(parentFilter);
    parent->setProperty(kHyperlinkOriginalProc, QVariant());
    delete parentFilter;
}

} // namespace widgets
