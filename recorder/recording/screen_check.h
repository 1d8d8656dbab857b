#pragma once
// Whether the screen the encoder records can be opened. Thread-safe.

namespace qarv {

// True if the display the encoder records (here the X display named by $DISPLAY) accepts
// a connection; false if none is named or it cannot be opened.
bool IsScreenReachable();

}  // namespace qarv
