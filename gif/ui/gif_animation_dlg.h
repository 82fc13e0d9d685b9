#pragma once

// The GIF frame viewer: the animation playing, its block information, and "Extract", which
// writes every frame to its own file in a folder the user picks.

#include "core/ui.h"

#include <QDialog>

#include <string>

class QListWidget;

namespace gif_ui {

class CPictureEx;

class CGifAnimationDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId : int { kIdExtract = 3, kIdClose = 2, kIdPicture = 1061, kIdInfoList = 1062 };

    CGifAnimationDlg(QWidget* parent, std::string path, core::Ui& ui);
    ~CGifAnimationDlg() override;

    /// Loads and shows the picture and fills the information list (the dialog start).
    void OnInitDialog();
    void OnExtract();

    CPictureEx* Picture() const { return picture_; }
    QListWidget* InfoList() const { return infoList_; }

private:
    std::string path_;
    core::Ui& ui_;
    CPictureEx* picture_ = nullptr;
    QListWidget* infoList_ = nullptr;
};

/// The "Extract GIF frames" command: a GIF picked in a file prompt, then the viewer.
void OnExtractGifFrames(QWidget* mainWindow, core::Ui& ui);

} // namespace gif_ui
