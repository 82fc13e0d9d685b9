#include "app/child_frame.h"

#include "app/doc_manager.h"
#include "app/varden_view.h"
#include "widgets/resources.h"

#include <QCloseEvent>
#include <QIcon>

namespace app {

CChildFrame::CChildFrame(CDocManager& docs, CVardenView* view)
    : docs_(docs)
    , view_(view)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view);
    setWindowIcon(QIcon(widgets::ResourcePath("icon", widgets::kIconApp)));
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    // Never a question about unsaved changes: the window always closes.
    if (!event->isAccepted() || closed_)
        return;
    closed_ = true;
    docs_.OnViewClosing(view_);
}

} // namespace app
