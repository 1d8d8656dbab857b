#include "recorder/recording/qarv_record_properties.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace qarv {
namespace {

TEST(QarvRecordPropertiesTest, NewRecordHasTheDefaults) {
    const QarvRecordProperties properties;
    EXPECT_EQ(properties.Title, "");
    EXPECT_EQ(properties.Format, "flv");
    EXPECT_FALSE(properties.TimedRecording);
    EXPECT_EQ(properties.TimedMinutes, 0);
    EXPECT_EQ(properties.FrameRate, 10);
    EXPECT_EQ(properties.VideoBitRate, 200000);
    EXPECT_EQ(properties.GopSize, 50);
    EXPECT_FALSE(properties.RecordMicrophone);
    EXPECT_TRUE(properties.RecordSystemSound);
    EXPECT_EQ(properties.SampleRate, 22050);
}

TEST(QarvRecordPropertiesTest, FrameRateTexts) {
    EXPECT_EQ(FrameRateFromText("5fps"), 5);
    EXPECT_EQ(FrameRateFromText("10fps"), 10);
    EXPECT_EQ(FrameRateFromText("15fps"), 15);
    EXPECT_EQ(FrameRateFromText("20fps"), 20);
    EXPECT_EQ(FrameRateFromText("25fps"), 25);
    EXPECT_EQ(FrameRateFromText("30fps"), 30);
    // Anything else, including near misses in case or spacing, gives 10.
    EXPECT_EQ(FrameRateFromText("12fps"), 10);
    EXPECT_EQ(FrameRateFromText("30FPS"), 10);
    EXPECT_EQ(FrameRateFromText("30fps "), 10);
    EXPECT_EQ(FrameRateFromText("30"), 10);
    EXPECT_EQ(FrameRateFromText(""), 10);
}

TEST(QarvRecordPropertiesTest, SampleRateTexts) {
    EXPECT_EQ(SampleRateFromText("11025HZ"), 11025);
    EXPECT_EQ(SampleRateFromText("22050HZ"), 22050);
    EXPECT_EQ(SampleRateFromText("44100HZ"), 44100);
    EXPECT_EQ(SampleRateFromText("44100Hz"), 22050);
    EXPECT_EQ(SampleRateFromText("48000HZ"), 22050);
    EXPECT_EQ(SampleRateFromText(""), 22050);
}

TEST(QarvRecordPropertiesTest, BitRateTexts) {
    EXPECT_EQ(BitRateFromText("100KB"), 100000);
    EXPECT_EQ(BitRateFromText("200KB"), 200000);
    EXPECT_EQ(BitRateFromText("300KB"), 300000);
    EXPECT_EQ(BitRateFromText("400KB"), 400000);
    EXPECT_EQ(BitRateFromText("500KB"), 500000);
    EXPECT_EQ(BitRateFromText("800KB"), 800000);
    EXPECT_EQ(BitRateFromText("1000KB"), 1000000);
    EXPECT_EQ(BitRateFromText("600KB"), 300000);
    EXPECT_EQ(BitRateFromText("100kb"), 300000);
    EXPECT_EQ(BitRateFromText(""), 300000);
}

struct Resolution {
    int result;
    std::uint32_t width;
    std::uint32_t height;
    bool operator==(const Resolution&) const = default;
};

// Parses with both outputs preset to 7, so that "nothing set" shows.
Resolution Parse(const std::string& text) {
    Resolution r{0, 7, 7};
    r.result = ParseResolution(text, r.width, r.height);
    return r;
}

TEST(QarvRecordPropertiesTest, ParseResolutionReadsTheOfferedSizes) {
    EXPECT_EQ(Parse("1920*1080"), (Resolution{0, 1920, 1080}));
    EXPECT_EQ(Parse("1280*720"), (Resolution{0, 1280, 720}));
    EXPECT_EQ(Parse("352*288"), (Resolution{0, 352, 288}));
}

TEST(QarvRecordPropertiesTest, ParseResolutionFailsWithoutStarOrWithNothingAfterIt) {
    EXPECT_EQ(Parse("1280x720"), (Resolution{-1, 7, 7}));
    EXPECT_EQ(Parse("1280*"), (Resolution{-1, 7, 7}));
    EXPECT_EQ(Parse("*"), (Resolution{-1, 7, 7}));
    EXPECT_EQ(Parse(""), (Resolution{-1, 7, 7}));
}

TEST(QarvRecordPropertiesTest, ParseResolutionReadsEachSideAsAtoi) {
    // Leading blanks and a sign, digits up to the first non-digit, 0 without digits.
    EXPECT_EQ(Parse("  800 *600px"), (Resolution{0, 800, 600}));
    EXPECT_EQ(Parse("*720"), (Resolution{0, 0, 720}));
    EXPECT_EQ(Parse("abc*def"), (Resolution{0, 0, 0}));
    EXPECT_EQ(Parse("+64*+48"), (Resolution{0, 64, 48}));
    // The width ends at the first star; the rest is the height's text.
    EXPECT_EQ(Parse("2*3*4"), (Resolution{0, 2, 3}));
    // A negative side keeps the bit pattern of the negative number.
    EXPECT_EQ(Parse(" -3*abc"), (Resolution{0, static_cast<std::uint32_t>(-3), 0}));
    // Numbers past the range of int are clamped, not undefined.
    EXPECT_EQ(Parse("99999999999*1"), (Resolution{0, 2147483647u, 1}));
}

}  // namespace
}  // namespace qarv
