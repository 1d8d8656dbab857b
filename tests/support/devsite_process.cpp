#include "tests/support/devsite_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace qarv::test {
namespace {

using Clock = std::chrono::steady_clock;

int ExitCodeOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// The port in a "... listening on 127.0.0.1:PORT" line of `text`, or -1.
int PortIn(const std::string& text) {
    const std::string marker = "listening on 127.0.0.1:";
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return -1;
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
        return -1;
    return std::atoi(text.c_str() + at + marker.size());
}

}  // namespace

DevsiteProcess::~DevsiteProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (outputFd_ >= 0)
        ::close(outputFd_);
}

int DevsiteProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& stderrPath, int timeoutMs) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 0);
        ::dup2(pipeFds[1], 1);
        ::dup2(err >= 0 ? err : null, 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    pid_ = pid;
    outputFd_ = pipeFds[0];

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        const int port = PortIn(output_);
        if (port > 0)
            return port;
        pollfd entry{outputFd_, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&entry, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0)
            continue;
        char buffer[256];
        const ssize_t got = ::read(outputFd_, buffer, sizeof buffer);
        if (got <= 0)
            break;  // the program closed its output (it ended)
        output_.append(buffer, static_cast<std::size_t>(got));
    }
    return PortIn(output_);
}

int DevsiteProcess::Wait(int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = 0;
            return ExitCodeOf(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return -1;
}

int DevsiteProcess::Stop(int signal, int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, signal);
    return Wait(timeoutMs);
}

long ProcessMemoryKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

bool ResetPeakMemory(pid_t pid) {
    std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace qarv::test
