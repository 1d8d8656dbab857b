#pragma once
// File helpers: owners for C file handles, whole-file reads and atomic replacement.
// All functions are thread-safe (they share no state).

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace qarv {

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr)
            std::fclose(file);
    }
};
// Owner of a C stream; closes it when released.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Owner of a POSIX file descriptor; closes it when released.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

enum ReadFileResult {
    kReadOk = 0,
    kReadMissing = -1,   // no such file, or it cannot be opened
    kReadTooLarge = -2,  // larger than the limit given
    kReadFailed = -3,    // an I/O error while reading
};

// Reads the whole file at `path` into `out` if it is at most `maxBytes` long.
int ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& out);

// Writes all of `bytes` to `fd`, going on after interruptions; false on an error.
bool WriteAll(int fd, std::string_view bytes);

// Replaces the file at `path` with `bytes`: writes a temporary file in the same folder,
// flushes it to disk and renames it over the old one, so that readers see either the old
// or the new content, never a truncated file. An existing file keeps its permission bits;
// a new one gets `newFileMode` (less the umask). Returns 0, or -1 (the old file is untouched
// and no temporary file is left).
int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned newFileMode = 0666);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates the directory if it does not exist yet; 0 if it exists afterwards, -1 otherwise.
int CreateDirectoryIfMissing(const std::string& path);

// The process's current directory, or an empty string if it cannot be read.
std::string CurrentDirectory();

// Makes the folder that holds the running program the current directory, so that a program
// started from elsewhere (a desktop menu) finds its installation's files. 0, or -1 (the
// current directory is unchanged).
int ChangeToProgramDirectory();

}  // namespace qarv
