#include "batch/batch_convert.h"

#include "codec/ximage.h"
#include "core/paths.h"
#include "crypt/cipher_session.h"
#include "crypt/secret_string.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace batch {

namespace {

/// Truncates toward zero; anything that is not a finite 32-bit size (a zero side, a NaN) gives 0,
/// which the resample then refuses.
std::uint32_t TruncatedSize(double value)
{
    if (!(value >= 0.0 && value < 4294967296.0))
        return 0;
    return static_cast<std::uint32_t>(value);
}

constexpr std::uint32_t kIconSide = 255;

bool StopRequested(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

void RemoveFile(const std::string& path)
{
    std::remove(path.c_str());
}

} // namespace

PixelSize FitLongerSide(std::uint32_t width, std::uint32_t height, std::uint32_t side)
{
    const double w = width, h = height, s = side;
    if (width > height)
        return { side, TruncatedSize(h / (w / s)) };
    return { TruncatedSize(w / (h / s)), side };
}

FileOutcome ConvertBatchFile(
    const BatchJob& job, const std::string& source, const std::string& output, const std::atomic<bool>* stop)
{
    FileOutcome outcome;
    outcome.output = output;

    // At most two decoded images at a time: the loaded one is moved, not copied, into the one
    // worked on, so the resample's new buffer is the second.
    codec::CxImage work;
    std::string loadError;
    // The size the resize rule asks for, from the picture's full size. A shrinking run lets the
    // JPEG reader decode at 1/2, 1/4 or 1/8 of it, never below that size; the resample below
    // then makes exactly that size, so outputs are the same size with or without the shortcut.
    std::optional<PixelSize> target;
    codec::LoadHints hints;
    if (job.resizeEnabled) {
        hints.minimumSize = [&](std::uint32_t width, std::uint32_t height) {
            const PixelSize size = FitLongerSide(width, height, job.maxSide);
            target = size;
            // A size the resample refuses (a zero side) or that does not shrink: full decode.
            if (size.width == 0 || size.height == 0 || size.width >= width || size.height >= height)
                return codec::LoadHints::Size {};
            return codec::LoadHints::Size { size.width, size.height };
        };
    }
    {
        const std::uint32_t type = core::ImageTypeFromExtension(core::PathFileName(source));
        codec::CxImage loaded(type);
        loaded.Load(source, type, hints);
        if (loaded.GetType() != codec::kTypeJpg)
            target.reset(); // the JPEG reader saw a header but another reader made the picture
        if (!loaded.IsValid())
            loadError = loaded.GetLastError();
        outcome.warnings = loaded.GetWarnings();
        work = std::move(loaded);
    }

    // An empty image (the load failed) goes through untouched; the save then refuses it.
    if (work.IsValid()) {
        if (job.resizeEnabled) {
            const PixelSize size = target ? *target : FitLongerSide(work.GetWidth(), work.GetHeight(), job.maxSide);
            work.Resample2(
                size.width, size.height, codec::kInterpolationNearest, codec::kOverflowBackground, nullptr, false);
        }
        if (job.depthEnabled) {
            if (work.GetBpp() > job.targetBpp)
                work.DecreaseBpp(job.targetBpp, true, nullptr, 0);
            else if (work.GetBpp() < job.targetBpp)
                work.IncreaseBpp(job.targetBpp);
        }
        if ((job.imageType == codec::kTypeIco || job.imageType == codec::kTypeWbmp)
            && (work.GetHeight() > kIconSide || work.GetWidth() > kIconSide)) {
            const PixelSize size = FitLongerSide(work.GetWidth(), work.GetHeight(), kIconSide);
            work.Resample2(
                size.width, size.height, codec::kInterpolationNearest, codec::kOverflowBackground, nullptr, false);
        }
        if (job.imageType == codec::kTypeWbmp)
            work.DecreaseBpp(1, true, nullptr, 0);
        if (job.imageType == codec::kTypePgx)
            work.GrayScale();
        if (job.stripMetadata)
            work.Metadata().Clear();
    }

    // A stop that came while the file was in hand: nothing is written, nothing recorded.
    if (StopRequested(stop)) {
        outcome.stopped = true;
        return outcome;
    }
    // The save goes through a temporary file, so a failure leaves nothing at the output path (and
    // nothing of another program's that may have appeared there is deleted).
    if (!work.Save(output, job.imageType)) {
        outcome.error = loadError.empty() ? work.GetLastError() : loadError;
        return outcome;
    }
    work.Destroy();

    if (job.encrypt) {
        std::string path = output;
        cipher::PasswordCopy password(job.password);
        if (!job.encryptFile || job.encryptFile(path.data(), password.data()) == 0) {
            RemoveFile(output);
            outcome.error = "encryption failed";
            return outcome;
        }
    }
    if (StopRequested(stop)) {
        RemoveFile(output);
        outcome.stopped = true;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

bool BatchConvertWorker(ProgressThreadData& data)
{
    auto* job = static_cast<BatchJob*>(data.userParam);
    if (!job)
        return false;

    // One key derivation for the whole run when the results are encrypted.
    std::optional<cipher::CipherSession> session;
    if (job->encrypt)
        session.emplace();
    OutputNamer namer;
    const std::string ext = OutputExtension(job->imageType);
    for (std::size_t i = 0; i < job->files.size() && !data.terminate; ++i) {
        const std::string& source = job->files[i];
        if (data.MaySend() && data.setText)
            data.setText(source);
        const std::string& folder = i < job->outputFolders.size() ? job->outputFolders[i] : job->destination;
        // Checked now, just before this file; a name handed out earlier in the run counts as taken
        // even when that file's save failed and left nothing on disk.
        const std::string output = namer.Assign(OutputBase(folder, source, job->suffix), ext);
        const FileOutcome outcome = ConvertBatchFile(*job, source, output, &data.terminate);
        if (!outcome.stopped)
            job->results[output] = outcome.ok;
        if (data.MaySend() && data.setPosition)
            data.setPosition(static_cast<int>(i + 1));
    }

    // The full bar stays visible for a moment; a stop cuts the pause short.
    const auto until = std::chrono::steady_clock::now() + job->finishPause;
    while (!data.terminate && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}

int RunBatchConversion(BatchJob& job, core::Ui& ui, ProgressDisplay& display)
{
    const int count = static_cast<int>(job.files.size());
    ui.SetStatusText(core::Format(kStartingStatus, count));
    const int code = display.DoModal(&job, count);
    // The worker has left the job before anything reads its results.
    display.Cleanup();

    if (code == kEndWorkerDone) {
        if (ui.AskYesNo(kCompletedQuestion, kCompletedCaption, core::MessageIcon::None, core::Owner::MainWindow))
            ui.ShowConversionReport(job.results);
        ui.SetStatusText(core::Format(kFinishedStatus, count));
        return 1;
    }
    if (code == kEndWorkerFailed) {
        const std::string text = core::Format(kFailedText, count);
        ui.MessageBox(text, kFailedCaption, core::MessageIcon::Warning, core::Owner::MainWindow);
        ui.SetStatusText(text);
    }
    // A cancel (or a display that could not be shown) says nothing: the starting text stays.
    return 0;
}

std::vector<FileOutcome> RunBatchFiles(BatchJob& job,
    const std::vector<PlannedFile>& plan,
    unsigned jobs,
    const BatchRunCallbacks& callbacks,
    const std::atomic<bool>& stop,
    bool exactNames)
{
    std::optional<cipher::CipherSession> session;
    if (job.encrypt)
        session.emplace();
    OutputNamer namer;
    {
        std::vector<std::string> planned;
        planned.reserve(plan.size());
        for (const PlannedFile& f : plan)
            planned.push_back(f.output);
        namer.Reserve(planned);
    }

    std::vector<FileOutcome> outcomes(plan.size());
    std::atomic<std::size_t> next { 0 };
    std::mutex mutex; // one callback at a time; guards job.results and the count
    std::size_t finishedCount = 0;

    auto convertSome = [&] {
        while (!stop) {
            const std::size_t i = next++;
            if (i >= plan.size())
                return;
            const PlannedFile& f = plan[i];
            const std::string output = exactNames ? f.output : namer.Confirm(f.output, f.base, f.ext);
            if (callbacks.started) {
                std::lock_guard lock(mutex);
                callbacks.started(i, f.source);
            }
            FileOutcome outcome = ConvertBatchFile(job, f.source, output, &stop);
            std::lock_guard lock(mutex);
            if (!outcome.stopped) {
                job.results[output] = outcome.ok;
                ++finishedCount;
            }
            if (callbacks.finished)
                callbacks.finished(i, outcome, finishedCount);
            outcomes[i] = std::move(outcome);
        }
    };

    const unsigned threads = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(plan.size())));
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(convertSome);
    convertSome();
    for (std::thread& t : helpers)
        t.join();
    return outcomes;
}

} // namespace batch
