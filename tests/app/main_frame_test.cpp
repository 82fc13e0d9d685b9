#include "app_harness.h"

#include "app/command_table.h"
#include "app/main_combo_toolbar.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include <set>

using app_testing::Harness;
using app_testing::WriteImage;

namespace {

std::string Dump(const QMenu* menu, const std::string& indent = "")
{
    std::string out;
    for (const QAction* action : menu->actions()) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator()) {
            out += indent + "---\n";
        } else if (action->menu()) {
            out += indent + action->text().toStdString() + " >\n" + Dump(action->menu(), indent + "  ");
        } else {
            out += indent + action->text().toStdString() + " [" + std::to_string(action->data().toInt()) + "]"
                + (action->isEnabled() ? "" : " (disabled)") + "\n";
        }
    }
    return out;
}

std::string DumpMenuBar(app::CMainFrame& frame)
{
    frame.UpdateCmdUI();
    std::string out;
    for (const QAction* top : frame.menuBar()->actions()) {
        out += top->text().toStdString() + "\n";
        if (top->menu())
            out += Dump(top->menu(), "  ");
    }
    return out;
}

int SelectZoom(app::CMainFrame& frame, const QString& text)
{
    QComboBox* box = frame.ToolBar()->ZoomBox();
    const int index = box->findText(text);
    box->setCurrentIndex(index);
    emit box->activated(index);
    return index;
}

codec::CxImage Solid(std::uint32_t w, std::uint32_t h)
{
    codec::CxImage image(w, h, 24);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            image.SetPixelColor(
                x, y, codec::RGBQuad { static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 90, 255 });
    return image;
}

TEST(MainFrame, MenuWithoutDocumentIsMenu128Verbatim)
{
    Harness h;
    ASSERT_TRUE(h.started);
    EXPECT_EQ(h.Frame().CurrentMenu(), 128);
    EXPECT_EQ(DumpMenuBar(h.Frame()),
        "&File\n"
        "  &Open...\tCtrl+O [57601]\n"
        "  ---\n"
        "  P&rint Setup... [57606]\n"
        "  ---\n"
        "  Recent File [57616] (disabled)\n"
        "  ---\n"
        "  &Close [57602] (disabled)\n"
        "  E&xit [57665]\n"
        "&Convert\n"
        "  &Batch convert... [32822] (disabled)\n"
        "  &Animate GIF... [32825] (disabled)\n"
        "  E&xtract GIF frames... [32843] (disabled)\n"
        "  &Encrypt [32840] (disabled)\n"
        "  &Decrypt [32838] (disabled)\n"
        "  &Multipage Tiff... [32842]\n"
        "&View\n"
        "  &Toolbar [59392]\n"
        "  &Status Bar [59393]\n"
        "&Help\n"
        "  &About Pelmora... [57664]\n");
}

TEST(MainFrame, MenuWithADocumentIsMenu129VerbatimAndGoesBackWhenItCloses)
{
    Harness h;
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileNew)); // untitled: the recent-file list stays empty
    EXPECT_EQ(h.Frame().CurrentMenu(), 129);
    EXPECT_EQ(DumpMenuBar(h.Frame()),
        "&File\n"
        "  &Open...\tCtrl+O [57601]\n"
        "  &Close [57602]\n"
        "  &Save\tCtrl+S [57603]\n"
        "  Save &As... [57604]\n"
        "  ---\n"
        "  &Print...\tCtrl+P [57607]\n"
        "  Print Pre&view [57609]\n"
        "  P&rint Setup... [57606]\n"
        "  ---\n"
        "  Recent File [57616] (disabled)\n"
        "  ---\n"
        "  E&xit [57665]\n"
        "&Convert\n"
        "  Image >\n"
        "    .bmp... [32798]\n"
        "    .gif... [32799]\n"
        "    .ico... [32803]\n"
        "    .jpc... [32816]\n"
        "    .jpg... [32800]\n"
        "    .jp2... [32813]\n"
        "    .pcx... [32808]\n"
        "    .pgx... [32817]\n"
        "    .png... [32802]\n"
        "    .pnm... [32818]\n"
        "    .ras... [32821]\n"
        "    .tga... [32807]\n"
        "    .tif... [32805]\n"
        "    .pdf [32846] (disabled)\n"
        "  Batch convert... [32822] (disabled)\n"
        "  ---\n"
        "  Animate GIF... [32825] (disabled)\n"
        "  E&xtract GIF frames... [32843] (disabled)\n"
        "  ---\n"
        "  &Encrypt... [32840] (disabled)\n"
        "  &Decrypt... [32838] (disabled)\n"
        "  ---\n"
        "  Multipage Tiff... [32842]\n"
        "&Edit\n"
        "  &Copy \t(Ctrl + C) [57634]\n"
        "  Rotate &Left \t(Ctrl + L) [32828]\n"
        "  Rotate &Right \t(Ctrl + R) [32829]\n"
        "  &Rotate 180\u00b0 \t(Ctrl + F) [32830]\n"
        "  Remove red &eye\t(Ctrl + E) [32835]\n"
        "&View\n"
        "  &Toolbar [59392]\n"
        "  &Status Bar [59393]\n"
        "&Window\n"
        "  &New Window [57648]\n"
        "  &Cascade [57650]\n"
        "  &Tile [57651]\n"
        "  &Arrange Icons [57649]\n"
        "&Help\n"
        "  &About Pelmora... [57664]\n");

    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileClose));
    QApplication::processEvents();
    EXPECT_EQ(h.Frame().CurrentMenu(), 128);
    // The shared actions are back to menu 128's texts.
    EXPECT_NE(DumpMenuBar(h.Frame()).find("  &Encrypt [32840] (disabled)\n"), std::string::npos);
}

TEST(MainFrame, WbmpAndWmfConversionsAreHandledButOfferedNowhere)
{
    Harness h;
    h.Frame().OnCommand(app::kIdFileNew);
    EXPECT_TRUE(h.Frame().IsCommandEnabled(app::kIdConvertWbmp));
    EXPECT_TRUE(h.Frame().IsCommandEnabled(app::kIdConvertWmf));
    EXPECT_FALSE(h.Frame().IsCommandEnabled(app::kIdConvertPdf));
    for (int id : { app::kIdConvertWbmp, app::kIdConvertWmf }) {
        for (int menu : { 128, 129 })
            for (const app::MenuEntry& entry : app::MenuResource(menu))
                EXPECT_NE(entry.id, id) << menu;
        for (const app::Accelerator& accelerator : app::AcceleratorTable())
            EXPECT_NE(accelerator.id, id);
        for (int button : app::ToolbarButtons())
            EXPECT_NE(button, id);
    }
    // The options dialog is answered "cancelled" here: the command runs and changes nothing.
    EXPECT_TRUE(h.Frame().OnCommand(app::kIdConvertWbmp));
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(MainFrame, AcceleratorTable128Verbatim)
{
    Harness h;
    std::set<std::string> table;
    for (const QAction* action : h.Frame().actions())
        for (const QKeySequence& keys : action->shortcuts())
            table.insert(keys.toString(QKeySequence::PortableText).toStdString() + " -> "
                + std::to_string(action->data().toInt()));
    const std::set<std::string> expected {
        "Ctrl+C -> 57634",
        "Ctrl+Ins -> 57634",
        "Shift+Del -> 57635",
        "Ctrl+X -> 57635",
        "Ctrl+V -> 57637",
        "Shift+Ins -> 57637",
        "Ctrl+Z -> 57643",
        "Alt+Backspace -> 57643",
        "Ctrl+F -> 32830",
        "Ctrl+L -> 32828",
        "Ctrl+R -> 32829",
        "Ctrl+E -> 32835",
        "Ctrl+N -> 57600",
        "Ctrl+O -> 57601",
        "Ctrl+P -> 57607",
        "Ctrl+S -> 57603",
        "F6 -> 57680",
        "Shift+F6 -> 57681",
    };
    EXPECT_EQ(table, expected);
}

TEST(MainFrame, AcceleratorsRunTheirCommandsAndThoseWithoutHandlerDoNothing)
{
    Harness h;
    h.Frame().activateWindow();
    QApplication::setActiveWindow(&h.Frame());
    QApplication::processEvents();
    // No handler: disabled, nothing happens.
    for (int id : { app::kIdEditCut, app::kIdEditPaste, app::kIdEditUndo, app::kIdNextPane, app::kIdPrevPane }) {
        EXPECT_FALSE(h.Frame().IsCommandEnabled(id)) << id;
        EXPECT_FALSE(h.Frame().OnCommand(id)) << id;
    }
    QTest::keyClick(&h.Frame(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(&h.Frame(), Qt::Key_N, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_EQ(h.Docs().Documents().size(), 1u);
    EXPECT_EQ(h.Docs().Documents().front()->Title(), QStringLiteral("Image1"));
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(MainFrame, StatusBarHasFourPanesAndShowsReadyWhenIdle)
{
    Harness h;
    const QList<QLabel*> panes = h.Frame().StatusPanes();
    ASSERT_EQ(panes.size(), 4);
    EXPECT_EQ(panes[0]->text(), QStringLiteral("Ready"));
    EXPECT_EQ(panes[1]->text(), QStringLiteral("CAP"));
    EXPECT_EQ(panes[2]->text(), QStringLiteral("NUM"));
    EXPECT_EQ(panes[3]->text(), QStringLiteral("SCRL"));
    for (QLabel* pane : panes)
        EXPECT_EQ(pane->parentWidget(), h.Frame().statusBar());
}

TEST(MainFrame, PromptsAndTooltipsOfTheViewsCommandsVerbatim)
{
    Harness h;
    const std::vector<std::tuple<int, const char*, const char*>> expected {
        { 57607, "Print the active document", "Print" },
        { 57609, "Display full pages", "Print Preview" },
        { 32798, "Convert this image to .bmp", "Convert to .bmp" },
        { 32799, "Convert this image to .gif", "Convert to .gif" },
        { 32800, "Convert this image to .jpg", "Convert to .jpg" },
        { 32802, "Convert this image to .png", "Convert to .png" },
        { 32803, "Convert this image to .ico", "Convert to .ico" },
        { 32805, "Convert this image to .tif", "Convert to .tif" },
        { 32807, "Convert this image to .tga", "Convert to .tga" },
        { 32808, "Convert this image to .pcx", "Convert to .pcx" },
        { 32809, "Convert this image to .wbmp", "Convert to .wbmp" },
        { 32810, "Convert this image to .wmf", "Convert to .wmf" },
        { 32813, "Convert this image to .jp2", "Convert to .jp2" },
        { 32816, "Convert this image to .jpc", "Convert to .jpc" },
        { 32817, "Convert this image to .pgx", "Convert to .pgx" },
        { 32818, "Convert this image to .pnm", "Convert to .pnm" },
        { 32821, "Convert this image to .ras", "Convert to .ras" },
        { 57634, "Copy the selection and put it on the Clipboard", "Copy" },
        { 32828, "Rotate this image to the left", "Rotate left" },
        { 32829, "Rotate this image to the right", "Rotate right" },
        { 32830, "Rotate this image 180\u00b0", "Rotate 180\u00b0" },
        { 32835, "Remove the red eye effect from this image", "Remove red eyes" },
    };
    for (const auto& [id, prompt, tip] : expected) {
        QAction* action = h.Frame().CommandAction(id);
        EXPECT_EQ(action->statusTip().toStdString(), prompt) << id;
        EXPECT_EQ(action->toolTip().toStdString(), tip) << id;
    }

    // Fly-by help: the prompt while the pointer is on the command, "Ready" when it leaves.
    h.Frame().CommandAction(32830)->showStatusText(&h.Frame());
    EXPECT_EQ(h.Frame().MessageText(), QString::fromUtf8("Rotate this image 180\u00b0"));
    QStatusTipEvent leave { QString() };
    QApplication::sendEvent(&h.Frame(), &leave);
    EXPECT_EQ(h.Frame().MessageText(), QStringLiteral("Ready"));
}

TEST(MainFrame, Toolbar128WithTheZoomBoxInPlaceOfThePlaceholders)
{
    Harness h;
    app::CMainComboToolbar* bar = h.Frame().ToolBar();
    ASSERT_NE(bar, nullptr);
    QStringList layout;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator())
            layout << QStringLiteral("|");
        else if (bar->widgetForAction(action) == bar->ZoomBox())
            layout << QStringLiteral("box");
        else
            layout << QString::number(action->data().toInt()) + QLatin1Char(':') + action->toolTip();
    }
    EXPECT_EQ(layout.join(QLatin1Char(' ')),
        QStringLiteral("57601:Open 57603:Save | box | 57634:Copy | 57607:Print 57664:About"));
    for (QAction* action : bar->actions()) {
        if (!action->isSeparator() && bar->widgetForAction(action) != bar->ZoomBox()) {
            EXPECT_EQ(action->icon().availableSizes().value(0), QSize(16, 17));
        }
    }

    QComboBox* box = bar->ZoomBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), QStringLiteral("id32823"));
    EXPECT_EQ(box->width(), 3 * 175);
    EXPECT_FALSE(box->isEditable());
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    EXPECT_EQ(items.join(QLatin1Char(' ')), QStringLiteral("10% 25% 50% 100% 200% 300% 400% 500% 600%"));
    EXPECT_EQ(box->currentText(), QStringLiteral("100%"));
}

TEST(ZoomBox, DisabledWithoutADocumentAndEnabledWithOne)
{
    testing_support::TempDir dir;
    Harness h;
    QComboBox* box = h.Frame().ToolBar()->ZoomBox();
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(h.Frame().IsCommandEnabled(app::kIdEditCopy));
    EXPECT_FALSE(h.Frame().IsCommandEnabled(app::kIdFileSave));

    ASSERT_NE(h.Open(WriteImage(dir, "a.png", Solid(30, 20))), nullptr);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_TRUE(h.Frame().IsCommandEnabled(app::kIdEditCopy));
    EXPECT_TRUE(h.Frame().IsCommandEnabled(app::kIdFileSave));

    h.Frame().OnCommand(app::kIdFileClose);
    QApplication::processEvents();
    EXPECT_FALSE(box->isEnabled());
}

TEST(ZoomBox, ChoosingALevelZoomsTheActiveDocumentAndItsScrollSizes)
{
    testing_support::TempDir dir;
    Harness h;
    app::OpenDocument* doc = h.Open(WriteImage(dir, "a.png", Solid(300, 200)));
    ASSERT_NE(doc, nullptr);
    app::CVardenView* view = h.ActiveView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->TotalSize(), QSize(300, 200));

    SelectZoom(h.Frame(), QStringLiteral("200%"));
    EXPECT_FLOAT_EQ(doc->Doc().Zoom(), 2.0f);
    EXPECT_EQ(view->TotalSize(), QSize(600, 400));

    SelectZoom(h.Frame(), QStringLiteral("10%"));
    EXPECT_FLOAT_EQ(doc->Doc().Zoom(), 0.1f);
    EXPECT_EQ(view->TotalSize(), QSize(30, 20));

    // Zooming never marks the document modified and asks nothing.
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(ZoomBox, SwitchingDocumentsShowsEachOnesZoom)
{
    testing_support::TempDir dir;
    Harness h;
    app::OpenDocument* a = h.Open(WriteImage(dir, "a.png", Solid(40, 30)));
    app::OpenDocument* b = h.Open(WriteImage(dir, "b.png", Solid(50, 20)));
    ASSERT_TRUE(a && b);
    QComboBox* box = h.Frame().ToolBar()->ZoomBox();

    EXPECT_EQ(h.ActiveView()->GetDocument(), b);
    SelectZoom(h.Frame(), QStringLiteral("300%"));
    h.Activate(a);
    EXPECT_EQ(h.ActiveView()->GetDocument(), a);
    EXPECT_EQ(box->currentText(), QStringLiteral("100%"));
    a->Doc().SetZoom(0.25f);
    h.Activate(b);
    EXPECT_EQ(box->currentText(), QStringLiteral("300%"));
    h.Activate(a);
    EXPECT_EQ(box->currentText(), QStringLiteral("25%"));
}

TEST(ZoomBox, ShowZoomInBoxSelectsOnlyTheNineLevels)
{
    Harness h;
    app::CMainComboToolbar* bar = h.Frame().ToolBar();
    QComboBox* box = bar->ZoomBox();
    EXPECT_TRUE(bar->ShowZoomInBox(0.25f));
    EXPECT_EQ(box->currentText(), QStringLiteral("25%"));
    EXPECT_TRUE(bar->ShowZoomInBox(0.1f)); // 10.1 truncates to 10
    EXPECT_EQ(box->currentText(), QStringLiteral("10%"));
    EXPECT_TRUE(bar->ShowZoomInBox(5.999f)); // the 0.001 lifts it to 600
    EXPECT_EQ(box->currentText(), QStringLiteral("600%"));
    // Not a level: false, and the selection stays.
    EXPECT_FALSE(bar->ShowZoomInBox(0.3f));
    EXPECT_FALSE(bar->ShowZoomInBox(7.0f));
    EXPECT_EQ(box->currentText(), QStringLiteral("600%"));
    // A hidden box shows nothing.
    h.Frame().OnCommand(app::kIdViewToolbar);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(bar->ShowZoomInBox(1.0f));
    EXPECT_EQ(box->currentText(), QStringLiteral("600%"));
    EXPECT_FALSE(h.Frame().CommandAction(app::kIdViewToolbar)->isChecked());
}

TEST(MainFrame, TitleIsTheProgramNameAndTheActiveDocumentsTitle)
{
    testing_support::TempDir dir;
    Harness h;
    EXPECT_EQ(h.Frame().windowTitle(), QStringLiteral("Korvane Pelmora"));
    h.Open(WriteImage(dir, "sunset.png", Solid(20, 10)));
    QApplication::processEvents();
    EXPECT_EQ(h.Frame().windowTitle(), QStringLiteral("Korvane Pelmora - [sunset.png]"));
    h.Frame().ActiveChild()->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(h.Frame().windowTitle(), QStringLiteral("Korvane Pelmora - sunset.png"));
    h.Frame().OnCommand(app::kIdFileClose);
    QApplication::processEvents();
    EXPECT_EQ(h.Frame().windowTitle(), QStringLiteral("Korvane Pelmora"));
}

} // namespace

TEST(MainFrame, EveryConvertCommandWritesItsFormatFromTheOpenImage)
{
    Harness h;
    testing_support::TempDir dir;
    codec::CxImage picture = testing_support::MakeTestImage(30, 20, 24);
    ASSERT_TRUE(picture.Save(dir.File("src.png"), codec::kTypePng));
    ASSERT_NE(h.Open(QString::fromStdString(dir.File("src.png"))), nullptr);
    const std::pair<int, std::uint32_t> commands[] = { { app::kIdConvertBmp, 1 },
        { app::kIdConvertGif, 2 },
        { app::kIdConvertJpg, 3 },
        { app::kIdConvertPng, 4 },
        { app::kIdConvertIco, 5 },
        { app::kIdConvertTif, 6 },
        { app::kIdConvertTga, 7 },
        { app::kIdConvertPcx, 8 },
        { app::kIdConvertWbmp, 9 },
        { app::kIdConvertWmf, 10 },
        { app::kIdConvertJp2, 11 },
        { app::kIdConvertJpc, 12 },
        { app::kIdConvertPgx, 13 },
        { app::kIdConvertPnm, 14 },
        { app::kIdConvertRas, 15 } };
    for (auto [id, type] : commands) {
        core::ConversionOptions o;
        o.path = dir.File("out" + std::to_string(type));
        o.bpp = 24;
        o.dpi = 96;
        h.options.answer = o;
        h.ui.boxes.clear();
        h.ui.answers = { true }; // the GIF question, where it is asked
        EXPECT_TRUE(h.Frame().OnCommand(id));
        ASSERT_FALSE(h.options.asked.empty());
        EXPECT_EQ(h.options.asked.back(), type);
        ASSERT_FALSE(h.ui.boxes.empty()) << type;
        EXPECT_EQ(h.ui.boxes.back().caption, "Successfully converted file") << type << ": " << h.ui.boxes.back().text;
        codec::CxImage back;
        EXPECT_TRUE(back.Load(o.path, 0)) << type;
        EXPECT_EQ(back.GetType(), type);
    }
    // The open picture is untouched by all of it.
    EXPECT_TRUE(testing_support::SamePixels(h.ActiveView()->GetDocument()->Doc().Image(), picture));
}
