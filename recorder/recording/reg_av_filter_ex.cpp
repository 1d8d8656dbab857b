#include "recorder/recording/reg_av_filter_ex.h"

#include "recorder/recording/screen_check.h"

namespace qarv {

namespace {

// The module's stem: its name before the last '.'; "" if it has no '.'.
std::string ModuleStem(const std::string& module) {
    const std::size_t dot = module.rfind('.');
    return dot == std::string::npos ? std::string() : module.substr(0, dot);
}

}  // namespace

std::shared_ptr<RegAVFilterEx> RegAVFilterEx::Instance() {
    static const auto instance = std::make_shared<RegAVFilterEx>();
    return instance;
}

bool RegAVFilterEx::RegisterFilters(const std::string& videoModule, const std::string& audioModule) {
    registered_ = false;
    videoDevice_.clear();
    audioDevice_.clear();

    const std::string videoStem = ModuleStem(videoModule);
    const std::string audioStem = ModuleStem(audioModule);
    if (videoStem != kScreenDevice || audioStem != kSystemSoundDevice)
        return false;
    // The system sound needs no check: without a sound server the encoder records silence.
    if (!IsScreenReachable())
        return false;

    registered_ = true;
    videoDevice_ = videoStem;
    audioDevice_ = audioStem;
    return true;
}

}  // namespace qarv
