#include "app/doc_manager.h"

#include "app/child_frame.h"
#include "app/command_table.h"
#include "app/file_prompt.h"
#include "app/main_frame.h"
#include "app/varden_app.h"
#include "app/varden_view.h"
#include "core/registry.h"
#include "widgets/to_qimage.h"

#include <QFileInfo>
#include <QMdiArea>

#include <algorithm>

namespace app {

namespace {

// The same file reached by another spelling of its path is the same document.
QString Canonical(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

void OpenDocument::SetPathName(const QString& path)
{
    pathName_ = path;
    title_ = QFileInfo(path).fileName();
}

const QImage& OpenDocument::Picture()
{
    if (!pictureValid_) {
        picture_ = widgets::ToQImage(doc_->Image());
        pictureValid_ = true;
    }
    return picture_;
}

void OpenDocument::ImageChanged()
{
    pictureValid_ = false;
    picture_ = QImage();
    for (CVardenView* view : views_)
        view->viewport()->update();
}

CDocManager::~CDocManager()
{
    for (auto& doc : documents_) {
        const QList<CVardenView*> views = doc->Views();
        for (CVardenView* view : views)
            view->DetachDocument();
    }
}

std::string CDocManager::DocumentFilter()
{
    // The type's extensions (".bmp;.gif;...") become patterns ("*.bmp;*.gif;...").
    std::string patterns;
    const std::string extensions = core::DocumentTypeField(4);
    std::string::size_type start = 0;
    while (start <= extensions.size()) {
        const std::string::size_type end = std::min(extensions.find(';', start), extensions.size());
        if (end > start) {
            if (!patterns.empty())
                patterns += ';';
            patterns += '*' + extensions.substr(start, end - start);
        }
        start = end + 1;
    }
    return core::DocumentTypeField(3) + "|" + patterns + "|All Files (*.*)|*.*||";
}

OpenDocument* CDocManager::FindDocument(const QString& path) const
{
    const QString wanted = Canonical(path);
    for (const auto& doc : documents_)
        if (!doc->PathName().isEmpty() && Canonical(doc->PathName()) == wanted)
            return doc.get();
    return nullptr;
}

OpenDocument* CDocManager::ActiveDocument() const
{
    CMainFrame* frame = app_.MainFrame();
    CVardenView* view = frame ? frame->ActiveView() : nullptr;
    return view ? view->GetDocument() : nullptr;
}

CChildFrame* CDocManager::CreateFrame(OpenDocument& doc)
{
    CMainFrame* frame = app_.MainFrame();
    if (!frame)
        return nullptr;
    auto* view = new CVardenView(app_, &doc);
    auto* child = new CChildFrame(*this, view);
    frame->AddChild(child);
    UpdateFrameTitles(doc);
    view->OnInitialUpdate();
    child->showMaximized();
    frame->MdiArea()->setActiveSubWindow(child);
    frame->UpdateCmdUI();
    return child;
}

void CDocManager::UpdateFrameTitles(OpenDocument& doc)
{
    const QList<CVardenView*>& views = doc.Views();
    for (qsizetype i = 0; i < views.size(); ++i) {
        CChildFrame* child = FrameOf(views[i]);
        if (!child)
            continue;
        child->setWindowTitle(views.size() > 1 ? QStringLiteral("%1:%2").arg(doc.Title()).arg(i + 1) : doc.Title());
    }
    if (CMainFrame* frame = app_.MainFrame())
        frame->UpdateFrameTitle();
}

OpenDocument* CDocManager::OpenNewDocument()
{
    auto doc = std::make_unique<OpenDocument>(app_.GetUi());
    if (!doc->Doc().OnNewDocument())
        return nullptr;
    doc->SetTitle(QString::fromStdString(core::DocumentTypeField(1)) + QString::number(++untitledCount_));
    OpenDocument* result = doc.get();
    documents_.push_back(std::move(doc));
    if (!CreateFrame(*result)) {
        documents_.pop_back();
        return nullptr;
    }
    return result;
}

OpenDocument* CDocManager::OpenDocumentFile(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    if (OpenDocument* open = FindDocument(path)) {
        if (!open->Views().isEmpty())
            if (CChildFrame* child = FrameOf(open->Views().first()))
                app_.MainFrame()->MdiArea()->setActiveSubWindow(child);
        return open;
    }

    const QString fullPath = QFileInfo(path).absoluteFilePath();
    auto doc = std::make_unique<OpenDocument>(app_.GetUi());
    if (!doc->Doc().OnOpenDocument(fullPath.toStdString()))
        return nullptr;
    doc->SetPathName(fullPath);
    OpenDocument* result = doc.get();
    documents_.push_back(std::move(doc));
    if (!CreateFrame(*result)) {
        documents_.pop_back();
        return nullptr;
    }
    app_.AddToRecentFileList(fullPath);
    return result;
}

bool CDocManager::DoFileOpen()
{
    FilePromptRequest request;
    request.mode = FilePromptRequest::Open;
    request.owner = app_.MainFrame();
    request.title = QStringLiteral("Open");
    request.nameFilters = ToQtNameFilters(DocumentFilter());
    const QStringList chosen = PromptForFiles(request);
    if (chosen.isEmpty())
        return false;
    OpenDocumentFile(chosen.first());
    return true;
}

bool CDocManager::DoFileSave(OpenDocument& doc)
{
    const QFileInfo info(doc.PathName());
    // No file yet, or one that cannot be written: ask where to save instead.
    if (doc.PathName().isEmpty() || !info.exists() || !info.isWritable())
        return DoSave(doc, QString());
    return DoSave(doc, doc.PathName());
}

bool CDocManager::DoSave(OpenDocument& doc, const QString& path)
{
    QString target = path;
    if (target.isEmpty()) {
        FilePromptRequest request;
        request.mode = FilePromptRequest::Save;
        request.owner = app_.MainFrame();
        request.title = QStringLiteral("Save As");
        request.nameFilters = ToQtNameFilters(DocumentFilter());
        if (!doc.PathName().isEmpty()) {
            request.initialPath = doc.PathName();
        } else {
            // An untitled document starts as its title with the type's first extension.
            const std::string extensions = core::DocumentTypeField(4);
            request.initialPath = doc.Title() + QString::fromStdString(extensions.substr(0, extensions.find(';')));
        }
        const QStringList chosen = PromptForFiles(request);
        if (chosen.isEmpty())
            return false;
        target = chosen.first();
    }

    const bool saved = doc.Doc().OnSaveDocument(target.toStdString());
    // Saving may have changed the picture (the size and depth limits of some formats).
    doc.ImageChanged();
    if (!saved)
        return false;
    if (path.isEmpty()) {
        doc.SetPathName(QFileInfo(target).absoluteFilePath());
        UpdateFrameTitles(doc);
        app_.AddToRecentFileList(doc.PathName());
    }
    return true;
}

CChildFrame* CDocManager::NewWindow(OpenDocument& doc)
{
    return CreateFrame(doc);
}

void CDocManager::CloseDocument(OpenDocument& doc)
{
    const QList<CVardenView*> views = doc.Views();
    if (views.isEmpty()) {
        RemoveDocument(&doc);
        return;
    }
    for (CVardenView* view : views) {
        if (CChildFrame* child = FrameOf(view))
            child->close();
        else
            OnViewClosing(view);
    }
}

void CDocManager::CloseAllDocuments()
{
    while (!documents_.empty()) {
        OpenDocument* doc = documents_.back().get();
        CloseDocument(*doc);
        if (!documents_.empty() && documents_.back().get() == doc) // its windows would not close
            RemoveDocument(doc);
    }
}

void CDocManager::RemoveDocument(OpenDocument* doc)
{
    const auto it = std::find_if(
        documents_.begin(), documents_.end(), [doc](const std::unique_ptr<OpenDocument>& d) { return d.get() == doc; });
    if (it == documents_.end())
        return;
    const QList<CVardenView*> views = doc->Views();
    for (CVardenView* view : views)
        view->DetachDocument();
    documents_.erase(it);
}

void CDocManager::OnViewClosing(CVardenView* view)
{
    OpenDocument* doc = view ? view->GetDocument() : nullptr;
    if (doc) {
        view->DetachDocument();
        if (doc->Views().isEmpty())
            RemoveDocument(doc);
        else
            UpdateFrameTitles(*doc);
    }
    if (CMainFrame* frame = app_.MainFrame())
        frame->UpdateCmdUI();
}

CChildFrame* CDocManager::FrameOf(CVardenView* view)
{
    for (QWidget* w = view ? view->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* child = qobject_cast<CChildFrame*>(w))
            return child;
    return nullptr;
}

bool CDocManager::OnCmdMsg(int id, bool execute)
{
    OpenDocument* doc = ActiveDocument();
    if (!doc)
        return false;
    switch (id) {
    case kIdFileClose:
        if (execute)
            CloseDocument(*doc);
        return true;
    case kIdFileSave:
        if (execute)
            DoFileSave(*doc);
        return true;
    case kIdFileSaveAs:
        if (execute)
            DoFileSaveAs(*doc);
        return true;
    default:
        return false;
    }
}

} // namespace app
