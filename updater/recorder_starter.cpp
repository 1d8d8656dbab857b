#include "updater/recorder_starter.h"

#include <chrono>
#include <string>
#include <thread>

#include "common/paths.h"
#include "common/process.h"

namespace qarv {
namespace {

// How often the end of the old recorders is checked.
constexpr int kEndPollMs = 20;

}  // namespace

const char* RecorderFileName() {
    static const std::string name = ExecutableName("QarvRecorder");
    return name.c_str();
}

bool StartRecorder(int endWaitMs) {
    const std::string name = RecorderFileName();
    if (IsProcessRunning(name)) {
        // SIGTERM, and SIGKILL from a helper thread after the grace: wait here so that the
        // helper lives long enough, and the new recorder does not meet the old one.
        TerminateProcessesByName(name, endWaitMs / 2);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(endWaitMs);
        while (IsProcessRunning(name) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(kEndPollMs));
    }
    // A blank, then the one argument the recorder requires.
    ProcessHandle recorder = StartProcessHidden(JoinPath(".", name), " 1");
    if (!recorder.valid())
        return false;
    recorder.Release();  // not waited for: the launcher ends while the recorder runs
    return true;
}

}  // namespace qarv
