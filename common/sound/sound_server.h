#pragma once
// What the sound server (PulseAudio) offers: its sources and its defaults. Each query makes
// its own short-lived connection, never starts a server and gives up at its deadline, so a
// missing or silent server never holds up the caller. Thread-safe.

#include <string>
#include <vector>

namespace qarv {

// One source as the sound server lists it.
struct SoundSource {
    std::string name;         // the source's name, as capture programs take it
    std::string description;  // the text shown to users (the name if the server gives none)
    bool isMonitor = false;   // a monitor of an output (what the computer plays), not a real input
};

struct SoundServerInfo {
    std::string defaultSinkMonitor;  // monitor source of the default output; empty if there is none
    std::string defaultSource;       // the default source; empty if there is none
    std::vector<SoundSource> sources;
};

enum SoundServerResult { kSoundServerReachable = 0, kSoundServerUnreachable = -1 };

// Asks the server the environment names (PULSE_SERVER or the session's) for its sources and
// defaults, within `timeoutMs`. kSoundServerReachable with `info` filled; otherwise
// kSoundServerUnreachable (no server, a failure part-way, or no answer in time) and `info`
// empty. `clientName` is how the connection introduces itself.
int QuerySoundServer(int timeoutMs, const char* clientName, SoundServerInfo& info);

}  // namespace qarv
