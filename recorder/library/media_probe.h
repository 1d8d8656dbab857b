#pragma once
// Reads the length of a video file with libavformat. Thread-safe (no shared state); the
// call blocks for as long as libavformat needs to read the file.

#include <string>

namespace qarv {

// Measures the length of the video at `path` in seconds. `seconds` is set to 0 first.
// Returns 0 on success; -1 if the file is missing or not readable; -2 if the path is
// unusable (shorter than 2 characters, no "." in it, not a regular file) or libavformat
// cannot open the file or read its stream information (a message on standard error).
// A length the container does not state (unknown, zero or out of range) is measured from
// the streams: their own durations, else the last packet's timestamp; the result is
// always finite and never negative.
int ProbeDuration(const std::string& path, double& seconds);

// Whole seconds of a probed length, rounded to the nearest second with halves up
// (12.5 gives 13, 12.49 gives 12). Negative or non-finite lengths give 0, lengths beyond
// the range of int give its largest value.
int RoundDuration(double seconds);

}  // namespace qarv
