// Every file of the hostile corpus (tests/support/hostile_corpus.h) through every layer that reads
// pictures: the codec, the document, the batch run, the GIF frame decoder and extractor, and the
// file cipher's decryption. Each layer runs in a child process held to a watchdog per file and a
// ceiling on any single allocation; each file must give a false result with a clear text, or a
// picture within the limits, never a crash, a hang or a huge allocation.

#include "batch/batch_convert.h"
#include "core/document.h"
#include "crypt/cipher_session.h"
#include "crypt/file_cipher.h"
#include "gif/gif_extract.h"
#include "gif/gif_stream.h"
#include "support/hostile_corpus.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using hostile::HostileFile;
using testing_support::TempDir;

namespace {

/// Seconds one file may take in one layer; a file in the corpus takes milliseconds.
constexpr unsigned kCaseSeconds = 60;
/// The most pixels a successful decode of a corpus file may have.
constexpr std::uint64_t kMaxDecodedPixels = 1u << 24;
constexpr const char* kPassword = "hostile-password";

/// What a layer made of one file.
struct Outcome {
    bool ok = false;
    std::uint64_t width = 0, height = 0;
    std::string text; ///< the error text of a failure
    std::string fault; ///< set when the result contradicts itself (success without a picture, ...)
};

// ---- the child's side ----

int g_report = -1;

void Send(const std::string& line)
{
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(g_report, line.data() + done, line.size() - done);
        if (n <= 0)
            _exit(98);
        done += static_cast<std::size_t>(n);
    }
}

void NoFreeHook(const volatile void*) { }

void AllocationHook(const volatile void*, std::size_t size)
{
    if (size <= hostile::kMaxAllocationBytes)
        return;
    char line[96];
    const int n = std::snprintf(line, sizeof line, "ALLOC %zu\n", size);
    if (n > 0 && ::write(g_report, line, static_cast<std::size_t>(n)) < 0)
        _exit(97);
    if (__sanitizer_print_stack_trace)
        __sanitizer_print_stack_trace();
    _exit(97);
}

std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

/// Runs one file of one layer under the watchdog and reports it.
void Case(const std::string& file, const std::function<Outcome()>& work, unsigned seconds = kCaseSeconds)
{
    Send("BEGIN\t" + file + "\n");
    ::alarm(seconds);
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = work();
    const auto ms
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ::alarm(0);
    Send("DONE\t" + file + "\t" + (o.ok ? "1" : "0") + "\t" + std::to_string(o.width) + "\t" + std::to_string(o.height)
        + "\t" + OneLine(o.text) + "\t" + OneLine(o.fault) + "\t" + std::to_string(ms) + "\n");
}

// ---- the parent's side ----

struct Reported {
    std::string file;
    Outcome outcome;
    std::string milliseconds;
};

/// Forks a child that runs `layer` with the bounds, and collects what it reported. A child that
/// dies fails the test, naming the file it was working on.
std::vector<Reported> RunBounded(const std::function<void()>& layer)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        g_report = fds[1];
        if (hostile::Sanitized()) {
            // The runtime takes the pair or nothing.
            if (!__sanitizer_install_malloc_and_free_hooks(AllocationHook, NoFreeHook))
                _exit(96);
        } else {
            const rlimit limit { hostile::kMaxAddressSpace, hostile::kMaxAddressSpace };
            ::setrlimit(RLIMIT_AS, &limit);
        }
        // Nothing may return into the test runner from here: it would go on running tests.
        try {
            layer();
        } catch (const std::exception& e) {
            Send(std::string("EXCEPTION ") + OneLine(e.what()) + "\n");
            _exit(95);
        } catch (...) {
            _exit(95);
        }
        _exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);

    std::vector<Reported> reported;
    std::string current, allocation, exception;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::vector<std::string> fields;
        const std::string line = text.substr(start, end - start);
        for (std::size_t a = 0, b; a <= line.size(); a = b + 1) {
            b = std::min(line.find('\t', a), line.size());
            fields.push_back(line.substr(a, b - a));
        }
        if (fields[0] == "BEGIN" && fields.size() == 2) {
            current = fields[1];
        } else if (fields[0] == "DONE" && fields.size() == 8) {
            Outcome o { fields[2] == "1", std::stoull(fields[3]), std::stoull(fields[4]), fields[5], fields[6] };
            reported.push_back({ fields[1], o, fields[7] });
            current.clear();
        } else if (line.starts_with("ALLOC ")) {
            allocation = line.substr(6);
        } else if (line.starts_with("EXCEPTION ")) {
            exception = line.substr(10);
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string why = WIFSIGNALED(status)
            ? std::string(
                WTERMSIG(status) == SIGALRM ? "no result within the watchdog's time" : strsignal(WTERMSIG(status)))
            : "exit status " + std::to_string(WEXITSTATUS(status));
        if (!allocation.empty())
            why = "an allocation of " + allocation + " bytes";
        if (!exception.empty())
            why = "an exception: " + exception;
        ADD_FAILURE() << "the child died on " << (current.empty() ? std::string("(between files)") : current) << ": "
                      << why;
    }
    return reported;
}

/// The checks every layer's outcome is held to.
void ExpectBounded(const std::vector<Reported>& reported, std::size_t expected, bool failureNeedsText = true)
{
    EXPECT_EQ(reported.size(), expected);
    for (const Reported& r : reported) {
        SCOPED_TRACE(r.file);
        EXPECT_EQ(r.outcome.fault, "");
        if (r.outcome.ok) {
            EXPECT_GT(r.outcome.width, 0u);
            EXPECT_GT(r.outcome.height, 0u);
            EXPECT_LE(r.outcome.width * r.outcome.height, kMaxDecodedPixels);
            const std::string base = r.file.substr(r.file.rfind('/') + 1);
            EXPECT_FALSE(hostile::MustFail(base)) << "decoded " << r.outcome.width << "x" << r.outcome.height;
        } else if (failureNeedsText) {
            EXPECT_NE(r.outcome.text, "") << "a failure without a text";
        }
    }
    if (std::getenv("PELMORA_HOSTILE_TABLE")) // the per-file outcomes, for reading
        for (const Reported& r : reported)
            std::printf("%s\t%s ms\t%s\t%s\n",
                r.file.c_str(),
                r.milliseconds.c_str(),
                r.outcome.ok ? (std::to_string(r.outcome.width) + "x" + std::to_string(r.outcome.height)).c_str()
                             : "false",
                r.outcome.text.c_str());
}

/// The corpus written to a folder, each file also under a wrong extension.
struct CorpusOnDisk {
    TempDir dir;
    std::vector<HostileFile> files = hostile::ImageCorpus();
    std::vector<std::string> paths; ///< own extension, then wrong extension, per file

    CorpusOnDisk()
    {
        for (const HostileFile& f : files) {
            testing_support::WriteFileBytes(dir.File(f.name), f.bytes);
            testing_support::WriteFileBytes(dir.File(hostile::WrongExtensionName(f.name)), f.bytes);
            paths.push_back(dir.File(f.name));
            paths.push_back(dir.File(hostile::WrongExtensionName(f.name)));
        }
    }
};

Outcome FromImage(bool ok, const codec::CxImage& image)
{
    Outcome o;
    o.ok = ok;
    if (!ok) {
        o.text = image.GetLastError();
        if (image.IsValid())
            o.fault = "a failure left a picture";
        return o;
    }
    o.width = image.GetWidth();
    o.height = image.GetHeight();
    for (const std::string& warning : image.GetWarnings())
        o.text += (o.text.empty() ? "" : "; ") + warning;
    if (!image.IsValid() || image.Pixels().size() != image.GetRowBytes() * image.GetHeight())
        o.fault = "a success without a whole picture";
    return o;
}

} // namespace

void HugeAllocation()
{
    RunBounded([] {
        Case("a huge allocation", [] {
            // Above the ceiling; without a sanitizer, above the address-space limit.
            std::vector<std::uint8_t> pixels(
                hostile::Sanitized() ? hostile::kMaxAllocationBytes * 4 : std::size_t { 4 } << 30);
            return Outcome { true, 1, 1, {}, std::to_string(pixels.size()) };
        });
    });
}

void Hang()
{
    RunBounded([] {
        Case(
            "a hang",
            [] {
                for (;;)
                    ::pause();
                return Outcome {};
            },
            1);
    });
}

// The bounds themselves: a child that takes too much memory or time is stopped and named.
TEST(HostileFiles, BoundsStopAHugeAllocationAndAHang)
{
    EXPECT_NONFATAL_FAILURE(HugeAllocation(), "the child died on a huge allocation");
    EXPECT_NONFATAL_FAILURE(Hang(), "the child died on a hang: no result within the watchdog's time");
}

TEST(HostileFiles, CorpusIsSmallAndCoversEveryFormat)
{
    std::size_t bytes = 0;
    std::map<std::string, int> byExtension;
    for (const HostileFile& f : hostile::StoredFiles()) {
        bytes += f.bytes.size();
        byExtension[hostile::Extension(f.name)]++;
        EXPECT_LT(f.bytes.size(), 100000u) << f.name;
    }
    EXPECT_LT(bytes, 2u << 20);
    for (const char* ext : { "bmp",
             "gif",
             "jpg",
             "png",
             "ico",
             "tif",
             "tga",
             "pcx",
             "wbmp",
             "wmf",
             "jp2",
             "j2k",
             "pgx",
             "pgm",
             "ppm",
             "pbm",
             "ras",
             "plm" })
        EXPECT_GE(byExtension[ext], 1) << ext;
    // Every format the codec writes gives a seed to cut.
    EXPECT_EQ(hostile::SeedFiles().size(), 17u);
}

TEST(HostileFiles, CodecRefusesOrDecodesWithinTheLimits)
{
    CorpusOnDisk corpus;
    const auto reported = RunBounded([&] {
        for (const HostileFile& f : corpus.files) {
            const std::uint32_t type = core::ImageTypeFromExtension(f.name);
            const std::uint32_t wrong = core::ImageTypeFromExtension(hostile::WrongExtensionName(f.name));
            for (std::uint32_t asType : { type, 0u, wrong })
                Case(f.name + " as type " + std::to_string(asType), [&] {
                    codec::CxImage image;
                    const bool ok = image.Decode(f.bytes, asType);
                    return FromImage(ok, image);
                });
            Case(f.name + " loaded", [&] {
                codec::CxImage image;
                const bool ok = image.Load(corpus.dir.File(f.name), type);
                return FromImage(ok, image);
            });
        }
    });
    ExpectBounded(reported, corpus.files.size() * 4);
    // The texts say what is wrong with the file.
    const std::map<std::string, std::string> texts = {
        { "lzw-code-past-table.gif as type 2", "GIF: the image data is damaged: " },
        { "tile-size-0.j2k as type 0", "JPC: cannot read the header: " },
        { "tiles-1x1-1024x1024.j2k as type 0", "JPC: the header declares 1048576 tiles" },
        { "size-65535x65535.png as type 3", "PNG: the image size 65535 x 65535 is above the decoding limit" },
        // A success that lost the colours says so.
        { "vga-palette-cut.pcx as type 8", "the 256-colour palette at the end of the file is missing" },
    };
    for (const Reported& r : reported)
        if (auto it = texts.find(r.file); it != texts.end()) {
            EXPECT_TRUE(r.outcome.text.starts_with(it->second)) << r.file << ": " << r.outcome.text;
        }
}

TEST(HostileFiles, DocumentOpensOrShowsAMessage)
{
    CorpusOnDisk corpus;
    const auto reported = RunBounded([&] {
        for (const std::string& path : corpus.paths)
            Case(path, [&] {
                testing_support::ScriptedUi ui;
                core::CVardenDoc doc(ui);
                Outcome o = FromImage(doc.OnOpenDocument(path), doc.Image());
                if (!o.ok)
                    o.text = ui.boxes.empty() ? std::string() : ui.boxes.back().text;
                return o;
            });
    });
    ExpectBounded(reported, corpus.paths.size());
}

TEST(HostileFiles, BatchRunRecordsEveryFileAsConvertedOrFailed)
{
    CorpusOnDisk corpus;
    TempDir out;
    const auto reported = RunBounded([&] {
        batch::BatchJob job;
        job.imageType = codec::kTypeBmp;
        job.destination = out.path();
        job.finishPause = std::chrono::milliseconds(0);
        // One file at a time under its own extension; the run below takes the misnamed copies too.
        for (std::size_t i = 0; i < corpus.paths.size(); i += 2) {
            const std::string output = out.File("one-" + std::to_string(i) + ".bmp");
            Case(corpus.paths[i], [&] {
                const batch::FileOutcome r = batch::ConvertBatchFile(job, corpus.paths[i], output);
                Outcome o;
                o.ok = r.ok;
                o.text = r.error;
                if (r.ok) {
                    codec::CxImage saved;
                    if (!saved.Load(output, codec::kTypeBmp))
                        o.fault = "converted, but the output does not load";
                    o.width = saved.GetWidth(), o.height = saved.GetHeight();
                } else if (batch::PathExists(output)) {
                    o.fault = "failed, but left an output";
                }
                return o;
            });
        }
        // The command line's run, two files at a time, over everything at once.
        job.files = corpus.paths;
        job.suffix = "_run";
        const auto plan = batch::PlanOutputs(job);
        Case("RunBatchFiles over the corpus", [&] {
            std::atomic<bool> stop { false };
            const auto outcomes = batch::RunBatchFiles(job, plan, 2, {}, stop);
            Outcome o { true, 1, 1, {}, {} };
            if (outcomes.size() != plan.size() || job.results.size() != plan.size())
                o.fault = "not every file has a result";
            for (const batch::FileOutcome& r : outcomes)
                if (r.stopped || r.output.empty() || r.ok != batch::PathExists(r.output) || (!r.ok && r.error.empty()))
                    o.fault = "an inconsistent result for " + r.output;
            return o;
        });
    });
    ExpectBounded(reported, corpus.paths.size() / 2 + 1);
}

TEST(HostileFiles, GifFrameDecoderWalksEveryStream)
{
    CorpusOnDisk corpus;
    TempDir out;
    const auto walked = std::count_if(corpus.files.begin(), corpus.files.end(), [](const HostileFile& f) {
        return hostile::Extension(f.name) == "gif";
    });
    const auto reported = RunBounded([&] {
        for (const HostileFile& f : corpus.files) {
            if (hostile::Extension(f.name) != "gif")
                continue;
            Case(f.name, [&] {
                gif::GifStreamDecoder decoder;
                Outcome o;
                o.ok = decoder.LoadPictureData(f.bytes);
                if (!o.ok) {
                    o.text = "no picture"; // the decoder answers by a false result
                    if (decoder.HasPicture())
                        o.fault = "a failure kept a picture";
                    return o;
                }
                o.width = static_cast<std::uint64_t>(decoder.PictureWidth());
                o.height = static_cast<std::uint64_t>(decoder.PictureHeight());
                if (decoder.Frames().size() < 2)
                    return o;
                // An animation: its frames are cut out, written and composed on the screen.
                const std::string base = out.File(f.name);
                if (!gif::SaveFramesAsFiles(decoder, base))
                    o.fault = "the frames of a loaded animation were not saved";
                std::size_t composed = 0;
                std::string error;
                const bool coalesced = gif::CoalesceFrames(
                    decoder,
                    [&](const codec::CxImage& screen, std::size_t) {
                        if (std::uint64_t { screen.GetWidth() } * screen.GetHeight() > kMaxDecodedPixels)
                            o.fault = "a screen above the limits";
                        return ++composed != 0;
                    },
                    &error);
                if (!coalesced && error.empty())
                    o.fault = "coalescing failed without a text";
                if (coalesced && composed != decoder.Frames().size())
                    o.fault = "coalescing skipped frames";
                return o;
            });
        }
    });
    ExpectBounded(reported, static_cast<std::size_t>(walked));
}

TEST(HostileFiles, DecryptionRefusesDamagedFilesAndLeavesNothing)
{
    TempDir in, out;
    // A real encrypted file of three chunks, and damaged copies of it.
    const std::vector<std::uint8_t> plain(150000, 0x5A);
    testing_support::WriteFileBytes(in.File("plain.bin"), plain);
    std::string src = in.File("plain.bin"), dst = in.File("seed.plm"), pw = kPassword;
    int option = 1;
    ASSERT_TRUE(Encrypt(src.data(), dst.data(), pw.data(), &option));
    const std::vector<std::uint8_t> seed = testing_support::ReadFileBytes(dst);
    const std::size_t n = seed.size();

    std::vector<HostileFile> files;
    for (const HostileFile& f : hostile::StoredFiles())
        if (hostile::Extension(f.name) == "plm")
            files.push_back(f);
    const std::size_t chunk2 = 76 + 65536 + 17;
    for (std::size_t cut : { std::size_t { 0 },
             std::size_t { 8 },
             std::size_t { 75 },
             std::size_t { 76 },
             std::size_t { 77 },
             std::size_t { 92 },
             std::size_t { 93 },
             std::size_t { 5000 },
             chunk2 - 1,
             chunk2,
             chunk2 + 17,
             n - 17,
             n - 1 })
        files.push_back({ "enc-cut-" + std::to_string(cut) + ".plm",
            std::vector<std::uint8_t>(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(cut)) });
    for (std::size_t at : { std::size_t { 8 },
             std::size_t { 12 },
             std::size_t { 16 },
             std::size_t { 20 },
             std::size_t { 40 },
             std::size_t { 60 },
             std::size_t { 100 },
             chunk2 + 100,
             n - 1 }) {
        HostileFile f { "enc-flip-" + std::to_string(at) + ".plm", seed };
        f.bytes[at] ^= 0x01;
        files.push_back(std::move(f));
    }
    HostileFile extra { "enc-extra-byte.plm", seed };
    extra.bytes.push_back(0);
    files.push_back(std::move(extra));
    HostileFile swapped { "enc-chunks-swapped.plm", seed };
    std::swap_ranges(swapped.bytes.begin() + 76, swapped.bytes.begin() + 76 + 65553, swapped.bytes.begin() + chunk2);
    files.push_back(std::move(swapped));
    for (const HostileFile& f : files)
        testing_support::WriteFileBytes(in.File(f.name), f.bytes);

    const auto reported = RunBounded([&] {
        for (const HostileFile& f : files)
            Case(f.name, [&] {
                std::string from = in.File(f.name), to = out.File(f.name), password = kPassword;
                int opt = 1;
                Outcome o;
                o.ok = Decrypt(from.data(), to.data(), password.data(), &opt) != 0;
                o.text = cipher::LastCipherError();
                if (!std::filesystem::is_empty(out.path()))
                    o.fault = "the failed decryption left a file";
                return o;
            });
        Case("the undamaged file", [&] {
            std::string from = dst, to = out.File("plain.bin"), password = kPassword;
            int opt = 1;
            Outcome o;
            o.ok = Decrypt(from.data(), to.data(), password.data(), &opt) != 0;
            o.width = o.height = 1;
            if (!o.ok || testing_support::ReadFileBytes(to) != plain)
                o.fault = "the undamaged file did not decrypt";
            return o;
        });
    });
    ASSERT_EQ(reported.size(), files.size() + 1);
    ExpectBounded(reported, files.size() + 1); // every "enc-" file must fail
}
