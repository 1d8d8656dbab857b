#include "tests/support/silent_display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace qarv::test {

UniqueFd ListenOnFreeDisplay(int* number) {
    for (*number = 4000; *number < 4100; ++*number) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(*number);
        if (::access(path.c_str(), F_OK) == 0 ||
            ::access(("/tmp/.X" + std::to_string(*number) + "-lock").c_str(), F_OK) == 0)
            continue;
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, path.data(), path.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd.get(), 8) == 0)
            return fd;
    }
    return UniqueFd();
}

}  // namespace qarv::test
