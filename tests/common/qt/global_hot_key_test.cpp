#include "common/qt/global_hot_key.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "common/log.h"
#include "tests/support/command_output.h"
#include "tests/support/silent_display.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using test::CommandOutput;
using test::ReadFileText;
using test::ScopedCurrentDirectory;
using test::TempDir;
using test::VirtualDisplay;

constexpr xcb_keysym_t kSymF9 = 0xffc6;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "global_hot_key_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

struct Activation {
    int id;
    Qt::KeyboardModifiers modifiers;
    Qt::Key key;
};

// Collects what a GlobalHotKey reports.
struct ActivationLog {
    explicit ActivationLog(GlobalHotKey& hotKey) {
        QObject::connect(&hotKey, &GlobalHotKey::Activated, &hotKey,
                         [this](int id, Qt::KeyboardModifiers modifiers, Qt::Key key) {
                             seen.push_back({id, modifiers, key});
                         });
    }
    bool WaitFor(std::size_t count) {
        return PumpUntil([&] { return seen.size() >= count; });
    }
    std::vector<Activation> seen;
};

// A second X client, standing for another program on the same desktop.
class OtherClient {
  public:
    explicit OtherClient(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_) == 0) {
            root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
            symbols_ = xcb_key_symbols_alloc(connection_);
        }
    }
    ~OtherClient() {
        if (symbols_ != nullptr)
            xcb_key_symbols_free(symbols_);
        xcb_disconnect(connection_);
    }
    bool ok() const { return symbols_ != nullptr; }

    xcb_keycode_t F9() const {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, kSymF9);
        const xcb_keycode_t code = codes != nullptr ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    // 0 when the grab was made, otherwise the X error code (10 is BadAccess).
    int Grab(uint16_t modifiers, xcb_keycode_t code) {
        xcb_generic_error_t* error =
            xcb_request_check(connection_, xcb_grab_key_checked(connection_, 0, root_, modifiers, code,
                                                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const int result = error != nullptr ? error->error_code : 0;
        std::free(error);
        return result;
    }
    void Ungrab(uint16_t modifiers, xcb_keycode_t code) {
        xcb_request_check(connection_, xcb_ungrab_key_checked(connection_, code, root_, modifiers));
    }
    // The keyboard's modifier and lock state as the server sees it.
    uint16_t ModifierState() {
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
        const uint16_t mask = reply != nullptr ? reply->mask : 0;
        std::free(reply);
        return mask;
    }
    // Maps a window of this client and gives it the keyboard focus; when the client goes the
    // focus returns to the window under the pointer (with no focus at all, X drops key events).
    bool TakeFocus() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 200, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection_, window);
        xcb_generic_error_t* error = xcb_request_check(
            connection_,
            xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME));
        std::free(error);
        xcb_get_input_focus_reply_t* focus =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        const bool focused = focus != nullptr && focus->focus == window;
        std::free(focus);
        return error == nullptr && focused;
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_key_symbols_t* symbols_ = nullptr;
};

class GlobalHotKeyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        display_ = new VirtualDisplay;
        display_->Start();
    }
    static void TearDownTestSuite() {
        delete display_;
        display_ = nullptr;
    }
    void SetUp() override {
        App();
        ASSERT_FALSE(display_->name().empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", display_->name().c_str(), 1);
    }

    // Sends real key events with xdotool; --clearmodifiers is left out where a lock must stay on.
    static void Press(const std::string& keys, bool clearModifiers = true) {
        int status = -1;
        CommandOutput("DISPLAY=" + display_->name() + " xdotool key " +
                          (clearModifiers ? "--clearmodifiers " : "") + keys,
                      &status);
        ASSERT_EQ(status, 0) << "xdotool key " << keys;
    }

    static VirtualDisplay* display_;
};

VirtualDisplay* GlobalHotKeyTest::display_ = nullptr;

TEST_F(GlobalHotKeyTest, DeliversEachCombinationWithItsIdWhileAnotherProgramHasTheFocus) {
    OtherClient other(display_->name());
    ASSERT_TRUE(other.ok());
    ASSERT_TRUE(other.TakeFocus());
    GlobalHotKey hotKey;
    ActivationLog log(hotKey);
    ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);
    ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F10), 0);

    Press("ctrl+F10");
    Press("ctrl+F9");
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.seen[0].id, 786);
    EXPECT_EQ(log.seen[0].modifiers, Qt::ControlModifier);
    EXPECT_EQ(log.seen[0].key, Qt::Key_F10);
    EXPECT_EQ(log.seen[1].id, 786);
    EXPECT_EQ(log.seen[1].key, Qt::Key_F9);
}

TEST_F(GlobalHotKeyTest, OtherModifierMixesOfTheSameKeyAreNotDelivered) {
    GlobalHotKey hotKey;
    ActivationLog log(hotKey);
    ASSERT_EQ(hotKey.Register(1, Qt::ControlModifier, Qt::Key_F9), 0);

    Press("ctrl+shift+F9");
    Press("F9");
    Press("alt+F9");
    Press("ctrl+F8");
    // Events arrive in order: once this one is in, any of the above would have been too.
    Press("ctrl+F9");
    ASSERT_TRUE(log.WaitFor(1));
    PumpUntil([] { return false; }, 200);
    ASSERT_EQ(log.seen.size(), 1u);
    EXPECT_EQ(log.seen[0].modifiers, Qt::ControlModifier);
}

TEST_F(GlobalHotKeyTest, CapsLockAndNumLockDoNotHideTheCombination) {
    OtherClient other(display_->name());
    ASSERT_TRUE(other.ok());
    GlobalHotKey hotKey;
    ActivationLog log(hotKey);
    ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);

    // Whatever happens, the locks end off, so that later tests in this process are not affected.
    struct LocksOff {
        OtherClient& client;
        ~LocksOff() {
            const uint16_t state = client.ModifierState();
            if (state & XCB_MOD_MASK_LOCK)
                Press("Caps_Lock", false);
            if (state & XCB_MOD_MASK_2)
                Press("Num_Lock", false);
        }
    } locksOff{other};
    struct Case {
        const char* toggle;
        uint16_t state;
    };
    const Case cases[] = {{"Caps_Lock", XCB_MOD_MASK_LOCK},
                          {"Num_Lock", XCB_MOD_MASK_2},
                          {"Caps_Lock Num_Lock", XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toggle);
        const std::size_t before = log.seen.size();
        Press(c.toggle, false);
        ASSERT_EQ(other.ModifierState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), c.state);
        // Shift with the locks on must still not count as the combination.
        Press("ctrl+shift+F9", false);
        Press("ctrl+F9", false);
        ASSERT_TRUE(log.WaitFor(before + 1));
        PumpUntil([] { return false; }, 100);
        EXPECT_EQ(log.seen.size(), before + 1);
        EXPECT_EQ(log.seen.back().modifiers, Qt::ControlModifier);  // the locks are left out
        EXPECT_EQ(log.seen.back().key, Qt::Key_F9);
        Press(c.toggle, false);
        ASSERT_EQ(other.ModifierState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
    }
}

TEST_F(GlobalHotKeyTest, AltShiftAndLetterCombinationsAreDelivered) {
    GlobalHotKey hotKey;
    ActivationLog log(hotKey);
    ASSERT_EQ(hotKey.Register(5, Qt::AltModifier, Qt::Key_F1), 0);
    ASSERT_EQ(hotKey.Register(6, Qt::ShiftModifier, Qt::Key_F12), 0);
    ASSERT_EQ(hotKey.Register(7, Qt::ControlModifier, Qt::Key_S), 0);
    ASSERT_EQ(hotKey.Register(8, Qt::ControlModifier | Qt::AltModifier, Qt::Key_1), 0);

    Press("alt+F1");
    Press("shift+F12");
    Press("ctrl+s");
    Press("ctrl+alt+1");
    ASSERT_TRUE(log.WaitFor(4));
    EXPECT_EQ(log.seen[0].id, 5);
    EXPECT_EQ(log.seen[0].modifiers, Qt::AltModifier);
    EXPECT_EQ(log.seen[1].id, 6);
    EXPECT_EQ(log.seen[1].key, Qt::Key_F12);
    EXPECT_EQ(log.seen[2].id, 7);
    EXPECT_EQ(log.seen[2].key, Qt::Key_S);
    EXPECT_EQ(log.seen[3].id, 8);
    EXPECT_EQ(log.seen[3].modifiers, Qt::ControlModifier | Qt::AltModifier);
}

TEST_F(GlobalHotKeyTest, ACombinationHeldByAnotherProgramIsRefusedAndLogged) {
    TempDir dir;
    ScopedCurrentDirectory inDir(dir.path());
    ASSERT_EQ(LogOpen(), 0);
    GlobalHotKey first;
    GlobalHotKey second;
    ActivationLog firstLog(first);
    ActivationLog secondLog(second);
    ASSERT_EQ(first.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);

    EXPECT_EQ(second.Register(786, Qt::ControlModifier, Qt::Key_F9), -1);
    EXPECT_EQ(second.Register(786, Qt::ControlModifier, Qt::Key_F10), 0);  // a free one still works
    LogClose();
    const std::string text = ReadFileText(dir.file("Log/log.log"));
    EXPECT_NE(text.find("热键注册失败: Ctrl+F9, 已被其他程序占用"), std::string::npos) << text;
    EXPECT_EQ(text.find("Ctrl+F10"), std::string::npos) << text;

    Press("ctrl+F9");
    Press("ctrl+F10");
    ASSERT_TRUE(secondLog.WaitFor(1));
    PumpUntil([&] { return !firstLog.seen.empty(); });
    ASSERT_EQ(firstLog.seen.size(), 1u);
    EXPECT_EQ(firstLog.seen[0].key, Qt::Key_F9);
    ASSERT_EQ(secondLog.seen.size(), 1u);
    EXPECT_EQ(secondLog.seen[0].key, Qt::Key_F10);
}

TEST_F(GlobalHotKeyTest, AGrabRefusedWithOnlyOneLockStateHeldKeepsNothing) {
    OtherClient holder(display_->name());
    OtherClient probe(display_->name());
    ASSERT_TRUE(holder.ok() && probe.ok());
    const xcb_keycode_t f9 = holder.F9();
    ASSERT_NE(f9, 0);
    ASSERT_EQ(holder.Grab(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_2, f9), 0);

    GlobalHotKey hotKey;
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), -1);
    // The variants that were free must have been let go again.
    EXPECT_EQ(probe.Grab(XCB_MOD_MASK_CONTROL, f9), 0);
    EXPECT_EQ(probe.Grab(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK, f9), 0);
}

TEST_F(GlobalHotKeyTest, UnregisterAllAndDestructionFreeTheCombination) {
    OtherClient other(display_->name());
    ASSERT_TRUE(other.ok());
    const xcb_keycode_t f9 = other.F9();
    ASSERT_NE(f9, 0);
    const uint16_t variants[] = {XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK,
                                 XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_2,
                                 XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    {
        GlobalHotKey hotKey;
        ActivationLog log(hotKey);
        ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);
        for (const uint16_t variant : variants)
            EXPECT_EQ(other.Grab(variant, f9), XCB_ACCESS) << variant;

        hotKey.UnregisterAll();
        EXPECT_EQ(other.Grab(XCB_MOD_MASK_CONTROL, f9), 0);
        Press("ctrl+F9");
        other.Ungrab(XCB_MOD_MASK_CONTROL, f9);

        ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);
        EXPECT_EQ(other.Grab(XCB_MOD_MASK_CONTROL, f9), XCB_ACCESS);
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(log.seen.empty());  // the press went to the other client
    }
    for (const uint16_t variant : variants)
        EXPECT_EQ(other.Grab(variant, f9), 0) << variant;
}

TEST_F(GlobalHotKeyTest, RepeatedAndUnsupportedRegistrations) {
    TempDir dir;
    ScopedCurrentDirectory inDir(dir.path());
    ASSERT_EQ(LogOpen(), 0);
    GlobalHotKey hotKey;
    ActivationLog log(hotKey);
    ASSERT_EQ(hotKey.Register(1, Qt::ControlModifier, Qt::Key_F9), 0);
    EXPECT_EQ(hotKey.Register(1, Qt::ControlModifier, Qt::Key_F9), 0);
    EXPECT_EQ(hotKey.Register(2, Qt::ControlModifier, Qt::Key_F9), -1);
    EXPECT_EQ(hotKey.Register(3, Qt::ControlModifier, Qt::Key_unknown), -1);
    EXPECT_EQ(hotKey.Register(4, Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_F8), -1);
    LogClose();
    const std::string text = ReadFileText(dir.file("Log/log.log"));
    EXPECT_NE(text.find("Ctrl+F9, 已用于标识1"), std::string::npos) << text;
    EXPECT_NE(text.find("不支持的按键"), std::string::npos) << text;

    Press("ctrl+F9");
    ASSERT_TRUE(log.WaitFor(1));
    PumpUntil([] { return false; }, 200);
    ASSERT_EQ(log.seen.size(), 1u);  // one grab, one report
    EXPECT_EQ(log.seen[0].id, 1);
}

TEST_F(GlobalHotKeyTest, AHandlerMayDestroyTheObject) {
    auto* hotKey = new GlobalHotKey;
    ASSERT_EQ(hotKey->Register(786, Qt::ControlModifier, Qt::Key_F9), 0);
    bool destroyed = false;
    QObject::connect(hotKey, &GlobalHotKey::Activated, [&] {
        delete hotKey;
        destroyed = true;
    });
    // Two presses read in one go: the second must not reach the deleted object.
    Press("ctrl+F9 ctrl+F9");
    ASSERT_TRUE(PumpUntil([&] { return destroyed; }));
    PumpUntil([] { return false; }, 200);
    OtherClient other(display_->name());
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(other.Grab(XCB_MOD_MASK_CONTROL, other.F9()), 0);
}

// Without a working display.

// Saves DISPLAY and puts it back at the end of the test.
class GlobalHotKeyWithoutDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        if (const char* display = std::getenv("DISPLAY"))
            saved_ = display;
        ASSERT_EQ(LogOpen(), 0);
    }
    void TearDown() override {
        LogClose();
        if (saved_)
            ::setenv("DISPLAY", saved_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    std::string LogText() {
        LogClose();
        return ReadFileText(dir_.file("Log/log.log"));
    }

    TempDir dir_;
    ScopedCurrentDirectory inDir_{dir_.path()};
    std::optional<std::string> saved_;
};

TEST_F(GlobalHotKeyWithoutDisplayTest, NoDisplayVariableFailsAtOnce) {
    ::unsetenv("DISPLAY");
    GlobalHotKey hotKey;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), -1);
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F10), -1);
    EXPECT_LT(timer.elapsed(), 1500);  // not the two seconds given to a silent display
    hotKey.UnregisterAll();
    const std::string text = LogText();
    EXPECT_NE(text.find("热键注册失败: Ctrl+F9, 无法连接显示"), std::string::npos) << text;
    EXPECT_NE(text.find("热键注册失败: Ctrl+F10, 无法连接显示"), std::string::npos) << text;
}

TEST_F(GlobalHotKeyWithoutDisplayTest, ADisplayThatDoesNotExistFailsAtOnce) {
    int number = 0;
    ASSERT_TRUE(test::ListenOnFreeDisplay(&number).valid());
    ::setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
    GlobalHotKey hotKey;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), -1);
    EXPECT_LT(timer.elapsed(), 1500);  // not the two seconds given to a silent display
    EXPECT_NE(LogText().find("无法连接显示"), std::string::npos);
}

TEST_F(GlobalHotKeyWithoutDisplayTest, ADisplayThatNeverAnswersFailsWithinTheTimeLimit) {
    int number = 0;
    UniqueFd silent = test::ListenOnFreeDisplay(&number);
    ASSERT_TRUE(silent.valid());
    ::setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
    GlobalHotKey hotKey;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), -1);
    EXPECT_LT(timer.elapsed(), 10000);
    // The silence is remembered: the next registration does not wait again.
    timer.restart();
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F10), -1);
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_NE(LogText().find("热键注册失败: Ctrl+F9, 显示无响应"), std::string::npos);
}

TEST_F(GlobalHotKeyWithoutDisplayTest, LosingTheDisplayIsLoggedAndHarmless) {
    auto display = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(display->Start());
    ::setenv("DISPLAY", display->name().c_str(), 1);
    GlobalHotKey hotKey;
    ASSERT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F9), 0);
    display.reset();  // the server ends

    PumpUntil([&] {
        return ReadFileText(dir_.file("Log/log.log")).find("热键与显示的连接已断开") != std::string::npos;
    });
    EXPECT_EQ(hotKey.Register(786, Qt::ControlModifier, Qt::Key_F10), -1);
    hotKey.UnregisterAll();
    const std::string text = LogText();
    EXPECT_NE(text.find("热键与显示的连接已断开"), std::string::npos) << text;
    EXPECT_NE(text.find("Ctrl+F10, 无法连接显示"), std::string::npos) << text;
}

}  // namespace
}  // namespace qarv
