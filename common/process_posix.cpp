#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/command_line.h"
#include "common/file_util.h"
#include "common/process.h"
#include "common/text.h"

extern char** environ;

namespace qarv {

namespace {

using Clock = std::chrono::steady_clock;

// A pidfd always refers to the one process it was opened for, even after that process
// has ended and its pid has been reused, so signals and waits through it cannot reach a
// stranger. pidfds are close-on-exec.
int OpenPidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int SendSignal(int pidfd, int signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

enum EndWait { kEnded, kStillRunning, kPollFailed };

// Waits until the process behind `pidfd` has ended (the pidfd turns readable), at most
// `timeoutMs` (-1: no limit).
EndWait WaitForEnd(int pidfd, int timeoutMs) {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            // Rounded up, so that the wait never ends before the deadline.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
        }
        pollfd entry{pidfd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, wait);
        if (ready > 0)
            return kEnded;
        if (ready == 0) {
            if (wait == 0)
                return kStillRunning;
            continue;  // poll may wake a little early; recheck the deadline
        }
        if (errno != EINTR)
            return kPollFailed;
    }
}

// Reaps the child behind `pidfd`. Returns the pid reaped (0 if it has not ended yet and
// `block` is false, -1 on failure) and stores its status as exit code or 128 + signal.
pid_t Reap(int pidfd, bool block, int& exitCode) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info,
                     WEXITED | (block ? 0 : WNOHANG)) == 0) {
            if (info.si_pid == 0)
                return 0;
            exitCode = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
            return info.si_pid;
        }
        if (errno != EINTR)
            return -1;
    }
}

// Runs `job` on a detached thread; false if no thread could be made.
template <typename Job>
bool RunDetached(const Job& job) {
    try {
        std::thread(job).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// Takes ownership of `pidfd`; SIGKILLs its process unless it ends within `graceMs`.
void KillLater(int pidfd, int graceMs) {
    const auto job = [pidfd, graceMs] {
        UniqueFd owner(pidfd);
        if (WaitForEnd(pidfd, graceMs < 0 ? 0 : graceMs) != kEnded)
            SendSignal(pidfd, SIGKILL);
    };
    // Without a thread, waiting here is late but still ends the process.
    if (!RunDetached(job))
        job();
}

// Takes ownership of `pidfd` of an unreaped child and reaps the child when it ends.
void ReapLater(int pidfd) {
    const auto job = [pidfd] {
        UniqueFd owner(pidfd);
        int ignored = 0;
        Reap(pidfd, true, ignored);
    };
    // Without a thread the child could run for hours; blocking the caller that long is
    // worse than a zombie that lasts until this process ends.
    if (!RunDetached(job))
        ::close(pidfd);
}

int DupCloexec(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// Image name of process `pid` if it belongs to our effective user and runs an executable:
// the base name of its executable file. Zombies and kernel threads have none.
bool ImageNameOf(pid_t pid, std::string& name) {
    const std::string dir = "/proc/" + std::to_string(pid);
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || info.st_uid != ::geteuid())
        return false;
    char target[PATH_MAX];
    const ssize_t length = ::readlink((dir + "/exe").c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
        return false;
    std::string_view path(target, static_cast<std::size_t>(length));
    // A program whose file was replaced or removed while it runs still has its name.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.ends_with(kDeleted))
        path.remove_suffix(kDeleted.size());
    const std::size_t slash = path.rfind('/');
    name.assign(slash == std::string_view::npos ? path : path.substr(slash + 1));
    return !name.empty();
}

bool Matches(pid_t pid, std::string_view imageName) {
    std::string name;
    return ImageNameOf(pid, name) && EqualsIgnoreAsciiCase(name, imageName);
}

// Pids of the processes of our user (not this one) that run `imageName`, as seen now.
std::vector<pid_t> FindProcesses(std::string_view imageName, bool firstOnly) {
    std::vector<pid_t> found;
    if (imageName.empty())
        return found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return found;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        if (Matches(static_cast<pid_t>(pid), imageName)) {
            found.push_back(static_cast<pid_t>(pid));
            if (firstOnly)
                break;
        }
    }
    ::closedir(proc);
    return found;
}

// Spawn attributes and file actions, destroyed with their owner.
class SpawnSetup {
  public:
    SpawnSetup() {
        attrOk_ = ::posix_spawnattr_init(&attr_) == 0;
        actionsOk_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    }
    ~SpawnSetup() {
        if (attrOk_)
            ::posix_spawnattr_destroy(&attr_);
        if (actionsOk_)
            ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Own session (no terminal), no blocked signals, default handling of every signal,
    // /dev/null on the standard streams and no other descriptor.
    bool Prepare() {
        if (!attrOk_ || !actionsOk_)
            return false;
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        return ::posix_spawnattr_setflags(&attr_, flags) == 0 &&
               ::posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions_, 1, 2) == 0 &&
               ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }

    const posix_spawnattr_t* attr() const { return &attr_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

  private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
    bool attrOk_ = false;
    bool actionsOk_ = false;
};

}  // namespace

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : pid_(other.pid_), pidfd_(other.pidfd_), exitCode_(other.exitCode_), reaped_(other.reaped_) {
    other.pid_ = 0;
    other.pidfd_ = -1;
    other.exitCode_ = -1;
    other.reaped_ = false;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
    if (this != &other) {
        Release();
        pid_ = other.pid_;
        pidfd_ = other.pidfd_;
        exitCode_ = other.exitCode_;
        reaped_ = other.reaped_;
        other.pid_ = 0;
        other.pidfd_ = -1;
        other.exitCode_ = -1;
        other.reaped_ = false;
    }
    return *this;
}

ProcessHandle::~ProcessHandle() {
    Release();
}

bool ProcessHandle::valid() const {
    return pidfd_ >= 0 || reaped_;
}

int ProcessHandle::pid() const {
    return pid_;
}

ProcessHandle::WaitResult ProcessHandle::Wait(int timeoutMs) {
    if (reaped_)
        return kExited;
    if (pidfd_ < 0)
        return kWaitFailed;
    switch (WaitForEnd(pidfd_, timeoutMs)) {
        case kEnded:
            break;
        case kStillRunning:
            return kTimeout;
        case kPollFailed:
            return kWaitFailed;
    }
    int code = -1;
    if (Reap(pidfd_, true, code) <= 0) {
        // Someone else reaped the child (for instance SIGCHLD is ignored): it is gone,
        // and its pid must not be used again.
        ::close(pidfd_);
        pidfd_ = -1;
        pid_ = 0;
        return kWaitFailed;
    }
    exitCode_ = code;
    reaped_ = true;
    ::close(pidfd_);
    pidfd_ = -1;
    pid_ = 0;
    return kExited;
}

int ProcessHandle::ExitCode() const {
    return reaped_ ? exitCode_ : -1;
}

bool ProcessHandle::Terminate(int graceMs) {
    if (pidfd_ < 0)
        return false;
    if (SendSignal(pidfd_, SIGTERM) != 0)
        return false;
    const int killer = DupCloexec(pidfd_);
    if (killer >= 0) {
        KillLater(killer, graceMs);
    } else {
        SendSignal(pidfd_, SIGKILL);  // cannot watch it: do not let it outlive the request
    }
    return true;
}

void ProcessHandle::Release() {
    if (pidfd_ >= 0) {
        int ignored = 0;
        if (Reap(pidfd_, false, ignored) == 0) {
            ReapLater(pidfd_);  // still running: reaped in the background when it ends
        } else {
            ::close(pidfd_);
        }
    }
    pid_ = 0;
    pidfd_ = -1;
    exitCode_ = -1;
    reaped_ = false;
}

ProcessHandle StartProcessHidden(const std::string& program, std::string_view commandLine) {
    ProcessHandle handle;
    if (program.empty())
        return handle;

    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (arguments.empty()) {
        arguments.push_back(program);
    } else {
        arguments[0] = program;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare())
        return handle;
    pid_t pid = 0;
    // posix_spawn, not posix_spawnp: a relative program path is taken from the current
    // directory, never looked up in PATH. glibc reports a failed exec as the result.
    if (::posix_spawn(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ) != 0) {
        return handle;
    }
    // The child is ours and not yet reaped, so its pid cannot have been reused.
    const int pidfd = OpenPidfd(pid);
    if (pidfd < 0) {
        // Without a pidfd the child cannot be watched safely; do not leave it behind.
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return handle;
    }
    handle.pid_ = pid;
    handle.pidfd_ = pidfd;
    return handle;
}

bool IsFileOpenByOtherProcess(const std::string& path) {
    std::error_code error;
    const std::string target = std::filesystem::weakly_canonical(path, error).string();
    if (error || target.empty())
        return false;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return false;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self)
            continue;
        const std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
        struct stat info {};
        if (::stat(fdDir.c_str(), &info) != 0 || info.st_uid != ::geteuid())
            continue;
        std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdDir.c_str()), ::closedir);
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds.get())) {
            if (fd->d_name[0] == '.')
                continue;
            char link[PATH_MAX];
            const ssize_t length = ::readlink((fdDir + "/" + fd->d_name).c_str(), link, sizeof link);
            if (length > 0 &&
                target.compare(0, std::string::npos, link, static_cast<std::size_t>(length)) == 0)
                return true;
        }
    }
    return false;
}

bool IsProcessRunning(std::string_view imageName) {
    return !FindProcesses(imageName, true).empty();
}

bool TerminateProcessesByName(std::string_view imageName, int graceMs) {
    bool result = false;
    for (const pid_t pid : FindProcesses(imageName, false)) {
        // Pin the process first, then check that the pid still names the process we
        // matched: if it was reused before the pidfd was opened, the check sees the
        // newcomer; if it is reused afterwards, signals through the pidfd go nowhere.
        UniqueFd pidfd(OpenPidfd(pid));
        if (!pidfd.valid() || !Matches(pid, imageName))
            continue;
        result = SendSignal(pidfd.get(), SIGTERM) == 0;
        if (result)
            KillLater(pidfd.release(), graceMs);
    }
    return result;
}

}  // namespace qarv
