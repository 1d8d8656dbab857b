#pragma once
// The machine's real audio inputs (the sound server's sources that are not monitors of an
// output), and the choice of the microphone among them for the command line.
// Thread-safe: each call makes its own short-lived connection to the sound server.

#include <string>
#include <vector>

namespace qarv {

enum AudioInputsResult {
    kAudioInputsOk = 0,
    kAudioInputsNone = -1,      // the sound server has no real input
    kAudioInputsNoServer = -2,  // no sound server, or it failed or did not answer in time
};

// How long a query of the sound server may take before it counts as absent.
inline constexpr int kAudioQueryTimeoutMs = 1500;
// Longest microphone name given out, in bytes.
inline constexpr std::size_t kMicrophoneNameLimit = 127;

// Fills `names` with the description of every source that is not a monitor, in the
// server's order. Returns kAudioInputsOk with at least one name, otherwise one of the
// failures above with `names` empty. Never autostarts a sound server; gives up after
// kAudioQueryTimeoutMs.
int ListAudioInputs(std::vector<std::string>& names);

// Chooses the microphone among `inputs`: the first whose first kMicrophoneNameLimit bytes
// contain "麦克风", otherwise the first one. Sets `found` and `name` (cut to
// kMicrophoneNameLimit bytes on a character boundary) and returns 0; -1 with `found` false
// and `name` empty if `inputs` is empty.
int ChooseMicrophone(const std::vector<std::string>& inputs, bool& found, std::string& name);

// ListAudioInputs, then ChooseMicrophone. A failure of the listing is returned as it is,
// with `found` false and `name` empty.
int FindMicrophone(bool& found, std::string& name);

}  // namespace qarv
