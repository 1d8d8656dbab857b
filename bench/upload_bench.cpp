// Benchmark: the recorder's upload of a video on loopback against `curl -F` of the same file to
// the same endpoint of the built site stand-in, in one run:
//   1. throughput of one large upload, and the uploading process's resident memory (peak minus
//      idle, against curl's peak);
//   2. total time of six parallel uploads through the task manager, against six parallel curls;
//   3. CPU time while the site reads slowly (the transfer loop must sleep, not spin);
//   4. stop latency, from the stop to the done message, against curl ended by SIGINT.
// Every upload that should arrive is checked on the site (size of the stored file).
// Usage: upload_bench [MiB] [PARALLEL_MiB] [STOPS]   (defaults 1024 200 100)

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "common/messages.h"
#include "recorder/sharing/progress_http_upload.h"
#include "recorder/sharing/upload_file_info_manager.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/devsite_process.h"
#include "tests/support/recording_message_target.h"

extern char** environ;

namespace {

using namespace qarv;
using test::RecordingMessageTarget;
using test::UploadSite;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Writes `mebibytes` of incompressible bytes (xorshift) to `path`.
bool WriteVideo(const std::string& path, std::uint64_t mebibytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::uint64_t i = 0; i < mebibytes && out; ++i) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
    return static_cast<bool>(out.flush());
}

// Waits until `target` holds `count` done messages; false after `limit`.
bool WaitForDone(RecordingMessageTarget& target, std::size_t count, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    for (std::size_t seen = 0;;) {
        const auto messages = target.messages();
        std::size_t done = 0;
        for (const auto& message : messages)
            done += message.message == WM_UPLOAD_DONE ? 1 : 0;
        if (done >= count)
            return true;
        seen = messages.size();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !target.WaitForCount(seen + 1, left))
            return false;
    }
}

// The done results in the order they came.
std::vector<long> DoneResults(const RecordingMessageTarget& target) {
    std::vector<long> results;
    for (const auto& message : target.messages()) {
        if (message.message == WM_UPLOAD_DONE)
            results.push_back(static_cast<long>(message.lParam));
    }
    return results;
}

// One `curl -F` upload of the form the recorder sends, as a child process.
class CurlUpload {
  public:
    CurlUpload(const UploadSettings& settings, const std::string& path, const std::string& replyPath) {
        const std::vector<std::string> args = {"curl",
                                               "-s",
                                               "-S",
                                               "-o",
                                               replyPath,
                                               "-b",
                                               settings.cookieFile,
                                               "-H",
                                               "Expect:",
                                               "-F",
                                               "title=bench",
                                               "-F",
                                               "desc=bench",
                                               "-F",
                                               "tags=bench",
                                               "-F",
                                               "file=@" + path,
                                               settings.baseUrl + "upload_user_video"};
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "curl", nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    // Waits for the process; its exit status (-1 when it did not exit by itself), and its usage.
    int Wait(rusage* usage = nullptr) {
        if (pid_ <= 0)
            return -1;
        int status = 0;
        rusage own{};
        const pid_t reaped = ::wait4(pid_, &status, 0, usage != nullptr ? usage : &own);
        pid_ = -1;
        return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// Seconds of CPU (user and system) that process `pid` has used, from /proc.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double OwnCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::unique_ptr<ProgressHttpUpload> StartUpload(const VideoElement& video, const UploadSettings& settings,
                                                const std::shared_ptr<RecordingMessageTarget>& target) {
    auto upload = std::make_unique<ProgressHttpUpload>(UploadRequest{"bench", video}, settings);
    upload->SetNotifyTarget(target);
    upload->MarkReady();
    return upload->start() == 0 ? std::move(upload) : nullptr;
}

// How many uploads the site has stored: folders named by their number (one being received
// has a name of its own until it is complete).
std::size_t StoredUploads(const UploadSite& site) {
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(site.dir().file("site/uploads"), error)) {
        const std::string name = entry.path().filename();
        count += std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }) ? 1 : 0;
    }
    return count;
}

// CPU share of a thread that only waits in 10 ms polls for `seconds`: the floor of any
// transfer loop whose wait is bounded at 10 ms.
double BarePollLoopPercent(double seconds) {
    timespec before{};
    timespec after{};
    double percent = 0;
    std::thread([&] {
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        const auto start = Clock::now();
        while (Seconds(start) < seconds)
            ::poll(nullptr, 0, 10);
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        const double used =
            static_cast<double>(after.tv_sec - before.tv_sec) + (after.tv_nsec - before.tv_nsec) / 1e9;
        percent = used / Seconds(start) * 100;
    }).join();
    return percent;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Bench {
    std::uint64_t mebibytes = 1024;
    std::uint64_t parallelMebibytes = 200;
    int stops = 100;
    bool failed = false;

    void Fail(const char* what) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        failed = true;
    }

    // 1. One large upload: ours, then curl, twice, the better of each.
    void Throughput() {
        UploadSite site;
        if (!site.error().empty())
            return Fail(site.error().c_str());
        const UploadSettings settings = site.Settings();
        VideoElement video = site.MakeVideo("big.flv", "");
        if (!WriteVideo(site.VideoPath(video), mebibytes))
            return Fail("could not write the video");
        const std::uintmax_t size = fs::file_size(site.VideoPath(video));
        double ours = 1e9;
        double theirs = 1e9;
        long idleKiB = 0;
        long peakKiB = 0;
        long curlPeakKiB = 0;
        for (int round = 0; round < 2; ++round) {
            auto target = std::make_shared<RecordingMessageTarget>();
            idleKiB = test::ProcessMemoryKiB(::getpid(), "VmRSS");
            test::ResetPeakMemory(::getpid());
            auto start = Clock::now();
            auto upload = StartUpload(video, settings, target);
            if (!upload || !WaitForDone(*target, 1, std::chrono::seconds(600)) ||
                DoneResults(*target)[0] != 0)
                return Fail("the upload did not succeed");
            ours = std::min(ours, Seconds(start));
            peakKiB = std::max(peakKiB, test::ProcessMemoryKiB(::getpid(), "VmHWM") - idleKiB);
            upload.reset();

            start = Clock::now();
            CurlUpload curl(settings, site.VideoPath(video), site.dir().file("curl.reply"));
            rusage usage{};
            if (curl.Wait(&usage) != 0 ||
                test::ReadFileText(site.dir().file("curl.reply")).find("\"retn\":0") == std::string::npos)
                return Fail("curl's upload did not succeed");
            theirs = std::min(theirs, Seconds(start));
            curlPeakKiB = usage.ru_maxrss;
            // Both stored whole; then removed, to spare the disk.
            for (int number = 2 * round + 1; number <= 2 * round + 2; ++number) {
                const std::string stored =
                    site.dir().file("site/uploads/" + std::to_string(number) + "/big.flv");
                std::error_code error;
                if (fs::file_size(stored, error) != size)
                    return Fail("an upload is not whole on the site");
                fs::remove(stored);
            }
        }
        const double mib = static_cast<double>(size) / (1 << 20);
        std::printf(
            "upload of %.0f MiB: recorder %.2f s (%.0f MiB/s), curl -F %.2f s (%.0f MiB/s), "
            "ratio %.2f (>= 0.9)\n",
            mib, ours, mib / ours, theirs, mib / theirs, theirs / ours);
        std::printf("resident memory while uploading: peak - idle %.1f MiB (< 16), curl's peak %.1f MiB\n",
                    peakKiB / 1024.0, curlPeakKiB / 1024.0);
    }

    // 2. Six parallel uploads through the task manager against six curls.
    void Parallel() {
        UploadSite site;
        if (!site.error().empty())
            return Fail(site.error().c_str());
        const UploadSettings settings = site.Settings();
        const std::string source = site.dir().file("source.flv");
        if (!WriteVideo(source, parallelMebibytes))
            return Fail("could not write the video");
        std::vector<VideoElement> videos;
        for (int i = 0; i < UploadFileInfoManager::kMaxTasks; ++i) {
            videos.push_back(site.MakeVideo("v" + std::to_string(i) + ".flv", "", "v" + std::to_string(i)));
            fs::remove(site.VideoPath(videos.back()));
            fs::create_hard_link(source, site.VideoPath(videos.back()));
        }
        auto target = std::make_shared<RecordingMessageTarget>();
        auto start = Clock::now();
        {
            UploadFileInfoManager manager(settings);
            for (std::size_t i = 0; i < videos.size(); ++i)
                manager.AddTask(UploadRequest{"bench", videos[i]}, target, static_cast<int>(i));
            if (!WaitForDone(*target, videos.size(), std::chrono::seconds(600)))
                return Fail("the parallel uploads did not end");
        }
        const double ours = Seconds(start);
        const auto results = DoneResults(*target);
        if (std::count(results.begin(), results.end(), 0L) != static_cast<long>(videos.size()))
            return Fail("a parallel upload did not succeed");

        start = Clock::now();
        std::vector<std::unique_ptr<CurlUpload>> curls;
        for (std::size_t i = 0; i < videos.size(); ++i)
            curls.push_back(std::make_unique<CurlUpload>(
                settings, site.VideoPath(videos[i]), site.dir().file("curl" + std::to_string(i) + ".reply")));
        for (auto& curl : curls) {
            if (curl->Wait() != 0)
                return Fail("a curl upload failed");
        }
        const double theirs = Seconds(start);
        // Every upload, ours and curl's, stored whole.
        const std::uintmax_t size = fs::file_size(source);
        std::size_t stored = 0;
        for (const auto& entry : fs::recursive_directory_iterator(site.dir().file("site/uploads"))) {
            if (entry.is_regular_file() && entry.path().extension() == ".flv" && entry.file_size() == size)
                ++stored;
        }
        if (stored != 2 * videos.size())
            return Fail("a parallel upload is not whole on the site");
        std::printf("six parallel uploads of %llu MiB: task manager %.2f s, six curl -F %.2f s, ratio %.2f\n",
                    static_cast<unsigned long long>(parallelMebibytes), ours, theirs, theirs / ours);
    }

    // 3. CPU while the site reads 64 KiB/s, over 5 s, against curl against the same site.
    void SlowSiteCpu() {
        UploadSite site({"--fault", "slow-reader", "--read-rate", "65536"});
        if (!site.error().empty())
            return Fail(site.error().c_str());
        const UploadSettings settings = site.Settings();
        VideoElement video = site.MakeVideo("slow.flv", "");
        if (!WriteVideo(site.VideoPath(video), 64))
            return Fail("could not write the video");
        constexpr double kWindow = 5.0;
        auto target = std::make_shared<RecordingMessageTarget>();
        auto upload = StartUpload(video, settings, target);
        std::this_thread::sleep_for(std::chrono::seconds(1));  // past connecting and the first buffers
        double before = OwnCpuSeconds();
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(kWindow));
        const double ours = (OwnCpuSeconds() - before) / Seconds(start) * 100;
        const bool stillRunning = upload && !upload->Ended();
        upload.reset();

        CurlUpload curl(settings, site.VideoPath(video), site.dir().file("curl.reply"));
        std::this_thread::sleep_for(std::chrono::seconds(1));
        before = ProcessCpuSeconds(curl.pid());
        start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(kWindow));
        const double theirs = (ProcessCpuSeconds(curl.pid()) - before) / Seconds(start) * 100;
        ::kill(curl.pid(), SIGINT);
        curl.Wait();
        if (!stillRunning)
            return Fail("the slow upload was not running throughout");
        const double floor = BarePollLoopPercent(kWindow);
        std::printf(
            "CPU while the site reads 64 KiB/s: recorder %.2f %% of a core (< 1), curl -F %.2f %%, "
            "a bare loop of 10 ms polls %.2f %% (recorder / bare loop %.2f)\n",
            ours, theirs, floor, ours / floor);
    }

    // 4. Stop latency: uploads of the large file stopped once they are under way.
    void StopLatency() {
        UploadSite site;
        if (!site.error().empty())
            return Fail(site.error().c_str());
        const UploadSettings settings = site.Settings();
        VideoElement video = site.MakeVideo("stop.flv", "");
        if (!WriteVideo(site.VideoPath(video), 256))
            return Fail("could not write the video");
        std::vector<double> ours;
        for (int i = 0; i < stops; ++i) {
            auto target = std::make_shared<RecordingMessageTarget>();
            auto upload = StartUpload(video, settings, target);
            while (upload && upload->LatestPercent() < 1 && !upload->Ended())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto start = Clock::now();
            upload->stop();  // returns once the done message is out
            ours.push_back(Seconds(start) * 1000);
            const auto results = DoneResults(*target);
            if (results.size() != 1 || results[0] != kUploadFailed)
                return Fail("a stopped upload did not end with -1");
        }
        std::vector<double> theirs;
        for (int i = 0; i < std::min(stops, 20); ++i) {
            CurlUpload curl(settings, site.VideoPath(video), site.dir().file("curl.reply"));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto start = Clock::now();
            ::kill(curl.pid(), SIGINT);
            curl.Wait();
            theirs.push_back(Seconds(start) * 1000);
        }
        if (StoredUploads(site) != 0)
            return Fail("a stopped upload was stored");
        std::printf(
            "stop to done over %d stops: median %.2f ms, max %.2f ms; curl -F to its exit on SIGINT "
            "(%zu): median %.2f ms, max %.2f ms\n",
            stops, Median(ours), *std::max_element(ours.begin(), ours.end()), theirs.size(), Median(theirs),
            *std::max_element(theirs.begin(), theirs.end()));
    }
};

}  // namespace

int main(int argc, char** argv) {
    Bench bench;
    if (argc > 1)
        bench.mebibytes = std::strtoull(argv[1], nullptr, 10);
    if (argc > 2)
        bench.parallelMebibytes = std::strtoull(argv[2], nullptr, 10);
    if (argc > 3)
        bench.stops = std::atoi(argv[3]);
    if (bench.mebibytes == 0 || bench.parallelMebibytes == 0 || bench.stops <= 0) {
        std::fprintf(stderr, "usage: upload_bench [MiB] [PARALLEL_MiB] [STOPS]\n");
        return 2;
    }
    // The log of the uploads goes to a folder of the run's own.
    const fs::path logDir = fs::temp_directory_path() / ("qarv-upload-bench-" + std::to_string(::getpid()));
    fs::create_directories(logDir);
    fs::current_path(logDir);
    LogOpen();
    bench.Throughput();
    if (!bench.failed)
        bench.Parallel();
    if (!bench.failed)
        bench.SlowSiteCpu();
    if (!bench.failed)
        bench.StopLatency();
    LogClose();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(logDir);
    return bench.failed ? 1 : 0;
}
