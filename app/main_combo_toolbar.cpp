#include "app/main_combo_toolbar.h"

#include "app/command_table.h"
#include "app/doc_manager.h"
#include "app/main_frame.h"
#include "app/varden_view.h"
#include "core/registry.h"
#include "widgets/choice_combos.h"

#include <QAction>
#include <QComboBox>
#include <QPixmap>

namespace app {

namespace {

// Placeholder buttons carry this property so CreateZoomBox can find them again.
constexpr char kPlaceholderProperty[] = "pelmoraCommandId";

} // namespace

CMainComboToolbar::CMainComboToolbar(CMainFrame& frame)
    : QToolBar(&frame)
    , frame_(frame)
{
    setObjectName(QStringLiteral("id%1").arg(0xE800)); // the framework's toolbar id
    setWindowTitle(QStringLiteral("Standard"));
    setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
    setMovable(true);
    setFloatable(true);
}

bool CMainComboToolbar::LoadToolBar(std::span<const int> buttons, const QImage& bitmap)
{
    int image = 0;
    for (int id : buttons) {
        if (id == 0) {
            addSeparator();
            continue;
        }
        const QRect cell(image * kToolbarImageWidth, 0, kToolbarImageWidth, kToolbarImageHeight);
        if (!bitmap.rect().contains(cell))
            return false;
        ++image;
        const QIcon icon(QPixmap::fromImage(bitmap.copy(cell)));
        if (id == kIdZoomBox) {
            // A placeholder: its own action, replaced by the zoom box.
            QAction* placeholder = addAction(icon, QString());
            placeholder->setProperty(kPlaceholderProperty, id);
            continue;
        }
        QAction* action = frame_.CommandAction(id);
        if (action->icon().isNull()) {
            action->setIcon(icon);
            action->setIconVisibleInMenu(false);
        }
        addAction(action);
    }
    return true;
}

bool CMainComboToolbar::CreateZoomBox()
{
    QList<QAction*> placeholders;
    for (QAction* action : actions())
        if (action->property(kPlaceholderProperty).toInt() == kIdZoomBox)
            placeholders << action;
    if (placeholders.isEmpty())
        return false;

    auto* box = new QComboBox(this);
    box->setObjectName(QStringLiteral("id%1").arg(kIdZoomBox));
    box->setEditable(false);
    box->setFocusPolicy(Qt::StrongFocus);
    // The box is three times the separator it replaces. The other placeholders only reserved
    // room for it, so they go.
    box->setFixedWidth(3 * kZoomSeparatorWidth);
    box->setMaxVisibleItems(static_cast<int>(core::ZoomLevels().size()));
    widgets::FillZoomCombo(box);
    connect(box, &QComboBox::activated, this, &CMainComboToolbar::OnZoomSelected);

    QAction* boxAction = insertWidget(placeholders.first(), box);
    boxAction->setData(kIdZoomBox);
    for (QAction* placeholder : placeholders) {
        removeAction(placeholder);
        delete placeholder;
    }
    zoomBox_ = box;
    return true;
}

bool CMainComboToolbar::ShowZoomInBox(float zoom)
{
    if (!zoomBox_ || !zoomBox_->isVisible())
        return false;
    const QString text = QString::asprintf("%d%%", static_cast<int>((zoom + 0.001) * 100));
    const int index = zoomBox_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    zoomBox_->setCurrentIndex(index);
    return true;
}

void CMainComboToolbar::OnZoomSelected(int index)
{
    CVardenView* view = frame_.ActiveView();
    if (!zoomBox_ || !view || !view->GetDocument())
        return;
    OpenDocument& doc = *view->GetDocument();
    const int percent = core::ZoomPercentFromText(zoomBox_->itemText(index).toStdString());
    const float zoom = static_cast<float>(percent) / 100;
    doc.Doc().SetZoom(zoom);
    const codec::CxImage& image = doc.Doc().Image();
    view->SetScrollSizes(QSize(static_cast<int>(zoom * image.GetWidth()), static_cast<int>(zoom * image.GetHeight())));
    view->viewport()->update();
}

} // namespace app
