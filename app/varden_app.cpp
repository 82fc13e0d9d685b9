#include "app/varden_app.h"

#include "app/command_table.h"
#include "app/doc_manager.h"
#include "app/file_prompt.h"
#include "app/main_frame.h"
#include "app/qt_ui.h"
#include "batch/ui/batch_convert_dlg.h"
#include "core/registry.h"
#include "crypt/ui/cipher_command.h"
#include "gif/ui/animated_gif_dlg.h"
#include "gif/ui/gif_animation_dlg.h"
#include "tiff/ui/multipage_tiff_command.h"
#include "widgets/about_dlg.h"
#include "widgets/splash_screen_dlg.h"

#include <QEventLoop>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QTimer>

namespace app {

namespace {

// Where each multi-file command goes. A subsystem plugs its handler in with SetCommandHandler;
// until then the command has none and its menu entry stays disabled.
constexpr MultiFileCommand kMultiFileCommands[] = {
    { kIdBatchConvert, "batch conversion" },
    { kIdAnimateGif, "animated GIF builder" },
    { kIdExtractGifFrames, "GIF frame extraction" },
    { kIdEncrypt, "encryption run" },
    { kIdDecrypt, "decryption run" },
    { kIdMultipageTiff, "multipage TIFF builder" },
};

} // namespace

std::span<const MultiFileCommand> MultiFileCommands()
{
    return kMultiFileCommands;
}

CVardenApp::CVardenApp(core::Ui* ui)
    : qtUi_(ui ? nullptr : std::make_unique<QtUi>())
    , ui_(ui ? ui : qtUi_.get())
    , docs_(std::make_unique<CDocManager>(*this))
{
    for (const MultiFileCommand& command : kMultiFileCommands)
        multiFileHandlers_[command.id] = nullptr;
    SetCommandHandler(
        kIdEncrypt, [this] { cryptui::OnCipherCommand(cipher::CipherRunKind::Encrypt, frame_.get(), *ui_); });
    SetCommandHandler(
        kIdDecrypt, [this] { cryptui::OnCipherCommand(cipher::CipherRunKind::Decrypt, frame_.get(), *ui_); });
    SetCommandHandler(kIdExtractGifFrames, [this] { gif_ui::OnExtractGifFrames(frame_.get(), *ui_); });
    SetCommandHandler(kIdAnimateGif, [this] {
        gif_ui::OnAnimateGif(frame_.get(), *ui_, [this](const std::string& path) {
            if (OpenDocument* opened = OpenDocumentFile(QString::fromStdString(path)))
                opened->Doc().SetZoom(1.0f);
        });
    });
    SetCommandHandler(kIdMultipageTiff, [this] { tiff_ui::OnMultipageTiff(*this); });
    SetCommandHandler(kIdBatchConvert, [this] { batch_ui::BatchConvertCommand(*this); });
}

CVardenApp::~CVardenApp()
{
    if (frame_)
        frame_->CloseAllWindows();
    docs_->CloseAllDocuments();
    frame_.reset();
}

bool CVardenApp::InitInstance(int startupPauseMs, const QStringList& arguments)
{
    // 1. The splash screen stays up, painted, until start-up ends. The pause keeps painting it
    //    but takes no input.
    auto splash = std::make_unique<widgets::CSplashScreenDlg>();
    if (splash->Create(nullptr)) {
        splashShown_ = true;
        splash->repaint();
    } else {
        splash.reset();
    }
    if (startupPauseMs > 0) {
        QEventLoop pause;
        QTimer::singleShot(startupPauseMs, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }

    // 6. The settings: the recent-file list.
    LoadStdProfileSettings();

    // 8. The main window.
    frame_ = std::make_unique<CMainFrame>(*this);
    if (!frame_->LoadFrame()) {
        frame_.reset();
        return false;
    }
    if (qtUi_)
        qtUi_->SetMainFrame(frame_.get());

    // 9. Files dropped on the main window open as documents.
    frame_->setAcceptDrops(true);

    // 10. The command line: a file argument is opened; none opens nothing.
    if (arguments.size() > 1 && !OpenDocumentFile(arguments.at(1)))
        return false;

    // 11. Shown maximised; the splash screen goes when this returns. The geometry is set as well
    //     because without a window manager nothing would carry out the maximised state.
    if (const QScreen* screen = frame_->screen())
        frame_->setGeometry(screen->availableGeometry());
    frame_->showMaximized();
    frame_->update();
    frame_->UpdateCmdUI();
    return true;
}

void CVardenApp::LoadStdProfileSettings()
{
    QSettings settings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
    recentFiles_.ReadList(settings);
}

void CVardenApp::SaveRecentFileList() const
{
    QSettings settings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication));
    recentFiles_.WriteList(settings);
    settings.sync();
}

void CVardenApp::AddToRecentFileList(const QString& path)
{
    recentFiles_.Add(path);
    SaveRecentFileList();
    if (frame_)
        frame_->UpdateRecentFileMenu();
}

bool CVardenApp::OpenRecentFile(int index)
{
    if (index < 0 || index >= recentFiles_.Files().size())
        return false;
    if (OpenDocumentFile(recentFiles_.Files().at(index)))
        return true;
    recentFiles_.Remove(index);
    SaveRecentFileList();
    if (frame_)
        frame_->UpdateRecentFileMenu();
    return false;
}

OpenDocument* CVardenApp::OpenDocumentFile(const QString& path)
{
    return docs_->OpenDocumentFile(path);
}

QPrinter& CVardenApp::Printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

void CVardenApp::SetCommandHandler(int id, std::function<void()> handler)
{
    multiFileHandlers_[id] = std::move(handler);
    if (frame_)
        frame_->UpdateCmdUI();
}

bool CVardenApp::PromptForImageFiles(std::vector<std::string>& list)
{
    FilePromptRequest request;
    request.mode = FilePromptRequest::OpenMany;
    request.owner = frame_.get();
    request.title = QStringLiteral("Open");
    request.nameFilters = ToQtNameFilters(core::ImageTypeFilter(0).filter);
    const QStringList chosen = PromptForFiles(request);
    if (chosen.isEmpty())
        return false;
    for (const QString& path : chosen)
        list.push_back(path.toStdString());
    return true;
}

void CVardenApp::OnAppAbout()
{
    widgets::CAboutDlg about(frame_.get());
    about.exec();
}

void CVardenApp::OnFilePrintSetup()
{
    QPageSetupDialog setup(&Printer(), frame_.get());
    setup.exec();
}

bool CVardenApp::OnCmdMsg(int id, bool execute)
{
    if (const auto it = multiFileHandlers_.find(id); it != multiFileHandlers_.end()) {
        if (!it->second)
            return false;
        if (execute)
            it->second();
        return true;
    }
    if (id >= kIdFileMruFirst && id < kIdFileMruFirst + kRecentFileCount) {
        const int index = id - kIdFileMruFirst;
        if (index >= recentFiles_.Files().size())
            return false;
        if (execute)
            OpenRecentFile(index);
        return true;
    }
    switch (id) {
    case kIdFileNew:
        if (execute)
            docs_->OpenNewDocument();
        return true;
    case kIdFileOpen:
        if (execute)
            docs_->DoFileOpen();
        return true;
    case kIdFilePrintSetup:
        if (execute)
            OnFilePrintSetup();
        return true;
    case kIdAppAbout:
        if (execute)
            OnAppAbout();
        return true;
    case kIdAppExit:
        if (execute && frame_)
            frame_->close();
        return true;
    default:
        return false;
    }
}

} // namespace app
