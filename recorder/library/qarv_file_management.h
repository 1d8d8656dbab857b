#pragma once
// The recorder's video library: owns the catalogue (VideoInfoXml), knows where the video
// files lie (video folder / date key / file name) and performs the file-system side of
// adding and deleting recordings. One process-wide instance (GetInstance). Thread-safe:
// every catalogue operation runs under one lock; AddFile probes the video before taking it.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/library/video_element.h"
#include "recorder/library/video_info_xml.h"

namespace qarv {

class QarvFileManagement {
  public:
    // The process-wide manager. The first call makes it for the recorder's video folder
    // (QarvRecordInfoCenter) and the catalogue "./Video/VideoInfo.xml", creating the file
    // if it is missing and reading it.
    static std::shared_ptr<QarvFileManagement> GetInstance();

    QarvFileManagement(std::string videoFolder, std::string cataloguePath);
    virtual ~QarvFileManagement();
    QarvFileManagement(const QarvFileManagement&) = delete;
    QarvFileManagement& operator=(const QarvFileManagement&) = delete;

    // Registers the finished recording at GetVideoPath(element) under element.Date as given
    // (a recording that ran past midnight keeps the day it started), with element's file
    // name, title, category and marks; Duration (the probed length, rounded) and Time (the
    // file's last change) are filled here. The new entry takes the place of any entry of that
    // day with that file name: one entry per file name and day, describing the file that is
    // there. Nothing is added if the file is missing or cannot be probed, or if the date or
    // file name is not a plain name (0 then). 0; -1 if the catalogue could not be saved
    // (logged; nothing added).
    int AddFile(const VideoElement& element);
    // Deletes the recording's video file and thumbnails 0-4 and removes its entry. Where an
    // older catalogue names the file in more than one entry of that day, only the entry is
    // removed (the one equal to `element`, else the first of that name) and the files stay
    // for the others. A video file that is already gone only has its entry (and any
    // thumbnails left) removed. 0; -1 if a file could not be deleted or the catalogue could
    // not be saved (the entry stays), or the date or file name is not a plain name (nothing
    // is touched).
    int DeleteFile(const VideoElement& element);
    // The file names the catalogue holds for the day `date`, whether or not their files are
    // there (the names a new recording of that day must not take).
    std::vector<std::string> GetFileNamesByDate(const std::string& date) const;
    // Appends to `list` every entry whose Date equals `date`, in file order. Always 0.
    int GetVideosByDate(const std::string& date, std::vector<VideoElement>& list,
                        ThumbnailLookup lookup = ThumbnailLookup::kLookUp);
    // The catalogue's operations for the pages, under the lock (see VideoInfoXml).
    int ListAll(std::vector<VideoElement>& list, ThumbnailLookup lookup = ThumbnailLookup::kLookUp);
    int UpdateVideo(const VideoElement& element);

    // video folder / Date / FileName; empty if Date or FileName is not a plain name
    // (IsPlainName), so that no entry leads outside its day folder.
    std::string GetVideoPath(const VideoElement& element) const;
    // Today's date key by the local clock.
    std::string GetTodayKey() const;
    // "HH:MM:SS" of the last modification of `path` in local time: 0, or -1 if the file does
    // not exist (`text` then unchanged, as it is when the status cannot be read).
    static int GetFileTimeText(const std::string& path, std::string& text);

    // Calls `visit` with the date and file name of every entry (see VideoInfoXml), under the
    // lock: `visit` must not call the manager.
    void ForEachEntry(
        const std::function<void(const std::string& date, const std::string& fileName)>& visit) const;
    const std::string& GetVideoFolder() const { return videoFolder_; }
    const std::string& GetCataloguePath() const { return store_.path(); }

  private:
    const std::string videoFolder_;
    mutable std::mutex mutex_;
    VideoInfoXml store_;  // guarded by mutex_
};

}  // namespace qarv
