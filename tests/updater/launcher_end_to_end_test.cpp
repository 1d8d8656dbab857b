// The installed launcher with a stand-in recorder, against the built site stand-in: without an
// update (or without a server) the recorder runs with "1" at once and nothing is shown; with
// one, the update window is driven by real clicks under a private X server, and only a
// complete, verified download replaces the recorder and its version.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/command_output.h"
#include "tests/support/devsite_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"
#include "updater/version_info.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Centres of the buttons in their windows, in pixels: "马上升级" and "下次升级" of the update
// question, and the launcher window's "取消"/"完成".
constexpr int kUpdateNowX = 97, kUpdateNowY = 122;
constexpr int kLaterX = 201, kLaterY = 120;
constexpr int kFinishX = 209, kFinishY = 172;

template <typename Ready>
bool WaitFor(Ready ready, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!ready()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// True while `pid` runs (a zombie has ended).
bool Alive(int pid) {
    const std::string stat = test::ReadFileText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

struct RecorderRun {
    int pid = 0;
    long long exeSize = 0;
    std::string arguments;
};

class LauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = test::ReadFileText(QARV_STAND_IN_RECORDER);
        ASSERT_FALSE(old_.empty());
        newer_ = old_ + "\nthe recorder of version 1.0.0.2\n";  // still a program of this machine
        fs::copy_file(QARV_LAUNCHER_PATH, dir_.file("QarvRecordClient"));
        test::WriteFileText(dir_.file("QarvRecorder"), old_);
        fs::permissions(dir_.file("QarvRecorder"), fs::perms(0755));
        test::WriteFileText(dir_.file("offered"), newer_);
        fs::create_directories(dir_.file("Config"));
    }
    void TearDown() override {
        for (const RecorderRun& run : Runs())
            ::kill(run.pid, SIGKILL);
        if (launcher_ > 0) {
            ::kill(launcher_, SIGKILL);
            ::waitpid(launcher_, nullptr, 0);
        }
    }

    // Starts the site offering the newer recorder as `version`, with extra `arguments`.
    void StartSite(const std::string& version, const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> args = {"--port",          "0",     "--data",       dir_.file("site-data"),
                                         "--offer-version", version, "--offer-file", dir_.file("offered")};
        args.insert(args.end(), arguments.begin(), arguments.end());
        site_ = std::make_unique<test::DevsiteProcess>();  // a process object serves one start
        port_ = site_->Start(QARV_DEVSITE_PATH, args, dir_.file("site.err"));
        ASSERT_GT(port_, 0) << test::ReadFileText(dir_.file("site.err"));
        WriteConfig("http://127.0.0.1:" + std::to_string(port_));
    }
    void WriteConfig(const std::string& upgradeUrl) {
        config_ =
            "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<Config>\r\n    <ServerInfo>"
            "<url>" +
            upgradeUrl +
            "/</url><url_bak>u</url_bak><port>1</port><port_bak>1</port_bak>"
            "<description>d</description><UpgradeUrl>" +
            upgradeUrl +
            "</UpgradeUrl></ServerInfo>\r\n"
            "    <VersionInfo><version>1.0.0.1</version><datetime>2026-1-1 0:0:0</datetime>"
            "<description>\xb3\xf5\xca\xbc</description></VersionInfo>\r\n</Config>\r\n";
        test::WriteFileText(dir_.file("Config/config.xml"), config_);
    }

    // Starts the installed launcher from another directory, as a desktop menu would.
    void Launch(const std::string& display) {
        launcher_ = ::fork();
        if (launcher_ == 0) {
            if (::chdir("/") != 0)
                ::_exit(126);
            if (display.empty()) {
                ::unsetenv("DISPLAY");
                ::setenv("QT_QPA_PLATFORM", "xcb", 1);  // would fail without a display
            } else {
                ::setenv("DISPLAY", display.c_str(), 1);
                ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            }
            ::setenv("QARV_TEST_ANSWER", "Ok", 1);  // message boxes are answered and printed
            if (std::freopen(dir_.file("launcher.out").c_str(), "a", stdout) == nullptr)
                ::_exit(126);
            const std::string program = dir_.file("QarvRecordClient");
            ::execl(program.c_str(), "QarvRecordClient", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(launcher_, 0);
    }
    // The launcher's exit code, or -1 if it still runs after `timeout`.
    int WaitForLauncher(std::chrono::milliseconds timeout) {
        int status = 0;
        if (!WaitFor([&] { return ::waitpid(launcher_, &status, WNOHANG) == launcher_; }, timeout))
            return -1;
        launcher_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<RecorderRun> Runs() const {
        std::vector<RecorderRun> runs;
        std::istringstream lines(test::ReadFileText(dir_.file("recorder_runs.txt")));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            long long started = 0;
            RecorderRun run;
            fields >> started >> run.pid >> run.exeSize;
            std::getline(fields, run.arguments);
            runs.push_back(run);
        }
        return runs;
    }

    test::TempDir dir_;
    std::unique_ptr<test::DevsiteProcess> site_;
    int port_ = -1;
    pid_t launcher_ = -1;
    std::string old_;
    std::string newer_;
    std::string config_;
};

TEST_F(LauncherTest, WithoutAnUpdateTheRecorderStartsAtOnceAndNothingIsShown) {
    ASSERT_NO_FATAL_FAILURE(StartSite("1.0.0.1"));
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("start " + std::to_string(round));
        const auto start = Clock::now();
        Launch("");  // no display at all: nothing may need one
        EXPECT_EQ(WaitForLauncher(5s), 0);
        EXPECT_LT(Clock::now() - start, 3s);
        ASSERT_EQ(Runs().size(), static_cast<std::size_t>(round));
        const RecorderRun run = Runs().back();
        EXPECT_EQ(run.arguments, " 1");
        EXPECT_EQ(run.exeSize, static_cast<long long>(old_.size()));
        EXPECT_TRUE(Alive(run.pid));
        if (round == 2) {
            EXPECT_TRUE(WaitFor([&] { return !Alive(Runs().front().pid); }, 5s))
                << "the earlier recorder was ended";
        }
    }
    EXPECT_EQ(test::ReadFileText(dir_.file("launcher.out")), "");
    EXPECT_EQ(test::ReadFileText(dir_.file("Config/config.xml")), config_);
    EXPECT_FALSE(fs::exists(dir_.file("UpdateTemp")));
}

TEST_F(LauncherTest, WithoutAServerTheRecorderStartsWithinTheTimeOut) {
    ASSERT_NO_FATAL_FAILURE(StartSite("1.0.0.2", {"--fault", "hang"}));
    const struct {
        std::string url;
        std::chrono::milliseconds limit;
    } cases[] = {{"http://127.0.0.1:1", 2000ms}, {"http://127.0.0.1:" + std::to_string(port_), 11000ms}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        WriteConfig(c.url);
        const std::size_t before = Runs().size();
        const auto start = Clock::now();
        Launch("");
        EXPECT_EQ(WaitForLauncher(20s), 0);
        EXPECT_LT(Clock::now() - start, c.limit);
        ASSERT_EQ(Runs().size(), before + 1);
        EXPECT_EQ(Runs().back().arguments, " 1");
        EXPECT_EQ(test::ReadFileText(dir_.file("Config/config.xml")), config_);
    }
}

class LauncherWindowTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        ASSERT_TRUE(display_.Start(1280, 800));
    }
    std::string X(const std::string& command) {
        return test::CommandOutput("DISPLAY=" + display_.name() + " " + command + " 2>/dev/null");
    }
    // Waits for the visible window titled `title` and clicks at (x, y) in it; false if it
    // did not appear.
    bool ClickIn(const std::string& title, int x, int y) {
        std::string window;
        if (!WaitFor(
                [&] {
                    window = X("xdotool search --onlyvisible --name '^" + title + "$'");
                    return !window.empty();
                },
                20s))
            return false;
        window = window.substr(0, window.find('\n'));
        std::this_thread::sleep_for(300ms);  // mapped and drawn before the click
        X("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
          " click 1");
        return true;
    }
    bool WaitForOutput(const std::string& text) {
        return WaitFor(
            [&] { return test::ReadFileText(dir_.file("launcher.out")).find(text) != std::string::npos; },
            30s);
    }

    test::VirtualDisplay display_;
};

TEST_F(LauncherWindowTest, UpdateNowInstallsTheNewRecorderAndFinishStartsIt) {
    ASSERT_NO_FATAL_FAILURE(StartSite("1.0.0.2"));
    const auto checkTime = std::time(nullptr);
    Launch(display_.name());
    ASSERT_TRUE(ClickIn("更新", kUpdateNowX, kUpdateNowY)) << "the update question did not appear";
    ASSERT_TRUE(WaitForOutput("[message box] 更新完毕: 更新完毕"))
        << test::ReadFileText(dir_.file("launcher.out"));
    EXPECT_NE(X("xdotool search --onlyvisible --name '^QarvClientUpdate$'"), "");

    EXPECT_EQ(test::ReadFileText(dir_.file("QarvRecorder")), newer_);
    struct stat status {};
    ASSERT_EQ(::stat(dir_.file("QarvRecorder").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0755u);
    EXPECT_FALSE(fs::exists(dir_.file("UpdateTemp")));
    VersionInfo installed;
    ASSERT_EQ(ReadVersionInfo(installed, dir_.file("Config/config.xml")), 0);
    EXPECT_EQ(installed.version, "1.0.0.2");
    EXPECT_EQ(installed.description, "初始");
    EXPECT_TRUE(installed.datetime == FormatVersionTime(checkTime) ||
                installed.datetime == FormatVersionTime(checkTime + 1))
        << installed.datetime;
    EXPECT_TRUE(Runs().empty()) << "no recorder before \"完成\"";

    ASSERT_TRUE(ClickIn("QarvClientUpdate", kFinishX, kFinishY));
    EXPECT_EQ(WaitForLauncher(10s), 0);
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Runs()[0].arguments, " 1");
    EXPECT_EQ(Runs()[0].exeSize, static_cast<long long>(newer_.size()));
    EXPECT_TRUE(Alive(Runs()[0].pid));
}

TEST_F(LauncherWindowTest, AFailedDownloadKeepsTheOldRecorderAndVersionAndTellsTheUser) {
    const struct {
        const char* name;
        std::vector<std::string> fault;
    } cases[] = {
        {"cut", {"--fault", "cut", "--fault-path", "/down/windows/QarvRecorder"}},
        {"html page", {"--fault", "html-page", "--fault-path", "/down/windows/QarvRecorder"}},
        {"wrong checksum", {"--fault", "wrong-sha256", "--fault-path", "/down/get_ver.php"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(StartSite("1.0.0.2", c.fault));
        std::remove(dir_.file("launcher.out").c_str());
        const std::size_t before = Runs().size();
        Launch(display_.name());
        ASSERT_TRUE(ClickIn("更新", kUpdateNowX, kUpdateNowY));
        ASSERT_TRUE(WaitForOutput("[message box] 更新失败: 更新失败："))
            << test::ReadFileText(dir_.file("launcher.out"));
        EXPECT_EQ(test::ReadFileText(dir_.file("QarvRecorder")), old_);
        EXPECT_EQ(test::ReadFileText(dir_.file("Config/config.xml")), config_);
        EXPECT_FALSE(fs::exists(dir_.file("UpdateTemp")));

        ASSERT_TRUE(ClickIn("QarvClientUpdate", kFinishX, kFinishY));
        EXPECT_EQ(WaitForLauncher(10s), 0);
        ASSERT_EQ(Runs().size(), before + 1);
        EXPECT_EQ(Runs().back().exeSize, static_cast<long long>(old_.size()));
        EXPECT_EQ(Runs().back().arguments, " 1");
    }
}

TEST_F(LauncherWindowTest, LaterStartsTheOldRecorderAndLeavesTheConfigurationAlone) {
    ASSERT_NO_FATAL_FAILURE(StartSite("1.0.0.2"));
    Launch(display_.name());
    ASSERT_TRUE(ClickIn("更新", kLaterX, kLaterY));
    EXPECT_EQ(WaitForLauncher(10s), 0);
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Runs()[0].arguments, " 1");
    EXPECT_EQ(Runs()[0].exeSize, static_cast<long long>(old_.size()));
    EXPECT_EQ(test::ReadFileText(dir_.file("Config/config.xml")), config_);
    EXPECT_EQ(test::ReadFileText(dir_.file("QarvRecorder")), old_);
    EXPECT_FALSE(fs::exists(dir_.file("UpdateTemp")));
}

}  // namespace
}  // namespace qarv
