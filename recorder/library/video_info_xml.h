#pragma once
// The video catalogue file ("./Video/VideoInfo.xml") held in memory as a ThirdNode tree: a
// root with one date list per day and one entry per recording. The tree is the authority;
// every change is made to it and then the whole tree is written out (only the date lists
// changed are printed anew). Used by one thread at
// a time (QarvFileManagement serialises the calls).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/third_node.h"
#include "common/xml_file.h"
#include "recorder/library/video_element.h"

namespace qarv {

// Whether a listing looks up each entry's thumbnails on disk. A page that shows a few entries
// at a time looks them up for those only.
enum class ThumbnailLookup { kLookUp, kSkip };

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
    // order within each, with their thumbnails looked up unless told to skip them. Always 0.
    int ListAll(std::vector<VideoElement>& list, ThumbnailLookup lookup = ThumbnailLookup::kLookUp) const;
    // Appends the entries of every date list of `date`, as ListAll lists them. Always 0.
    int ListByDate(const std::string& date, std::vector<VideoElement>& list,
                   ThumbnailLookup lookup = ThumbnailLookup::kLookUp) const;

    // Calls `visit` with the date and file name of every entry, in the order ListAll lists
    // them, without making VideoElement values.
    void ForEachEntry(
        const std::function<void(const std::string& date, const std::string& fileName)>& visit) const;

    // Number of entries of `date` (in every date list of that date) named `fileName`.
    int CountVideos(const std::string& date, const std::string& fileName) const;

    // Each change below is made to the tree and saved; if the save fails it is undone, so
    // the tree holds what its callers were told, and the next save writes all of it.

    // Appends an entry for `element` to the first date list of element.Date (created at the
    // end if there is none), in place of every entry of that day named element.FileName (the
    // file at that name is the one being added: one entry per file name and day), and
    // saves. 0, or -1 if the save failed.
    int AddVideo(const VideoElement& element);
    // Removes every entry of the first date list of element.Date named element.FileName (the
    // date list stays, even when empty) and saves. 0 also when there is no such date list
    // (nothing saved); -1 if the save failed.
    int RemoveVideo(const VideoElement& element);
    // Removes one entry of element.Date named element.FileName: the first that equals
    // `element` (see VideoElement::operator==), else the first of that name. 0 also when there
    // is none (nothing saved); -1 if the save failed.
    int RemoveEntry(const VideoElement& element);
    // Sets the marks, category and title of the first entry of element.Date named
    // element.FileName, each only where the entry already has that attribute, and saves.
    // 0; -1 if there is no such entry (nothing saved); -2 if the save failed.
    int UpdateVideo(const VideoElement& element);
    // Writes the whole tree to the file, replacing it atomically. 0, or -1 (logged; the
    // tree is unchanged).
    int Save();

    const std::string& path() const { return path_; }
    const ThirdNode& root() const { return root_; }

  private:
    struct EntryPosition {
        std::size_t dateList;  // index among the root's children
        std::size_t entry;     // index among that date list's children
    };

    void Load();
    bool SetAside();
    // Appends the entries of the date lists of `date` (of all of them if null).
    void ListDateLists(const std::string* date, std::vector<VideoElement>& list,
                       ThumbnailLookup lookup) const;
    ThirdNode* FindDateList(const std::string& date);
    // The entry RemoveEntry takes, if there is one.
    std::optional<EntryPosition> FindEntry(const VideoElement& element) const;
    // The date lists a change to the entries of `date` may touch, as they are now.
    struct Before {
        std::vector<std::pair<std::size_t, ThirdNode>> dateLists;  // index among the root's children
        std::size_t rootChildren = 0;
    };
    Before Remember(const std::string& date) const;
    // Save(); on failure puts the date lists back as `before` holds them (and drops a date list
    // created since). 0 or -1.
    int SaveOrRestore(Before before);

    std::string path_;
    std::string videoFolder_;
    ThirdNode root_;
    IncrementalXmlFile file_;
    // False while an unreadable file that could not be moved aside lies at the path.
    bool mayWrite_ = true;
};

}  // namespace qarv
