#include "capturer/command_translator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/command_line.h"

namespace qarv {
namespace {

// The arguments the program receives for a command line written as the recorder writes it.
std::vector<std::string> Args(const std::string& commandLine) {
    std::vector<std::string> tokens = SplitCommandLine(commandLine);
    tokens.erase(tokens.begin());  // the empty program-name slot before the leading blank
    return tokens;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('|', start);
        words.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return words;
}

CaptureEnvironment Desktop() {
    CaptureEnvironment environment;
    environment.display = ":7";
    environment.soundServer = true;
    environment.defaultSinkMonitor = "alsa_output.pci.analog-stereo.monitor";
    environment.defaultSource = "alsa_input.pci.analog-stereo";
    environment.sources = {
        {"alsa_output.pci.analog-stereo.monitor", "Monitor of Built-in Audio", true},
        {"alsa_input.pci.analog-stereo", "Built-in Audio Analog Stereo", false},
        {"alsa_input.usb-mic.mono", "麦克风 (USB Audio)", false},
    };
    return environment;
}

struct Result {
    int code = 0;
    CommandTranslation translation;
};

Result Translate(const std::string& commandLine, const CaptureEnvironment& environment = Desktop()) {
    Result result;
    result.code = CommandTranslator(environment).Translate(Args(commandLine), result.translation);
    return result;
}

// The recorder's four templates, filled as the recorder fills them.
const std::string kSystemSound =
    " -f dshow -framerate 20 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main -f dshow -i "
    "audio=virtual-audio-capturer -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 "
    "-b-pyramid "
    "none -c:v libx264 -tune zerolatency -g 50 -r 20 -b:v 300000 -ar 22050 -s 1280*720 -y "
    "\"/inst/Video/2026_12_7/0.flv\"";
const std::string kMicrophoneTimed =
    " -f dshow -framerate 15 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main -f dshow -i "
    "audio=virtual-audio-capturer -f dshow -i audio=\"麦克风 (USB Audio)\" -filter_complex "
    "amix=inputs=2:duration=first -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 "
    "-b-pyramid "
    "none -c:v libx264 -tune zerolatency -g 50 -r 15 -b:v 500000 -ar 11025 -t 600 -s 1024*768 -y "
    "\"/inst/Video/2026_12_7/3.ts\"";
const std::string kSystemSoundTimed =
    " -f dshow -framerate 30 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main -f dshow -i "
    "audio=virtual-audio-capturer -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 "
    "-b-pyramid "
    "none -c:v libx264 -tune zerolatency -g 50 -r 30 -b:v 800000 -ar 44100 -s 1920*1080 -t 120 -y "
    "\"/inst/Video/2026_12_7/1.mpeg\"";

// The screen, synced to the sound input opened before it.
const std::string kScreenIn = "-f|x11grab|-framerate|20|-draw_mouse|1|-thread_queue_size|32|-isync|0|-i|:7";
const std::string kSystemSoundIn =
    "-f|pulse|-use_wallclock_as_timestamps|1|-thread_queue_size|512|-fragment_size|1920|-i|@DEFAULT_MONITOR@";
const std::string kPrefix = "-hide_banner|-nostdin|-loglevel|warning";
// A recording's output is written packet by packet.
const std::string kFlush = "|-flush_packets|1|-max_interleave_delta|500000";
// The logo overlay with the screen converted to the encoder's format first.
const std::string kScreenOverlay = "format=yuv420p[qarv_screen];[qarv_screen]overlay=main_w-overlay_w-10:10";

TEST(CommandTranslatorTest, SystemSoundRecordingOpensSoundFirstAndMovesPictureOptionsToTheOutput) {
    const Result result = Translate(kSystemSound);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(
        result.translation.arguments,
        Words(kPrefix + "|" + kSystemSoundIn + "|" + kScreenIn +
              "|-i|Icon/"
              "logo.png|-pix_fmt|yuv420p|-profile:v|main|-filter_complex|" +
              kScreenOverlay +
              ""
              "|-b-pyramid|none|-c:v|libx264|-tune|zerolatency|-g|50|-r|20|-b:v|300000|-ar|22050|-s|1280*720"
              "|-y|-preset|superfast" +
              kFlush + "|-af|aresample=async=1|/inst/Video/2026_12_7/0.flv"));
    EXPECT_TRUE(result.translation.notes.empty());
}

TEST(CommandTranslatorTest, MicrophoneIsFoundByDescriptionAndEachMixedInputIsResampled) {
    const Result result = Translate(kMicrophoneTimed);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(
        result.translation.arguments,
        Words(kPrefix + "|" + kSystemSoundIn +
              "|-f|pulse|-use_wallclock_as_timestamps|1|-thread_queue_size|512|-fragment_size|1920|-isync|0"
              "|-i|alsa_input.usb-mic.mono"
              "|-f|x11grab|-framerate|15|-draw_mouse|1|-thread_queue_size|32|-isync|0|-i|:7"
              "|-filter_complex|aresample=async=1[qarv_a0];aresample=async=1[qarv_a1];[qarv_a0][qarv_a1]"
              "amix=inputs=2:duration=first|-i|Icon/logo.png|-pix_fmt|yuv420p|-profile:v|main"
              "|-filter_complex|" +
              kScreenOverlay +
              "|-b-pyramid|none|-c:v|libx264|-tune|zerolatency"
              "|-g|50|-r|15|-b:v|500000|-ar|11025|-t|600|-s|1024*768|-y|-preset|superfast" +
              kFlush +
              "|-c:a|libmp3lame"
              "|/inst/Video/2026_12_7/3.ts"));
}

TEST(CommandTranslatorTest, TimeLimitAfterTheSizeStaysWhereItIsAndMpegGetsMp3AndAConstantRate) {
    const Result result = Translate(kSystemSoundTimed);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(
        result.translation.arguments,
        Words(kPrefix + "|" + kSystemSoundIn +
              "|-f|x11grab|-framerate|30|-draw_mouse|1|-thread_queue_size|32|-isync|0|-i|:7"
              "|-i|Icon/"
              "logo.png|-pix_fmt|yuv420p|-profile:v|main|-filter_complex|" +
              kScreenOverlay +
              ""
              "|-b-pyramid|none|-c:v|libx264|-tune|zerolatency|-g|50|-r|30|-b:v|800000|-ar|44100|-s|1920*1080"
              "|-t|120|-y|-preset|superfast|-nal-hrd|cbr|-minrate|800000|-maxrate|800000|-bufsize|800000" +
              kFlush +
              "|-c:a|libmp3lame|-af|aresample=async=1|/inst/Video/2026_12_7/"
              "1.mpeg"));
}

TEST(CommandTranslatorTest, MicrophoneAloneAndNoSoundVariants) {
    const Result micOnly = Translate(
        " -f dshow -framerate 10 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main -f dshow "
        "-i "
        "audio=\"麦克风 (USB Audio)\" -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 "
        "-b-pyramid none "
        "-c:v libx264 -tune zerolatency -g 50 -r 10 -b:v 200000 -ar 22050 -s 800*600 -y \"/v/2.mts\"");
    ASSERT_EQ(micOnly.code, CommandTranslator::kTranslated);
    EXPECT_EQ(
        micOnly.translation.arguments,
        Words(kPrefix +
              "|-f|pulse|-use_wallclock_as_timestamps|1|-thread_queue_size|512|-fragment_size|1920"
              "|-i|alsa_input.usb-mic.mono|-f|x11grab|-framerate|10|-draw_mouse|1|-thread_queue_size|32|-"
              "isync|0|-i|:7"
              "|-i|Icon/"
              "logo.png|-pix_fmt|yuv420p|-profile:v|main|-filter_complex|" +
              kScreenOverlay +
              ""
              "|-b-pyramid|none|-c:v|libx264|-tune|zerolatency|-g|50|-r|10|-b:v|200000|-ar|22050|-s|800*600"
              "|-y|-preset|superfast" +
              kFlush + "|-c:a|libmp3lame|-af|aresample=async=1|/v/2.mts"));

    // No sound input: the picture options stand before the logo input and still move; no
    // sound codec, no resampler.
    const Result silent = Translate(
        " -f dshow -framerate 5 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main -i "
        "Icon\\logo.png "
        "-filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency -g 50 "
        "-r 5 "
        "-b:v 100000 -s 352*288 -t 60 -y \"/v/4.ts\"");
    ASSERT_EQ(silent.code, CommandTranslator::kTranslated);
    EXPECT_EQ(silent.translation.arguments,
              Words(kPrefix +
                    "|-f|x11grab|-framerate|5|-draw_mouse|1|-thread_queue_size|32|-i|:7"
                    "|-i|Icon/logo.png|-pix_fmt|yuv420p|-profile:v|main"
                    "|-filter_complex|" +
                    kScreenOverlay +
                    "|-b-pyramid|none|-c:v|libx264"
                    "|-tune|zerolatency|-g|50|-r|5|-b:v|100000|-s|352*288|-t|60|-y|-preset|superfast" +
                    kFlush + "|/v/4.ts"));
    EXPECT_FALSE(CommandTranslator::UsesSoundDevices(
        Args(" -f dshow -framerate 5 -i video=screen-capture-recorder -i Icon\\logo.png -y \"/v/4.ts\"")));
    EXPECT_TRUE(CommandTranslator::UsesSoundDevices(Args(kSystemSound)));
}

TEST(CommandTranslatorTest, WithoutSoundServerEverySoundInputBecomesSilenceAtTheOutputRate) {
    CaptureEnvironment noServer = Desktop();
    noServer.soundServer = false;
    noServer.sources.clear();
    const Result result = Translate(kMicrophoneTimed, noServer);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    const std::vector<std::string>& args = result.translation.arguments;
    const std::vector<std::string> silence = {"-f", "lavfi", "-i", "anullsrc=r=11025:cl=stereo"};
    ASSERT_GE(args.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(args.begin() + 4, args.begin() + 8), silence);
    EXPECT_EQ(std::vector<std::string>(args.begin() + 8, args.begin() + 12), silence);
    ASSERT_EQ(result.translation.notes.size(), 2u);
    EXPECT_EQ(result.translation.notes[0], "no sound server; recording silence in place of the system sound");
    EXPECT_EQ(result.translation.notes[1],
              "no sound server; recording silence in place of \"麦克风 (USB Audio)\"");

    // No output rate (or the broken rate 0): silence at 44100 Hz, and -ar 0 is dropped.
    const Result zero = Translate(
        " -f dshow -framerate 10 -i video=screen-capture-recorder -f dshow -i audio=virtual-audio-capturer "
        "-ar 0 -y "
        "\"/v/0.flv\"",
        noServer);
    ASSERT_EQ(zero.code, CommandTranslator::kTranslated);
    EXPECT_EQ(zero.translation.arguments, Words(kPrefix + "|-f|lavfi|-i|anullsrc=r=44100:cl=stereo|" +
                                                "-f|x11grab|-framerate|10|-draw_mouse|1|-thread_queue_size|"
                                                "32|-i|:7|-y" +
                                                kFlush + "|-af|aresample=async=1|/v/0.flv"));
    EXPECT_EQ(zero.translation.notes.back(), "sample rate \"0\" ignored");
}

// The source of the first sound server input.
std::string PulseSource(const Result& result) {
    const std::vector<std::string>& args = result.translation.arguments;
    const auto format = std::find(args.begin(), args.end(), "pulse");
    const auto input = std::find(format, args.end(), "-i");
    return input != args.end() && input + 1 != args.end() ? *(input + 1) : std::string();
}

TEST(CommandTranslatorTest, UnknownMicrophoneFallsBackToDefaultThenFirstInputThenSilence) {
    const std::string command =
        " -f dshow -framerate 10 -i video=screen-capture-recorder -f dshow -i audio=\"Gone Mic\" -ar 22050 "
        "-y "
        "\"/v/0.flv\"";
    CaptureEnvironment environment = Desktop();
    Result result = Translate(command, environment);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(PulseSource(result), "alsa_input.pci.analog-stereo");
    ASSERT_EQ(result.translation.notes.size(), 1u);
    EXPECT_EQ(result.translation.notes[0],
              "sound input \"Gone Mic\" not found; recording \"Built-in Audio Analog Stereo\" "
              "(alsa_input.pci.analog-stereo) instead");

    // The default source is a monitor (system sound): never take it for a microphone.
    environment.defaultSource = "alsa_output.pci.analog-stereo.monitor";
    environment.sources.erase(environment.sources.begin() + 1);
    result = Translate(command, environment);
    EXPECT_EQ(PulseSource(result), "alsa_input.usb-mic.mono");

    environment.sources.resize(1);  // only the monitor is left
    result = Translate(command, environment);
    EXPECT_EQ(result.translation.arguments[6], "-i");
    EXPECT_EQ(result.translation.arguments[7], "anullsrc=r=22050:cl=stereo");
    EXPECT_EQ(result.translation.notes[0],
              "sound input \"Gone Mic\" not found and no other input exists; "
              "recording silence");

    // A source may also be named by its PulseAudio name.
    result = Translate(" -f dshow -i audio=alsa_input.usb-mic.mono -y \"/v/0.flv\"");
    EXPECT_EQ(PulseSource(result), "alsa_input.usb-mic.mono");
    EXPECT_TRUE(result.translation.notes.empty());
}

TEST(CommandTranslatorTest, ServerWithoutOutputRecordsSilenceForSystemSound) {
    CaptureEnvironment environment = Desktop();
    environment.defaultSinkMonitor.clear();
    const Result result = Translate(kSystemSound, environment);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(result.translation.arguments[7], "anullsrc=r=22050:cl=stereo");
    EXPECT_EQ(result.translation.notes.size(), 1u);
}

TEST(CommandTranslatorTest, ThumbnailSeeksOnTheInput) {
    const Result result = Translate(
        " -i \"/inst/Video/2026_12_7/0.flv\" -f image2 -ss 8 -vframes 1 -s 800*600 -y "
        "\"/inst/Video/2026_12_7/0_3.jpeg\"");
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(result.translation.arguments,
              Words(kPrefix + "|-ss|8|-i|/inst/Video/2026_12_7/0.flv|-f|image2|-vframes|1|-s|800*600|-y"
                              "|/inst/Video/2026_12_7/0_3.jpeg"));
    EXPECT_FALSE(
        CommandTranslator::UsesSoundDevices(Args(" -i \"/v/0.flv\" -f image2 -ss 8 -y \"/v/0_3.jpeg\"")));
    // The picture at 0 is the first one: no seek on the input.
    EXPECT_EQ(
        Translate(" -i \"/v/0.flv\" -f image2 -ss 0 -vframes 1 -y \"/v/0_0.jpeg\"").translation.arguments,
        Words(kPrefix + "|-i|/v/0.flv|-f|image2|-ss|0|-vframes|1|-y|/v/0_0.jpeg"));
}

TEST(CommandTranslatorTest, MissingDevicesAndDisplay) {
    CommandTranslation out;
    // The capture devices could not be registered: empty names, as in the recorder's command.
    EXPECT_EQ(CommandTranslator(Desktop()).Translate(
                  Args(" -f dshow -framerate 20 -i video= -y \"/v/0.flv\""), out),
              CommandTranslator::kBadCommand);
    EXPECT_EQ(out.error, "no video capture device given");
    EXPECT_EQ(CommandTranslator(Desktop()).Translate(Args(" -f dshow -i audio= -y \"/v/0.flv\""), out),
              CommandTranslator::kBadCommand);
    EXPECT_EQ(out.error, "no audio capture device given");
    EXPECT_EQ(CommandTranslator(Desktop()).Translate(Args(" -f dshow -i camera=x -y \"/v/0.flv\""), out),
              CommandTranslator::kBadCommand);

    CaptureEnvironment noDisplay = Desktop();
    noDisplay.display.clear();
    const Result result =
        Translate(" -f dshow -framerate 20 -i video=screen-capture-recorder -y \"/v/0.flv\"", noDisplay);
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(result.translation.arguments[13], ":0");
    EXPECT_EQ(result.translation.notes[0], "DISPLAY is not set; grabbing display :0");
}

TEST(CommandTranslatorTest, OtherCommandsPassThroughAndExplicitChoicesWin) {
    const Result result = Translate(
        " -v error -f lavfi -i testsrc -map 0 -c:v libx264 -preset slow -c:a aac -an -nostdin -y "
        "\"/v/x.ts\"");
    ASSERT_EQ(result.code, CommandTranslator::kTranslated);
    EXPECT_EQ(
        result.translation.arguments,
        Words("-hide_banner|-nostdin|-v|error|-f|lavfi|-i|testsrc|-map|0|-c:v|libx264|-preset|slow|-c:a|aac"
              "|-an|-y|/v/x.ts"));

    // A command that names inputs by number keeps its input order.
    const Result mapped = Translate(
        " -f dshow -i video=screen-capture-recorder -f dshow -i audio=virtual-audio-capturer -map 0:v -map "
        "1:a -y "
        "\"/v/0.flv\"");
    ASSERT_EQ(mapped.code, CommandTranslator::kTranslated);
    EXPECT_EQ(mapped.translation.arguments[5], "x11grab");
    // Still synced to the sound, now the second input; an explicit flush setting stays.
    const Result explicitFlush = Translate(
        " -f dshow -i video=screen-capture-recorder -f dshow -i audio=virtual-audio-capturer -map 0:v -map "
        "1:a -flush_packets 0 -y \"/v/0.flv\"");
    EXPECT_EQ(
        explicitFlush.translation.arguments,
        Words(kPrefix + "|-f|x11grab|-draw_mouse|1|-thread_queue_size|32|-isync|1|-i|:7|" + kSystemSoundIn +
              "|-map|0:v|-map|1:a|-flush_packets|0|-y|-max_interleave_delta|500000|-af|aresample=async=1"
              "|/v/0.flv"));
}

TEST(CommandTranslatorTest, ScreenIsConvertedBeforeTheOverlayOnlyForAPlainOverlayOfTheScreen) {
    const std::string screen = " -f dshow -framerate 10 -i video=screen-capture-recorder";
    const std::string logo = " -i Icon\\logo.png";
    const auto graphOf = [](const Result& result) {
        const std::vector<std::string>& args = result.translation.arguments;
        for (std::size_t i = 0; i + 1 < args.size(); ++i) {
            if (args[i] == "-filter_complex")
                return args[i + 1];
        }
        return std::string();
    };
    EXPECT_EQ(graphOf(Translate(screen + logo + " -filter_complex overlay=10:10 -y \"/v/0.flv\"")),
              "format=yuv420p[qarv_screen];[qarv_screen]overlay=10:10");
    // Another output format, a labelled graph, or a picture that is not the screen: unchanged.
    EXPECT_EQ(
        graphOf(Translate(screen + logo + " -filter_complex overlay=10:10 -pix_fmt yuv444p -y \"/v/0.flv\"")),
        "overlay=10:10");
    EXPECT_EQ(graphOf(Translate(screen + logo + " -filter_complex [0][1]overlay=10:10 -y \"/v/0.flv\"")),
              "[0][1]overlay=10:10");
    EXPECT_EQ(
        graphOf(Translate(" -i clip.flv" + screen + logo + " -filter_complex overlay=10:10 -y \"/v/0.flv\"")),
        "overlay=10:10");
}

// Every command the recorder can build translates into one screen input, the right sound
// inputs in the recorder's order, and a sound codec every container can take.
TEST(CommandTranslatorTest, EveryRecorderCommandTranslates) {
    const char* formats[] = {"flv", "mpeg", "ts", "mts"};
    const char* sizes[] = {"1920*1080", "1600*900", "1280*720", "1024*768", "800*600", "704*576", "352*288"};
    const int rates[] = {11025, 22050, 44100};
    for (const char* format : formats) {
        for (const char* size : sizes) {
            for (int rate : rates) {
                for (int sound = 0; sound < 4; ++sound) {  // system, system+mic, mic, none
                    for (int timed = 0; timed < 2; ++timed) {
                        std::string command =
                            " -f dshow -framerate 25 -i video=screen-capture-recorder -pix_fmt yuv420p "
                            "-vprofile main";
                        if (sound == 0 || sound == 1)
                            command += " -f dshow -i audio=virtual-audio-capturer";
                        if (sound == 1)
                            command +=
                                " -f dshow -i audio=\"麦克风 (USB Audio)\" -filter_complex "
                                "amix=inputs=2:duration=first";
                        if (sound == 2)
                            command += " -f dshow -i audio=\"麦克风 (USB Audio)\"";
                        command +=
                            " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid "
                            "none -c:v libx264 -tune zerolatency -g 50 -r 25 -b:v 400000";
                        if (sound != 3)
                            command += " -ar " + std::to_string(rate);
                        if (timed != 0)
                            command += " -t 60";
                        command +=
                            std::string(" -s ") + size + " -y \"/inst/Video/2026_1_1/0." + format + "\"";
                        SCOPED_TRACE(command);
                        const Result result = Translate(command);
                        ASSERT_EQ(result.code, CommandTranslator::kTranslated);
                        const std::vector<std::string>& args = result.translation.arguments;
                        int screens = 0, pulses = 0, mp3 = 0;
                        for (std::size_t i = 0; i + 1 < args.size(); ++i) {
                            screens += args[i] == "-f" && args[i + 1] == "x11grab";
                            pulses += args[i] == "-f" && args[i + 1] == "pulse";
                            mp3 += args[i] == "-c:a" && args[i + 1] == "libmp3lame";
                        }
                        EXPECT_EQ(screens, 1);
                        EXPECT_EQ(pulses, sound == 3 ? 0 : (sound == 1 ? 2 : 1));
                        EXPECT_EQ(mp3, sound != 3 && std::string(format) != "flv" ? 1 : 0);
                        EXPECT_EQ(args.back(), std::string("/inst/Video/2026_1_1/0.") + format);
                        if (sound == 1) {  // the system sound stays the first sound input
                            EXPECT_EQ(PulseSource(result), "@DEFAULT_MONITOR@");
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qarv
