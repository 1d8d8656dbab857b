#include "recorder/recording/capture_command.h"

#include <cstdint>

#include "common/paths.h"

namespace qarv {

namespace {

// The text between the quotes of a quoted argument, escaped by the rules the encoder's
// command line is split with: a '"' becomes \" and backslashes before a '"' or before the
// closing quote are doubled. Text without '"' and without a trailing backslash is unchanged.
std::string EscapeInQuotes(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    std::size_t backslashes = 0;
    for (const char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            escaped.append(backslashes * 2 + 1, '\\');
        } else {
            escaped.append(backslashes, '\\');
        }
        escaped += c;
        backslashes = 0;
    }
    escaped.append(backslashes * 2, '\\');
    return escaped;
}

std::string Quoted(const std::string& text) {
    return "\"" + EscapeInQuotes(text) + "\"";
}

}  // namespace

std::string BuildCaptureCommand(const QarvRecordProperties& properties, const CaptureDevices& devices,
                                const std::string& outputPath) {
    const bool microphone = devices.microphoneFound && properties.RecordMicrophone;
    const bool systemSound = properties.RecordSystemSound;
    const bool timed = properties.TimedRecording && properties.TimedMinutes > 0;
    // In 64 bits: the minutes box is read with atoi and may hold a very large number.
    const std::int64_t limitSeconds = static_cast<std::int64_t>(properties.TimedMinutes) * 60;
    const std::string frameRate = std::to_string(properties.FrameRate);
    const std::string size = std::to_string(properties.Width) + "*" + std::to_string(properties.Height);
    const std::string limit = std::to_string(limitSeconds);

    std::string command = " -f dshow -framerate " + frameRate + " -i video=" + devices.video +
                          " -pix_fmt yuv420p -vprofile main";
    if (systemSound)
        command += " -f dshow -i audio=" + devices.audio;
    if (microphone)
        command += " -f dshow -i audio=" + Quoted(devices.microphone);
    if (systemSound && microphone)
        command += " -filter_complex amix=inputs=2:duration=first";
    command +=
        " -i Icon\\logo.png -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none"
        " -c:v libx264 -tune zerolatency -g " +
        std::to_string(properties.GopSize) + " -r " + frameRate + " -b:v " +
        std::to_string(properties.VideoBitRate);
    if (systemSound || microphone)
        command += " -ar " + std::to_string(properties.SampleRate);
    // With two mixed sound inputs the limit stands before the size, otherwise after it.
    const bool limitFirst = systemSound && microphone;
    if (timed && limitFirst)
        command += " -t " + limit;
    command += " -s " + size;
    if (timed && !limitFirst)
        command += " -t " + limit;
    command += " -y " + Quoted(outputPath);
    return command;
}

std::string VideoFileName(const std::string& number, const std::string& format) {
    return number + "." + format;
}

}  // namespace qarv
