// Times the end of a 10-minute recording: from the encoder's end to the catalogue entry
// (MakeThumbnails, then AddFile with its probe), as the capture session does it. The
// baseline, measured in the same run, is the bare work underneath: five single-frame runs
// of ffmpeg on the same file with the same options.
//
// Usage: stop_to_catalogued_bench CAPTURER_PROGRAM
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/thumbnails.h"
#include "recorder/library/video_element.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kBudgetMs = 2000;
constexpr int kRuns = 5;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CAPTURER_PROGRAM\n", argv[0]);
        return 2;
    }
    const std::string capturer = std::filesystem::absolute(argv[1]).string();
    char pattern[] = "/tmp/qarv-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 1;
    const std::string dir = pattern;
    std::filesystem::current_path(dir);
    std::filesystem::create_symlink(capturer, "capturer");
    const std::string day = "2026_12_7";
    std::filesystem::create_directories("Video/" + day);
    const std::string video = dir + "/Video/" + day + "/0.flv";

    // A recording as the recorder makes it by default: 1280x720, 20 fps, GOP 50, 300 kbit/s,
    // 22050 Hz sound, ten minutes, in flv.
    std::printf("making a 10-minute recording ...\n");
    std::fflush(stdout);
    if (Run("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=1280x720:rate=20 -f lavfi -i "
            "sine=frequency=440:sample_rate=22050 -t 600 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
            "-g 50 -b:v 300000 -ar 22050 -y '" +
            video + "'") != 0) {
        std::fprintf(stderr, "ffmpeg could not make the recording\n");
        return 1;
    }

    std::vector<double> finish;
    std::vector<double> baseline;
    for (int run = 0; run < kRuns; ++run) {
        std::filesystem::remove("Video/VideoInfo.xml");
        for (int i = 0; i < 5; ++i)
            std::filesystem::remove("Video/" + day + "/0_" + std::to_string(i) + ".jpeg");
        qarv::QarvFileManagement catalogue(dir + "/Video", dir + "/Video/VideoInfo.xml");

        const auto begin = Clock::now();
        qarv::MakeThumbnails(video);
        qarv::VideoElement element;
        element.Date = day;
        element.FileName = "0.flv";
        element.BuildThumbnailList(dir + "/Video");
        catalogue.AddFile(element);
        finish.push_back(Milliseconds(Clock::now() - begin));
        std::vector<qarv::VideoElement> list;
        catalogue.ListAll(list);
        if (list.size() != 1 || list[0].Thumbnails.size() != 5) {
            std::fprintf(stderr, "the recording was not catalogued with five thumbnails\n");
            return 1;
        }

        const auto plain = Clock::now();
        for (int i = 0; i < 5; ++i) {
            if (Run("ffmpeg -nostdin -loglevel error -ss " + std::to_string(i * 120) + " -i '" + video +
                    "' -f image2 -vframes 1 -s 800*600 -y '" + dir + "/plain.jpeg'") != 0) {
                std::fprintf(stderr, "the baseline's frame grab failed; nothing measured\n");
                return 1;
            }
        }
        baseline.push_back(Milliseconds(Clock::now() - plain));
    }

    const double finishMs = Median(finish);
    const double baselineMs = Median(baseline);
    std::printf(
        "stop to catalogued (10-minute recording, 5 thumbnails + catalogue entry): median %.0f ms of %d runs"
        " (min %.0f, max %.0f), budget %.0f ms: %s\n",
        finishMs, kRuns, *std::min_element(finish.begin(), finish.end()),
        *std::max_element(finish.begin(), finish.end()), kBudgetMs, finishMs < kBudgetMs ? "met" : "MISSED");
    std::printf("baseline, five plain ffmpeg frame grabs on the same file: median %.0f ms; ratio %.2f\n",
                baselineMs, finishMs / baselineMs);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return finishMs < kBudgetMs ? 0 : 1;
}
