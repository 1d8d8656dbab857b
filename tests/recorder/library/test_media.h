#pragma once
// Media files for the video library's tests, made with the ffmpeg program from its test
// picture and a sine tone.

#include <string>

namespace qarv::test {

// Writes `seconds` of 320x240 test picture at 25 frames per second with a tone to `path`
// (the container chosen by its extension, or by `format` when given). With `toPipe` the
// file is written through a pipe, so the container cannot go back to note its length.
// True on success.
bool MakeMedia(const std::string& path, double seconds, const std::string& format = "", bool toPipe = false);

// Writes an endless test picture with a tone to `path` (the container chosen by its
// extension) and kills the writer (SIGKILL) once the file holds at least `minBytes`: a
// recording cut off as by a crash, without its trailer. True on success.
bool MakeCutOffMedia(const std::string& path, long minBytes);

// Sets the last modification time of `path` to the local time given; true on success.
bool SetModificationTime(const std::string& path, int year, int month, int day, int hour, int minute,
                         int second);

}  // namespace qarv::test
