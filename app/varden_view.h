#pragma once

// The image view: the document's image in a scrolling window at the document's zoom, printing,
// and the commands on the open image (convert, copy, rotate, red-eye removal).

#include "app/cmd_target.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QSize>

#include <cstdint>
#include <vector>

class QPrinter;

namespace app {

class CVardenApp;
class OpenDocument;

class CVardenView : public QAbstractScrollArea, public CCmdTarget {
    Q_OBJECT
public:
    /// `doc` may be null: such a view draws nothing and scrolls over 100 x 100.
    CVardenView(CVardenApp& app, OpenDocument* doc, QWidget* parent = nullptr);
    ~CVardenView() override;

    OpenDocument* GetDocument() const { return doc_; }
    /// The document is going away; the view draws nothing from now on.
    void DetachDocument();

    /// Scroll sizes from the image (without the zoom: it is 1.0 for a new document).
    void OnInitialUpdate();
    /// The view became the active one: the zoom box shows its document's zoom.
    void OnActivateView();

    bool OnCmdMsg(int id, bool execute) override;

    /// The scrollable area in device pixels; page and line steps follow from it.
    void SetScrollSizes(QSize total);
    QSize TotalSize() const { return total_; }

    /// Draws the document's image onto `painter`: at the zoom for the screen, or at the printed
    /// size for a printer with `printerDpi` pixels per inch.
    void OnDraw(QPainter& painter, bool printing, QSize printerDpi = {});
    /// Prints one page onto `printer`; false when the printer cannot be painted on.
    bool OnPrint(QPrinter& printer);

    /// The printed size: with a stored resolution (both at least 1) the image keeps its physical
    /// size on the printer, otherwise one image pixel is one printer pixel; both times the zoom.
    static QSize PrintSize(QSize image, float zoom, int imageDpiX, int imageDpiY, int printerDpiX, int printerDpiY);
    /// The size drawn on the screen: trunc(W x zoom) by trunc(H x zoom).
    static QSize ZoomedSize(QSize image, float zoom);

    void OnEditCopy();
    void OnRotateLeft();
    void OnRotateRight();
    void OnRotate180();
    void OnRedEyeRemove();
    void OnConvert(std::uint32_t targetType);
    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateScrollBars();
    void AfterImageChange();

    CVardenApp& app_;
    OpenDocument* doc_;
    QSize total_ { 100, 100 };
};

/// A BMP file (14-byte file header followed by the bitmap) from a device-independent bitmap as
/// the codec's CopyToHandle gives it; empty when the bitmap's header is not complete.
QByteArray BmpFileFromDib(const std::vector<std::uint8_t>& dib);

/// The clipboard formats a copied image is offered in besides the image itself.
inline constexpr const char* kMimeBmp = "image/bmp";
inline constexpr const char* kMimeDib = "application/x-qt-windows-mime;value=\"DeviceIndependentBitmap\"";

} // namespace app
