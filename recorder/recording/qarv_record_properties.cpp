#include "recorder/recording/qarv_record_properties.h"

#include <array>
#include <utility>

#include "common/third_node.h"

namespace qarv {

namespace {

using TextValue = std::pair<std::string_view, int>;

template <std::size_t N>
int LookUp(const std::array<TextValue, N>& table, std::string_view text, int otherwise) {
    for (const auto& [key, value] : table) {
        if (key == text)
            return value;
    }
    return otherwise;
}

constexpr std::array<TextValue, 6> kFrameRates = {{
    {"5fps", 5},
    {"10fps", 10},
    {"15fps", 15},
    {"20fps", 20},
    {"25fps", 25},
    {"30fps", 30},
}};

constexpr std::array<TextValue, 3> kSampleRates = {{
    {"11025HZ", 11025},
    {"22050HZ", 22050},
    {"44100HZ", 44100},
}};

constexpr std::array<TextValue, 7> kBitRates = {{
    {"100KB", 100000},
    {"200KB", 200000},
    {"300KB", 300000},
    {"400KB", 400000},
    {"500KB", 500000},
    {"800KB", 800000},
    {"1000KB", 1000000},
}};

}  // namespace

int FrameRateFromText(std::string_view text) {
    return LookUp(kFrameRates, text, 10);
}

int SampleRateFromText(std::string_view text) {
    return LookUp(kSampleRates, text, 22050);
}

int BitRateFromText(std::string_view text) {
    return LookUp(kBitRates, text, 300000);
}

int ParseResolution(const std::string& text, std::uint32_t& width, std::uint32_t& height) {
    const std::size_t star = text.find('*');
    if (star == std::string::npos || star + 1 == text.size())
        return -1;
    width = static_cast<std::uint32_t>(ParseIntLikeAtoi(text.substr(0, star)));
    height = static_cast<std::uint32_t>(ParseIntLikeAtoi(text.substr(star + 1)));
    return 0;
}

}  // namespace qarv
