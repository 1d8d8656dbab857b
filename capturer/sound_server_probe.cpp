#include "capturer/sound_server_probe.h"

#include "common/sound/sound_server.h"

namespace qarv {

int SoundServerProbe::Probe(int timeoutMs, CaptureEnvironment& environment) {
    SoundServerInfo info;
    const bool reachable = QuerySoundServer(timeoutMs, "capturer", info) == kSoundServerReachable;
    environment.soundServer = reachable;
    environment.defaultSinkMonitor = std::move(info.defaultSinkMonitor);
    environment.defaultSource = std::move(info.defaultSource);
    environment.sources = std::move(info.sources);
    return reachable ? kReachable : kUnreachable;
}

}  // namespace qarv
