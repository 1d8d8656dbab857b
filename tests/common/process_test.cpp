#include "common/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string FirstExisting(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// Polls `condition` every 10 ms until it holds or `limit` has passed.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

// State letter of /proc/PID/stat ('Z' for a zombie), or 0 if there is no such process.
char ProcessState(int pid) {
    const std::string stat = test::ReadFileText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return 0;
    return stat[close + 2];
}

// A signal set field ("SigBlk:", "SigIgn:") of /proc/PID/status.
unsigned long long SignalMaskField(const std::string& status, const std::string& field) {
    const std::size_t at = status.find(field);
    if (at == std::string::npos)
        return ~0ull;
    return std::stoull(status.substr(at + field.size()), nullptr, 16);
}

unsigned long long SignalBit(int signal) {
    return 1ull << (signal - 1);
}

// Access mode (O_RDONLY, O_WRONLY, O_RDWR) of descriptor `fd` of process `pid`, -1 if unknown.
int AccessMode(int pid, int fd) {
    const std::string info =
        test::ReadFileText("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
    const std::size_t at = info.find("flags:");
    if (at == std::string::npos)
        return -1;
    return static_cast<int>(std::stoul(info.substr(at + 6), nullptr, 8) & O_ACCMODE);
}

std::string Uppercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Copies of sleep and sh under names that no other process uses, in a temporary
// directory. Children still running at the end are killed.
class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string tag = std::to_string(::getpid());
        sleeperName_ = "qarvsleeper" + tag;
        shellName_ = "qarvshell" + tag;
        const std::string sleep = FirstExisting({"/bin/sleep", "/usr/bin/sleep"});
        const std::string sh = FirstExisting({"/bin/sh", "/usr/bin/sh"});
        ASSERT_FALSE(sleep.empty());
        ASSERT_FALSE(sh.empty());
        std::filesystem::copy_file(sleep, Sleeper());
        std::filesystem::copy_file(sh, Shell());
    }

    void TearDown() override {
        for (ProcessHandle& child : children_) {
            if (child.pid() != 0) {
                child.Terminate(0);
                child.Wait(5000);
            }
        }
    }

    std::string Sleeper() const { return dir_.file(sleeperName_); }
    std::string Shell() const { return dir_.file(shellName_); }

    // Starts a program and keeps its handle for clean-up; returns a reference to it.
    ProcessHandle& Start(const std::string& program, const std::string& commandLine) {
        children_.push_back(StartProcessHidden(program, commandLine));
        return children_.back();
    }

    test::TempDir dir_;
    std::string sleeperName_;
    std::string shellName_;
    std::deque<ProcessHandle> children_;
};

TEST_F(ProcessTest, FindsAndTerminatesByNameIgnoringCase) {
    ProcessHandle& child = Start(Sleeper(), " 30");
    ASSERT_TRUE(child.valid());
    ASSERT_GT(child.pid(), 0);
    EXPECT_TRUE(IsProcessRunning(sleeperName_));
    EXPECT_TRUE(IsProcessRunning(Uppercase(sleeperName_)));
    EXPECT_EQ(child.Wait(0), ProcessHandle::kTimeout);

    EXPECT_TRUE(TerminateProcessesByName(Uppercase(sleeperName_)));
    ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 128 + SIGTERM);
    EXPECT_EQ(child.pid(), 0);
    EXPECT_TRUE(child.valid());
    EXPECT_FALSE(IsProcessRunning(sleeperName_));
    // A second wait still reports the reaped child.
    EXPECT_EQ(child.Wait(0), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 128 + SIGTERM);
}

TEST_F(ProcessTest, TerminatesEveryMatchingProcess) {
    ProcessHandle& first = Start(Sleeper(), "x 30");
    ProcessHandle& second = Start(Sleeper(), "x 30");
    ASSERT_TRUE(first.valid());
    ASSERT_TRUE(second.valid());
    EXPECT_TRUE(TerminateProcessesByName(sleeperName_));
    EXPECT_EQ(first.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(second.Wait(30000), ProcessHandle::kExited);
}

TEST_F(ProcessTest, NamesOfNoRunningProcess) {
    EXPECT_FALSE(IsProcessRunning(sleeperName_));
    EXPECT_FALSE(TerminateProcessesByName(sleeperName_));
    EXPECT_FALSE(IsProcessRunning(""));
    EXPECT_FALSE(TerminateProcessesByName(""));
    // A prefix of a running program's name is another name.
    ProcessHandle& child = Start(Sleeper(), " 30");
    ASSERT_TRUE(child.valid());
    EXPECT_FALSE(IsProcessRunning(sleeperName_.substr(0, sleeperName_.size() - 1)));
    EXPECT_FALSE(IsProcessRunning(sleeperName_ + ".exe"));
}

TEST_F(ProcessTest, ProgramReplacedWhileRunningStillCounts) {
    ProcessHandle& child = Start(Sleeper(), " 30");
    ASSERT_TRUE(child.valid());
    ASSERT_TRUE(std::filesystem::remove(Sleeper()));
    test::WriteFileText(Sleeper(), "new version");
    EXPECT_TRUE(IsProcessRunning(sleeperName_));
    EXPECT_TRUE(TerminateProcessesByName(sleeperName_));
    EXPECT_EQ(child.Wait(30000), ProcessHandle::kExited);
}

TEST_F(ProcessTest, ZombieIsNotRunning) {
    ProcessHandle& child = Start(Shell(), " -c \"exit 3\"");
    ASSERT_TRUE(child.valid());
    const int pid = child.pid();
    ASSERT_TRUE(Eventually([&] { return ProcessState(pid) == 'Z'; }, 30000ms));
    EXPECT_FALSE(IsProcessRunning(shellName_));
    EXPECT_FALSE(TerminateProcessesByName(shellName_));
    ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 3);
}

TEST_F(ProcessTest, ExitCodeOfNormalExit) {
    ProcessHandle& child = Start(Shell(), "sh -c \"exit 7\"");
    ASSERT_TRUE(child.valid());
    ASSERT_EQ(child.Wait(-1), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 7);
}

TEST_F(ProcessTest, FileHeldOpenByAnotherProcessIsSeenUntilItIsClosed) {
    const std::string file = dir_.file("out.flv");
    test::WriteFileText(file, "x");
    EXPECT_FALSE(IsFileOpenByOtherProcess(file));
    ProcessHandle& child = Start(Shell(), "sh -c \"exec 3>>'" + file + "'; exec sleep 30\"");
    ASSERT_TRUE(child.valid());
    EXPECT_TRUE(Eventually([&] { return IsFileOpenByOtherProcess(file); }, std::chrono::seconds(30)));
    EXPECT_TRUE(IsFileOpenByOtherProcess(dir_.path() + "/./out.flv"));  // the same file, another spelling
    EXPECT_FALSE(IsFileOpenByOtherProcess(dir_.file("other.flv")));
    child.Terminate(0);
    child.Wait(5000);
    EXPECT_FALSE(IsFileOpenByOtherProcess(file));
}

TEST_F(ProcessTest, IgnoredTerminationIsFollowedByKillWithoutBlocking) {
    // The shell ignores SIGTERM and becomes a copy of sleep, which keeps ignoring it.
    ProcessHandle& child = Start(Shell(), " -c \"trap '' TERM; exec " + Sleeper() + " 30\"");
    ASSERT_TRUE(child.valid());
    ASSERT_TRUE(Eventually([&] { return IsProcessRunning(sleeperName_); }, 30000ms));

    const int graceMs = 2000;
    const auto before = Clock::now();
    EXPECT_TRUE(TerminateProcessesByName(sleeperName_, graceMs));
    EXPECT_LT(Clock::now() - before, 1000ms);  // the grace runs on without the caller
    // Still alive within the grace period, killed after it.
    EXPECT_EQ(child.Wait(200), ProcessHandle::kTimeout);
    ASSERT_EQ(child.Wait(graceMs + 10000), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 128 + SIGKILL);
}

TEST_F(ProcessTest, HandleTerminateKillsAfterGrace) {
    ProcessHandle& child = Start(Shell(), " -c \"trap '' TERM; exec " + Sleeper() + " 30\"");
    ASSERT_TRUE(child.valid());
    ASSERT_TRUE(Eventually([&] { return IsProcessRunning(sleeperName_); }, 30000ms));
    const auto before = Clock::now();
    EXPECT_TRUE(child.Terminate(2000));
    EXPECT_LT(Clock::now() - before, 1000ms);  // the grace runs on without the caller
    ASSERT_EQ(child.Wait(10000), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 128 + SIGKILL);
    // A reaped child can no longer be signalled.
    EXPECT_FALSE(child.Terminate(0));
}

TEST_F(ProcessTest, WaitTimesOutForRunningChild) {
    ProcessHandle& child = Start(Sleeper(), " 30");
    ASSERT_TRUE(child.valid());
    const auto before = Clock::now();
    EXPECT_EQ(child.Wait(150), ProcessHandle::kTimeout);
    const auto waited = Clock::now() - before;
    EXPECT_GE(waited, 150ms);
    EXPECT_LT(waited, 1000ms);
    EXPECT_EQ(child.ExitCode(), -1);
}

TEST_F(ProcessTest, MissingOrNonExecutableProgramGivesInvalidHandle) {
    ProcessHandle missing = StartProcessHidden(dir_.file("no-such-program"), " x");
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(missing.pid(), 0);
    EXPECT_EQ(missing.Wait(0), ProcessHandle::kWaitFailed);
    EXPECT_FALSE(missing.Terminate(0));

    test::WriteFileText(dir_.file("plain.txt"), "#!/bin/sh\nexit 0\n");
    EXPECT_FALSE(StartProcessHidden(dir_.file("plain.txt"), "").valid());
    EXPECT_FALSE(StartProcessHidden(dir_.path(), "").valid());
    EXPECT_FALSE(StartProcessHidden("", " x").valid());
}

TEST_F(ProcessTest, RelativeProgramIsTakenFromCurrentDirectoryNotPath) {
    {
        test::ScopedCurrentDirectory inDir(dir_.path());
        // No slash in the name: still the file in the current directory.
        ProcessHandle& child = Start(shellName_, " -c \"pwd > cwd.txt\"");
        ASSERT_TRUE(child.valid());
        ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
        EXPECT_EQ(child.ExitCode(), 0);
        // "sh" exists in PATH but not here.
        EXPECT_FALSE(StartProcessHidden("sh", " -c \"exit 0\"").valid());
    }
    const std::string expected = std::filesystem::canonical(dir_.path()).string() + "\n";
    EXPECT_EQ(test::ReadFileText(dir_.file("cwd.txt")), expected);
}

TEST_F(ProcessTest, ArgumentsFollowWindowsRules) {
    const std::string out = dir_.file("args.txt");
    ProcessHandle& child =
        Start(Shell(), "ignored.exe -c \"printf '[%s]' \\\"$0\\\" \\\"$@\\\" > " + out +
                           "\" zero \"a b\" q\\\"uote C:\\dir\\ \"\" \"麦克风 (Realtek)\"");
    ASSERT_TRUE(child.valid());
    ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(test::ReadFileText(out), "[zero][a b][q\"uote][C:\\dir\\][][麦克风 (Realtek)]");
}

TEST_F(ProcessTest, StandardStreamsAreNullAndNoDescriptorIsInherited) {
    // A descriptor of ours without close-on-exec must not reach the child.
    const std::string marker = dir_.file("leak-marker");
    const int leaky = ::open(marker.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(leaky, 0);
    ProcessHandle& child = Start(Sleeper(), " 30");
    ::close(leaky);
    ASSERT_TRUE(child.valid());

    // While the child is still being loaded, the loader opens and closes its libraries, so
    // the listing is read until it settles; an inherited descriptor never goes away.
    const std::string fdDir = "/proc/" + std::to_string(child.pid()) + "/fd";
    std::map<std::string, std::string> descriptors;  // number -> target
    const std::map<std::string, std::string> expected = {
        {"0", "/dev/null"}, {"1", "/dev/null"}, {"2", "/dev/null"}};
    Eventually(
        [&] {
            descriptors.clear();
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(fdDir, error)) {
                const auto target = std::filesystem::read_symlink(entry.path(), error);
                if (!error)
                    descriptors[entry.path().filename().string()] = target.string();
            }
            return descriptors == expected;
        },
        10s);
    EXPECT_EQ(descriptors, expected);
    // Input is open for reading only, the outputs for writing only.
    EXPECT_EQ(AccessMode(child.pid(), 0), O_RDONLY);
    EXPECT_EQ(AccessMode(child.pid(), 1), O_WRONLY);
    EXPECT_EQ(AccessMode(child.pid(), 2), O_WRONLY);
}

TEST_F(ProcessTest, ChildGetsDefaultSignalHandling) {
    // SIGTERM ignored and SIGUSR1 blocked here must not carry over to the child.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGTERM, &ignore, &previous), 0);
    sigset_t block;
    sigset_t oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &oldMask), 0);
    ProcessHandle& child = Start(Sleeper(), " 30");
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGTERM, &previous, nullptr);
    ASSERT_TRUE(child.valid());

    const std::string status = test::ReadFileText("/proc/" + std::to_string(child.pid()) + "/status");
    EXPECT_EQ(SignalMaskField(status, "SigBlk:") & SignalBit(SIGUSR1), 0u) << status;
    EXPECT_EQ(SignalMaskField(status, "SigIgn:") & SignalBit(SIGTERM), 0u) << status;
    EXPECT_TRUE(child.Terminate(3000));
    ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(child.ExitCode(), 128 + SIGTERM);
}

TEST_F(ProcessTest, ChildRunsInItsOwnSession) {
    ProcessHandle& child = Start(Sleeper(), " 30");
    ASSERT_TRUE(child.valid());
    EXPECT_EQ(::getsid(child.pid()), child.pid());
}

TEST_F(ProcessTest, ReleasedChildLeavesNoZombie) {
    ProcessHandle child = StartProcessHidden(Sleeper(), " 0.3");
    ASSERT_TRUE(child.valid());
    const int pid = child.pid();
    child.Release();
    EXPECT_FALSE(child.valid());
    EXPECT_EQ(child.pid(), 0);
    EXPECT_EQ(child.Wait(0), ProcessHandle::kWaitFailed);
    EXPECT_NE(ProcessState(pid), 0);  // still running
    // Once it ends it is reaped in the background: the pid disappears.
    EXPECT_TRUE(Eventually([&] { return ProcessState(pid) == 0; }, 30000ms)) << ProcessState(pid);
}

TEST_F(ProcessTest, ReleasingAnEndedChildReapsIt) {
    ProcessHandle child = StartProcessHidden(Shell(), " -c \"exit 0\"");
    ASSERT_TRUE(child.valid());
    const int pid = child.pid();
    ASSERT_TRUE(Eventually([&] { return ProcessState(pid) == 'Z'; }, 30000ms));
    child.Release();
    EXPECT_EQ(ProcessState(pid), 0);
}

TEST_F(ProcessTest, MovedHandleKeepsTheChild) {
    ProcessHandle original = StartProcessHidden(Shell(), " -c \"exit 5\"");
    ASSERT_TRUE(original.valid());
    const int pid = original.pid();
    ProcessHandle moved(std::move(original));
    EXPECT_FALSE(original.valid());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(moved.pid(), pid);
    ProcessHandle assigned;
    assigned = std::move(moved);
    ASSERT_EQ(assigned.Wait(30000), ProcessHandle::kExited);
    EXPECT_EQ(assigned.ExitCode(), 5);
}

TEST_F(ProcessTest, ConcurrentLookupsAndTermination) {
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(Start(Sleeper(), " 30").valid());
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                if (IsProcessRunning(sleeperName_))
                    ++found;
            }
        });
    }
    threads.emplace_back([&] { TerminateProcessesByName(sleeperName_, 1000); });
    for (std::thread& thread : threads)
        thread.join();
    for (ProcessHandle& child : children_) {
        ASSERT_EQ(child.Wait(30000), ProcessHandle::kExited);
        EXPECT_EQ(child.ExitCode(), 128 + SIGTERM);
    }
    EXPECT_FALSE(IsProcessRunning(sleeperName_));
}

}  // namespace
}  // namespace qarv
