#include "tests/support/small_file_system.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/disk_space.h"
#include "common/file_util.h"

namespace qarv::test {

SmallFileSystem::SmallFileSystem(std::uint64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("qarv-test", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
        mounted_ = true;
    } else {
        error_ = "cannot mount a tmpfs on " + dir_.path() + ": " + std::strerror(errno);
    }
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_)
        ::umount2(dir_.path().c_str(), MNT_DETACH);
}

std::uint64_t SmallFileSystem::FreeBytes() const {
    std::uint64_t bytes = 0;
    GetFreeDiskSpace(dir_.path(), bytes);
    return bytes;
}

long long SmallFileSystem::Fill(const std::string& name, std::uint64_t leaveFree) const {
    const std::uint64_t available = FreeBytes();
    std::uint64_t wanted = leaveFree == 0 ? UINT64_MAX : available - std::min(available, leaveFree);
    UniqueFd fd(::open(file(name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd.valid())
        return -1;
    const std::vector<char> chunk(1 << 20, 'x');
    long long written = 0;
    while (wanted > 0) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, chunk.size()));
        const ssize_t n = ::write(fd.get(), chunk.data(), size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == ENOSPC ? written : -1;
        written += n;
        wanted -= static_cast<std::uint64_t>(n);
    }
    return written;
}

}  // namespace qarv::test
