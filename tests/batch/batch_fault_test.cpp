// The batch run under injected faults: a full disk, a read-only destination, a destination that
// goes away during the run, a source that goes away between listing and loading. Each time the run
// goes on with the next file, the failed one is a false entry and leaves nothing behind (no temporary
// file, no plain text of an encrypted result), and what was written before is intact.

#include "batch/batch_convert.h"
#include "codec/ximage.h"
#include "crypt/file_cipher.h"
#include "support/fault_injection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::Tree;

namespace {

constexpr const char* kPassword = "sesame-4711";

/// The three sources: a small picture, a large one, a small one.
struct Sources {
    TempDir dir;
    std::vector<std::string> files;
    Sources()
    {
        const std::uint32_t sides[] = { 16, 300, 20 };
        const char* names[] = { "a.bmp", "b.bmp", "c.bmp" };
        for (int i = 0; i < 3; ++i) {
            codec::CxImage img = testing_support::MakeTestImage(sides[i], sides[i], 24);
            EXPECT_TRUE(img.Save(dir.File(names[i]), codec::kTypeBmp));
            files.push_back(dir.File(names[i]));
        }
    }
};

batch::BatchJob MakeJob(const Sources& sources, const std::string& destination, bool encrypt)
{
    batch::BatchJob job;
    job.files = sources.files;
    job.imageType = codec::kTypeBmp;
    job.destination = destination;
    job.finishPause = std::chrono::milliseconds(0);
    job.encrypt = encrypt;
    job.password = encrypt ? kPassword : "";
    return job;
}

/// Runs the job with `beforeFile(i)` called just before file i is converted; the results by
/// source index.
using Runner = std::function<std::vector<bool>(batch::BatchJob&, const std::function<void(std::size_t)>&)>;

std::vector<bool> ByIndex(const batch::BatchJob& job, const std::vector<std::string>& outputs)
{
    std::vector<bool> ok;
    for (const std::string& out : outputs) {
        auto it = job.results.find(out);
        ok.push_back(it != job.results.end() && it->second);
    }
    return ok;
}

/// The command line's run (one file at a time, so the order is fixed).
std::vector<bool> RunFiles(batch::BatchJob& job, const std::function<void(std::size_t)>& beforeFile)
{
    const auto plan = batch::PlanOutputs(job);
    batch::BatchRunCallbacks callbacks;
    callbacks.started = [&](std::size_t i, const std::string&) { beforeFile(i); };
    std::atomic<bool> stop { false };
    const auto outcomes = batch::RunBatchFiles(job, plan, 1, callbacks, stop);
    std::vector<std::string> outputs;
    for (const auto& o : outcomes)
        outputs.push_back(o.output);
    return ByIndex(job, outputs);
}

/// The desktop's worker, driven the way its progress display drives it.
std::vector<bool> RunWorker(batch::BatchJob& job, const std::function<void(std::size_t)>& beforeFile)
{
    const auto plan = batch::PlanOutputs(job); // nothing exists yet, so the worker names alike
    batch::ProgressThreadData data;
    data.userParam = &job;
    data.dialogAlive = true;
    std::size_t index = 0;
    data.setText = [&](const std::string&) { beforeFile(index++); };
    EXPECT_TRUE(batch::BatchConvertWorker(data));
    std::vector<std::string> outputs;
    for (const auto& f : plan)
        outputs.push_back(f.output);
    return ByIndex(job, outputs);
}

std::uintmax_t SizeOf(const std::string& path)
{
    std::error_code ec;
    return fs::file_size(path, ec);
}

struct Fault {
    const char* what;
    bool encrypt;
    /// Set up before the run, given the sizes of a clean run's outputs, plain and encrypted;
    /// returns what must live during the run.
    std::function<std::shared_ptr<void>(
        const std::string& dest, const std::vector<std::uintmax_t>& plain, const std::vector<std::uintmax_t>& sealed)>
        arm;
    /// Called before file i.
    std::function<void(std::size_t i, const std::string& dest, const Sources& sources)> beforeFile;
    std::vector<bool> expected;
    bool destinationGone = false;
};

} // namespace

TEST(BatchFaults, EachFaultFailsOnlyItsFileAndLeavesNothingBehind)
{
    const std::vector<Fault> faults = {
        { "full disk when the large output is flushed",
            false,
            [](const std::string&, const auto& plain, const auto&) {
                return std::make_shared<testing_support::ScopedDiskSpace>(plain[0] + plain[2]);
            },
            {},
            { true, false, true } },
        { "full disk while the large output is written",
            false,
            [](const std::string&, const auto& plain, const auto&) {
                return std::make_shared<testing_support::ScopedFileSizeLimit>(plain[1] / 2);
            },
            {},
            { true, false, true } },
        { "full disk when the large result is encrypted",
            true,
            // Room for both small files (plain, then encrypted) and the large one's plain save.
            [](const std::string&, const auto& plain, const auto& sealed) {
                return std::make_shared<testing_support::ScopedDiskSpace>(
                    plain[0] + sealed[0] + plain[1] + plain[2] + sealed[2]);
            },
            {},
            { true, false, true } },
        { "read-only destination",
            false,
            [](const std::string& dest, const auto&, const auto&) {
                ::chmod(dest.c_str(), 0555);
                return std::make_shared<testing_support::ScopedPermissions>();
            },
            {},
            { false, false, false } },
        { "destination removed during the run",
            true,
            {},
            [](std::size_t i, const std::string& dest, const Sources&) {
                if (i == 1)
                    fs::remove_all(dest);
            },
            { true, false, false },
            true },
        { "source gone between listing and loading",
            false,
            {},
            [](std::size_t i, const std::string&, const Sources& sources) {
                if (i == 1)
                    fs::remove(sources.files[1]);
            },
            { true, false, true } },
    };
    const std::vector<std::pair<const char*, Runner>> runners
        = { { "command line run", RunFiles }, { "desktop worker", RunWorker } };

    // Clean runs first: the sizes of the outputs, and what every output must hold.
    TempDir cleanPlain, cleanSealed;
    std::vector<std::uintmax_t> plain, sealed;
    std::vector<batch::PlannedFile> plainPlan, sealedPlan;
    for (bool encrypt : { false, true }) {
        Sources sources;
        batch::BatchJob reference = MakeJob(sources, (encrypt ? cleanSealed : cleanPlain).path(), encrypt);
        ASSERT_EQ(RunFiles(reference, [](std::size_t) {}), std::vector<bool>({ true, true, true }));
        auto& plan = encrypt ? sealedPlan : plainPlan;
        plan = batch::PlanOutputs(reference, [](const std::string&) { return false; });
        for (const auto& f : plan)
            (encrypt ? sealed : plain).push_back(SizeOf(f.output));
    }

    for (const auto& [runnerName, run] : runners) {
        for (const Fault& fault : faults) {
            SCOPED_TRACE(std::string(runnerName) + ": " + fault.what);
            Sources sources;
            const std::vector<batch::PlannedFile>& plan = fault.encrypt ? sealedPlan : plainPlan;
            TempDir dest;
            std::shared_ptr<void> armed = fault.arm ? fault.arm(dest.path(), plain, sealed) : nullptr;
            batch::BatchJob job = MakeJob(sources, dest.path(), fault.encrypt);
            const std::vector<bool> ok = run(job, [&](std::size_t i) {
                if (fault.beforeFile)
                    fault.beforeFile(i, dest.path(), sources);
            });
            armed.reset();
            ::chmod(dest.path().c_str(), 0700);

            EXPECT_EQ(ok, fault.expected);
            EXPECT_EQ(job.results.size(), 3u) << "every file has its entry";
            if (fault.destinationGone) {
                EXPECT_FALSE(fs::exists(dest.path()));
                continue;
            }
            // Only the files that succeeded are there, nothing else: no temporary file, no
            // unencrypted result of a failed encryption.
            std::vector<std::string> expectedNames;
            for (std::size_t i = 0; i < 3; ++i)
                if (fault.expected[i])
                    expectedNames.push_back(fs::path(plan[i].output).filename().string());
            EXPECT_EQ(Tree(dest.path()), expectedNames);
            for (std::size_t i = 0; i < 3; ++i) {
                if (!fault.expected[i])
                    continue;
                const std::string out = dest.File(fs::path(plan[i].output).filename().string());
                if (!fault.encrypt) {
                    EXPECT_EQ(testing_support::ReadFileBytes(out), testing_support::ReadFileBytes(plan[i].output));
                    continue;
                }
                // Encrypted with a fresh salt each run: compare what it decrypts to.
                TempDir plain;
                std::string src = out, dst = plain.File("p"), pw = kPassword;
                int option = 1;
                ASSERT_NE(Decrypt(src.data(), dst.data(), pw.data(), &option), 0);
                std::string refSrc = plan[i].output, refDst = plain.File("r");
                ASSERT_NE(Decrypt(refSrc.data(), refDst.data(), pw.data(), &option), 0);
                EXPECT_EQ(testing_support::ReadFileBytes(dst), testing_support::ReadFileBytes(refDst));
            }
        }
    }
}
