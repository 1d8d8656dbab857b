#include "recorder/library/video_info_xml.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <utility>

#include "common/file_util.h"
#include "common/log.h"
#include "common/text.h"
#include "common/xml_file.h"

namespace qarv {

namespace {

constexpr char kSource[] = "VideoInfoXml";
// ERROR: the catalogue file could not be read.
constexpr int kCodeCatalogueUnreadable = -7;
// WARN: a recording took the place of the entries that held its file name.
constexpr int kCodeEntryReplaced = -22;

constexpr char kRootName[] = "VideoRoot";
constexpr char kDateListName[] = "DateList";
constexpr char kEntryName[] = "Element";
constexpr char kDateAttribute[] = "Date";
constexpr char kFlagAttribute[] = "IsFlag";
constexpr char kUploadAttribute[] = "IsUpload";
constexpr char kCategoryAttribute[] = "Catogery";  // sic: the file format spells it so
constexpr char kDurationAttribute[] = "Duration";
constexpr char kTitleAttribute[] = "Title";
constexpr char kTimeAttribute[] = "Time";

const ThirdDeclaration kDeclaration{"1.0", "gb2312", "no"};

// The value of attribute `name`, or "" if `node` has none.
const std::string& AttributeOrEmpty(const ThirdNode& node, std::string_view name) {
    static const std::string kEmpty;
    const std::string* value = node.AttributeValue(name);
    return value != nullptr ? *value : kEmpty;
}

// A mark reads as set only when its attribute is exactly "1".
bool ReadMark(const ThirdNode& node, std::string_view name) {
    return AttributeOrEmpty(node, name) == "1";
}

const char* MarkText(bool mark) {
    return mark ? "1" : "0";
}

// Sets the value of the first attribute called `name`, if `node` has one.
void SetExistingAttribute(ThirdNode& node, const char* name, const std::string& value) {
    for (ThirdAttribute& attribute : node.attributes()) {
        if (EqualsIgnoreAsciiCase(attribute.name(), name)) {
            attribute.set_value(value);
            return;
        }
    }
}

// "YYYYMMDD-HHMMSS" of the local time now.
std::string TimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The entry `entry` of the date list of `date`, without its thumbnails.
VideoElement EntryElement(const ThirdNode& entry, const std::string& date) {
    VideoElement element;
    element.Category = AttributeOrEmpty(entry, kCategoryAttribute);
    const std::string* duration = entry.AttributeValue(kDurationAttribute);
    element.Duration = duration != nullptr ? ParseIntLikeAtoi(*duration) : 0;
    element.Title = AttributeOrEmpty(entry, kTitleAttribute);
    element.Time = AttributeOrEmpty(entry, kTimeAttribute);
    element.IsFlag = ReadMark(entry, kFlagAttribute);
    element.IsUpload = ReadMark(entry, kUploadAttribute);
    element.FileName = entry.text();
    element.Date = date;
    return element;
}

bool IsDateList(const ThirdNode& dateList, const std::string& date) {
    return AttributeOrEmpty(dateList, kDateAttribute) == date;
}

}  // namespace

VideoInfoXml::VideoInfoXml(std::string path, std::string videoFolder)
    : path_(std::move(path)),
      videoFolder_(std::move(videoFolder)),
      root_(kRootName),
      file_(path_, kDeclaration) {
    Load();
}

void VideoInfoXml::Load() {
    ThirdNode loaded;
    const int result = LoadXmlFile(path_, loaded);
    if (result == 0) {
        // Whatever the root and its children are called, they are read as the catalogue.
        root_ = std::move(loaded);
        return;
    }
    root_ = ThirdNode(kRootName);
    if (result == -1 && !FileExists(path_)) {
        Save();
        return;
    }
    // The file is there but unusable; a save would destroy it, so it is moved aside first.
    mayWrite_ = false;
    if (SetAside())
        Save();
}

bool VideoInfoXml::SetAside() {
    const std::string stamped = path_ + ".broken-" + TimeStamp();
    std::string aside = stamped;
    for (int n = 1; FileExists(aside); ++n)
        aside = stamped + "-" + std::to_string(n);
    if (std::rename(path_.c_str(), aside.c_str()) != 0) {
        LogError(__LINE__, kSource, kCodeCatalogueUnreadable,
                 "Unreadable video catalogue %s cannot be moved aside; it is not overwritten", path_.c_str());
        return false;
    }
    LogError(__LINE__, kSource, kCodeCatalogueUnreadable,
             "Unreadable video catalogue %s moved aside to %s; starting an empty one", path_.c_str(),
             aside.c_str());
    mayWrite_ = true;
    return true;
}

int VideoInfoXml::ListAll(std::vector<VideoElement>& list, ThumbnailLookup lookup) const {
    list.clear();
    std::size_t entries = 0;
    for (const ThirdNode& dateList : root_.children())
        entries += dateList.children().size();
    list.reserve(entries);
    ListDateLists(nullptr, list, lookup);
    return 0;
}

int VideoInfoXml::ListByDate(const std::string& date, std::vector<VideoElement>& list,
                             ThumbnailLookup lookup) const {
    ListDateLists(&date, list, lookup);
    return 0;
}

void VideoInfoXml::ListDateLists(const std::string* date, std::vector<VideoElement>& list,
                                 ThumbnailLookup lookup) const {
    ThumbnailIndex thumbnails(videoFolder_);
    for (const ThirdNode& dateList : root_.children()) {
        const std::string& listDate = AttributeOrEmpty(dateList, kDateAttribute);
        if (date != nullptr && listDate != *date)
            continue;
        for (const ThirdNode& entry : dateList.children()) {
            list.push_back(EntryElement(entry, listDate));
            if (lookup == ThumbnailLookup::kLookUp)
                thumbnails.BuildThumbnailList(list.back());
        }
    }
}

void VideoInfoXml::ForEachEntry(
    const std::function<void(const std::string& date, const std::string& fileName)>& visit) const {
    for (const ThirdNode& dateList : root_.children()) {
        const std::string& date = AttributeOrEmpty(dateList, kDateAttribute);
        for (const ThirdNode& entry : dateList.children())
            visit(date, entry.text());
    }
}

int VideoInfoXml::CountVideos(const std::string& date, const std::string& fileName) const {
    int count = 0;
    for (const ThirdNode& dateList : root_.children()) {
        if (IsDateList(dateList, date))
            count += static_cast<int>(
                std::count_if(dateList.children().begin(), dateList.children().end(),
                              [&](const ThirdNode& entry) { return entry.text() == fileName; }));
    }
    return count;
}

ThirdNode* VideoInfoXml::FindDateList(const std::string& date) {
    for (ThirdNode& dateList : root_.children()) {
        if (IsDateList(dateList, date))
            return &dateList;
    }
    return nullptr;
}

VideoInfoXml::Before VideoInfoXml::Remember(const std::string& date) const {
    Before before;
    before.rootChildren = root_.children().size();
    for (std::size_t i = 0; i < root_.children().size(); ++i) {
        if (IsDateList(root_.children()[i], date))
            before.dateLists.emplace_back(i, root_.children()[i]);
    }
    return before;
}

int VideoInfoXml::SaveOrRestore(Before before) {
    std::vector<ThirdNode>& dateLists = root_.children();
    for (const auto& [index, dateList] : before.dateLists)
        file_.MarkChanged(index);
    for (std::size_t i = before.rootChildren; i < dateLists.size(); ++i)
        file_.MarkChanged(i);
    if (Save() == 0)
        return 0;
    dateLists.resize(before.rootChildren);
    for (auto& [index, dateList] : before.dateLists) {
        dateLists[index] = std::move(dateList);
        file_.MarkChanged(index);
    }
    return -1;
}

int VideoInfoXml::AddVideo(const VideoElement& element) {
    Before before = Remember(element.Date);
    // One entry per file name and day: the file at that name is the one being added.
    std::size_t replaced = 0;
    for (ThirdNode& dateList : root_.children()) {
        if (IsDateList(dateList, element.Date))
            replaced += std::erase_if(dateList.children(), [&element](const ThirdNode& entry) {
                return entry.text() == element.FileName;
            });
    }
    ThirdNode* dateList = FindDateList(element.Date);
    if (dateList == nullptr) {
        ThirdNode created(kDateListName);
        created.AddAttribute(kDateAttribute, element.Date);
        root_.children().push_back(std::move(created));
        dateList = &root_.children().back();
    }
    ThirdNode entry(kEntryName, element.FileName);
    entry.AddAttribute(kFlagAttribute, MarkText(element.IsFlag));
    entry.AddAttribute(kUploadAttribute, MarkText(element.IsUpload));
    entry.AddAttribute(kCategoryAttribute, element.Category);
    entry.AddIntAttribute(kDurationAttribute,
                          element.Duration > 0 ? static_cast<unsigned long>(element.Duration) : 0ul);
    entry.AddAttribute(kTitleAttribute, element.Title);
    entry.AddAttribute(kTimeAttribute, element.Time);
    dateList->children().push_back(std::move(entry));
    const int result = SaveOrRestore(std::move(before));
    if (result == 0 && replaced > 0) {
        LogWarn(__LINE__, kSource, kCodeEntryReplaced,
                "Catalogue entries of %s/%s (%zu) replaced by the new one", element.Date.c_str(),
                element.FileName.c_str(), replaced);
    }
    return result;
}

int VideoInfoXml::RemoveVideo(const VideoElement& element) {
    ThirdNode* dateList = FindDateList(element.Date);
    if (dateList == nullptr)
        return 0;
    Before before = Remember(element.Date);
    std::erase_if(dateList->children(),
                  [&element](const ThirdNode& entry) { return entry.text() == element.FileName; });
    return SaveOrRestore(std::move(before));
}

int VideoInfoXml::RemoveEntry(const VideoElement& element) {
    const std::optional<EntryPosition> position = FindEntry(element);
    if (!position)
        return 0;
    Before before = Remember(element.Date);
    std::vector<ThirdNode>& entries = root_.children()[position->dateList].children();
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(position->entry));
    return SaveOrRestore(std::move(before));
}

std::optional<VideoInfoXml::EntryPosition> VideoInfoXml::FindEntry(const VideoElement& element) const {
    std::optional<EntryPosition> first;
    const std::vector<ThirdNode>& dateLists = root_.children();
    for (std::size_t list = 0; list < dateLists.size(); ++list) {
        if (!IsDateList(dateLists[list], element.Date))
            continue;
        const std::vector<ThirdNode>& entries = dateLists[list].children();
        for (std::size_t entry = 0; entry < entries.size(); ++entry) {
            if (entries[entry].text() != element.FileName)
                continue;
            if (EntryElement(entries[entry], element.Date) == element)
                return EntryPosition{list, entry};
            if (!first)
                first = EntryPosition{list, entry};
        }
    }
    return first;
}

int VideoInfoXml::UpdateVideo(const VideoElement& element) {
    ThirdNode* dateList = FindDateList(element.Date);
    if (dateList == nullptr)
        return -1;
    for (ThirdNode& entry : dateList->children()) {
        if (entry.text() != element.FileName)
            continue;
        Before before = Remember(element.Date);
        SetExistingAttribute(entry, kFlagAttribute, MarkText(element.IsFlag));
        SetExistingAttribute(entry, kUploadAttribute, MarkText(element.IsUpload));
        SetExistingAttribute(entry, kCategoryAttribute, element.Category);
        SetExistingAttribute(entry, kTitleAttribute, element.Title);
        return SaveOrRestore(std::move(before)) == 0 ? 0 : -2;
    }
    return -1;
}

int VideoInfoXml::Save() {
    // An unreadable file still at the path is moved aside before anything replaces it.
    if (!mayWrite_ && !SetAside())
        return -1;
    return file_.Save(root_);
}

}  // namespace qarv
