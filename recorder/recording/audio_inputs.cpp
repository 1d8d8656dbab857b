#include "recorder/recording/audio_inputs.h"

#include <string_view>

#include "common/sound/sound_server.h"
#include "common/text.h"

namespace qarv {

int ListAudioInputs(std::vector<std::string>& names) {
    names.clear();
    SoundServerInfo info;
    // A server that is missing, fails part-way or does not answer in time gives no list.
    if (QuerySoundServer(kAudioQueryTimeoutMs, "QarvRecorder", info) != kSoundServerReachable)
        return kAudioInputsNoServer;
    // A monitor delivers what an output plays; only the other sources are real inputs.
    for (SoundSource& source : info.sources) {
        if (!source.isMonitor)
            names.push_back(std::move(source.description));
    }
    return names.empty() ? kAudioInputsNone : kAudioInputsOk;
}

int ChooseMicrophone(const std::vector<std::string>& inputs, bool& found, std::string& name) {
    found = false;
    name.clear();
    if (inputs.empty())
        return -1;
    constexpr std::string_view kMicrophone = "麦克风";
    const std::string* chosen = &inputs.front();
    for (const std::string& input : inputs) {
        const std::string_view head(input.data(), CharBoundaryPrefix(input, kMicrophoneNameLimit));
        if (head.find(kMicrophone) != std::string_view::npos) {
            chosen = &input;
            break;
        }
    }
    name = chosen->substr(0, CharBoundaryPrefix(*chosen, kMicrophoneNameLimit));
    found = true;
    return 0;
}

int FindMicrophone(bool& found, std::string& name) {
    found = false;
    name.clear();
    std::vector<std::string> inputs;
    const int result = ListAudioInputs(inputs);
    if (result != kAudioInputsOk)
        return result;
    return ChooseMicrophone(inputs, found, name);
}

}  // namespace qarv
