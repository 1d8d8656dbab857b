#pragma once
// Thumbnail pictures of a recording, made by the encoder program "capturer" and found again
// by name: the video's path without its extension, "_", the index and ".jpeg". Thread-safe
// (no shared state); each picture blocks the caller for up to kCaptureWaitMs.

#include <string>
#include <vector>

namespace qarv {

// How long one picture is waited for; a slower encoder is left to finish on its own.
inline constexpr int kCaptureWaitMs = 3000;

// `path` without the extension of its file name (cut at the last "." after the last path
// separator); the whole path if the file name has no ".".
std::string PathWithoutExtension(const std::string& path);

// The path of picture `index` of the video at `videoPath`, e.g. "/v/a.b_3.jpeg" for
// "/v/a.b.mp4" and index 3.
std::string ThumbnailPath(const std::string& videoPath, int index);

// The encoder's command line for one picture at `second` written to ThumbnailPath.
std::string CaptureJpegCommand(const std::string& videoPath, int second, int index);

// The seconds at which a recording of `durationSeconds` gets its pictures, in index order:
// five at 0, step, ..., 4 * step (step = whole seconds / 5) for five seconds or more,
// otherwise one at half the whole seconds.
std::vector<int> ThumbnailSeconds(double durationSeconds);

// Makes picture `index` at `second` of the video by starting "capturer" from the current
// directory and waiting at most kCaptureWaitMs for it. Returns -1 if the file name has no
// "." or the path holds a double quote (it could not be passed on intact); otherwise 0,
// whether or not a picture was made. A failed start writes "Capture JPEG Failed, Error: ..."
// to standard output.
int CaptureJpeg(const std::string& videoPath, int second, int index);

// Probes the video and makes its pictures at the seconds ThumbnailSeconds chooses. Returns
// the probe's result (no pictures if it is not 0), else 0.
int MakeThumbnails(const std::string& videoPath);

}  // namespace qarv
