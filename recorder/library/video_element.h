#pragma once
// One entry of the video catalogue: a finished recording with its marks, title, category
// and length, plus the date key helpers that name the day folders. A value type, used by
// one thread at a time.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qarv {

// The owner tag every entry carries (not stored in the catalogue file).
inline constexpr const char kDefaultOwner[] = "VipUser";

class VideoElement {
  public:
    VideoElement() = default;
    VideoElement(const VideoElement&) = default;
    VideoElement(VideoElement&&) = default;
    VideoElement& operator=(const VideoElement&) = default;
    VideoElement& operator=(VideoElement&&) = default;
    virtual ~VideoElement() = default;

    // Equal when Date, FileName, IsFlag, Category, IsUpload, Duration, Title and Owner are;
    // Time and Thumbnails take no part.
    bool operator==(const VideoElement& other) const;

    // Fills Thumbnails with the pictures present in `videoFolder`/Date: the file name without
    // its extension, then "_0.jpeg", "_1.jpeg", ... up to the first one missing. None if Date
    // or FileName is not a plain name.
    void BuildThumbnailList(const std::string& videoFolder);

    std::string GetCategory() const { return Category; }
    std::string GetFileName() const { return FileName; }
    std::string GetDate() const { return Date; }
    std::string GetTitle() const { return Title; }
    std::string GetOwner() const { return Owner; }
    std::string GetTime() const { return Time; }

    std::vector<std::string> Thumbnails;  // full paths of the existing pictures, index order
    std::string FileName;                 // with its extension
    bool IsFlag = false;                  // favourite
    bool IsUpload = false;                // shared
    std::string Category;                 // game category
    std::string Date;                     // date key of the day folder, e.g. "2014_9_9"
    std::int32_t Duration = 0;            // whole seconds
    std::string Title;
    std::string Owner = kDefaultOwner;
    std::string Time;  // "HH:MM:SS" of the file's last change
};

// Finds the thumbnails of many entries, as BuildThumbnailList does, but lists each day folder
// once instead of looking every picture up on its own. Used by one thread at a time; it
// sees the folders as they were when first listed.
class ThumbnailIndex {
  public:
    explicit ThumbnailIndex(std::string videoFolder);

    // Fills element.Thumbnails (none if its Date or FileName is not a plain name).
    void BuildThumbnailList(VideoElement& element);

  private:
    struct Folder {
        bool listed = false;  // false: the folder could not be listed; look files up one by one
        std::unordered_set<std::string> names;
    };
    const Folder& FolderOf(const std::string& date);

    std::string videoFolder_;
    std::unordered_map<std::string, Folder> folders_;
};

// True if `name` (a date key or a file name) stays directly inside its folder when joined to
// it: not empty, not "." or "..", without a separator or a NUL. Only entries whose Date and
// FileName are plain names have a path; a crafted catalogue may hold any other text.
bool IsPlainName(std::string_view name);

// The date key of a local date: "%d_%d_%d" of year, month (1-12) and day without leading
// zeros, e.g. "2015_3_5".
std::string DateKey(const std::tm& localDate);

// The date key of today by the local clock.
std::string TodayKey();

// "HH:MM:SS" of a local time of day, two digits each.
std::string TimeOfDayText(const std::tm& localTime);

}  // namespace qarv
