// The X11 desktop: the snapshot through Qt, the windows through a connection of our own to
// the display named by DISPLAY (Qt's platform may be another one, offscreen in tests, and our
// round trips stay out of its event queue).

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "recorder/capture_tool/screen_source.h"

namespace qarv {
namespace {

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
// Owner of a reply xcb allocated.
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// Waits for the reply to `cookie`; null when the request failed (a window gone meanwhile).
// The error is taken here so that it does not pile up in the connection's event queue,
// which nothing reads.
template <typename Reply, typename Cookie>
XcbReply<Reply> Take(Reply* (*wait)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                     xcb_connection_t* connection, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    XcbReply<Reply> reply(wait(connection, cookie, &error));
    std::free(error);
    return reply;
}

class X11ScreenSource : public ScreenSource {
  public:
    X11ScreenSource();

    QImage Snapshot() override;
    std::vector<TopLevelWindow> Windows() override;
    bool Exists(std::uint32_t id) override;
    bool HasWindowManager() override;

  private:
    bool Connected() const { return connection_ && root_ != XCB_WINDOW_NONE; }
    xcb_atom_t Atom(const char* name);
    // The managed windows the window manager lists, top first; nothing without one.
    std::optional<std::vector<xcb_window_t>> ClientsTopFirst();
    std::vector<TopLevelWindow> ManagedWindows(const std::vector<xcb_window_t>& clients);
    std::vector<TopLevelWindow> RootChildren();

    XcbConnection connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

X11ScreenSource::X11ScreenSource() {
    int screenNumber = 0;
    connection_.reset(xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection_.get()) != 0)
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_.get()));
    for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
        if (i == screenNumber) {
            root_ = screens.data->root;
            break;
        }
    }
}

QImage X11ScreenSource::Snapshot() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return {};
    const QPixmap pixmap = screen->grabWindow(0);
    if (pixmap.isNull())
        return {};
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

xcb_atom_t X11ScreenSource::Atom(const char* name) {
    // Only an existing atom: one nobody named cannot be set on any window.
    const auto reply =
        Take(xcb_intern_atom_reply, connection_.get(),
             xcb_intern_atom(connection_.get(), 1, static_cast<std::uint16_t>(std::strlen(name)), name));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::optional<std::vector<xcb_window_t>> X11ScreenSource::ClientsTopFirst() {
    const xcb_atom_t stacking = Atom("_NET_CLIENT_LIST_STACKING");
    if (stacking == XCB_ATOM_NONE)
        return std::nullopt;  // never named on this server, so no window manager set it
    const auto reply =
        Take(xcb_get_property_reply, connection_.get(),
             xcb_get_property(connection_.get(), 0, root_, stacking, XCB_ATOM_WINDOW, 0, UINT32_MAX / 4));
    if (!reply || reply->format != 32)
        return std::nullopt;
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    // The property lists the clients bottom to top.
    return std::vector<xcb_window_t>(std::make_reverse_iterator(ids + count),
                                     std::make_reverse_iterator(ids));
}

std::vector<TopLevelWindow> X11ScreenSource::ManagedWindows(const std::vector<xcb_window_t>& clients) {
    xcb_connection_t* c = connection_.get();
    const xcb_atom_t frameExtents = Atom("_NET_FRAME_EXTENTS");
    struct Requests {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t position;
        xcb_get_property_cookie_t frame;
        bool askedFrame;
    };
    // All requests go out first and the replies are collected after: one round trip in all.
    std::vector<Requests> requests;
    requests.reserve(clients.size());
    for (const xcb_window_t id : clients) {
        const bool askFrame = frameExtents != XCB_ATOM_NONE;
        requests.push_back({xcb_get_window_attributes(c, id), xcb_get_geometry(c, id),
                            xcb_translate_coordinates(c, id, root_, 0, 0),
                            askFrame ? xcb_get_property(c, 0, id, frameExtents, XCB_ATOM_CARDINAL, 0, 4)
                                     : xcb_get_property_cookie_t{},
                            askFrame});
    }
    std::vector<TopLevelWindow> windows;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const auto attributes = Take(xcb_get_window_attributes_reply, c, requests[i].attributes);
        const auto geometry = Take(xcb_get_geometry_reply, c, requests[i].geometry);
        const auto position = Take(xcb_translate_coordinates_reply, c, requests[i].position);
        const auto frame = requests[i].askedFrame ? Take(xcb_get_property_reply, c, requests[i].frame)
                                                  : XcbReply<xcb_get_property_reply_t>();
        if (!attributes || !geometry || !position || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;  // gone since the list was read, minimised or otherwise hidden
        if (geometry->width == 0 || geometry->height == 0)
            continue;
        // The translated origin is the window's inside corner; its own border lies around it.
        const int border = geometry->border_width;
        Rect outer{position->dst_x - border, position->dst_y - border,
                   position->dst_x + geometry->width + border, position->dst_y + geometry->height + border};
        if (frame && frame->format == 32 && xcb_get_property_value_length(frame.get()) >= 16) {
            // Left, right, top and bottom: what the window manager's frame adds around the window.
            const auto* extents = static_cast<const std::uint32_t*>(xcb_get_property_value(frame.get()));
            outer.left -= static_cast<int>(extents[0]);
            outer.right += static_cast<int>(extents[1]);
            outer.top -= static_cast<int>(extents[2]);
            outer.bottom += static_cast<int>(extents[3]);
        }
        windows.push_back({clients[i], outer});
    }
    return windows;
}

std::vector<TopLevelWindow> X11ScreenSource::RootChildren() {
    xcb_connection_t* c = connection_.get();
    const auto tree = Take(xcb_query_tree_reply, c, xcb_query_tree(c, root_));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    struct Requests {
        xcb_window_t id;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
    };
    // The children come bottom to top; ask about them top first.
    std::vector<Requests> requests;
    requests.reserve(static_cast<std::size_t>(count));
    for (int i = count - 1; i >= 0; --i)
        requests.push_back(
            {children[i], xcb_get_window_attributes(c, children[i]), xcb_get_geometry(c, children[i])});

    std::vector<TopLevelWindow> windows;
    for (const Requests& request : requests) {
        const auto attributes = Take(xcb_get_window_attributes_reply, c, request.attributes);
        const auto geometry = Take(xcb_get_geometry_reply, c, request.geometry);
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            continue;
        if (geometry->width == 0 || geometry->height == 0)
            continue;
        // The position is that of the border's outer corner; the border adds to both sides.
        const int border = 2 * geometry->border_width;
        windows.push_back({request.id,
                           {geometry->x, geometry->y, geometry->x + geometry->width + border,
                            geometry->y + geometry->height + border}});
    }
    return windows;
}

std::vector<TopLevelWindow> X11ScreenSource::Windows() {
    if (!Connected())
        return {};
    // A window manager's list holds only what it manages, without its frames, panels or
    // desktop; without one the top-level windows are the root's children.
    const std::optional<std::vector<xcb_window_t>> clients = ClientsTopFirst();
    return clients ? ManagedWindows(*clients) : RootChildren();
}

bool X11ScreenSource::Exists(std::uint32_t id) {
    if (!Connected())
        return false;
    xcb_connection_t* c = connection_.get();
    const auto attributes = Take(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, id));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool X11ScreenSource::HasWindowManager() {
    return Connected() && ClientsTopFirst().has_value();
}

}  // namespace

std::unique_ptr<ScreenSource> CreateScreenSource() {
    return std::make_unique<X11ScreenSource>();
}

}  // namespace qarv
