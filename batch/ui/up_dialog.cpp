#include "batch/ui/up_dialog.h"

#include "batch/batch_convert.h"
#include "widgets/control_name.h"
#include "widgets/cross_thread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <system_error>

namespace batch_ui {

namespace {

using widgets::ControlName;

} // namespace

/// Template 131: the status line, the bar and Cancel.
class ProgressWindow : public QDialog {
public:
    ProgressWindow(QWidget* parent, CUPDialog& owner)
        : QDialog(parent)
        , owner_(owner)
    {
        setModal(true);
        status = new QLabel(this);
        status->setObjectName(ControlName(CUPDialog::kIdStatus));
        // A long path is cut at the window's edge rather than widening it.
        status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        status->setTextFormat(Qt::PlainText);
        progress = new QProgressBar(this);
        progress->setObjectName(ControlName(CUPDialog::kIdProgress));
        progress->setTextVisible(false);
        cancel = new QPushButton(QStringLiteral("&Cancel"), this);
        cancel->setObjectName(ControlName(CUPDialog::kIdCancel));
        cancel->setAutoDefault(false);

        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(cancel);
        buttons->addStretch(1);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(status);
        layout->addWidget(progress);
        layout->addLayout(buttons);
        setFixedSize(492, 112);

        connect(cancel, &QPushButton::clicked, this, &ProgressWindow::reject);
    }

    // Cancel, Esc and the title bar's close (QDialog turns a close into reject) all stop the run.
    void reject() override
    {
        if (cancelDisabled)
            return;
        owner_.Terminate();
    }

    QLabel* status = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* cancel = nullptr;
    bool cancelDisabled = false;

private:
    CUPDialog& owner_;
};

CUPDialog::CUPDialog(QWidget* parent, void* userParam, int rangeMax)
    : parent_(parent)
    , caption_(std::string(batch::kProgressCaption).substr(0, 255))
    , worker_(&batch::BatchConvertWorker)
    , userParam_(userParam)
    , rangeMax_(rangeMax)
{
}

CUPDialog::~CUPDialog()
{
    Cleanup();
}

QDialog* CUPDialog::Window() const
{
    return window_.get();
}

int CUPDialog::DoModal(void* userParam, int rangeMax)
{
    // One showing at a time, and only where a window can be made.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || thread_.joinable() || window_)
        return batch::kEndNoDialog;

    threadData_.userParam = userParam;
    threadData_.rangeMax = rangeMax;
    threadData_.worker = worker_;
    threadData_.busy = false;
    threadData_.terminate = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threadDone_ = false;
    }
    ended_ = false;
    statusHistory_.clear();

    window_ = std::make_unique<ProgressWindow>(parent_, *this);
    if (!allowCancel_)
        DisableCancel();
    window_->progress->setRange(0, std::max(rangeMax, 1));
    window_->progress->setValue(0);
    SetStatus(QString());
    window_->setWindowTitle(QString::fromStdString(caption_));

    // The worker's two reports wait until the window has shown them.
    ProgressWindow* window = window_.get();
    threadData_.setText = [this, window](const std::string& text) {
        const QString shown = QFile::decodeName(QByteArray::fromStdString(text));
        widgets::InvokeFromWorker(
            window, [this, shown] { SetStatus(shown); }, Qt::BlockingQueuedConnection);
    };
    threadData_.setPosition = [window](int position) {
        widgets::InvokeFromWorker(
            window, [window, position] { window->progress->setValue(position); }, Qt::BlockingQueuedConnection);
    };
    threadData_.dialogAlive = true;

    try {
        thread_ = std::thread(&CUPDialog::ThreadMain, this);
    } catch (const std::system_error&) {
        return batch::kEndWorkerFailed;
    }
    return window_->exec();
}

void CUPDialog::ThreadMain()
{
    const int code = batch::RunProgressThread(threadData_);
    // A stopped run posts nothing: the stop procedure ends the window itself.
    if (!threadData_.terminate) {
        ProgressWindow* window = window_.get();
        widgets::InvokeFromWorker(window, [this, code] { EndDialog(code); }, Qt::QueuedConnection);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threadDone_ = true;
    }
    threadEnded_.notify_all();
}

void CUPDialog::SetStatus(const QString& text)
{
    statusHistory_ << text;
    window_->status->setText(text);
    // The stop procedure takes no events while it waits; show the text now.
    window_->status->repaint();
}

void CUPDialog::DisableCancel()
{
    window_->cancelDisabled = true;
    window_->cancel->setEnabled(false);
}

void CUPDialog::EndDialog(int code)
{
    // A completion that arrives after a stop is dropped with the window.
    if (ended_ || !window_)
        return;
    ended_ = true;
    window_->done(code);
}

void CUPDialog::WaitWhileBusy(std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(mutex_);
    threadEnded_.wait_for(lock, wait, [this] { return threadDone_; });
}

void CUPDialog::Terminate()
{
    threadData_.terminate = true;
    SetStatus(QString::fromUtf8(kTerminationInitiated));
    DisableCancel();
    if (threadData_.busy) {
        WaitWhileBusy(stopWait_);
        if (threadData_.busy) {
            SetStatus(QString::fromUtf8(kTerminationComplete));
            if (threadData_.busy)
                WaitWhileBusy(stopWait_);
        }
    }
    // Whether or not the worker has finished: the clean-up waits for it.
    EndDialog(batch::kEndCancelled);
}

void CUPDialog::Cleanup()
{
    threadData_.terminate = true;
    if (thread_.joinable()) {
        // The worker may be blocked on a report the window has not taken yet; deliver those (to
        // the hidden window) until the worker has finished the item in hand and ended.
        for (;;) {
            if (window_)
                QCoreApplication::sendPostedEvents(window_.get(), QEvent::MetaCall);
            std::unique_lock<std::mutex> lock(mutex_);
            if (threadEnded_.wait_for(lock, std::chrono::milliseconds(5), [this] { return threadDone_; }))
                break;
        }
        thread_.join();
    }
    threadData_.dialogAlive = false;
    threadData_.busy = false;
    threadData_.terminate = false;
    threadData_.setText = nullptr;
    threadData_.setPosition = nullptr;
    // Pending completions die with the window.
    window_.reset();
}

} // namespace batch_ui
