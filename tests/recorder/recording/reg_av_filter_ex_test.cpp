#include "recorder/recording/reg_av_filter_ex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/file_util.h"
#include "tests/support/silent_display.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

constexpr const char kVideoModule[] = "screen-capture-recorder.dll";
constexpr const char kAudioModule[] = "virtual-audio-capturer.dll";

// Sets DISPLAY (or removes it, for nullopt) for the life of the object.
class ScopedDisplay {
  public:
    explicit ScopedDisplay(const std::optional<std::string>& display) {
        if (const char* old = std::getenv("DISPLAY"))
            previous_ = old;
        if (display)
            ::setenv("DISPLAY", display->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    ~ScopedDisplay() {
        if (previous_)
            ::setenv("DISPLAY", previous_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    ScopedDisplay(const ScopedDisplay&) = delete;
    ScopedDisplay& operator=(const ScopedDisplay&) = delete;

  private:
    std::optional<std::string> previous_;
};

void ExpectUnregistered(const RegAVFilterEx& filters) {
    EXPECT_FALSE(filters.IsRegistered());
    EXPECT_EQ(filters.GetVideoDeviceName(), "");
    EXPECT_EQ(filters.GetAudioDeviceName(), "");
}

class RegAVFilterExTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(display_.Start(320, 240)) << "Xvfb did not start"; }

    test::VirtualDisplay display_;
};

TEST_F(RegAVFilterExTest, RegistersBothDevicesWithADisplay) {
    ScopedDisplay scoped(display_.name());
    RegAVFilterEx filters;
    ExpectUnregistered(filters);
    EXPECT_TRUE(filters.RegisterFilters(kVideoModule, kAudioModule));
    EXPECT_TRUE(filters.IsRegistered());
    EXPECT_EQ(filters.GetVideoDeviceName(), "screen-capture-recorder");
    EXPECT_EQ(filters.GetAudioDeviceName(), "virtual-audio-capturer");
}

TEST_F(RegAVFilterExTest, SoundServerIsNotNeeded) {
    ScopedDisplay scoped(display_.name());
    const char* old = std::getenv("PULSE_SERVER");
    const std::string previous = old != nullptr ? old : "";
    ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-pulse-socket", 1);
    RegAVFilterEx filters;
    EXPECT_TRUE(filters.RegisterFilters(kVideoModule, kAudioModule));
    if (old != nullptr)
        ::setenv("PULSE_SERVER", previous.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}

TEST_F(RegAVFilterExTest, ModuleNamesMustNameTheDevicesOfTheirRoles) {
    ScopedDisplay scoped(display_.name());
    RegAVFilterEx filters;
    // No '.', an empty stem, an unknown device, or the two roles swapped.
    EXPECT_FALSE(filters.RegisterFilters("screen-capture-recorder", kAudioModule));
    ExpectUnregistered(filters);
    EXPECT_FALSE(filters.RegisterFilters(kVideoModule, ".dll"));
    ExpectUnregistered(filters);
    EXPECT_FALSE(filters.RegisterFilters("other-recorder.dll", kAudioModule));
    ExpectUnregistered(filters);
    EXPECT_FALSE(filters.RegisterFilters(kAudioModule, kVideoModule));
    ExpectUnregistered(filters);
    // Another extension names the same device.
    EXPECT_TRUE(filters.RegisterFilters("screen-capture-recorder.so", "virtual-audio-capturer.so"));
}

TEST_F(RegAVFilterExTest, FailsWithoutADisplay) {
    RegAVFilterEx filters;
    {
        ScopedDisplay scoped(std::nullopt);
        EXPECT_FALSE(filters.RegisterFilters(kVideoModule, kAudioModule));
        ExpectUnregistered(filters);
    }
    {
        ScopedDisplay scoped(std::string{});
        EXPECT_FALSE(filters.RegisterFilters(kVideoModule, kAudioModule));
        ExpectUnregistered(filters);
    }
}

TEST_F(RegAVFilterExTest, FailsWithADeadDisplayAndForgetsAnEarlierSuccess) {
    RegAVFilterEx filters;
    {
        ScopedDisplay scoped(display_.name());
        ASSERT_TRUE(filters.RegisterFilters(kVideoModule, kAudioModule));
    }
    // A display number no server listens on.
    ScopedDisplay scoped(std::string(":4999"));
    EXPECT_FALSE(filters.RegisterFilters(kVideoModule, kAudioModule));
    ExpectUnregistered(filters);
}

TEST_F(RegAVFilterExTest, DisplayThatNeverAnswersFailsWithinTheTimeLimit) {
    int number = 0;
    const UniqueFd silent = test::ListenOnFreeDisplay(&number);
    ASSERT_TRUE(silent.valid());
    ScopedDisplay scoped(":" + std::to_string(number));
    RegAVFilterEx filters;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(filters.RegisterFilters(kVideoModule, kAudioModule));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    ExpectUnregistered(filters);
}

TEST(RegAVFilterExInstanceTest, InstanceIsShared) {
    EXPECT_EQ(RegAVFilterEx::Instance(), RegAVFilterEx::Instance());
    EXPECT_NE(RegAVFilterEx::Instance(), nullptr);
}

}  // namespace
}  // namespace qarv
