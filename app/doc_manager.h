#pragma once

// The document manager: the open documents, their child windows, untitled names ("Image1", ...),
// the open and save prompts, and the document-level commands (close, save, save as). It never
// asks whether to save changes: documents are never marked modified.

#include "app/cmd_target.h"
#include "core/document.h"

#include <QImage>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace app {

class CVardenApp;
class CChildFrame;
class CVardenView;

/// One open document: the engine's document and what the framework keeps about it.
class OpenDocument {
public:
    explicit OpenDocument(core::Ui& ui)
        : doc_(std::make_unique<core::CVardenDoc>(ui))
    {
    }

    core::CVardenDoc& Doc() { return *doc_; }
    const core::CVardenDoc& Doc() const { return *doc_; }

    /// The full path of the file; empty for an untitled document.
    const QString& PathName() const { return pathName_; }
    /// The name shown in window titles: the file name, or "Image1" and so on.
    const QString& Title() const { return title_; }
    void SetPathName(const QString& path);
    void SetTitle(const QString& title) { title_ = title; }

    /// The image ready for drawing; converted once and kept until the image changes.
    const QImage& Picture();
    /// Call after changing the image in place: drops the drawing copy and repaints every view.
    void ImageChanged();

    const QList<CVardenView*>& Views() const { return views_; }
    void AddView(CVardenView* view) { views_.append(view); }
    void RemoveView(CVardenView* view) { views_.removeAll(view); }

private:
    std::unique_ptr<core::CVardenDoc> doc_;
    QString pathName_;
    QString title_;
    QImage picture_;
    bool pictureValid_ = false;
    QList<CVardenView*> views_;
};

class CDocManager : public CCmdTarget {
public:
    explicit CDocManager(CVardenApp& app)
        : app_(app)
    {
    }
    ~CDocManager() override;
    CDocManager(const CDocManager&) = delete;
    CDocManager& operator=(const CDocManager&) = delete;

    /// Close, save and save as act on the active document.
    bool OnCmdMsg(int id, bool execute) override;

    /// A new untitled document in a window of its own ("Image1", "Image2", ...).
    OpenDocument* OpenNewDocument();
    /// Opens `path` as a document, or activates it when it is open already. Nothing when the
    /// file cannot be opened (the document has said why).
    OpenDocument* OpenDocumentFile(const QString& path);
    /// The open prompt: the document type's filter followed by "All Files (*.*)". Opens the
    /// chosen file; false when cancelled.
    bool DoFileOpen();
    /// Save: to the document's own path, or through the save prompt when it has none or the
    /// file is read-only.
    bool DoFileSave(OpenDocument& doc);
    /// Save as: always through the save prompt.
    bool DoFileSaveAs(OpenDocument& doc) { return DoSave(doc, QString()); }
    /// Closes every window of the document and the document itself; asks nothing.
    void CloseDocument(OpenDocument& doc);
    void CloseAllDocuments();
    /// Another window on the same document.
    CChildFrame* NewWindow(OpenDocument& doc);

    /// A child window is closing: forgets its view, and the document with its last view.
    void OnViewClosing(CVardenView* view);

    const std::vector<std::unique_ptr<OpenDocument>>& Documents() const { return documents_; }
    OpenDocument* FindDocument(const QString& path) const;
    /// The document of the active child window, or nullptr.
    OpenDocument* ActiveDocument() const;

    /// "text|patterns|All Files (*.*)|*.*||" from the document type description.
    static std::string DocumentFilter();

private:
    bool DoSave(OpenDocument& doc, const QString& path);
    void RemoveDocument(OpenDocument* doc);
    static CChildFrame* FrameOf(CVardenView* view);
    CChildFrame* CreateFrame(OpenDocument& doc);
    void UpdateFrameTitles(OpenDocument& doc);

    CVardenApp& app_;
    std::vector<std::unique_ptr<OpenDocument>> documents_;
    int untitledCount_ = 0;
};

} // namespace app
