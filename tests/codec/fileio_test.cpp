#include "codec/fileio.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::TempDir;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return { text.begin(), text.end() };
}

std::string Listing(const TempDir& dir)
{
    std::string out;
    testing_support::RunCommand("ls -A " + dir.path(), &out);
    return out;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st { };
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

// Read without touching the umask, which is what is under test.
int UmaskFromProc()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return std::stoi(line.substr(6), nullptr, 8);
    return -1;
}

bool HasTmpFile(const std::string& dir)
{
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

TEST(FileIo, FifoIsRefusedWithoutWaitingForAWriter)
{
    TempDir dir;
    const std::string fifo = dir.File("photo.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(10); // a blocking open ends the test binary instead of hanging it
    std::vector<std::uint8_t> bytes;
    codec::Result r = codec::ReadWholeFile(fifo, bytes);
    ::alarm(0);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.message, "not a regular file: " + fifo);
    EXPECT_FALSE(codec::WriteFileAtomic(fifo, Bytes("x")));
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
}

TEST(FileIo, SymbolicLinksAreWrittenThroughAndKept)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link name -> what it points at
        std::string save; // name saved to
        std::string target; // file that must receive the data
    };
    const std::vector<Case> cases = {
        { "absolute", { { "link.png", "@/real.png" } }, "link.png", "real.png" },
        { "relative chain into a subfolder",
            { { "a.png", "b.png" }, { "b.png", "sub/real.png" } },
            "a.png",
            "sub/real.png" },
        { "dangling link creates its target", { { "new.png", "sub/made.png" } }, "new.png", "sub/made.png" },
    };
    for (const Case& c : cases) {
        TempDir dir;
        ::mkdir(dir.File("sub").c_str(), 0755);
        if (c.target != "sub/made.png")
            testing_support::WriteFileBytes(dir.File(c.target), Bytes("old"));
        for (const auto& [name, to] : c.links) {
            const std::string dest = to[0] == '@' ? dir.path() + to.substr(1) : to;
            ASSERT_EQ(::symlink(dest.c_str(), dir.File(name).c_str()), 0) << c.name;
        }
        ASSERT_TRUE(codec::WriteFileAtomic(dir.File(c.save), Bytes("new"))) << c.name;
        EXPECT_EQ(testing_support::ReadFileBytes(dir.File(c.target)), Bytes("new")) << c.name;
        for (const auto& link : c.links)
            EXPECT_TRUE(S_ISLNK(ModeOf(dir.File(link.first)))) << c.name << ": " << link.first;
    }
}

TEST(FileIo, ReplacedFileKeepsItsPermissionsButNotSetuidOrSetgid)
{
    TempDir dir;
    const std::string path = dir.File("tool.png");
    testing_support::WriteFileBytes(path, Bytes("old"));
    ASSERT_EQ(::chmod(path.c_str(), 06750), 0);
    ASSERT_EQ(ModeOf(path) & 07777, 06750u);
    ASSERT_TRUE(codec::WriteFileAtomic(path, Bytes("new")));
    EXPECT_EQ(ModeOf(path) & 07777, 0750u);
}

TEST(FileIo, LongestFileNamesSave)
{
    TempDir dir;
    const std::string name = std::string(246, 'n') + ".png"; // 250 bytes, NAME_MAX is 255
    const std::string path = dir.File(name);
    testing_support::WriteFileBytes(path, Bytes("old"));
    ASSERT_TRUE(codec::WriteFileAtomic(path, Bytes("new")));
    EXPECT_EQ(testing_support::ReadFileBytes(path), Bytes("new"));
    EXPECT_EQ(Listing(dir), name + "\n");
}

TEST(FileIo, KilledWriterLeavesNothingVisible)
{
    TempDir dir;
    if (!HasTmpFile(dir.path()))
        GTEST_SKIP() << "no O_TMPFILE on this file system: a hidden temporary name is used";
    const std::string path = dir.File("out.tif");
    testing_support::WriteFileBytes(path, Bytes("old"));
    testing_support::WriteFileBytes(dir.File("other.png"), Bytes("other"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        codec::AtomicFile file(path);
        if (!file.Open())
            ::_exit(1);
        std::vector<char> chunk(1 << 20, 'x');
        std::fwrite(chunk.data(), 1, chunk.size(), file.stream());
        std::fflush(file.stream());
        const char one = 1;
        if (::write(ready[1], &one, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause(); // killed here, mid-write
    }
    ::close(ready[1]);
    char got = 0;
    const bool started = ::read(ready[0], &got, 1) == 1;
    ::close(ready[0]);
    const std::string during = Listing(dir);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(started);
    EXPECT_EQ(during, "other.png\nout.tif\n");
    EXPECT_EQ(Listing(dir), "other.png\nout.tif\n");
    EXPECT_EQ(testing_support::ReadFileBytes(path), Bytes("old"));
}

TEST(FileIo, ConcurrentSavesLeaveTheUmaskAloneAndApplyIt)
{
    TempDir dir;
    const mode_t saved = ::umask(027);
    std::atomic<bool> done { false };
    std::atomic<int> changed { 0 };
    std::thread watcher([&] {
        while (!done)
            if (UmaskFromProc() != 027)
                ++changed;
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&dir, t] {
            for (int i = 0; i < 100; ++i)
                codec::WriteFileAtomic(dir.File(std::to_string(t) + "-" + std::to_string(i)), Bytes("data"));
        });
    for (auto& w : writers)
        w.join();
    done = true;
    watcher.join();
    ::umask(saved);
    EXPECT_EQ(changed, 0);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(ModeOf(dir.File(std::to_string(t) + "-" + std::to_string(i))) & 07777, 0640u);
}
