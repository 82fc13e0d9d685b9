#include "gif/ui/gif_animation_dlg.h"

#include "app/file_prompt.h"
#include "core/paths.h"
#include "core/registry.h"
#include "gif/gif_extract.h"
#include "gif/ui/picture_ex.h"
#include "widgets/control_name.h"
#include "widgets/folder_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace gif_ui {

namespace {

using widgets::ControlName;

} // namespace

CGifAnimationDlg::CGifAnimationDlg(QWidget* parent, std::string path, core::Ui& ui)
    : QDialog(parent)
    , path_(std::move(path))
    , ui_(ui)
{
    setWindowTitle(QStringLiteral("Gif Animation Frames"));
    resize(560, 420);
    // Fixed places as in a dialog template: the picture grows from its top-left corner and the
    // dialog clips what lies outside.
    auto* extract = new QPushButton(QStringLiteral("Extract"), this);
    extract->setObjectName(ControlName(kIdExtract));
    extract->setGeometry(470, 10, 80, 26);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(ControlName(kIdClose));
    close->setGeometry(470, 42, 80, 26);
    auto* caption = new QLabel(QStringLiteral("Image information"), this);
    caption->setGeometry(10, 290, 200, 18);
    infoList_ = new QListWidget(this);
    infoList_->setObjectName(ControlName(kIdInfoList));
    infoList_->setGeometry(10, 310, 540, 100);
    infoList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    picture_ = new CPictureEx(this);
    picture_->setObjectName(ControlName(kIdPicture));
    picture_->setGeometry(10, 10, 450, 270);
    connect(extract, &QPushButton::clicked, this, &CGifAnimationDlg::OnExtract);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    OnInitDialog();
}

CGifAnimationDlg::~CGifAnimationDlg() = default;

void CGifAnimationDlg::OnInitDialog()
{
    picture_->LoadPictureFile(path_); // a file that does not load shows nothing
    picture_->ShowPicture();
    infoList_->clear();
    if (picture_->InfoLines().empty())
        infoList_->addItem(QStringLiteral("No picture information available for this GIF file..."));
    for (const std::string& line : picture_->InfoLines())
        infoList_->addItem(QString::fromStdString(line));
}

void CGifAnimationDlg::OnExtract()
{
    widgets::CFolderDialog picker(this, "Select a destination directory for thed gif frames");
    if (picker.DoModal() != 1)
        return;
    const std::string base = picker.selectedPath + "/" + core::PathFileName(path_);
    if (!gif::SaveFramesAsFiles(picture_->Decoder(), base))
        ui_.MessageBox(core::Format("Error while saving the frames as images for the file %s", path_.c_str()),
            "Error",
            core::MessageIcon::Warning,
            core::Owner::Dialog);
}

void OnExtractGifFrames(QWidget* mainWindow, core::Ui& ui)
{
    const core::TypeFilter filter = core::ImageTypeFilter(codec::kTypeGif);
    app::FilePromptRequest request;
    request.mode = app::FilePromptRequest::Open;
    request.owner = mainWindow;
    request.nameFilters = app::ToQtNameFilters(filter.filter);
    const QStringList chosen = app::PromptForFiles(request);
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.front().toStdString();
    if (core::ImageTypeFromExtension(path) != codec::kTypeGif) {
        ui.MessageBox("The selected file is not a valid GIF animation",
            core::kAppTitle,
            core::MessageIcon::None,
            core::Owner::MainWindow);
        return;
    }
    CGifAnimationDlg dialog(mainWindow, path, ui);
    dialog.exec();
}

} // namespace gif_ui
