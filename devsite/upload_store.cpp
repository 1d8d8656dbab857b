#include "devsite/upload_store.h"

#include <json/reader.h>
#include <json/value.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/text.h"
#include "devsite/envelope.h"

namespace qarv {
namespace {

namespace fs = std::filesystem;

constexpr char kMetaName[] = "meta.json";
constexpr char kPartialPrefix[] = ".partial-";
constexpr std::size_t kMaxMetaBytes = 1 << 20;
constexpr std::size_t kFileBufferBytes = 256 * 1024;

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() < 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string MemberText(const Json::Value& root, const char* name) {
    const Json::Value& value = root[name];
    return value.isString() ? value.asString() : std::string();
}

// The record in `folder`/meta.json, or false when it is missing or unreadable.
bool LoadRecord(const fs::path& folder, int number, UploadRecord* record) {
    std::string text;
    if (ReadWholeFile((folder / kMetaName).string(), kMaxMetaBytes, text) != kReadOk)
        return false;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, nullptr) || !root.isObject())
        return false;
    record->number = number;
    record->account = MemberText(root, "account");
    record->title = MemberText(root, "title");
    record->desc = MemberText(root, "desc");
    record->tags = MemberText(root, "tags");
    record->fileName = MemberText(root, "file");
    record->size = root["size"].isUInt64() ? root["size"].asUInt64() : 0;
    return !record->account.empty();
}

}  // namespace

std::string SafeFileName(std::string_view sentName) {
    const std::size_t separator = sentName.find_last_of("/\\");
    if (separator != std::string_view::npos)
        sentName.remove_prefix(separator + 1);
    std::string name(sentName);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '_';
    }
    TruncateOnCharBoundary(name, kMaxStoredNameBytes);
    if (name.empty() || name == "." || name == "..")
        return "video";
    if (name == kMetaName)
        return std::string("_") + kMetaName;
    return name;
}

int UploadStore::Open(const std::string& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (!fs::is_directory(directory, error))
        return -1;
    std::vector<UploadRecord> records;
    std::vector<fs::path> leftovers;
    int lastNumber = 0;
    fs::directory_iterator entry(directory, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.rfind(kPartialPrefix, 0) == 0) {
            leftovers.push_back(entry->path());
            continue;
        }
        std::error_code typeError;
        if (!AllDigits(name) || !entry->is_directory(typeError))
            continue;
        const int number = std::stoi(name);
        lastNumber = std::max(lastNumber, number);
        UploadRecord record;
        if (LoadRecord(entry->path(), number, &record))
            records.push_back(std::move(record));
    }
    if (error)
        return -1;
    for (const fs::path& leftover : leftovers)
        fs::remove_all(leftover, error);
    std::sort(records.begin(), records.end(),
              [](const UploadRecord& a, const UploadRecord& b) { return a.number < b.number; });
    std::lock_guard<std::mutex> lock(mutex_);
    directory_ = directory;
    lastNumber_ = lastNumber;
    records_ = std::move(records);
    return 0;
}

std::string UploadStore::CreatePartialFolder() {
    std::string pattern;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (directory_.empty())
            return {};
        pattern = directory_ + "/" + kPartialPrefix + "XXXXXX";
    }
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

int UploadStore::Commit(const std::string& partialFolder, UploadRecord* record) {
    Json::Value meta(Json::objectValue);
    meta["title"] = record->title;
    meta["desc"] = record->desc;
    meta["tags"] = record->tags;
    meta["account"] = record->account;
    meta["size"] = Json::UInt64(record->size);
    meta["file"] = record->fileName;
    if (WriteFileAtomically(partialFolder + "/" + kMetaName, RenderJsonLine(meta) + "\n") != 0)
        return -1;

    std::lock_guard<std::mutex> lock(mutex_);
    const int number = lastNumber_ + 1;
    const std::string folder = directory_ + "/" + std::to_string(number);
    std::error_code error;
    if (fs::exists(folder, error))
        return -1;
    fs::rename(partialFolder, folder, error);
    if (error)
        return -1;
    lastNumber_ = number;
    record->number = number;
    records_.push_back(*record);
    return 0;
}

std::vector<UploadRecord> UploadStore::RecordsOf(const std::string& account) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<UploadRecord> found;
    for (const UploadRecord& record : records_) {
        if (record.account == account)
            found.push_back(record);
    }
    return found;
}

std::string UploadStore::FolderOf(int number) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return directory_ + "/" + std::to_string(number);
}

UploadWriter::UploadWriter(UploadStore* store, std::string account)
    : store_(store), account_(std::move(account)) {}

UploadWriter::~UploadWriter() {
    file_.reset();
    if (!committed_ && !folder_.empty()) {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
}

int UploadWriter::OpenFile(std::string_view sentName) {
    if (fileOpened_)
        return -1;
    fileOpened_ = true;
    folder_ = store_->CreatePartialFolder();
    if (folder_.empty())
        return -1;
    fileName_ = SafeFileName(sentName);
    file_.reset(std::fopen((folder_ + "/" + fileName_).c_str(), "wxe"));
    if (!file_)
        return -1;
    buffer_.resize(kFileBufferBytes);
    std::setvbuf(file_.get(), buffer_.data(), _IOFBF, buffer_.size());
    return 0;
}

int UploadWriter::Write(const char* data, std::size_t length) {
    if (!file_)
        return -1;
    if (std::fwrite(data, 1, length, file_.get()) != length)
        return -1;
    size_ += length;
    return 0;
}

int UploadWriter::Commit(const std::string& title, const std::string& desc, const std::string& tags,
                         UploadRecord* record) {
    if (!file_ || committed_)
        return -1;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!closed)
        return -1;
    record->account = account_;
    record->title = title;
    record->desc = desc;
    record->tags = tags;
    record->fileName = fileName_;
    record->size = size_;
    if (store_->Commit(folder_, record) != 0)
        return -1;
    committed_ = true;
    return 0;
}

}  // namespace qarv
