#include "tests/devsite/site_client.h"

#include <json/reader.h>

#include <cctype>
#include <cstdio>
#include <fstream>

namespace qarv::test {

Json::Value ParseJson(const std::string& text) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, nullptr))
        return Json::Value();
    return root;
}

std::vector<Json::Value> ReadJsonLines(const std::string& path) {
    std::vector<Json::Value> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(ParseJson(line));
    return lines;
}

std::string UrlEscape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xf];
        }
    }
    return escaped;
}

void SiteTest::TearDown() {
    StopSite();
}

void SiteTest::StartSite(SiteOptions options) {
    options.dataDir = DataDir();
    site_ = std::make_unique<SiteServer>(options);
    std::string error;
    ASSERT_EQ(site_->Start(0, &error), 0) << error;
    ASSERT_GT(site_->port(), 0);
}

void SiteTest::StopSite() {
    if (site_)
        site_->Stop();
    site_.reset();
}

httplib::Client SiteTest::Client(int readTimeoutSeconds) const {
    httplib::Client client("127.0.0.1", site_->port());
    client.set_read_timeout(readTimeoutSeconds, 0);
    client.set_connection_timeout(5, 0);
    return client;
}

std::string SiteTest::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(site_->port()) + "/";
}

httplib::Result SiteTest::LoginRequest(const std::string& account, const std::string& password) {
    return Client().Get("/login.php?account=" + UrlEscape(account) +
                        "&pass=" + EncodePasswordForTest(password) + "&from=Vantu");
}

std::string SiteTest::Login(const std::string& account, const std::string& password) {
    auto reply = LoginRequest(account, password);
    if (!reply) {
        ADD_FAILURE() << "login request failed: " << httplib::to_string(reply.error());
        return {};
    }
    const Json::Value envelope = ParseJson(reply->body);
    if (envelope["retn"] != 0 || !envelope["result"]["session"].isString()) {
        ADD_FAILURE() << "login refused: " << reply->body;
        return {};
    }
    return envelope["result"]["session"].asString();
}

httplib::Result SiteTest::Upload(const std::string& session, const std::string& fileName,
                                 const std::string& content, const std::string& title,
                                 const std::string& desc, const std::string& tags) {
    return UploadItems(session, {
                                    {"title", title, "", ""},
                                    {"desc", desc, "", ""},
                                    {"tags", tags, "", ""},
                                    {"file", content, fileName, "application/octet-stream"},
                                });
}

httplib::Result SiteTest::UploadItems(const std::string& session,
                                      const httplib::MultipartFormDataItems& items) {
    httplib::Headers headers;
    if (!session.empty())
        headers.emplace("Cookie", std::string(kSessionCookieName) + "=" + session);
    return Client().Post("/upload_user_video", headers, items);
}

}  // namespace qarv::test
