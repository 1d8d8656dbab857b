#include "recorder/library/qarv_file_management.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "common/file_util.h"
#include "common/log.h"
#include "common/log_codes.h"
#include "common/paths.h"
#include "recorder/library/media_probe.h"
#include "recorder/library/thumbnails.h"
#include "recorder/shell/qarv_record_info_center.h"

namespace qarv {

namespace {

// Thumbnails a recording can have (MakeThumbnails makes at most five).
constexpr int kMaxThumbnails = 5;

// A date key or file name that stays inside its folder: no separator, not "." or "..".
bool IsPlainName(const std::string& name) {
    return name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find(PathSeparator()) == std::string::npos;
}

enum RemoveResult { kRemoved, kAlreadyGone, kRemoveFailed };

RemoveResult RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0)
        return kRemoved;
    return errno == ENOENT ? kAlreadyGone : kRemoveFailed;
}

}  // namespace

std::shared_ptr<QarvFileManagement> QarvFileManagement::GetInstance() {
    static const auto instance = std::make_shared<QarvFileManagement>(
        QarvRecordInfoCenter::Instance()->GetVideoDir(), JoinPath(".", JoinPath("Video", "VideoInfo.xml")));
    return instance;
}

QarvFileManagement::QarvFileManagement(std::string videoFolder, std::string cataloguePath)
    : videoFolder_(std::move(videoFolder)), store_(std::move(cataloguePath), videoFolder_) {
    store_.ListAll(videos_);
}

QarvFileManagement::~QarvFileManagement() = default;

int QarvFileManagement::AddFile(const VideoElement& added) {
    VideoElement element = added;
    if (!IsPlainName(element.FileName) || element.FileName.empty() || !IsPlainName(element.Date))
        return 0;
    const std::string path = GetVideoPath(element);
    if (!FileExists(path))
        return 0;
    // The probe reads the file and may take a while: it runs without the lock.
    double seconds = 0;
    if (ProbeDuration(path, seconds) == 0) {
        element.Duration = RoundDuration(seconds);
        GetFileTimeText(path, element.Time);
        std::lock_guard lock(mutex_);
        store_.AddVideo(element);
        videos_.push_back(element);
    }
    LogWarn(__LINE__, kSrcQarvFileManagement, kCodeFileAdded, kMsgFileAdded, path.c_str());
    return 0;
}

int QarvFileManagement::DeleteFile(const VideoElement& element) {
    if (!IsPlainName(element.FileName) || element.FileName.empty() || !IsPlainName(element.Date))
        return -1;
    const std::string path = GetVideoPath(element);
    std::lock_guard lock(mutex_);
    const RemoveResult video = RemoveFile(path);
    if (video == kRemoveFailed)
        return -1;
    if (video == kRemoved)
        LogWarn(__LINE__, kSrcQarvFileManagement, kCodeFileRemoved, kMsgFileRemoved, path.c_str());
    for (int index = 0; index < kMaxThumbnails; ++index) {
        if (RemoveFile(ThumbnailPath(path, index)) == kRemoveFailed)
            return -1;
    }
    std::erase_if(videos_, [&element](const VideoElement& video) {
        return video.Owner == element.Owner && video.Date == element.Date &&
               video.FileName == element.FileName;
    });
    store_.RemoveVideo(element);
    return 0;
}

int QarvFileManagement::GetVideosByDate(const std::string& date, std::vector<VideoElement>& list) {
    std::vector<VideoElement> all;
    {
        std::lock_guard lock(mutex_);
        store_.ListAll(all);
    }
    for (VideoElement& element : all) {
        if (element.Date == date)
            list.push_back(std::move(element));
    }
    return 0;
}

int QarvFileManagement::ListAll(std::vector<VideoElement>& list) {
    std::lock_guard lock(mutex_);
    return store_.ListAll(list);
}

int QarvFileManagement::UpdateVideo(const VideoElement& element) {
    std::lock_guard lock(mutex_);
    return store_.UpdateVideo(element);
}

std::string QarvFileManagement::GetVideoPath(const VideoElement& element) const {
    return JoinPath(JoinPath(videoFolder_, element.Date), element.FileName);
}

std::string QarvFileManagement::GetTodayKey() const {
    return TodayKey();
}

int QarvFileManagement::GetFileTimeText(const std::string& path, std::string& text) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? -1 : 0;
    std::tm local{};
    if (::localtime_r(&status.st_mtime, &local) != nullptr)
        text = TimeOfDayText(local);
    return 0;
}

std::vector<VideoElement> QarvFileManagement::GetVideos() const {
    std::lock_guard lock(mutex_);
    return videos_;
}

}  // namespace qarv
