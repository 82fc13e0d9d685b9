// Long runs of pelmora-cli: a batch of 5,000 small files, batches of large photos whose peak
// memory must not grow with the number of files, and a run of every command with the leak
// checker on (under AddressSanitizer a leak fails the command, and so the test).

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::RunCli;
using testing_support::TempDir;

extern char** environ;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif

/// The leak checker on, and a leak told apart from a failed file by its own exit status.
constexpr const char* kLeakExit = "86";
std::string LeakEnv()
{
    const char* base = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (base ? std::string(base) + ":" : "")
        + "detect_leaks=1:exitcode=" + kLeakExit;
}

struct Measured {
    int status = -1;
    long peakKiB = 0;
    double seconds = 0;
};

/// Runs pelmora-cli with `args` in `cwd`, output discarded, and measures its peak resident memory.
Measured RunMeasured(const std::vector<std::string>& args, const std::string& cwd, const std::string& asanExtra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0)
            env.emplace_back(*e);
    const char* base = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (base ? std::string(base) + ":" : "") + asanExtra);
    std::vector<char*> envp, argv;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = PELMORA_CLI;
    std::vector<std::string> all = args;
    argv.push_back(program.data());
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
        if (::chdir(cwd.c_str()) == 0)
            ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    Measured m;
    int status = 0;
    rusage usage {};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m.peakKiB = usage.ru_maxrss;
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return m;
}

std::size_t CountFiles(const std::string& folder)
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.is_regular_file();
    return n;
}

} // namespace

TEST(LongRun, FiveThousandSmallFiles)
{
    constexpr int kFiles = 5000;
    TempDir dir;
    fs::create_directories(dir.File("src"));
    // Each picture its own: the last two bytes (a pixel) carry the file's number. Written plainly:
    // the program's own writer would sync every file to disk.
    std::vector<std::uint8_t> bmp;
    ASSERT_TRUE(testing_support::MakeTestImage(8, 8, 24).Encode(bmp, codec::kTypeBmp));
    for (int i = 0; i < kFiles; ++i) {
        bmp[bmp.size() - 2] = static_cast<std::uint8_t>(i), bmp[bmp.size() - 1] = static_cast<std::uint8_t>(i >> 8);
        char name[32];
        std::snprintf(name, sizeof name, "src/p%04d.bmp", i);
        testing_support::WriteFileBytes(dir.File(name), bmp);
    }
    const Measured m
        = RunMeasured({ "batch", "-q", "--jobs", "2", "--to", "png", "--out", "out", "--report", "report.txt", "src" },
            dir.path(),
            "detect_leaks=1");
    std::printf("5000 small files: %.1f s, peak %ld KiB\n", m.seconds, m.peakKiB);
    ASSERT_EQ(m.status, 0);
    EXPECT_EQ(CountFiles(dir.File("out")), static_cast<std::size_t>(kFiles));
    std::ifstream report(dir.File("report.txt"));
    std::size_t lines = 0;
    for (std::string line; std::getline(report, line);)
        lines += line.rfind("Successfully converted file ", 0) == 0;
    EXPECT_EQ(lines, static_cast<std::size_t>(kFiles));
    // Spot checks: the first and the last file came through with their own pixels.
    for (int i : { 0, kFiles - 1 }) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04d", i);
        codec::CxImage in(dir.File("src/" + std::string(name) + ".bmp"), codec::kTypeBmp);
        codec::CxImage out(dir.File("out/" + std::string(name) + ".png"), codec::kTypePng);
        std::string why;
        EXPECT_TRUE(testing_support::SamePixels(in, out, &why)) << name << ": " << why;
    }
}

// The peak memory of a run is that of the file in hand, not of the files done: 200 large photos
// take no more than 5.
TEST(LongRun, PeakMemoryDoesNotGrowWithTheNumberOfPhotos)
{
    TempDir dir;
    fs::create_directories(dir.File("few"));
    fs::create_directories(dir.File("many"));
    const std::string photo = dir.File("photo.jpg");
    ASSERT_TRUE(testing_support::MakeTestImage(2400, 1600, 24).Save(photo, codec::kTypeJpg));
    for (int i = 0; i < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d.jpg", i);
        fs::create_hard_link(photo, dir.File(std::string(i < 5 ? "few/" : "") + name));
        fs::create_hard_link(photo, dir.File(std::string("many/") + name));
    }
    // Memory freed is memory the next file may use: no quarantine holding it back.
    const std::string asan = "detect_leaks=1:quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    Measured runs[2];
    const char* folders[] = { "few", "many" };
    for (int i = 0; i < 2; ++i) {
        runs[i] = RunMeasured({ "batch",
                                  "-q",
                                  "--jobs",
                                  "2",
                                  "--to",
                                  "jpg",
                                  "--max-side",
                                  "1600",
                                  "--out",
                                  std::string("out-") + folders[i],
                                  folders[i] },
            dir.path(),
            asan);
        std::printf("%s: %.1f s, peak %ld KiB\n", folders[i], runs[i].seconds, runs[i].peakKiB);
        ASSERT_EQ(runs[i].status, 0);
    }
    EXPECT_EQ(CountFiles(dir.File("out-many")), 200u);
    // A small margin for the run's own bookkeeping (names, results) and the allocator's slack.
    EXPECT_LE(runs[1].peakKiB, runs[0].peakKiB + runs[0].peakKiB / 10 + 8 * 1024)
        << "5 photos: " << runs[0].peakKiB << " KiB, 200 photos: " << runs[1].peakKiB << " KiB";
}

// Every command, on its success path and on a failure path, with the leak checker on.
TEST(LongRun, EveryCommandRunsWithoutLeaks)
{
    TempDir dir;
    fs::create_directories(dir.File("src"));
    ASSERT_TRUE(testing_support::MakeTestImage(40, 30, 24).Save(dir.File("src/a.bmp"), codec::kTypeBmp));
    ASSERT_TRUE(testing_support::MakeTestImage(30, 40, 8).Save(dir.File("src/b.gif"), codec::kTypeGif));
    ASSERT_TRUE(testing_support::MakeTestImage(30, 40, 8).Save(dir.File("src/c.gif"), codec::kTypeGif));
    testing_support::WriteFileBytes(dir.File("src/bad.png"), { 0x89, 'P', 'N', 'G', 1, 2, 3 });
    for (const char* folder : { "out/frames", "out/coalesced", "out/still" })
        fs::create_directories(dir.File(folder));
    testing_support::WriteFileBytes(dir.File("pw.txt"), { 's', 'e', 's', 'a', 'm', 'e', '\n' });

    struct Run {
        const char* command;
        std::string args;
        int status;
    };
    const std::vector<Run> runs = {
        { "--help", "--help", 0 },
        { "--version", "--version", 0 },
        { "help", "help", 0 },
        { "-h", "-h", 0 },
        { "info", "info src/a.bmp src/b.gif", 0 },
        { "info", "info --json src/a.bmp src/bad.png", 1 },
        { "convert", "convert src/a.bmp out/a.png --width 20", 0 },
        { "convert", "convert src/bad.png out/x.png", 1 },
        { "batch", "batch -q --jobs 2 --to tif --max-side 16 --bpp 8 --json --out out/batch src src/missing.bmp", 1 },
        { "batch", "batch -q --encrypt --password-file pw.txt --to jpg --out out/sealed src/a.bmp", 0 },
        { "batch", "batch --dry-run --to png --out out/dry src", 0 },
        { "batch", "batch --dry-run --json --to png --out out/planned src/a.bmp src/b.gif > plan.json", 0 },
        { "batch", "batch -q --plan plan.json --shard 1/2 --report out/shard1.txt", 0 },
        { "batch", "batch -q --plan plan.json --shard 0/2 --report out/shard0.txt", 0 },
        { "batch", "batch --save-preset small --to png --max-side 8", 0 },
        { "batch", "batch -q --preset small --out out/preset src/a.bmp", 0 },
        { "report", "report merge out/shard0.txt out/shard1.txt", 0 },
        { "report", "report merge out/shard0.txt", 2 },
        { "rotate", "rotate --left src/a.bmp out/turned.png", 0 },
        { "rotate", "rotate --lossless src/a.bmp out/turned.jpg", 1 },
        { "gif-animate", "gif-animate --out out/anim.gif --loops 3 --delay 5 src/b.gif src/c.gif", 0 },
        { "gif-animate", "gif-animate --out out/bad.gif src/b.gif src/bad.gif", 1 },
        { "gif-info", "gif-info out/anim.gif", 0 },
        { "gif-info", "gif-info src/bad.png", 1 },
        { "gif-extract", "gif-extract -q out/anim.gif --out out/frames", 0 },
        { "gif-extract", "gif-extract -q --coalesce out/anim.gif --out out/coalesced", 0 },
        { "gif-extract", "gif-extract -q src/b.gif --out out/still", 1 },
        { "tiff", "tiff --out out/pages.tiff src/a.bmp src/b.gif", 0 },
        { "tiff", "tiff --out out/bad.tiff src/a.bmp src/bad.png", 1 },
        { "encrypt", "encrypt -q --password-file pw.txt --out out/enc src/a.bmp src/missing.bmp", 1 },
        { "decrypt", "decrypt -q --password-file pw.txt --report out/report.txt --out out/dec out/enc/a.bmp", 0 },
        { "decrypt", "decrypt -q --json --out out/dec2 out/enc/a.bmp src/a.bmp", 1 },
        { "unknown", "no-such-command", 2 },
    };
    std::set<std::string> covered;
    for (const Run& r : runs) {
        SCOPED_TRACE(r.args);
        const auto run
            = RunCli(r.args, dir, LeakEnv() + " PELMORA_PASSWORD=sesame XDG_CONFIG_HOME='" + dir.File("config") + "'");
        EXPECT_EQ(run.err.find("LeakSanitizer"), std::string::npos) << run.err;
        EXPECT_EQ(run.status, r.status) << run.err;
        covered.insert(r.command);
    }
    // Every command the program dispatches has its run above.
    std::ifstream main(std::string(PELMORA_TEST_DATA) + "/../../cli/main.cpp");
    const std::string source((std::istreambuf_iterator<char>(main)), {});
    ASSERT_FALSE(source.empty());
    const std::regex dispatched(R"re(command == "([^"]+)")re");
    for (std::sregex_iterator it(source.begin(), source.end(), dispatched), end; it != end; ++it)
        EXPECT_TRUE(covered.count((*it)[1].str())) << "no leak-checked run of " << (*it)[1].str();
    if (!kLeakChecked)
        GTEST_SKIP() << "the commands ran, but this build has no leak checker";
}
