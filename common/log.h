#pragma once
// The recorder's text log "./Log/log.log": one line per call, flushed at once.
// Every function is thread-safe: writes, the size check and the trim run under one
// process-wide recursive lock. The log never depends on a window system; the question
// asked when the file passes 15 MiB is installed by the program (SetLogSizeQuestion).

#include <functional>

namespace qarv {

enum LogLevel {
    kLogFatal = 0,
    kLogAlert = 1,
    kLogCrit = 2,
    kLogError = 3,
    kLogWarn = 4,
    kLogNotice = 5,
    kLogInfo = 6,
    kLogDebug = 7,
    kLogTrace = 8,
    kLogNotset = 9,
    kLogUnknown = 10,
};

// Size from which every line first asks whether the older half of the log may go.
inline constexpr long kLogTrimSize = 15728640;  // 15 MiB
// Longest message written; longer ones are cut on a character boundary.
inline constexpr int kLogMessageLimit = 10240;

// Opens "./Log/log.log" for appending, creating the folder "Log" if needed.
// Returns 0, or -1 after writing "Open LOG <path> failed. Err info: " to standard error;
// log calls then do nothing until a later LogOpen succeeds.
int LogOpen();
// Closes the log; later log calls do nothing.
void LogClose();

// The question asked (with the log lock held) when the log has reached kLogTrimSize:
// true trims the older half. Without a question installed the log is never trimmed.
// Passing an empty function removes the question.
void SetLogSizeQuestion(std::function<bool()> question);

#if defined(__GNUC__)
#define QARV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QARV_PRINTF_FORMAT(fmt, args)
#endif

// Write one line of level ERROR, WARN, or the given level. `file` is the caller's source
// name (printed after its last backslash, at most 32 characters). Always return 0.
int LogError(int line, const char* file, int code, const char* format, ...) QARV_PRINTF_FORMAT(4, 5);
int LogWarn(int line, const char* file, int code, const char* format, ...) QARV_PRINTF_FORMAT(4, 5);
// A DEBUG line is dropped.
int LogWrite(int line, const char* file, int code, LogLevel level, const char* format, ...)
    QARV_PRINTF_FORMAT(5, 6);

}  // namespace qarv
