#include <csignal>

#include "recorder/shell/socket_setup.h"

namespace qarv {

int InitSockets() {
    // A write to a connection the peer has closed must fail with EPIPE, not end the process.
    return std::signal(SIGPIPE, SIG_IGN) == SIG_ERR ? -1 : 0;
}

}  // namespace qarv
