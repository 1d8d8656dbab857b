#include "common/disk_space.h"

#include <sys/statvfs.h>

namespace qarv {

int GetFreeDiskSpace(const std::string& path, std::uint64_t& bytes) {
    struct statvfs status {};
    if (::statvfs(path.c_str(), &status) != 0)
        return -1;
    // f_bavail, not f_bfree: the blocks kept for the administrator are not ours to fill.
    bytes = static_cast<std::uint64_t>(status.f_bavail) * static_cast<std::uint64_t>(status.f_frsize);
    return 0;
}

}  // namespace qarv
