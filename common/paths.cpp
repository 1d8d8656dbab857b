#include "common/paths.h"

namespace qarv {

std::string JoinPath(std::string_view a, std::string_view b) {
    std::string path(a);
    if (!path.empty() && path.back() != PathSeparator())
        path += PathSeparator();
    path += b;
    return path;
}

std::string BaseName(std::string_view path) {
    const auto slash = path.find_last_of(PathSeparator());
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace qarv
