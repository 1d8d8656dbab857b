#include "common/paths.h"

namespace qarv {

char PathSeparator() {
    return '/';
}

std::string ExecutableName(std::string_view base) {
    return std::string(base);
}

}  // namespace qarv
