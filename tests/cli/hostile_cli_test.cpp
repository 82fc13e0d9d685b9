// pelmora-cli over the hostile corpus (tests/support/hostile_corpus.h): info, convert, batch,
// gif-extract and decrypt give a clear error line or a result within the limits for every file,
// each run under a watchdog (timeout) and an allocation ceiling (the sanitizer's allocation limit,
// or an address-space limit where no sanitizer runs). A run that is killed, reports a sanitizer
// error or exits with anything but the documented statuses fails.

#include "core/registry.h"
#include "support/hostile_corpus.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using hostile::HostileFile;
using testing_support::CliRun;
using testing_support::TempDir;

namespace {

constexpr const char* kPassword = "hostile-password";

/// The environment and wrappers that hold one run to the bounds; `seconds` is its watchdog.
std::string Bounds(int seconds)
{
    const std::string watchdog = "timeout -s KILL " + std::to_string(seconds) + " ";
    if (hostile::Sanitized()) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        return "ASAN_OPTIONS='" + std::string(asan ? asan : "") + ":max_allocation_size_mb="
            + std::to_string(hostile::kMaxAllocationBytes >> 20) + ":exitcode=99' " + watchdog;
    }
    return watchdog + "prlimit --as=" + std::to_string(hostile::kMaxAddressSpace) + " ";
}

/// Runs pelmora-cli in `dir` with the bounds and checks that it ended by itself with a documented
/// status and without a sanitizer's report.
CliRun RunBoundedCli(const std::string& args, const TempDir& dir, int seconds = 120, const std::string& env = "")
{
    CliRun r = testing_support::RunCli(args, dir, env + " " + Bounds(seconds));
    EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2)
        << "pelmora-cli " << args.substr(0, 200) << " ended with " << r.status
        << (r.status == 137 ? " (killed by the watchdog)" : "") << "\n"
        << r.err.substr(0, 4000);
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err.substr(0, 4000);
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err.substr(0, 4000);
    return r;
}

std::string Quoted(const std::string& s)
{
    return "'" + s + "'";
}

/// The image corpus in `dir`, each file also under a wrong extension; the names written.
std::vector<std::string> WriteCorpus(const TempDir& dir, const std::vector<HostileFile>& files)
{
    std::vector<std::string> names;
    for (const HostileFile& f : files)
        for (const std::string& name : { f.name, hostile::WrongExtensionName(f.name) }) {
            testing_support::WriteFileBytes(dir.File(name), f.bytes);
            names.push_back(name);
        }
    return names;
}

bool HasToolsForBounds()
{
    return testing_support::HaveTool("timeout") && (hostile::Sanitized() || testing_support::HaveTool("prlimit"));
}

} // namespace

TEST(HostileCli, InfoGivesOneLinePerFile)
{
    if (!HasToolsForBounds())
        GTEST_SKIP() << "timeout or prlimit missing";
    TempDir dir;
    const std::vector<std::string> names = WriteCorpus(dir, hostile::ImageCorpus());
    std::string args = "info";
    for (const std::string& name : names)
        args += " " + Quoted(name);
    const CliRun r = RunBoundedCli(args, dir, 280);
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::string line;
    std::size_t i = 0;
    for (; std::getline(lines, line) && i < names.size(); ++i) {
        SCOPED_TRACE(line);
        ASSERT_TRUE(line.starts_with(names[i] + ": "));
        const std::string rest = line.substr(names[i].size() + 2);
        if (rest.starts_with("error: ")) {
            EXPECT_GT(rest.size(), 7u) << "an error without a text";
            continue;
        }
        EXPECT_FALSE(hostile::MustFail(names[i]));
        // "TYPE-NAME WxH BPP bpp DPI dpi": the size is the third word from the end but three.
        const auto bpp = rest.rfind(" bpp ");
        ASSERT_NE(bpp, std::string::npos);
        const auto sizeAt = rest.rfind(' ', rest.rfind(' ', bpp - 1) - 1) + 1;
        unsigned w = 0, h = 0;
        ASSERT_EQ(std::sscanf(rest.c_str() + sizeAt, "%ux%u", &w, &h), 2);
        EXPECT_GT(std::uint64_t { w } * h, 0u);
        EXPECT_LE(std::uint64_t { w } * h, 1u << 24);
    }
    EXPECT_EQ(i, names.size());
}

TEST(HostileCli, ConvertEndsWithAMessage)
{
    if (!HasToolsForBounds())
        GTEST_SKIP() << "timeout or prlimit missing";
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    for (const HostileFile& f : hostile::StoredFiles()) {
        // The headers that declare more than their data holds, and damage a reader may survive.
        if (hostile::Extension(f.name) == "plm"
            || !(hostile::MustFail(f.name) || f.name.starts_with("bomb-") || f.name.starts_with("palette-")
                || f.name.find("rle") != std::string::npos))
            continue;
        SCOPED_TRACE(f.name);
        testing_support::WriteFileBytes(dir.File(f.name), f.bytes);
        const CliRun r = RunBoundedCli("convert " + Quoted(f.name) + " " + Quoted("out/" + f.name + ".png"), dir, 60);
        EXPECT_NE(r.out + r.err, "") << "no message";
        if (hostile::MustFail(f.name)) {
            EXPECT_EQ(r.status, 1) << r.out;
        }
        EXPECT_EQ(r.status == 0, std::filesystem::exists(dir.File("out/" + f.name + ".png"))) << r.out;
    }
}

TEST(HostileCli, BatchReportsEveryFile)
{
    if (!HasToolsForBounds())
        GTEST_SKIP() << "timeout or prlimit missing";
    TempDir dir;
    std::filesystem::create_directory(dir.File("in"));
    std::filesystem::create_directory(dir.File("out"));
    std::size_t images = 0;
    for (const HostileFile& f : hostile::ImageCorpus())
        for (const std::string& name : { f.name, hostile::WrongExtensionName(f.name) }) {
            testing_support::WriteFileBytes(dir.File("in/" + name), f.bytes);
            images += core::ImageTypeFromExtension(name) != 0;
        }
    const CliRun r = RunBoundedCli("batch --to png --out out --jobs 2 -q in", dir, 280);
    EXPECT_EQ(r.status, 1);
    std::size_t converted = 0, failed = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        converted += line.starts_with("Successfully converted file ");
        failed += line.starts_with("# Error while converting file ");
        if (line.starts_with("Successfully converted file ")) {
            EXPECT_TRUE(std::filesystem::exists(line.substr(28))) << line;
        }
    }
    EXPECT_EQ(converted + failed, images);
    EXPECT_GT(failed, 0u);
    std::size_t outputs = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.File("out"))) {
        ++outputs;
        EXPECT_EQ(e.path().extension(), ".png") << "a stray file: " << e.path();
    }
    EXPECT_EQ(outputs, converted);
}

TEST(HostileCli, GifExtractEndsForEveryStream)
{
    if (!HasToolsForBounds())
        GTEST_SKIP() << "timeout or prlimit missing";
    TempDir dir;
    int run = 0;
    // The stored streams; the frame decoder's own test walks every cut of the seed animation.
    for (const HostileFile& f : hostile::StoredFiles()) {
        if (hostile::Extension(f.name) != "gif")
            continue;
        SCOPED_TRACE(f.name);
        testing_support::WriteFileBytes(dir.File(f.name), f.bytes);
        for (const char* coalesce : { "", " --coalesce" }) {
            const std::string out = "frames" + std::to_string(run++);
            std::filesystem::create_directory(dir.File(out));
            const CliRun r = RunBoundedCli("gif-extract " + Quoted(f.name) + " --out " + out + coalesce, dir, 120);
            if (r.status != 0) {
                EXPECT_NE(r.out + r.err, "") << "a failure without a message";
            }
        }
    }
    EXPECT_GT(run, 40);
}

TEST(HostileCli, DecryptRefusesEveryDamagedFile)
{
    if (!HasToolsForBounds())
        GTEST_SKIP() << "timeout or prlimit missing";
    TempDir dir;
    std::string args = "decrypt --out decrypted";
    std::size_t count = 0;
    for (const HostileFile& f : hostile::StoredFiles()) {
        if (hostile::Extension(f.name) != "plm")
            continue;
        testing_support::WriteFileBytes(dir.File(f.name), f.bytes);
        args += " " + Quoted(f.name);
        ++count;
    }
    std::filesystem::create_directory(dir.File("decrypted"));
    const CliRun r = RunBoundedCli(args, dir, 120, std::string("PELMORA_PASSWORD=") + kPassword);
    EXPECT_EQ(r.status, 1);
    std::size_t failed = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        failed += line.starts_with("# Error while converting file ");
    EXPECT_EQ(failed, count) << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("decrypted")));
}
