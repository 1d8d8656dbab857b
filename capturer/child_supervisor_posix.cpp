#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "capturer/child_supervisor.h"
#include "common/file_util.h"

namespace qarv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

int StatusToExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

// Runs in the forked child: arranges to be stopped when the parent dies, restores the
// signal state a fresh program expects and replaces itself with the program. Only
// async-signal-safe calls. Never returns.
[[noreturn]] void ExecChild(pid_t parent, const sigset_t& mask, char* const argv[], int errorFd) {
    // If this process (the parent) dies, even by SIGKILL, the child gets SIGTERM and
    // closes its file. The parent may have died before prctl took effect: check.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
        ::_exit(1);
    // A process group of its own: a signal sent to our group (Ctrl+C in a terminal, timeout)
    // reaches the child once, through us. ffmpeg treats a second stop signal as "exit at
    // once" and leaves the file unfinished.
    ::setpgid(0, 0);
    for (int stop : kStopSignals)
        ::signal(stop, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    ::execvp(argv[0], argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorFd, &error, sizeof error);
    ::_exit(ChildSupervisor::kCannotStart);
}

// Waits on the signal descriptor, at most until `deadline` if `bounded`. Returns the
// signal number read, 0 on timeout, -1 on failure.
int NextSignal(int signalFd, bool bounded, Clock::time_point deadline) {
    for (;;) {
        int timeout = -1;
        if (bounded) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return 0;
            timeout = static_cast<int>(left);
        }
        pollfd entry{signalFd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0 && errno != EINTR)
            return -1;
        if (ready <= 0)
            continue;  // EINTR, or woke before the deadline: the loop rechecks it
        signalfd_siginfo info{};
        const ssize_t got = ::read(signalFd, &info, sizeof info);
        if (got == static_cast<ssize_t>(sizeof info))
            return static_cast<int>(info.ssi_signo);
        if (got < 0 && errno != EINTR && errno != EAGAIN)
            return -1;
    }
}

}  // namespace

int ChildSupervisor::Run(const std::string& program, const std::vector<std::string>& arguments) const {
    std::vector<std::string> args;
    args.reserve(arguments.size() + 1);
    args.push_back(program);
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Stop signals and SIGCHLD are taken from a signal descriptor instead of handlers;
    // blocked before the fork, so none is lost between fork and the wait loop.
    ::signal(SIGCHLD, SIG_DFL);  // an inherited SIG_IGN would let the child be reaped unseen
    sigset_t handled;
    sigemptyset(&handled);
    for (int stop : kStopSignals)
        sigaddset(&handled, stop);
    sigaddset(&handled, SIGCHLD);
    sigset_t previous;
    if (::sigprocmask(SIG_BLOCK, &handled, &previous) != 0) {
        std::fprintf(stderr, "capturer: cannot block signals: %s\n", std::strerror(errno));
        return kCannotStart;
    }
    UniqueFd signalFd(::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK));
    int errorPipe[2];
    if (!signalFd.valid() || ::pipe2(errorPipe, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "capturer: cannot prepare to run %s: %s\n", program.c_str(),
                     std::strerror(errno));
        return kCannotStart;
    }
    UniqueFd errorRead(errorPipe[0]);

    // Whoever started us (the recorder) may die without stopping us, by a crash or SIGKILL.
    // Its death then stops the recording as a stop request would, so the file is finished
    // instead of growing for ever. A starter already gone means nobody wants the recording.
    const pid_t starter = ::getppid();
    if (stopWhenStarterDies_ && (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != starter)) {
        std::fprintf(stderr, "capturer: the program that started %s has ended\n", program.c_str());
        return kCannotStart;
    }
    sigset_t childMask = previous;  // what the child runs with: ours before, stop signals open
    for (int stop : kStopSignals)
        sigdelset(&childMask, stop);
    sigdelset(&childMask, SIGCHLD);
    UniqueFd errorWrite(errorPipe[1]);

    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        std::fprintf(stderr, "capturer: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
        return kCannotStart;
    }
    if (child == 0)
        ExecChild(parent, childMask, argv.data(), errorWrite.get());
    errorWrite.reset();

    // The pipe closes when exec succeeds; otherwise it carries the child's errno.
    int execError = 0;
    ssize_t got;
    do {
        got = ::read(errorRead.get(), &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof execError)) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        std::fprintf(stderr, "capturer: cannot run %s: %s\n", program.c_str(), std::strerror(execError));
        return kCannotStart;
    }

    bool stopping = false;
    bool killed = false;
    Clock::time_point killAt{};
    for (;;) {
        // Reap first: a SIGCHLD may have been merged with one read earlier. Until the child
        // is reaped its pid cannot be reused, so the signals below reach only our child.
        int status = 0;
        const pid_t reaped = ::waitpid(child, &status, WNOHANG);
        if (reaped == child)
            return StatusToExitCode(status);
        if (reaped < 0 && errno != EINTR) {
            std::fprintf(stderr, "capturer: lost track of %s: %s\n", program.c_str(), std::strerror(errno));
            return 1;
        }

        const int received = NextSignal(signalFd.get(), stopping && !killed, killAt);
        if (received == 0 || received < 0) {
            if (received == 0)
                std::fprintf(stderr, "capturer: %s did not stop within %d ms; killing it\n", program.c_str(),
                             killDelayMs_);
            else
                std::fprintf(stderr, "capturer: cannot wait for signals (%s); killing %s\n",
                             std::strerror(errno), program.c_str());
            ::kill(child, SIGKILL);
            killed = true;
            if (received < 0) {
                while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
                }
                return StatusToExitCode(status);
            }
        } else if (received != SIGCHLD) {
            ::kill(child, received);
            if (!stopping) {
                stopping = true;
                killAt = Clock::now() + std::chrono::milliseconds(killDelayMs_);
            }
        }
    }
}

}  // namespace qarv
