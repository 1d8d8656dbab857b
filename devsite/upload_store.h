#pragma once
// The uploaded videos under the site's data folder: each complete upload is a numbered
// folder ("1", "2", ...) holding the video under its sent name made safe, and meta.json
// (title, desc, tags, account, size, file). An upload is written into a hidden partial
// folder and renamed to its number only once complete, so a numbered folder is never
// half-written. One data folder belongs to one running site.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_util.h"

namespace qarv {

struct UploadRecord {
    int number = 0;
    std::string account;
    std::string title;
    std::string desc;
    std::string tags;
    std::string fileName;  // as stored
    std::uint64_t size = 0;
};

inline constexpr std::size_t kMaxStoredNameBytes = 200;

// A sent file name made safe to store: only what follows the last '/' or '\', control
// characters replaced by '_', at most kMaxStoredNameBytes (cut on a UTF-8 character
// boundary). "", "." and ".." become "video"; "meta.json" becomes "_meta.json".
std::string SafeFileName(std::string_view sentName);

// The numbered uploads and their records. Thread-safe.
class UploadStore {
  public:
    // Uses `directory` (created if missing): removes partial folders left by an earlier run
    // and loads the records of the complete uploads, so numbering goes on after them. 0 or -1.
    int Open(const std::string& directory);

    // A new, empty partial folder for one upload; empty on failure.
    std::string CreatePartialFolder();

    // Completes the upload whose video is already in `partialFolder`: writes meta.json from
    // `record`, gives the folder the next number (set in `record`) and keeps the record. 0 or
    // -1 (the partial folder is then left for the caller to remove).
    int Commit(const std::string& partialFolder, UploadRecord* record);

    // The records of `account`'s uploads, oldest first.
    std::vector<UploadRecord> RecordsOf(const std::string& account) const;

    // The folder of upload `number`.
    std::string FolderOf(int number) const;

  private:
    std::string directory_;
    mutable std::mutex mutex_;
    int lastNumber_ = 0;
    std::vector<UploadRecord> records_;
};

// One upload in progress: its partial folder and its video file, written as the bytes
// arrive. The partial folder is removed unless the upload is committed. Used by one thread
// at a time.
class UploadWriter {
  public:
    UploadWriter(UploadStore* store, std::string account);
    ~UploadWriter();
    UploadWriter(const UploadWriter&) = delete;
    UploadWriter& operator=(const UploadWriter&) = delete;

    // Creates the video file, named after `sentName` made safe. 0, or -1 (also when a file
    // was already opened).
    int OpenFile(std::string_view sentName);
    // Appends to the video file. 0 or -1.
    int Write(const char* data, std::size_t length);
    bool fileOpened() const { return fileOpened_; }
    std::uint64_t size() const { return size_; }

    // Closes the file and stores the upload with its texts; fills `record`. 0 or -1.
    int Commit(const std::string& title, const std::string& desc, const std::string& tags,
               UploadRecord* record);

  private:
    UploadStore* store_;
    std::string account_;
    std::string folder_;
    std::string fileName_;
    std::vector<char> buffer_;  // the stream's buffer; outlives file_
    FilePtr file_;
    bool fileOpened_ = false;
    bool committed_ = false;
    std::uint64_t size_ = 0;
};

}  // namespace qarv
