// The fault modes: each one misbehaves on every JSON endpoint (login, upload, version query)
// and, where it applies, on the download, while the HTML pages stay served.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "devsite/envelope.h"
#include "tests/devsite/site_client.h"

namespace qarv::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct CurlReply {
    CURLcode code = CURLE_FAILED_INIT;
    long status = 0;
    std::string body;
    curl_off_t expected = -1;  // Content-Length
};

CurlReply CurlGet(const std::string& url, long timeoutSeconds = 10) {
    CurlReply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return reply;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* target) {
            static_cast<std::string*>(target)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    reply.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &reply.expected);
    curl_easy_cleanup(curl);
    return reply;
}

class FaultModeTest : public SiteTest {
  protected:
    void StartWith(FaultMode mode, int slowMs = 400) {
        WriteFileText(dir_.file("offered.bin"), std::string(200000, 'r'));
        SiteOptions options;
        options.fault = mode;
        options.slowMs = slowMs;
        options.offerFile = dir_.file("offered.bin");
        StartSite(options);
        // A session made before the fault took hold, for the upload.
        site_->SetFault(FaultMode::kNone);
        session_ = Login();
        site_->SetFault(mode);
    }

    std::string LoginUrl() const {
        return BaseUrl() + "login.php?account=TenoPalu&pass=" + EncodePasswordForTest("kwp417") +
               "&from=Vantu";
    }
    std::string VersionUrl() const { return BaseUrl() + "down/get_ver.php?app=recorder&platform=windows"; }
    httplib::Result SmallUpload() { return Upload(session_, "clip.flv", "recorded bytes"); }

    // Waits until the site has logged `count` requests: a held request is logged before it is held.
    bool WaitForLoggedRequests(std::size_t count) const {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (ReadJsonLines(LogPath()).size() < count) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    std::string session_;
};

TEST_F(FaultModeTest, SlowAnswersCorrectlyButLate) {
    StartWith(FaultMode::kSlow, 400);
    const auto elapsedMs = [](const std::function<void()>& request) {
        const auto start = Clock::now();
        request();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    CurlReply login, version;
    std::string upload;
    EXPECT_GE(elapsedMs([&] { login = CurlGet(LoginUrl()); }), 390);
    EXPECT_GE(elapsedMs([&] { version = CurlGet(VersionUrl()); }), 390);
    EXPECT_GE(elapsedMs([&] {
                  auto reply = SmallUpload();
                  upload = reply ? reply->body : "";
              }),
              390);
    EXPECT_EQ(ParseJson(login.body)["retn"], 0);
    EXPECT_EQ(ParseJson(version.body)["retn"], "0");
    EXPECT_EQ(ParseJson(upload)["retn"], 0);
    const CurlReply download = CurlGet(BaseUrl() + "down/windows/QarvRecorder.exe");
    EXPECT_EQ(download.code, CURLE_OK);
    EXPECT_EQ(download.body.size(), 200000u);
}

TEST_F(FaultModeTest, SlowRepliesEndWhenTheSiteStops) {
    StartWith(FaultMode::kSlow, 60000);
    const std::size_t logged = ReadJsonLines(LogPath()).size();
    auto pending = std::async(std::launch::async, [url = LoginUrl()] { return CurlGet(url, 30); });
    ASSERT_TRUE(WaitForLoggedRequests(logged + 1));
    const auto start = Clock::now();
    StopSite();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST_F(FaultModeTest, HangNeverAnswersUntilTheSiteStops) {
    StartWith(FaultMode::kHang);
    const CurlReply login = CurlGet(LoginUrl(), 1);
    EXPECT_EQ(login.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_TRUE(login.body.empty());
    EXPECT_EQ(CurlGet(VersionUrl(), 1).code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(CurlGet(BaseUrl() + "down/windows/QarvRecorder.exe", 1).code, CURLE_OPERATION_TIMEDOUT);
    auto upload = Client(1).Post(
        "/upload_user_video", httplib::Headers{{"Cookie", std::string(kSessionCookieName) + "=" + session_}},
        httplib::MultipartFormDataItems{{"file", "x", "a.flv", ""}});
    EXPECT_FALSE(upload);
    EXPECT_TRUE(fs::is_empty(DataDir() + "/uploads"));
    // Pages are not held.
    auto page = Client(2).Get("/down/windows/statistic.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);

    const std::size_t logged = ReadJsonLines(LogPath()).size();
    auto held = std::async(std::launch::async, [url = LoginUrl()] { return CurlGet(url, 30); });
    ASSERT_TRUE(WaitForLoggedRequests(logged + 1));
    const auto start = Clock::now();
    StopSite();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    // Released by the stop with an error envelope.
    const CurlReply released = held.get();
    EXPECT_EQ(released.status, 503);
    EXPECT_EQ(ParseJson(released.body)["retn"], kSiteInternalError);

    const auto lines = ReadJsonLines(LogPath());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1]["fault"], "hang");
}

TEST_F(FaultModeTest, CutClosesTheConnectionMidReply) {
    StartWith(FaultMode::kCut);
    for (const std::string& url : {LoginUrl(), VersionUrl()}) {
        const CurlReply reply = CurlGet(url);
        EXPECT_EQ(reply.code, CURLE_PARTIAL_FILE) << url;
        EXPECT_GT(reply.expected, 0);
        EXPECT_EQ(static_cast<curl_off_t>(reply.body.size()), reply.expected / 2);
        EXPECT_TRUE(ParseJson(reply.body).isNull()) << reply.body;
    }
    EXPECT_FALSE(SmallUpload());
    // The upload itself was taken; only its reply was cut.
    EXPECT_EQ(ReadFileText(UploadFolder(1) + "/clip.flv"), "recorded bytes");

    const CurlReply download = CurlGet(BaseUrl() + "down/windows/QarvRecorder.exe");
    EXPECT_EQ(download.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(download.expected, 200000);
    EXPECT_EQ(download.body.size(), 100000u);
}

TEST_F(FaultModeTest, Http500SendsAnErrorPageInsteadOfTheReply) {
    StartWith(FaultMode::kHttp500);
    for (const std::string& url : {LoginUrl(), VersionUrl(), BaseUrl() + "down/windows/QarvRecorder.exe"}) {
        const CurlReply reply = CurlGet(url);
        EXPECT_EQ(reply.code, CURLE_OK);
        EXPECT_EQ(reply.status, 500) << url;
        EXPECT_TRUE(ParseJson(reply.body).isNull()) << reply.body;
    }
    auto upload = SmallUpload();
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->status, 500);
    EXPECT_TRUE(ParseJson(upload->body).isNull());
    auto page = Client().Get("/Account/Register");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

TEST_F(FaultModeTest, Http500EnvelopeCarriesAWellFormedError) {
    StartWith(FaultMode::kHttp500Envelope);
    const CurlReply login = CurlGet(LoginUrl());
    EXPECT_EQ(login.status, 500);
    const Json::Value loginEnvelope = ParseJson(login.body);
    ASSERT_TRUE(loginEnvelope["retn"].isInt()) << login.body;
    EXPECT_EQ(loginEnvelope["retn"], kSiteInternalError);
    EXPECT_TRUE(loginEnvelope["desc"].isString());
    EXPECT_FALSE(loginEnvelope["result"].isMember("session"));

    const CurlReply version = CurlGet(VersionUrl());
    EXPECT_EQ(version.status, 500);
    const Json::Value versionEnvelope = ParseJson(version.body);
    ASSERT_TRUE(versionEnvelope["retn"].isString()) << version.body;
    EXPECT_EQ(versionEnvelope["retn"], "500");
    EXPECT_NE(versionEnvelope["desc"], "OK");

    auto upload = SmallUpload();
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->status, 500);
    EXPECT_EQ(ParseJson(upload->body)["retn"], kSiteInternalError);
}

TEST_F(FaultModeTest, NotJsonSendsABodyNoParserTakes) {
    StartWith(FaultMode::kNotJson);
    for (const std::string& url : {LoginUrl(), VersionUrl()}) {
        const CurlReply reply = CurlGet(url);
        EXPECT_EQ(reply.status, 200);
        EXPECT_FALSE(reply.body.empty());
        EXPECT_TRUE(ParseJson(reply.body).isNull()) << reply.body;
    }
    auto upload = SmallUpload();
    ASSERT_TRUE(upload);
    EXPECT_TRUE(ParseJson(upload->body).isNull());
    // The download is no JSON endpoint: served whole.
    EXPECT_EQ(CurlGet(BaseUrl() + "down/windows/QarvRecorder.exe").body.size(), 200000u);
}

TEST_F(FaultModeTest, BadEnvelopeGivesRetnTheWrongJsonType) {
    StartWith(FaultMode::kBadEnvelope);
    const Json::Value login = ParseJson(CurlGet(LoginUrl()).body);
    ASSERT_TRUE(login.isObject());
    EXPECT_TRUE(login["retn"].isString());
    EXPECT_EQ(login["retn"], "0");
    EXPECT_TRUE(login["result"]["session"].isString());

    const Json::Value version = ParseJson(CurlGet(VersionUrl()).body);
    ASSERT_TRUE(version.isObject());
    EXPECT_TRUE(version["retn"].isInt());
    EXPECT_EQ(version["retn"], 0);
    EXPECT_EQ(version["result"]["version"], "1.0.0.2");

    auto upload = SmallUpload();
    ASSERT_TRUE(upload);
    const Json::Value uploaded = ParseJson(upload->body);
    EXPECT_TRUE(uploaded["retn"].isString());
    EXPECT_EQ(uploaded["retn"], "0");
}

TEST_F(FaultModeTest, TheModeCanChangeWhileTheSiteRuns) {
    StartWith(FaultMode::kNone);
    EXPECT_EQ(ParseJson(CurlGet(LoginUrl()).body)["retn"], 0);
    site_->SetFault(FaultMode::kNotJson);
    EXPECT_TRUE(ParseJson(CurlGet(LoginUrl()).body).isNull());
    site_->SetFault(FaultMode::kNone);
    EXPECT_EQ(ParseJson(CurlGet(LoginUrl()).body)["retn"], 0);

    const auto lines = ReadJsonLines(LogPath());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_FALSE(lines[1].isMember("fault"));
    EXPECT_EQ(lines[2]["fault"], "not-json");
    EXPECT_FALSE(lines[3].isMember("fault"));
}

// The faults made for the upload's tests: limited to one path and a number of requests, a
// refusal with a chosen code, a reply split in two, a reply of 10 MiB, a body cut off halfway
// and a slow reader.
TEST_F(FaultModeTest, UploadFaultsActOnTheUploadOnly) {
    struct Case {
        FaultMode mode;
        int retn;  // of the reply; -1: no reply
        bool stored;
        std::size_t minBytes;  // of the reply
        long minMs;            // the time the upload takes at least
    };
    const Case cases[] = {
        {FaultMode::kRefuse, 6, false, 0, 0},         {FaultMode::kSplit, 0, true, 0, 90},
        {FaultMode::kBigReply, 0, true, 10 << 20, 0}, {FaultMode::kCutUpload, -1, false, 0, 0},
        {FaultMode::kSlowReader, 0, true, 0, 1800},  // 512 KiB at 256 KiB/s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FaultModeName(c.mode));
        StopSite();
        fs::remove_all(DataDir());
        SiteOptions options;
        options.fault = c.mode;
        options.faultPath = "/upload_user_video";
        options.faultRetn = 6;
        options.readBytesPerSecond = 256 << 10;
        StartSite(options);
        session_ = Login();  // the login is served correctly
        ASSERT_FALSE(session_.empty());
        const std::string content(512 << 10, 'v');
        const auto start = Clock::now();
        auto reply = Upload(session_, "clip.flv", content);
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
                  c.minMs);
        if (c.retn < 0) {
            EXPECT_FALSE(reply && reply->status == 200 && !reply->body.empty());
        } else {
            ASSERT_TRUE(reply);
            EXPECT_EQ(ParseJson(reply->body)["retn"], c.retn);
            EXPECT_GE(reply->body.size(), c.minBytes);
        }
        EXPECT_EQ(ReadFileText(UploadFolder(1) + "/clip.flv") == content, c.stored);
        EXPECT_EQ(ReadJsonLines(LogPath()).back()["fault"], FaultModeName(c.mode));
    }
}

TEST_F(FaultModeTest, TheFaultCanBeLimitedToAPathAndANumberOfRequests) {
    SiteOptions options;
    options.fault = FaultMode::kNotJson;
    options.faultPath = "/upload_user_video";
    options.faultTimes = 1;
    StartSite(options);
    session_ = Login();
    ASSERT_FALSE(session_.empty());
    auto first = SmallUpload();
    ASSERT_TRUE(first);
    EXPECT_TRUE(ParseJson(first->body).isNull());
    auto second = SmallUpload();
    ASSERT_TRUE(second);
    EXPECT_EQ(ParseJson(second->body)["retn"], 0);
}

}  // namespace
}  // namespace qarv::test
