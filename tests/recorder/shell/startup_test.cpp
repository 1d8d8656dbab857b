// Runs the built recorder program installed alone into an empty directory, started from another
// working directory (as from a desktop menu): it finds and creates its files beside itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "tests/support/command_output.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

struct RunResult {
    int status = -1;
    std::string output;
};

// The screen the recorder checks at start-up; one X server for all tests.
const std::string& Display() {
    static test::VirtualDisplay display;
    static const bool started = display.Start(640, 480);
    EXPECT_TRUE(started) << "Xvfb did not start";
    return display.name();
}

// Runs the recorder in `dir` on the test screen (offscreen when `display` is empty, as there is
// no screen then); message boxes are answered with `answer` and printed on standard output.
// Once its main window is on the screen the recorder is asked to end, as a log-out would.
RunResult RunRecorder(const std::string& dir, const std::string& arguments, const std::string& answer = "Ok",
                      const std::string& display = Display()) {
    const std::string platform = display.empty() ? "offscreen" : "xcb";
    const std::string program = dir + "/QarvRecorder";
    std::filesystem::copy_file(QARV_RECORDER_PROGRAM, program,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string command =
        "cd / && export DISPLAY='" + display + "' QT_QPA_PLATFORM=" + platform +
        " QARV_TEST_ANSWER=" + answer + "; '" + program + "' " + arguments +
        " 2>&1 & pid=$!\n"
        "for i in $(seq 600); do\n"
        "  kill -0 $pid 2>/dev/null || break\n"
        "  if [ -n \"$DISPLAY\" ] && xdotool search --onlyvisible --pid $pid >/dev/null 2>&1;"
        " then echo '[window shown]'; kill -TERM $pid; break; fi\n"
        "  sleep 0.1\n"
        "done\n"
        "wait $pid";
    RunResult result;
    result.output = test::CommandOutput(command, &result.status);
    return result;
}

// True if the installation folder holds the program only.
bool HoldsOnlyTheProgram(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names == std::vector<std::string>{"QarvRecorder"};
}

const std::regex kConfigErrorLine(
    R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] \[配置文件错误\]\[ File:QarvRecordInfoCenter \]\[ Line:\d{5} \]\[ ERROR \]\[ -7 \])");

TEST(StartupTest, WithoutArgumentOnlyAsksForTheLauncher) {
    TempDir dir;
    const RunResult run = RunRecorder(dir.path(), "");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[message box] 友情提示: 请运行 \"QarvRecordClient.exe\" 客户端！"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(HoldsOnlyTheProgram(dir.path()));
}

TEST(StartupTest, WithoutScreenReportsTheDevicesAndEnds) {
    TempDir dir;
    const RunResult run = RunRecorder(dir.path(), "1", "Ok", "");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[message box] Register Device Failed: 注册设备设备"), std::string::npos)
        << run.output;
    const std::string log = ReadFileText(dir.file("Log/log.log"));
    EXPECT_NE(log.find("[注册设备设备][ File:QarvRecorder ]"), std::string::npos) << log;
    EXPECT_NE(log.find("[ ERROR ][ -30 ]"), std::string::npos) << log;
}

TEST(StartupTest, FirstStartInEmptyDirectoryCreatesFoldersAndLogsMissingConfig) {
    TempDir dir;
    const RunResult run = RunRecorder(dir.path(), "1");
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* name : {"Log", "Icon", "Video", "Config"}) {
        EXPECT_TRUE(DirectoryExists(dir.file(name))) << name;
    }
    EXPECT_TRUE(FileExists(dir.file("Video/VideoInfo.xml")));  // the catalogue is created
    const std::string log = ReadFileText(dir.file("Log/log.log"));
    std::smatch match;
    ASSERT_TRUE(std::regex_search(log, match, kConfigErrorLine)) << log;
    EXPECT_EQ(log, match.str() + "\n");  // exactly one line
    EXPECT_EQ(run.output.find("[message box]"), std::string::npos) << run.output;
}

TEST(StartupTest, AnyArgumentValueStartsAndGoodConfigLogsNothing) {
    TempDir dir;
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Config")), 0);
    std::filesystem::copy_file(QARV_DEFAULT_CONFIG, dir.file("Config/config.xml"));
    const std::string before = ReadFileText(dir.file("Config/config.xml"));
    const RunResult run = RunRecorder(dir.path(), "anything");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[window shown]"), std::string::npos) << run.output;
    EXPECT_TRUE(FileExists(dir.file("Log/log.log")));
    EXPECT_EQ(ReadFileText(dir.file("Log/log.log")), "");
    EXPECT_EQ(ReadFileText(dir.file("Config/config.xml")), before);  // never written by the recorder
}

TEST(StartupTest, BrokenConfigIsLoggedAndLeftAsItIs) {
    TempDir dir;
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Config")), 0);
    const std::string broken = "<?xml version=\"1.0\"?><Config><ServerInfo><url>x</url>";
    WriteFileText(dir.file("Config/config.xml"), broken);
    const RunResult run = RunRecorder(dir.path(), "1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(std::regex_search(ReadFileText(dir.file("Log/log.log")), kConfigErrorLine));
    EXPECT_EQ(ReadFileText(dir.file("Config/config.xml")), broken);
}

// A log past its size limit asks the user through a message box at the first line.
std::string MakeFullLog(const std::string& dir) {
    EXPECT_EQ(CreateDirectoryIfMissing(dir + "/Log"), 0);
    std::string line(99, 'x');
    line += '\n';
    std::string content;
    content.reserve(15728700);
    for (int i = 0; content.size() < 15728640; ++i)
        content += line;
    WriteFileText(dir + "/Log/log.log", content);
    return content;
}

TEST(StartupTest, FullLogIsTrimmedWhenTheUserAgrees) {
    TempDir dir;
    const std::string full = MakeFullLog(dir.path());
    const RunResult run = RunRecorder(dir.path(), "1", "Yes");
    EXPECT_NE(run.output.find("[message box] 警告: 日志文件超过15M，是否删除早期日志？"), std::string::npos)
        << run.output;
    const std::string log = ReadFileText(dir.file("Log/log.log"));
    EXPECT_LT(log.size(), full.size() / 2 + 1000);
    EXPECT_NE(log.find("[删除早期日志信息][ File:QarvLog ]"), std::string::npos);
    EXPECT_TRUE(std::regex_search(log, kConfigErrorLine));
}

TEST(StartupTest, FullLogIsKeptWhenTheUserDeclines) {
    TempDir dir;
    const std::string full = MakeFullLog(dir.path());
    const RunResult run = RunRecorder(dir.path(), "1", "No");
    EXPECT_NE(run.output.find("[message box] 警告"), std::string::npos) << run.output;
    const std::string log = ReadFileText(dir.file("Log/log.log"));
    ASSERT_GT(log.size(), full.size());
    EXPECT_EQ(log.compare(0, full.size(), full), 0);
    EXPECT_TRUE(std::regex_search(log, kConfigErrorLine));
}

}  // namespace
}  // namespace qarv
