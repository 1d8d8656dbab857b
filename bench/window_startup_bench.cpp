// Start-up time of the recorder's main window, and the idle window's CPU use and resident
// memory, against a bare Qt program that only shows a window of the same size (started
// the same way on the same private X server).
//
//   window_startup_bench INSTALL_DIR BASELINE_PROGRAM [RUNS]
//
// INSTALL_DIR holds an installed recorder (cmake --install BUILD --prefix INSTALL_DIR).
// Start-up is measured from fork() to the X server's MapNotify of the program's first
// top-level window.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/virtual_display.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double startMs = -1;
    pid_t pid = -1;
};

// Starts `program` with one argument in `dir` and waits for its first window to be mapped.
Run StartAndWaitForWindow(xcb_connection_t* connection, const std::string& display, const std::string& dir,
                          const std::string& program) {
    Run run;
    const auto start = Clock::now();
    run.pid = ::fork();
    if (run.pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-bench-socket", 1);
        ::execl(program.c_str(), program.c_str(), "1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = start + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (event == nullptr) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                            !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
        std::free(event);
        if (mapped) {
            run.startMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    return run;
}

void Stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// User plus system CPU time of a process, in clock ticks; -1 if it is gone.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    if (text.rfind(')') == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

struct Figures {
    double medianStartMs = -1;
    double idleCpuPercent = -1;
    long residentKiB = -1;
};

Figures Measure(xcb_connection_t* connection, const std::string& display, const std::string& dir,
                const std::string& program, int runs) {
    Figures figures;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Run run = StartAndWaitForWindow(connection, display, dir, program);
        if (run.startMs >= 0)
            times.push_back(run.startMs);
        if (i + 1 < runs) {
            Stop(run.pid);
            continue;
        }
        // The last run stays up: its idle window is measured.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const long ticksBefore = CpuTicks(run.pid);
        const auto before = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const long ticksAfter = CpuTicks(run.pid);
        const double seconds = std::chrono::duration<double>(Clock::now() - before).count();
        if (ticksBefore >= 0 && ticksAfter >= 0) {
            figures.idleCpuPercent = 100.0 * static_cast<double>(ticksAfter - ticksBefore) /
                                     static_cast<double>(::sysconf(_SC_CLK_TCK)) / seconds;
        }
        figures.residentKiB = ResidentKiB(run.pid);
        Stop(run.pid);
    }
    // A median over the runs that showed a window would hide the ones that did not.
    if (static_cast<int>(times.size()) == runs) {
        std::sort(times.begin(), times.end());
        figures.medianStartMs = times[times.size() / 2];
    }
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s INSTALL_DIR BASELINE_PROGRAM [RUNS]\n", argv[0]);
        return 2;
    }
    // The programs start in INSTALL_DIR, so neither path may stay relative.
    const std::string installDir = std::filesystem::absolute(argv[1]).string();
    const std::string baseline = std::filesystem::absolute(argv[2]).string();
    for (const std::string& program : {installDir + "/QarvRecorder", baseline}) {
        if (::access(program.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "cannot run %s\n", program.c_str());
            return 1;
        }
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;

    qarv::test::VirtualDisplay display;
    if (!display.Start(1280, 800)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    xcb_connection_t* connection = xcb_connect(display.name().c_str(), nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const Figures bare = Measure(connection, display.name(), installDir, baseline, runs);
    const Figures recorder =
        Measure(connection, display.name(), installDir, installDir + "/QarvRecorder", runs);
    xcb_disconnect(connection);

    bool measured = true;
    for (const auto& [name, figures] : {std::pair{"recorder", recorder}, std::pair{"bare Qt window", bare}}) {
        if (figures.medianStartMs < 0 || figures.idleCpuPercent < 0 || figures.residentKiB <= 0) {
            std::fprintf(stderr,
                         "the %s could not be measured: its window did not appear or it ended early\n", name);
            measured = false;
        }
    }
    if (!measured)
        return 1;
    std::printf("runs: %d each\n", runs);
    std::printf("start to window shown (median): recorder %.1f ms, bare Qt window %.1f ms, ratio %.2f\n",
                recorder.medianStartMs, bare.medianStartMs, recorder.medianStartMs / bare.medianStartMs);
    std::printf("idle CPU over 10 s: recorder %.2f %% of a core, bare Qt window %.2f %%\n",
                recorder.idleCpuPercent, bare.idleCpuPercent);
    std::printf(
        "resident memory of the idle window: recorder %.1f MiB, bare Qt window %.1f MiB, ratio %.2f\n",
        recorder.residentKiB / 1024.0, bare.residentKiB / 1024.0,
        static_cast<double>(recorder.residentKiB) / static_cast<double>(bare.residentKiB));
    return 0;
}
