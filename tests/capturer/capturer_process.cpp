#include "tests/capturer/capturer_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/command_line.h"

extern char** environ;

namespace qarv::test {

CapturerProcess::~CapturerProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool CapturerProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& directory, const std::vector<std::string>& environment,
                            const std::string& stderrPath) {
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& change : environment) {
            const std::string name = change.substr(0, change.find('='));
            if (text.rfind(name + "=", 0) == 0)
                replaced = true;
        }
        if (!replaced)
            env.push_back(text);
    }
    for (const std::string& change : environment) {
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    }
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setpgid(0, 0);  // its own process group, so that tests can signal the group
        const int null = ::open("/dev/null", O_RDWR);
        const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err >= 0 ? err : null, 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::chdir(directory.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    pid_ = pid;
    return true;
}

bool CapturerProcess::StartCapturer(const std::string& commandLine, const std::string& directory,
                                    const std::vector<std::string>& environment,
                                    const std::string& stderrPath) {
    std::vector<std::string> tokens = SplitCommandLine(commandLine);
    if (!tokens.empty())
        tokens.erase(tokens.begin());  // the program-name slot, empty for a leading blank
    return Start(QARV_CAPTURER_PATH, tokens, directory, environment, stderrPath);
}

int CapturerProcess::Wait(int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = 0;
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CapturerProcess::Signal(int signal) const {
    if (pid_ > 0)
        ::kill(pid_, signal);
}

void CapturerProcess::SignalGroup(int signal) const {
    if (pid_ > 0)
        ::kill(-pid_, signal);
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return children;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...; comm may hold blanks and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z')
            children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

pid_t ProcessGroupOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(line.substr(close + 1));
    char state = 0;
    pid_t ppid = 0;
    pid_t group = -1;
    rest >> state >> ppid >> group;
    return group;
}

bool ProcessAlive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

}  // namespace qarv::test
