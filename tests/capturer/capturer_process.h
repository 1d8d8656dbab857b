#pragma once
// Runs the built capturer program (or any program) for tests: in a chosen working
// directory, with environment changes, standard error kept in a file; waits with a time
// limit and sends signals. The process is killed when the object goes. Used by one thread
// at a time.

#include <sys/types.h>

#include <string>
#include <vector>

namespace qarv::test {

class CapturerProcess {
  public:
    CapturerProcess() = default;
    ~CapturerProcess();
    CapturerProcess(const CapturerProcess&) = delete;
    CapturerProcess& operator=(const CapturerProcess&) = delete;

    // Starts `program` with `arguments` in `directory`, leading a process group of its own.
    // `environment` entries "NAME=VALUE" are set, "NAME" alone is removed. Standard error
    // goes to `stderrPath`.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& directory, const std::vector<std::string>& environment,
               const std::string& stderrPath);
    // Starts the capturer under test with a command line written as the recorder writes it
    // (Windows rules, beginning with a blank).
    bool StartCapturer(const std::string& commandLine, const std::string& directory,
                       const std::vector<std::string>& environment, const std::string& stderrPath);

    // Waits at most `timeoutMs`; returns the exit code (128 + signal when killed by one), or
    // -1 if it is still running.
    int Wait(int timeoutMs);
    void Signal(int signal) const;
    // Sends `signal` to the process group the process leads.
    void SignalGroup(int signal) const;
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = 0;
};

// Pids of the living children of `parent` (from /proc).
std::vector<pid_t> ChildrenOf(pid_t parent);
// The process group of `pid`, or -1.
pid_t ProcessGroupOf(pid_t pid);
// True if `pid` exists and is not a zombie.
bool ProcessAlive(pid_t pid);

}  // namespace qarv::test
