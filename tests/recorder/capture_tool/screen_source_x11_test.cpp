#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "recorder/capture_tool/screen_source.h"
#include "tests/support/virtual_display.h"

namespace qarv {

bool operator==(const TopLevelWindow& a, const TopLevelWindow& b) {
    return a.id == b.id && a.outer == b.outer;
}
void PrintTo(const TopLevelWindow& w, std::ostream* out) {
    *out << w.id << ": " << w.outer.left << "," << w.outer.top << " - " << w.outer.right << ","
         << w.outer.bottom;
}

namespace {

using Windows = std::vector<TopLevelWindow>;

// A private X server named by DISPLAY for the test, and a client on it that makes windows
// and, standing in for a window manager, sets the properties one would.
class ScreenSourceX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(display_.Start(1280, 720));
        if (const char* old = std::getenv("DISPLAY"))
            oldDisplay_ = old;
        ::setenv("DISPLAY", display_.name().c_str(), 1);
        c_ = xcb_connect(display_.name().c_str(), nullptr);
        ASSERT_EQ(xcb_connection_has_error(c_), 0);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    void TearDown() override {
        xcb_disconnect(c_);
        oldDisplay_.empty() ? ::unsetenv("DISPLAY") : ::setenv("DISPLAY", oldDisplay_.c_str(), 1);
    }

    xcb_window_t Window(int x, int y, int w, int h, int border = 0, xcb_window_t parent = 0, bool map = true,
                        int cls = XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        const xcb_window_t id = xcb_generate_id(c_);
        xcb_create_window(c_, 0, id, parent != 0 ? parent : root_, std::int16_t(x), std::int16_t(y),
                          std::uint16_t(w), std::uint16_t(h), std::uint16_t(border), std::uint16_t(cls), 0, 0,
                          nullptr);
        if (map)
            xcb_map_window(c_, id);
        Sync();
        return id;
    }
    void SetProperty(xcb_window_t window, const char* name, xcb_atom_t type,
                     std::vector<std::uint32_t> values) {
        auto* atom = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name),
                                           nullptr);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, atom->atom, type, 32,
                            std::uint32_t(values.size()), values.data());
        std::free(atom);
        Sync();
    }
    // After this round trip the server has done all asked before, for every client to see.
    void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    test::VirtualDisplay display_;
    std::string oldDisplay_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
};

TEST_F(ScreenSourceX11Test, ListsViewableTopLevelWindowsTopFirstWithFrames) {
    const xcb_window_t plain = Window(100, 100, 300, 200);
    const xcb_window_t offRight = Window(1200, 650, 200, 100, 2);  // border 2, past the screen
    const xcb_window_t offLeft = Window(-40, -30, 100, 80);
    const xcb_window_t hidden = Window(50, 50, 20, 20, 0, 0, false);
    Window(10, 10, 30, 30, 0, 0, true, XCB_WINDOW_CLASS_INPUT_ONLY);
    Window(20, 20, 50, 50, 0, plain);  // a child, not top level
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, plain, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    Sync();

    const std::unique_ptr<ScreenSource> source = CreateScreenSource();
    EXPECT_EQ(source->Windows(), (Windows{{plain, {100, 100, 400, 300}},
                                          {offLeft, {-40, -30, 60, 50}},
                                          {offRight, {1200, 650, 1404, 754}}}));

    // A window manager's list rules once there is one: its frame around a client, the
    // order it gives (bottom to top), not the server's, and nothing it does not list.
    const xcb_window_t frame = Window(500, 100, 410, 330);
    const xcb_window_t framed = Window(5, 25, 400, 300, 0, frame);
    SetProperty(framed, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {5, 5, 25, 5});
    SetProperty(root_, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, {offRight, framed, hidden, plain});
    EXPECT_EQ(source->Windows(), (Windows{{plain, {100, 100, 400, 300}},
                                          {framed, {500, 100, 910, 430}},
                                          {offRight, {1200, 650, 1404, 754}}}));

    EXPECT_TRUE(source->Exists(framed));
    xcb_destroy_window(c_, frame);  // the client goes with it, before the manager's list changes
    xcb_unmap_window(c_, plain);
    Sync();
    EXPECT_FALSE(source->Exists(framed));
    EXPECT_FALSE(source->Exists(plain));
    EXPECT_EQ(source->Windows(), (Windows{{offRight, {1200, 650, 1404, 754}}}));
}

}  // namespace
}  // namespace qarv
