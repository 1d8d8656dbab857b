#pragma once
// The encoder's command line for one recording, and the names of its output file.
// Pure functions, thread-safe.

#include <ctime>
#include <string>

#include "recorder/recording/qarv_record_properties.h"

namespace qarv {

// The capture devices a command line names.
struct CaptureDevices {
    // The screen and the system-sound device (empty when they were not registered).
    std::string video;
    std::string audio;
    // Whether an audio input exists, and the name of the one chosen as the microphone.
    bool microphoneFound = false;
    std::string microphone;
};

// The encoder's command line (without the program name; it begins with a space) that
// records with `properties` from `devices` into `outputPath`:
// - the screen, plus the system sound when RecordSystemSound is set, plus the microphone
//   when RecordMicrophone is set and one was found; two sound inputs are mixed (the mix
//   lasts as long as the system sound); with no sound input there is no "-ar";
// - a time limit of TimedMinutes * 60 seconds ("-t") when TimedRecording is set and the
//   limit is above 0.
// The microphone name and the output path are quoted; a '"' in them is escaped so that the
// Windows command line rules give them back unchanged.
std::string BuildCaptureCommand(const QarvRecordProperties& properties, const CaptureDevices& devices,
                                const std::string& outputPath);

// A video's file name: `number`, '.', `format` (e.g. "3.flv").
std::string VideoFileName(const std::string& number, const std::string& format);

}  // namespace qarv
