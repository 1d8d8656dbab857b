#pragma once
// Test helpers for the local site: a fixture that runs a SiteServer in-process on a free
// loopback port with its data in a temporary folder, the recorder's password encoding and
// small request helpers.

#include <gtest/gtest.h>
#include <httplib.h>
#include <json/value.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devsite/site_server.h"
#include "tests/devsite/test_password.h"
#include "tests/support/temp_dir.h"

namespace qarv::test {

// `text` parsed as JSON; a null value when it does not parse.
Json::Value ParseJson(const std::string& text);

// The lines of a JSON-lines file, parsed.
std::vector<Json::Value> ReadJsonLines(const std::string& path);

// A query string value escaped for a URL.
std::string UrlEscape(std::string_view text);

class SiteTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Starts the server with `options` (its data folder is set to the test's folder).
    void StartSite(SiteOptions options = {});
    void StopSite();

    httplib::Client Client(int readTimeoutSeconds = 10) const;
    std::string BaseUrl() const;
    std::string DataDir() const { return dir_.file("data"); }
    std::string LogPath() const { return DataDir() + "/requests.log"; }
    std::string UploadFolder(int number) const { return DataDir() + "/uploads/" + std::to_string(number); }

    // GET login.php for the account and (encoded) password.
    httplib::Result LoginRequest(const std::string& account, const std::string& password);
    // Logs in and returns the session id (test failure and "" when refused).
    std::string Login(const std::string& account = "TenoPalu", const std::string& password = "kwp417");

    // POSTs the upload form with the session cookie (none when `session` is empty).
    httplib::Result Upload(const std::string& session, const std::string& fileName,
                           const std::string& content, const std::string& title = "title",
                           const std::string& desc = "desc", const std::string& tags = "game");
    httplib::Result UploadItems(const std::string& session, const httplib::MultipartFormDataItems& items);

    TempDir dir_;
    std::unique_ptr<SiteServer> site_;
};

}  // namespace qarv::test
