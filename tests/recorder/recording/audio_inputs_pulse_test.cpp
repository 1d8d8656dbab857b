#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "recorder/recording/audio_inputs.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The longest a query may take before it counts as a hang.
constexpr milliseconds kHardDeadline(6000);

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_, previous_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A listening unix socket at `path` that answers nothing.
UniqueFd Listen(const std::string& path) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 4) != 0) {
        return UniqueFd();
    }
    return fd;
}

struct Outcome {
    int result;
    std::vector<std::string> names;
    bool found;
    std::string microphone;
    milliseconds listTime;
    milliseconds findTime;
};

// Lists the inputs and looks for the microphone, timing both.
Outcome Query() {
    Outcome outcome{0, {"unset"}, true, "unset", {}, {}};
    auto start = Clock::now();
    outcome.result = ListAudioInputs(outcome.names);
    outcome.listTime = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    start = Clock::now();
    FindMicrophone(outcome.found, outcome.microphone);
    outcome.findTime = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return outcome;
}

void ExpectNoMicrophone(const Outcome& outcome) {
    EXPECT_EQ(outcome.result, kAudioInputsNoServer);
    EXPECT_TRUE(outcome.names.empty());
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(outcome.microphone, "");
    EXPECT_LT(outcome.listTime, kHardDeadline);
    EXPECT_LT(outcome.findTime, kHardDeadline);
}

TEST(AudioInputsPulseTest, NoSoundServerIsNoMicrophoneAtOnce) {
    test::TempDir dir;
    ScopedEnv server("PULSE_SERVER", "unix:" + dir.file("missing-socket"));
    const Outcome outcome = Query();
    ExpectNoMicrophone(outcome);
    // Nothing to wait for: well under the query's own time limit.
    EXPECT_LT(outcome.listTime, milliseconds(kAudioQueryTimeoutMs));
}

TEST(AudioInputsPulseTest, ServerThatNeverAnswersDoesNotHang) {
    test::TempDir dir;
    const std::string path = dir.file("silent");
    const UniqueFd listener = Listen(path);
    ASSERT_TRUE(listener.valid());
    ScopedEnv server("PULSE_SERVER", "unix:" + path);
    ExpectNoMicrophone(Query());
}

TEST(AudioInputsPulseTest, ServerThatHangsUpIsNoMicrophone) {
    test::TempDir dir;
    const std::string path = dir.file("hangs-up");
    const UniqueFd listener = Listen(path);
    ASSERT_TRUE(listener.valid());
    // Takes each connection, reads what the client says first, and closes it unanswered,
    // until the listener is shut down.
    std::thread server([fd = listener.get()] {
        for (;;) {
            UniqueFd connection(::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.valid())
                return;
            char buffer[256];
            [[maybe_unused]] const ssize_t n = ::read(connection.get(), buffer, sizeof buffer);
        }
    });
    ScopedEnv env("PULSE_SERVER", "unix:" + path);
    const Outcome outcome = Query();
    ::shutdown(listener.get(), SHUT_RDWR);
    server.join();
    ExpectNoMicrophone(outcome);
}

class AudioInputsRealServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pulse_.Start(false)) << pulse_.error();
        server_.emplace("PULSE_SERVER", pulse_.server());
    }
    void TearDown() override { server_.reset(); }

    void AddMicrophone(const std::string& description) {
        std::string feedSink;
        ASSERT_NE(pulse_.AddMicrophone(description, feedSink), "") << description;
    }

    test::PulseServer pulse_;
    std::optional<ScopedEnv> server_;
};

TEST_F(AudioInputsRealServerTest, FindsTheMicrophoneAndSkipsMonitors) {
    AddMicrophone("麦克风 (USB Audio)");
    const Outcome outcome = Query();
    EXPECT_EQ(outcome.result, kAudioInputsOk);
    // The sinks' monitors are not inputs; only the microphone is listed.
    EXPECT_EQ(outcome.names, std::vector<std::string>{"麦克风 (USB Audio)"});
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(outcome.microphone, "麦克风 (USB Audio)");
    EXPECT_LT(outcome.listTime, milliseconds(kAudioQueryTimeoutMs - 100));  // answered, not timed out
}

TEST_F(AudioInputsRealServerTest, PrefersTheMicrophoneOverAnEarlierInput) {
    AddMicrophone("立体声混音 (Realtek High Definition Audio)");
    AddMicrophone("麦克风 (Realtek High Definition Audio)");
    const Outcome outcome = Query();
    EXPECT_EQ(outcome.result, kAudioInputsOk);
    EXPECT_EQ(outcome.names, (std::vector<std::string>{"立体声混音 (Realtek High Definition Audio)",
                                                       "麦克风 (Realtek High Definition Audio)"}));
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(outcome.microphone, "麦克风 (Realtek High Definition Audio)");
}

TEST_F(AudioInputsRealServerTest, ServerWithoutInputsHasNoMicrophone) {
    const Outcome outcome = Query();
    EXPECT_EQ(outcome.result, kAudioInputsNone);
    EXPECT_TRUE(outcome.names.empty());
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(outcome.microphone, "");
}

TEST_F(AudioInputsRealServerTest, ServerThatWentAwayIsNoMicrophone) {
    AddMicrophone("麦克风 (USB Audio)");
    bool found = false;
    std::string name;
    ASSERT_EQ(FindMicrophone(found, name), kAudioInputsOk);
    pulse_.Stop();
    ExpectNoMicrophone(Query());
}

}  // namespace
}  // namespace qarv
