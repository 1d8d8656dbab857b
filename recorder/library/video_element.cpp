#include "recorder/library/video_element.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/file_util.h"
#include "common/paths.h"
#include "recorder/library/thumbnails.h"

namespace qarv {

bool VideoElement::operator==(const VideoElement& other) const {
    return Date == other.Date && FileName == other.FileName && IsFlag == other.IsFlag &&
           Category == other.Category && IsUpload == other.IsUpload && Duration == other.Duration &&
           Title == other.Title && Owner == other.Owner;
}

void VideoElement::BuildThumbnailList(const std::string& videoFolder) {
    Thumbnails.clear();
    if (!IsPlainName(Date) || !IsPlainName(FileName))
        return;
    const std::string videoPath = JoinPath(JoinPath(videoFolder, Date), FileName);
    for (int index = 0;; ++index) {
        std::string path = ThumbnailPath(videoPath, index);
        if (!FileExists(path))
            break;
        Thumbnails.push_back(std::move(path));
    }
}

ThumbnailIndex::ThumbnailIndex(std::string videoFolder) : videoFolder_(std::move(videoFolder)) {}

const ThumbnailIndex::Folder& ThumbnailIndex::FolderOf(const std::string& date) {
    const auto found = folders_.find(date);
    if (found != folders_.end())
        return found->second;
    Folder& folder = folders_[date];
    struct DirCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(JoinPath(videoFolder_, date).c_str()));
    if (dir == nullptr) {
        // A missing folder holds no thumbnails; any other failure is left to single lookups.
        folder.listed = errno == ENOENT || errno == ENOTDIR;
        return folder;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        // A link counts only if it leads somewhere, as it does for a single lookup.
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &status, 0) != 0)
                continue;
        }
        folder.names.insert(entry->d_name);
    }
    folder.listed = true;
    return folder;
}

void ThumbnailIndex::BuildThumbnailList(VideoElement& element) {
    element.Thumbnails.clear();
    if (!IsPlainName(element.Date) || !IsPlainName(element.FileName))
        return;
    const Folder& folder = FolderOf(element.Date);
    if (!folder.listed) {
        element.BuildThumbnailList(videoFolder_);
        return;
    }
    const std::string videoPath = JoinPath(JoinPath(videoFolder_, element.Date), element.FileName);
    const std::string base = BaseName(PathWithoutExtension(videoPath));
    for (int index = 0;; ++index) {
        const std::string name = base + "_" + std::to_string(index) + ".jpeg";
        if (folder.names.count(name) == 0)
            break;
        element.Thumbnails.push_back(ThumbnailPath(videoPath, index));
    }
}

bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find(PathSeparator()) == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string DateKey(const std::tm& localDate) {
    return std::to_string(localDate.tm_year + 1900) + "_" + std::to_string(localDate.tm_mon + 1) + "_" +
           std::to_string(localDate.tm_mday);
}

std::string TodayKey() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return DateKey(local);
}

std::string TimeOfDayText(const std::tm& localTime) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return text;
}

}  // namespace qarv
