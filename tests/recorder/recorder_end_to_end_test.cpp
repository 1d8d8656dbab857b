// The installed recorder on a private X server: the main window comes up, another window
// takes the focus, Ctrl+F9 and Ctrl+F10 typed as real key events record a video, and the
// video is catalogued with its thumbnails. A picture of the main window is kept as an
// artifact of the run. Only one recorder runs in a folder: a second start hands over to it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "common/process.h"
#include "common/qt/instance_lock.h"
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

// How many local sockets carry the name `path`: the listening one, and one more for each
// connection made to it.
int SocketsAt(const std::string& path) {
    const std::string table = test::ReadFileText("/proc/net/unix");
    int count = 0;
    for (std::size_t at = table.find(" " + path + "\n"); at != std::string::npos;
         at = table.find(" " + path + "\n", at + 1))
        ++count;
    return count;
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
        for (const pid_t pid : {pid_, other_}) {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }

    void StartRecorder() {
        pid_ = Launch();
        ASSERT_GE(pid_, 0);
    }

    // Starts ./QarvRecorder 1 in the installation folder, as the launcher does; its pid.
    pid_t Launch() {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(dir_.path().c_str()) != 0)
                ::_exit(127);
            ::setenv("DISPLAY", display_.name().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("QARV_TEST_ANSWER", "Cancel", 1);
            // No sound server here: the system sound is recorded as silence.
            ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-test-socket", 1);
            // The message boxes answered for the test are written here.
            if (std::freopen(dir_.file("recorder.out").c_str(), "a", stdout) == nullptr)
                ::_exit(127);
            ::execl("./QarvRecorder", "QarvRecorder", "1", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }

    // Waits for `pid` to end and reaps it; its wait status, or -1 if it still runs.
    int WaitForExit(pid_t& pid, std::chrono::milliseconds timeout) {
        int status = -1;
        if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeout))
            return -1;
        pid = -1;
        return status;
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
    pid_t other_ = -1;  // a recorder started beside the one in pid_
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

// One recorder per installation folder: a second start brings the running one to the front
// and leaves at once, touching neither the log nor the catalogue. A start right after the
// running one was asked to end, as the launcher does it, waits for it and runs; a killed
// recorder leaves nothing behind that stops the next start or its answers.
TEST_F(RecorderEndToEndTest, SecondStartBringsTheRunningRecorderForwardAndLeaves) {
    const auto secondStartLeaves = [this] {
        other_ = Launch();
        const int status = WaitForExit(other_, 20s);
        return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    StartRecorder();
    const std::string window = WaitForWindow();
    ASSERT_NE(window, "") << "the main window did not appear";
    FocusWindow focus(display_.name());
    ASSERT_EQ(focus.Focused(), focus.id());
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    const std::string catalogue = test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
    ASSERT_TRUE(secondStartLeaves());
    EXPECT_TRUE(WaitFor([&] { return std::to_string(focus.Focused()) == window; }, 10s))
        << "the running recorder did not come to the front";
    EXPECT_EQ(test::ReadFileText(dir_.file("Log/log.log")), log);
    EXPECT_EQ(test::ReadFileText(dir_.file("Video/VideoInfo.xml")), catalogue);

    // Asked to end while recording, with a new start right behind (the recorder is held until
    // both requests wait for it): the ending recorder does not answer, so the new one waits
    // for it to go, then runs with the recording in the catalogue.
    const fs::path file = StartRecordingByKey({});
    ASSERT_FALSE(file.empty()) << "Ctrl+F9 started no recording";
    ASSERT_TRUE(WaitFor([&] { return fs::file_size(file) > 20000u; }, 30s));
    const std::string socket = InstanceLock(dir_.path()).SocketName();
    other_ = pid_;
    ::kill(other_, SIGSTOP);
    ::kill(other_, SIGTERM);
    StartRecorder();
    ASSERT_TRUE(WaitFor([&] { return SocketsAt(socket) > 1; }, 30s)) << "the new start did not ask";
    ::kill(other_, SIGCONT);
    EXPECT_NE(WaitForWindow(), "") << "a recorder started while the last one ended did not run";
    EXPECT_NE(WaitForExit(other_, 30s), -1);
    EXPECT_TRUE(WaitUntilCatalogued(file)) << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));

    KillRecorder();
    StartRecorder();
    EXPECT_NE(WaitForWindow(), "") << "a killed recorder kept the next one from starting";
    EXPECT_TRUE(secondStartLeaves());
}

// A recording that ends by itself (a timed one) is still being finished (its file closed,
// thumbnails made, catalogued) when the page gets its end and gives Start back. Ctrl+F9 in
// those moments must not claim to record with no encoder: the page says so in its retry box
// (answered Cancel here), and once the recording is catalogued the keys record again. A
// stand-in "capturer" gives every recording a two-second limit, then runs the real one.
TEST_F(RecorderEndToEndTest, StartWhileTheLastRecordingIsFinishedIsHeldBack) {
    fs::create_directory(dir_.file("real"));
    fs::rename(dir_.file("capturer"), dir_.file("real/capturer"));
    test::WriteFileText(
        dir_.file("capturer"),
        "#!/bin/sh\nn=$#\ni=0\nfor a do\n  i=$((i + 1))\n  shift\n"
        "  if [ \"$i\" -eq \"$n\" ]; then set -- \"$@\" -t 2 \"$a\"; else set -- \"$@\" \"$a\"; fi\n"
        "done\nexec ./real/capturer \"$@\"\n");
    fs::permissions(dir_.file("capturer"), fs::perms::owner_all);
    StartRecorder();
    ASSERT_NE(WaitForWindow(), "") << "the main window did not appear";
    const fs::path first = StartRecordingByKey({});
    ASSERT_FALSE(first.empty()) << "Ctrl+F9 started no recording";

    // Ctrl+F9 again and again from the moment the encoder has ended by itself until the
    // recording is catalogued.
    ASSERT_TRUE(WaitFor([&] { return !IsFileOpenByOtherProcess(first.string()); }, 60s));
    const std::string catalogue = dir_.file("Video/VideoInfo.xml");
    EXPECT_TRUE(WaitFor(
        [&] {
            X("xdotool key --clearmodifiers ctrl+F9");
            return test::ReadFileText(catalogue).find(">" + first.filename().string() + "<") !=
                   std::string::npos;
        },
        60s));
    const std::string output = test::ReadFileText(dir_.file("recorder.out"));
    EXPECT_NE(output.find("视频处理中,请稍候再开始..."), std::string::npos) << output;

    const fs::path second = StartRecordingByKey({first});
    ASSERT_FALSE(second.empty()) << "the keys did not record again";
    EXPECT_TRUE(WaitUntilCatalogued(second)) << test::ReadFileText(catalogue);
}

}  // namespace
}  // namespace qarv
