#pragma once
// The video catalogue file ("./Video/VideoInfo.xml") held in memory as a ThirdNode tree: a
// root with one date list per day and one entry per recording. The tree is the authority;
// every change is made to it and then the whole tree is written out. Used by one thread at
// a time (QarvFileManagement serialises the calls).

#include <string>
#include <vector>

#include "common/third_node.h"
#include "recorder/library/video_element.h"

namespace qarv {

class VideoInfoXml {
  public:
    // Opens the catalogue at `path`, whose recordings lie in `videoFolder` (used to find
    // their thumbnails). A missing file is created with the declaration and an empty
    // VideoRoot. A file that cannot be read as XML is renamed to
    // "<path>.broken-YYYYMMDD-HHMMSS" (bytes kept, logged) and replaced by an empty one;
    // if it cannot be moved aside it is never overwritten.
    VideoInfoXml(std::string path, std::string videoFolder);
    virtual ~VideoInfoXml() = default;
    VideoInfoXml(const VideoInfoXml&) = delete;
    VideoInfoXml& operator=(const VideoInfoXml&) = delete;

    // Clears `list`, then appends every entry: date lists in file order, entries in file
    // order within each, with their thumbnails looked up. Always 0.
    int ListAll(std::vector<VideoElement>& list) const;

    // Appends an entry for `element` to the date list of element.Date (created at the end if
    // there is none) and saves. Returns the result of Save.
    int AddVideo(const VideoElement& element);
    // Removes every entry of element.Date named element.FileName (the date list stays, even
    // when empty) and saves. 0 also when there is no such date list (nothing saved); else
    // the result of Save.
    int RemoveVideo(const VideoElement& element);
    // Sets the marks, category and title of the first entry of element.Date named
    // element.FileName, each only where the entry already has that attribute, and saves.
    // 0; -1 if there is no such entry (nothing saved); -2 if the save failed (the tree keeps
    // the change).
    int UpdateVideo(const VideoElement& element);
    // Writes the whole tree to the file, replacing it atomically. 0, or -1 (logged; the
    // tree is unchanged).
    int Save();

    const std::string& path() const { return path_; }
    const ThirdNode& root() const { return root_; }

  private:
    void Load();
    bool SetAside();
    ThirdNode* FindDateList(const std::string& date);

    std::string path_;
    std::string videoFolder_;
    ThirdNode root_;
    // False while an unreadable file that could not be moved aside lies at the path.
    bool mayWrite_ = true;
};

}  // namespace qarv
