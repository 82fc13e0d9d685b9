// pelmora-cli batch: the batch conversion run with the desktop program's rules, several files at
// a time.

#include "batch/batch_convert.h"
#include "batch/batch_plan.h"
#include "batch/shard_report.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "cli/password.h"
#include "codec/fileio.h"
#include "core/registry.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBatchHelp = R"(Usage: pelmora-cli batch --to FORMAT --out DIR [OPTIONS] FILES_OR_DIRS...

Converts many images into one format, as the desktop program's "Batch convert..."
does. Each output is DIR/NAME[SUFFIX].EXT with the format's extension (tiff for
TIFF, PNM for PNM); a name that is taken, on disk or by an earlier file of the
run, becomes NAME[SUFFIX](0).EXT, then (1), (2), ...

A directory adds its image files (by extension), sorted by name.

Options:
  --to FORMAT          target format: bmp gif jpg png ico tif tga pcx wbmp jp2 jpc
                       pgx pnm ras webp avif jxl (also jpeg tiff ppm pgm; any case)
  --out DIR            destination folder (made when missing)
  --suffix S           text added to every output name, before the counter
  --max-side N         the longer side becomes exactly N pixels (larger or smaller)
  --bpp N              change the depth to 1, 8, 16, 24 or 32 bits per pixel
  --encrypt            encrypt each result with a password: --password-file F (its
                       first line), else $PELMORA_PASSWORD, else asked on the terminal
  --jobs N             convert N files at a time (default: the number of cores);
                       the names are the same as one at a time
  -r, --recursive      descend into directories; the outputs mirror the folders
                       below each directory inside DIR
  --report FILE        write the report to FILE instead of stdout
  --json               one JSON object per report entry
  --strip-metadata     leave out EXIF, XMP and ICC profile (kept by default where
                       both formats hold them)
  --dry-run            print the planned "SRC -> OUT" pairs and write nothing; with
                       --json one object per file with its settings: the plan
  -q, --quiet          no progress or status lines on stderr
  --save-preset NAME   keep --to, --max-side, --bpp, --suffix, --jobs, -r and
                       --encrypt (never a password) under NAME in the settings
                       file; without input files only that
  --preset NAME        take those options from NAME; options after it override
  --list-presets       print the saved presets

Over many machines, a plan executed in shards:
  --plan FILE          execute a plan that --dry-run --json wrote. It holds the
                       files, their output names and the settings, so --to, --out,
                       --suffix, --max-side, --bpp, --encrypt, -r and the files are
                       not given again (the password is). Each output is written
                       under exactly its planned name, replacing what is there: a
                       shard run again gives the same files, never NAME(0).EXT.
  --shard K/N          execute only the plan's entries K, K+N, K+2N, ... (K counts
                       from 0: 0 <= K < N). The report starts with a line naming
                       the shard; 'pelmora-cli report merge' joins the reports.
  --shard auto         K and N from a Slurm job array (SLURM_ARRAY_TASK_ID minus
                       SLURM_ARRAY_TASK_MIN, SLURM_ARRAY_TASK_COUNT) or from a
                       Kubernetes Indexed Job (JOB_COMPLETION_INDEX, with
                       PELMORA_SHARD_COUNT set to the job's completions)

ICO and WBMP outputs are fitted into 255 x 255; WBMP is always 1 bit per pixel;
PGX is always gray.

The report (one line per output, in path order) goes to stdout:
  Successfully converted file PATH  /  # Error while converting file PATH
Exit status: 0 all converted; 1 at least one file failed; 2 bad arguments
(nothing written); 130 interrupted (Ctrl+C: no new file starts, the files in hand
are removed, the report lists what finished).
)";

struct BatchArgs {
    std::uint32_t type = 0;
    std::string out;
    std::string suffix;
    std::optional<std::uint32_t> maxSide, bpp;
    bool encrypt = false;
    std::optional<std::string> passwordFile;
    unsigned jobs = 0;
    std::optional<std::string> report;
    bool json = false;
    bool recursive = false;
    bool dryRun = false;
    bool stripMetadata = false;
    bool quiet = false;
    std::vector<std::string> inputs;
    std::optional<std::string> plan;
    std::optional<std::string> shard;
    /// The options a plan already holds, as given; refused with --plan.
    std::vector<std::string> settingOptions;
};

std::atomic<bool> g_interrupted { false };

extern "C" void OnInterrupt(int)
{
    g_interrupted = true;
}

std::optional<int> Parse(Args& args, BatchArgs& b)
{
    while (!args.Done()) {
        const std::string a = args.Next();
        bool missing = false;
        if (a == "--help" || a == "-h") {
            std::fputs(kBatchHelp, stdout);
            return kExitOk;
        }
        if (a.rfind("--to", 0) == 0 || a.rfind("--out", 0) == 0 || a.rfind("--suffix", 0) == 0
            || a.rfind("--max-side", 0) == 0 || a.rfind("--bpp", 0) == 0 || a == "--encrypt" || a == "-r"
            || a == "--recursive" || a == "--strip-metadata")
            b.settingOptions.push_back(a.substr(0, a.find('=')));
        if (auto v = args.Value(a, "--to", missing)) {
            b.type = missing ? 0 : ParseFormat(*v);
            if (b.type == 0)
                return UsageError("batch: unknown format '" + *v + "'");
            // The batch dialog's list offers every format but the metafile.
            if (b.type == core::ImageType { 10 })
                return UsageError("batch: WMF is not a batch conversion target");
        } else if (auto o = args.Value(a, "--out", missing)) {
            b.out = *o;
        } else if (auto s = args.Value(a, "--suffix", missing)) {
            if (missing)
                return UsageError("batch: --suffix needs a text");
            b.suffix = *s;
        } else if (auto m = args.Value(a, "--max-side", missing)) {
            b.maxSide = ParseUnsigned(*m);
            if (!b.maxSide)
                return UsageError("Please enter an integer.");
        } else if (auto d = args.Value(a, "--bpp", missing)) {
            const auto choices = core::BppChoices();
            if (std::find(choices.begin(), choices.end(), *d) == choices.end())
                return UsageError("batch: --bpp must be one of 1, 8, 16, 24, 32");
            b.bpp = ParseUnsigned(*d);
        } else if (a == "--encrypt") {
            b.encrypt = true;
        } else if (auto p = args.Value(a, "--password-file", missing)) {
            if (missing)
                return UsageError("batch: --password-file needs a file");
            b.passwordFile = *p;
        } else if (auto j = args.Value(a, "--jobs", missing)) {
            const auto n = ParseUnsigned(*j);
            if (!n || *n == 0)
                return UsageError("Please enter a positive integer.");
            b.jobs = *n;
        } else if (auto r = args.Value(a, "--report", missing)) {
            if (missing)
                return UsageError("batch: --report needs a file");
            b.report = *r;
        } else if (a == "--json") {
            b.json = true;
        } else if (a == "-r" || a == "--recursive") {
            b.recursive = true;
        } else if (auto p = args.Value(a, "--plan", missing)) {
            if (missing)
                return UsageError("batch: --plan needs a file");
            b.plan = *p;
        } else if (auto k = args.Value(a, "--shard", missing)) {
            if (missing)
                return UsageError("batch: --shard needs K/N or auto");
            b.shard = *k;
        } else if (a == "--dry-run") {
            b.dryRun = true;
        } else if (a == "--strip-metadata") {
            b.stripMetadata = true;
        } else if (a == "-q" || a == "--quiet") {
            b.quiet = true;
        } else if (a == "--") {
            while (!args.Done())
                b.inputs.push_back(args.Next());
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("batch: unknown option " + a);
        } else {
            b.inputs.push_back(a);
        }
    }
    if (b.jobs == 0)
        b.jobs = std::max(1u, std::thread::hardware_concurrency());
    if (b.shard && !b.plan)
        return UsageError("batch: --shard needs --plan FILE (a plan written by batch --dry-run --json)");
    if (b.plan) {
        if (!b.settingOptions.empty())
            return UsageError("batch: the plan holds the files and settings; " + b.settingOptions.front()
                + " cannot be given with --plan");
        if (!b.inputs.empty())
            return UsageError("batch: the plan holds the files; " + b.inputs.front() + " cannot be given with --plan");
        return std::nullopt;
    }
    // The batch dialog's checks on OK, in its order and with its texts.
    if (b.inputs.empty())
        return UsageError("Please select files to convert.");
    if (b.type == 0)
        return UsageError("Please select a format for the conversion from the dropdown- field.");
    if (b.out.empty())
        return UsageError("Please select a destination path for the conversion.");
    return std::nullopt;
}

/// A full path without "." pieces and without a trailing separator (the root keeps its own).
std::string FullPath(const std::string& path)
{
    std::error_code ec;
    std::string full = fs::absolute(fs::path(path), ec).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/')
        full.pop_back();
    return full;
}

/// Sources and their output folders, in order. A directory adds its image files sorted by name;
/// with `recursive` also those below it, each going to the mirrored folder inside `out`.
std::optional<int> CollectFiles(const BatchArgs& b, const std::string& out, batch::BatchJob& job)
{
    for (const std::string& input : b.inputs) {
        const std::string full = FullPath(input);
        std::error_code ec;
        if (!fs::is_directory(full, ec)) {
            // A file that does not exist or does not load becomes a false entry, as on the desktop.
            job.files.push_back(full);
            job.outputFolders.push_back(out);
            continue;
        }
        std::vector<fs::path> found;
        auto consider = [&](const fs::directory_entry& entry) {
            std::error_code e;
            if (entry.is_regular_file(e) && core::ImageTypeFromExtension(entry.path().filename().string()) != 0)
                found.push_back(entry.path().lexically_relative(full));
        };
        if (b.recursive) {
            for (fs::recursive_directory_iterator it(full, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end;
                 it.increment(ec))
                consider(*it);
        } else {
            for (fs::directory_iterator it(full, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end;
                 it.increment(ec))
                consider(*it);
        }
        if (ec)
            return UsageError("batch: cannot read folder " + full + ": " + ec.message());
        std::sort(
            found.begin(), found.end(), [](const fs::path& x, const fs::path& y) { return x.string() < y.string(); });
        for (const fs::path& rel : found) {
            job.files.push_back(full + "/" + rel.string());
            const std::string sub = rel.parent_path().string();
            job.outputFolders.push_back(sub.empty() ? out : out + "/" + sub);
        }
    }
    if (job.files.empty())
        return UsageError("Please select files to convert.");
    return std::nullopt;
}

/// The password: --password-file's first line, else $PELMORA_PASSWORD, else asked on a terminal.
std::optional<int> ReadBatchPassword(const BatchArgs& b, std::string& password)
{
    if (std::optional<std::string> why = ReadPassword(b.passwordFile, false, password))
        return UsageError("batch: " + *why);
    if (password.empty())
        return UsageError("Please specify a password or deactivate the encryption.");
    return std::nullopt;
}

/// Progress on stderr: a bar with the current file on a terminal, plain lines otherwise.
class ProgressOutput {
public:
    ProgressOutput(bool quiet, std::size_t total)
        : quiet_(quiet)
        , bar_(isatty(STDERR_FILENO) != 0)
        , total_(total)
    {
    }
    void Started(const std::string& source)
    {
        current_ = source;
        if (!quiet_ && bar_)
            DrawBar();
    }
    void Finished(const batch::FileOutcome& outcome, const std::string& source, std::size_t done)
    {
        done_ = done;
        if (outcome.stopped)
            return;
        // The picture used was damaged: said even when quiet.
        if (!outcome.warnings.empty()) {
            if (bar_)
                std::fputs("\r\033[K", stderr);
            PrintWarnings(source, outcome.warnings);
        }
        if (quiet_)
            return;
        if (bar_) {
            if (!outcome.ok)
                Line(source + ": error: " + outcome.error);
            DrawBar();
        } else if (outcome.ok) {
            std::fprintf(stderr, "[%zu/%zu] %s -> %s\n", done, total_, source.c_str(), outcome.output.c_str());
        } else {
            std::fprintf(stderr,
                "[%zu/%zu] %s -> %s: error: %s\n",
                done,
                total_,
                source.c_str(),
                outcome.output.c_str(),
                outcome.error.c_str());
        }
    }
    void End()
    {
        if (!quiet_ && bar_)
            std::fputs("\r\033[K", stderr);
    }

private:
    void Line(const std::string& text) { std::fprintf(stderr, "\r\033[K%s\n", text.c_str()); }
    void DrawBar()
    {
        winsize ws {};
        const std::size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20 ? ws.ws_col : 80;
        constexpr std::size_t kWidth = 24;
        const std::size_t filled = total_ ? done_ * kWidth / total_ : kWidth;
        std::string text = "[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] "
            + std::to_string(done_) + "/" + std::to_string(total_) + " ";
        std::string name = current_;
        if (text.size() + name.size() >= columns)
            name = "..." + name.substr(name.size() - std::min(name.size(), columns - text.size() - 4));
        std::fprintf(stderr, "\r\033[K%s%s", text.c_str(), name.c_str());
        std::fflush(stderr);
    }

    bool quiet_;
    bool bar_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::string current_;
};

/// The report: the desktop's lines, or one JSON object per entry; to stdout or to --report FILE.
/// A shard's report starts with a line naming the shard.
int WriteReport(const BatchArgs& b,
    const batch::ConversionResults& results,
    const std::vector<batch::FileOutcome>& outcomes,
    const std::optional<batch::ShardHeader>& shard)
{
    std::string text;
    if (shard)
        text = batch::ShardHeaderLine(*shard, b.json ? batch::ReportFormat::Json : batch::ReportFormat::Text) + "\n";
    if (b.json) {
        std::map<std::string, const batch::FileOutcome*> byOutput;
        for (const batch::FileOutcome& o : outcomes)
            if (!o.stopped && !o.output.empty())
                byOutput[o.output] = &o;
        for (const auto& [path, ok] : results) {
            const batch::FileOutcome* o = byOutput.count(path) ? byOutput[path] : nullptr;
            text += "{\"path\": " + JsonString(path) + ", \"ok\": " + (ok ? "true" : "false");
            if (!ok)
                text += ", \"error\": " + JsonString(o ? o->error : std::string());
            text += ", \"warnings\": " + JsonStringArray(o ? o->warnings : std::vector<std::string>());
            text += "}\n";
        }
    } else {
        for (const std::string& line : batch::ReportLines(results))
            text += line + "\n";
    }
    if (!b.report) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    const codec::Result written = codec::WriteFileAtomic(
        *b.report, codec::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!written) {
        std::fprintf(
            stderr, "pelmora-cli: cannot write the report %s: %s\n", b.report->c_str(), written.message.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

/// One entry of a plan: the dry run's JSON line, which --plan reads back.
std::string PlanLine(const batch::PlannedFile& f, const batch::PlanSettings& settings)
{
    auto number = [](const std::optional<std::uint32_t>& n) { return n ? std::to_string(*n) : std::string("null"); };
    return "{\"source\": " + JsonString(f.source) + ", \"output\": " + JsonString(f.output) + ", \"to\": "
        + JsonString(batch::PlanFormatName(settings.type)) + ", \"max_side\": " + number(settings.maxSide)
        + ", \"bpp\": " + number(settings.bpp) + ", \"encrypt\": " + (settings.encrypt ? "true" : "false")
        + (settings.stripMetadata ? ", \"strip_metadata\": true" : "") + "}";
}

/// Reads --plan and keeps the entries of --shard (all of them without it).
std::optional<int> LoadPlan(const BatchArgs& b,
    batch::PlanSettings& settings,
    std::vector<batch::PlannedFile>& files,
    std::optional<batch::ShardHeader>& shard)
{
    std::vector<std::uint8_t> bytes;
    if (const codec::Result read = codec::ReadWholeFile(*b.plan, bytes); !read)
        return UsageError("batch: cannot read the plan " + *b.plan + ": " + read.message);
    std::string error;
    std::optional<batch::Plan> plan
        = batch::ParsePlan(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
    if (!plan)
        return UsageError("batch: the plan " + *b.plan + " cannot be used: " + error);
    settings = plan->settings;
    files = std::move(plan->files);
    if (!b.shard)
        return std::nullopt;
    std::optional<batch::ShardSlice> slice;
    if (*b.shard == "auto") {
        slice = batch::ShardFromEnvironment([](const char* name) { return std::getenv(name); }, error);
        if (!slice)
            return UsageError("batch: " + error);
    } else {
        slice = batch::ParseShardSlice(*b.shard);
        if (!slice)
            return UsageError(
                "batch: --shard '" + *b.shard + "' is not K/N with K counting from 0 (0 <= K < N), nor auto");
    }
    files = batch::ShardEntries(files, *slice);
    shard = batch::ShardHeader { *slice, plan->digest, files.size() };
    return std::nullopt;
}

} // namespace

int RunBatch(Args& args)
{
    BatchArgs b;
    if (std::optional<int> stop = Parse(args, b))
        return *stop;

    batch::BatchJob job;
    batch::PlanSettings settings { b.type, b.maxSide, b.bpp, b.encrypt, b.stripMetadata };
    std::vector<batch::PlannedFile> plan;
    std::optional<batch::ShardHeader> shard;
    if (b.plan) {
        if (std::optional<int> stop = LoadPlan(b, settings, plan, shard))
            return *stop;
    } else {
        job.imageType = b.type;
        job.destination = FullPath(b.out);
        job.suffix = b.suffix;
        if (std::optional<int> stop = CollectFiles(b, job.destination, job))
            return *stop;
        plan = batch::PlanOutputs(job);
    }
    job.imageType = settings.type;
    job.resizeEnabled = settings.maxSide.has_value();
    job.maxSide = settings.maxSide.value_or(255);
    job.depthEnabled = settings.bpp.has_value();
    job.targetBpp = settings.bpp.value_or(0);
    job.finishPause = std::chrono::milliseconds(0);
    job.stripMetadata = settings.stripMetadata;
    if (b.plan) {
        for (const batch::PlannedFile& f : plan)
            job.files.push_back(f.source);
    }

    if (b.dryRun) {
        for (const batch::PlannedFile& f : plan) {
            if (b.json)
                std::printf("%s\n", PlanLine(f, settings).c_str());
            else
                std::printf("%s -> %s\n", f.source.c_str(), f.output.c_str());
        }
        return kExitOk;
    }

    if (settings.encrypt) {
        job.encrypt = true;
        if (std::optional<int> stop = ReadBatchPassword(b, job.password))
            return *stop;
    }

    // Output folders are made before the first file; a folder that cannot be made makes its
    // files fail, as a missing destination does on the desktop.
    {
        std::vector<std::string> folders;
        for (const batch::PlannedFile& f : plan)
            folders.push_back(fs::path(f.output).parent_path().string());
        std::sort(folders.begin(), folders.end());
        folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
        for (const std::string& folder : folders) {
            std::error_code ec;
            fs::create_directories(folder, ec);
        }
    }

    struct sigaction action { };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous { };
    sigaction(SIGINT, &action, &previous);

    CliUi ui(b.quiet);
    const int count = static_cast<int>(job.files.size());
    ui.SetStatusText(core::Format(batch::kStartingStatus, count));
    ProgressOutput progress(b.quiet, job.files.size());
    batch::BatchRunCallbacks callbacks;
    callbacks.started = [&](std::size_t, const std::string& source) { progress.Started(source); };
    callbacks.finished = [&](std::size_t index, const batch::FileOutcome& outcome, std::size_t done) {
        progress.Finished(outcome, plan[index].source, done);
    };
    // A plan's names were fixed when it was written: what is there now is an earlier attempt's.
    const std::vector<batch::FileOutcome> outcomes
        = batch::RunBatchFiles(job, plan, b.jobs, callbacks, g_interrupted, b.plan.has_value());
    progress.End();
    sigaction(SIGINT, &previous, nullptr);

    const bool interrupted = g_interrupted.load();
    if (interrupted)
        std::fprintf(stderr, "pelmora-cli: interrupted after %zu of %d files\n", job.results.size(), count);
    else
        ui.SetStatusText(core::Format(batch::kFinishedStatus, count));

    const int reportStatus = WriteReport(b, job.results, outcomes, shard);
    if (interrupted)
        return kExitInterrupted;
    if (reportStatus != kExitOk)
        return reportStatus;
    for (const auto& [path, ok] : job.results)
        if (!ok)
            return kExitFailed;
    return kExitOk;
}

} // namespace cli
