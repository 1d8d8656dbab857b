#pragma once
// Finds out whether an X display answers before a client connects to it: xcb_connect() waits
// without end for a server that accepts the connection and never replies, which would hold up
// the start-up of a program for ever. Thread-safe.

#include <chrono>

namespace qarv {

enum class DisplayProbe {
    kAnswered,     // it replied (success or refusal)
    kUnreachable,  // nothing listens there, or the name is not a display
    kSilent,       // it took the connection, or left it pending, without replying in time
};

// Asks the display named `name` (as in $DISPLAY) for a connection the way xcb would reach it
// (local socket, abstract name first, or TCP port 6000 + display) and waits at most `timeout`
// for any reply.
DisplayProbe ProbeDisplay(const char* name, std::chrono::milliseconds timeout);

}  // namespace qarv
