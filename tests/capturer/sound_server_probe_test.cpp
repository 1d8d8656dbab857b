#include "capturer/sound_server_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using Clock = std::chrono::steady_clock;

// Sets PULSE_SERVER for the scope of a test.
class ScopedPulseServer {
  public:
    explicit ScopedPulseServer(const std::string& value) {
        if (const char* old = std::getenv("PULSE_SERVER"))
            previous_ = old, hadPrevious_ = true;
        ::setenv("PULSE_SERVER", value.c_str(), 1);
    }
    ~ScopedPulseServer() {
        if (hadPrevious_)
            ::setenv("PULSE_SERVER", previous_.c_str(), 1);
        else
            ::unsetenv("PULSE_SERVER");
    }

  private:
    std::string previous_;
    bool hadPrevious_ = false;
};

TEST(SoundServerProbeTest, ListsSourcesAndTheMonitorOfTheDefaultOutput) {
    test::PulseServer server;
    if (!server.Start())
        GTEST_SKIP() << "no private PulseAudio server: " << server.error();
    std::string feed;
    const std::string microphone = server.AddMicrophone("麦克风 (USB Audio)", feed);
    ASSERT_FALSE(microphone.empty());
    ScopedPulseServer scope(server.server());

    CaptureEnvironment environment;
    environment.soundServer = false;
    ASSERT_EQ(SoundServerProbe::Probe(2000, environment), SoundServerProbe::kReachable);
    EXPECT_TRUE(environment.soundServer);
    EXPECT_EQ(environment.defaultSinkMonitor, "qarv_speakers.monitor");
    bool sawMicrophone = false;
    bool sawMonitor = false;
    for (const AudioSourceInfo& source : environment.sources) {
        if (source.name == microphone) {
            sawMicrophone = true;
            EXPECT_EQ(source.description, "麦克风 (USB Audio)");
            EXPECT_FALSE(source.isMonitor);
        }
        if (source.name == "qarv_speakers.monitor") {
            sawMonitor = true;
            EXPECT_TRUE(source.isMonitor);
        }
    }
    EXPECT_TRUE(sawMicrophone);
    EXPECT_TRUE(sawMonitor);
}

TEST(SoundServerProbeTest, AbsentServerIsReportedAtOnce) {
    test::TempDir dir;
    ScopedPulseServer scope("unix:" + dir.file("no-such-socket"));
    CaptureEnvironment environment;
    environment.soundServer = true;
    environment.sources.push_back({"stale", "stale", false});
    const auto started = Clock::now();
    EXPECT_EQ(SoundServerProbe::Probe(2000, environment), SoundServerProbe::kUnreachable);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1500));  // not the 2 s limit
    EXPECT_FALSE(environment.soundServer);
    EXPECT_TRUE(environment.sources.empty());
}

TEST(SoundServerProbeTest, ServerThatNeverAnswersIsGivenUpAfterTheTimeout) {
    test::TempDir dir;
    const std::string path = dir.file("silent");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);  // connections are queued but never answered

    ScopedPulseServer scope("unix:" + path);
    CaptureEnvironment environment;
    const auto started = Clock::now();
    EXPECT_EQ(SoundServerProbe::Probe(500, environment), SoundServerProbe::kUnreachable);
    const auto took = Clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::milliseconds(5000));
    ::close(listener);
}

}  // namespace
}  // namespace qarv
