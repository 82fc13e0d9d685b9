#include "app/varden_view.h"

#include "app/command_table.h"
#include "app/doc_manager.h"
#include "app/export_image_file_dlg.h"
#include "app/main_combo_toolbar.h"
#include "app/main_frame.h"
#include "app/varden_app.h"
#include "codec/formats/dib.h"
#include "core/conversion.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QSettings>

#include <algorithm>

namespace app {

namespace {

void PutLe32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray BmpFileFromDib(const std::vector<std::uint8_t>& dib)
{
    constexpr std::size_t kFileHeaderSize = 14;
    codec::DibInfo info;
    if (!codec::ReadDibInfo(dib, info))
        return {};
    const std::uint64_t pixelOffset = kFileHeaderSize + info.bitsStart;
    const std::uint64_t fileSize = kFileHeaderSize + dib.size();
    if (pixelOffset > fileSize || fileSize > 0xFFFFFFFFu)
        return {};

    QByteArray out;
    out.reserve(static_cast<qsizetype>(fileSize));
    out.append("BM", 2);
    PutLe32(out, static_cast<std::uint32_t>(fileSize));
    PutLe32(out, 0); // two reserved words
    PutLe32(out, static_cast<std::uint32_t>(pixelOffset));
    out.append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
    return out;
}

CVardenView::CVardenView(CVardenApp& app, OpenDocument* doc, QWidget* parent)
    : QAbstractScrollArea(parent)
    , app_(app)
    , doc_(doc)
{
    // Every repaint fills its whole area itself, so the background is never erased first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setFrameShape(QFrame::NoFrame);
    if (doc_)
        doc_->AddView(this);
}

CVardenView::~CVardenView()
{
    DetachDocument();
}

void CVardenView::DetachDocument()
{
    if (doc_)
        doc_->RemoveView(this);
    doc_ = nullptr;
}

void CVardenView::OnInitialUpdate()
{
    if (!doc_) {
        SetScrollSizes(QSize(100, 100));
        return;
    }
    const codec::CxImage& image = doc_->Doc().Image();
    SetScrollSizes(QSize(static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight())));
}

void CVardenView::OnActivateView()
{
    CMainFrame* frame = app_.MainFrame();
    if (doc_ && frame && frame->ToolBar())
        frame->ToolBar()->ShowZoomInBox(doc_->Doc().Zoom());
}

void CVardenView::SetScrollSizes(QSize total)
{
    total_ = total.expandedTo(QSize(0, 0));
    UpdateScrollBars();
}

void CVardenView::UpdateScrollBars()
{
    // The framework's defaults: a page is a tenth of the total size, a line a tenth of a page.
    const QSize page(std::max(1, total_.width() / 10), std::max(1, total_.height() / 10));
    const QSize line(std::max(1, page.width() / 10), std::max(1, page.height() / 10));
    const QSize visible = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, total_.width() - visible.width()));
    horizontalScrollBar()->setPageStep(page.width());
    horizontalScrollBar()->setSingleStep(line.width());
    verticalScrollBar()->setRange(0, std::max(0, total_.height() - visible.height()));
    verticalScrollBar()->setPageStep(page.height());
    verticalScrollBar()->setSingleStep(line.height());
}

void CVardenView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CVardenView::scrollContentsBy(int, int)
{
    viewport()->update();
}

QSize CVardenView::ZoomedSize(QSize image, float zoom)
{
    return QSize(static_cast<int>(static_cast<double>(image.width()) * zoom),
        static_cast<int>(static_cast<double>(image.height()) * zoom));
}

QSize CVardenView::PrintSize(QSize image, float zoom, int imageDpiX, int imageDpiY, int printerDpiX, int printerDpiY)
{
    if (imageDpiX >= 1 && imageDpiY >= 1) {
        const auto width = static_cast<std::int64_t>(static_cast<double>(image.width()) * printerDpiX * zoom);
        const auto height = static_cast<std::int64_t>(static_cast<double>(image.height()) * printerDpiY * zoom);
        return QSize(static_cast<int>(width / imageDpiX), static_cast<int>(height / imageDpiY));
    }
    return ZoomedSize(image, zoom);
}

void CVardenView::OnDraw(QPainter& painter, bool printing, QSize printerDpi)
{
    if (!doc_)
        return;
    const QImage& picture = doc_->Picture();
    if (picture.isNull())
        return;
    const codec::CxImage& image = doc_->Doc().Image();
    const float zoom = doc_->Doc().Zoom();
    const QSize size(static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight()));

    painter.save();
    if (printing) {
        const QSize printed
            = PrintSize(size, zoom, image.GetXDPI(), image.GetYDPI(), printerDpi.width(), printerDpi.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), printed), picture);
    } else if (zoom == 1.0f) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QPoint(0, 0), picture);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRect(QPoint(0, 0), ZoomedSize(size, zoom)), picture);
    }
    painter.restore();
}

void CVardenView::paintEvent(QPaintEvent* event)
{
    // Qt draws widgets off-screen already, so the picture appears in one step without an
    // intermediate surface of our own.
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    painter.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    OnDraw(painter, false);
}

bool CVardenView::OnPrint(QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    OnDraw(painter, true, QSize(printer.logicalDpiX(), printer.logicalDpiY()));
    painter.end();
    return true;
}

bool CVardenView::OnCmdMsg(int id, bool execute)
{
    if (const std::uint32_t type = ConvertCommandType(id); type != 0) {
        if (execute)
            OnConvert(type);
        return true;
    }
    void (CVardenView::*handler)() = nullptr;
    switch (id) {
    case kIdFilePrint:
        handler = &CVardenView::OnFilePrint;
        break;
    case kIdFilePrintDirect:
        handler = &CVardenView::OnFilePrintDirect;
        break;
    case kIdFilePrintPreview:
        handler = &CVardenView::OnFilePrintPreview;
        break;
    case kIdEditCopy:
        handler = &CVardenView::OnEditCopy;
        break;
    case kIdRotateLeft:
        handler = &CVardenView::OnRotateLeft;
        break;
    case kIdRotateRight:
        handler = &CVardenView::OnRotateRight;
        break;
    case kIdRotate180:
        handler = &CVardenView::OnRotate180;
        break;
    case kIdRedEye:
        handler = &CVardenView::OnRedEyeRemove;
        break;
    default:
        return false;
    }
    if (execute)
        (this->*handler)();
    return true;
}

void CVardenView::OnConvert(std::uint32_t targetType)
{
    if (!doc_)
        return;
    OpenDocument& doc = *doc_;
    core::Ui& ui = app_.GetUi();
    const core::ShowOptionsFn showOptions
        = [this, &doc, &ui](std::uint32_t type) { return ShowConversionOptions(this, doc.Doc().Image(), type, ui); };
    core::ConvertImageCommand(doc.Doc(), targetType, showOptions, ui);
}

void CVardenView::OnEditCopy()
{
    const std::vector<std::uint8_t> dib = doc_ ? doc_->Doc().Image().CopyToHandle() : std::vector<std::uint8_t>();
    const QByteArray bmp = BmpFileFromDib(dib);
    QClipboard* clipboard = QGuiApplication::clipboard();
    bool placed = false;
    if (!bmp.isEmpty() && clipboard) {
        auto* data = new QMimeData;
        data->setImageData(doc_->Picture());
        data->setData(QString::fromLatin1(kMimeBmp), bmp);
        data->setData(QString::fromLatin1(kMimeDib),
            QByteArray(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size())));
        clipboard->setMimeData(data); // the clipboard owns it from now on
        const QMimeData* now = clipboard->mimeData();
        placed = now && now->hasFormat(QString::fromLatin1(kMimeBmp));
    }
    if (!placed)
        app_.GetUi().MessageBox(
            "Unable to set Clipboard data", core::kAppTitle, core::MessageIcon::Warning, core::Owner::View);
}

void CVardenView::AfterImageChange()
{
    // The document is not marked modified and the scroll sizes stay as they are.
    if (doc_)
        doc_->ImageChanged();
    viewport()->update();
}

void CVardenView::OnRotateLeft()
{
    if (doc_ && doc_->Doc().Image().IsValid())
        doc_->Doc().RotateLeft();
    AfterImageChange();
}

void CVardenView::OnRotateRight()
{
    if (doc_ && doc_->Doc().Image().IsValid())
        doc_->Doc().RotateRight();
    AfterImageChange();
}

void CVardenView::OnRotate180()
{
    if (doc_ && doc_->Doc().Image().IsValid())
        doc_->Doc().Rotate180();
    AfterImageChange();
}

void CVardenView::OnRedEyeRemove()
{
    if (doc_ && doc_->Doc().Image().IsValid())
        doc_->Doc().Image().RedEyeRemove();
    AfterImageChange();
}

void CVardenView::OnFilePrint()
{
    QPrinter& printer = app_.Printer();
    QPrintDialog dialog(&printer, app_.MainFrame());
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!OnPrint(printer))
        app_.GetUi().MessageBox(
            "Failed to start print job.", core::kAppTitle, core::MessageIcon::Warning, core::Owner::MainWindow);
}

void CVardenView::OnFilePrintDirect()
{
    if (!OnPrint(app_.Printer()))
        app_.GetUi().MessageBox(
            "Failed to start print job.", core::kAppTitle, core::MessageIcon::Warning, core::Owner::MainWindow);
}

void CVardenView::OnFilePrintPreview()
{
    QPrintPreviewDialog preview(&app_.Printer(), app_.MainFrame());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { OnPrint(*printer); });
    // The one setting besides the recent files that outlives a run: one page or two facing.
    QSettings settings(
        QString::fromLatin1(CVardenApp::kSettingsOrganization), QString::fromLatin1(CVardenApp::kSettingsApplication));
    auto* pages = preview.findChild<QPrintPreviewWidget*>();
    if (pages)
        pages->setViewMode(settings.value(QStringLiteral("Settings/PreviewPages"), 1).toInt() == 2
                ? QPrintPreviewWidget::FacingPagesView
                : QPrintPreviewWidget::SinglePageView);
    preview.exec();
    if (pages)
        settings.setValue(
            QStringLiteral("Settings/PreviewPages"), pages->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}

} // namespace app
