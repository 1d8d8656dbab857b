// Times the video catalogue with 10,000 entries: loading it (construct + ListAll without
// thumbnails, as at start-up and on the my-videos page, which looks up the thumbnails of the
// four rows on show only) and adding one recording (the part of AddFile that
// runs under the catalogue lock: the entry is added and the whole file is written). Each is
// printed against its budget and against a baseline measured in the same run on the same
// file: a bare TinyXML parse for the load, a plain write of the same bytes for the add.
#include <stdlib.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/video_info_xml.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDays = 100;
constexpr int kPerDay = 100;
constexpr int kThumbnails = 5;
constexpr int kLoadRuns = 15;
constexpr int kAddRuns = 21;
constexpr double kLoadBudgetMs = 200;
constexpr double kAddBudgetMs = 50;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

template <typename Action>
std::vector<double> Time(int runs, Action action) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        action(i);
        times.push_back(Milliseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times;
}

double Median(const std::vector<double>& sorted) {
    return sorted[sorted.size() / 2];
}

void Report(const char* what, const std::vector<double>& times, double budget, const char* baselineName,
            const std::vector<double>& baseline) {
    const double median = Median(times);
    std::printf("%s: median %.2f ms, max %.2f ms (budget %.0f ms: %s)\n", what, median, times.back(), budget,
                median < budget && times.back() < budget ? "within" : "OVER");
    std::printf("    baseline %s: median %.2f ms; ratio %.1fx\n", baselineName, Median(baseline),
                median / Median(baseline));
}

// A catalogue in the layout the recorder writes, with a recording's five thumbnails on disk
// for every entry (the load looks each one up).
std::string MakeCatalogue(const std::string& videoFolder) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<VideoRoot>\r\n";
    for (int day = 1; day <= kDays; ++day) {
        const std::string date =
            "2014_" + std::to_string(1 + (day - 1) / 28) + "_" + std::to_string(1 + (day - 1) % 28);
        const std::string folder = videoFolder + "/" + date;
        std::filesystem::create_directories(folder);
        text += "    <DateList Date=\"" + date + "\">\r\n";
        for (int n = 0; n < kPerDay; ++n) {
            const std::string base = "game" + std::to_string(n);
            text += "        <Element IsFlag=\"" + std::to_string(n % 2) +
                    "\" IsUpload=\"0\" Catogery=\"RPG\" Duration=\"" + std::to_string(60 + n) +
                    "\" Title=\"Recording number " + std::to_string(n) + "\" Time=\"02:09:06\">" + base +
                    ".flv</Element>\r\n";
            for (int t = 0; t < kThumbnails; ++t) {
                if (std::FILE* file =
                        std::fopen((folder + "/" + base + "_" + std::to_string(t) + ".jpeg").c_str(), "wb"))
                    std::fclose(file);
            }
        }
        text += "    </DateList>\r\n";
    }
    text += "</VideoRoot>\r\n";
    return text;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/qarv-catalogue-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = pattern;
    const std::string videoFolder = root + "/Video";
    const std::string path = videoFolder + "/VideoInfo.xml";
    const std::string text = MakeCatalogue(videoFolder);
    if (qarv::WriteFileAtomically(path, text) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("catalogue: %d entries, %zu bytes, %d thumbnails on disk\n", kDays * kPerDay, text.size(),
                kDays * kPerDay * kThumbnails);

    // Load and baseline alternate, so that a busy machine slows both alike.
    std::size_t listed = 0;
    std::vector<double> load;
    std::vector<double> parse;
    for (int run = 0; run < kLoadRuns; ++run) {
        Clock::time_point start = Clock::now();
        {
            qarv::QarvFileManagement manager(videoFolder, path);
            std::vector<qarv::VideoElement> list;
            manager.ListAll(list, qarv::ThumbnailLookup::kSkip);
            listed = list.size();
        }
        load.push_back(Milliseconds(Clock::now() - start));
        start = Clock::now();
        {
            TiXmlDocument document;
            document.LoadFile(path.c_str(), TIXML_ENCODING_LEGACY);
        }
        parse.push_back(Milliseconds(Clock::now() - start));
    }
    std::sort(load.begin(), load.end());
    std::sort(parse.begin(), parse.end());
    if (listed != static_cast<std::size_t>(kDays * kPerDay)) {
        std::fprintf(stderr, "listed %zu of %d entries; nothing measured\n", listed, kDays * kPerDay);
        return 1;
    }
    std::printf("listed %zu entries\n", listed);
    Report("load (construct + ListAll)", load, kLoadBudgetMs, "TinyXML parse of the file", parse);

    qarv::VideoInfoXml store(path, videoFolder);
    int failedAdds = 0;
    const auto addOne = [&](int i) {
        qarv::VideoElement element;
        element.Date = "2014_4_16";
        element.FileName = "new" + std::to_string(i) + ".flv";
        element.Duration = 42;
        element.Time = "12:00:00";
        if (store.AddVideo(element) != 0)
            ++failedAdds;
    };
    // The first save after the load prints every date list; later ones only the one changed.
    const std::vector<double> first = Time(1, [&](int) { addOne(-1); });
    const std::vector<double> add = Time(kAddRuns, addOne);
    if (failedAdds != 0) {
        std::fprintf(stderr, "%d of %d adds failed; nothing measured\n", failedAdds, kAddRuns);
        return 1;
    }
    // The file as the last add wrote it.
    std::string bytes;
    if (qarv::ReadWholeFile(path, std::size_t{1} << 30, bytes) != qarv::kReadOk) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::string plainPath = root + "/plain.xml";
    const std::vector<double> plain = Time(kAddRuns, [&](int) {
        if (std::FILE* file = std::fopen(plainPath.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
    });
    const std::vector<double> atomic =
        Time(kAddRuns, [&](int) { qarv::WriteFileAtomically(plainPath, bytes); });
    Report("AddFile without the probe (AddVideo + save)", add, kAddBudgetMs, "plain write of the same bytes",
           plain);
    std::printf("    atomic replace of the same bytes (write, fsync, rename): median %.2f ms; ratio %.1fx\n",
                Median(atomic), Median(add) / Median(atomic));
    std::printf("    first AddFile after the load (prints the whole file): %.2f ms\n", first[0]);

    std::error_code error;
    std::filesystem::remove_all(root, error);
    return 0;
}
