#pragma once
// Finds the recordings in the video folder's day folders that no catalogue entry holds (their
// recorder ended without finishing them) and takes them into the catalogue, repairing a
// cut-off FLV first. Used by one thread at a time; the catalogue itself is thread-safe.

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qarv {

class QarvFileManagement;

// The container formats the recorder writes, as the extensions of its file names.
inline constexpr std::array<std::string_view, 4> kRecordingFormats = {"flv", "mpeg", "ts", "mts"};

// True if `name` is a date key as DateKey writes it: year, month 1-12 and day 1-31 joined by
// "_", without leading zeros (e.g. "2015_3_5").
bool IsDateKey(std::string_view name);

class OrphanRecordings {
  public:
    struct Recording {
        std::string date;  // the day folder's name
        std::string fileName;
        std::string path;
    };
    struct Summary {
        int found = 0;    // recordings that no entry held
        int adopted = 0;  // of those, taken into the catalogue
    };
    // Results of Adopt.
    enum AdoptResult {
        kAdopted = 0,
        kSkipped = 1,      // gone, still open by another process, or changed by this session
        kUnreadable = -1,  // empty or not readable as media: left as it is (logged)
        kStopped = -3,     // `proceed` returned false; the file is left for the next start
    };

    // Works on the catalogue's video folder. Files changed from now on belong to this
    // session's recordings and are never taken.
    explicit OrphanRecordings(QarvFileManagement& catalogue);

    // Lists the day folders (folders named by a date key directly under the video folder)
    // once each and returns, in date and name order, the files with a recording's extension
    // that the catalogue does not hold; catalogued files are not opened. Removes the
    // temporary files of repairs that a crash interrupted.
    std::vector<Recording> Find();

    // Takes one recording found by Find into the catalogue, if no other process has it open:
    // an FLV whose header states no length is repaired, its thumbnails are made, and it is
    // added under its day folder's date with its file name (logged). `proceed` (if given) is
    // polled between the slow steps.
    int Adopt(const Recording& recording, const std::function<bool()>& proceed);

    // Find, then Adopt each while `proceed` (if given) returns true; `adopted` (if given) is
    // called after each recording taken into the catalogue.
    Summary AdoptAll(const std::function<bool()>& proceed, const std::function<void()>& adopted);

  private:
    bool ChangedSinceStart(const std::string& path) const;
    void RemoveStaleTemporary(const std::string& path) const;

    QarvFileManagement& catalogue_;
    const std::filesystem::file_time_type startedAt_;
};

}  // namespace qarv
