// The capturer's handling of its encoder process, with stand-in "ffmpeg" scripts placed
// first on PATH: stop signals, an encoder that ignores them, the capturer being killed, a
// missing encoder and exit statuses.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/capturer/capturer_process.h"
#include "tests/support/temp_dir.h"

namespace qarv::test {
namespace {

using Clock = std::chrono::steady_clock;

class ChildSupervisionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::mkdir(Bin().c_str(), 0755), 0); }

    std::string Bin() const { return dir_.file("bin"); }
    std::string Marker(const std::string& name) const { return dir_.file(name); }

    void WriteFakeEncoder(const std::string& body) {
        const std::string path = Bin() + "/ffmpeg";
        WriteFileText(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + Marker("args") + "'\n" + body);
        ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    }

    // A thumbnail command: no sound devices, so no sound server is asked.
    bool StartCapturer(
        const std::string& commandLine = " -i \"in.flv\" -f image2 -ss 3 -vframes 1 -y \"out.jpeg\"") {
        const char* path = std::getenv("PATH");
        return capturer_.StartCapturer(commandLine, dir_.path(),
                                       {"PATH=" + Bin() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                                       Marker("stderr"));
    }

    bool WaitForFile(const std::string& path, int timeoutMs = 30000) const {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            struct stat info;
            if (::stat(path.c_str(), &info) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    pid_t OnlyChild() const {
        const std::vector<pid_t> children = ChildrenOf(capturer_.pid());
        return children.size() == 1 ? children[0] : 0;
    }

    TempDir dir_;
    CapturerProcess capturer_;
};

class StopSignalTest : public ChildSupervisionTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalTest, ReachesTheEncoderWhoseStatusIsReturned) {
    WriteFakeEncoder("trap 'echo TERM > \"" + Marker("stopped") + "\"; exit 7' TERM\n" +
                     "trap 'echo INT > \"" + Marker("stopped") + "\"; exit 8' INT\n" + "trap 'echo HUP > \"" +
                     Marker("stopped") + "\"; exit 9' HUP\n" + "touch '" + Marker("ready") +
                     "'\nwhile :; do sleep 0.05; done\n");
    ASSERT_TRUE(StartCapturer());
    ASSERT_TRUE(WaitForFile(Marker("ready")));

    const int signal = GetParam();
    const auto sent = Clock::now();
    capturer_.Signal(signal);
    const int code = capturer_.Wait(30000);
    // Well before the three seconds after which an encoder that ignores the stop is killed.
    EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(2500));
    const std::string name = signal == SIGTERM ? "TERM" : signal == SIGINT ? "INT" : "HUP";
    EXPECT_EQ(ReadFileText(Marker("stopped")), name + "\n");
    EXPECT_EQ(code, signal == SIGTERM ? 7 : signal == SIGINT ? 8 : 9);
    // The encoder ran with the translated command.
    EXPECT_EQ(ReadFileText(Marker("args")),
              "-hide_banner\n-nostdin\n-loglevel\nwarning\n-ss\n3\n-i\nin.flv\n-f\nimage2\n-vframes\n1\n-y\n"
              "out.jpeg\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

// Ctrl+C in a terminal or `timeout` signal the whole process group. ffmpeg takes a second
// stop signal for "exit at once, leave the file unfinished", so it must get only the one we
// pass on: it runs in a process group of its own.
TEST_F(ChildSupervisionTest, StopSentToTheCapturersGroupReachesTheEncoderThroughTheCapturer) {
    WriteFakeEncoder("trap 'echo TERM >> \"" + Marker("stopped") + "\"; stop=1' TERM\ntouch '" +
                     Marker("ready") + "'\nwhile [ -z \"$stop\" ]; do sleep 0.05; done\nexit 7\n");
    ASSERT_TRUE(StartCapturer());
    ASSERT_TRUE(WaitForFile(Marker("ready")));
    const pid_t encoder = OnlyChild();
    ASSERT_GT(encoder, 0);
    EXPECT_EQ(ProcessGroupOf(capturer_.pid()), capturer_.pid());
    EXPECT_EQ(ProcessGroupOf(encoder), encoder);

    capturer_.SignalGroup(SIGTERM);
    EXPECT_EQ(capturer_.Wait(30000), 7);
    EXPECT_EQ(ReadFileText(Marker("stopped")), "TERM\n");
}

TEST_F(ChildSupervisionTest, EncoderThatIgnoresTheStopIsKilledThreeSecondsLater) {
    WriteFakeEncoder("trap '' TERM INT\ntouch '" + Marker("ready") + "'\nexec sleep 30\n");
    ASSERT_TRUE(StartCapturer());
    ASSERT_TRUE(WaitForFile(Marker("ready")));
    const pid_t encoder = OnlyChild();
    ASSERT_GT(encoder, 0);
    // The stop must meet sleep itself, with the ignored signals it inherited from the script.
    const std::string comm = "/proc/" + std::to_string(encoder) + "/comm";
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ReadFileText(comm) != "sleep\n" && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ReadFileText(comm), "sleep\n");

    const auto sent = Clock::now();
    capturer_.Signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    capturer_.Signal(SIGTERM);  // a second stop does not restart the grace period
    const int code = capturer_.Wait(10000);
    const auto took = Clock::now() - sent;
    EXPECT_EQ(code, 128 + SIGKILL);
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LT(took, std::chrono::milliseconds(8000));
    EXPECT_FALSE(ProcessAlive(encoder));
    EXPECT_NE(ReadFileText(Marker("stderr")).find("did not stop within 3000 ms; killing it"),
              std::string::npos);
}

TEST_F(ChildSupervisionTest, KilledCapturerStopsTheEncoder) {
    WriteFakeEncoder("trap 'echo TERM > \"" + Marker("stopped") + "\"; exit 0' TERM\ntouch '" +
                     Marker("ready") + "'\nwhile :; do sleep 0.05; done\n");
    ASSERT_TRUE(StartCapturer());
    ASSERT_TRUE(WaitForFile(Marker("ready")));
    const pid_t encoder = OnlyChild();
    ASSERT_GT(encoder, 0);

    capturer_.Signal(SIGKILL);
    EXPECT_EQ(capturer_.Wait(30000), 128 + SIGKILL);
    // The encoder is told to stop (and so can close its file), not left running.
    EXPECT_TRUE(WaitForFile(Marker("stopped")));
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (ProcessAlive(encoder) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ProcessAlive(encoder));
}

// A shell stands in for the recorder that starts the capturer and then dies (Linux also
// reports the end of the starting thread so). A recording is then stopped, so that the
// encoder finishes its file; a thumbnail is left to finish.
struct StarterDeathCase {
    const char* command;
    bool stopped;
};

class StarterDeathTest : public ChildSupervisionTest,
                         public ::testing::WithParamInterface<StarterDeathCase> {};

TEST_P(StarterDeathTest, StopsARecordingButNotAThumbnail) {
    WriteFakeEncoder("trap 'echo TERM > \"" + Marker("stopped") + "\"; exit 0' TERM\ntouch '" +
                     Marker("ready") + "'\nwhile [ ! -e '" + Marker("finish") +
                     "' ]; do sleep 0.05; done\ntouch '" + Marker("done") + "'\n");
    const char* path = std::getenv("PATH");
    ASSERT_TRUE(capturer_.Start(
        "/bin/sh", {"-c", std::string("'") + QARV_CAPTURER_PATH + "' " + GetParam().command + " & wait"},
        dir_.path(), {"PATH=" + Bin() + ":" + (path != nullptr ? path : "/usr/bin:/bin"), "DISPLAY=:99"},
        Marker("stderr")));
    ASSERT_TRUE(WaitForFile(Marker("ready")));
    capturer_.Signal(SIGKILL);
    if (GetParam().stopped) {
        EXPECT_TRUE(WaitForFile(Marker("stopped"), 3000));
    } else {
        WriteFileText(Marker("finish"), "");
        EXPECT_TRUE(WaitForFile(Marker("done")));
        EXPECT_FALSE(WaitForFile(Marker("stopped"), 0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StarterDeathTest,
    ::testing::Values(StarterDeathCase{"-f dshow -framerate 15 -i video=screen-capture-recorder "
                                       "-y out.flv",
                                       true},
                      StarterDeathCase{"-i in.flv -f image2 -ss 3 -vframes 1 -y out.jpeg", false}));

TEST_F(ChildSupervisionTest, ExitStatusOfTheEncoderIsPassedOn) {
    WriteFakeEncoder("exit 3\n");
    ASSERT_TRUE(StartCapturer());
    EXPECT_EQ(capturer_.Wait(30000), 3);

    WriteFakeEncoder("kill -KILL $$\n");
    ASSERT_TRUE(StartCapturer());
    EXPECT_EQ(capturer_.Wait(30000), 128 + SIGKILL);
}

TEST_F(ChildSupervisionTest, MissingEncoderFailsWithAMessage) {
    ASSERT_TRUE(capturer_.StartCapturer(" -i \"in.flv\" -f image2 -ss 3 -vframes 1 -y \"out.jpeg\"",
                                        dir_.path(), {"PATH=" + Bin()}, Marker("stderr")));
    EXPECT_EQ(capturer_.Wait(30000), 127);
    EXPECT_NE(ReadFileText(Marker("stderr")).find("capturer: cannot run ffmpeg: No such file or directory"),
              std::string::npos);
}

TEST_F(ChildSupervisionTest, CommandWithoutDevicesFailsWithoutStartingTheEncoder) {
    WriteFakeEncoder("exit 0\n");
    ASSERT_TRUE(StartCapturer(" -f dshow -framerate 20 -i video= -f dshow -i audio= -y \"out.flv\""));
    EXPECT_EQ(capturer_.Wait(30000), 1);
    EXPECT_NE(ReadFileText(Marker("stderr")).find("capturer: no video capture device given"),
              std::string::npos);
    struct stat info;
    EXPECT_NE(::stat(Marker("args").c_str(), &info), 0);
}

}  // namespace
}  // namespace qarv::test
