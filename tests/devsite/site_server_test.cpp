// Every endpoint of the local site against an in-process server on a free loopback port.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "devsite/envelope.h"
#include "devsite/site_server.h"
#include "devsite/upload_form.h"
#include "tests/devsite/site_client.h"
#include "tests/devsite/streamed_upload.h"

namespace qarv::test {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(engine() & 0xff);
    return bytes;
}

using SiteServerTest = SiteTest;

TEST_F(SiteServerTest, LoginAcceptsTheBuiltInAccountWithCookieAndEnvelope) {
    StartSite();
    auto reply = LoginRequest("TenoPalu", "kwp417");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    const Json::Value envelope = ParseJson(reply->body);
    ASSERT_TRUE(envelope.isObject()) << reply->body;
    ASSERT_TRUE(envelope["retn"].isInt());
    EXPECT_EQ(envelope["retn"].asInt(), 0);
    EXPECT_TRUE(envelope["desc"].isString());
    ASSERT_TRUE(envelope["result"]["session"].isString());
    const std::string session = envelope["result"]["session"].asString();
    EXPECT_EQ(session.size(), 32u);

    const std::string cookie = reply->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie.rfind(std::string(kSessionCookieName) + "=" + session + ";", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("Path=/"), std::string::npos);

    // The log has the password's length, never the password or its encoding.
    const auto lines = ReadJsonLines(LogPath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["method"], "GET");
    EXPECT_EQ(lines[0]["path"], "/login.php");
    EXPECT_EQ(lines[0]["params"]["account"], "TenoPalu");
    EXPECT_EQ(lines[0]["params"]["from"], "Vantu");
    EXPECT_FALSE(lines[0]["params"].isMember("pass"));
    EXPECT_EQ(lines[0]["password_length"], 6);
    EXPECT_EQ(lines[0]["cookie"], false);
    EXPECT_EQ(lines[0]["retn"], 0);
    const std::string log = ReadFileText(LogPath());
    EXPECT_EQ(log.find("kwp417"), std::string::npos);
    EXPECT_EQ(log.find(EncodePasswordForTest("kwp417")), std::string::npos);
}

// A session id in the log would let anyone who reads it act as the user: the log keeps only
// its length, and the file is the user's alone, also when an older one was readable by all.
TEST_F(SiteServerTest, RequestLogHoldsNoSessionAndOnlyTheUserMayReadIt) {
    const auto userOnly = [this] {
        return fs::status(LogPath()).permissions() == (fs::perms::owner_read | fs::perms::owner_write);
    };
    StartSite();
    EXPECT_TRUE(userOnly());
    StopSite();
    fs::permissions(LogPath(), fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
    StartSite();
    EXPECT_TRUE(userOnly());

    const std::string session = Login();
    ASSERT_EQ(session.size(), 32u);
    ASSERT_TRUE(Upload(session, "race.flv", "x"));
    for (const char* path : {"/Rindle/user_video.php?sid=", "/elsewhere?session="})
        ASSERT_TRUE(Client().Get(path + session));

    const std::string log = ReadFileText(LogPath());
    EXPECT_EQ(log.find(session), std::string::npos) << log;
    const auto lines = ReadJsonLines(LogPath());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1]["cookie"], true);
    EXPECT_EQ(lines[2]["sid_length"], 32);
    EXPECT_EQ(lines[3]["session_length"], 32);
}

TEST_F(SiteServerTest, LoginReadsEveryKeyIndexAndNonAsciiAccounts) {
    StartSite();
    for (unsigned k : {0u, 1u, 17u, 31u}) {
        auto reply = Client().Get(
            "/login.php?account=TenoPalu&pass=" + EncodePasswordForTest("kwp417", k, 0xff) + "&from=Vantu");
        ASSERT_TRUE(reply);
        EXPECT_EQ(ParseJson(reply->body)["retn"], 0) << "key index " << k;
    }
    // 玩家 with the password "密码 1&#": escaped in the URL, decoded by the site.
    EXPECT_FALSE(Login("\xe7\x8e\xa9\xe5\xae\xb6", "\xe5\xaf\x86\xe7\xa0\x81 1&#").empty());
}

TEST_F(SiteServerTest, LoginRefusesWrongPasswordsAndBadEncodingsWithRetn7) {
    StartSite();
    const std::string good = EncodePasswordForTest("kwp417");
    std::string upper = good;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string badIndex = good;
    badIndex[2] = '2';  // key index 0x20
    badIndex[3] = '0';
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"TenoPalu", EncodePasswordForTest("kwp418")},
        {"TenoPalu", EncodePasswordForTest("")},
        {"TenoPalu", EncodePasswordForTest("kwp417kwp417")},
        {"nobody", good},
        {"tester", good},
        {"TenoPalu", ""},  // a password over 30 bytes is sent as an empty encoding
        {"TenoPalu", good.substr(0, 62)},
        {"TenoPalu", good + "00"},
        {"TenoPalu", upper},
        {"TenoPalu", "zz" + good.substr(2)},
        {"TenoPalu", badIndex},
    };
    for (const auto& [account, pass] : refused) {
        auto reply = Client().Get("/login.php?account=" + account + "&pass=" + pass + "&from=Vantu");
        ASSERT_TRUE(reply);
        const Json::Value envelope = ParseJson(reply->body);
        EXPECT_EQ(envelope["retn"], kSiteWrongPassword) << account << " " << pass;
        EXPECT_TRUE(envelope["desc"].isString());
        EXPECT_FALSE(envelope["result"].isMember("session"));
        EXPECT_FALSE(reply->has_header("Set-Cookie"));
    }
    auto noAccount = Client().Get("/login.php?pass=" + good + "&from=Vantu");
    ASSERT_TRUE(noAccount);
    EXPECT_EQ(ParseJson(noAccount->body)["retn"], kSiteBadRequest);

    const auto lines = ReadJsonLines(LogPath());
    ASSERT_EQ(lines.size(), refused.size() + 1);
    EXPECT_EQ(lines[0]["password_length"], 6);   // decoded, but wrong
    EXPECT_EQ(lines[5]["password_length"], -1);  // not decodable
}

TEST_F(SiteServerTest, UploadWithoutALiveSessionIsRefusedAndNothingStored) {
    StartSite();
    const std::string content = RandomBytes(100000, 1);
    auto anonymous = Upload("", "clip.flv", content);
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(ParseJson(anonymous->body)["retn"], kSiteNotLoggedIn);
    auto forged = Upload(std::string(32, 'a'), "clip.flv", content);
    ASSERT_TRUE(forged);
    EXPECT_EQ(ParseJson(forged->body)["retn"], kSiteNotLoggedIn);
    EXPECT_TRUE(fs::is_empty(DataDir() + "/uploads"));

    // The refused bodies were read to their end: the same connection goes on working.
    httplib::Client client = Client();
    httplib::Headers none;
    auto first =
        client.Post("/upload_user_video", none, httplib::MultipartFormDataItems{{"file", content, "a", ""}});
    auto second = client.Get("/down/windows/statistic.html");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 200);
}

TEST_F(SiteServerTest, UploadStoresTheFileAndItsTexts) {
    StartSite();
    const std::string session = Login();
    // Bytes that look like the form's own structure must come through unchanged.
    std::string content = RandomBytes(300000, 2);
    content.insert(1000, "\r\n--boundary\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\n");
    content.insert(5000, std::string(10, '\0'));
    const std::string title = "\xe6\x88\x91\xe7\x9a\x84\xe5\xbd\x95\xe5\x83\x8f";  // 我的录像
    auto reply = Upload(session, "clip.flv", content, title, "line one\r\nline two", "game");
    ASSERT_TRUE(reply);
    const Json::Value envelope = ParseJson(reply->body);
    ASSERT_EQ(envelope["retn"], 0) << reply->body;
    ASSERT_TRUE(envelope["retn"].isInt());
    EXPECT_TRUE(envelope["desc"].isString());
    EXPECT_EQ(envelope["result"]["id"], 1);

    EXPECT_EQ(ReadFileText(UploadFolder(1) + "/clip.flv"), content);
    const Json::Value meta = ParseJson(ReadFileText(UploadFolder(1) + "/meta.json"));
    EXPECT_EQ(meta["title"], title);
    EXPECT_EQ(meta["desc"], "line one\r\nline two");
    EXPECT_EQ(meta["tags"], "game");
    EXPECT_EQ(meta["account"], "TenoPalu");
    EXPECT_EQ(meta["size"].asUInt64(), content.size());

    const auto lines = ReadJsonLines(LogPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["method"], "POST");
    EXPECT_EQ(lines[1]["path"], "/upload_user_video");
    EXPECT_EQ(lines[1]["cookie"], true);
    EXPECT_EQ(lines[1]["upload"], 1);
    EXPECT_EQ(lines[1]["account"], "TenoPalu");
}

TEST_F(SiteServerTest, UploadRefusesMalformedFormsWithAnEnvelope) {
    SiteOptions options;
    options.maxUploadBytes = 50000;
    StartSite(options);
    const std::string session = Login();
    const std::string small = RandomBytes(1000, 3);

    auto noFile = UploadItems(session, {{"title", "t", "", ""}, {"desc", "d", "", ""}});
    auto longTitle = UploadItems(
        session,
        {{"title", std::string(UploadForm::kMaxFieldBytes + 1, 't'), "", ""}, {"file", small, "a.flv", ""}});
    auto twoFiles = UploadItems(session, {{"file", small, "a.flv", ""}, {"file", small, "b.flv", ""}});
    auto tooLarge = Upload(session, "big.flv", RandomBytes(60000, 4));
    httplib::Headers cookie = {{"Cookie", std::string(kSessionCookieName) + "=" + session}};
    auto notMultipart =
        Client().Post("/upload_user_video", cookie, "title=t&file=x", "application/x-www-form-urlencoded");

    for (auto* reply : {&noFile, &longTitle, &twoFiles, &tooLarge, &notMultipart}) {
        ASSERT_TRUE(*reply);
        const Json::Value envelope = ParseJson((*reply)->body);
        EXPECT_EQ(envelope["retn"], kSiteBadRequest) << (*reply)->body;
        EXPECT_TRUE(envelope["desc"].isString());
    }
    EXPECT_TRUE(fs::is_empty(DataDir() + "/uploads"));

    // A good upload afterwards is numbered 1.
    auto good = Upload(session, "ok.flv", small);
    ASSERT_TRUE(good);
    EXPECT_EQ(ParseJson(good->body)["result"]["id"], 1);
}

TEST_F(SiteServerTest, UploadFileNamesCannotLeaveTheUploadFolder) {
    StartSite();
    const std::string session = Login();
    const std::vector<std::pair<std::string, std::string>> names = {
        {"../../escaped.flv", "escaped.flv"},
        {"..\\..\\win.flv", "win.flv"},
        {"..", "video"},
        {"meta.json", "_meta.json"},
    };
    int number = 0;
    for (const auto& [sent, stored] : names) {
        auto reply = Upload(session, sent, "content of " + sent);
        ASSERT_TRUE(reply);
        ASSERT_EQ(ParseJson(reply->body)["retn"], 0) << reply->body;
        ++number;
        EXPECT_EQ(ReadFileText(UploadFolder(number) + "/" + stored), "content of " + sent) << sent;
        EXPECT_EQ(ParseJson(ReadFileText(UploadFolder(number) + "/meta.json"))["file"], stored);
    }
    EXPECT_FALSE(fs::exists(dir_.file("escaped.flv")));
    EXPECT_FALSE(fs::exists(DataDir() + "/escaped.flv"));
}

TEST_F(SiteServerTest, UserVideoPageListsTheAccountsUploadsEscaped) {
    StartSite();
    const std::string session = Login();
    const std::string other = Login("tester", "test-pass");

    auto empty = Client().Get("/Rindle/user_video.php?sid=" + session);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body.find("class=\"video\""), std::string::npos);

    ASSERT_TRUE(Upload(session, "race.flv", "x", "<b>Race & win</b>", "desc", "game"));
    ASSERT_TRUE(Upload(session, "lap.flv", "y", "Lap 2", "", "racing"));
    auto page = Client().Get("/Rindle/user_video.php?sid=" + session);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(page->body.find("&lt;b&gt;Race &amp; win&lt;/b&gt;"), std::string::npos) << page->body;
    EXPECT_EQ(page->body.find("<b>Race"), std::string::npos);
    EXPECT_NE(page->body.find("Lap 2"), std::string::npos);
    EXPECT_NE(page->body.find("race.flv"), std::string::npos);
    EXPECT_LT(page->body.find("Race"), page->body.find("Lap 2"));  // oldest first

    // A new session of the same account sees the same videos; another account sees none.
    auto again = Client().Get("/Rindle/user_video.php?sid=" + Login());
    ASSERT_TRUE(again);
    EXPECT_NE(again->body.find("Lap 2"), std::string::npos);
    auto otherPage = Client().Get("/Rindle/user_video.php?sid=" + other);
    ASSERT_TRUE(otherPage);
    EXPECT_EQ(otherPage->body.find("Lap 2"), std::string::npos);

    for (const std::string& query : {std::string("?sid=unknown"), std::string("?sid="), std::string()}) {
        auto refused = Client().Get("/Rindle/user_video.php" + query);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 403) << query;
        EXPECT_EQ(refused->body.find("Lap 2"), std::string::npos);
    }
}

TEST_F(SiteServerTest, VersionQueryAnswersWithStringRetnAndTheOfferedVersion) {
    SiteOptions options;
    options.offerVersion = "1.2.10";
    StartSite(options);
    auto reply = Client().Get("/down/get_ver.php?app=recorder&platform=windows");
    ASSERT_TRUE(reply);
    const Json::Value envelope = ParseJson(reply->body);
    ASSERT_TRUE(envelope["retn"].isString()) << reply->body;
    EXPECT_EQ(envelope["retn"], "0");
    EXPECT_EQ(envelope["desc"], "OK");
    EXPECT_EQ(envelope["result"]["version"], "1.2.10");

    for (const std::string query : {"?app=other&platform=windows", "?app=recorder&platform=mac", ""}) {
        auto refused = Client().Get("/down/get_ver.php" + query);
        ASSERT_TRUE(refused);
        const Json::Value refusal = ParseJson(refused->body);
        ASSERT_TRUE(refusal["retn"].isString());
        EXPECT_EQ(refusal["retn"], std::to_string(kSiteUnknownApp));
        EXPECT_NE(refusal["desc"], "OK");
        EXPECT_FALSE(refusal["result"].isMember("version"));
    }
}

TEST_F(SiteServerTest, DownloadStreamsTheOfferedFile) {
    const std::string offered = RandomBytes(700000, 5);
    WriteFileText(dir_.file("QarvRecorder"), offered);
    SiteOptions options;
    options.offerFile = dir_.file("QarvRecorder");
    StartSite(options);
    for (const char* path : {"/down/windows/QarvRecorder.exe", "/down/windows/QarvRecorder",
                             "/download/windows/QarvRecorder.exe"}) {
        auto reply = Client().Get(path);
        ASSERT_TRUE(reply) << path;
        EXPECT_EQ(reply->status, 200);
        EXPECT_EQ(reply->get_header_value("Content-Length"), std::to_string(offered.size()));
        EXPECT_TRUE(reply->body == offered) << path;
    }
    auto log = ReadJsonLines(LogPath());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0]["size"].asUInt64(), offered.size());
}

TEST_F(SiteServerTest, DownloadWithoutAnOfferedFileIsNotFound) {
    StartSite();
    auto reply = Client().Get("/down/windows/QarvRecorder.exe");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404);
    EXPECT_EQ(ParseJson(reply->body)["retn"], kSiteNotFound);
}

TEST_F(SiteServerTest, StartRefusesAnUnreadableOfferedFile) {
    SiteOptions options;
    options.offerFile = dir_.file("missing.exe");
    options.dataDir = DataDir();
    SiteServer site(options);
    std::string error;
    EXPECT_EQ(site.Start(0, &error), -1);
    EXPECT_NE(error.find("missing.exe"), std::string::npos);
}

TEST_F(SiteServerTest, StatisticsAndAccountPagesAreHtml) {
    StartSite();
    for (int visit = 1; visit <= 2; ++visit) {
        auto reply = Client().Get("/down/windows/statistic.html");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        EXPECT_NE(reply->get_header_value("Content-Type").find("text/html"), std::string::npos);
        EXPECT_NE(reply->body.find("<p id=\"visits\">" + std::to_string(visit) + "</p>"), std::string::npos);
    }
    auto retrieve = Client().Get("/Account/RetrievePassword");
    ASSERT_TRUE(retrieve);
    EXPECT_EQ(retrieve->status, 200);
    EXPECT_NE(retrieve->body.find("<html>"), std::string::npos);
    auto form = Client().Get("/Account/Register");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 200);
    EXPECT_NE(form->body.find("<form method=\"post\" action=\"/Account/Register\">"), std::string::npos);
}

TEST_F(SiteServerTest, RegisteredAccountsCanLogIn) {
    StartSite();
    const std::string password(30, 'q');  // the longest the login carries
    const httplib::Params fields = {{"account", "new <player>"}, {"password", password}};
    auto added = Client().Post("/Account/Register", fields);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 200);
    EXPECT_NE(added->body.find("new &lt;player&gt;"), std::string::npos);
    EXPECT_FALSE(Login("new <player>", password).empty());

    auto again = Client().Post("/Account/Register", fields);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 409);
    auto tooLong =
        Client().Post("/Account/Register", httplib::Params{{"account", "x"}, {"password", password + "q"}});
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(tooLong->status, 400);
    auto huge =
        Client().Post("/Account/Register", std::string(100000, 'a'), "application/x-www-form-urlencoded");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->status, 400);
    // The registration form's password is never logged.
    EXPECT_EQ(ReadFileText(LogPath()).find(password), std::string::npos);
}

TEST_F(SiteServerTest, UnknownPagesAndMethodsGetAnEnvelope) {
    StartSite();
    auto missing = Client().Get("/nothing/here.php");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(ParseJson(missing->body)["retn"], kSiteNotFound);

    auto wrongMethod = Client().Post("/login.php", "account=TenoPalu", "application/x-www-form-urlencoded");
    ASSERT_TRUE(wrongMethod);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(ParseJson(wrongMethod->body)["retn"], kSiteBadMethod);

    auto unknownPost = Client().Post("/elsewhere", std::string(200000, 'x'), "application/octet-stream");
    ASSERT_TRUE(unknownPost);
    EXPECT_EQ(unknownPost->status, 404);

    auto put = Client().Put("/upload_user_video", std::string(1000, 'x'), "application/octet-stream");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 405);
    EXPECT_EQ(ParseJson(put->body)["retn"], kSiteBadMethod);

    // A path trick in the URL finds nothing either.
    auto dots = Client().Get("/down/windows/../../requests.log");
    ASSERT_TRUE(dots);
    EXPECT_EQ(dots->body.find("login"), std::string::npos);
}

TEST_F(SiteServerTest, UploadsSurviveARestartOfTheSite) {
    StartSite();
    ASSERT_TRUE(Upload(Login(), "first.flv", "one", "First run"));
    StopSite();

    StartSite();
    const std::string session = Login();
    auto page = Client().Get("/Rindle/user_video.php?sid=" + session);
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("First run"), std::string::npos);
    auto second = Upload(session, "second.flv", "two");
    ASSERT_TRUE(second);
    EXPECT_EQ(ParseJson(second->body)["result"]["id"], 2);
    EXPECT_EQ(ReadJsonLines(LogPath()).size(), 5u);  // appended to, not replaced
}

// The recorder's own way: libcurl writes the login's cookies into a jar file, and the upload
// sends them from that file.
TEST_F(SiteServerTest, CookieJarOfTheLoginCarriesTheSessionToTheUpload) {
    StartSite();
    const std::string jar = dir_.file("cookie.txt");
    {
        CURL* curl = curl_easy_init();
        ASSERT_NE(curl, nullptr);
        const std::string url = BaseUrl() +
                                "login.php?account=TenoPalu&pass=" + EncodePasswordForTest("kwp417", 12) +
                                "&from=Vantu";
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_COOKIEJAR, jar.c_str());
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION,
            +[](char*, size_t size, size_t count, void*) { return size * count; });
        EXPECT_EQ(curl_easy_perform(curl), CURLE_OK);
        curl_easy_cleanup(curl);  // writes the jar
    }
    ASSERT_NE(ReadFileText(jar).find(kSessionCookieName), std::string::npos);

    WriteFileText(dir_.file("clip.flv"), "recorded");
    CURL* curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    curl_mime* form = curl_mime_init(curl);
    for (const auto& [name, value] : {std::pair{"title", "t"}, {"desc", "d"}, {"tags", "g"}}) {
        curl_mimepart* part = curl_mime_addpart(form);
        curl_mime_name(part, name);
        curl_mime_data(part, value, CURL_ZERO_TERMINATED);
    }
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, "file");
    curl_mime_filedata(part, dir_.file("clip.flv").c_str());
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    std::string body;
    const std::string url = BaseUrl() + "upload_user_video";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, jar.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, form);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* target) {
            static_cast<std::string*>(target)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(curl_easy_perform(curl), CURLE_OK);
    curl_slist_free_all(headers);
    curl_mime_free(form);
    curl_easy_cleanup(curl);

    EXPECT_EQ(ParseJson(body)["retn"], 0) << body;
    EXPECT_EQ(ReadFileText(UploadFolder(1) + "/clip.flv"), "recorded");
}

TEST_F(SiteServerTest, SixUploadsAtOnceAreAllStoredWhole) {
    StartSite();
    constexpr int kUploads = 6;
    std::vector<std::string> sessions;
    for (int i = 0; i < kUploads; ++i)
        sessions.push_back(Login());
    std::vector<StreamedUploadResult> results(kUploads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kUploads; ++i) {
        threads.emplace_back([this, &results, &sessions, i] {
            results[i] = StreamedUpload(BaseUrl(), std::string(kSessionCookieName) + "=" + sessions[i],
                                        3000000, 100 + i, "clip" + std::to_string(i) + ".flv");
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::set<int> numbers;
    for (int i = 0; i < kUploads; ++i) {
        ASSERT_EQ(results[i].curlCode, CURLE_OK);
        const Json::Value envelope = ParseJson(results[i].body);
        ASSERT_EQ(envelope["retn"], 0) << results[i].body;
        const int number = envelope["result"]["id"].asInt();
        numbers.insert(number);
        const std::string stored = UploadFolder(number) + "/clip" + std::to_string(i) + ".flv";
        EXPECT_EQ(fs::file_size(stored), 3000000u);
        EXPECT_EQ(Sha256OfFile(stored), results[i].sha256);
    }
    EXPECT_EQ(numbers, (std::set<int>{1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace qarv::test
