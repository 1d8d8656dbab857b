#pragma once
// Starting programs hidden, waiting for them, and finding or terminating processes by
// image name. Only processes of the current user are looked at. Thread-safe.

#include <string>
#include <string_view>

namespace qarv {

// Owner of one started child process (pid plus pidfd; needs Linux 5.4 or later). Waits reap
// the child; after that the pid is never used again, and signals always go through the
// pidfd, so they cannot reach a process that later got the same pid. Releasing a handle
// whose child still runs hands the child to a background reaper, so no zombie is left.
// Used by one thread at a time.
class ProcessHandle {
  public:
    enum WaitResult { kExited = 0, kTimeout = 1, kWaitFailed = -1 };

    ProcessHandle() = default;
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    ~ProcessHandle();

    // True from a successful start until Release (also after the child has been reaped).
    bool valid() const;
    int pid() const;  // 0 when there is no process or it has been reaped

    // Waits at most `timeoutMs` (-1: for ever) for the process to end and reaps it. Once
    // reaped, further waits return kExited at once. kWaitFailed: no process, or the child
    // could not be reaped (the handle then forgets it).
    WaitResult Wait(int timeoutMs);
    // Exit status after kExited: the exit code, or 128 + signal number; -1 before.
    int ExitCode() const;
    // Sends SIGTERM, and SIGKILL if the process still lives `graceMs` later (without
    // blocking the caller). False if the process has already been reaped.
    bool Terminate(int graceMs = 3000);
    // Forgets the process (handing it to the reaper if it still runs).
    void Release();

  private:
    friend ProcessHandle StartProcessHidden(const std::string&, std::string_view);
    int pid_ = 0;
    int pidfd_ = -1;
    int exitCode_ = -1;
    bool reaped_ = false;
};

// Starts `program` (a path; a relative one is taken from the current directory) with the
// Windows-style command line `commandLine`, split by the rules of SplitCommandLine; its
// first token stands for the program name and is replaced by `program`. The child runs in
// its own session, without a terminal, with its standard streams on /dev/null, no
// inherited descriptors and default signal handling. Returns an invalid handle if the
// program cannot be started (missing, not executable).
ProcessHandle StartProcessHidden(const std::string& program, std::string_view commandLine);

// True if another process of the current user runs the executable named `imageName`: the
// base name of its executable file (also when that file has since been replaced or
// removed), compared without regard to ASCII case. Zombies do not count.
bool IsProcessRunning(std::string_view imageName);

// True if a process of the current user other than this one has the file at `path` open
// (for example an encoder still closing its output after its parent was killed).
bool IsFileOpenByOtherProcess(const std::string& path);

// Sends SIGTERM to every process of the current user running `imageName`; each one still
// alive `graceMs` later is killed with SIGKILL by a background thread, so the call does not
// block. Returns the result of the last signal sent (false if no process matched).
bool TerminateProcessesByName(std::string_view imageName, int graceMs = 3000);

}  // namespace qarv
