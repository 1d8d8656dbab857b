// Real recordings: the built capturer runs the system's ffmpeg against a private X server
// (Xvfb) and, where sound is needed, a private PulseAudio server, with the command lines the
// recorder builds. The files are checked with ffprobe/ffmpeg.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/capturer/capturer_process.h"
#include "tests/capturer/media_facts.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv::test {
namespace {

using Clock = std::chrono::steady_clock;

// A recording as the recorder page sets it up.
struct Recording {
    std::string format = "flv";
    int frameRate = 20;
    int bitRate = 300000;
    int sampleRate = 22050;
    bool systemSound = true;
    std::string microphone;  // empty: no microphone
    int limitSeconds = 0;    // 0: no time limit
    std::string size = "640*480";
};

// The command line in the recorder's templates (system sound on), and its variants for the
// microphone alone and for no sound, in the same order and style.
std::string CommandLine(const Recording& r, const std::string& output) {
    const bool mic = !r.microphone.empty();
    std::string line = " -f dshow -framerate " + std::to_string(r.frameRate) +
                       " -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main";
    if (r.systemSound)
        line += " -f dshow -i audio=virtual-audio-capturer";
    if (mic)
        line += " -f dshow -i audio=\"" + r.microphone + "\"";
    if (r.systemSound && mic)
        line += " -filter_complex amix=inputs=2:duration=first";
    line +=
        " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 "
        "-tune "
        "zerolatency -g 50 -r " +
        std::to_string(r.frameRate) + " -b:v " + std::to_string(r.bitRate);
    if (r.systemSound || mic)
        line += " -ar " + std::to_string(r.sampleRate);
    const std::string limit = r.limitSeconds > 0 ? " -t " + std::to_string(r.limitSeconds) : "";
    if (mic)
        line += limit + " -s " + r.size;
    else
        line += " -s " + r.size + limit;
    return line + " -y \"" + output + "\"";
}

class CapturerEndToEndTest : public ::testing::Test {
  protected:
    static constexpr int kScreenWidth = 640;
    static constexpr int kScreenHeight = 480;

    void SetUp() override {
        ASSERT_TRUE(display_.Start(kScreenWidth, kScreenHeight)) << "Xvfb did not start";
        // The installation directory: the capturer runs in it and finds Icon/logo.png there.
        std::filesystem::create_directories(install_.file("Icon"));
        std::filesystem::create_directories(install_.file("Video"));
        std::filesystem::copy_file(QARV_LOGO_PNG, install_.file("Icon/logo.png"));
    }

    void StartSoundServer(bool keepAwake = true) {
        if (!pulse_.Start(keepAwake))
            GTEST_SKIP() << "no private PulseAudio server: " << pulse_.error();
    }

    std::vector<std::string> Environment(bool soundServer = true) const {
        return {"DISPLAY=" + display_.name(),
                "PULSE_SERVER=" + (soundServer ? pulse_.server() : "unix:" + install_.file("no-server"))};
    }

    std::string Output(const std::string& format) const { return install_.file("Video/0." + format); }

    bool Start(const std::string& commandLine, bool soundServer = true) {
        return capturer_.StartCapturer(commandLine, install_.path(), Environment(soundServer), Stderr());
    }

    std::string Stderr() const { return install_.file("capturer.log"); }

    // Stops a running recording as the recorder does (SIGTERM) and waits for the end.
    int StopAfter(int milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        const auto sent = Clock::now();
        capturer_.Signal(SIGTERM);
        const int code = capturer_.Wait(10000);
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(3)) << "the recording did not end promptly";
        return code;
    }

    static void ExpectVideo(const MediaFacts& facts, int width, int height, int frameRate) {
        const StreamFacts* video = facts.Find("video");
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->codec, "h264");
        EXPECT_EQ(video->width, width);
        EXPECT_EQ(video->height, height);
        EXPECT_NEAR(video->frameRate, frameRate, 0.01);
    }

    static void ExpectSound(const MediaFacts& facts, const std::string& codec, int sampleRate) {
        ASSERT_EQ(facts.Count("audio"), 1);
        EXPECT_EQ(facts.Find("audio")->codec, codec);
        EXPECT_EQ(facts.Find("audio")->sampleRate, sampleRate);
    }

    VirtualDisplay display_;
    PulseServer pulse_;
    TempDir install_;
    CapturerProcess capturer_;
};

TEST_F(CapturerEndToEndTest, FlvWithSystemSoundStopsCleanlyAndCarriesTheLogo) {
    StartSoundServer();
    ASSERT_TRUE(pulse_.PlayTone(1000));
    ASSERT_TRUE(Start(CommandLine(Recording{}, Output("flv"))));
    // ffmpeg exits with 255 after a stop signal, having finished the file.
    EXPECT_EQ(StopAfter(3500), 255) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("flv"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(facts, 640, 480, 20);
    ExpectSound(facts, "mp3", 22050);
    EXPECT_GT(facts.duration, 2.5);
    EXPECT_LT(facts.duration, 4.0);
    EXPECT_GT(SoundLevel(Output("flv")), 0.03) << "the tone played to the speakers is missing";

    // The logo's red dot sits 10 px from the top right corner (logo 120x40: dot at 20,20).
    const Picture picture = DecodePicture(Output("flv"), 1.0, 640, 480);
    ASSERT_EQ(picture.width, 640);
    double r, g, b;
    picture.Average(640 - 10 - 120 + 18, 10 + 18, 5, 5, r, g, b);
    EXPECT_GT(r, 150);
    EXPECT_LT(g, 110);
    EXPECT_LT(b, 110);
    picture.Average(20, 200, 40, 40, r, g, b);  // elsewhere the empty screen
    EXPECT_LT(r, 60);
}

TEST_F(CapturerEndToEndTest, TimedMpegWithMicrophoneEndsByItself) {
    StartSoundServer();
    std::string feed;
    ASSERT_FALSE(pulse_.AddMicrophone("麦克风 (USB Audio)", feed).empty());
    ASSERT_TRUE(pulse_.PlayTone(700, feed));  // only the microphone hears it
    Recording recording;
    recording.format = "mpeg";
    recording.frameRate = 15;
    recording.sampleRate = 11025;
    recording.microphone = "麦克风 (USB Audio)";
    recording.limitSeconds = 2;
    recording.size = "352*288";
    ASSERT_TRUE(Start(CommandLine(recording, Output("mpeg"))));
    EXPECT_EQ(capturer_.Wait(15000), 0) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("mpeg"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(facts, 352, 288, 15);
    ExpectSound(facts, "mp3", 11025);
    EXPECT_GT(facts.duration, 1.7);
    EXPECT_LT(facts.duration, 2.7);
    EXPECT_GT(SoundLevel(Output("mpeg")), 0.02) << "the microphone is not in the mix";
}

TEST_F(CapturerEndToEndTest, TimedTsWithoutSoundServerRecordsSilence) {
    Recording recording;
    recording.format = "ts";
    recording.frameRate = 10;
    recording.sampleRate = 44100;
    recording.limitSeconds = 2;
    recording.size = "1024*768";
    ASSERT_TRUE(Start(CommandLine(recording, Output("ts")), false));
    EXPECT_EQ(capturer_.Wait(15000), 0) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("ts"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(facts, 1024, 768, 10);
    ExpectSound(facts, "mp3", 44100);
    EXPECT_GT(facts.duration, 1.7);
    EXPECT_LT(facts.duration, 2.7);
    EXPECT_LT(SoundLevel(Output("ts")), 0.001);
    EXPECT_NE(ReadFileText(Stderr()).find("no sound server; recording silence in place of the system sound"),
              std::string::npos);
}

TEST_F(CapturerEndToEndTest, TimedMtsWithTheMicrophoneAloneLeavesSystemSoundOut) {
    StartSoundServer();
    std::string feed;
    ASSERT_FALSE(pulse_.AddMicrophone("Desk Microphone", feed).empty());
    ASSERT_TRUE(pulse_.PlayTone(1000));  // system sound only; it must not be recorded
    Recording recording;
    recording.format = "mts";
    recording.frameRate = 25;
    recording.sampleRate = 11025;
    recording.systemSound = false;
    recording.microphone = "Desk Microphone";
    recording.limitSeconds = 2;
    recording.size = "800*600";
    ASSERT_TRUE(Start(CommandLine(recording, Output("mts"))));
    EXPECT_EQ(capturer_.Wait(15000), 0) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("mts"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(facts, 800, 600, 25);
    ExpectSound(facts, "mp3", 11025);
    EXPECT_LT(SoundLevel(Output("mts")), 0.005);
}

TEST_F(CapturerEndToEndTest, TimedFlvWithoutSoundHasNoSoundStream) {
    Recording recording;
    recording.systemSound = false;
    recording.frameRate = 30;
    recording.bitRate = 1000000;
    recording.limitSeconds = 2;
    recording.size = "1920*1080";
    ASSERT_TRUE(Start(CommandLine(recording, Output("flv")), false));
    EXPECT_EQ(capturer_.Wait(15000), 0) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("flv"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(facts, 1920, 1080, 30);
    EXPECT_EQ(facts.Count("audio"), 0);
    EXPECT_GT(facts.duration, 1.7);
    EXPECT_LT(facts.duration, 2.7);
}

TEST_F(CapturerEndToEndTest, KilledCapturerLeavesAReadableFileAndNoEncoder) {
    Recording recording;
    recording.sampleRate = 11025;
    ASSERT_TRUE(Start(CommandLine(recording, Output("flv")), false));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const std::vector<pid_t> children = ChildrenOf(capturer_.pid());
    ASSERT_EQ(children.size(), 1u) << ReadFileText(Stderr());
    const pid_t encoder = children[0];

    capturer_.Signal(SIGKILL);
    EXPECT_EQ(capturer_.Wait(5000), 128 + SIGKILL);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (ProcessAlive(encoder) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ProcessAlive(encoder)) << "ffmpeg outlived the capturer";

    const MediaFacts facts = ProbeMedia(Output("flv"));
    ASSERT_TRUE(facts.readable);
    ExpectVideo(facts, 640, 480, 20);
    ExpectSound(facts, "mp3", 11025);
    EXPECT_GT(facts.duration, 1.5);
}

// A sink that has been idle answers a new recording only after up to two seconds. The
// picture must still be recorded without gaps from the moment the recording starts.
TEST_F(CapturerEndToEndTest, SlowSoundStartDoesNotStallThePicture) {
    StartSoundServer(false);
    ASSERT_TRUE(Start(CommandLine(Recording{}, Output("flv"))));
    EXPECT_EQ(StopAfter(5000), 255);

    const std::vector<double> times = VideoPacketTimes(Output("flv"));
    ASSERT_GT(times.size(), 10u) << ReadFileText(Stderr());
    double largestGap = 0;
    for (std::size_t i = 2; i < times.size(); ++i)  // the first frame is grabbed while opening
        largestGap = std::max(largestGap, times[i] - times[i - 1]);
    EXPECT_LT(largestGap, 0.3);
    const double span = times.back() - times[1];
    EXPECT_GT(span, 1.5);
    EXPECT_GE(static_cast<double>(times.size() - 1), 0.9 * 20 * span);
    const MediaFacts facts = ProbeMedia(Output("flv"));
    EXPECT_GT(times.back(), facts.duration - 0.5) << "the picture ends before the sound";
}

TEST_F(CapturerEndToEndTest, ThumbnailIsTakenAtTheRequestedSecond) {
    // Ten seconds: red for five, then blue.
    const std::string video = install_.file("Video/clip.flv");
    CapturerProcess maker;
    ASSERT_TRUE(
        maker.Start("/usr/bin/ffmpeg",
                    {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                     "color=c=red:s=320x240:r=10:d=5[a];color=c=blue:s=320x240:r=10:d=5[b];[a][b]concat",
                     "-c:v", "libx264", "-g", "50", "-y", video},
                    install_.path(), {}, install_.file("maker.log")));
    ASSERT_EQ(maker.Wait(30000), 0) << ReadFileText(install_.file("maker.log"));

    for (const int second : {8, 2}) {
        const std::string jpeg = install_.file("Video/clip_" + std::to_string(second) + ".jpeg");
        const auto started = Clock::now();
        ASSERT_TRUE(Start(" -i \"" + video + "\" -f image2 -ss " + std::to_string(second) +
                              " -vframes 1 -s 800*600 -y \"" + jpeg + "\"",
                          false));
        EXPECT_EQ(capturer_.Wait(3000), 0) << ReadFileText(Stderr());
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
        const MediaFacts facts = ProbeMedia(jpeg);
        ASSERT_TRUE(facts.readable);
        EXPECT_EQ(facts.Find("video")->codec, "mjpeg");
        EXPECT_EQ(facts.Find("video")->width, 800);
        EXPECT_EQ(facts.Find("video")->height, 600);
        const Picture picture = DecodePicture(jpeg, 0, 800, 600);
        ASSERT_EQ(picture.width, 800);
        double r, g, b;
        picture.Average(300, 200, 200, 200, r, g, b);
        if (second == 8) {
            EXPECT_GT(b, 150);
            EXPECT_LT(r, 80);
        } else {
            EXPECT_GT(r, 150);
            EXPECT_LT(b, 80);
        }
    }
}

}  // namespace
}  // namespace qarv::test
