#include "common/log.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/file_util.h"
#include "common/log_codes.h"
#include "common/text.h"

namespace qarv {

namespace {

constexpr const char kLogDirectory[] = "Log";
constexpr const char kLogPath[] = "./Log/log.log";
constexpr const char kTempPath[] = "./Log/tmp.log";
// Longest file name printed in the File field, in bytes.
constexpr std::size_t kFileNameLimit = 32;
// The trim counts the log in pieces of at most this many bytes: a line, or a part of a
// longer one.
constexpr long kTrimPieceLimit = 1023;

constexpr const char* kLevelNames[] = {
    "FATAL", "ALERT", "CRIT", "ERROR", "WARN", "NOTICE", "INFO", "DEBUG", "TRACE", "NOTSET", "UNKNOWN",
};
constexpr int kLevelCount = static_cast<int>(std::size(kLevelNames));

struct LogState {
    FilePtr file;  // none before LogOpen, after LogClose and after a failed reopen
    std::function<bool()> question;
    bool asking = false;  // the question is open; nested lines do not ask again
};

// The lock and the state are created on first use and never destroyed, so that code
// running during static initialisation or destruction can log safely.
std::recursive_mutex& LogMutex() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

LogState& State() {
    static auto* state = new LogState;
    return *state;
}

void ReportOpenFailure(const char* path) {
    std::fprintf(stderr, "Open LOG %s failed. Err info: \n", path);
}

// "[YYYY-MM-DD HH:MM:SS.mmm] " in local time.
void FormatTimePrefix(char* out, std::size_t size) {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto seconds = floor<std::chrono::seconds>(now);
    const int millis = static_cast<int>((now - seconds).count());
    const time_t when = system_clock::to_time_t(seconds);
    struct tm local {};
    localtime_r(&when, &local);
    std::snprintf(out, size, "[%04d-%02d-%02d %02d:%02d:%02d.%03d] ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
}

void WriteLine(int line, const char* file, int code, int level, const char* format, va_list args);

void WriteLineF(int line, const char* file, int code, int level, const char* format, ...)
    QARV_PRINTF_FORMAT(5, 6);

void WriteLineF(int line, const char* file, int code, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(line, file, code, level, format, args);
    va_end(args);
}

// Copies `log` from its start to `temp`, leaving out every piece up to and including the one
// with which the running byte count first exceeds `half`. False on a read or write error.
bool CopyNewerPart(std::FILE* log, std::FILE* temp, long half) {
    if (std::fseek(log, 0, SEEK_SET) != 0)
        return false;
    std::vector<char> buffer(1 << 16);
    long total = 0;
    long piece = 0;
    bool copying = false;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), log)) > 0) {
        std::size_t start = 0;
        for (; !copying && start < n; ++start) {
            ++total;
            ++piece;
            if (buffer[start] == '\n' || piece == kTrimPieceLimit) {
                piece = 0;
                copying = total > half;
            }
        }
        if (copying && start < n && std::fwrite(buffer.data() + start, 1, n - start, temp) != n - start) {
            return false;
        }
    }
    return std::ferror(log) == 0;
}

// Replaces the log by its newer half. The old log stays as it is if the newer part cannot
// be written in full. Runs with the lock held.
void Trim(LogState& state, long size) {
    FilePtr temp(std::fopen(kTempPath, "w"));
    if (!temp) {
        std::fputs("Open LOG tmp.log failed. Err info: \n", stderr);
        return;
    }
    bool ok = CopyNewerPart(state.file.get(), temp.get(), size / 2);
    ok = (std::fclose(temp.release()) == 0) && ok;
    if (!ok) {
        std::fputs("Write LOG tmp.log failed. Err info: \n", stderr);
        std::remove(kTempPath);
        return;
    }
    // Closed before the rename so that this also works where open files cannot be replaced.
    state.file.reset();
    std::error_code error;
    std::filesystem::rename(kTempPath, kLogPath, error);
    if (error) {
        std::remove(kTempPath);
        std::fputs("Rename LOG tmp.log failed. Err info: \n", stderr);
    }
    state.file.reset(std::fopen(kLogPath, "at+"));
    if (!state.file) {
        ReportOpenFailure(kLogPath);
        return;
    }
    if (!error)
        WriteLineF(__LINE__, kSrcQarvLog, kCodeLogTrimmed, kLogWarn, kMsgLogTrimmed);
}

// Asks whether to trim once the log has reached kLogTrimSize. Runs with the lock held.
void CheckSize(LogState& state) {
    std::FILE* log = state.file.get();
    if (std::fseek(log, 0, SEEK_END) != 0)
        return;
    const long size = std::ftell(log);
    if (size < kLogTrimSize || !state.question || state.asking)
        return;

    bool yes = false;
    {
        // A copy: the question may replace itself while it runs.
        const std::function<bool()> question = state.question;
        state.asking = true;
        struct AskingReset {
            LogState& state;
            ~AskingReset() { state.asking = false; }
        } reset{state};
        yes = question();
    }
    if (!yes || !state.file)
        return;  // the log may have been closed while the question was open
    Trim(state, size);
}

void WriteLine(int line, const char* file, int code, int level, const char* format, va_list args) {
    if (format == nullptr || format[0] == '\0')
        return;

    std::lock_guard lock(LogMutex());
    LogState& state = State();
    if (!state.file)
        return;
    CheckSize(state);
    if (!state.file)
        return;  // the reopen after a trim failed

    char prefix[64] = "";
    if (std::strcmp(format, "\n") != 0)
        FormatTimePrefix(prefix, sizeof prefix);

    // One byte beyond the limit shows whether the cut would split a character.
    char message[kLogMessageLimit + 2];
    const int formatted = std::vsnprintf(message, sizeof message, format, args);
    std::size_t length = 0;
    if (formatted > 0) {
        const std::size_t written =
            std::min<std::size_t>(static_cast<std::size_t>(formatted), sizeof message - 1);
        length = CharBoundaryPrefix(std::string_view(message, written), kLogMessageLimit);
    }

    const char* name = file != nullptr ? file : "";
    if (const char* slash = std::strrchr(name, '\\'))
        name = slash + 1;
    std::size_t nameBytes = 0;  // up to one byte beyond the limit
    while (nameBytes <= kFileNameLimit && name[nameBytes] != '\0')
        ++nameBytes;
    const std::size_t nameLength = CharBoundaryPrefix(std::string_view(name, nameBytes), kFileNameLimit);

    const char* levelName = kLevelNames[level >= 0 && level < kLevelCount ? level : kLogUnknown];
    std::fprintf(state.file.get(), "%s[%.*s][ File:%.*s ][ Line:%05d ][ %s ][ %d ]\n", prefix,
                 static_cast<int>(length), message, static_cast<int>(nameLength), name, line, levelName,
                 code);
    std::fflush(state.file.get());
}

}  // namespace

int LogOpen() {
    std::lock_guard lock(LogMutex());
    LogState& state = State();
    state.file.reset();
    CreateDirectoryIfMissing(kLogDirectory);
    state.file.reset(std::fopen(kLogPath, "at+"));
    if (!state.file) {
        ReportOpenFailure(kLogPath);
        return -1;
    }
    return 0;
}

void LogClose() {
    std::lock_guard lock(LogMutex());
    State().file.reset();
}

void SetLogSizeQuestion(std::function<bool()> question) {
    std::lock_guard lock(LogMutex());
    State().question = std::move(question);
}

int LogError(int line, const char* file, int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(line, file, code, kLogError, format, args);
    va_end(args);
    return 0;
}

int LogWarn(int line, const char* file, int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLine(line, file, code, kLogWarn, format, args);
    va_end(args);
    return 0;
}

int LogWrite(int line, const char* file, int code, LogLevel level, const char* format, ...) {
    if (level == kLogDebug)
        return 0;
    va_list args;
    va_start(args, format);
    WriteLine(line, file, code, level, format, args);
    va_end(args);
    return 0;
}

}  // namespace qarv
