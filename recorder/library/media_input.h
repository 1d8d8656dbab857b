#pragma once
// Opens a local media file for reading with libavformat, held by an owner that closes it.
// Thread-safe (no shared state).

#include <memory>
#include <string>

struct AVFormatContext;

namespace qarv {

struct InputCloser {
    void operator()(AVFormatContext* context) const;
};
// Owner of an opened input.
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

// Opens the file at `path` (format detected by libavformat) as a local file only: a name
// with a colon is not taken as a URL, and a playlist cannot reach anything but local files.
// Null if it cannot be opened. The caller checks first that `path` is a regular file
// (opening a FIFO or a device could block for ever).
InputPtr OpenMediaInput(const std::string& path);

}  // namespace qarv
