// capturer: the encoder program the recorder starts. It takes FFmpeg command lines written
// for DirectShow capture devices, translates them for X11 and PulseAudio, and runs the
// system's ffmpeg with them as its child, exiting with ffmpeg's status.
//
//   capturer ARGS...            translate ARGS and run ffmpeg
//   capturer --dry-run ARGS...  print ffmpeg's arguments, one a line, and exit

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capturer/child_supervisor.h"
#include "capturer/command_translator.h"
#include "capturer/sound_server_probe.h"

namespace {

constexpr int kSoundServerTimeoutMs = 2000;
constexpr int kKillDelayMs = 3000;

std::string JoinForDisplay(const std::vector<std::string>& arguments) {
    std::string line = "ffmpeg";
    for (const std::string& argument : arguments) {
        const bool quote = argument.empty() || argument.find_first_of(" \t\"'") != std::string::npos;
        line += quote ? " '" + argument + "'" : " " + argument;
    }
    return line;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool dryRun = false;
    if (!arguments.empty() && arguments.front() == "--dry-run") {
        dryRun = true;
        arguments.erase(arguments.begin());
    }

    qarv::CaptureEnvironment environment;
    if (const char* display = std::getenv("DISPLAY"))
        environment.display = display;
    if (qarv::CommandTranslator::UsesSoundDevices(arguments))
        qarv::SoundServerProbe::Probe(kSoundServerTimeoutMs, environment);

    qarv::CommandTranslation translation;
    if (qarv::CommandTranslator(environment).Translate(arguments, translation) != 0) {
        std::fprintf(stderr, "capturer: %s\n", translation.error.c_str());
        return 1;
    }
    for (const std::string& note : translation.notes)
        std::fprintf(stderr, "capturer: %s\n", note.c_str());

    if (dryRun) {
        for (const std::string& argument : translation.arguments)
            std::printf("%s\n", argument.c_str());
        return 0;
    }
    std::fprintf(stderr, "capturer: %s\n", JoinForDisplay(translation.arguments).c_str());
    std::fflush(stderr);
    return qarv::ChildSupervisor(kKillDelayMs, translation.live).Run("ffmpeg", translation.arguments);
}
