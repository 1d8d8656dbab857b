#include "recorder/account/login_register.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "common/password_key.h"
#include "tests/recorder/account/test_site.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::RawServer;
using test::TempDir;
using test::TestSite;

constexpr char kSuccess[] = R"({"retn":0,"desc":"","result":{"session":"s1"}})";

LoginSettings SettingsIn(const TempDir& dir) {
    LoginSettings settings;
    settings.cookieFile = dir.file("cookie.txt");
    return settings;
}

// Short time-outs for the servers that never finish their reply.
LoginSettings QuickSettings(const TempDir& dir) {
    LoginSettings settings = SettingsIn(dir);
    settings.connectTimeoutSeconds = 2;
    settings.lowSpeedTimeSeconds = 1;
    settings.totalTimeoutSeconds = 3;
    return settings;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Outcome {
    int result;
    std::string message;
    int code;
    bool loggedIn;
};

Outcome Attempt(LoginRegister& client, const ServerInfo& info, const std::string& account = "alice",
                const std::string& password = "secret") {
    const int result = client.Login(account, password, info);
    return {result, client.LastMessage(), client.LastCode(), client.IsLoggedIn()};
}

void ExpectOutcome(const Outcome& got, const Outcome& want) {
    EXPECT_EQ(got.result, want.result);
    EXPECT_EQ(got.message, want.message);
    EXPECT_EQ(got.code, want.code);
    EXPECT_EQ(got.loggedIn, want.loggedIn);
}

// ---- Replies the site completes: one row per kind of body ----

struct ReplyCase {
    const char* name;
    std::string body;
    int status;
    Outcome want;
};

void PrintTo(const ReplyCase& reply, std::ostream* out) {
    *out << reply.name;
}

class LoginReplyTest : public testing::TestWithParam<ReplyCase> {};

TEST_P(LoginReplyTest, GivesItsMessageAndCode) {
    TempDir dir;
    TestSite site;
    site.Reply(GetParam().body, GetParam().status);
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, site.serverInfo()), GetParam().want);
    EXPECT_EQ(site.logins().size(), 1u);
    // The site answered, so the account is kept whatever the answer was.
    EXPECT_EQ(client.AccountName(), "alice");
    if (!GetParam().want.loggedIn) {
        EXPECT_EQ(client.SessionId(), "");
    }
}

const Outcome kBadResponse{0, "Server Error, Bad Response", 500, false};
const Outcome kBadEnvelope{0, "Common Error, Bad Response", 501, false};
const Outcome kSessionError{0, "Session Error", 1, false};

INSTANTIATE_TEST_SUITE_P(
    Bodies, LoginReplyTest,
    testing::Values(
        ReplyCase{"Success", kSuccess, 200, {0, "ok", 0, true}},
        ReplyCase{"Refused", R"({"retn":7,"desc":"wrong password"})", 200, {0, "ok", 7, false}},
        ReplyCase{"RefusedNegative", R"({"retn":-3,"desc":""})", 200, {0, "ok", -3, false}},
        ReplyCase{"NoResult", R"({"retn":0,"desc":""})", 200, kSessionError},
        ReplyCase{"ResultNotObject", R"({"retn":0,"desc":"","result":"s1"})", 200, kSessionError},
        ReplyCase{"SessionNumber", R"({"retn":0,"desc":"","result":{"session":5}})", 200, kSessionError},
        ReplyCase{"SessionEmpty", R"({"retn":0,"desc":"","result":{"session":""}})", 200, kSessionError},
        ReplyCase{"NotJson", "<html>login</html>", 200, kBadResponse},
        ReplyCase{"EmptyBody", "", 200, kBadResponse},
        ReplyCase{"TrailingGarbage", std::string(kSuccess) + " x", 200, kBadResponse},
        ReplyCase{"DeepNesting", std::string(200000, '['), 200, kBadResponse},
        ReplyCase{"Array", R"([{"retn":0,"desc":"","result":{"session":"s1"}}])", 200, kBadEnvelope},
        ReplyCase{"BareString", R"("ok")", 200, kBadEnvelope},
        ReplyCase{"RetnString", R"({"retn":"0","desc":"","result":{"session":"s1"}})", 200, kBadEnvelope},
        ReplyCase{"RetnReal", R"({"retn":0.0,"desc":"","result":{"session":"s1"}})", 200, kBadEnvelope},
        ReplyCase{"RetnFraction", R"({"retn":7.5,"desc":""})", 200, kBadEnvelope},
        ReplyCase{"RetnBoolean", R"({"retn":false,"desc":"","result":{"session":"s1"}})", 200, kBadEnvelope},
        ReplyCase{"RetnTooLarge", R"({"retn":4294967296,"desc":""})", 200, kBadEnvelope},
        ReplyCase{"DescMissing", R"({"retn":0,"result":{"session":"s1"}})", 200, kBadEnvelope},
        ReplyCase{"DescNumber", R"({"retn":0,"desc":0,"result":{"session":"s1"}})", 200, kBadEnvelope},
        ReplyCase{"Http500WithEnvelope", R"({"retn":9,"desc":"internal"})", 500, {0, "ok", 9, false}},
        ReplyCase{"Http500WithoutEnvelope", "Internal Server Error", 500, kBadResponse}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST(LoginRegisterTest, SuccessKeepsTheSessionAndAccount) {
    TempDir dir;
    TestSite site;
    site.Reply(R"({"retn":0,"desc":"welcome","result":{"session":"abc123","user":"x"}})");
    LoginRegister client(SettingsIn(dir));
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);
    EXPECT_EQ(client.SessionId(), "abc123");
    EXPECT_EQ(client.AccountName(), "alice");
    const auto logins = site.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].from, "Vantu");
    std::string password;
    ASSERT_EQ(DecodePassword(logins[0].pass, &password), 0);
    EXPECT_EQ(password, "secret");
}

TEST(LoginRegisterTest, SecondLoginAfterSuccessSendsNothing) {
    TempDir dir;
    TestSite site;
    LoginRegister client(SettingsIn(dir));
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);
    site.Reply(R"({"retn":7,"desc":""})");
    ExpectOutcome(Attempt(client, site.serverInfo(), "bob", "other"), {0, "already logined", 0, true});
    EXPECT_EQ(site.logins().size(), 1u);
    EXPECT_EQ(client.AccountName(), "alice");
    EXPECT_EQ(client.SessionId(), "s1");
}

TEST(LoginRegisterTest, RejectedThenAcceptedLogsIn) {
    TempDir dir;
    TestSite site;
    site.Reply(R"({"retn":7,"desc":""})");
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, site.serverInfo()), {0, "ok", 7, false});
    site.Reply(kSuccess);
    ExpectOutcome(Attempt(client, site.serverInfo(), "bob"), {0, "ok", 0, true});
    EXPECT_EQ(client.AccountName(), "bob");
    EXPECT_EQ(site.logins().size(), 2u);
}

TEST(LoginRegisterTest, ReplySplitAcrossBlocksIsParsedWhole) {
    TempDir dir;
    TestSite site;
    site.SetHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/json", [](size_t, httplib::DataSink& sink) {
            const std::string first = R"({"retn":0,"desc":"",)";
            const std::string second = R"("result":{"session":"split"}})";
            sink.write(first.data(), first.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sink.write(second.data(), second.size());
            sink.done();
            return true;
        });
    });
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, site.serverInfo()), {0, "ok", 0, true});
    EXPECT_EQ(client.SessionId(), "split");
}

TEST(LoginRegisterTest, HugeReplyIsRefusedWithoutReadingItAll) {
    TempDir dir;
    TestSite site;
    site.Reply(std::string(10 * 1024 * 1024, ' ') + kSuccess);
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, site.serverInfo()), kBadResponse);
}

TEST(LoginRegisterTest, ReplyJustUnderTheLimitIsRead) {
    TempDir dir;
    TestSite site;
    const std::string desc(1000, 'd');
    const std::string body = R"({"retn":0,"desc":")" + desc + R"(","result":{"session":"s1"}})";
    site.Reply(body);
    LoginSettings settings = SettingsIn(dir);
    settings.maxReplyBytes = body.size();
    LoginRegister client(settings);
    ExpectOutcome(Attempt(client, site.serverInfo()), {0, "ok", 0, true});

    TestSite other;
    other.Reply(body + " ");
    LoginRegister refused(settings);
    ExpectOutcome(Attempt(refused, other.serverInfo()), kBadResponse);
}

// ---- Accounts and passwords that must arrive as they were typed ----

TEST(LoginRegisterTest, AccountArrivesAsOneParameter) {
    const std::vector<std::string> accounts = {"a&from=x",           "a b",      "a#b", "张三", "x+y%20z",
                                               std::string(31, 'n'), "a&pass=00"};
    for (const std::string& account : accounts) {
        SCOPED_TRACE(account);
        TempDir dir;
        TestSite site;
        LoginRegister client(SettingsIn(dir));
        ASSERT_EQ(client.Login(account, "pw", site.serverInfo()), 0);
        const auto logins = site.logins();
        ASSERT_EQ(logins.size(), 1u);
        EXPECT_EQ(logins[0].account, account);
        EXPECT_EQ(logins[0].from, "Vantu");
        EXPECT_EQ(logins[0].paramCount, 3u);
        std::string password;
        ASSERT_EQ(DecodePassword(logins[0].pass, &password), 0);
        EXPECT_EQ(password, "pw");
        EXPECT_EQ(client.AccountName(), account);
    }
}

TEST(LoginRegisterTest, PasswordArrivesEncodedWhateverItHolds) {
    const std::vector<std::string> passwords = {"a b", "a&b", "a#b", "密码", "", std::string(30, '#')};
    for (const std::string& typed : passwords) {
        SCOPED_TRACE(typed);
        TempDir dir;
        TestSite site;
        LoginRegister client(SettingsIn(dir));
        ASSERT_EQ(client.Login("alice", typed, site.serverInfo()), 0);
        const auto logins = site.logins();
        ASSERT_EQ(logins.size(), 1u);
        EXPECT_EQ(logins[0].paramCount, 3u);
        std::string password;
        ASSERT_EQ(DecodePassword(logins[0].pass, &password), 0);
        EXPECT_EQ(password, typed);
    }
}

TEST(LoginRegisterTest, PasswordOver30BytesIsSentEmpty) {
    TempDir dir;
    TestSite site;
    site.Reply(R"({"retn":7,"desc":""})");
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, site.serverInfo(), "alice", std::string(31, 'p')), {0, "ok", 7, false});
    const auto logins = site.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].pass, "");
    EXPECT_NE(logins[0].target.find("&pass=&from=Vantu"), std::string::npos) << logins[0].target;
}

TEST(LoginRegisterTest, BaseAddressWithoutTrailingSeparatorReachesTheLoginPage) {
    TempDir dir;
    TestSite site;
    ServerInfo info = site.serverInfo();
    info.url.pop_back();
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, info), {0, "ok", 0, true});
    ASSERT_EQ(site.logins().size(), 1u);
    EXPECT_EQ(site.logins()[0].target.rfind("/login.php?account=alice&pass=", 0), 0u);
}

// ---- Transfers that fail ----

TEST(LoginRegisterTest, UnreachableSiteIsANetworkFailureAndKeepsTheCode) {
    TempDir dir;
    TestSite site;
    site.Reply(R"({"retn":7,"desc":""})");
    LoginRegister client(SettingsIn(dir));
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);

    ServerInfo closed;
    closed.url = "http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/";
    ExpectOutcome(Attempt(client, closed, "bob"), {-1, "网络异常", 7, false});
    EXPECT_EQ(client.AccountName(), "alice");  // only answered logins change it
}

TEST(LoginRegisterTest, ConnectionClosedBeforeTheReplyEndsIsATransferFailure) {
    const std::vector<std::string> partialReplies = {
        "", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"retn\":0,\"desc\":\"\","};
    for (const std::string& partial : partialReplies) {
        SCOPED_TRACE(partial);
        TempDir dir;
        RawServer server([partial](int socket, const std::atomic<bool>& stopping) {
            RawServer::ReadRequestHead(socket, stopping);
            RawServer::SendAll(socket, partial);
        });
        LoginRegister client(QuickSettings(dir));
        ExpectOutcome(Attempt(client, server.serverInfo()), {-1, "运行异常", 0, false});
        EXPECT_EQ(client.AccountName(), "");
    }
}

TEST(LoginRegisterTest, SilentSiteEndsAtTheLowSpeedLimit) {
    TempDir dir;
    RawServer server([](int socket, const std::atomic<bool>& stopping) {
        RawServer::ReadRequestHead(socket, stopping);
        while (RawServer::Pause(50, stopping)) {
        }
    });
    LoginSettings settings = QuickSettings(dir);
    settings.totalTimeoutSeconds = 20;
    LoginRegister client(settings);
    const auto start = std::chrono::steady_clock::now();
    ExpectOutcome(Attempt(client, server.serverInfo()), {-1, "运行异常", 0, false});
    EXPECT_LT(SecondsSince(start), 10.0);  // one second of silence, not the total limit
}

TEST(LoginRegisterTest, SilentSiteEndsWithinFifteenSecondsWithDefaultSettings) {
    TempDir dir;
    RawServer server([](int socket, const std::atomic<bool>& stopping) {
        while (RawServer::Pause(50, stopping)) {  // accepts, never reads, never answers
        }
        (void)socket;
    });
    LoginRegister client(SettingsIn(dir));
    const auto start = std::chrono::steady_clock::now();
    ExpectOutcome(Attempt(client, server.serverInfo()), {-1, "运行异常", 0, false});
    EXPECT_LT(SecondsSince(start), 15.0);
}

TEST(LoginRegisterTest, TricklingSiteEndsAtTheTotalTimeLimit) {
    TempDir dir;
    RawServer server([](int socket, const std::atomic<bool>& stopping) {
        RawServer::ReadRequestHead(socket, stopping);
        RawServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
        while (RawServer::Pause(100, stopping))
            RawServer::SendAll(socket, " ");
    });
    LoginSettings settings = QuickSettings(dir);
    settings.lowSpeedTimeSeconds = 30;
    settings.totalTimeoutSeconds = 2;
    LoginRegister client(settings);
    const auto start = std::chrono::steady_clock::now();
    ExpectOutcome(Attempt(client, server.serverInfo()), {-1, "运行异常", 0, false});
    EXPECT_LT(SecondsSince(start), 15.0);  // two seconds in all, not the low-speed limit
}

TEST(LoginRegisterTest, OnlyHttpAddressesAreUsed) {
    TempDir dir;
    test::WriteFileText(dir.file("login.php"), kSuccess);
    ServerInfo local;
    local.url = "file://" + dir.path() + "/";
    LoginRegister client(SettingsIn(dir));
    ExpectOutcome(Attempt(client, local), {-1, "运行异常", 0, false});
}

TEST(LoginRegisterTest, EmptyBaseAddressFailsTheTransfer) {
    TempDir dir;
    LoginRegister client(SettingsIn(dir));
    const Outcome got = Attempt(client, ServerInfo{});
    EXPECT_EQ(got.result, -1);
    EXPECT_FALSE(got.loggedIn);
}

TEST(LoginRegisterTest, NoHandleLeavesMessageAndCodeAsTheyWere) {
    TempDir dir;
    TestSite site;
    site.Reply(R"({"retn":7,"desc":""})");
    LoginSettings settings = SettingsIn(dir);
    bool failHandle = false;
    settings.createHandle = [&failHandle]() -> void* { return failHandle ? nullptr : curl_easy_init(); };
    LoginRegister client(settings);
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);
    failHandle = true;
    ExpectOutcome(Attempt(client, site.serverInfo()), {-1, "ok", 7, false});
    EXPECT_EQ(site.logins().size(), 1u);
}

TEST(LoginRegisterTest, FailedInitialisationIsReportedAsSuch) {
    TempDir dir;
    TestSite site;
    // A handle that already belongs to a multi handle cannot run a transfer of its own:
    // libcurl refuses it with CURLE_FAILED_INIT.
    CURLM* multi = curl_multi_init();
    ASSERT_NE(multi, nullptr);
    LoginSettings settings = SettingsIn(dir);
    settings.createHandle = [multi]() -> void* {
        CURL* handle = curl_easy_init();
        curl_multi_add_handle(multi, handle);
        return handle;
    };
    {
        LoginRegister client(settings);
        ExpectOutcome(Attempt(client, site.serverInfo()), {-1, "初始化失败", 0, false});
    }
    curl_multi_cleanup(multi);
    EXPECT_TRUE(site.logins().empty());
}

// ---- The cookie file ----

mode_t FileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }

  private:
    mode_t previous_;
};

void ReplyWithCookies(TestSite& site) {
    site.SetHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "sid=abc; Path=/");
        response.set_header("Set-Cookie", "token=t1; Path=/; HttpOnly");
        response.set_content(kSuccess, "application/json");
    });
}

TEST(LoginRegisterTest, CookieFileIsPrivateAndReadableByLibcurl) {
    TempDir dir;
    TestSite site;
    ReplyWithCookies(site);
    const ScopedUmask openMask(0);
    LoginRegister client(SettingsIn(dir));
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);
    const std::string jar = dir.file("cookie.txt");
    EXPECT_EQ(FileMode(jar), 0600u) << std::oct << FileMode(jar);

    // A later request that names the file as its cookie source sends the session back.
    CURL* handle = curl_easy_init();
    ASSERT_NE(handle, nullptr);
    const std::string url = site.base() + "upload_user_video";
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, jar.c_str());
    curl_easy_setopt(
        handle, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    EXPECT_EQ(curl_easy_perform(handle), CURLE_OK);
    curl_easy_cleanup(handle);
    const auto others = site.others();
    ASSERT_EQ(others.size(), 1u);
    EXPECT_NE(others[0].cookieHeader.find("sid=abc"), std::string::npos) << others[0].cookieHeader;
    EXPECT_NE(others[0].cookieHeader.find("token=t1"), std::string::npos) << others[0].cookieHeader;
}

TEST(LoginRegisterTest, CookieFileReplacesAnOpenFileAndLeavesNoTemporary) {
    TempDir dir;
    TestSite site;
    ReplyWithCookies(site);
    const std::string jar = dir.file("cookie.txt");
    test::WriteFileText(jar, "# old\n");
    ASSERT_EQ(::chmod(jar.c_str(), 0644), 0);
    LoginRegister client(SettingsIn(dir));
    ASSERT_EQ(client.Login("alice", "secret", site.serverInfo()), 0);
    EXPECT_EQ(FileMode(jar), 0600u) << std::oct << FileMode(jar);
    const std::string text = test::ReadFileText(jar);
    EXPECT_EQ(text.rfind("# Netscape HTTP Cookie File\n", 0), 0u);
    EXPECT_NE(text.find("\tsid\tabc"), std::string::npos) << text;
    EXPECT_EQ(text.find("# old"), std::string::npos);

    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(LoginRegisterTest, FailedTransferLeavesTheCookieFile) {
    TempDir dir;
    const std::string jar = dir.file("cookie.txt");
    test::WriteFileText(jar, "# kept\n");
    LoginRegister client(SettingsIn(dir));
    ServerInfo closed;
    closed.url = "http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/";
    EXPECT_EQ(client.Login("alice", "secret", closed), -1);
    EXPECT_EQ(test::ReadFileText(jar), "# kept\n");
}

TEST(LoginRegisterTest, InstanceIsOneSharedClient) {
    const auto first = LoginRegister::Instance();
    const auto second = LoginRegister::Instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_FALSE(first->IsLoggedIn());
}

}  // namespace
}  // namespace qarv
