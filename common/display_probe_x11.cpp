#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/display_probe.h"
#include "common/file_util.h"

namespace qarv {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until `events` are signalled on `fd` or the deadline passes; true when they were.
bool WaitForSocket(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd wait{fd, events, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// Opens a connection to `address` and sends an X connection set-up without authorisation;
// any reply, even a refusal, shows that the server answers.
DisplayProbe ProbeAddress(const sockaddr* address, socklen_t length, Clock::time_point deadline) {
    UniqueFd socket(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return DisplayProbe::kUnreachable;
    if (::connect(socket.get(), address, length) != 0) {
        if (errno == EAGAIN)
            return DisplayProbe::kSilent;  // a local server whose queue of new connections is full
        if (errno != EINPROGRESS)
            return DisplayProbe::kUnreachable;
        if (!WaitForSocket(socket.get(), POLLOUT, deadline))
            return DisplayProbe::kSilent;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return DisplayProbe::kUnreachable;
    }
    // Little-endian byte order, protocol 11.0, empty authorisation name and data.
    static const unsigned char kSetup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (::send(socket.get(), kSetup, sizeof kSetup, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof kSetup))
        return DisplayProbe::kUnreachable;
    return WaitForSocket(socket.get(), POLLIN, deadline) ? DisplayProbe::kAnswered : DisplayProbe::kSilent;
}

}  // namespace

DisplayProbe ProbeDisplay(const char* name, std::chrono::milliseconds timeout) {
    char* hostName = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(name, &hostName, &display, &screen) == 0)
        return DisplayProbe::kUnreachable;
    const std::string host = hostName;
    std::free(hostName);
    const Clock::time_point deadline = Clock::now() + timeout;

    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        std::memcpy(local.sun_path + 1, path.data(), path.size());
        const auto* address = reinterpret_cast<const sockaddr*>(&local);
        const DisplayProbe abstract =
            ProbeAddress(address, offsetof(sockaddr_un, sun_path) + 1 + path.size(), deadline);
        if (abstract != DisplayProbe::kUnreachable)
            return abstract;
        std::memcpy(local.sun_path, path.data(), path.size());
        local.sun_path[path.size()] = '\0';
        return ProbeAddress(address, offsetof(sockaddr_un, sun_path) + path.size() + 1, deadline);
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(6000 + display).c_str(), &hints, &found) != 0)
        return DisplayProbe::kUnreachable;
    DisplayProbe result = DisplayProbe::kUnreachable;
    for (const addrinfo* entry = found; entry != nullptr && result == DisplayProbe::kUnreachable;
         entry = entry->ai_next)
        result = ProbeAddress(entry->ai_addr, entry->ai_addrlen, deadline);
    ::freeaddrinfo(found);
    return result;
}

}  // namespace qarv
