#pragma once

// "Animate GIF Sequence": the frame files with their delays, their order, the destination, the
// loop setting and a preview played on a thread of its own. Create closes the dialog; the
// command then builds the file.

#include "codec/ximage.h"
#include "core/ui.h"
#include "gif/gif_builder.h"

#include <QDialog>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace gif_ui {

class CAnimatedGifDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId : int {
        kIdCreate = 1,
        kIdCancel = 2,
        kIdDestination = 1004,
        kIdBrowse = 1005,
        kIdAddGif = 1006,
        kIdFrameList = 1019,
        kIdFrameDelay = 1021,
        kIdInfinite = 1022,
        kIdLimitTo = 1023,
        kIdLoopCount = 1024,
        kIdRowUp = 1046,
        kIdRowDown = 1047,
        kIdPlay = 1054,
        kIdStop = 1055,
        kIdPreview = 1056,
        kIdProgress = 1057,
    };

    /// Opens a row's file as an image window of the application (the double click).
    using DocumentOpener = std::function<void(const std::string& path)>;

    CAnimatedGifDlg(QWidget* parent, core::Ui& ui, DocumentOpener opener = {});
    ~CAnimatedGifDlg() override;

    /// Moves the controls into the fields (true) or back (false). Taking them checks the delay
    /// and the loop count (also while "Infinite" is selected); false with the message shown.
    bool UpdateData(bool saveAndValidate);

    void OnAddGif();
    void OnBrowse();
    void OnCreate();
    void OnPlay();
    void StopPreview();
    void OnRowUp();
    void OnRowDown();
    void OnDeleteSelected();
    void OnDoubleClick(int row);

    const std::vector<gif::GifFrameSource>& Frames() const { return frames_; }
    const std::string& Destination() const { return destination_; }
    /// -1 after Create with "Infinite", else the limit.
    int LoopCount() const { return loopCount_; }
    bool IsPreviewing() const { return previewThread_.joinable(); }
    /// The preview images as Play prepared them.
    const std::vector<codec::CxImage>& PreviewImages() const { return previewImages_; }
    /// Test seam: each preview wait, in milliseconds, before it is waited.
    void SetPreviewWaitObserver(std::function<void(std::uint32_t)> observer) { waitObserver_ = std::move(observer); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void ShowList();
    void RunPreview();
    void ShowPreviewImage(std::size_t index);

    core::Ui& ui_;
    DocumentOpener opener_;
    std::string destination_;
    std::vector<gif::GifFrameSource> frames_;
    int loopCount_ = 3;
    std::uint32_t frameDelay_ = 22;
    int loopMode_ = 0;

    QTableWidget* list_ = nullptr;
    QLineEdit* delayEdit_ = nullptr;
    QLineEdit* destinationEdit_ = nullptr;
    QRadioButton* infinite_ = nullptr;
    QRadioButton* limitTo_ = nullptr;
    QLineEdit* loopEdit_ = nullptr;
    QLabel* preview_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* stop_ = nullptr;
    QProgressBar* progress_ = nullptr;

    // The preview: the images stay untouched while the thread runs; every change stops it first.
    std::vector<codec::CxImage> previewImages_;
    std::thread previewThread_;
    std::atomic<bool> stopPreview_ { false };
    std::mutex previewLock_;
    std::condition_variable previewWake_;
    std::function<void(std::uint32_t)> waitObserver_;
};

/// The "Animate GIF" command: the dialog, then the builder on Create. Its result is not shown.
void OnAnimateGif(QWidget* mainWindow, core::Ui& ui, CAnimatedGifDlg::DocumentOpener opener);

} // namespace gif_ui
