#include "tests/capturer/flash_and_click.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <cstdlib>

namespace qarv::test {

namespace {

constexpr int kRate = 44100;
constexpr int kChunk = kRate / 200;  // 5 ms: how finely the flashes are placed in the sound

}  // namespace

FlashAndClick::~FlashAndClick() {
    if (playback_ != nullptr)
        pa_simple_free(playback_);
    if (connection_ != nullptr)
        xcb_disconnect(connection_);
}

bool FlashAndClick::Open(const std::string& display, const std::string& pulseServer) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        error_ = "cannot connect to display " + display;
        return false;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    black_ = screen->black_pixel;
    white_ = screen->white_pixel;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {black_, 1};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, window_);
    Show(false);

    // A short buffer: the click is heard a few milliseconds after it is written.
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(20000, &spec));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    int code = 0;
    playback_ = pa_simple_new(pulseServer.c_str(), "qarv-test", PA_STREAM_PLAYBACK, nullptr, "clicks", &spec,
                              nullptr, &attributes, &code);
    if (playback_ == nullptr) {
        error_ = std::string("cannot play sound: ") + pa_strerror(code);
        return false;
    }
    return true;
}

void FlashAndClick::Show(bool white) {
    const std::uint32_t pixel = white ? white_ : black_;
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
    // A round trip: the server has drawn it when this returns.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool FlashAndClick::Write(const std::vector<short>& samples) {
    int code = 0;
    if (pa_simple_write(playback_, samples.data(), samples.size() * sizeof(short), &code) < 0) {
        error_ = std::string("cannot play sound: ") + pa_strerror(code);
        return false;
    }
    return true;
}

std::vector<double> FlashAndClick::Run(int count, std::chrono::milliseconds period,
                                       std::chrono::milliseconds lead) {
    std::vector<double> latencies;
    if (playback_ == nullptr)
        return latencies;
    const std::vector<short> silence(kChunk, 0);
    std::vector<short> click(kChunk);
    for (int i = 0; i < kChunk; ++i)  // 5 ms of a loud 2 kHz tone
        click[i] = static_cast<short>(20000 * std::sin(2 * M_PI * 2000 * i / kRate));

    // Time is counted in chunks of sound written: the server's clock paces the loop.
    const long periodChunks = static_cast<long>(period.count()) / 5;
    const long leadChunks = static_cast<long>(lead.count()) / 5;
    const long total = leadChunks + count * periodChunks;
    for (long chunk = 0; chunk < total; ++chunk) {
        const long phase = chunk - leadChunks;
        if (phase >= 0 && phase % periodChunks == 0) {
            Show(true);
            int code = 0;
            const pa_usec_t latency = pa_simple_get_latency(playback_, &code);
            if (!Write(click))
                return {};
            latencies.push_back(static_cast<double>(latency) / 1e6);
            continue;
        }
        if (phase >= 0 && phase % periodChunks == periodChunks / 3)
            Show(false);
        if (!Write(silence))
            return {};
    }
    Show(false);
    int code = 0;
    pa_simple_drain(playback_, &code);
    return latencies;
}

}  // namespace qarv::test
