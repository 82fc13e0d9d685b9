#include "batch/ui/hlist_box.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace batch::ui {

CHListBox::CHListBox(QWidget* parent)
    : QListWidget(parent)
{
    // Each click toggles a line; lines are never cut short, the horizontal scroll bar reaches them.
    setSelectionMode(QAbstractItemView::MultiSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
}

CHListBox::~CHListBox() = default;

int CHListBox::AddString(const QString& text)
{
    const int before = count();
    addItem(text);
    return count() > before ? count() - 1 : -1;
}

void CHListBox::UpdateExtent(const QString& text)
{
    // The style's frame width stands for the border: three of them cover the margins an item's
    // text is drawn with, so the last glyph scrolls fully into view.
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int width = QFontMetrics(font()).horizontalAdvance(text) + 3 * border;
    if (width <= maxExtent_)
        return;
    maxExtent_ = width;
    updateGeometries();
}

void CHListBox::ResetContent()
{
    clear();
    maxExtent_ = 0;
    updateGeometries();
}

void CHListBox::updateGeometries()
{
    QListWidget::updateGeometries();
    // The horizontal range is the extent's, not the one Qt would take from the items.
    const int page = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, maxExtent_ - page));
    horizontalScrollBar()->setPageStep(page);
}

QString CHListBox::SelectedText() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows)
        text += item(row)->text() + QStringLiteral("\r\n");
    return text;
}

void CHListBox::CopySelection()
{
    if (selectedIndexes().isEmpty())
        return;
    // A clipboard that cannot take the text is not worth a message: the report is still there.
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(SelectedText());
}

void CHListBox::keyPressEvent(QKeyEvent* event)
{
    // The control characters Ctrl+A and Ctrl+C, however the platform reports them.
    const bool controlOnly
        = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == Qt::ControlModifier;
    const QString text = event->text();
    if ((controlOnly && event->key() == Qt::Key_A) || text == QChar(1)) {
        selectAll();
        event->accept();
        return;
    }
    if ((controlOnly && event->key() == Qt::Key_C) || text == QChar(3)) {
        CopySelection();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace batch::ui
