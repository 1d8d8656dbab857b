#include "tests/recorder/library/test_media.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "common/process.h"
#include "tests/support/command_output.h"

namespace qarv::test {

bool MakeMedia(const std::string& path, double seconds, const std::string& format, bool toPipe) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%g", seconds);
    std::string command = std::string("ffmpeg -nostdin -v error -f lavfi -i testsrc=duration=") + duration +
                          ":size=320x240:rate=25 -f lavfi -i sine=duration=" + duration + " -y ";
    if (!format.empty())
        command += "-f " + format + " ";
    command += toPipe ? "pipe:1 > '" + path + "'" : "'" + path + "'";
    return std::system(command.c_str()) == 0;
}

bool MakeCutOffMedia(const std::string& path, long minBytes) {
    std::string ffmpeg = CommandOutput("command -v ffmpeg");
    while (!ffmpeg.empty() && ffmpeg.back() == '\n')
        ffmpeg.pop_back();
    // The sources run faster than real time: the file grows quickly, and an hour of them
    // keeps the writer busy long after the file is large enough.
    ProcessHandle writer = StartProcessHidden(
        ffmpeg,
        "ffmpeg -nostdin -v error -f lavfi -i testsrc=duration=3600:size=320x240:rate=25 -f lavfi -i "
        "sine=duration=3600 -y \"" +
            path + "\"");
    if (!writer.valid())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code error;
    while (writer.Wait(0) == ProcessHandle::kTimeout && std::chrono::steady_clock::now() < deadline) {
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (!error && size >= static_cast<std::uintmax_t>(minBytes)) {
            ::kill(writer.pid(), SIGKILL);
            return writer.Wait(10000) == ProcessHandle::kExited && writer.ExitCode() == 128 + SIGKILL;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    writer.Terminate(0);
    return false;
}

bool SetModificationTime(const std::string& path, int year, int month, int day, int hour, int minute,
                         int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const timespec times[2] = {{when, 0}, {when, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace qarv::test
