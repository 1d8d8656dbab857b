#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/qt/instance_lock.h"

namespace qarv {
namespace {

// FNV-1a: a name for a folder that every build of the program computes alike.
std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// A folder of the current user's that nobody else may enter: another user could otherwise
// plant the lock file or the socket.
bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The session's runtime folder, or else one made for the user under /tmp; empty if neither
// can be used. The installation folder itself may be read-only or shared by several users.
std::string PrivateFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && IsPrivateFolder(runtime))
        return runtime;
    const std::string own = "/tmp/qarv-" + std::to_string(::geteuid());
    ::mkdir(own.c_str(), 0700);  // usually there already
    return IsPrivateFolder(own) ? own : std::string();
}

}  // namespace

InstanceLock::InstanceLock(const std::string& folder) {
    const std::string base = PrivateFolder();
    if (base.empty())
        return;
    char real[PATH_MAX];
    const std::string name = ::realpath(folder.c_str(), real) != nullptr ? real : folder;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    lockPath_ = base + "/qarv-" + hash + ".lock";
    socketName_ = base + "/qarv-" + hash + ".sock";
}

int InstanceLock::TryTake() {
    if (lockPath_.empty())
        return kFailed;
    if (!file_.valid())
        file_.reset(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file_.valid())
        return kFailed;
    // An advisory lock on the open file: it goes with the last descriptor of it, which
    // children never inherit (close-on-exec).
    if (::flock(file_.get(), LOCK_EX | LOCK_NB) == 0)
        return kTaken;
    return errno == EWOULDBLOCK ? kHeld : kFailed;
}

}  // namespace qarv
