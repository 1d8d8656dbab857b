#pragma once
// Runs the built qarv-devsite program for tests and the upload benchmark: starts it with a
// pipe on its standard output, reads the port from its "listening" line, reads its memory
// figures from /proc and stops it with a signal. The process is killed when the object goes.
// Used by one thread at a time.

#include <sys/types.h>

#include <string>
#include <vector>

namespace qarv::test {

class DevsiteProcess {
  public:
    DevsiteProcess() = default;
    ~DevsiteProcess();
    DevsiteProcess(const DevsiteProcess&) = delete;
    DevsiteProcess& operator=(const DevsiteProcess&) = delete;

    // Starts `program` with `arguments` (standard error into `stderrPath`) and waits at most
    // `timeoutMs` for its line "qarv-devsite listening on 127.0.0.1:PORT". Returns the port, or
    // -1 (the line did not come; the process may still run or have ended).
    int Start(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& stderrPath, int timeoutMs = 30000);

    // Sends `signal` and waits at most `timeoutMs`; returns the exit code (128 + signal when
    // killed by one), or -1 if the process is still running.
    int Stop(int signal, int timeoutMs);
    // Waits at most `timeoutMs` for the process to end; the exit code as for Stop, or -1.
    int Wait(int timeoutMs);

    pid_t pid() const { return pid_; }
    // What the process printed on standard output before its port line (and that line).
    const std::string& output() const { return output_; }

  private:
    pid_t pid_ = 0;
    int outputFd_ = -1;
    std::string output_;
};

// A memory figure of process `pid` from /proc/PID/status ("VmRSS", "VmHWM", ...) in KiB, or
// -1 when it cannot be read.
long ProcessMemoryKiB(pid_t pid, const std::string& field);

// Resets the peak resident size (VmHWM) of `pid` to its current size. True on success.
bool ResetPeakMemory(pid_t pid);

}  // namespace qarv::test
