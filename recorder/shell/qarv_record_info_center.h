#pragma once
// Knows the recorder's directories and its server settings. Created once during start-up
// on the UI thread (which creates the directories "Icon", "Video" and "Config" and reads
// the settings); read-only afterwards, so its getters may be called from any thread.

#include <memory>
#include <string>

#include "recorder/shell/server_info.h"

namespace qarv {

class QarvRecordInfoCenter {
  public:
    // The process-wide instance, made for the current directory on the first call.
    static std::shared_ptr<QarvRecordInfoCenter> Instance();

    // Prepares the directories under `currentDirectory` (the working directory; empty means
    // relative paths) and loads its "Config/config.xml".
    explicit QarvRecordInfoCenter(std::string currentDirectory);
    virtual ~QarvRecordInfoCenter();

    const std::string& GetCurrentDir() const { return currentDir_; }
    const std::string& GetVideoDir() const { return videoDir_; }
    const std::string& GetIconDir() const { return iconDir_; }
    const std::string& GetConfigDir() const { return configDir_; }
    ServerInfo GetServerInfo() const { return serverInfo_; }

  private:
    std::string currentDir_;
    std::string iconDir_;
    std::string videoDir_;
    std::string configDir_;
    ServerInfo serverInfo_;
};

}  // namespace qarv
