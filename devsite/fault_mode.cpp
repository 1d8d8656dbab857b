#include "devsite/fault_mode.h"

#include <array>
#include <utility>

namespace qarv {
namespace {

constexpr std::array<std::pair<FaultMode, const char*>, 16> kNames = {{
    {FaultMode::kNone, "none"},
    {FaultMode::kSlow, "slow"},
    {FaultMode::kHang, "hang"},
    {FaultMode::kCut, "cut"},
    {FaultMode::kHttp500, "http500"},
    {FaultMode::kHttp500Envelope, "http500-envelope"},
    {FaultMode::kNotJson, "not-json"},
    {FaultMode::kBadEnvelope, "bad-envelope"},
    {FaultMode::kRefuse, "refuse"},
    {FaultMode::kSplit, "split"},
    {FaultMode::kBigReply, "big-reply"},
    {FaultMode::kCutUpload, "cut-upload"},
    {FaultMode::kSlowReader, "slow-reader"},
    {FaultMode::kHtmlPage, "html-page"},
    {FaultMode::kStall, "stall"},
    {FaultMode::kWrongSha256, "wrong-sha256"},
}};

}  // namespace

int ParseFaultMode(std::string_view name, FaultMode* mode) {
    for (const auto& [value, text] : kNames) {
        if (name == text) {
            *mode = value;
            return 0;
        }
    }
    return -1;
}

const char* FaultModeName(FaultMode mode) {
    for (const auto& [value, text] : kNames) {
        if (value == mode)
            return text;
    }
    return "none";
}

}  // namespace qarv
