#include "recorder/library/orphan_recordings.h"

#include <algorithm>
#include <charconv>
#include <tuple>
#include <unordered_set>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/process.h"
#include "recorder/library/media_probe.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/recording_repair.h"
#include "recorder/library/thumbnails.h"
#include "recorder/library/video_element.h"

namespace qarv {

namespace fs = std::filesystem;

namespace {

// Reads the decimal number at the start of `text` without a leading zero; the rest of the
// text is left in `text`. False if there is none or it lies outside [low, high].
bool TakeNumber(std::string_view& text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const std::size_t length = static_cast<std::size_t>(end - text.data());
    if (error != std::errc() || (length > 1 && text.front() == '0') || value < low || value > high)
        return false;
    text.remove_prefix(length);
    return true;
}

bool TakeSeparator(std::string_view& text) {
    if (text.empty() || text.front() != '_')
        return false;
    text.remove_prefix(1);
    return true;
}

// The extension of a file name (after its last "."), or "" if it has none.
std::string_view Extension(std::string_view name) {
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

bool IsRecordingName(std::string_view name) {
    const std::string_view extension = Extension(name);
    return name.size() > extension.size() + 1 && std::find(kRecordingFormats.begin(), kRecordingFormats.end(),
                                                           extension) != kRecordingFormats.end();
}

// The key of an entry in the set of catalogued recordings; neither part holds a separator.
std::string EntryKey(const std::string& date, const std::string& fileName) {
    return date + '/' + fileName;
}

// Calls `visit` with every entry of `folder`; a folder that cannot be read (or stops being
// readable) ends the listing.
template <typename Visit>
void ForEachEntry(const fs::path& folder, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
         entry.increment(error)) {
        visit(*entry);
    }
}

// An empty `proceed` never stops the work.
bool Proceeds(const std::function<bool()>& proceed) {
    return !proceed || proceed();
}

}  // namespace

bool IsDateKey(std::string_view name) {
    return TakeNumber(name, 1, 9999) && TakeSeparator(name) && TakeNumber(name, 1, 12) &&
           TakeSeparator(name) && TakeNumber(name, 1, 31) && name.empty();
}

OrphanRecordings::OrphanRecordings(QarvFileManagement& catalogue)
    : catalogue_(catalogue), startedAt_(fs::file_time_type::clock::now()) {}

std::vector<OrphanRecordings::Recording> OrphanRecordings::Find() {
    // Names only: no listing of the day folders for thumbnails.
    std::unordered_set<std::string> catalogued;
    catalogue_.ForEachEntry([&catalogued](const std::string& date, const std::string& fileName) {
        // An entry whose names are not plain names holds no file of a day folder.
        if (IsPlainName(date) && IsPlainName(fileName))
            catalogued.insert(EntryKey(date, fileName));
    });

    std::vector<Recording> found;
    ForEachEntry(catalogue_.GetVideoFolder(), [&](const fs::directory_entry& day) {
        const std::string date = day.path().filename().string();
        std::error_code error;
        if (!IsDateKey(date) || !day.is_directory(error))
            return;
        ForEachEntry(day.path(), [&](const fs::directory_entry& file) {
            const std::string name = file.path().filename().string();
            if (IsRepairTemporary(name)) {
                RemoveStaleTemporary(file.path().string());
            } else if (IsRecordingName(name) && !catalogued.contains(EntryKey(date, name))) {
                found.push_back({date, name, file.path().string()});
            }
        });
    });
    std::sort(found.begin(), found.end(), [](const Recording& a, const Recording& b) {
        return std::tie(a.date, a.fileName) < std::tie(b.date, b.fileName);
    });
    return found;
}

int OrphanRecordings::Adopt(const Recording& recording, const std::function<bool()>& proceed) {
    const std::string& path = recording.path;
    std::error_code error;
    if (!fs::is_regular_file(path, error) || ChangedSinceStart(path) || IsFileOpenByOtherProcess(path))
        return kSkipped;
    const std::uintmax_t size = fs::file_size(path, error);
    double seconds = 0;
    if (error || size == 0 || ProbeDuration(path, seconds) != 0) {
        LogWarn(__LINE__, kSrcQarvFileManagement, kCodeOrphanUnreadable, kMsgOrphanUnreadable, path.c_str());
        return kUnreadable;
    }

    // An FLV cut off before its trailer states a length of 0, which is what players show. A
    // recording that could not be rewritten still plays; it is taken as it is.
    const int repaired = RepairIfCutOff(path, proceed);
    if (repaired == -3)
        return kStopped;
    if (repaired == 0)
        LogWarn(__LINE__, kSrcQarvFileManagement, kCodeOrphanRepaired, kMsgOrphanRepaired, path.c_str());

    const std::vector<int> positions = ThumbnailSeconds(seconds);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (!Proceeds(proceed))
            return kStopped;
        CaptureJpeg(path, positions[i], static_cast<int>(i));
    }

    VideoElement element;
    element.Date = recording.date;
    element.FileName = recording.fileName;
    catalogue_.AddFile(element);
    LogWarn(__LINE__, kSrcQarvFileManagement, kCodeOrphanAdopted, kMsgOrphanAdopted, path.c_str());
    return kAdopted;
}

OrphanRecordings::Summary OrphanRecordings::AdoptAll(const std::function<bool()>& proceed,
                                                     const std::function<void()>& adopted) {
    Summary summary;
    const std::vector<Recording> found = Find();
    summary.found = static_cast<int>(found.size());
    for (const Recording& recording : found) {
        if (!Proceeds(proceed))
            break;
        if (Adopt(recording, proceed) == kAdopted) {
            ++summary.adopted;
            if (adopted)
                adopted();
        }
    }
    return summary;
}

bool OrphanRecordings::ChangedSinceStart(const std::string& path) const {
    std::error_code error;
    const fs::file_time_type changed = fs::last_write_time(path, error);
    return error || changed >= startedAt_;
}

void OrphanRecordings::RemoveStaleTemporary(const std::string& path) const {
    // A repair still writing its file is this session's (changed since the start) or
    // another process's (open).
    if (ChangedSinceStart(path) || IsFileOpenByOtherProcess(path))
        return;
    std::error_code error;
    fs::remove(path, error);
}

}  // namespace qarv
