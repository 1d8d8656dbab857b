#pragma once
// What the screenshot tool needs from the desktop: a frozen picture of the primary screen and
// the visible top-level windows, topmost first, with their outer rectangles (frame included).
// The platform's implementation lives in screen_source_<platform>.cpp. Called on the UI thread.

#include <QImage>
#include <cstdint>
#include <memory>
#include <vector>

#include "recorder/capture_tool/tracker_geometry.h"

namespace qarv {

struct TopLevelWindow {
    std::uint32_t id = 0;  // the platform's window id
    Rect outer;            // in screen coordinates, not clipped to the screen
};

class ScreenSource {
  public:
    virtual ~ScreenSource() = default;
    // The primary screen as it shows now; a null image when the platform allows no grab
    // (a Wayland session, no display).
    virtual QImage Snapshot() = 0;
    // The visible top-level windows, top of the stacking order first.
    virtual std::vector<TopLevelWindow> Windows() = 0;
    // False once the window has been closed.
    virtual bool Exists(std::uint32_t id) = 0;
    // True when a window manager runs: only then does minimising take a window off the screen.
    virtual bool HasWindowManager() = 0;
};

// The desktop this program runs on.
std::unique_ptr<ScreenSource> CreateScreenSource();

}  // namespace qarv
