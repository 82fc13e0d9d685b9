#include "app/main_frame.h"

#include "app/child_frame.h"
#include "app/command_table.h"
#include "app/doc_manager.h"
#include "app/lock_keys.h"
#include "app/main_combo_toolbar.h"
#include "app/varden_app.h"
#include "app/varden_view.h"
#include "core/ui.h"
#include "widgets/resources.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

namespace app {

namespace {

constexpr char kIdleMessage[] = "Ready";

QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

CMainFrame::CMainFrame(CVardenApp& app)
    : app_(app)
{
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::LoadFrame()
{
    // The caption is the application's name plus the active document's title.
    setWindowTitle(QString::fromLatin1(core::kAppTitle));
    setWindowIcon(QIcon(widgets::ResourcePath("icon", widgets::kIconApp)));
    setObjectName(QStringLiteral("mainFrame"));

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnMDIActivate);

    BuildMenu(kMenuNoDocument);
    BuildMenu(kMenuDocument);
    ShowMenu(kMenuNoDocument);
    BuildAccelerators();

    toolBar_ = new CMainComboToolbar(*this);
    const QImage bitmap(widgets::ResourcePath("bitmap", 128));
    if (!toolBar_->LoadToolBar(ToolbarButtons(), bitmap))
        return false;
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    if (!toolBar_->CreateZoomBox())
        return false;
    connect(toolBar_, &QToolBar::visibilityChanged, this, &CMainFrame::UpdateCmdUI);

    CreateStatusBar();
    UpdateRecentFileMenu();
    UpdateCmdUI();
    return true;
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("id%1").arg(0xE801)); // the framework's status bar id
    messagePane_ = new QLabel(QString::fromLatin1(kIdleMessage), bar);
    messagePane_->setObjectName(QStringLiteral("messagePane"));
    messagePane_->setTextFormat(Qt::PlainText);
    messagePane_->setMinimumWidth(1); // a long path must not widen the window
    bar->addWidget(messagePane_, 1);
    // The lock indicators: greyed until the platform tells a key is on.
    const char* names[] = { "CAP", "NUM", "SCRL" };
    for (std::size_t i = 0; i < indicators_.size(); ++i) {
        indicators_[i] = new QLabel(QString::fromLatin1(names[i]), bar);
        indicators_[i]->setAlignment(Qt::AlignCenter);
        indicators_[i]->setEnabled(false);
        indicators_[i]->setFrameShape(QFrame::NoFrame);
        bar->addPermanentWidget(indicators_[i]);
    }
    if (!CurrentLockStateReader() || !CurrentLockStateReader()())
        return; // no lock states on this platform: nothing to watch
    UpdateLockIndicators();
    // A lock key pressed in this program shows at once; one pressed elsewhere by the next tick.
    QCoreApplication::instance()->installEventFilter(this);
    lockTimer_ = new QTimer(this);
    lockTimer_->setObjectName(QStringLiteral("lockTimer"));
    lockTimer_->setInterval(500);
    connect(lockTimer_, &QTimer::timeout, this, &CMainFrame::UpdateLockIndicators);
    lockTimer_->start();
}

void CMainFrame::UpdateLockIndicators()
{
    const LockStateReader& read = CurrentLockStateReader();
    const std::optional<LockStates> states = read ? read() : std::nullopt;
    for (std::size_t i = 0; i < indicators_.size(); ++i)
        if (indicators_[i])
            indicators_[i]->setEnabled(states && (*states)[i]);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            UpdateLockIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::SetMessageText(const QString& text)
{
    if (!messagePane_)
        return;
    messagePane_->setText(text);
    // Shown at once: the texts announce work (loading, saving) that keeps the event loop busy.
    if (messagePane_->isVisible())
        messagePane_->repaint();
}

QString CMainFrame::MessageText() const
{
    return messagePane_ ? messagePane_->text() : QString();
}

QList<QLabel*> CMainFrame::StatusPanes() const
{
    QList<QLabel*> panes { messagePane_ };
    for (QLabel* indicator : indicators_)
        panes << indicator;
    return panes;
}

QAction* CMainFrame::CommandAction(int id)
{
    if (const auto it = actions_.find(id); it != actions_.end())
        return it->second;
    auto* action = new QAction(this);
    action->setData(id);
    if (const char* strings = CommandString(id)) {
        const QString text = QString::fromUtf8(strings);
        const qsizetype newline = text.indexOf(QLatin1Char('\n'));
        action->setStatusTip(newline < 0 ? text : text.left(newline));
        if (newline >= 0)
            action->setToolTip(text.mid(newline + 1));
    }
    if (id == kIdViewToolbar || id == kIdViewStatusBar) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    actions_[id] = action;
    return action;
}

void CMainFrame::BuildMenu(int menuId)
{
    std::vector<QMenu*>& popups = menus_[menuId];
    std::vector<QMenu*> open; // the popups being filled, innermost last
    for (const MenuEntry& entry : MenuResource(menuId)) {
        switch (entry.kind) {
        case MenuEntry::Popup: {
            auto* popup = open.empty() ? new QMenu(QString::fromUtf8(entry.text), this)
                                       : open.back()->addMenu(QString::fromUtf8(entry.text));
            if (open.empty())
                popups.push_back(popup);
            open.push_back(popup);
            connect(popup, &QMenu::aboutToShow, this, &CMainFrame::UpdateCmdUI);
            break;
        }
        case MenuEntry::End:
            if (!open.empty())
                open.pop_back();
            break;
        case MenuEntry::Separator:
            if (!open.empty())
                open.back()->addSeparator();
            break;
        case MenuEntry::Item:
            if (open.empty())
                break;
            if (entry.id == kIdFileMruFirst) {
                // The placeholder stands for the whole recent-file list.
                for (int i = 0; i < kRecentFileCount; ++i)
                    open.back()->addAction(CommandAction(kIdFileMruFirst + i));
                break;
            }
            open.back()->addAction(CommandAction(entry.id));
            if (entry.id == kIdWindowArrange) {
                QMenu* windowMenu = open.back();
                connect(windowMenu, &QMenu::aboutToShow, this, [this, windowMenu] { FillWindowList(windowMenu); });
            }
            break;
        }
    }
}

void CMainFrame::ShowMenu(int menuId)
{
    if (currentMenu_ == menuId)
        return;
    currentMenu_ = menuId;
    // The two menus share their actions but not every text ("&Encrypt" / "&Encrypt..."): the
    // shown menu's texts win.
    for (const MenuEntry& entry : MenuResource(menuId))
        if (entry.kind == MenuEntry::Item && entry.id != kIdFileMruFirst)
            CommandAction(entry.id)->setText(QString::fromUtf8(entry.text));
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* popup : menus_[menuId])
        bar->addMenu(popup);
    UpdateRecentFileMenu();
}

const std::vector<QMenu*>& CMainFrame::MenuPopups(int menuId) const
{
    static const std::vector<QMenu*> none;
    const auto it = menus_.find(menuId);
    return it == menus_.end() ? none : it->second;
}

void CMainFrame::BuildAccelerators()
{
    std::map<int, QList<QKeySequence>> keys;
    std::vector<int> order;
    for (const Accelerator& accelerator : AcceleratorTable()) {
        if (!keys.contains(accelerator.id))
            order.push_back(accelerator.id);
        keys[accelerator.id] << QKeySequence(QString::fromLatin1(accelerator.keys), QKeySequence::PortableText);
    }
    for (int id : order) {
        QAction* action = CommandAction(id);
        action->setShortcuts(keys[id]);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // active whichever menu is shown, and for commands without one
    }
}

void CMainFrame::UpdateRecentFileMenu()
{
    const CRecentFileList& recent = app_.RecentFiles();
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* action = CommandAction(kIdFileMruFirst + i);
        if (i < recent.Files().size()) {
            action->setText(recent.MenuText(i));
            action->setVisible(true);
        } else if (i == 0) {
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(true);
        } else {
            action->setVisible(false);
        }
    }
    UpdateCmdUI();
}

void CMainFrame::AddChild(CChildFrame* child)
{
    mdiArea_->addSubWindow(child);
    connect(child, &QMdiSubWindow::windowStateChanged, this, [this] {
        QTimer::singleShot(0, this, &CMainFrame::UpdateFrameTitle);
    });
    connect(child, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateFrameTitle);
}

CChildFrame* CMainFrame::ActiveChild() const
{
    return mdiArea_ ? qobject_cast<CChildFrame*>(mdiArea_->currentSubWindow()) : nullptr;
}

CVardenView* CMainFrame::ActiveView() const
{
    CChildFrame* child = ActiveChild();
    return child ? child->View() : nullptr;
}

void CMainFrame::OnMDIActivate(QMdiSubWindow* window)
{
    if (auto* child = qobject_cast<CChildFrame*>(window); child && child->View())
        child->View()->OnActivateView();
    CVardenView* view = ActiveView();
    ShowMenu(view && view->GetDocument() ? kMenuDocument : kMenuNoDocument);
    UpdateFrameTitle();
    UpdateCmdUI();
}

void CMainFrame::UpdateFrameTitle()
{
    QString title = QString::fromLatin1(core::kAppTitle);
    if (CChildFrame* child = ActiveChild(); child && !child->windowTitle().isEmpty()) {
        // A maximised child shows in brackets, as the MDI area itself would write it.
        title += child->isMaximized() ? QStringLiteral(" - [%1]").arg(child->windowTitle())
                                      : QStringLiteral(" - %1").arg(child->windowTitle());
    }
    if (windowTitle() != title)
        setWindowTitle(title);
}

bool CMainFrame::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip: {
        // Fly-by help: the prompt of the command under the pointer, "Ready" when it leaves.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        SetMessageText(tip.isEmpty() ? QString::fromLatin1(kIdleMessage) : tip);
        return true;
    }
    case QEvent::WindowTitleChange:
        // The MDI area rewrites the caption when a child is maximised; ours is the one shown.
        QTimer::singleShot(0, this, &CMainFrame::UpdateFrameTitle);
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::IsCommandEnabled(int id)
{
    if (CVardenView* view = ActiveView(); view && view->GetDocument() && view->OnCmdMsg(id, false))
        return true;
    return OnCmdMsg(id, false) || app_.DocManager().OnCmdMsg(id, false) || app_.OnCmdMsg(id, false);
}

bool CMainFrame::OnCommand(int id)
{
    bool handled = false;
    if (CVardenView* view = ActiveView(); view && view->GetDocument() && view->OnCmdMsg(id, false))
        handled = view->OnCmdMsg(id, true);
    else if (OnCmdMsg(id, false))
        handled = OnCmdMsg(id, true);
    else if (app_.DocManager().OnCmdMsg(id, false))
        handled = app_.DocManager().OnCmdMsg(id, true);
    else if (app_.OnCmdMsg(id, false))
        handled = app_.OnCmdMsg(id, true);
    UpdateCmdUI();
    return handled;
}

bool CMainFrame::OnCmdMsg(int id, bool execute)
{
    switch (id) {
    case kIdViewToolbar:
        if (execute && toolBar_)
            toolBar_->setVisible(!toolBar_->isVisible());
        return toolBar_ != nullptr;
    case kIdViewStatusBar:
        if (execute)
            statusBar()->setVisible(!statusBar()->isVisible());
        return true;
    default:
        break;
    }
    // The window commands need a child window.
    CChildFrame* child = ActiveChild();
    if (!child)
        return false;
    switch (id) {
    case kIdWindowNew: {
        OpenDocument* doc = child->View() ? child->View()->GetDocument() : nullptr;
        if (!doc)
            return false;
        if (execute)
            app_.DocManager().NewWindow(*doc);
        return true;
    }
    case kIdWindowCascade:
        if (execute)
            mdiArea_->cascadeSubWindows();
        return true;
    case kIdWindowTile:
        if (execute)
            mdiArea_->tileSubWindows();
        return true;
    case kIdWindowArrange:
        if (execute)
            ArrangeIcons();
        return true;
    default:
        return false;
    }
}

void CMainFrame::ArrangeIcons()
{
    // Minimised windows line up along the bottom of the area, left to right.
    int x = 0;
    for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
        if (!window->isMinimized())
            continue;
        const QSize size = window->size();
        window->move(x, mdiArea_->viewport()->height() - size.height());
        x += size.width();
    }
}

void CMainFrame::FillWindowList(QMenu* menu)
{
    for (QAction* action : std::as_const(windowList_)) {
        menu->removeAction(action);
        delete action;
    }
    windowList_.clear();
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    if (windows.isEmpty())
        return;
    windowList_ << menu->addSeparator();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* window = windows[i];
        QString title = window->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title));
        action->setData(static_cast<int>(kIdFirstWindowEntry + i));
        action->setCheckable(true);
        action->setChecked(window == mdiArea_->currentSubWindow());
        connect(action, &QAction::triggered, this, [this, window] { mdiArea_->setActiveSubWindow(window); });
        windowList_ << action;
    }
}

void CMainFrame::OnUpdateZoomBox()
{
    if (!toolBar_ || !toolBar_->ZoomBox())
        return;
    CVardenView* view = ActiveView();
    toolBar_->ZoomBox()->setEnabled(view && view->GetDocument());
}

void CMainFrame::UpdateCmdUI()
{
    for (const auto& [id, action] : actions_) {
        action->setEnabled(IsCommandEnabled(id));
        if (id == kIdViewToolbar && toolBar_)
            action->setChecked(!toolBar_->isHidden());
        else if (id == kIdViewStatusBar)
            action->setChecked(!statusBar()->isHidden());
    }
    OnUpdateZoomBox();
}

void CMainFrame::CloseAllWindows()
{
    if (mdiArea_)
        mdiArea_->closeAllSubWindows();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    activateWindow();
    for (const QString& file : files)
        app_.OpenDocumentFile(file);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Documents are never modified, so closing asks nothing.
    CloseAllWindows();
    app_.DocManager().CloseAllDocuments();
    event->accept();
}

} // namespace app
