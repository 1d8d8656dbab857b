#include "recorder/shell/qarv_record_info_center.h"

#include "common/file_util.h"
#include "common/log.h"
#include "common/log_codes.h"
#include "common/paths.h"

namespace qarv {

std::shared_ptr<QarvRecordInfoCenter> QarvRecordInfoCenter::Instance() {
    static const auto instance = std::make_shared<QarvRecordInfoCenter>(CurrentDirectory());
    return instance;
}

QarvRecordInfoCenter::QarvRecordInfoCenter(std::string currentDirectory)
    : currentDir_(std::move(currentDirectory)),
      iconDir_(JoinPath(currentDir_, "Icon")),
      videoDir_(JoinPath(currentDir_, "Video")),
      configDir_(JoinPath(currentDir_, "Config")) {
    // A directory that cannot be made shows up later, when a file in it fails.
    CreateDirectoryIfMissing(iconDir_);
    CreateDirectoryIfMissing(videoDir_);
    CreateDirectoryIfMissing(configDir_);
    if (LoadServerInfo(serverInfo_, JoinPath(configDir_, "config.xml")) != 0) {
        LogError(__LINE__, kSrcQarvRecordInfoCenter, kCodeConfigError, kMsgConfigError);
    }
}

QarvRecordInfoCenter::~QarvRecordInfoCenter() = default;

}  // namespace qarv
