// How closely a recording on disk follows the screen and the sound: the encoder adapter
// against, as the baseline, ffmpeg run with the adapter's own arguments less what keeps the
// file and the clocks in step (-flush_packets, -max_interleave_delta, -isync,
// -fragment_size): the recording as it was made before.
//
//   recording_timing_bench CAPTURER LOGO_PNG [SECONDS]
//
// For each of the two, on a private X server and sound server:
//  - lag: every 100 ms, the time since the output file was created less the time stamp of
//    the last complete FLV tag on disk: what a crash at that moment would lose. Median and
//    maximum over a SECONDS-long (default 60) recording of a 1920x1080 screen at 30 fps whose
//    picture changes five times a second, with the system sound;
//  - encoder memory: resident size of ffmpeg every 10 s of that recording;
//  - sound against picture: a click played as the screen turns white, ten times, in a 640x480
//    recording at 60 fps; the click's onset in the recording less the white frame's (less
//    half a frame, for the grab) less the playback latency the sound server reported.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/capturer/flash_and_click.h"
#include "tests/capturer/media_facts.h"
#include "tests/support/command_output.h"
#include "tests/support/pulse_server.h"
#include "tests/support/virtual_display.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qarv::test::FlashAndClick;

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The recorder's command line for the system sound into an FLV file.
std::vector<std::string> RecorderArguments(int frameRate, const std::string& size,
                                           const std::string& output) {
    const std::string rate = std::to_string(frameRate);
    return {"-f",
            "dshow",
            "-framerate",
            rate,
            "-i",
            "video=screen-capture-recorder",
            "-pix_fmt",
            "yuv420p",
            "-vprofile",
            "main",
            "-f",
            "dshow",
            "-i",
            "audio=virtual-audio-capturer",
            "-i",
            "Icon\\logo.png",
            "-filter_complex",
            "overlay=main_w-overlay_w-10:10",
            "-b-pyramid",
            "none",
            "-c:v",
            "libx264",
            "-tune",
            "zerolatency",
            "-g",
            "50",
            "-r",
            rate,
            "-b:v",
            "800000",
            "-ar",
            "44100",
            "-s",
            size,
            "-y",
            output};
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments, const std::string& dir,
            const std::vector<std::string>& environment) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (::chdir(dir.c_str()) != 0)
        ::_exit(127);
    for (const std::string& entry : environment)
        ::putenv(const_cast<char*>(entry.c_str()));
    ::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

int StopAndWait(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The encoder: the adapter's child, or the process itself when ffmpeg runs directly.
pid_t EncoderOf(pid_t pid) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t child = 0;
    return children >> child ? child : pid;
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

// Reads the complete FLV tags of a growing file as they arrive; the time stamp (seconds) of
// the last complete sound or picture tag, or -1 before there is one.
class FlvFollower {
  public:
    explicit FlvFollower(std::string path) : path_(std::move(path)) {}

    double LastTimestamp() {
        std::ifstream file(path_, std::ios::binary);
        if (!file)
            return last_;
        for (;;) {
            unsigned char head[11];
            file.seekg(static_cast<std::streamoff>(offset_));
            if (!file.read(reinterpret_cast<char*>(head), sizeof head))
                return last_;
            const std::uint64_t size = (head[1] << 16) | (head[2] << 8) | head[3];
            const std::uint64_t end = offset_ + 11 + size + 4;
            file.seekg(0, std::ios::end);
            if (static_cast<std::uint64_t>(file.tellg()) < end)
                return last_;
            const std::uint32_t stamp = (head[7] << 24) | (head[4] << 16) | (head[5] << 8) | head[6];
            if (head[0] == 8 || head[0] == 9)
                last_ = std::max(last_, stamp / 1000.0);
            offset_ = end;
        }
    }

  private:
    std::string path_;
    std::uint64_t offset_ = 13;  // past the file header and the first tag-size field
    double last_ = -1;
};

struct Figures {
    std::vector<double> lags;
    std::vector<long> memoryKiB;  // every 10 s
    std::vector<double> offsets;
};

// Starts the recording with the adapter (baseline false) or with ffmpeg and the adapter's
// arguments less the options under test (baseline true).
pid_t StartRecording(bool baseline, const std::string& capturer, const std::vector<std::string>& arguments,
                     const std::string& dir, const std::vector<std::string>& environment) {
    if (!baseline)
        return Spawn(capturer, arguments, dir, environment);
    std::string command = "cd '" + dir + "' &&";
    for (const std::string& entry : environment)
        command += " " + entry;
    command += " '" + capturer + "' --dry-run";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    std::vector<std::string> translated;
    std::string all = qarv::test::CommandOutput(command + " 2>/dev/null");
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = all.find('\n', start);
        translated.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < translated.size(); ++i) {
        if (translated[i] == "-flush_packets" || translated[i] == "-max_interleave_delta" ||
            translated[i] == "-isync" || translated[i] == "-fragment_size" || translated[i] == "-nal-hrd") {
            ++i;
            continue;
        }
        kept.push_back(translated[i]);
    }
    return Spawn("ffmpeg", kept, dir, environment);
}

bool WaitForFile(const std::string& path) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!fs::exists(path)) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool MeasureLagAndMemory(bool baseline, const std::string& capturer, const std::string& dir, int seconds,
                         Figures& figures) {
    qarv::test::VirtualDisplay display;
    qarv::test::PulseServer pulse;
    if (!display.Start(1920, 1080) || !pulse.Start(true))
        return false;
    FlashAndClick content;
    if (!content.Open(display.name(), pulse.server()))
        return false;
    const std::string output = dir + "/Video/lag.flv";
    fs::remove(output);
    const pid_t recorder =
        StartRecording(baseline, capturer, RecorderArguments(30, "1920*1080", "Video/lag.flv"), dir,
                       {"DISPLAY=" + display.name(), "PULSE_SERVER=" + pulse.server()});
    if (!WaitForFile(output)) {
        StopAndWait(recorder);
        return false;
    }
    const auto created = Clock::now();
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        FlvFollower follower(output);
        for (int tick = 1; !done; ++tick) {
            std::this_thread::sleep_until(created + std::chrono::milliseconds(100 * tick));
            const double elapsed = std::chrono::duration<double>(Clock::now() - created).count();
            const double last = follower.LastTimestamp();
            if (elapsed >= 1)
                figures.lags.push_back(last < 0 ? elapsed : elapsed - last);
            if (tick % 100 == 0)
                figures.memoryKiB.push_back(ResidentKiB(EncoderOf(recorder)));
        }
    });
    content.Run(seconds * 5, std::chrono::milliseconds(200), std::chrono::milliseconds(0));
    done = true;
    sampler.join();
    const bool measured = !figures.lags.empty() && !figures.memoryKiB.empty() &&
                          *std::min_element(figures.memoryKiB.begin(), figures.memoryKiB.end()) > 0;
    return StopAndWait(recorder) == 255 && measured;
}

bool MeasureSync(bool baseline, const std::string& capturer, const std::string& dir, Figures& figures) {
    qarv::test::VirtualDisplay display;
    qarv::test::PulseServer pulse;
    if (!display.Start(640, 480) || !pulse.Start(true))
        return false;
    FlashAndClick stimulus;
    if (!stimulus.Open(display.name(), pulse.server()))
        return false;
    const std::string output = dir + "/Video/sync.flv";
    fs::remove(output);
    constexpr int kFrameRate = 60;
    constexpr int kClicks = 10;
    const pid_t recorder =
        StartRecording(baseline, capturer, RecorderArguments(kFrameRate, "640*480", "Video/sync.flv"), dir,
                       {"DISPLAY=" + display.name(), "PULSE_SERVER=" + pulse.server()});
    if (!WaitForFile(output)) {
        StopAndWait(recorder);
        return false;
    }
    const std::vector<double> latencies =
        stimulus.Run(kClicks, std::chrono::milliseconds(700), std::chrono::milliseconds(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (StopAndWait(recorder) != 255)
        return false;
    const std::vector<double> flashes = qarv::test::DecodeVideo(output).FlashTimes();
    const std::vector<double> clicks = qarv::test::ClicksAtFlashes(flashes, qarv::test::SoundOnsets(output));
    if (latencies.size() != kClicks || flashes.size() != kClicks || clicks.size() != kClicks) {
        std::fprintf(stderr, "found %zu flashes and %zu clicks of %d\n", flashes.size(), clicks.size(),
                     kClicks);
        return false;
    }
    for (int i = 0; i < kClicks; ++i)
        figures.offsets.push_back(clicks[i] - latencies[i] - (flashes[i] - 0.5 / kFrameRate));
    return true;
}

void Print(const char* name, const Figures& figures) {
    std::printf("%s:\n", name);
    std::printf("  file behind the recording: median %.2f s, max %.2f s (%zu samples)\n",
                Median(figures.lags), *std::max_element(figures.lags.begin(), figures.lags.end()),
                figures.lags.size());
    // The screen's input queue (a second of frames) fills when the encoder falls behind for a
    // moment, and then stays full: what matters is that nothing grows after that.
    const std::vector<long>& memory = figures.memoryKiB;
    const std::size_t half = memory.size() / 2;
    std::printf(
        "  encoder memory: %.1f MiB after 10 s, largest %.1f MiB in the first half, %.1f MiB in the "
        "second, %.1f MiB at the end\n",
        memory.front() / 1024.0, *std::max_element(memory.begin(), memory.begin() + half + 1) / 1024.0,
        *std::max_element(memory.begin() + half, memory.end()) / 1024.0, memory.back() / 1024.0);
    std::printf("  sound after picture: median %+.1f ms, from %+.1f to %+.1f ms\n",
                1000 * Median(figures.offsets),
                1000 * *std::min_element(figures.offsets.begin(), figures.offsets.end()),
                1000 * *std::max_element(figures.offsets.begin(), figures.offsets.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CAPTURER LOGO_PNG [SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string capturer = fs::absolute(argv[1]).string();
    const int seconds = argc > 3 ? std::max(12, std::atoi(argv[3])) : 60;
    char pattern[] = "/tmp/qarv-timing-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    fs::create_directories(dir + "/Icon");
    fs::create_directories(dir + "/Video");
    fs::copy_file(argv[2], dir + "/Icon/logo.png");

    Figures adapter;
    Figures baseline;
    const bool measured = MeasureLagAndMemory(false, capturer, dir, seconds, adapter) &&
                          MeasureLagAndMemory(true, capturer, dir, seconds, baseline) &&
                          MeasureSync(false, capturer, dir, adapter) &&
                          MeasureSync(true, capturer, dir, baseline);
    fs::remove_all(dir);
    if (!measured) {
        std::fprintf(stderr, "a recording could not be made or measured; nothing to report\n");
        return 1;
    }
    std::printf("%d s recordings of a 1920x1080 screen at 30 fps with the system sound\n", seconds);
    Print("encoder adapter", adapter);
    Print("baseline (the adapter's arguments without flushing, interleave limit and clock sync)", baseline);
    std::printf("ratio of median lag, adapter / baseline: %.3f\n",
                Median(adapter.lags) / Median(baseline.lags));
    return 0;
}
