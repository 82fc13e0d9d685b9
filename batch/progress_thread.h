#pragma once

// The block a progress display shares with its worker thread, the worker's contract, and the end
// codes. No toolkit type: the desktop's CUPDialog and the command line's progress bar both plug
// their own display into the callbacks.

#include <atomic>
#include <functional>
#include <string>

namespace batch {

/// End codes of a progress display's modal run.
inline constexpr int kEndWorkerDone = 1; ///< the worker returned true
inline constexpr int kEndWorkerFailed = 2; ///< the worker returned false, or its thread did not start
inline constexpr int kEndCancelled = 0x10002; ///< the user cancelled (Cancel, Esc, the title bar's close)
inline constexpr int kEndNoDialog = -1; ///< the display could not be created

struct ProgressThreadData;

/// A worker: does the job in `userParam`, reporting through the block. False only when it had
/// nothing to work on.
using ProgressWorker = bool (*)(ProgressThreadData& data);

/// Shared between the display (its own thread) and the worker thread. The display sets
/// everything before it starts the thread; afterwards it writes only `terminate` and
/// `dialogAlive`, the thread routine only `busy`.
struct ProgressThreadData {
    /// The status text: the item in hand (the batch run shows the full source path). Called on the
    /// worker thread; the display must apply it synchronously (the worker waits for it).
    std::function<void(const std::string& text)> setText;
    /// The progress position, 0 to rangeMax: the count of finished items. Same threading as setText.
    std::function<void(int position)> setPosition;
    /// The job the worker works on (the batch run's BatchJob).
    void* userParam = nullptr;
    /// True while the display can take setText/setPosition (its window exists).
    std::atomic<bool> dialogAlive { false };
    /// True while the thread routine runs.
    std::atomic<bool> busy { false };
    /// A stop has been requested: the worker starts no new item and sends nothing more.
    std::atomic<bool> terminate { false };
    ProgressWorker worker = nullptr;
    /// Upper end of the progress range (the lower end is 0); the batch run passes its file count.
    int rangeMax = 0;

    /// What a worker checks before each call to setText/setPosition.
    bool MaySend() const { return dialogAlive.load() && !terminate.load(); }
};

/// The thread routine: sets busy, calls the worker unless terminate is already set, clears busy,
/// and gives the end code the display ends with when not stopped: 1 when the worker returned
/// true, 2 otherwise (also when terminate was set before it started). The display posts this code
/// to itself only if terminate is still clear afterwards; a stopped run ends with kEndCancelled.
int RunProgressThread(ProgressThreadData& data);

/// A modal progress display with a worker thread: the desktop's CUPDialog, the command line's bar,
/// a test double.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    /// Shows the display while the worker runs on its own thread through RunProgressThread with a
    /// block that carries `userParam` and `rangeMax`; returns one of the end codes. A cancelled
    /// display may return while the worker is still inside an item.
    virtual int DoModal(void* userParam, int rangeMax) = 0;
    /// The clean-up: returns only once the worker thread has ended (a stopped worker finishes the
    /// item in hand, removes its output and records nothing for it), so the caller may release the
    /// job afterwards. Calling it again does nothing.
    virtual void Cleanup() = 0;
};

} // namespace batch
