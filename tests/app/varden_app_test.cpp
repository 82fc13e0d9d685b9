#include "app_harness.h"

#include "app/command_table.h"
#include "core/registry.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

using app_testing::Harness;
using app_testing::ScriptedPrompts;
using app_testing::WriteImage;

namespace {

codec::CxImage Small(std::uint32_t w = 12, std::uint32_t h = 9)
{
    return testing_support::MakeTestImage(w, h, 24);
}

TEST(Startup, WithoutArgumentNoDocumentIsOpenedAndTheWindowIsMaximised)
{
    Harness h;
    ASSERT_TRUE(h.started);
    EXPECT_TRUE(h.app->SplashShown());
    EXPECT_TRUE(h.Frame().isVisible());
    EXPECT_TRUE(h.Frame().isMaximized());
    EXPECT_TRUE(h.Frame().acceptDrops());
    EXPECT_TRUE(h.Docs().Documents().empty());
    EXPECT_EQ(h.Frame().CurrentMenu(), 128);
    // The splash screen is gone once start-up is over.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && w->inherits("widgets::CSplashScreenDlg"));
}

TEST(Startup, TheCommandLineFileOpensAsADocument)
{
    testing_support::TempDir dir;
    const QString path = WriteImage(dir, "start.png", Small(30, 20));
    Harness h({ QStringLiteral("pelmora"), path });
    ASSERT_TRUE(h.started);
    ASSERT_EQ(h.Docs().Documents().size(), 1u);
    const app::OpenDocument& doc = *h.Docs().Documents().front();
    EXPECT_EQ(doc.PathName(), path);
    EXPECT_EQ(doc.Title(), QStringLiteral("start.png"));
    EXPECT_EQ(doc.Doc().Image().GetWidth(), 30u);
    ASSERT_NE(h.ActiveView(), nullptr);
    EXPECT_TRUE(h.Frame().ActiveChild()->isMaximized());
    EXPECT_EQ(h.Frame().CurrentMenu(), 129);
    // The document's own status text reaches the status bar through the Ui.
    EXPECT_EQ(h.ui.LastStatus(), "File " + path.toStdString() + " successfully loaded in 0 seconds.");
}

TEST(Startup, ACommandLineFileThatCannotBeOpenedEndsStartUp)
{
    testing_support::TempDir dir;
    Harness h({ QStringLiteral("pelmora"), QString::fromStdString(dir.File("missing.png")) });
    EXPECT_FALSE(h.started);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].text, "Failed to open document.");
}

TEST(Documents, ADroppedFileOpensAsADocument)
{
    testing_support::TempDir dir;
    const QString a = WriteImage(dir, "drop-a.png", Small());
    const QString b = WriteImage(dir, "drop-b.png", Small());
    Harness h;
    auto* data = new QMimeData;
    data->setUrls(
        { QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl(QStringLiteral("https://example.org/x.png")) });
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&h.Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&h.Frame(), &drop);
    QApplication::processEvents();
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(h.Docs().Documents().size(), 2u);
    EXPECT_EQ(h.Docs().Documents()[0]->PathName(), a);
    EXPECT_EQ(h.Docs().Documents()[1]->PathName(), b);
    EXPECT_EQ(h.ActiveView()->GetDocument()->PathName(), b);
    delete data;
}

TEST(Documents, AnOpenFileIsActivatedInsteadOfOpenedTwice)
{
    testing_support::TempDir dir;
    const QString a = WriteImage(dir, "a.png", Small());
    const QString b = WriteImage(dir, "b.png", Small());
    Harness h;
    app::OpenDocument* first = h.Open(a);
    h.Open(b);
    EXPECT_EQ(h.ActiveView()->GetDocument()->PathName(), b);
    // The same file by another spelling of its path.
    const QString again = QString::fromStdString(dir.path()) + QStringLiteral("/./a.png");
    EXPECT_EQ(h.Open(again), first);
    EXPECT_EQ(h.Docs().Documents().size(), 2u);
    EXPECT_EQ(h.ActiveView()->GetDocument(), first);
}

TEST(Documents, AFileTheCodecCannotReadOpensNothing)
{
    testing_support::TempDir dir;
    testing_support::WriteFileBytes(dir.File("bad.png"), { 'n', 'o', 't', ' ', 'p', 'n', 'g' });
    Harness h;
    EXPECT_EQ(h.Open(QString::fromStdString(dir.File("bad.png"))), nullptr);
    EXPECT_TRUE(h.Docs().Documents().empty());
    EXPECT_EQ(h.Frame().MdiArea()->subWindowList().size(), 0);
    ASSERT_EQ(h.ui.boxes.size(), 1u);
    EXPECT_EQ(h.ui.boxes[0].caption, "Error while loading file");
    EXPECT_TRUE(h.app->RecentFiles().IsEmpty());
}

TEST(Documents, NewDocumentsAreNumberedImage1Image2)
{
    Harness h;
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileNew));
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileNew));
    ASSERT_EQ(h.Docs().Documents().size(), 2u);
    EXPECT_EQ(h.Docs().Documents()[0]->Title(), QStringLiteral("Image1"));
    EXPECT_EQ(h.Docs().Documents()[1]->Title(), QStringLiteral("Image2"));
    EXPECT_TRUE(h.Docs().Documents()[1]->PathName().isEmpty());
    // Numbers are not reused after a close.
    h.Frame().OnCommand(app::kIdFileClose);
    h.Frame().OnCommand(app::kIdFileNew);
    EXPECT_EQ(h.Docs().Documents().back()->Title(), QStringLiteral("Image3"));
}

TEST(Documents, OpenPromptOffersTheDocumentTypeThenAllFiles)
{
    testing_support::TempDir dir;
    const QString path = WriteImage(dir, "chosen.png", Small());
    ScriptedPrompts prompts;
    prompts.answers.push_back({ path });
    prompts.answers.push_back({}); // cancelled
    Harness h;
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileOpen));
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::Open);
    EXPECT_EQ(prompts.requests[0].owner, &h.Frame());
    const QStringList filters = prompts.requests[0].nameFilters;
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("Image files (.bmp;.gif;.jpg;")));
    EXPECT_TRUE(filters[0].endsWith(QStringLiteral(".ppm.ras) (*.bmp *.gif *.jpg *.jpeg *.png *.ico *.tif *.tiff "
                                                   "*.tga *.pcx *.wbmp *.wmf *.emf *.j2k *.jp2 *.jbg *.j2c *.jpc *.pgx "
                                                   "*.pnm *.pgm *.ppm *.ras)")))
        << filters[0].toStdString();
    EXPECT_EQ(filters[1], QStringLiteral("All Files (*.*) (*.*)"));
    ASSERT_EQ(h.Docs().Documents().size(), 1u);
    EXPECT_EQ(h.Docs().Documents()[0]->PathName(), path);

    h.Frame().OnCommand(app::kIdFileOpen);
    EXPECT_EQ(h.Docs().Documents().size(), 1u);
}

TEST(Documents, SaveAsWritesTheChosenFileAndRenamesTheDocument)
{
    testing_support::TempDir dir;
    const QString target = QString::fromStdString(dir.File("saved.bmp"));
    ScriptedPrompts prompts;
    prompts.answers.push_back({ target });
    Harness h;
    h.Frame().OnCommand(app::kIdFileNew);
    app::OpenDocument* doc = h.ActiveView()->GetDocument();
    doc->Doc().Image() = Small(7, 5);
    // An untitled document has no file: Save asks where, starting from its title.
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdFileSave));
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::Save);
    EXPECT_EQ(prompts.requests[0].initialPath, QStringLiteral("Image1.bmp"));
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(doc->PathName(), target);
    EXPECT_EQ(doc->Title(), QStringLiteral("saved.bmp"));
    EXPECT_EQ(h.app->RecentFiles().Files().value(0), target);
    EXPECT_EQ(h.ui.LastStatus(), "Successfully saved file " + target.toStdString());

    // Now it has one: Save writes there without asking.
    testing_support::WriteFileBytes(target.toStdString(), { 'o', 'l', 'd' });
    h.Frame().OnCommand(app::kIdFileSave);
    EXPECT_EQ(prompts.requests.size(), 1u);
    const std::vector<std::uint8_t> written = testing_support::ReadFileBytes(target.toStdString());
    ASSERT_GT(written.size(), 3u);
    EXPECT_EQ(written[0], 'B');
    EXPECT_EQ(written[1], 'M');
    // A file that went away is asked for again, as an untitled one would be.
    QFile::remove(target);
    h.Frame().OnCommand(app::kIdFileSave);
    EXPECT_EQ(prompts.requests.size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(target));

    // Save As always asks; cancelling changes nothing.
    h.Frame().OnCommand(app::kIdFileSaveAs);
    EXPECT_EQ(prompts.requests.size(), 3u);
    EXPECT_EQ(prompts.requests[2].initialPath, target);
    EXPECT_EQ(doc->PathName(), target);
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(RecentFiles, KeepsTheFourNewestAcrossARestart)
{
    testing_support::TempDir dir;
    QStringList paths;
    for (int i = 1; i <= 5; ++i)
        paths << WriteImage(dir, "recent" + std::to_string(i) + ".png", Small());
    {
        Harness h;
        for (const QString& path : paths)
            ASSERT_NE(h.Open(path), nullptr);
    }
    Harness again({ QStringLiteral("pelmora") }, false);
    const QStringList expected { paths[4], paths[3], paths[2], paths[1] };
    EXPECT_EQ(again.app->RecentFiles().Files(), expected);

    // Shown in place of the "Recent File" placeholder, numbered and enabled.
    QStringList shown;
    QMenu* file = again.Frame().MenuPopups(128).front();
    again.Frame().UpdateCmdUI();
    for (QAction* action : file->actions())
        if (action->isVisible() && action->data().toInt() >= app::kIdFileMruFirst
            && action->data().toInt() < app::kIdFileMruFirst + 4) {
            EXPECT_TRUE(action->isEnabled());
            shown << action->text().left(3);
        }
    EXPECT_EQ(shown, (QStringList { "&1 ", "&2 ", "&3 ", "&4 " }));

    // Choosing an entry opens it; one that no longer opens leaves the list.
    QFile::remove(paths[3]);
    again.Frame().OnCommand(app::kIdFileMruFirst + 1);
    EXPECT_TRUE(again.Docs().Documents().empty());
    ASSERT_EQ(again.ui.boxes.size(), 1u);
    EXPECT_EQ(again.ui.boxes[0].text, "Failed to open document.");
    EXPECT_EQ(again.app->RecentFiles().Files(), (QStringList { paths[4], paths[2], paths[1] }));
    again.Frame().OnCommand(app::kIdFileMruFirst);
    ASSERT_EQ(again.Docs().Documents().size(), 1u);
    EXPECT_EQ(again.Docs().Documents()[0]->PathName(), paths[4]);
}

TEST(RecentFiles, ListRulesAndMenuText)
{
    app::CRecentFileList list(4);
    for (const char* path : { "/a", "/b", "/c", "/d", "/e", "/c" })
        list.Add(QString::fromLatin1(path));
    EXPECT_EQ(list.Files(), (QStringList { "/c", "/e", "/d", "/b" }));
    list.Remove(7);
    list.Remove(0);
    EXPECT_EQ(list.Files(), (QStringList { "/e", "/d", "/b" }));
    EXPECT_EQ(list.MenuText(0), QStringLiteral("&1 /e"));
    list.Add(QStringLiteral("/home/someone/Pictures/holidays/2024/a very long name & more.png"));
    EXPECT_EQ(list.MenuText(0), QStringLiteral("&1 /home/.../a very long name && more.png"));
    EXPECT_EQ(list.MenuText(4), QString());
}

TEST(MultiFileCommands, StayDisabledUntilTheirSubsystemPlugsIn)
{
    Harness h;
    ASSERT_EQ(app::MultiFileCommands().size(), 6u);
    for (const app::MultiFileCommand& command : app::MultiFileCommands()) {
        if (command.id == app::kIdBatchConvert) // plugged in by the application itself
            continue;
        EXPECT_FALSE(h.Frame().IsCommandEnabled(command.id)) << command.subsystem;
        EXPECT_FALSE(h.Frame().CommandAction(command.id)->isEnabled()) << command.subsystem;
    }
    int runs = 0;
    h.app->SetCommandHandler(app::kIdBatchConvert, [&runs] { ++runs; });
    EXPECT_TRUE(h.Frame().CommandAction(app::kIdBatchConvert)->isEnabled());
    h.Frame().CommandAction(app::kIdBatchConvert)->trigger();
    EXPECT_EQ(runs, 1);
}

TEST(PromptForImageFiles, UsesTheFullOpenFilterAndAppendsInDialogOrder)
{
    ScriptedPrompts prompts;
    prompts.answers.push_back({ QStringLiteral("/x/b.png"), QStringLiteral("/x/a.gif") });
    prompts.answers.push_back({});
    Harness h;
    std::vector<std::string> list { "/already.bmp" };
    ASSERT_TRUE(h.app->PromptForImageFiles(list));
    EXPECT_EQ(list, (std::vector<std::string> { "/already.bmp", "/x/b.png", "/x/a.gif" }));
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
    EXPECT_EQ(prompts.requests[0].nameFilters, app::ToQtNameFilters(core::FullOpenFilter()));
    EXPECT_FALSE(h.app->PromptForImageFiles(list));
    EXPECT_EQ(list.size(), 3u);
}

TEST(FileFilters, RegistryFiltersBecomeQtNameFilters)
{
    const QStringList open = app::ToQtNameFilters(core::FullOpenFilter());
    ASSERT_EQ(open.size(), 16);
    EXPECT_TRUE(open[0].startsWith(QStringLiteral("All Supported Image Files (*.bmp;*.gif;")));
    EXPECT_TRUE(
        open[0].endsWith(QStringLiteral("*.ppm;*.ras) (*.bmp *.gif *.jpg *.jpeg *.png *.ico *.tif *.tiff "
                                        "*.tga *.pcx *.wbmp *.wmf *.jp2 *.jpc *.pgx *.pnm *.pgm *.ppm *.ras)")));
    // The blank after the semicolon does not become a pattern of its own.
    EXPECT_EQ(open[3], QStringLiteral("Joint Photographic Experts Group File (*.jpg; *.jpeg) (*.jpg *.jpeg)"));
    EXPECT_EQ(open[15], QStringLiteral("Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm) (*.pnm *.ppm *.pgm)"));
    EXPECT_EQ(app::ToQtNameFilters(core::ImageTypeFilter(1).filter), QStringList { "Bitmap File (*.bmp) (*.bmp)" });
    EXPECT_TRUE(app::ToQtNameFilters("").isEmpty());
    EXPECT_TRUE(app::ToQtNameFilters("||").isEmpty());
    EXPECT_TRUE(app::ToQtNameFilters("Text only").isEmpty());
}

TEST(Windows, NewWindowShowsTheSameDocumentAndClosingTheLastWindowClosesIt)
{
    testing_support::TempDir dir;
    Harness h;
    app::OpenDocument* doc = h.Open(WriteImage(dir, "w.png", Small()));
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdWindowNew));
    QApplication::processEvents();
    ASSERT_EQ(doc->Views().size(), 2);
    QStringList titles;
    for (QMdiSubWindow* window : h.Frame().MdiArea()->subWindowList())
        titles << window->windowTitle();
    EXPECT_EQ(titles, (QStringList { "w.png:1", "w.png:2" }));

    h.Frame().ActiveChild()->close();
    QApplication::processEvents();
    ASSERT_EQ(h.Docs().Documents().size(), 1u);
    EXPECT_EQ(h.Frame().MdiArea()->subWindowList().first()->windowTitle(), QStringLiteral("w.png"));
    h.Frame().ActiveChild()->close();
    QApplication::processEvents();
    EXPECT_TRUE(h.Docs().Documents().empty());
    EXPECT_EQ(h.Frame().CurrentMenu(), 128);
    EXPECT_TRUE(h.ui.boxes.empty());
}

TEST(Windows, ExitClosesEverythingWithoutAsking)
{
    testing_support::TempDir dir;
    Harness h;
    h.Open(WriteImage(dir, "x.png", Small()));
    h.Frame().OnCommand(app::kIdFileNew);
    ASSERT_TRUE(h.Frame().OnCommand(app::kIdAppExit));
    QApplication::processEvents();
    EXPECT_FALSE(h.Frame().isVisible());
    EXPECT_TRUE(h.Docs().Documents().empty());
    EXPECT_TRUE(h.ui.boxes.empty());
}

} // namespace
