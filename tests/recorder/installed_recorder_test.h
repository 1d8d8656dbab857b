#pragma once
// The installed recorder on a private X server, for end-to-end tests: installs the build into
// a temporary folder, starts ./QarvRecorder 1 there as the launcher does, and drives it with
// xdotool. Used by one test thread at a time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "common/process.h"
#include "common/qt/instance_lock.h"
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

// A plain window of another program, in one colour (0xRRGGBB on the 24-bit screen), that
// holds the keyboard focus.
class FocusWindow {
  public:
    explicit FocusWindow(const std::string& display, int x = 900, int y = 600, int width = 200,
                         int height = 100, uint32_t color = 0xFFFFFF) {
        connection_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection_))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const uint32_t values[] = {color};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, x, y, width, height, 0,
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

class InstalledRecorderTest : public ::testing::Test {
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

}  // namespace
}  // namespace qarv
