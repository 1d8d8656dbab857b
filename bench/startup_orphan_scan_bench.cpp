// Times what the start-up's search for unlisted recordings adds to loading the catalogue,
// with 10,000 catalogued recordings in 200 day folders (each with its five thumbnails on
// disk) and no unlisted one: the catalogue load alone (construct + ListAll, the start-up's
// work without the search) against the load plus OrphanRecordings::AdoptAll. The two are
// measured in alternation on the same files; the median of each and their ratio are printed.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "recorder/library/orphan_recordings.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/video_element.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDays = 200;
constexpr int kPerDay = 50;
constexpr int kThumbnails = 5;
constexpr int kRuns = 11;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool Touch(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    return file != nullptr && std::fclose(file) == 0;
}

// The catalogue text in the layout the recorder writes, with every recording and its
// thumbnails present as empty files; "" if a file could not be made.
std::string MakeVideoFolder(const std::string& videoFolder) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<VideoRoot>\r\n";
    for (int day = 0; day < kDays; ++day) {
        // Consecutive days from 1 January 2014 (mktime carries the day over into the month).
        std::tm local{};
        local.tm_year = 2014 - 1900;
        local.tm_mday = 1 + day;
        local.tm_hour = 12;
        local.tm_isdst = -1;
        std::mktime(&local);
        const std::string date = qarv::DateKey(local);
        const std::string folder = videoFolder + "/" + date;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        text += "    <DateList Date=\"" + date + "\">\r\n";
        for (int n = 0; n < kPerDay; ++n) {
            const std::string base = std::to_string(n);
            text += "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"RPG\" Duration=\"" +
                    std::to_string(60 + n) + "\" Title=\"Recording " + base + "\" Time=\"02:09:06\">" + base +
                    ".flv</Element>\r\n";
            bool made = Touch(folder + "/" + base + ".flv");
            for (int t = 0; t < kThumbnails; ++t)
                made = made && Touch(folder + "/" + base + "_" + std::to_string(t) + ".jpeg");
            if (!made)
                return std::string();
        }
        text += "    </DateList>\r\n";
    }
    return text + "</VideoRoot>\r\n";
}

// One start-up's catalogue work; false if it did not list every entry, or the search found
// or adopted anything.
bool StartUp(const std::string& videoFolder, const std::string& path, bool search) {
    qarv::QarvFileManagement manager(videoFolder, path);
    std::vector<qarv::VideoElement> list;
    manager.ListAll(list);
    if (list.size() != static_cast<std::size_t>(kDays * kPerDay))
        return false;
    if (!search)
        return true;
    qarv::OrphanRecordings orphans(manager);
    const qarv::OrphanRecordings::Summary summary = orphans.AdoptAll({}, {});
    return summary.found == 0 && summary.adopted == 0;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/qarv-orphan-scan-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const std::string videoFolder = root + "/Video";
    const std::string path = videoFolder + "/VideoInfo.xml";
    const std::string text = MakeVideoFolder(videoFolder);
    int status = 1;
    if (text.empty() || qarv::WriteFileAtomically(path, text) != 0) {
        std::fprintf(stderr, "cannot make the video folder in %s; nothing measured\n", root.c_str());
    } else {
        std::vector<double> load;
        std::vector<double> loadAndSearch;
        bool measured = StartUp(videoFolder, path, false) && StartUp(videoFolder, path, true);  // warm-up
        for (int run = 0; run < kRuns && measured; ++run) {
            for (const bool search : {false, true}) {
                const Clock::time_point start = Clock::now();
                measured = measured && StartUp(videoFolder, path, search);
                (search ? loadAndSearch : load).push_back(Milliseconds(Clock::now() - start));
            }
        }
        if (!measured) {
            std::fprintf(stderr,
                         "the catalogue did not list every entry, or the search found one; "
                         "nothing measured\n");
        } else {
            std::printf(
                "catalogue: %d entries in %d day folders, %d thumbnails on disk, no unlisted recording\n",
                kDays * kPerDay, kDays, kDays * kPerDay * kThumbnails);
            std::printf("catalogue load (construct + ListAll): median %.2f ms over %d runs\n", Median(load),
                        kRuns);
            std::printf("load + search for unlisted recordings: median %.2f ms; ratio %.2fx\n",
                        Median(loadAndSearch), Median(loadAndSearch) / Median(load));
            status = 0;
        }
    }
    std::error_code error;
    std::filesystem::remove_all(root, error);
    return status;
}
