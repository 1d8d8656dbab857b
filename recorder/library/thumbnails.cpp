#include "recorder/library/thumbnails.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "common/paths.h"
#include "common/process.h"
#include "recorder/library/media_probe.h"

namespace qarv {

namespace {

constexpr int kThumbnailCount = 5;
constexpr int kThumbnailWidth = 800;
constexpr int kThumbnailHeight = 600;

// Position of the "." that starts the extension of the file name in `path`, or npos.
std::size_t ExtensionDot(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return dot;
    const std::size_t separator = path.find_last_of(PathSeparator());
    return separator != std::string::npos && separator > dot ? std::string::npos : dot;
}

}  // namespace

std::string PathWithoutExtension(const std::string& path) {
    return path.substr(0, ExtensionDot(path));
}

std::string ThumbnailPath(const std::string& videoPath, int index) {
    return PathWithoutExtension(videoPath) + "_" + std::to_string(index) + ".jpeg";
}

std::string CaptureJpegCommand(const std::string& videoPath, int second, int index) {
    return " -i \"" + videoPath + "\" -f image2 -ss " + std::to_string(second) + " -vframes 1 -s " +
           std::to_string(kThumbnailWidth) + "*" + std::to_string(kThumbnailHeight) + " -y \"" +
           ThumbnailPath(videoPath, index) + "\"";
}

std::vector<int> ThumbnailSeconds(double durationSeconds) {
    // Whole seconds, cut toward zero; a length that is not a usable number counts as 0.
    int whole = 0;
    if (std::isfinite(durationSeconds) && durationSeconds >= 1)
        whole = durationSeconds >= 2147483647.0 ? 2147483647 : static_cast<int>(durationSeconds);
    if (whole < kThumbnailCount)
        return {whole / 2};
    const int step = whole / kThumbnailCount;
    std::vector<int> seconds;
    for (int i = 0; i < kThumbnailCount; ++i)
        seconds.push_back(i * step);
    return seconds;
}

int CaptureJpeg(const std::string& videoPath, int second, int index) {
    if (ExtensionDot(videoPath) == std::string::npos)
        return -1;
    // A quote would end the quoted argument early and let the rest of the path pass as
    // further options.
    if (videoPath.find('"') != std::string::npos)
        return -1;
    const std::string program = ExecutableName("capturer");
    ProcessHandle process = StartProcessHidden(program, CaptureJpegCommand(videoPath, second, index));
    if (!process.valid()) {
        const std::string reason = ::access(program.c_str(), X_OK) != 0
                                       ? std::error_code(errno, std::generic_category()).message()
                                       : std::string("the program could not be started");
        std::printf("Capture JPEG Failed, Error: %s\n", reason.c_str());
        std::fflush(stdout);
        return 0;
    }
    // A process still running afterwards is handed to the background reaper.
    if (process.Wait(kCaptureWaitMs) == ProcessHandle::kExited) {
        // An encoder that could not write the picture (a full disk) leaves an empty file,
        // which would be listed as a blank thumbnail.
        const std::string picture = ThumbnailPath(videoPath, index);
        struct stat status {};
        if (::stat(picture.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0)
            ::unlink(picture.c_str());
    }
    return 0;
}

int MakeThumbnails(const std::string& videoPath) {
    double seconds = 0;
    const int probed = ProbeDuration(videoPath, seconds);
    if (probed != 0)
        return probed;
    const std::vector<int> positions = ThumbnailSeconds(seconds);
    for (std::size_t i = 0; i < positions.size(); ++i)
        CaptureJpeg(videoPath, positions[i], static_cast<int>(i));
    return 0;
}

}  // namespace qarv
