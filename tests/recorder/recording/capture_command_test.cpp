#include "recorder/recording/capture_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common/command_line.h"

namespace qarv {
namespace {

// The four command templates, written as the printf formats the encoder's command lines
// were first defined with.
constexpr const char kMicrophoneTemplate[] =
    R"( -f dshow -framerate %d -i video=%s -pix_fmt yuv420p -vprofile main -f dshow -i audio=%s -f dshow -i audio="%s" -filter_complex amix=inputs=2:duration=first -i Icon\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency -g %d -r %d -b:v %d -ar %d -s %d*%d -y "%s")";
constexpr const char kMicrophoneTimedTemplate[] =
    R"( -f dshow -framerate %d -i video=%s -pix_fmt yuv420p -vprofile main -f dshow -i audio=%s -f dshow -i audio="%s" -filter_complex amix=inputs=2:duration=first -i Icon\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency -g %d -r %d -b:v %d -ar %d -t %d -s %d*%d -y "%s")";
constexpr const char kNoMicrophoneTemplate[] =
    R"( -f dshow -framerate %d -i video=%s -pix_fmt yuv420p -vprofile main -f dshow -i audio=%s -i Icon\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency -g %d -r %d -b:v %d -ar %d -s %d*%d -y "%s")";
constexpr const char kNoMicrophoneTimedTemplate[] =
    R"( -f dshow -framerate %d -i video=%s -pix_fmt yuv420p -vprofile main -f dshow -i audio=%s -i Icon\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency -g %d -r %d -b:v %d -ar %d -s %d*%d -t %d -y "%s")";

constexpr const char kV[] = "screen-capture-recorder";
constexpr const char kA[] = "virtual-audio-capturer";
constexpr const char kM[] = "麦克风 (Realtek High Definition Audio)";
constexpr const char kP[] = "/inst/Video/2014_9_9/0.flv";

template <typename... Args>
std::string Format(const char* format, Args... args) {
    std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, args...)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

class CaptureCommandTest : public ::testing::Test {
  protected:
    CaptureCommandTest() {
        properties.FrameRate = 20;
        properties.GopSize = 50;
        properties.VideoBitRate = 300000;
        properties.SampleRate = 22050;
        properties.Width = 1280;
        properties.Height = 720;
        properties.TimedMinutes = 10;
        devices.video = kV;
        devices.audio = kA;
        devices.microphoneFound = true;
        devices.microphone = kM;
    }

    std::string Build() const { return BuildCaptureCommand(properties, devices, kP); }

    QarvRecordProperties properties;
    CaptureDevices devices;
};

TEST_F(CaptureCommandTest, MicrophoneWithoutLimitIsTheFirstTemplate) {
    properties.RecordMicrophone = true;
    EXPECT_EQ(Build(), Format(kMicrophoneTemplate, 20, kV, kA, kM, 50, 20, 300000, 22050, 1280, 720, kP));
    // The same, spelt out once.
    EXPECT_EQ(Build(),
              " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
              " -f dshow -i audio=virtual-audio-capturer"
              " -f dshow -i audio=\"麦克风 (Realtek High Definition Audio)\""
              " -filter_complex amix=inputs=2:duration=first -i Icon\\logo.png"
              " -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264"
              " -tune zerolatency -g 50 -r 20 -b:v 300000 -ar 22050 -s 1280*720"
              " -y \"/inst/Video/2014_9_9/0.flv\"");
}

TEST_F(CaptureCommandTest, MicrophoneWithLimitIsTheSecondTemplate) {
    properties.RecordMicrophone = true;
    properties.TimedRecording = true;
    EXPECT_EQ(Build(),
              Format(kMicrophoneTimedTemplate, 20, kV, kA, kM, 50, 20, 300000, 22050, 600, 1280, 720, kP));
}

TEST_F(CaptureCommandTest, NoMicrophoneWithoutLimitIsTheThirdTemplate) {
    EXPECT_EQ(Build(), Format(kNoMicrophoneTemplate, 20, kV, kA, 50, 20, 300000, 22050, 1280, 720, kP));
}

TEST_F(CaptureCommandTest, NoMicrophoneWithLimitIsTheFourthTemplate) {
    properties.TimedRecording = true;
    EXPECT_EQ(Build(),
              Format(kNoMicrophoneTimedTemplate, 20, kV, kA, 50, 20, 300000, 22050, 1280, 720, 600, kP));
    EXPECT_NE(Build().find(" -s 1280*720 -t 600 -y "), std::string::npos);
}

TEST_F(CaptureCommandTest, MicrophoneBoxWithoutDeviceUsesTheTemplatesWithoutMicrophone) {
    properties.RecordMicrophone = true;
    devices.microphoneFound = false;
    EXPECT_EQ(Build(), Format(kNoMicrophoneTemplate, 20, kV, kA, 50, 20, 300000, 22050, 1280, 720, kP));
    properties.TimedRecording = true;
    EXPECT_EQ(Build(),
              Format(kNoMicrophoneTimedTemplate, 20, kV, kA, 50, 20, 300000, 22050, 1280, 720, 600, kP));
}

TEST_F(CaptureCommandTest, UnregisteredDevicesLeaveTheNamesEmpty) {
    devices.video.clear();
    devices.audio.clear();
    EXPECT_EQ(Build(), Format(kNoMicrophoneTemplate, 20, "", "", 50, 20, 300000, 22050, 1280, 720, kP));
}

TEST_F(CaptureCommandTest, MicrophoneAloneHasOneSoundInputAndNoMix) {
    properties.RecordMicrophone = true;
    properties.RecordSystemSound = false;
    EXPECT_EQ(Build(),
              " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
              " -f dshow -i audio=\"麦克风 (Realtek High Definition Audio)\""
              " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none"
              " -c:v libx264 -tune zerolatency -g 50 -r 20 -b:v 300000 -ar 22050 -s 1280*720"
              " -y \"/inst/Video/2014_9_9/0.flv\"");
    properties.TimedRecording = true;
    EXPECT_EQ(Build(),
              " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
              " -f dshow -i audio=\"麦克风 (Realtek High Definition Audio)\""
              " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none"
              " -c:v libx264 -tune zerolatency -g 50 -r 20 -b:v 300000 -ar 22050 -s 1280*720 -t 600"
              " -y \"/inst/Video/2014_9_9/0.flv\"");
}

TEST_F(CaptureCommandTest, NoSoundHasNoSoundInputAndNoSampleRate) {
    const std::string untimed =
        " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
        " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none"
        " -c:v libx264 -tune zerolatency -g 50 -r 20 -b:v 300000 -s 1280*720"
        " -y \"/inst/Video/2014_9_9/0.flv\"";
    const std::string timed =
        " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
        " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none"
        " -c:v libx264 -tune zerolatency -g 50 -r 20 -b:v 300000 -s 1280*720 -t 600"
        " -y \"/inst/Video/2014_9_9/0.flv\"";
    // Both boxes off: the page then sets the sample rate to 0, which must not reach "-ar".
    properties.RecordSystemSound = false;
    properties.SampleRate = 0;
    EXPECT_EQ(Build(), untimed);
    // The microphone box on, but no microphone exists.
    properties.RecordMicrophone = true;
    devices.microphoneFound = false;
    EXPECT_EQ(Build(), untimed);
    properties.TimedRecording = true;
    EXPECT_EQ(Build(), timed);
}

TEST_F(CaptureCommandTest, ZeroOrNegativeLimitBuildsTheUntimedCommand) {
    properties.TimedRecording = true;
    properties.TimedMinutes = 0;
    EXPECT_EQ(Build(), Format(kNoMicrophoneTemplate, 20, kV, kA, 50, 20, 300000, 22050, 1280, 720, kP));
    properties.TimedMinutes = -5;
    properties.RecordMicrophone = true;
    EXPECT_EQ(Build(), Format(kMicrophoneTemplate, 20, kV, kA, kM, 50, 20, 300000, 22050, 1280, 720, kP));
    // The record keeps its values.
    EXPECT_TRUE(properties.TimedRecording);
    EXPECT_EQ(properties.TimedMinutes, -5);
}

TEST_F(CaptureCommandTest, LimitIsMinutesTimesSixtyWithoutOverflow) {
    properties.TimedRecording = true;
    properties.TimedMinutes = 1;
    EXPECT_NE(Build().find(" -s 1280*720 -t 60 -y "), std::string::npos);
    properties.TimedMinutes = 2147483647;
    EXPECT_NE(Build().find(" -t 128849018820 -y "), std::string::npos);
}

TEST_F(CaptureCommandTest, LongPathIsNeverCut) {
    std::string path = "/inst/Video/2014_9_9/";
    path.append(2000 - path.size() - 4, 'd');
    path += ".flv";
    ASSERT_EQ(path.size(), 2000u);
    properties.RecordMicrophone = true;
    properties.TimedRecording = true;
    const std::string command = BuildCaptureCommand(properties, devices, path);
    EXPECT_EQ(command, Format(kMicrophoneTimedTemplate, 20, kV, kA, kM, 50, 20, 300000, 22050, 600, 1280, 720,
                              path.c_str()));
    EXPECT_EQ(command.substr(command.size() - path.size() - 2), "\"" + path + "\"");
}

TEST_F(CaptureCommandTest, QuotedNamesSurviveTheCommandLineSplit) {
    // The encoder splits its command line by the Windows rules; a quote or a trailing
    // backslash in a quoted name must not end the argument early.
    properties.RecordMicrophone = true;
    devices.microphone = R"(Mic "Pro" \ 2\)";
    const std::string path = R"(/home/u "x"/Video/2014_9_9/0.flv)";
    const std::vector<std::string> args = SplitCommandLine(BuildCaptureCommand(properties, devices, path));
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args.back(), path);
    EXPECT_EQ(args[args.size() - 2], "-y");
    bool foundMicrophone = false;
    for (const std::string& arg : args)
        foundMicrophone = foundMicrophone || arg == "audio=" + devices.microphone;
    EXPECT_TRUE(foundMicrophone);
}

TEST_F(CaptureCommandTest, TemplateArgumentsSplitAsIntended) {
    properties.RecordMicrophone = true;
    const std::vector<std::string> args = SplitCommandLine(Build());
    const std::vector<std::string> expected = {"",
                                               "-f",
                                               "dshow",
                                               "-framerate",
                                               "20",
                                               "-i",
                                               "video=screen-capture-recorder",
                                               "-pix_fmt",
                                               "yuv420p",
                                               "-vprofile",
                                               "main",
                                               "-f",
                                               "dshow",
                                               "-i",
                                               "audio=virtual-audio-capturer",
                                               "-f",
                                               "dshow",
                                               "-i",
                                               std::string("audio=") + kM,
                                               "-filter_complex",
                                               "amix=inputs=2:duration=first",
                                               "-i",
                                               "Icon\\logo.png",
                                               "-filter_complex",
                                               "overlay=main_w-overlay_w-10:10",
                                               "-b-pyramid",
                                               "none",
                                               "-c:v",
                                               "libx264",
                                               "-tune",
                                               "zerolatency",
                                               "-g",
                                               "50",
                                               "-r",
                                               "20",
                                               "-b:v",
                                               "300000",
                                               "-ar",
                                               "22050",
                                               "-s",
                                               "1280*720",
                                               "-y",
                                               kP};
    EXPECT_EQ(args, expected);
}

TEST(CaptureOutputTest, FileNames) {
    EXPECT_EQ(VideoFileName("3", "flv"), "3.flv");
    EXPECT_EQ(VideoFileName("0", "mts"), "0.mts");
    EXPECT_EQ("/inst/Video/2014_9_9/" + VideoFileName("0", "flv"), kP);
}

}  // namespace
}  // namespace qarv
