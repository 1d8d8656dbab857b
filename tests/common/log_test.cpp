#include "common/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "common/log_codes.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::WriteFileText;

constexpr char kLogFile[] = "Log/log.log";
constexpr std::size_t kTimePrefixLength = 26;  // "[YYYY-MM-DD HH:MM:SS.mmm] "

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    return lines;
}

// The line after its time prefix; fails the test if the prefix is malformed.
std::string WithoutTime(const std::string& line) {
    static const std::regex time(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] )");
    const std::string prefix = line.substr(0, kTimePrefixLength);
    EXPECT_TRUE(std::regex_match(prefix, time)) << "bad time prefix: " << prefix;
    return line.substr(std::min(kTimePrefixLength, line.size()));
}

// The only line of the log, without its time prefix.
std::string OnlyLine() {
    const std::vector<std::string> lines = SplitLines(ReadFileText(kLogFile));
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::string() : WithoutTime(lines[0]);
}

// `count` lines of 64 bytes each, numbered from `first`.
std::string FixedLines(int count, int first = 0) {
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * 64);
    char line[65];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "line %010d %s\n", first + i, std::string(47, 'z').c_str());
        text.append(line, 64);
    }
    return text;
}

// Every test runs in a fresh directory with the log open.
class LogTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(LogOpen(), 0); }
    void TearDown() override {
        LogClose();
        SetLogSizeQuestion({});
    }

    // Puts `content` in the log file and opens the log again.
    void ReplaceLog(const std::string& content) {
        LogClose();
        WriteFileText(kLogFile, content);
        ASSERT_EQ(LogOpen(), 0);
    }

    test::TempDir dir_;
    test::ScopedCurrentDirectory cwd_{dir_.path()};
};

using LogLineTest = LogTest;

TEST_F(LogLineTest, WritesEveryFieldOfTheExampleLine) {
    EXPECT_TRUE(DirectoryExists("Log"));
    EXPECT_EQ(LogError(105, kSrcRecordControlThread, kCodeFileNameNotFound, kMsgFileNameNotFound), 0);
    EXPECT_EQ(OnlyLine(), "[无法找到文件名][ File:RecordControlThread ][ Line:00105 ][ ERROR ][ -7 ]\n");
}

TEST_F(LogLineTest, TimePrefixIsLocalTimeWithMilliseconds) {
    using namespace std::chrono;
    const char* oldTz = std::getenv("TZ");
    const std::optional<std::string> savedTz = oldTz ? std::optional<std::string>(oldTz) : std::nullopt;
    ::setenv("TZ", "CST-8", 1);  // eight hours east of UTC, no daylight saving
    ::tzset();
    const auto before = floor<milliseconds>(system_clock::now());
    LogError(1, "t", 0, "m");
    const auto after = system_clock::now();
    if (savedTz) {
        ::setenv("TZ", savedTz->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();

    const std::string text = ReadFileText(kLogFile);
    std::smatch m;
    const std::regex line(
        R"(\[(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3})\] \[m\]\[ File:t \][^\n]*\n)");
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    auto field = [&](int i) { return std::stoi(m[i].str()); };
    const sys_days day =
        year(field(1)) / month(static_cast<unsigned>(field(2))) / static_cast<unsigned>(field(3));
    const auto logged =
        day + hours(field(4)) + minutes(field(5)) + seconds(field(6)) + milliseconds(field(7)) - hours(8);
    EXPECT_LE(before, logged);
    EXPECT_LE(logged, after);
}

TEST_F(LogLineTest, FormatOfOnlyALineFeedHasNoTimePrefix) {
    LogError(12, "t", 0, "\n");
    EXPECT_EQ(ReadFileText(kLogFile), "[\n][ File:t ][ Line:00012 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogLineTest, EmptyFormatWritesNothing) {
    const std::string empty;
    EXPECT_EQ(LogError(1, "t", 0, empty.c_str()), 0);
    EXPECT_EQ(LogWarn(1, "t", 0, empty.c_str()), 0);
    EXPECT_EQ(LogWrite(1, "t", 0, kLogInfo, empty.c_str()), 0);
    EXPECT_EQ(ReadFileText(kLogFile), "");
}

TEST_F(LogLineTest, LevelNames) {
    LogWarn(1, "t", 0, "w");
    EXPECT_EQ(OnlyLine(), "[w][ File:t ][ Line:00001 ][ WARN ][ 0 ]\n");

    ReplaceLog("");
    EXPECT_EQ(LogWrite(1, "t", 0, kLogDebug, "dropped"), 0);
    EXPECT_EQ(ReadFileText(kLogFile), "");
    EXPECT_EQ(LogWrite(1, "t", kCodeLoginClicked, kLogInfo, kMsgLoginClicked), 0);
    EXPECT_EQ(OnlyLine(), "[点击登入][ File:t ][ Line:00001 ][ INFO ][ -31 ]\n");

    ReplaceLog("");
    const char* names[] = {"FATAL", "ALERT", "CRIT",  "ERROR",  "WARN",   "NOTICE",
                           "INFO",  "DEBUG", "TRACE", "NOTSET", "UNKNOWN"};
    for (int level = -1; level <= 11; ++level) {
        if (level != kLogDebug)
            LogWrite(level, "t", 0, static_cast<LogLevel>(level), "x");
    }
    const std::vector<std::string> lines = SplitLines(ReadFileText(kLogFile));
    ASSERT_EQ(lines.size(), 12u);
    std::size_t i = 0;
    for (int level = -1; level <= 11; ++level) {
        if (level == kLogDebug)
            continue;
        const std::string name = level >= 0 && level <= 10 ? names[level] : "UNKNOWN";
        EXPECT_NE(lines[i++].find("][ " + name + " ][ 0 ]\n"), std::string::npos) << level;
    }
}

TEST_F(LogLineTest, LineNumberIsZeroPaddedAndCodeSigned) {
    LogError(90, "t", kCodeAbort, kMsgAbort);
    EXPECT_EQ(OnlyLine(), "[异常终止][ File:t ][ Line:00090 ][ ERROR ][ -15 ]\n");
}

TEST_F(LogLineTest, FormatsArguments) {
    LogError(3, kSrcRecordControlThread, kCodeMediaAnalysisFailed, kMsgMediaAnalysisFailed, -42);
    LogWarn(4, kSrcQarvFileManagement, kCodeFileAdded, kMsgFileAdded, "录像 1.mp4");
    const std::vector<std::string> lines = SplitLines(ReadFileText(kLogFile));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(WithoutTime(lines[0]),
              "[分析媒体文件错误: ErrorCode=-42][ File:RecordControlThread ][ Line:00003 ][ ERROR ][ -7 ]\n");
    EXPECT_EQ(WithoutTime(lines[1]),
              "[添加文件 录像 1.mp4][ File:QarvFileManagement ][ Line:00004 ][ WARN ][ -22 ]\n");
}

TEST_F(LogLineTest, FileNameIsCutAfterLastBackslashAndToThirtyTwoBytes) {
    struct Case {
        const char* file;
        const char* printed;
    };
    const Case cases[] = {
        {"D:\\work\\src\\RecordControlThread.cpp", "RecordControlThread.cpp"},
        {"src/recording/Thread.cpp", "src/recording/Thread.cpp"},  // '/' is no separator
        {"a/b\\c/d.cpp", "c/d.cpp"},
        {"trailing\\", ""},
        {"abcdefghijklmnopqrstuvwxyz0123456", "abcdefghijklmnopqrstuvwxyz012345"},
        {"abcdefghijklmnopqrstuvwxyz012345", "abcdefghijklmnopqrstuvwxyz012345"},
        // 11 three-byte characters: the 32-byte cut would split the 11th.
        {"录制控制线程录制控制线程", "录制控制线程录制控制"},
        {"C:\\源码\\录制控制线程.cpp", "录制控制线程.cpp"},
    };
    for (const Case& c : cases) {
        ReplaceLog("");
        LogError(1, c.file, 0, "m");
        EXPECT_EQ(OnlyLine(), std::string("[m][ File:") + c.printed + " ][ Line:00001 ][ ERROR ][ 0 ]\n")
            << c.file;
    }
}

TEST_F(LogLineTest, LongMessageIsCutToTheLimitOnACharacterBoundary) {
    const std::string han = "录";                  // three bytes
    const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += s;
        return out;
    };
    struct Case {
        std::string message;
        std::size_t printedBytes;
    };
    const Case cases[] = {
        {std::string(20000, 'x'), 10240},  {std::string(10240, 'x'), 10240},
        {repeat(han, 4000), 10239},         // 3413 characters
        {"ab" + repeat(han, 4000), 10238},  // "ab" and 3412 characters
        {"a" + repeat(han, 4000), 10240},   // "a" and 3413 characters fit exactly
        {repeat(emoji, 3000), 10240},      {"a" + repeat(emoji, 3000), 10237},
    };
    for (const Case& c : cases) {
        ReplaceLog("");
        LogError(1, "t", 0, "%s", c.message.c_str());
        EXPECT_EQ(OnlyLine(),
                  "[" + c.message.substr(0, c.printedBytes) + "][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n")
            << c.message.substr(0, 8) << " " << c.message.size();
    }
}

TEST_F(LogLineTest, LinesAreAppendedToAnExistingLog) {
    ReplaceLog("earlier\n");
    LogError(1, "t", 0, "later");
    const std::string text = ReadFileText(kLogFile);
    ASSERT_EQ(text.substr(0, 8), "earlier\n");
    EXPECT_EQ(WithoutTime(text.substr(8)), "[later][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
}

using LogLifecycleTest = LogTest;

TEST_F(LogLifecycleTest, LoggingAfterCloseDoesNothing) {
    LogError(1, "t", 0, "before");
    LogClose();
    EXPECT_EQ(LogError(2, "t", 0, "after"), 0);
    EXPECT_EQ(LogWarn(2, "t", 0, "after"), 0);
    EXPECT_EQ(LogWrite(2, "t", 0, kLogInfo, "after"), 0);
    EXPECT_EQ(OnlyLine(), "[before][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogLifecycleTest, FailedOpenReportsAndLaterCallsDoNothing) {
    LogClose();
    std::filesystem::remove_all("Log");
    WriteFileText("Log", "a file, not a folder");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LogOpen(), -1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Open LOG ./Log/log.log failed. Err info: \n");

    EXPECT_EQ(LogError(1, "t", 0, "lost"), 0);
    EXPECT_EQ(LogWrite(1, "t", 0, kLogInfo, "lost"), 0);
    EXPECT_EQ(ReadFileText("Log"), "a file, not a folder");

    // A later successful open resumes logging.
    std::filesystem::remove("Log");
    ASSERT_EQ(LogOpen(), 0);
    LogError(1, "t", 0, "back");
    EXPECT_EQ(OnlyLine(), "[back][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogLifecycleTest, ConcurrentLinesStayWholeAndInOrderPerThread) {
    constexpr int kThreads = 8;
    constexpr int kLinesPerThread = 500;
    const std::string padding(1000, 'p');  // lines longer than a stdio buffer
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &padding] {
            for (int n = 0; n < kLinesPerThread; ++n)
                LogWarn(n, "worker", t, "T%d N%04d %s", t, n, padding.c_str());
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<std::string> lines = SplitLines(ReadFileText(kLogFile));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesPerThread));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        const std::string rest = WithoutTime(line);
        int t = -1;
        int n = -1;
        ASSERT_EQ(std::sscanf(rest.c_str(), "[T%d N%d ", &t, &n), 2) << rest.substr(0, 40);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(n, next[t]++);
        char head[32];
        char tail[64];
        std::snprintf(head, sizeof head, "[T%d N%04d ", t, n);
        std::snprintf(tail, sizeof tail, "][ File:worker ][ Line:%05d ][ WARN ][ %d ]\n", n, t);
        EXPECT_EQ(rest, head + padding + tail);
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(next[t], kLinesPerThread);
}

// The log at the trim size: 245760 lines of 64 bytes.
class LogTrimTest : public LogTest {
  protected:
    static constexpr int kFullLines = static_cast<int>(kLogTrimSize / 64);

    // Installs a question that counts its calls and gives `answer`.
    void Answer(bool answer) {
        SetLogSizeQuestion([this, answer] {
            ++asked_;
            return answer;
        });
    }

    int asked_ = 0;
};

TEST_F(LogTrimTest, AsksFromExactlyTheTrimSize) {
    static_assert(kLogTrimSize == 15728640);
    const std::string below = FixedLines(kFullLines - 1) + std::string(62, 'b') + "\n";
    ASSERT_EQ(below.size(), static_cast<std::size_t>(kLogTrimSize - 1));
    ReplaceLog(below);
    Answer(false);
    LogError(1, "t", 0, "first");
    EXPECT_EQ(asked_, 0);
    LogError(2, "t", 0, "second");  // the log has now passed the size
    EXPECT_EQ(asked_, 1);

    ReplaceLog(FixedLines(kFullLines));
    asked_ = 0;
    LogError(3, "t", 0, "third");
    EXPECT_EQ(asked_, 1);
}

TEST_F(LogTrimTest, WithoutQuestionOrWithEmptyFormatNothingIsAsked) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    LogError(1, "t", 0, "kept");  // no question installed: never trimmed
    Answer(true);
    const std::string empty;
    LogError(2, "t", 0, empty.c_str());
    LogWrite(2, "t", 0, kLogDebug, "dropped");
    EXPECT_EQ(asked_, 0);
    const std::string text = ReadFileText(kLogFile);
    ASSERT_TRUE(text.compare(0, full.size(), full) == 0);
    EXPECT_EQ(WithoutTime(text.substr(full.size())), "[kept][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogTrimTest, AnswerNoAppendsAndAsksAgain) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    Answer(false);
    LogError(1, "t", 0, "one");
    EXPECT_EQ(asked_, 1);
    LogWarn(2, "t", 0, "two");
    EXPECT_EQ(asked_, 2);

    const std::string text = ReadFileText(kLogFile);
    ASSERT_TRUE(text.compare(0, full.size(), full) == 0);
    const std::vector<std::string> added = SplitLines(text.substr(full.size()));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(WithoutTime(added[0]), "[one][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
    EXPECT_EQ(WithoutTime(added[1]), "[two][ File:t ][ Line:00002 ][ WARN ][ 0 ]\n");
}

TEST_F(LogTrimTest, AnswerYesKeepsTheLinesAfterTheOneCrossingHalf) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    Answer(true);
    LogError(7, "t", 0, "pending");
    EXPECT_EQ(asked_, 1);
    EXPECT_FALSE(FileExists("Log/tmp.log"));

    // Line 122880 (numbered from 0 it is 122879) ends exactly at half the size, which
    // does not exceed it; the next one crosses it and is the last one dropped.
    const std::size_t kept = full.size() - 122881u * 64;
    const std::string text = ReadFileText(kLogFile);
    ASSERT_GT(text.size(), kept);
    EXPECT_TRUE(text.compare(0, kept, full, full.size() - kept, kept) == 0);
    EXPECT_EQ(text.substr(0, 16), "line 0000122881 ");
    const std::vector<std::string> added = SplitLines(text.substr(kept));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        WithoutTime(added[0]),
        std::regex(R"(\[删除早期日志信息\]\[ File:QarvLog \]\[ Line:\d{5} \]\[ WARN \]\[ -36 \]\n)")))
        << added[0];
    EXPECT_EQ(WithoutTime(added[1]), "[pending][ File:t ][ Line:00007 ][ ERROR ][ 0 ]\n");

    LogError(8, "t", 0, "after");  // now far below the size
    EXPECT_EQ(asked_, 1);
}

TEST_F(LogTrimTest, LongLinesAreCountedInPiecesOf1023Bytes) {
    // Half the size falls inside the first 1023-byte piece of a 3000-byte line: the cut
    // comes right after that piece.
    const std::string before = FixedLines(122870);  // ends 640 bytes before half
    const std::string longLine = std::string(2999, 'L') + "\n";
    std::string full = before + longLine + FixedLines(122843, 122871) + "0123456\n";
    ASSERT_EQ(full.size(), static_cast<std::size_t>(kLogTrimSize));
    ReplaceLog(full);
    Answer(true);
    LogError(1, "t", 0, "pending");

    const std::size_t cut = before.size() + 1023;
    const std::string text = ReadFileText(kLogFile);
    ASSERT_GT(text.size(), full.size() - cut);
    EXPECT_TRUE(text.compare(0, full.size() - cut, full, cut) == 0);
    EXPECT_EQ(text.substr(0, 1977), std::string(1976, 'L') + "\n");
}

TEST_F(LogTrimTest, UnopenableTempFileLeavesTheLogAsItIs) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    std::filesystem::create_directory("Log/tmp.log");
    Answer(true);
    ::testing::internal::CaptureStderr();
    LogError(1, "t", 0, "one");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Open LOG tmp.log failed. Err info: \n");
    LogError(2, "t", 0, "two");
    EXPECT_EQ(asked_, 2);

    const std::string text = ReadFileText(kLogFile);
    ASSERT_TRUE(text.compare(0, full.size(), full) == 0);
    const std::vector<std::string> added = SplitLines(text.substr(full.size()));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(WithoutTime(added[0]), "[one][ File:t ][ Line:00001 ][ ERROR ][ 0 ]\n");
    EXPECT_EQ(WithoutTime(added[1]), "[two][ File:t ][ Line:00002 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogTrimTest, OtherThreadsWaitWhileTheQuestionIsOpen) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    std::thread other;
    std::atomic<bool> otherReturned{false};
    bool returnedWhileAsking = true;
    int calls = 0;  // touched only with the log lock held
    SetLogSizeQuestion([&] {
        if (++calls == 1) {
            other = std::thread([&] {
                LogError(2, "other", 0, "other");
                otherReturned = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            returnedWhileAsking = otherReturned.load();
        }
        return false;
    });
    LogError(1, "main", 0, "main");
    other.join();

    EXPECT_FALSE(returnedWhileAsking);
    EXPECT_EQ(calls, 2);
    const std::vector<std::string> added = SplitLines(ReadFileText(kLogFile).substr(full.size()));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(WithoutTime(added[0]), "[main][ File:main ][ Line:00001 ][ ERROR ][ 0 ]\n");
    EXPECT_EQ(WithoutTime(added[1]), "[other][ File:other ][ Line:00002 ][ ERROR ][ 0 ]\n");
}

TEST_F(LogTrimTest, QuestionThatLogsIsNotAskedAgainMeanwhile) {
    const std::string full = FixedLines(kFullLines);
    ReplaceLog(full);
    SetLogSizeQuestion([this] {
        ++asked_;
        LogWarn(1, "question", 0, "inside");
        return false;
    });
    LogError(2, "t", 0, "pending");
    EXPECT_EQ(asked_, 1);
    const std::vector<std::string> added = SplitLines(ReadFileText(kLogFile).substr(full.size()));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(WithoutTime(added[0]), "[inside][ File:question ][ Line:00001 ][ WARN ][ 0 ]\n");
    EXPECT_EQ(WithoutTime(added[1]), "[pending][ File:t ][ Line:00002 ][ ERROR ][ 0 ]\n");
}

}  // namespace
}  // namespace qarv
