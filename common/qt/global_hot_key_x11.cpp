// The X11 grabber: a connection of its own to $DISPLAY (so it works under any Qt platform
// plugin), passive key grabs on the root window, and the key presses read from that
// connection while the event loop runs.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/display_probe.h"
#include "common/file_util.h"
#include "common/log.h"
#include "common/log_codes.h"
#include "common/qt/global_hot_key.h"

namespace qarv {

namespace {

// How long the display may take to answer a connection before it counts as not answering.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(2000);

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
// Replies, errors, events and strings that xcb hands over with malloc.
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
struct KeySymbolsFreer {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};

// Key symbols used below (X11/keysymdef.h).
constexpr xcb_keysym_t kSymF1 = 0xffbe;
constexpr xcb_keysym_t kSymNumLock = 0xff7f;
constexpr xcb_keysym_t kSymAltL = 0xffe9;
constexpr xcb_keysym_t kSymAltR = 0xffea;
constexpr xcb_keysym_t kSymSuperL = 0xffeb;
constexpr xcb_keysym_t kSymSuperR = 0xffec;

// The key symbol of a Qt key, or 0 for a key not handled here.
xcb_keysym_t KeySymOf(Qt::Key key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return kSymF1 + (key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'a' + (key - Qt::Key_A);  // the unshifted symbol, as the keyboard map lists it first
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space)
        return static_cast<xcb_keysym_t>(key);
    switch (key) {
        case Qt::Key_Escape:
            return 0xff1b;
        case Qt::Key_Tab:
            return 0xff09;
        case Qt::Key_Backspace:
            return 0xff08;
        case Qt::Key_Return:
            return 0xff0d;
        case Qt::Key_Enter:
            return 0xff8d;
        case Qt::Key_Insert:
            return 0xff63;
        case Qt::Key_Delete:
            return 0xffff;
        case Qt::Key_Pause:
            return 0xff13;
        case Qt::Key_Print:
            return 0xff61;
        case Qt::Key_Home:
            return 0xff50;
        case Qt::Key_End:
            return 0xff57;
        case Qt::Key_Left:
            return 0xff51;
        case Qt::Key_Up:
            return 0xff52;
        case Qt::Key_Right:
            return 0xff53;
        case Qt::Key_Down:
            return 0xff54;
        case Qt::Key_PageUp:
            return 0xff55;
        case Qt::Key_PageDown:
            return 0xff56;
        default:
            return 0;
    }
}

class X11HotKeyGrabber final : public HotKeyGrabber {
  public:
    explicit X11HotKeyGrabber(PressHandler onPress) : onPress_(std::move(onPress)) {}
    // Closing the connection makes the server drop whatever grabs are left.
    ~X11HotKeyGrabber() override = default;

    HotKeyGrabResult Grab(Qt::KeyboardModifiers modifiers, Qt::Key key) override;
    void Ungrab(Qt::KeyboardModifiers modifiers, Qt::Key key) override;

  private:
    struct Grabbed {
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
        uint16_t mask;
        std::vector<xcb_keycode_t> codes;
    };

    HotKeyGrabResult Connect();
    HotKeyGrabResult OpenConnection();
    void ReadModifierMasks();
    uint16_t MaskOf(Qt::KeyboardModifiers modifiers) const;
    std::vector<xcb_keycode_t> KeyCodesOf(Qt::Key key) const;
    std::vector<uint16_t> LockVariants() const;
    void UngrabCodes(uint16_t mask, const std::vector<xcb_keycode_t>& codes);
    void Sync();
    void ScheduleRead();
    void ReadEvents();

    PressHandler onPress_;
    // Expires with the object, so that event reading stops if a handler destroyed it.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    bool tried_ = false;
    HotKeyGrabResult connectResult_ = kHotKeyNoDisplay;
    bool lost_ = false;
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection_;
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsFreer> symbols_;
    xcb_window_t root_ = 0;
    // Where this keyboard map puts Num Lock, Alt and Super; the usual places until read.
    uint16_t numLockMask_ = XCB_MOD_MASK_2;
    uint16_t altMask_ = XCB_MOD_MASK_1;
    uint16_t metaMask_ = XCB_MOD_MASK_4;
    std::vector<Grabbed> grabbed_;
    std::unique_ptr<QSocketNotifier> notifier_;  // last, so it goes before the connection
};

HotKeyGrabResult X11HotKeyGrabber::Connect() {
    // One attempt per object: a display that is missing or silent would only cost the same
    // wait again at every registration.
    if (!tried_) {
        tried_ = true;
        connectResult_ = OpenConnection();
    }
    if (connectResult_ == kHotKeyGrabbed && lost_)
        return kHotKeyNoDisplay;
    return connectResult_;
}

HotKeyGrabResult X11HotKeyGrabber::OpenConnection() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return kHotKeyNoDisplay;
    if (ProbeDisplay(name, kAnswerTimeout) == DisplayProbe::kSilent)
        return kHotKeyDisplayNotAnswering;

    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(name, &screenNumber));
    if (xcb_connection_has_error(connection.get()) != 0)
        return kHotKeyNoDisplay;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
        xcb_screen_next(&screen);
    if (screen.rem <= 0)
        return kHotKeyNoDisplay;
    root_ = screen.data->root;
    symbols_.reset(xcb_key_symbols_alloc(connection.get()));
    if (!symbols_)
        return kHotKeyNoDisplay;
    connection_ = std::move(connection);
    ReadModifierMasks();

    notifier_ =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_.get()), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { ReadEvents(); });
    return kHotKeyGrabbed;
}

void X11HotKeyGrabber::ReadModifierMasks() {
    xcb_connection_t* connection = connection_.get();
    XcbPtr<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!reply)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    uint16_t numLock = 0, alt = 0, meta = 0;
    // Shift, Lock and Control have fixed places; Mod1..Mod5 depend on the keyboard map.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const uint16_t bit = static_cast<uint16_t>(1u << modifier);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code == 0)
                continue;
            for (int column = 0; column < 2; ++column) {
                const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols_.get(), code, column);
                if (sym == kSymNumLock && numLock == 0)
                    numLock = bit;
                else if ((sym == kSymAltL || sym == kSymAltR) && alt == 0)
                    alt = bit;
                else if ((sym == kSymSuperL || sym == kSymSuperR) && meta == 0)
                    meta = bit;
            }
        }
    }
    if (numLock != 0)
        numLockMask_ = numLock;
    if (alt != 0)
        altMask_ = alt;
    if (meta != 0)
        metaMask_ = meta;
}

uint16_t X11HotKeyGrabber::MaskOf(Qt::KeyboardModifiers modifiers) const {
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= altMask_;
    if (modifiers & Qt::MetaModifier)
        mask |= metaMask_;
    return mask;
}

std::vector<xcb_keycode_t> X11HotKeyGrabber::KeyCodesOf(Qt::Key key) const {
    std::vector<xcb_keycode_t> codes;
    const xcb_keysym_t sym = KeySymOf(key);
    if (sym == 0)
        return codes;
    // Every key that carries the symbol, so that the combination works from each of them.
    XcbPtr<xcb_keycode_t> found(xcb_key_symbols_get_keycode(symbols_.get(), sym));
    for (const xcb_keycode_t* code = found.get(); code != nullptr && *code != XCB_NO_SYMBOL; ++code)
        codes.push_back(*code);
    return codes;
}

std::vector<uint16_t> X11HotKeyGrabber::LockVariants() const {
    std::vector<uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
    if (numLockMask_ != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLockMask_);
        variants.push_back(static_cast<uint16_t>(numLockMask_ | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

HotKeyGrabResult X11HotKeyGrabber::Grab(Qt::KeyboardModifiers modifiers, Qt::Key key) {
    if (const HotKeyGrabResult connected = Connect(); connected != kHotKeyGrabbed)
        return connected;
    const std::vector<xcb_keycode_t> codes = KeyCodesOf(key);
    if (codes.empty())
        return kHotKeyUnsupported;
    const uint16_t mask = MaskOf(modifiers);

    // The server's grab matches the modifier state exactly, so Caps Lock and Num Lock would
    // hide the combination unless every on/off mix of the two is grabbed as well.
    xcb_connection_t* connection = connection_.get();
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_keycode_t code : codes) {
        for (const uint16_t variant : LockVariants()) {
            cookies.push_back(xcb_grab_key_checked(connection, 0, root_,
                                                   static_cast<uint16_t>(mask | variant), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool held = false, refused = false;
    for (const xcb_void_cookie_t cookie : cookies) {
        XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
        if (error)
            (error->error_code == XCB_ACCESS ? held : refused) = true;
    }
    ScheduleRead();
    if (xcb_connection_has_error(connection) != 0)
        return kHotKeyNoDisplay;
    if (held || refused) {
        // Keep nothing of a half-made grab; ungrabbing what another client holds does nothing.
        UngrabCodes(mask, codes);
        return held ? kHotKeyHeldElsewhere : kHotKeyUnsupported;
    }
    grabbed_.push_back({modifiers, key, mask, codes});
    return kHotKeyGrabbed;
}

void X11HotKeyGrabber::Ungrab(Qt::KeyboardModifiers modifiers, Qt::Key key) {
    const auto entry = std::find_if(grabbed_.begin(), grabbed_.end(), [&](const Grabbed& grabbed) {
        return grabbed.modifiers == modifiers && grabbed.key == key;
    });
    if (entry == grabbed_.end())
        return;
    const Grabbed released = *entry;
    grabbed_.erase(entry);
    if (!lost_)
        UngrabCodes(released.mask, released.codes);
}

void X11HotKeyGrabber::UngrabCodes(uint16_t mask, const std::vector<xcb_keycode_t>& codes) {
    for (const xcb_keycode_t code : codes) {
        for (const uint16_t variant : LockVariants())
            xcb_ungrab_key(connection_.get(), code, root_, static_cast<uint16_t>(mask | variant));
    }
    // Wait until the server has done it, so that the combination is free on return.
    Sync();
    ScheduleRead();
}

void X11HotKeyGrabber::Sync() {
    xcb_connection_t* connection = connection_.get();
    XcbPtr<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void X11HotKeyGrabber::ScheduleRead() {
    // Waiting for a reply may have moved events from the socket into xcb's queue, where the
    // socket notifier no longer sees them.
    QTimer::singleShot(0, notifier_.get(), [this] { ReadEvents(); });
}

void X11HotKeyGrabber::ReadEvents() {
    if (lost_)
        return;
    xcb_connection_t* connection = connection_.get();
    const std::weak_ptr<char> alive = alive_;
    while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection)}) {
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
            continue;
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        // The state holds the modifiers before the press; buttons and the two locks do not count.
        const uint16_t state = press->state & 0xff & ~(XCB_MOD_MASK_LOCK | numLockMask_);
        const auto hit = std::find_if(grabbed_.begin(), grabbed_.end(), [&](const Grabbed& grabbed) {
            return grabbed.mask == state && std::find(grabbed.codes.begin(), grabbed.codes.end(),
                                                      press->detail) != grabbed.codes.end();
        });
        if (hit == grabbed_.end())
            continue;
        const Qt::KeyboardModifiers modifiers = hit->modifiers;
        const Qt::Key key = hit->key;
        onPress_(modifiers, key);
        if (alive.expired())
            return;  // the handler destroyed this object
    }
    if (xcb_connection_has_error(connection) != 0) {
        LogWarn(__LINE__, kSrcGlobalHotKey, kCodeHotKeyDisplayLost, kMsgHotKeyDisplayLost);
        lost_ = true;
        grabbed_.clear();
        notifier_->setEnabled(false);  // the closed socket would stay readable
    }
}

}  // namespace

std::unique_ptr<HotKeyGrabber> CreateHotKeyGrabber(HotKeyGrabber::PressHandler onPress) {
    return std::make_unique<X11HotKeyGrabber>(std::move(onPress));
}

}  // namespace qarv
