#include "tests/recorder/sharing/upload_site.h"

#include <httplib.h>
#include <json/json.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "recorder/account/login_register.h"

namespace qarv::test {

UploadSite::UploadSite(const std::vector<std::string>& arguments, bool login) {
    std::vector<std::string> args = {"--port", "0", "--data", dir_.file("site")};
    args.insert(args.end(), arguments.begin(), arguments.end());
    port_ = process_.Start(QARV_DEVSITE_PATH, args, dir_.file("site.err"));
    std::filesystem::create_directories(dir_.file("Config"));
    std::filesystem::create_directories(dir_.file("Video/2015_3_5"));
    if (port_ <= 0) {
        error_ = "the site did not start: " + ReadFileText(dir_.file("site.err"));
    } else if (login) {
        LoginSettings settings;
        settings.cookieFile = dir_.file("Config/cookie.txt");
        LoginRegister client(settings);
        ServerInfo info;
        info.url = Settings().baseUrl;
        if (client.Login("TenoPalu", "kwp417", info) != 0 || client.LastCode() != 0)
            error_ = "the login failed: " + client.LastMessage();
        sessionId_ = client.SessionId();
    }
}

UploadSettings UploadSite::Settings() const {
    UploadSettings settings;
    settings.baseUrl = "http://127.0.0.1:" + std::to_string(port_) + "/";
    settings.videoFolder = dir_.file("Video");
    settings.cookieFile = dir_.file("Config/cookie.txt");
    settings.retryPauseMs = 100;
    return settings;
}

VideoElement UploadSite::MakeVideo(const std::string& fileName, const std::string& content,
                                   const std::string& title, const std::string& category) {
    VideoElement video;
    video.Date = "2015_3_5";
    video.FileName = fileName;
    video.Title = title;
    video.Category = category;
    WriteFileText(VideoPath(video), content);
    return video;
}

std::string UploadSite::VideoPath(const VideoElement& video) const {
    return dir_.file("Video/" + video.Date + "/" + video.FileName);
}

std::string UploadSite::StoredFile(int number, const std::string& fileName) const {
    return ReadFileText(dir_.file("site/uploads/" + std::to_string(number) + "/" + fileName));
}

Json::Value UploadSite::StoredMeta(int number) const {
    Json::Value meta;
    std::istringstream in(StoredFile(number, "meta.json"));
    std::string errors;
    Json::parseFromStream(Json::CharReaderBuilder(), in, &meta, &errors);
    return meta;
}

std::string UploadSite::UserVideoPage(int* status) const {
    httplib::Client client("127.0.0.1", port_);
    const auto reply = client.Get("/Rindle/user_video.php?sid=" + sessionId_);
    *status = reply ? reply->status : -1;
    return reply ? reply->body : std::string();
}

int UploadSite::UploadRequests() const {
    std::istringstream log(ReadFileText(dir_.file("site/requests.log")));
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find("\"path\":\"/upload_user_video\"") != std::string::npos ? 1 : 0;
    return count;
}

std::string RandomBytes(std::size_t bytes, unsigned seed) {
    std::mt19937 generator(seed);
    std::string text(bytes, '\0');
    for (char& c : text)
        c = static_cast<char>(generator());
    return text;
}

bool WaitFor(RecordingMessageTarget& target, unsigned message, long atLeast, long* value) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (std::size_t seen = 0;; ++seen) {
        if (!target.WaitForCount(seen + 1, std::chrono::duration_cast<std::chrono::milliseconds>(
                                               deadline - std::chrono::steady_clock::now())))
            return false;
        const PostedMessage posted = target.messages()[seen];
        if (posted.message == message && posted.lParam >= atLeast) {
            if (value != nullptr)
                *value = static_cast<long>(posted.lParam);
            return true;
        }
    }
}

std::vector<long> ValuesOf(const RecordingMessageTarget& target, unsigned message, std::uintptr_t index) {
    std::vector<long> values;
    for (const PostedMessage& posted : target.messages()) {
        if (posted.message == message && posted.wParam == index)
            values.push_back(static_cast<long>(posted.lParam));
    }
    return values;
}

int CountLogLines(const std::string& text) {
    std::istringstream log(ReadFileText("Log/log.log"));
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

}  // namespace qarv::test
