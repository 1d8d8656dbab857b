#pragma once
// The free space of a file system, as the recorder checks it before and during a recording.
// Thread-safe (no shared state).

#include <cstdint>
#include <string>

namespace qarv {

// Sets `bytes` to the space that an unprivileged program can still write on the file system
// holding `path` (a file or folder that exists); space kept for the administrator does not
// count. Returns 0, or -1 if the file system cannot be asked (`bytes` is then unchanged).
int GetFreeDiskSpace(const std::string& path, std::uint64_t& bytes);

}  // namespace qarv
