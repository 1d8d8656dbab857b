#pragma once
// Shows a white screen and plays a click at the same moment, again and again, so that a
// recording's picture and sound can be compared: a full-screen window on an X display,
// black between flashes, and a low-latency playback stream on a sound server's default sink.
// Used by one thread at a time.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct pa_simple;

namespace qarv::test {

class FlashAndClick {
  public:
    FlashAndClick() = default;
    ~FlashAndClick();
    FlashAndClick(const FlashAndClick&) = delete;
    FlashAndClick& operator=(const FlashAndClick&) = delete;

    // Connects to `display` and to the sound server `pulseServer` (a PULSE_SERVER value) and
    // shows the black window. False, with error() saying why, on failure.
    bool Open(const std::string& display, const std::string& pulseServer);

    // Plays silence for `lead`, then flashes and clicks `count` times, `period` apart (white
    // for a third of the period). Returns, for each click, the playback latency in seconds
    // the sound server reported when it was written: the click is heard that much after the
    // flash is shown. Empty on failure.
    std::vector<double> Run(int count, std::chrono::milliseconds period, std::chrono::milliseconds lead);

    const std::string& error() const { return error_; }

  private:
    void Show(bool white);
    bool Write(const std::vector<short>& samples);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    std::uint32_t black_ = 0;
    std::uint32_t white_ = 0;
    pa_simple* playback_ = nullptr;
    std::string error_;
};

}  // namespace qarv::test
