#include "recorder/library/qarv_file_management.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    : videoFolder_(std::move(videoFolder)), store_(std::move(cataloguePath), videoFolder_) {}

QarvFileManagement::~QarvFileManagement() = default;

int QarvFileManagement::AddFile(const VideoElement& added) {
    VideoElement element = added;
    const std::string path = GetVideoPath(element);
    if (path.empty() || !FileExists(path))
        return 0;
    int result = 0;
    // The probe reads the file and may take a while: it runs without the lock.
    double seconds = 0;
    if (ProbeDuration(path, seconds) == 0) {
        element.Duration = RoundDuration(seconds);
        GetFileTimeText(path, element.Time);
        std::lock_guard lock(mutex_);
        result = store_.AddVideo(element) == 0 ? 0 : -1;
    }
    LogWarn(__LINE__, kSrcQarvFileManagement, kCodeFileAdded, kMsgFileAdded, path.c_str());
    return result;
}

int QarvFileManagement::DeleteFile(const VideoElement& element) {
    const std::string path = GetVideoPath(element);
    if (path.empty())
        return -1;
    std::lock_guard lock(mutex_);
    // An older catalogue may name one file in two entries of a day: the files stay for the other.
    if (store_.CountVideos(element.Date, element.FileName) > 1)
        return store_.RemoveEntry(element) == 0 ? 0 : -1;
    const RemoveResult video = RemoveFile(path);
    if (video == kRemoveFailed)
        return -1;
    if (video == kRemoved)
        LogWarn(__LINE__, kSrcQarvFileManagement, kCodeFileRemoved, kMsgFileRemoved, path.c_str());
    for (int index = 0; index < kMaxThumbnails; ++index) {
        if (RemoveFile(ThumbnailPath(path, index)) == kRemoveFailed)
            return -1;
    }
    return store_.RemoveEntry(element) == 0 ? 0 : -1;
}

std::vector<std::string> QarvFileManagement::GetFileNamesByDate(const std::string& date) const {
    std::vector<std::string> names;
    std::lock_guard lock(mutex_);
    store_.ForEachEntry([&](const std::string& entryDate, const std::string& fileName) {
        if (entryDate == date)
            names.push_back(fileName);
    });
    return names;
}

int QarvFileManagement::GetVideosByDate(const std::string& date, std::vector<VideoElement>& list,
                                        ThumbnailLookup lookup) {
    std::lock_guard lock(mutex_);
    return store_.ListByDate(date, list, lookup);
}

int QarvFileManagement::ListAll(std::vector<VideoElement>& list, ThumbnailLookup lookup) {
    std::lock_guard lock(mutex_);
    return store_.ListAll(list, lookup);
}

int QarvFileManagement::UpdateVideo(const VideoElement& element) {
    std::lock_guard lock(mutex_);
    return store_.UpdateVideo(element);
}

std::string QarvFileManagement::GetVideoPath(const VideoElement& element) const {
    if (!IsPlainName(element.Date) || !IsPlainName(element.FileName))
        return std::string();
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

void QarvFileManagement::ForEachEntry(
    const std::function<void(const std::string& date, const std::string& fileName)>& visit) const {
    std::lock_guard lock(mutex_);
    store_.ForEachEntry(visit);
}

}  // namespace qarv
