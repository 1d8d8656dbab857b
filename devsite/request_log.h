#pragma once
// What the local site received: one line of JSON per request appended to a file, written
// and flushed before the request is answered, so that a client that has its reply can read
// its line. Thread-safe.

#include <json/value.h>

#include <mutex>
#include <string>

#include "common/file_util.h"

namespace qarv {

class RequestLog {
  public:
    // Opens the file for appending, creating it readable and writable by the user only (an
    // existing file is narrowed to that); 0 or -1.
    int Open(const std::string& path);

    // Appends `entry` as one line; 0, or -1 when the log is not open or the write failed.
    int Append(const Json::Value& entry);

  private:
    std::mutex mutex_;
    FilePtr file_;
};

}  // namespace qarv
