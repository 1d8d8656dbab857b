#pragma once
// Turns an FFmpeg command line written for DirectShow capture devices into one that the
// system's ffmpeg runs on X11 and PulseAudio. Pure: everything it needs to know about the
// machine comes in a CaptureEnvironment. Thread-safe (no shared state).

#include <string>
#include <vector>

#include "common/sound/sound_server.h"

namespace qarv {

// One PulseAudio source as the sound server lists it.
using AudioSourceInfo = SoundSource;

// Facts about the machine the translation depends on.
struct CaptureEnvironment {
    std::string display;             // the X display to grab ($DISPLAY); empty if unset
    bool soundServer = false;        // a PulseAudio server answered
    std::string defaultSinkMonitor;  // monitor source of the default sink; empty if there is none
    std::string defaultSource;       // the server's default source; empty if there is none
    std::vector<AudioSourceInfo> sources;
};

struct CommandTranslation {
    std::vector<std::string> arguments;  // ffmpeg's arguments, without the program name
    std::vector<std::string> notes;      // what the user should know (fallbacks taken), one line each
    std::string error;                   // why the command cannot be translated
    // A capture of the screen or the sound (a recording), as opposed to work on files (a
    // thumbnail): only a recording is ended when the program that started it dies.
    bool live = false;
};

class CommandTranslator {
  public:
    enum Result { kTranslated = 0, kBadCommand = -1 };

    // Queue sizes (packets) for live inputs, so that a capture thread never waits for the
    // encoder: about a second of 1080p screen frames, and many seconds of sound.
    static constexpr int kScreenQueuePackets = 32;
    static constexpr int kSoundQueuePackets = 512;
    // x264 speed preset that keeps 1920x1080 at 30 fps in real time on two cores.
    static constexpr const char* kX264Preset = "superfast";
    // Length of the fragments in which a sound input is read.
    static constexpr long kSoundFragmentMs = 10;
    // Longest time (microseconds) the muxer holds one stream's packets back while waiting for
    // another's, so that the file follows the recording.
    static constexpr const char* kMaxInterleaveDelay = "500000";
    // Sample rate of the silence that stands in for an unreachable sound input when the
    // command gives none.
    static constexpr int kDefaultSampleRate = 44100;

    explicit CommandTranslator(CaptureEnvironment environment) : environment_(std::move(environment)) {}

    // True if the command captures a DirectShow sound device, so that the sound server must
    // be asked about its sources before translating.
    static bool UsesSoundDevices(const std::vector<std::string>& arguments);

    // Translates `arguments` (the command line without the program name). kBadCommand (with
    // out.error set) when a device input names no device or one that cannot be captured.
    int Translate(const std::vector<std::string>& arguments, CommandTranslation& out) const;

  private:
    CaptureEnvironment environment_;
};

}  // namespace qarv
