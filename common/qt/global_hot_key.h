#pragma once
// Global hot keys: key combinations that reach this program while another window has the
// focus. GlobalHotKey keeps the identifiers and writes the log; the grabbing itself is done by
// the platform's HotKeyGrabber (global_hot_key_x11.cpp). Both are used on the UI thread only.

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace qarv {

// What a platform grab came to.
enum HotKeyGrabResult {
    kHotKeyGrabbed = 0,
    kHotKeyNoDisplay = -1,            // no display, or it cannot be reached
    kHotKeyDisplayNotAnswering = -2,  // the display accepts the connection but does not reply
    kHotKeyHeldElsewhere = -3,        // another program holds the combination
    kHotKeyUnsupported = -4,          // a key or modifier this platform part cannot grab
};

// The platform part: grabs combinations for the whole desktop and reports their presses
// through the function given at creation. Used on the UI thread only.
class HotKeyGrabber {
  public:
    using PressHandler = std::function<void(Qt::KeyboardModifiers modifiers, Qt::Key key)>;
    virtual ~HotKeyGrabber() = default;
    // `modifiers` holds only Shift, Control, Alt and Meta.
    virtual HotKeyGrabResult Grab(Qt::KeyboardModifiers modifiers, Qt::Key key) = 0;
    // Releases a combination grabbed by Grab(); anything else is ignored.
    virtual void Ungrab(Qt::KeyboardModifiers modifiers, Qt::Key key) = 0;
};

// The grabber of the platform the program is built for.
std::unique_ptr<HotKeyGrabber> CreateHotKeyGrabber(HotKeyGrabber::PressHandler onPress);

// System-wide key combinations that reach this program while another window has the focus.
// Called on the UI thread. Keys are released when the object is destroyed.
class GlobalHotKey : public QObject {
    Q_OBJECT
  public:
    explicit GlobalHotKey(QObject* parent = nullptr);
    ~GlobalHotKey() override;

    // Grabs modifiers+key system-wide under `id`; several combinations may share an id.
    // 0, or -1 when there is no display, another program holds the combination, the key
    // cannot be grabbed, or this object has it under another id (a log line says which).
    // Registering a combination again under the same id changes nothing and returns 0.
    int Register(int id, Qt::KeyboardModifiers modifiers, Qt::Key key);
    // Releases every combination registered here.
    void UnregisterAll();

  signals:
    // A registered combination was pressed; `modifiers` and `key` are those it was registered
    // with (Caps Lock and Num Lock left out).
    void Activated(int id, Qt::KeyboardModifiers modifiers, Qt::Key key);

  private:
    struct Entry {
        int id;
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
    };
    void OnPress(Qt::KeyboardModifiers modifiers, Qt::Key key);

    std::vector<Entry> entries_;
    std::unique_ptr<HotKeyGrabber> grabber_;
};

}  // namespace qarv
