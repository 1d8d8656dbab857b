#include "devsite/request_log.h"

#include "devsite/envelope.h"

namespace qarv {

int RequestLog::Open(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "ae"));
    if (!file)
        return -1;
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
