// What flushing each saved file to disk costs: a batch of 1000 small files (20 KB, the size of
// a web thumbnail) saved with WriteFileAtomic, against the same temporary-file-and-rename
// steps without fsync. The files go to the build folder, on the disk the program would save to
// (not /tmp, which may be in memory).
#include "bench_support.h"

#include "codec/fileio.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int kFiles = 1000;
constexpr std::size_t kFileBytes = 20 * 1024;

std::string BatchFolder()
{
    const std::string dir = bench::BenchFile("fileio-batch");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::uint8_t> Payload()
{
    std::vector<std::uint8_t> data(kFileBytes);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
    return data;
}

// Temporary file and rename by hand, with the file flushed before the rename or not at all
// (WriteFileAtomic also flushes the folder after it).
bool WriteRename(const std::string& path, const std::vector<std::uint8_t>& data, bool sync)
{
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    const bool synced = !sync || ::fsync(fd) == 0;
    return ::close(fd) == 0 && written && synced && ::rename(temp.c_str(), path.c_str()) == 0;
}

void BM_SaveBatch_FileAndFolderFsync(benchmark::State& state)
{
    const std::string dir = BatchFolder();
    const auto data = Payload();
    for (auto _ : state)
        for (int i = 0; i < kFiles; ++i)
            if (!codec::WriteFileAtomic(dir + "/" + std::to_string(i) + ".jpg", data))
                state.SkipWithError("save failed");
    state.counters["files/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(dir);
}

void BM_SaveBatch_ByHand(benchmark::State& state)
{
    const std::string dir = BatchFolder();
    const auto data = Payload();
    for (auto _ : state)
        for (int i = 0; i < kFiles; ++i)
            if (!WriteRename(dir + "/" + std::to_string(i) + ".jpg", data, state.range(0) != 0))
                state.SkipWithError("save failed");
    state.counters["files/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(dir);
}

} // namespace

// Disk waits are the point: rates by wall-clock time.
BENCHMARK(BM_SaveBatch_FileAndFolderFsync)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SaveBatch_ByHand)
    ->ArgName("fsync")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
