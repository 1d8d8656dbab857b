// Benchmark: the my-videos page over a catalogue of 10,000 recordings (100 days of 100, each
// with a thumbnail), offscreen. Prints, against the catalogue's own load measured in the same
// run: the page made and drawn on the latest day, the switch to "全部" (every recording),
// a page turn; and the resident memory of a process holding the page with 10,000 entries
// against one holding it over an empty catalogue (each measured in a child process).
// Usage: video_page_bench [ENTRIES]   (default 10000)

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "recorder/account/login_register.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/qarv_video_file_mgr_page.h"
#include "recorder/sharing/upload_file_info_manager.h"
#include "tests/support/devsite_process.h"

extern char** environ;

namespace {

using namespace qarv;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kPerDay = 100;
constexpr int kRuns = 7;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// A left click in the middle of `widget`, as the user makes it.
void Click(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
    QCoreApplication::processEvents();  // the page takes button clicks queued
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A catalogue of `entries` recordings in `folder` in the layout the recorder writes, 100 a
// day, each with a thumbnail (hard links of one picture).
void MakeCatalogue(const std::string& folder, int entries) {
    fs::create_directories(folder);
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(QColor(90, 140, 200));
    const std::string thumbnail = folder + "/thumbnail.jpeg";
    picture.save(QString::fromStdString(thumbnail));
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<VideoRoot>\r\n";
    for (int day = 0; day * kPerDay < entries; ++day) {
        const std::string date =
            "2015_" + std::to_string(1 + day / 28 % 12) + "_" + std::to_string(1 + day % 28);
        fs::create_directories(folder + "/" + date);
        text += "    <DateList Date=\"" + date + "\">\r\n";
        for (int n = 0; n < kPerDay && day * kPerDay + n < entries; ++n) {
            text +=
                "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"RPG\" Duration=\"125\" "
                "Title=\"Round " +
                std::to_string(n) + "\" Time=\"02:09:06\">" + std::to_string(n) + ".flv</Element>\r\n";
            fs::create_hard_link(thumbnail, folder + "/" + date + "/" + std::to_string(n) + "_0.jpeg");
        }
        text += "    </DateList>\r\n";
    }
    text += "</VideoRoot>\r\n";
    WriteFileAtomically(folder + "/VideoInfo.xml", text);
}

VideoFileMgrPageServices Services(const std::string& folder) {
    VideoFileMgrPageServices services;
    services.catalogue = std::make_shared<QarvFileManagement>(folder, folder + "/VideoInfo.xml");
    services.account = std::make_shared<LoginRegister>();
    services.uploads = std::make_shared<UploadFileInfoManager>();
    services.today = [] { return QDate(2015, 12, 31); };
    return services;
}

// Child: holds the page over the catalogue in `folder` and prints its resident KiB.
int HoldPage(const std::string& folder) {
    CQarvVideoFileMgrPage page(nullptr, Services(folder));
    page.show();
    page.grab();
    QCoreApplication::processEvents();
    std::printf("%ld\n", test::ProcessMemoryKiB(::getpid(), "VmRSS"));
    return 0;
}

long ChildResidentKiB(const char* self, const std::string& folder) {
    const std::string output = folder + ".rss";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string hold = "--hold";
    char* argv[] = {const_cast<char*>(self), const_cast<char*>(hold.c_str()),
                    const_cast<char*>(folder.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    FILE* in = std::fopen(output.c_str(), "r");
    long kib = -1;
    if (in != nullptr) {
        if (std::fscanf(in, "%ld", &kib) != 1)
            kib = -1;
        std::fclose(in);
    }
    return kib;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--hold")
        return HoldPage(argv[2]);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (entries <= 0) {
        std::fprintf(stderr, "usage: video_page_bench [ENTRIES]\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("qarv-video-page-bench-" + std::to_string(::getpid()));
    const std::string full = (dir / "full").string();
    const std::string empty = (dir / "empty").string();
    MakeCatalogue(full, entries);
    MakeCatalogue(empty, 0);

    std::vector<double> load, open, all, turn;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        VideoFileMgrPageServices services = Services(full);
        load.push_back(Ms(start));

        start = Clock::now();
        CQarvVideoFileMgrPage page(nullptr, services);
        page.show();
        page.grab();
        open.push_back(Ms(start));
        if (page.List().size() != kPerDay) {
            std::fprintf(stderr, "FAILED: the latest day lists %zu recordings\n", page.List().size());
            return 1;
        }

        start = Clock::now();
        Click(page.AllBox());
        page.grab();
        all.push_back(Ms(start));
        if (page.List().size() != static_cast<std::size_t>(entries)) {
            std::fprintf(stderr, "FAILED: \"全部\" lists %zu recordings\n", page.List().size());
            return 1;
        }

        start = Clock::now();
        Click(page.Button(CQarvVideoFileMgrPage::kIdNextPage));
        page.grab();
        turn.push_back(Ms(start));
        if (page.CurrentPage() != 2) {
            std::fprintf(stderr, "FAILED: the page did not turn\n");
            return 1;
        }
    }
    const long fullKiB = ChildResidentKiB(argv[0], full);
    const long emptyKiB = ChildResidentKiB(argv[0], empty);
    fs::remove_all(dir);
    if (fullKiB < 0 || emptyKiB < 0) {
        std::fprintf(stderr, "FAILED: the memory could not be measured\n");
        return 1;
    }
    const double base = Median(load);
    std::printf("catalogue of %d recordings: its load median %.1f ms\n", entries, base);
    std::printf(
        "page made and drawn (the latest day): median %.1f ms, max %.1f ms beyond the load (goal < 100); "
        "ratio to the load %.2f\n",
        Median(open), *std::max_element(open.begin(), open.end()), Median(open) / base);
    std::printf("\"全部\" (every recording listed and drawn): median %.1f ms, ratio to the load %.2f\n",
                Median(all), Median(all) / base);
    std::printf("page turn: median %.2f ms, max %.2f ms\n", Median(turn),
                *std::max_element(turn.begin(), turn.end()));
    std::printf(
        "resident memory with the page: %d recordings %.1f MiB, empty catalogue %.1f MiB, difference %.1f "
        "MiB\n",
        entries, fullKiB / 1024.0, emptyKiB / 1024.0, (fullKiB - emptyKiB) / 1024.0);
    return 0;
}
