#include "updater/version_compare.h"

#include <string>

#include "common/third_node.h"

namespace qarv {

std::vector<int> SplitVersion(std::string_view version) {
    std::vector<int> numbers;
    std::size_t start = 0;
    while (start < version.size()) {
        std::size_t dot = version.find('.', start);
        if (dot == std::string_view::npos)
            dot = version.size();
        numbers.push_back(ParseIntLikeAtoi(std::string(version.substr(start, dot - start))));
        start = dot + 1;
    }
    return numbers;
}

bool IsNewerVersion(std::string_view installed, std::string_view server) {
    const std::vector<int> mine = SplitVersion(installed);
    const std::vector<int> offered = SplitVersion(server);
    const std::size_t shared = mine.size() < offered.size() ? mine.size() : offered.size();
    for (std::size_t i = 0; i < shared; ++i) {
        if (mine[i] != offered[i])
            return offered[i] > mine[i];
    }
    return offered.size() > mine.size();
}

}  // namespace qarv
