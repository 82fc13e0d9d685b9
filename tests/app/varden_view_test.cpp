#include "app_harness.h"

#include "app/command_table.h"
#include "widgets/to_qimage.h"

#include <QClipboard>
#include <QMimeData>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

using app::CVardenView;
using app_testing::Harness;
using app_testing::WriteImage;

namespace {

// Dark colours only, so that nothing of the picture matches the white background.
codec::CxImage Picture(std::uint32_t w, std::uint32_t h)
{
    codec::CxImage image(w, h, 24);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            image.SetPixelColor(x,
                y,
                codec::RGBQuad { static_cast<std::uint8_t>((x * 7) % 200),
                    static_cast<std::uint8_t>((y * 11) % 200),
                    static_cast<std::uint8_t>((x / 4 + y / 4) % 2 ? 180 : 20),
                    255 });
    return image;
}

QImage Grab(CVardenView* view)
{
    return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

/// A document made with the new command, holding `image`.
app::OpenDocument* NewDocumentWith(Harness& h, codec::CxImage image)
{
    h.Frame().OnCommand(app::kIdFileNew);
    QApplication::processEvents();
    app::OpenDocument* doc = h.ActiveView() ? h.ActiveView()->GetDocument() : nullptr;
    if (doc) {
        doc->Doc().Image() = std::move(image);
        doc->ImageChanged();
        h.ActiveView()->OnInitialUpdate();
    }
    return doc;
}

TEST(ViewDrawing, AtOneHundredPercentThePictureIsDrawnPixelForPixel)
{
    Harness h;
    app::OpenDocument* doc = NewDocumentWith(h, Picture(64, 48));
    ASSERT_NE(doc, nullptr);
    const QImage shown = Grab(h.ActiveView());
    ASSERT_GE(shown.width(), 70);
    ASSERT_GE(shown.height(), 50);
    const QImage expected = widgets::ToQImage(doc->Doc().Image()).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, 64, 48), expected);
    const QRgb background = h.ActiveView()->palette().color(QPalette::Base).rgb();
    EXPECT_EQ(shown.pixel(64, 10), background);
    EXPECT_EQ(shown.pixel(10, 48), background);
}

TEST(ViewDrawing, OtherZoomsStretchTheTruncatedSize)
{
    Harness h;
    app::OpenDocument* doc = NewDocumentWith(h, Picture(65, 47));
    ASSERT_NE(doc, nullptr);
    CVardenView* view = h.ActiveView();
    const QRgb background = view->palette().color(QPalette::Base).rgb();
    for (float zoom : { 2.0f, 0.5f }) {
        doc->Doc().SetZoom(zoom);
        view->viewport()->update();
        const QImage shown = Grab(view);
        const QSize drawn(static_cast<int>(65 * zoom), static_cast<int>(47 * zoom)); // 130x94, 32x23
        EXPECT_NE(shown.pixel(drawn.width() - 1, drawn.height() - 1), background) << zoom;
        EXPECT_EQ(shown.pixel(drawn.width(), 5), background) << zoom;
        EXPECT_EQ(shown.pixel(5, drawn.height()), background) << zoom;
    }
}

/// One channel of `source` sampled bilinearly at the centre of pixel (x, y) of a `drawn`-sized
/// stretch: pixel centres map onto pixel centres, and the edge pixels repeat beyond the border.
double Bilinear(const std::vector<std::vector<int>>& source, QSize drawn, int x, int y)
{
    const int w = static_cast<int>(source[0].size()), h = static_cast<int>(source.size());
    auto axis = [](int d, int dn, int n, int& i0, int& i1, double& f) {
        const double s = std::clamp((d + 0.5) * n / dn - 0.5, 0.0, n - 1.0);
        i0 = static_cast<int>(s);
        i1 = std::min(i0 + 1, n - 1);
        f = s - i0;
    };
    int x0, x1, y0, y1;
    double fx, fy;
    axis(x, drawn.width(), w, x0, x1, fx);
    axis(y, drawn.height(), h, y0, y1, fy);
    const double top = source[y0][x0] * (1 - fx) + source[y0][x1] * fx;
    const double bottom = source[y1][x0] * (1 - fx) + source[y1][x1] * fx;
    return top * (1 - fy) + bottom * fy;
}

// Against a hand-computed expectation, not the drawing call itself: a gray picture of stripes one
// pixel wide, where a smoothed stretch and a nearest-pixel one differ by far more than rounding.
TEST(ViewDrawing, OtherZoomsAreSmoothedBilinearly)
{
    std::vector<std::vector<int>> gray(6, std::vector<int>(8));
    codec::CxImage stripes(8, 6, 24);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            gray[y][x] = (x % 2 ? 200 : 20) + (y % 2 ? 0 : 40);
            const auto v = static_cast<std::uint8_t>(gray[y][x]);
            stripes.SetPixelColor(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), { v, v, v, 255 });
        }
    Harness h;
    app::OpenDocument* doc = NewDocumentWith(h, stripes);
    ASSERT_NE(doc, nullptr);
    CVardenView* view = h.ActiveView();
    for (float zoom : { 2.0f, 0.5f }) {
        SCOPED_TRACE(zoom);
        doc->Doc().SetZoom(zoom);
        view->viewport()->update();
        const QImage shown = Grab(view);
        const QSize drawn(static_cast<int>(8 * zoom), static_cast<int>(6 * zoom));
        double worstSmooth = 0, worstNearest = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const int got = qRed(shown.pixel(x, y));
                ASSERT_EQ(got, qBlue(shown.pixel(x, y)));
                const int nearest = gray[static_cast<int>((y + 0.5) / zoom)][static_cast<int>((x + 0.5) / zoom)];
                worstSmooth = std::max(worstSmooth, std::abs(got - Bilinear(gray, drawn, x, y)));
                worstNearest = std::max(worstNearest, std::abs(got - static_cast<double>(nearest)));
            }
        EXPECT_LE(worstSmooth, 2.0); // rounding in the fixed-point interpolation
        EXPECT_GE(worstNearest, 40.0);
    }
}

TEST(ViewDrawing, ScrolledViewsDrawTheScrolledPart)
{
    Harness h;
    app::OpenDocument* doc = NewDocumentWith(h, Picture(2000, 1500));
    ASSERT_NE(doc, nullptr);
    CVardenView* view = h.ActiveView();
    EXPECT_EQ(view->TotalSize(), QSize(2000, 1500));
    view->horizontalScrollBar()->setValue(300);
    view->verticalScrollBar()->setValue(200);
    const QImage shown = Grab(view);
    const QImage source = widgets::ToQImage(doc->Doc().Image()).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, 100, 100), source.copy(300, 200, 100, 100));
}

TEST(ViewDrawing, AViewWithoutDocumentScrollsOverOneHundredPixelsAndDrawsNothing)
{
    Harness h;
    CVardenView view(*h.app, nullptr);
    view.resize(200, 150);
    view.OnInitialUpdate();
    EXPECT_EQ(view.TotalSize(), QSize(100, 100));
    const QImage shown = Grab(&view);
    const QRgb background = view.palette().color(QPalette::Base).rgb();
    for (int y = 0; y < shown.height(); y += 7)
        for (int x = 0; x < shown.width(); x += 7)
            ASSERT_EQ(shown.pixel(x, y), background);
    EXPECT_FALSE(view.OnCmdMsg(app::kIdFileOpen, false));
}

TEST(Printing, PrintSizeFollowsPrinterResolutionZoomAndStoredResolution)
{
    const QSize image(1000, 800);
    EXPECT_EQ(CVardenView::PrintSize(image, 1.0f, 300, 300, 600, 600), QSize(2000, 1600));
    EXPECT_EQ(CVardenView::PrintSize(image, 1.0f, 0, 0, 600, 600), QSize(1000, 800));
    // Both resolutions are needed; one alone counts as none.
    EXPECT_EQ(CVardenView::PrintSize(image, 1.0f, 300, 0, 600, 600), QSize(1000, 800));
    EXPECT_EQ(CVardenView::PrintSize(image, 1.0f, 0, 300, 600, 600), QSize(1000, 800));
    EXPECT_EQ(CVardenView::PrintSize(image, 0.5f, 300, 150, 600, 300), QSize(1000, 800));
    EXPECT_EQ(CVardenView::PrintSize(image, 0.5f, 0, 0, 600, 600), QSize(500, 400));
    // Integer division after truncation: 100 * 600 / 7 = 8571.4.
    EXPECT_EQ(CVardenView::PrintSize(QSize(100, 100), 1.0f, 7, 9, 600, 600), QSize(8571, 6666));
    EXPECT_EQ(CVardenView::PrintSize(image, 0.1f, 300, 300, 600, 600), QSize(200, 160));
    EXPECT_EQ(CVardenView::ZoomedSize(QSize(333, 101), 0.1f), QSize(33, 10));
}

// The printed picture's extent in a PDF page rendered at `dpi`, found as the box of dark pixels.
QRect PrintedBox(const std::string& pdf, int dpi)
{
    const std::string out = pdf + "-page";
    const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -singlefile -png '" + pdf + "' '" + out + "'";
    EXPECT_EQ(testing_support::RunCommand(command), 0) << command;
    const QImage page(QString::fromStdString(out + ".png"));
    EXPECT_FALSE(page.isNull());
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(Printing, PaintsOnThePrinterAtThePrintSize)
{
    ASSERT_TRUE(testing_support::HaveTool("pdftoppm")) << "poppler-utils is installed by scripts/setup";
    testing_support::TempDir dir;
    Harness h;
    codec::CxImage image(1000, 800, 24); // all black
    image.SetXDPI(300);
    image.SetYDPI(300);
    app::OpenDocument* doc = NewDocumentWith(h, image);
    ASSERT_NE(doc, nullptr);

    for (bool stored : { true, false }) {
        if (!stored) {
            doc->Doc().Image().SetXDPI(0);
            doc->Doc().Image().SetYDPI(0);
        }
        const std::string pdf = dir.File(stored ? "stored.pdf" : "none.pdf");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setResolution(600);
        ASSERT_EQ(printer.logicalDpiX(), 600);
        ASSERT_TRUE(h.ActiveView()->OnPrint(printer));
        // 2000 x 1600 printer pixels at 600 dpi are 200 x 160 pixels at 60 dpi; 1000 x 800 are 100 x 80.
        const QRect box = PrintedBox(pdf, 60);
        const QSize expected = stored ? QSize(200, 160) : QSize(100, 80);
        EXPECT_NEAR(box.width(), expected.width(), 1) << stored;
        EXPECT_NEAR(box.height(), expected.height(), 1) << stored;
    }
}

TEST(Clipboard, CopyPutsTheImageAndItsBitmapBytesOnTheClipboard)
{
    Harness h;
    app::OpenDocument* doc = NewDocumentWith(h, Picture(37, 21));
    ASSERT_NE(doc, nullptr);
    QGuiApplication::clipboard()->clear();
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdEditCopy));
    EXPECT_TRUE(h.ui.boxes.empty());

    const QImage expected = widgets::ToQImage(doc->Doc().Image()).convertToFormat(QImage::Format_RGB32);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), expected);
    // image/bmp is a whole BMP file that any reader takes; the raw bitmap is offered as well.
    const QByteArray bmp = data->data(QString::fromLatin1(app::kMimeBmp));
    ASSERT_GT(bmp.size(), 54);
    EXPECT_EQ(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32), expected);
    const std::vector<std::uint8_t> dib = doc->Doc().Image().CopyToHandle();
    EXPECT_EQ(data->data(QString::fromLatin1(app::kMimeDib)),
        QByteArray(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size())));
}

TEST(Clipboard, AnEmptyImageCannotBeCopied)
{
    Harness h;
    h.Frame().OnCommand(app::kIdFileNew); // a new document holds no image
    QApplication::processEvents();
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdEditCopy));
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Unable to set Clipboard data");
    EXPECT_EQ(h.ui.boxes[0].caption, "Korvane Pelmora");
}

TEST(Clipboard, BmpFileFromDibAddsTheFileHeader)
{
    codec::CxImage indexed(5, 3, 8);
    for (std::size_t i = 0; i < indexed.Palette().size(); ++i)
        indexed.Palette()[i]
            = codec::RGBQuad { static_cast<std::uint8_t>(i), 0, static_cast<std::uint8_t>(255 - i), 255 };
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 5; ++x)
            indexed.Row(y)[x] = static_cast<std::uint8_t>(x * 40 + y);
    const std::vector<std::uint8_t> dib = indexed.CopyToHandle();
    const QByteArray bmp = app::BmpFileFromDib(dib);
    ASSERT_EQ(bmp.size(), static_cast<qsizetype>(dib.size() + 14));
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    const auto le32 = [&](int at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bmp[at])
            | static_cast<std::uint8_t>(bmp[at + 1]) << 8 | static_cast<std::uint8_t>(bmp[at + 2]) << 16
            | static_cast<std::uint8_t>(bmp[at + 3]) << 24);
    };
    EXPECT_EQ(le32(2), static_cast<std::uint32_t>(bmp.size()));
    EXPECT_EQ(le32(10), 14u + 40u + 256u * 4u); // pixels after the header and the 256-entry palette
    EXPECT_EQ(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32),
        widgets::ToQImage(indexed).convertToFormat(QImage::Format_RGB32));
    // A header cut short is refused rather than read past its end.
    EXPECT_TRUE(app::BmpFileFromDib({}).isEmpty());
    EXPECT_TRUE(app::BmpFileFromDib(std::vector<std::uint8_t>(dib.begin(), dib.begin() + 30)).isEmpty());
    std::vector<std::uint8_t> shortTable(dib.begin(), dib.begin() + 40 + 16);
    EXPECT_TRUE(app::BmpFileFromDib(shortTable).isEmpty());
}

TEST(ViewCommands, RotatingLeftThenRightGivesTheFirstPixelsBackAndClosingAsksNothing)
{
    testing_support::TempDir dir;
    Harness h;
    const codec::CxImage original = Picture(30, 20);
    app::OpenDocument* doc = h.Open(WriteImage(dir, "r.png", original));
    ASSERT_NE(doc, nullptr);
    CVardenView* view = h.ActiveView();

    ASSERT_TRUE(h.Frame().OnCommand(app::kIdRotateLeft));
    EXPECT_EQ(doc->Doc().Image().GetWidth(), 20u);
    EXPECT_EQ(doc->Doc().Image().GetHeight(), 30u);
    // The view shows the turned picture at once; the scroll sizes stay as they were.
    EXPECT_EQ(
        Grab(view).copy(0, 0, 20, 30), widgets::ToQImage(doc->Doc().Image()).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(view->TotalSize(), QSize(30, 20));

    ASSERT_TRUE(h.Frame().OnCommand(app::kIdRotateRight));
    std::string why;
    EXPECT_TRUE(testing_support::SamePixels(doc->Doc().Image(), original, &why)) << why;
    EXPECT_FALSE(doc->Doc().IsModified());

    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileClose));
    QApplication::processEvents();
    EXPECT_TRUE(h.Docs().Documents().empty());
    EXPECT_TRUE(h.ui.boxes.empty());
    EXPECT_EQ(h.ui.unexpectedQuestions, 0);
}

TEST(ViewCommands, Rotate180AndRedEyeRemovalChangeThePictureInPlace)
{
    Harness h;
    // A small red pupil on gray, and one blue corner pixel to follow the turn.
    codec::CxImage eye(60, 60, 24);
    for (std::uint32_t y = 0; y < 60; ++y)
        for (std::uint32_t x = 0; x < 60; ++x) {
            const int dx = static_cast<int>(x) - 30, dy = static_cast<int>(y) - 30;
            const bool pupil = dx * dx + dy * dy <= 9;
            eye.SetPixelColor(x, y, pupil ? codec::RGBQuad { 230, 20, 30, 255 } : codec::RGBQuad { 90, 90, 90, 255 });
        }
    eye.SetPixelColor(0, 0, codec::RGBQuad { 0, 0, 250, 255 });
    app::OpenDocument* doc = NewDocumentWith(h, eye);
    ASSERT_NE(doc, nullptr);

    ASSERT_TRUE(h.Frame().OnCommand(app::kIdRotate180));
    EXPECT_EQ(doc->Doc().Image().GetPixelColor(59, 59).blue, 250);
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdRedEye));
    EXPECT_EQ(doc->Doc().Image().GetPixelColor(29, 29).red, 25);
    EXPECT_EQ(Grab(h.ActiveView()).pixel(29, 29), widgets::ToQImage(doc->Doc().Image()).pixel(29, 29));

    // With nothing loaded the commands change nothing and say nothing.
    h.Frame().OnCommand(app::kIdFileNew);
    QApplication::processEvents();
    for (int id : { app::kIdRotateLeft, app::kIdRotateRight, app::kIdRotate180, app::kIdRedEye })
        EXPECT_TRUE(h.Frame().OnCommand(id));
    EXPECT_FALSE(h.ActiveView()->GetDocument()->Doc().Image().IsValid());
    EXPECT_TRUE(h.ui.boxes.empty());
}

} // namespace

TEST(Printing, PreviewRemembersOneOrTwoPagesAcrossRuns)
{
    testing_support::TempDir dir;
    Harness h;
    ASSERT_NE(h.Open(WriteImage(dir, "p.png", Picture(20, 10))), nullptr);
    QSettings settings(QString::fromLatin1(app::CVardenApp::kSettingsOrganization),
        QString::fromLatin1(app::CVardenApp::kSettingsApplication));
    settings.setValue(QStringLiteral("Settings/PreviewPages"), 2);
    settings.sync();

    QPrintPreviewWidget::ViewMode shown = QPrintPreviewWidget::AllPagesView;
    QTimer::singleShot(0, [&shown] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* preview = modal ? modal->findChild<QPrintPreviewWidget*>() : nullptr;
        if (preview) {
            shown = preview->viewMode();
            preview->setSinglePageViewMode(); // the person switches to one page
        }
        if (modal)
            modal->close();
    });
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFilePrintPreview));
    EXPECT_EQ(shown, QPrintPreviewWidget::FacingPagesView);
    settings.sync();
    EXPECT_EQ(settings.value(QStringLiteral("Settings/PreviewPages")).toInt(), 1);
}
