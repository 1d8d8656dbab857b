// The installed recorder on a private X server: the main window comes up, another window
// takes the focus, Ctrl+F9 and Ctrl+F10 typed as real key events record a video, and the
// video is catalogued with its thumbnails. A picture of the main window is kept as an
// artifact of the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "common/process.h"
#include "tests/capturer/media_facts.h"
#include "tests/support/command_output.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// Polls `ready` every 100 ms until it holds or `timeout` has passed.
template <typename Ready>
bool WaitFor(Ready ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

// A plain window of another program that holds the keyboard focus.
class FocusWindow {
  public:
    explicit FocusWindow(const std::string& display) {
        connection_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection_))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const uint32_t values[] = {screen->white_pixel};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 900, 600, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_map_window(connection_, window_);
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
    ~FocusWindow() { xcb_disconnect(connection_); }
    FocusWindow(const FocusWindow&) = delete;
    FocusWindow& operator=(const FocusWindow&) = delete;

    // The window that has the focus now.
    xcb_window_t Focused() {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        const xcb_window_t focus = reply != nullptr ? reply->focus : 0;
        std::free(reply);
        return focus;
    }
    xcb_window_t id() const { return window_; }

  private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
};

class RecorderEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(display_.Start(1280, 800));
        int status = -1;
        const std::string output = test::CommandOutput(
            "cmake --install " + Quote(QARV_BUILD_DIR) + " --prefix " + Quote(dir_.path()) + " 2>&1",
            &status);
        ASSERT_EQ(status, 0) << output;
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    void StartRecorder() {
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            if (::chdir(dir_.path().c_str()) != 0)
                ::_exit(127);
            ::setenv("DISPLAY", display_.name().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("QARV_TEST_ANSWER", "Cancel", 1);
            // No sound server here: the system sound is recorded as silence.
            ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-test-socket", 1);
            ::execl("./QarvRecorder", "QarvRecorder", "1", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }

    // Waits for the recorder's main window; its id, or "" if it did not appear.
    std::string WaitForWindow() {
        std::string window;
        WaitFor(
            [&] {
                window = X("xdotool search --onlyvisible --pid " + std::to_string(pid_));
                return !window.empty();
            },
            60s);
        return window.substr(0, window.find('\n'));
    }

    // Kills the recorder at once, as a crash would.
    void KillRecorder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The recordings of every day, by path.
    std::vector<fs::path> Recordings() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(dir_.path()) / "Video")) {
            if (entry.is_regular_file() && entry.path().extension() == ".flv")
                found.push_back(entry.path());
        }
        return found;
    }

    // Presses Ctrl+F9 until a recording that is not in `known` appears (the keys are taken
    // only once the window has registered them); its path, or empty.
    fs::path StartRecordingByKey(const std::vector<fs::path>& known) {
        fs::path started;
        WaitFor(
            [&] {
                X("xdotool key --clearmodifiers ctrl+F9");
                return WaitFor(
                    [&] {
                        for (const fs::path& path : Recordings()) {
                            if (std::find(known.begin(), known.end(), path) == known.end())
                                started = path;
                        }
                        return !started.empty();
                    },
                    5s);
            },
            60s);
        return started;
    }

    // True once the catalogue lists `file` and its first thumbnail is on disk.
    bool WaitUntilCatalogued(const fs::path& file) {
        const std::string catalogue = dir_.file("Video/VideoInfo.xml");
        return WaitFor(
            [&] {
                return test::ReadFileText(catalogue).find(">" + file.filename().string() + "<") !=
                           std::string::npos &&
                       fs::exists(file.parent_path() / (file.stem().string() + "_0.jpeg"));
            },
            60s);
    }

    std::string X(const std::string& command) {
        return test::CommandOutput("DISPLAY=" + display_.name() + " " + command + " 2>/dev/null");
    }

    test::VirtualDisplay display_;
    test::TempDir dir_;
    pid_t pid_ = -1;
};

TEST_F(RecorderEndToEndTest, HotKeysRecordAVideoWhileAnotherWindowHasTheFocus) {
    StartRecorder();
    std::string window;
    ASSERT_TRUE(WaitFor(
        [&] {
            window = X("xdotool search --onlyvisible --pid " + std::to_string(pid_));
            return !window.empty();
        },
        60s))
        << "the main window did not appear";
    window = window.substr(0, window.find('\n'));

    // The main window as the user sees it, kept with the test results. A window not yet
    // painted is one flat colour, which packs into a small picture.
    const std::string geometry = X("xdotool getwindowgeometry --shell " + window);
    std::smatch m;
    const std::regex fields("X=(\\d+)\\nY=(\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)");
    ASSERT_TRUE(std::regex_search(geometry, m, fields)) << geometry;
    EXPECT_EQ(m[3].str(), "851");
    EXPECT_EQ(m[4].str(), "561");
    fs::create_directories(QARV_ARTIFACT_DIR);
    const std::string shot = std::string(QARV_ARTIFACT_DIR) + "/main_window.png";
    const std::string grab = "ffmpeg -loglevel error -y -f x11grab -video_size " + m[3].str() + "x" +
                             m[4].str() + " -i " + display_.name() + "+" + m[1].str() + "," + m[2].str() +
                             " -frames:v 1 " + Quote(shot) + " 2>&1";
    EXPECT_TRUE(WaitFor(
        [&] {
            int status = -1;
            test::CommandOutput(grab, &status);
            return status == 0 && fs::exists(shot) && fs::file_size(shot) > 10000u;
        },
        30s))
        << "the main window was not painted";

    FocusWindow other(display_.name());
    ASSERT_EQ(other.Focused(), other.id());

    X("xdotool key --clearmodifiers ctrl+F9");
    const fs::path video = fs::path(dir_.path()) / "Video";
    auto recordingFile = [&]() -> fs::path {
        for (const auto& entry : fs::recursive_directory_iterator(video)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && ext == ".flv")
                return entry.path();
        }
        return {};
    };
    ASSERT_TRUE(WaitFor([&] { return !recordingFile().empty(); }, 30s)) << "Ctrl+F9 started no recording";
    EXPECT_EQ(other.Focused(), other.id());  // the keys did not take the focus away
    std::this_thread::sleep_for(3s);
    X("xdotool key --clearmodifiers ctrl+F10");

    const fs::path file = recordingFile();
    const std::string stem = file.stem().string();
    const std::string catalogue = (video / "VideoInfo.xml").string();
    ASSERT_TRUE(WaitFor(
        [&] {
            return test::ReadFileText(catalogue).find(file.filename().string()) != std::string::npos &&
                   fs::exists(file.parent_path() / (stem + "_0.jpeg"));
        },
        60s))
        << test::ReadFileText(catalogue);
    EXPECT_GT(fs::file_size(file), 10000u);

    // The recorder ends cleanly when asked to.
    ::kill(pid_, SIGTERM);
    int exitStatus = -1;
    ASSERT_TRUE(WaitFor([&] { return ::waitpid(pid_, &exitStatus, WNOHANG) == pid_; }, 30s));
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(exitStatus));
    EXPECT_EQ(WEXITSTATUS(exitStatus), 0);
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
}

// A recorder that dies while recording (a crash, a kill) leaves a playable file holding all
// but about the last second, and the next start takes it into the catalogue.
TEST_F(RecorderEndToEndTest, KilledRecorderLeavesAPlayableFileThatTheNextStartCatalogues) {
    fs::path previous;
    for (const int seconds : {2, 5, 20}) {
        SCOPED_TRACE("killed after " + std::to_string(seconds) + " s");
        StartRecorder();
        ASSERT_NE(WaitForWindow(), "") << "the main window did not appear";
        if (!previous.empty()) {
            EXPECT_TRUE(WaitUntilCatalogued(previous))
                << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
        }

        const fs::path file = StartRecordingByKey(Recordings());
        ASSERT_FALSE(file.empty()) << "Ctrl+F9 started no recording";
        const auto started = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        KillRecorder();
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

        // The encoder, told by the adapter that its recorder is gone, finishes the file.
        EXPECT_TRUE(WaitFor([&] { return !IsFileOpenByOtherProcess(file.string()); }, 30s));
        const test::DecodedVideo video = test::DecodeVideo(file.string());
        EXPECT_GT(video.Duration(), elapsed - 1.5) << video.frames() << " frames after " << elapsed << " s";
        previous = file;
    }
    StartRecorder();
    ASSERT_NE(WaitForWindow(), "");
    EXPECT_TRUE(WaitUntilCatalogued(previous)) << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_NE(log.find("收录未登记的录像"), std::string::npos) << log;
}

}  // namespace
}  // namespace qarv
