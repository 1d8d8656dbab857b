#include "common/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

namespace qarv {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return kReadMissing;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return kReadFailed;
    if (!S_ISREG(st.st_mode))
        return kReadMissing;
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        return kReadTooLarge;

    out.clear();
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return kReadFailed;
        }
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > maxBytes)
            return kReadTooLarge;  // grew while we read
    }
    return kReadOk;
}

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned newFileMode) {
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));

    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode));
    if (!fd.valid())
        return -1;
    bool ok = true;
    if (exists)
        ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = (::close(fd.release()) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return 0;
    ::unlink(temp.c_str());
    return -1;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CreateDirectoryIfMissing(const std::string& path) {
    if (DirectoryExists(path))
        return 0;
    if (::mkdir(path.c_str(), 0777) == 0)
        return 0;
    return DirectoryExists(path) ? 0 : -1;
}

std::string CurrentDirectory() {
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

int ChangeToProgramDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !program.has_parent_path())
        return -1;
    return ::chdir(program.parent_path().c_str()) == 0 ? 0 : -1;
}

}  // namespace qarv
