#pragma once
// Runs the encoder as a child of this process and stands between it and whoever stops us:
// stop signals are passed on, a child that ignores them is killed, and the child never
// outlives this process. For a single-threaded program: Run blocks the stop signals and
// SIGCHLD in the calling process and leaves them blocked, so that a late stop signal does
// not cut short the exit that follows. Unless told otherwise, the death of the process that
// started this one counts as a stop signal.

#include <string>
#include <vector>

namespace qarv {

class ChildSupervisor {
  public:
    // Exit status returned when the program could not be started.
    static constexpr int kCannotStart = 127;

    // With `stopWhenStarterDies` false the child runs to its end whatever becomes of the
    // starter, which matters for short work on files: Linux reports the end of the starting
    // *thread* as the starter's death.
    explicit ChildSupervisor(int killDelayMs = 3000, bool stopWhenStarterDies = true)
        : killDelayMs_(killDelayMs), stopWhenStarterDies_(stopWhenStarterDies) {}

    // Starts `program` (looked up on PATH) with `arguments` (without the program name) in a
    // process group of its own, passes SIGTERM, SIGINT and SIGHUP on to it, kills it (SIGKILL) if it is still
    // running `killDelayMs` after the first of them, and waits for it. Returns its exit code, or 128 + the
    // number of the signal that ended it, or kCannotStart (with a line on standard error) if it could not be
    // started.
    int Run(const std::string& program, const std::vector<std::string>& arguments) const;

  private:
    int killDelayMs_;
    bool stopWhenStarterDies_;
};

}  // namespace qarv
