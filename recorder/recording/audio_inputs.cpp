#include "recorder/recording/audio_inputs.h"

#include <string_view>

#include "common/text.h"

namespace qarv {

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
