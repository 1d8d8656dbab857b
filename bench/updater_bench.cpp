// The launcher's figures on loopback against the built site stand-in:
//  - launcher start to recorder started when no update is offered, against starting the
//    recorder directly (a stand-in recorder that notes the moment it runs);
//  - download throughput of a 200 MB offered file (with its SHA-256 checked, as the launcher
//    does), against curl -o of the same address in the same run.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/messages.h"
#include "tests/support/command_output.h"
#include "tests/support/devsite_process.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"
#include "updater/download_thread.h"
#include "updater/update_check.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using qarv::test::ReadFileText;
using qarv::test::WriteFileText;

long long MonotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Starts `program` with `argument` (none if empty) in `dir`; its pid.
pid_t Spawn(const std::string& dir, const std::string& program, const std::string& argument) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        if (argument.empty())
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        else
            ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits for line `index` (0-based) of the stand-in's runs file; its start time and pid.
bool WaitForRun(const std::string& dir, std::size_t index, long long* started, int* pid) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream lines(ReadFileText(dir + "/recorder_runs.txt"));
        std::string line;
        for (std::size_t i = 0; std::getline(lines, line); ++i) {
            if (i == index) {
                std::istringstream(line) >> *started >> *pid;
                return true;
            }
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

void EndRecorder(int pid) {
    ::kill(pid, SIGKILL);
    // Not our child when the launcher started it: wait until it is gone or a zombie.
    for (int i = 0; i < 1000; ++i) {
        const std::string stat = ReadFileText("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t paren = stat.rfind(')');
        if (paren == std::string::npos || stat[paren + 2] == 'Z')
            break;
        std::this_thread::sleep_for(1ms);
    }
    ::waitpid(pid, nullptr, WNOHANG);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void StartUpFigures(const qarv::test::TempDir& dir, int port) {
    fs::copy_file(QARV_LAUNCHER_PATH, dir.file("QarvRecordClient"));
    fs::copy_file(QARV_STAND_IN_RECORDER, dir.file("QarvRecorder"));
    fs::create_directories(dir.file("Config"));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    WriteFileText(dir.file("Config/config.xml"),
                  "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<Config><ServerInfo><url>" + base +
                      "/</url><url_bak>u</url_bak><port>1</port><port_bak>1</port_bak><description>d"
                      "</description><UpgradeUrl>" +
                      base +
                      "</UpgradeUrl></ServerInfo><VersionInfo><version>"
                      "1.0.0.1</version><datetime>t</datetime><description>d</description></VersionInfo>"
                      "</Config>\n");
    constexpr int kRounds = 15;
    std::vector<double> direct;
    std::vector<double> launched;
    std::size_t line = 0;
    for (int round = 0; round < kRounds; ++round) {
        long long started = 0;
        int pid = 0;
        long long t0 = MonotonicNs();
        const pid_t recorder = Spawn(dir.path(), "./QarvRecorder", "1");
        if (!WaitForRun(dir.path(), line++, &started, &pid))
            return;
        direct.push_back((started - t0) / 1e6);
        EndRecorder(recorder);
        ::waitpid(recorder, nullptr, 0);

        t0 = MonotonicNs();
        const pid_t launcher = Spawn(dir.path(), "./QarvRecordClient", "");
        if (!WaitForRun(dir.path(), line++, &started, &pid))
            return;
        launched.push_back((started - t0) / 1e6);
        ::waitpid(launcher, nullptr, 0);
        EndRecorder(pid);
    }
    const double a = Median(launched);
    const double b = Median(direct);
    std::printf("Start to recorder running, no update offered (median of %d):\n", kRounds);
    std::printf("  through QarvRecordClient  %7.1f ms\n", a);
    std::printf("  recorder started directly %7.1f ms\n", b);
    std::printf("  launcher's cost           %7.1f ms (goal < 300 ms)\n", a - b);
}

double DownloadSeconds(const std::string& url, const std::string& sha256, const std::string& output) {
    qarv::DownloadSettings settings;
    settings.outputPath = output;
    auto target = std::make_shared<qarv::test::RecordingMessageTarget>();
    qarv::DownloadThread worker(settings);
    const auto start = std::chrono::steady_clock::now();
    if (worker.Prepare(target, url, sha256) != 0 || worker.start() != 0)
        return -1;
    while (!worker.idle())
        std::this_thread::sleep_for(1ms);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.stop();
    return worker.Outcome() == qarv::kDownloadComplete ? seconds : -1;
}

double CurlSeconds(const std::string& url, const std::string& output) {
    const auto start = std::chrono::steady_clock::now();
    int status = -1;
    qarv::test::CommandOutput("curl -s -o '" + output + "' '" + url + "'", &status);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

}  // namespace

int main() {
    qarv::test::TempDir dir;
    constexpr std::size_t kOfferedBytes = 200u * 1000 * 1000;
    {
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 2654435761u) >> 13);
        std::FILE* file = std::fopen(dir.file("offered").c_str(), "wb");
        for (std::size_t written = 0; written < kOfferedBytes; written += block.size())
            std::fwrite(block.data(), 1, std::min(block.size(), kOfferedBytes - written), file);
        std::fclose(file);
    }
    qarv::test::DevsiteProcess site;
    const int port = site.Start(QARV_DEVSITE_PATH,
                                {"--port", "0", "--data", dir.file("site-data"), "--offer-version", "1.0.0.1",
                                 "--offer-file", dir.file("offered")},
                                dir.file("site.err"));
    if (port <= 0) {
        std::fprintf(stderr, "the site stand-in did not start\n");
        return 1;
    }
    StartUpFigures(dir, port);

    // The digest the site gives with its version reply.
    qarv::VersionReply reply;
    std::string version;
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    qarv::QueryServerVersion(qarv::VersionQueryUrl(base), reply, version);
    const std::string url = qarv::RecorderDownloadUrl(base);
    double ours = 1e9;
    double unchecked = 1e9;
    double curl = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double a = DownloadSeconds(url, reply.sha256, dir.file("UpdateTemp"));
        fs::remove(dir.file("UpdateTemp"));
        const double u = DownloadSeconds(url, "", dir.file("UpdateTemp"));
        fs::remove(dir.file("UpdateTemp"));
        const double b = CurlSeconds(url, dir.file("curl.out"));
        fs::remove(dir.file("curl.out"));
        if (a < 0 || u < 0 || b < 0) {
            std::fprintf(stderr, "a download failed\n");
            return 1;
        }
        ours = std::min(ours, a);
        unchecked = std::min(unchecked, u);
        curl = std::min(curl, b);
    }
    const double mb = kOfferedBytes / 1e6;
    std::printf("Download of a %.0f MB offered file (best of 3):\n", mb);
    std::printf("  DownloadThread, SHA-256 checked  %7.1f MB/s\n", mb / ours);
    std::printf("  DownloadThread, no digest given  %7.1f MB/s\n", mb / unchecked);
    std::printf("  curl -o                          %7.1f MB/s\n", mb / curl);
    std::printf("  ratio, checked                   %7.2f (goal >= 0.9)\n", curl / ours);
    std::printf("  ratio, no digest                 %7.2f\n", curl / unchecked);
    return 0;
}
