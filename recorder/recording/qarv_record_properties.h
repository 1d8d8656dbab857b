#pragma once
// The parameters of one recording, filled by the recorder page and copied by the capture
// session when a recording starts, and the conversions of the page's option texts.
// A value record: used by one thread at a time. The conversions are pure and thread-safe.

#include <cstdint>
#include <string>
#include <string_view>

namespace qarv {

class QarvRecordProperties {
  public:
    QarvRecordProperties() = default;
    virtual ~QarvRecordProperties() = default;
    QarvRecordProperties(const QarvRecordProperties&) = default;
    QarvRecordProperties(QarvRecordProperties&&) = default;
    QarvRecordProperties& operator=(const QarvRecordProperties&) = default;
    QarvRecordProperties& operator=(QarvRecordProperties&&) = default;

    bool operator==(const QarvRecordProperties&) const = default;

    // The catalogue title of the video; not part of the command line.
    std::string Title;
    // Container format and file extension: "flv", "mpeg", "ts" or "mts".
    std::string Format = "flv";
    // Output size in pixels; the page sets both before every use.
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    // Stop after TimedMinutes (a limit of 0 or less records without a limit).
    bool TimedRecording = false;
    std::int32_t TimedMinutes = 0;
    std::int32_t FrameRate = 10;
    std::int32_t VideoBitRate = 200000;
    std::int32_t GopSize = 50;
    // Record the microphone (when one exists) and the sound the computer plays.
    bool RecordMicrophone = false;
    bool RecordSystemSound = true;
    std::int32_t SampleRate = 22050;
};

// "5fps" ... "30fps" to frames per second; any other text gives 10.
int FrameRateFromText(std::string_view text);
// "11025HZ", "22050HZ", "44100HZ" to Hz; any other text gives 22050.
int SampleRateFromText(std::string_view text);
// "100KB" ... "1000KB" to the value of "-b:v"; any other text gives 300000.
int BitRateFromText(std::string_view text);

// Reads "WIDTH*HEIGHT": each side as atoi reads it (leading blanks and a sign, then digits;
// 0 if there are none), the width split at the first '*'. Returns 0 and sets both; -1 with
// neither set if the text has no '*' or ends with it. A negative number is kept as the
// unsigned value of its bit pattern, as a C conversion would give it.
int ParseResolution(const std::string& text, std::uint32_t& width, std::uint32_t& height);

}  // namespace qarv
