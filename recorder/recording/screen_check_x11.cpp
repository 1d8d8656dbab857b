#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>

#include "common/display_probe.h"
#include "recorder/recording/screen_check.h"

namespace qarv {
namespace {

constexpr std::chrono::milliseconds kDisplayAnswerTimeout{2000};

}  // namespace

bool IsScreenReachable() {
    // The encoder opens the display named by $DISPLAY; xcb would fall back to nothing else.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return false;
    // xcb_connect() would wait for ever on a server that takes the connection and never answers;
    // anything else it finds out quickly by itself.
    if (ProbeDisplay(display, kDisplayAnswerTimeout) == DisplayProbe::kSilent)
        return false;
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    // xcb_connect never returns null; a failed connection reports an error instead.
    const bool reachable = xcb_connection_has_error(connection) == 0 &&
                           xcb_get_setup(connection) != nullptr &&
                           xcb_setup_roots_length(xcb_get_setup(connection)) > 0;
    xcb_disconnect(connection);
    return reachable;
}

}  // namespace qarv
