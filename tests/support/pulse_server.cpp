#include "tests/support/pulse_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char** environ;

namespace qarv::test {

namespace {

using Clock = std::chrono::steady_clock;

// Starts `arguments` (program looked up on PATH) with `environment`, standard input from
// /dev/null, standard output to `outFd` (or /dev/null if -1) and standard error to
// `errPath` (or /dev/null). The child is killed if the test process dies. Returns the pid,
// or -1.
pid_t StartChild(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                 int outFd = -1, const std::string& errPath = "") {
    std::vector<std::string> args = arguments;
    std::vector<std::string> env = environment;
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(outFd >= 0 ? outFd : null, 1);
    const int err = errPath.empty() ? null : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(err >= 0 ? err : null, 2);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// Waits for `pid` at most `timeoutMs`; kills it after that. Returns its exit code, or -1.
int WaitChild(pid_t pid, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Asks `pid` to end and reaps it (killing it if it takes longer than 3 s).
void EndChild(pid_t pid) {
    ::kill(pid, SIGTERM);
    WaitChild(pid, 3000);
}

}  // namespace

PulseServer::~PulseServer() {
    Stop();
}

int PulseServer::Spawn(const std::vector<std::string>& arguments, bool keep) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("PULSE_SERVER=", 0) != 0 && text.rfind("HOME=", 0) != 0 &&
            text.rfind("XDG_RUNTIME_DIR=", 0) != 0)
            env.push_back(text);
    }
    env.push_back("PULSE_SERVER=" + server_);
    env.push_back("HOME=" + directory_ + "/home");
    env.push_back("XDG_RUNTIME_DIR=" + directory_ + "/runtime");
    const pid_t pid = StartChild(arguments, env, -1, directory_ + "/helpers.log");
    if (pid > 0 && keep)
        helpers_.push_back(pid);
    return pid;
}

bool PulseServer::Pactl(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {"pactl", "--server=" + server_};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const pid_t pid = Spawn(args, false);
    return pid > 0 && WaitChild(pid, 10000) == 0;
}

bool PulseServer::Start(bool keepAwake) {
    if (serverPid_ > 0)
        return true;
    char pattern[] = "/tmp/qarv-pulse-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        error_ = "cannot create a directory for the sound server";
        return false;
    }
    directory_ = pattern;
    ::mkdir((directory_ + "/home").c_str(), 0700);
    ::mkdir((directory_ + "/runtime").c_str(), 0700);
    const std::string socket = directory_ + "/native";
    server_ = "unix:" + socket;

    // -n: no configuration script; only the modules named here. Running as root needs no
    // --system: the daemon warns and goes on.
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        env.push_back(*entry);
    env.push_back("HOME=" + directory_ + "/home");
    env.push_back("XDG_RUNTIME_DIR=" + directory_ + "/runtime");
    serverPid_ = StartChild(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
         "--disable-shm=yes", "--high-priority=no", "--realtime=no", "-L",
         "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
         std::string("module-null-sink sink_name=") + kSink + " sink_properties=device.description=Speakers"},
        env, -1, directory_ + "/pulseaudio.log");
    if (serverPid_ <= 0) {
        error_ = "cannot start pulseaudio";
        serverPid_ = 0;
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!Pactl({"info"})) {
        int status = 0;
        if (::waitpid(serverPid_, &status, WNOHANG) == serverPid_) {
            serverPid_ = 0;
            error_ = "pulseaudio exited at once; see " + directory_ + "/pulseaudio.log";
            return false;
        }
        if (Clock::now() > deadline) {
            error_ = "pulseaudio did not answer within 30 s";
            Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (keepAwake && (!KeepAwake(kSink) || !WaitForPromptRecording(std::string(kSink) + ".monitor"))) {
        error_ = "the sound server's sink does not deliver sound";
        Stop();
        return false;
    }
    return true;
}

bool PulseServer::KeepAwake(const std::string& sink) {
    return Spawn({"pacat", "--server=" + server_, "--playback", "--latency-msec=20", "--device=" + sink,
                  "/dev/zero"},
                 true) > 0;
}

bool PulseServer::WaitForPromptRecording(const std::string& source) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry)
            env.push_back(*entry);
        env.push_back("PULSE_SERVER=" + server_);
        const auto started = Clock::now();
        const pid_t pid = StartChild(
            {"pacat", "--server=" + server_, "--record", "--latency-msec=20", "--device=" + source}, env,
            fds[1]);
        ::close(fds[1]);
        pollfd wait{fds[0], POLLIN, 0};
        const bool got = ::poll(&wait, 1, 8000) > 0;
        ::close(fds[0]);
        EndChild(pid);
        if (got && Clock::now() - started < std::chrono::milliseconds(1000))
            return true;  // awake: the first sound came promptly
        if (!got)
            return false;
    }
    return false;
}

std::string PulseServer::AddMicrophone(const std::string& description, std::string& feedSink) {
    if (serverPid_ <= 0)
        return "";
    const int number = ++microphones_;
    feedSink = "qarv_microphone_feed" + std::to_string(number);
    const std::string source = "qarv_microphone" + std::to_string(number);
    if (!Pactl({"load-module", "module-null-sink", "sink_name=" + feedSink}) ||
        !Pactl({"load-module", "module-remap-source", "source_name=" + source,
                "master=" + feedSink + ".monitor",
                "source_properties='device.description=\"" + description + "\"'"}))
        return "";
    if (!KeepAwake(feedSink) || !WaitForPromptRecording(source))
        return "";
    return source;
}

bool PulseServer::PlayTone(int hertz, const std::string& sink) {
    if (serverPid_ <= 0)
        return false;
    return Spawn({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                  "sine=frequency=" + std::to_string(hertz) + ":sample_rate=44100", "-f", "pulse",
                  "-buffer_duration", "40", "-device", sink, "qarv-test-tone"},
                 true) > 0;
}

void PulseServer::Stop() {
    for (const int pid : helpers_)
        EndChild(pid);
    helpers_.clear();
    if (serverPid_ > 0) {
        EndChild(serverPid_);
        serverPid_ = 0;
    }
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        directory_.clear();
    }
}

}  // namespace qarv::test
