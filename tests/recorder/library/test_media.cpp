#include "tests/recorder/library/test_media.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

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
