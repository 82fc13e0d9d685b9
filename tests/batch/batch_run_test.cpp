// The batch conversion run: naming, the per-file steps, cancellation and the run's outcomes.

#include "batch/batch_convert.h"
#include "codec/ximage.h"
#include "crypt/cipher_session.h"
#include "crypt/file_cipher.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <thread>

using batch::BatchJob;
using codec::CxImage;
using testing_support::ScriptedUi;
using testing_support::TempDir;

namespace {

/// Runs the worker on a thread of its own, as the desktop's progress dialog does, recording the
/// two progress calls; `onText` may request a stop.
class ThreadDisplay : public batch::ProgressDisplay {
public:
    std::function<void(batch::ProgressThreadData&)> onText;
    std::vector<std::string> texts;
    std::vector<int> positions;
    int fixedCode = 0; ///< nonzero: end with this code without running the worker

    int DoModal(void* userParam, int rangeMax) override
    {
        if (fixedCode)
            return fixedCode;
        data_.userParam = userParam;
        data_.rangeMax = rangeMax;
        data_.worker = batch::BatchConvertWorker;
        data_.setText = [this](const std::string& text) {
            texts.push_back(text);
            if (onText)
                onText(data_);
        };
        data_.setPosition = [this](int position) { positions.push_back(position); };
        data_.dialogAlive = true;
        int code = 0;
        std::thread worker([&] { code = batch::RunProgressThread(data_); });
        worker.join();
        return data_.terminate ? batch::kEndCancelled : code;
    }
    void Cleanup() override { }

private:
    batch::ProgressThreadData data_;
};

std::string SaveImage(const std::string& path, std::uint32_t w, std::uint32_t h, std::uint32_t bpp)
{
    CxImage img = testing_support::MakeTestImage(w, h, bpp);
    EXPECT_TRUE(img.Save(path, codec::kTypeBmp)) << img.GetLastError();
    return path;
}

BatchJob MakeJob(const std::vector<std::string>& files, std::uint32_t type, const std::string& destination)
{
    BatchJob job;
    job.files = files;
    job.imageType = type;
    job.destination = destination;
    job.finishPause = std::chrono::milliseconds(0);
    return job;
}

std::set<std::string> FilesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

TEST(BatchNaming, CounterSuffixAndExtension)
{
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string suffix;
        std::uint32_t type;
        std::set<std::string> onDisk;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        { "same names",
            { "/a/photo.jpg", "/b/photo.gif", "/c/photo.png" },
            "",
            4,
            {},
            { "/o/photo.png", "/o/photo(0).png", "/o/photo(1).png" } },
        { "existing output", { "/a/photo.jpg" }, "", 4, { "/o/photo.png" }, { "/o/photo(0).png" } },
        { "suffix before counter", { "/a/photo.jpg" }, "_s", 4, { "/o/photo_s.png" }, { "/o/photo_s(0).png" } },
        { "tiff", { "/a/x.y.bmp" }, "", 6, {}, { "/o/x.y.tiff" } },
        { "PNM", { "/a/x" }, "", 14, {}, { "/o/x.PNM" } },
        { "counter skips taken", { "/a/p.bmp", "/b/p.bmp" }, "", 1, { "/o/p(0).bmp" }, { "/o/p.bmp", "/o/p(1).bmp" } },
    };
    for (const Case& c : cases) {
        BatchJob job = MakeJob(c.files, c.type, "/o");
        job.suffix = c.suffix;
        const auto plan = batch::PlanOutputs(job, [&](const std::string& p) { return c.onDisk.count(p) > 0; });
        std::vector<std::string> outputs;
        for (const auto& f : plan)
            outputs.push_back(f.output);
        EXPECT_EQ(outputs, c.expected) << c.what;
    }
}

TEST(BatchNaming, NameTakenMeanwhileMovesOnButNeverToAnotherFilesPlan)
{
    std::set<std::string> onDisk;
    batch::OutputNamer namer([&](const std::string& p) { return onDisk.count(p) > 0; });
    namer.Reserve({ "/o/p.png", "/o/p(0).png" });
    onDisk.insert("/o/p.png"); // another program took it after the plan was made
    EXPECT_EQ(namer.Confirm("/o/p.png", "/o/p", "png"), "/o/p(1).png");
    EXPECT_EQ(namer.Confirm("/o/p(0).png", "/o/p", "png"), "/o/p(0).png");
}

TEST(BatchSteps, FitLongerSideTruncates)
{
    struct Case {
        std::uint32_t w, h, side;
        batch::PixelSize expected;
    };
    for (const Case& c : std::vector<Case> { { 100, 50, 200, { 200, 100 } },
             { 50, 50, 200, { 200, 200 } },
             { 300, 299, 200, { 200, 199 } },
             { 800, 600, 1000, { 1000, 750 } },
             { 1000, 750, 255, { 255, 191 } },
             { 40, 90, 255, { 113, 255 } } })
        EXPECT_EQ(batch::FitLongerSide(c.w, c.h, c.side), c.expected) << c.w << "x" << c.h << " at " << c.side;
}

TEST(BatchSteps, ResizeDepthAndFormatConstraints)
{
    struct Case {
        const char* what;
        std::uint32_t w, h, bpp, type;
        std::optional<std::uint32_t> maxSide, targetBpp;
        std::uint32_t expectW, expectH, expectBpp;
    };
    const std::vector<Case> cases = {
        { "enlarged", 100, 50, 24, codec::kTypeBmp, 200, {}, 200, 100, 24 },
        { "ICO fit after max side", 800, 600, 24, codec::kTypeIco, 1000, {}, 255, 191, 24 },
        { "WBMP always 1 bit", 20, 10, 24, codec::kTypeWbmp, {}, 24, 20, 10, 1 },
        { "depth decreased", 20, 10, 24, codec::kTypeBmp, {}, 8, 20, 10, 8 },
        { "depth increased", 20, 10, 8, codec::kTypeBmp, {}, 24, 20, 10, 24 },
        { "same depth left alone", 20, 10, 8, codec::kTypeBmp, {}, 8, 20, 10, 8 },
        { "PGX gray", 20, 10, 24, codec::kTypePgx, {}, {}, 20, 10, 8 },
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string src = SaveImage(dir.File("src.bmp"), c.w, c.h, c.bpp);
        BatchJob job = MakeJob({ src }, c.type, dir.path());
        job.resizeEnabled = c.maxSide.has_value();
        job.maxSide = c.maxSide.value_or(255);
        job.depthEnabled = c.targetBpp.has_value();
        job.targetBpp = c.targetBpp.value_or(0);
        const std::string out = dir.File("src." + batch::OutputExtension(c.type));
        const batch::FileOutcome outcome = batch::ConvertBatchFile(job, src, out);
        ASSERT_TRUE(outcome.ok) << c.what << ": " << outcome.error;
        CxImage result(out, c.type);
        EXPECT_EQ(result.GetWidth(), c.expectW) << c.what;
        EXPECT_EQ(result.GetHeight(), c.expectH) << c.what;
        EXPECT_EQ(result.GetBpp(), c.expectBpp) << c.what;
    }
}

TEST(BatchRun, EverySourceKeepsItsOwnEntry)
{
    // The first photo.bmp cannot be read: its name still counts as taken, so the second does not
    // overwrite its entry, and no file is left under the first one's name.
    TempDir dir;
    std::filesystem::create_directories(dir.File("a"));
    std::filesystem::create_directories(dir.File("b"));
    std::filesystem::create_directories(dir.File("out"));
    testing_support::WriteFileBytes(dir.File("a/photo.bmp"), { 'B', 'M', 1, 2, 3 });
    SaveImage(dir.File("b/photo.bmp"), 8, 8, 24);
    BatchJob job = MakeJob({ dir.File("a/photo.bmp"), dir.File("b/photo.bmp") }, codec::kTypePng, dir.File("out"));
    ScriptedUi ui;
    ui.answers = { true };
    ThreadDisplay display;
    EXPECT_EQ(batch::RunBatchConversion(job, ui, display), 1);

    const std::string first = dir.File("out/photo.png"), second = dir.File("out/photo(0).png");
    EXPECT_EQ(job.results, (batch::ConversionResults { { first, false }, { second, true } }));
    EXPECT_EQ(FilesIn(dir.File("out")), (std::set<std::string> { "photo(0).png" }));
    ASSERT_EQ(ui.reportsShown.size(), 1u);
    // Map order: '(' sorts before '.'.
    EXPECT_EQ(batch::ReportLines(ui.reportsShown[0]),
        (std::vector<std::string> {
            "Successfully converted file " + second, "# Error while converting file " + first }));
    EXPECT_EQ(display.texts, job.files);
    EXPECT_EQ(display.positions, (std::vector<int> { 1, 2 }));
}

TEST(BatchRun, FailingEncryptionRemovesTheFile)
{
    TempDir dir;
    const std::string src = SaveImage(dir.File("a.bmp"), 8, 8, 24);
    static std::string encrypted;
    struct Case {
        batch::EncryptFileFn fn;
        bool ok;
    };
    for (const Case& c : { Case { [](char*path, char*pwd) -> unsigned char {
                                     encrypted = std::string(path) + "|" + pwd;
                                     return 1;
                                 },
                               true },
             Case { [](char*, char*) -> unsigned char { return 0; }, false } }) {
        BatchJob job = MakeJob({ src }, codec::kTypePng, dir.File("out"));
        std::filesystem::create_directories(dir.File("out"));
        job.encrypt = true;
        job.password = "secret";
        job.encryptFile = c.fn;
        const batch::FileOutcome outcome = batch::ConvertBatchFile(job, src, dir.File("out/a.png"));
        EXPECT_EQ(outcome.ok, c.ok);
        EXPECT_EQ(std::filesystem::exists(dir.File("out/a.png")), c.ok);
        std::filesystem::remove_all(dir.File("out"));
    }
    EXPECT_EQ(encrypted, dir.File("out/a.png") + "|secret");
}

TEST(BatchRun, EncryptedResultsShareOneKeyDerivationAndDecryptAlone)
{
    TempDir dir;
    std::vector<std::string> files;
    for (const char* name : { "a.bmp", "b.bmp", "c.bmp" })
        files.push_back(SaveImage(dir.File(name), 8, 8, 24));
    std::filesystem::create_directories(dir.File("out"));
    BatchJob job = MakeJob(files, codec::kTypePng, dir.File("out"));
    job.encrypt = true;
    job.password = "secret";
    testing_support::ScriptedUi ui;
    ui.answers = { false };
    ThreadDisplay display;
    const std::uint64_t before = cipher::KeyDerivationCount();
    EXPECT_EQ(batch::RunBatchConversion(job, ui, display), 1);
    EXPECT_EQ(cipher::KeyDerivationCount() - before, 1u) << "one derivation for the run, not one per file";
    for (const char* name : { "a.png", "b.png", "c.png" }) {
        std::string src = dir.File(std::string("out/") + name), dst = dir.File(name), pwd = "secret";
        int option = 1;
        EXPECT_TRUE(Decrypt(src.data(), dst.data(), pwd.data(), &option)) << name;
        codec::CxImage back;
        EXPECT_TRUE(back.Load(dst, codec::kTypePng)) << name;
    }
}

TEST(BatchRun, CancelDuringTheThirdOfTenFiles)
{
    TempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(SaveImage(dir.File("f" + std::to_string(i) + ".bmp"), 4, 4, 24));
    std::filesystem::create_directories(dir.File("out"));
    BatchJob job = MakeJob(files, codec::kTypePng, dir.File("out"));
    ScriptedUi ui;
    ThreadDisplay display;
    display.onText = [&](batch::ProgressThreadData& data) {
        if (display.texts.size() == 3)
            data.terminate = true;
    };
    EXPECT_EQ(batch::RunBatchConversion(job, ui, display), 0);
    EXPECT_EQ(display.texts.size(), 3u);
    EXPECT_EQ(display.positions, (std::vector<int> { 1, 2 }));
    // The file in hand when the stop came is removed and not recorded.
    EXPECT_EQ(FilesIn(dir.File("out")), (std::set<std::string> { "f0.png", "f1.png" }));
    EXPECT_EQ(job.results.size(), 2u);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.statusTexts, (std::vector<std::string> { "Starting the batch conversion of 10 files" }));
}

TEST(BatchRun, EndCodesGiveTheirTexts)
{
    const std::string start = "Starting the batch conversion of 1 files";
    struct Case {
        int code;
        bool answer;
        int result;
        std::vector<std::string> status;
        std::vector<std::string> boxTexts;
        std::size_t reports;
    };
    const std::vector<Case> cases = {
        { batch::kEndWorkerDone,
            true,
            1,
            { start, "Finished the conversion of 1 files" },
            { "Completed the batch conversion. Click yes to show the status messages." },
            1 },
        { batch::kEndWorkerDone,
            false,
            1,
            { start, "Finished the conversion of 1 files" },
            { "Completed the batch conversion. Click yes to show the status messages." },
            0 },
        { batch::kEndWorkerFailed,
            false,
            0,
            { start, "Error while converting 1 files! Please try it again!" },
            { "Error while converting 1 files! Please try it again!" },
            0 },
        { batch::kEndCancelled, false, 0, { start }, {}, 0 },
        { batch::kEndNoDialog, false, 0, { start }, {}, 0 },
    };
    for (const Case& c : cases) {
        BatchJob job = MakeJob({ "/nowhere/x.bmp" }, codec::kTypePng, "/nowhere");
        ScriptedUi ui;
        ui.answers = { c.answer };
        ThreadDisplay display;
        display.fixedCode = c.code;
        EXPECT_EQ(batch::RunBatchConversion(job, ui, display), c.result) << c.code;
        EXPECT_EQ(ui.statusTexts, c.status) << c.code;
        std::vector<std::string> texts;
        for (const auto& box : ui.boxes)
            texts.push_back(box.text);
        EXPECT_EQ(texts, c.boxTexts) << c.code;
        EXPECT_EQ(ui.reportsShown.size(), c.reports) << c.code;
        if (c.code == batch::kEndWorkerDone) {
            EXPECT_EQ(ui.boxes[0].caption, "Batch conversion completed");
            EXPECT_TRUE(ui.boxes[0].question);
            EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::None);
        } else if (c.code == batch::kEndWorkerFailed) {
            EXPECT_EQ(ui.boxes[0].caption, "Error while converting files");
            EXPECT_EQ(ui.boxes[0].icon, core::MessageIcon::Warning);
        }
    }
}
