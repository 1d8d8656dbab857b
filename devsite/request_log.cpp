#include "devsite/request_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "devsite/envelope.h"

namespace qarv {

int RequestLog::Open(const std::string& path) {
    // The log names accounts and what they did: it is the user's alone. A file left by an
    // older run with wider permissions is narrowed too.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0)
        return -1;
    if (S_ISREG(info.st_mode) && (info.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0)
        return -1;
    FilePtr file(::fdopen(fd.get(), "a"));
    if (!file)
        return -1;
    fd.release();
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::move(file);
    return 0;
}

int RequestLog::Append(const Json::Value& entry) {
    const std::string line = RenderJsonLine(entry) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_)
        return -1;
    if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size())
        return -1;
    return std::fflush(file_.get()) == 0 ? 0 : -1;
}

}  // namespace qarv
