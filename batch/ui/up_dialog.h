#pragma once

// The progress dialog: runs a worker on a thread of its own while a small modal window shows the
// item in hand, a progress bar and Cancel. The worker reports through the block's callbacks,
// which reach the window as blocking queued calls (it waits until the window has shown them);
// its completion is a queued call. Cancel, Esc and the title bar's close all run the stop
// procedure.

#include "batch/progress_thread.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QDialog;
class QWidget;

namespace batch_ui {

class ProgressWindow;

class CUPDialog : public batch::ProgressDisplay {
public:
    enum ControlId : int {
        kIdCancel = 2,
        kIdProgress = 1005,
        kIdStatus = 1006,
    };

    static constexpr const char* kTerminationInitiated = "Termination Initiated..";
    static constexpr const char* kTerminationComplete = "Termination Complete ..Shutting Down !!";

    /// The batch run's worker and caption are wired in; `userParam` and `rangeMax` are what
    /// DoModal() runs with.
    explicit CUPDialog(QWidget* parent, void* userParam = nullptr, int rangeMax = 0);
    ~CUPDialog() override;
    CUPDialog(const CUPDialog&) = delete;
    CUPDialog& operator=(const CUPDialog&) = delete;

    /// Shows the window while the worker runs; answers 1 (worker returned true), 2 (it returned
    /// false, or its thread did not start), 65538 (cancelled) or -1 (no window possible).
    int DoModal(void* userParam, int rangeMax) override;
    int DoModal() { return DoModal(userParam_, rangeMax_); }
    /// Returns once the worker thread has ended; a worker blocked on a report to the window is
    /// let through meanwhile. Then clears the flags and drops the window.
    void Cleanup() override;

    /// Replaces the worker (tests); the batch run's is the default.
    void SetWorker(batch::ProgressWorker worker) { worker_ = worker; }
    /// When false, the window starts with Cancel and the close button disabled.
    void SetAllowCancel(bool allow) { allowCancel_ = allow; }
    /// The length of each of the stop procedure's two waits (500 ms; tests shorten it).
    void SetStopWait(std::chrono::milliseconds wait) { stopWait_ = wait; }

    /// The window while it exists (between DoModal and Cleanup), for checks.
    QDialog* Window() const;
    /// Every text the status line has shown in this showing, in order, for checks.
    const QStringList& StatusHistory() const { return statusHistory_; }

private:
    friend class ProgressWindow;

    void SetStatus(const QString& text);
    void DisableCancel();
    void EndDialog(int code);
    /// The stop procedure (Cancel, Esc, the title bar's close); runs on the window's thread and
    /// takes no input meanwhile.
    void Terminate();
    /// Waits up to `wait` for the worker thread to end.
    void WaitWhileBusy(std::chrono::milliseconds wait);
    void ThreadMain();

    QWidget* parent_;
    bool allowCancel_ = true;
    std::string caption_;
    batch::ProgressWorker worker_;
    void* userParam_;
    int rangeMax_;
    std::chrono::milliseconds stopWait_ { 500 };

    batch::ProgressThreadData threadData_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable threadEnded_;
    bool threadDone_ = false; // guarded by mutex_

    std::unique_ptr<ProgressWindow> window_;
    bool ended_ = false; // the window's end code is set; later ends are dropped
    QStringList statusHistory_;
};

} // namespace batch_ui
