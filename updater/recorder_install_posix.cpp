#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/file_util.h"
#include "updater/recorder_install.h"

namespace qarv {
namespace {

// The part of an ELF header that names the format: identification, type and machine, which
// sit at the same offsets in 32- and 64-bit files.
struct ElfFormat {
    unsigned char ident[EI_NIDENT];
    std::uint16_t type;
    std::uint16_t machine;
};
static_assert(sizeof(ElfFormat) == EI_NIDENT + 4);

bool ReadFully(int fd, void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadFormat(int fd, ElfFormat& format) {
    if (!ReadFully(fd, &format, sizeof format))
        return false;
    return std::memcmp(format.ident, ELFMAG, SELFMAG) == 0 &&
           (format.type == ET_EXEC || format.type == ET_DYN);
}

bool IsNativeExecutable(int fd) {
    ElfFormat own{};
    ElfFormat file{};
    const UniqueFd self(::open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    if (!self.valid() || !ReadFormat(self.get(), own) || !ReadFormat(fd, file))
        return false;
    // The OS/ABI byte is left out: the linker marks programs that use GNU extensions, which run
    // here all the same.
    return file.ident[EI_CLASS] == own.ident[EI_CLASS] && file.ident[EI_DATA] == own.ident[EI_DATA] &&
           file.machine == own.machine;
}

int SyncDirectoryOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0 ? 0 : -1;
}

}  // namespace

bool IsNativeExecutable(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && IsNativeExecutable(fd.get());
}

int InstallRecorder(const std::string& downloaded, const std::string& target) {
    {
        const UniqueFd fd(::open(downloaded.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid())
            return kInstallFailed;
        struct stat status {};
        if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
            return kInstallFailed;
        if (!IsNativeExecutable(fd.get()))
            return kInstallNotExecutable;
        // Readable and runnable by all, writable by the owner, as an installed program is.
        if (::fchmod(fd.get(), 0755) != 0 || ::fsync(fd.get()) != 0)
            return kInstallFailed;
    }
    // One rename replaces the old file: a recorder that runs keeps its old file until it ends.
    if (std::rename(downloaded.c_str(), target.c_str()) != 0)
        return kInstallFailed;
    SyncDirectoryOf(target);  // the rename is done; a failed sync only delays its durability
    return kInstallOk;
}

}  // namespace qarv
