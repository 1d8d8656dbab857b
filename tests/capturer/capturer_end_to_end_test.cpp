// Real recordings: the built capturer runs the system's ffmpeg against a private X server
// (Xvfb) and, where sound is needed, a private PulseAudio server, with the command lines the
// recorder builds. The files are checked with ffprobe/ffmpeg.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/capturer/capturer_process.h"
#include "tests/capturer/flash_and_click.h"
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
    // A two-second timed recording ends by itself well within this, even on a busy machine.
    static constexpr int kTimedEndMs = 60000;
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

    // ffmpeg creates its output once every input is open, just before the first frame.
    bool WaitUntilRecording(const std::string& output) const {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(output)) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // Lets a running recording go on for `milliseconds` once it records, then stops it as the
    // recorder does (SIGTERM) and waits for the end.
    int RecordFor(const std::string& output, int milliseconds) {
        EXPECT_TRUE(WaitUntilRecording(output)) << ReadFileText(Stderr());
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        const auto sent = Clock::now();
        capturer_.Signal(SIGTERM);
        const int code = capturer_.Wait(30000);
        // Past the adapter's three seconds of grace the encoder is killed, its file unfinished.
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(3)) << "the recording did not end promptly";
        return code;
    }

    // The picture as played: codec, size, the frames at the recording's rate, and its length
    // within [minSeconds, maxSeconds].
    static DecodedVideo ExpectVideo(const std::string& path, int width, int height, int frameRate,
                                    double minSeconds, double maxSeconds) {
        const MediaFacts facts = ProbeMedia(path);
        const StreamFacts* stream = facts.Find("video");
        EXPECT_NE(stream, nullptr);
        EXPECT_EQ(stream != nullptr ? stream->codec : "", "h264");
        const DecodedVideo video = DecodeVideo(path);
        EXPECT_EQ(video.width, width);
        EXPECT_EQ(video.height, height);
        EXPECT_NEAR(video.FrameRate(), frameRate, 0.02 * frameRate) << video.frames() << " frames";
        // Every frame there, but for one or two that a busy machine may drop.
        EXPECT_GE(video.frames(), 0.9 * frameRate * video.Duration());
        EXPECT_GE(video.Duration(), minSeconds);
        EXPECT_LE(video.Duration(), maxSeconds);
        return video;
    }

    // One sound stream of `codec` at `sampleRate`, as long as the picture give or take half a
    // second; returns its decoded level.
    static double ExpectSound(const std::string& path, const std::string& codec, int sampleRate,
                              double pictureSeconds) {
        const MediaFacts facts = ProbeMedia(path);
        EXPECT_EQ(facts.Count("audio"), 1);
        const StreamFacts* stream = facts.Find("audio");
        EXPECT_EQ(stream != nullptr ? stream->codec : "", codec);
        EXPECT_EQ(stream != nullptr ? stream->sampleRate : 0, sampleRate);
        const DecodedSound sound = DecodeSound(path);
        EXPECT_NEAR(sound.seconds, pictureSeconds, 0.5);
        return sound.level;
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
    const auto started = Clock::now();
    // ffmpeg exits with 255 after a stop signal, having finished the file.
    EXPECT_EQ(RecordFor(Output("flv"), 3000), 255) << ReadFileText(Stderr());
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();

    ASSERT_TRUE(ProbeMedia(Output("flv")).readable) << ReadFileText(Stderr());
    const DecodedVideo video = ExpectVideo(Output("flv"), 640, 480, 20, 2.5, wall);
    EXPECT_GT(ExpectSound(Output("flv"), "mp3", 22050, video.Duration()), 0.03)
        << "the tone played to the speakers is missing";

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
    EXPECT_EQ(capturer_.Wait(kTimedEndMs), 0) << ReadFileText(Stderr());

    ASSERT_TRUE(ProbeMedia(Output("mpeg")).readable) << ReadFileText(Stderr());
    // Two seconds at 15 frames a second, although the program stream stamps few packets.
    const DecodedVideo video = ExpectVideo(Output("mpeg"), 352, 288, 15, 1.9, 2.1);
    EXPECT_GT(ExpectSound(Output("mpeg"), "mp3", 11025, video.Duration()), 0.02)
        << "the microphone is not in the mix";
}

TEST_F(CapturerEndToEndTest, TimedTsWithoutSoundServerRecordsSilence) {
    Recording recording;
    recording.format = "ts";
    recording.frameRate = 10;
    recording.sampleRate = 44100;
    recording.limitSeconds = 2;
    recording.size = "1024*768";
    ASSERT_TRUE(Start(CommandLine(recording, Output("ts")), false));
    EXPECT_EQ(capturer_.Wait(kTimedEndMs), 0) << ReadFileText(Stderr());

    ASSERT_TRUE(ProbeMedia(Output("ts")).readable) << ReadFileText(Stderr());
    const DecodedVideo video = ExpectVideo(Output("ts"), 1024, 768, 10, 1.9, 2.1);
    EXPECT_LT(ExpectSound(Output("ts"), "mp3", 44100, video.Duration()), 0.001);
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
    EXPECT_EQ(capturer_.Wait(kTimedEndMs), 0) << ReadFileText(Stderr());

    ASSERT_TRUE(ProbeMedia(Output("mts")).readable) << ReadFileText(Stderr());
    const DecodedVideo video = ExpectVideo(Output("mts"), 800, 600, 25, 1.9, 2.1);
    EXPECT_LT(ExpectSound(Output("mts"), "mp3", 11025, video.Duration()), 0.005);
}

// Whatever ends a recording, the disk holds all of it but the last moment: the file grows
// from the first second on, in every format.
class FileFollowsTheRecordingTest : public CapturerEndToEndTest,
                                    public ::testing::WithParamInterface<const char*> {};

TEST_P(FileFollowsTheRecordingTest, FromTheFirstSecond) {
    StartSoundServer();
    ASSERT_TRUE(pulse_.PlayTone(1000));
    Recording recording;
    recording.format = GetParam();
    recording.frameRate = 15;
    recording.size = "320*240";
    const std::string output = Output(recording.format);
    ASSERT_TRUE(Start(CommandLine(recording, output)));
    ASSERT_TRUE(WaitUntilRecording(output)) << ReadFileText(Stderr());
    const auto created = Clock::now();
    std::vector<std::uintmax_t> sizes;
    for (int second = 1; second <= 3; ++second) {
        std::this_thread::sleep_until(created + std::chrono::seconds(second));
        sizes.push_back(std::filesystem::file_size(output));
    }
    // What a crash at this moment would leave.
    const std::string snapshot = install_.file("snapshot." + recording.format);
    std::filesystem::copy_file(output, snapshot);
    const double elapsed = std::chrono::duration<double>(Clock::now() - created).count();
    EXPECT_EQ(RecordFor(output, 0), 255);

    EXPECT_GT(sizes[0], 0u) << "nothing on disk a second into the recording";
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
    const DecodedVideo video = DecodeVideo(snapshot);
    EXPECT_GT(video.Duration(), elapsed - 1.5)
        << video.frames() << " frames on disk after " << elapsed << " s";
    EXPECT_GT(DecodeSound(snapshot).seconds, elapsed - 1.5);
}

INSTANTIATE_TEST_SUITE_P(Formats, FileFollowsTheRecordingTest, ::testing::Values("flv", "mpeg", "ts", "mts"));

// A click played as the screen turns white is heard in the recording as the white picture
// shows, give or take a frame and the measuring's own error.
TEST_F(CapturerEndToEndTest, SoundKeepsToThePicture) {
    StartSoundServer();
    FlashAndClick stimulus;
    ASSERT_TRUE(stimulus.Open(display_.name(), pulse_.server())) << stimulus.error();
    Recording recording;
    recording.frameRate = 60;
    recording.sampleRate = 44100;
    const std::string output = Output("flv");
    ASSERT_TRUE(Start(CommandLine(recording, output)));
    ASSERT_TRUE(WaitUntilRecording(output)) << ReadFileText(Stderr());
    const std::vector<double> latencies =
        stimulus.Run(6, std::chrono::milliseconds(700), std::chrono::milliseconds(1000));
    ASSERT_EQ(latencies.size(), 6u) << stimulus.error();
    EXPECT_EQ(RecordFor(output, 500), 255);

    const std::vector<double> flashes = DecodeVideo(output).FlashTimes();
    ASSERT_EQ(flashes.size(), 6u);
    const std::vector<double> clicks = ClicksAtFlashes(flashes, SoundOnsets(output));
    ASSERT_EQ(clicks.size(), 6u) << "a flash without its click";
    // The white frame was grabbed up to a frame after the flash: half a frame on average.
    std::vector<double> offsets;
    for (std::size_t i = 0; i < flashes.size(); ++i)
        offsets.push_back(clicks[i] - latencies[i] - (flashes[i] - 0.5 / recording.frameRate));
    std::sort(offsets.begin(), offsets.end());
    const double median = (offsets[2] + offsets[3]) / 2;
    std::printf("sound after picture: median %.1f ms (from %.1f to %.1f ms)\n", 1000 * median,
                1000 * offsets.front(), 1000 * offsets.back());
    EXPECT_LT(std::abs(median), 0.040);
}

TEST_F(CapturerEndToEndTest, TimedFlvWithoutSoundHasNoSoundStream) {
    Recording recording;
    recording.systemSound = false;
    recording.frameRate = 30;
    recording.bitRate = 1000000;
    recording.limitSeconds = 2;
    recording.size = "1920*1080";
    ASSERT_TRUE(Start(CommandLine(recording, Output("flv")), false));
    EXPECT_EQ(capturer_.Wait(kTimedEndMs), 0) << ReadFileText(Stderr());

    const MediaFacts facts = ProbeMedia(Output("flv"));
    ASSERT_TRUE(facts.readable) << ReadFileText(Stderr());
    ExpectVideo(Output("flv"), 1920, 1080, 30, 1.9, 2.1);
    EXPECT_EQ(facts.Count("audio"), 0);
}

TEST_F(CapturerEndToEndTest, KilledCapturerLeavesAReadableFileAndNoEncoder) {
    Recording recording;
    recording.sampleRate = 11025;
    ASSERT_TRUE(Start(CommandLine(recording, Output("flv")), false));
    ASSERT_TRUE(WaitUntilRecording(Output("flv"))) << ReadFileText(Stderr());
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const std::vector<pid_t> children = ChildrenOf(capturer_.pid());
    ASSERT_EQ(children.size(), 1u) << ReadFileText(Stderr());
    const pid_t encoder = children[0];

    capturer_.Signal(SIGKILL);
    EXPECT_EQ(capturer_.Wait(30000), 128 + SIGKILL);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (ProcessAlive(encoder) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ProcessAlive(encoder)) << "ffmpeg outlived the capturer";

    ASSERT_TRUE(ProbeMedia(Output("flv")).readable);
    const DecodedVideo video = ExpectVideo(Output("flv"), 640, 480, 20, 1.5, 30);
    ExpectSound(Output("flv"), "mp3", 11025, video.Duration());
}

// A sink that has been idle answers a new recording only after up to two seconds. The
// picture must still be recorded without gaps from the moment the recording starts.
TEST_F(CapturerEndToEndTest, SlowSoundStartDoesNotStallThePicture) {
    StartSoundServer(false);
    ASSERT_TRUE(Start(CommandLine(Recording{}, Output("flv"))));
    EXPECT_EQ(RecordFor(Output("flv"), 5000), 255);

    const DecodedVideo video = DecodeVideo(Output("flv"));
    const std::vector<double>& times = video.times;
    ASSERT_GT(times.size(), 10u) << ReadFileText(Stderr());
    double largestGap = 0;
    for (std::size_t i = 2; i < times.size(); ++i)  // the first frame is grabbed while opening
        largestGap = std::max(largestGap, times[i] - times[i - 1]);
    EXPECT_LT(largestGap, 0.3);
    const double span = times.back() - times[1];
    EXPECT_GT(span, 4.0);
    EXPECT_GE(static_cast<double>(times.size() - 1), 0.9 * 20 * span);
    EXPECT_GT(video.Duration(), DecodeSound(Output("flv")).seconds - 0.5)
        << "the picture ends before the sound";
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
        // Seeking on the input is fast; decoding up to the second would take long on a long file.
        EXPECT_EQ(capturer_.Wait(30000), 0) << ReadFileText(Stderr());
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
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
