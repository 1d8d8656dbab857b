// Splitting dotted versions; the comparison must be a strict order on any two of them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "updater/version_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qarv::SplitVersion(text);
    // The input holds two versions, split at the first newline.
    const auto cut = text.find('\n');
    const auto first = text.substr(0, cut);
    const auto second = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
    if (qarv::IsNewerVersion(first, first) ||
        (qarv::IsNewerVersion(first, second) && qarv::IsNewerVersion(second, first)))
        std::abort();
    return 0;
}
