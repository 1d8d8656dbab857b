#pragma once
// Asks the sound server which sources it has, for the capture command's sound inputs.
// Used by one thread at a time.

#include "capturer/command_translator.h"

namespace qarv {

class SoundServerProbe {
  public:
    enum Result { kReachable = 0, kUnreachable = -1 };

    // Connects to the sound server the user's environment names (PULSE_SERVER, the
    // session's server; none is started) and fills environment.soundServer,
    // defaultSinkMonitor, defaultSource and sources. Gives up after `timeoutMs`, so a
    // server that does not answer never holds up the recording.
    static int Probe(int timeoutMs, CaptureEnvironment& environment);
};

}  // namespace qarv
