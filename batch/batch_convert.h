#pragma once

// The batch conversion run: the per-file work, the worker that the progress display runs, the
// run's driver with its closing question and texts, and the command line's run of several files
// at a time.

#include "batch/batch_job.h"
#include "batch/progress_thread.h"
#include "core/ui.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace batch {

/// The run's texts.
inline constexpr const char* kProgressCaption = "Converting files, please wait...";
inline constexpr const char* kStartingStatus = "Starting the batch conversion of %d files";
inline constexpr const char* kFinishedStatus = "Finished the conversion of %d files";
inline constexpr const char* kCompletedQuestion
    = "Completed the batch conversion. Click yes to show the status messages.";
inline constexpr const char* kCompletedCaption = "Batch conversion completed";
inline constexpr const char* kFailedText = "Error while converting %d files! Please try it again!";
inline constexpr const char* kFailedCaption = "Error while converting files";

/// Width and height in pixels.
struct PixelSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

/// The longer side becomes exactly `side`, the other keeps the proportion: W > H gives
/// side x H / (W / side), otherwise W / (H / side) x side, in double precision truncated toward
/// zero (300x299 at 200 -> 200x199). Used for the max side and for the ICO/WBMP 255 fit.
PixelSize FitLongerSide(std::uint32_t width, std::uint32_t height, std::uint32_t side);

/// What became of one file.
struct FileOutcome {
    std::string output; ///< the output path it was given
    bool ok = false; ///< saved, and encrypted when asked
    bool stopped = false; ///< a stop came while it was in hand: its output is removed, nothing recorded
    std::string error; ///< why it failed (the codec's last error, or the cipher's failure)
    std::vector<std::string> warnings; ///< the decoder's warnings on a file that still loaded
};

/// Converts one file with the job's settings into `output`: load with the type from the source's
/// extension, a full copy, the resize, the depth change, the ICO/WBMP fit, WBMP 1 bit, PGX gray,
/// save, and encryption through job.encryptFile. A failed save leaves nothing new at `output`;
/// a failed encryption removes the saved file. When `stop` is set by the time the file is done,
/// its output is removed and the outcome says stopped. Does not touch job.results.
FileOutcome ConvertBatchFile(
    const BatchJob& job, const std::string& source, const std::string& output, const std::atomic<bool>* stop = nullptr);

/// The worker the progress display runs: `data.userParam` is a BatchJob. For each file while
/// terminate is clear: setText with the source path, name it (OutputNamer: names handed out
/// earlier in the run count as taken), convert it, record results[output], setPosition with the
/// count done. A file in hand when terminate is set has its output removed and no entry. Pauses
/// job.finishPause after the loop (cut short by terminate). False only when userParam is empty.
bool BatchConvertWorker(ProgressThreadData& data);

/// Stages 3 and 4: sets "Starting the batch conversion of %d files", runs the display, then by end
/// code: 1 asks the closing question (Yes shows ui.ShowConversionReport(job.results)) and sets
/// "Finished the conversion of %d files", result 1; 2 shows and sets "Error while converting %d
/// files! Please try it again!" (caption "Error while converting files", warning icon), result 0;
/// a cancel (65538) or -1 shows nothing and leaves the status text, result 0. Calls
/// display.Cleanup() before it returns.
int RunBatchConversion(BatchJob& job, core::Ui& ui, ProgressDisplay& display);

/// Callbacks of a run of several files at a time; called from the converting threads, one call
/// at a time.
struct BatchRunCallbacks {
    std::function<void(std::size_t index, const std::string& source)> started;
    std::function<void(std::size_t index, const FileOutcome& outcome, std::size_t finishedCount)> finished;
};

/// The command line's run: converts the planned files `jobs` at a time (at most two decoded
/// images per file in flight). Each file's planned name is confirmed just before it starts (a
/// name taken meanwhile by another program moves on to the next free one, never to a name planned
/// for another file). No file starts once `stop` is set; a file in hand then is removed and not
/// recorded. Fills job.results and returns the outcome of each file, in plan order (files never
/// started have an empty output). With `exactNames` (a plan written earlier and executed now,
/// perhaps again after a killed attempt) every file is written under its planned name, replacing
/// whatever is there.
std::vector<FileOutcome> RunBatchFiles(BatchJob& job,
    const std::vector<PlannedFile>& plan,
    unsigned jobs,
    const BatchRunCallbacks& callbacks,
    const std::atomic<bool>& stop,
    bool exactNames = false);

} // namespace batch
