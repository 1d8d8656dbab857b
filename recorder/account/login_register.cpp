#include "recorder/account/login_register.h"

#include <curl/curl.h>

#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "common/password_key.h"
#include "common/paths.h"
#include "recorder/account/cookie_jar_file.h"
#include "recorder/account/reply_collector.h"
#include "recorder/account/reply_envelope.h"

namespace qarv {
namespace {

constexpr char kBrand[] = "Vantu";
constexpr char kSessionMember[] = "session";

constexpr char kMsgAlreadyLoggedIn[] = "already logined";
constexpr char kMsgOk[] = "ok";
constexpr char kMsgSessionError[] = "Session Error";
constexpr char kMsgBadResponse[] = "Server Error, Bad Response";
constexpr char kMsgBadEnvelope[] = "Common Error, Bad Response";
constexpr char kMsgCouldNotConnect[] = "网络异常";
constexpr char kMsgInitFailed[] = "初始化失败";
constexpr char kMsgTransferFailed[] = "运行异常";
constexpr int kCodeBadResponse = 500;
constexpr int kCodeBadEnvelope = 501;
constexpr int kCodeSessionError = 1;

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlFree>;

const char* TransferErrorMessage(CURLcode code) {
    if (code == CURLE_COULDNT_CONNECT)
        return kMsgCouldNotConnect;
    if (code == CURLE_FAILED_INIT)
        return kMsgInitFailed;
    return kMsgTransferFailed;
}

// The configured base address followed by a path separator if it lacks one, so that
// "http://127.0.0.1:1080" and "http://127.0.0.1:1080/" both reach the same login page.
std::string BaseAddress(const std::string& url) {
    if (url.empty() || url.back() == '/')
        return url;
    return url + '/';
}

// Sets every option of the login transfer; CURLE_OK or the first option refused.
CURLcode SetUpTransfer(CURL* handle, const std::string& url, curl_slist* headers, ReplyCollector* reply,
                       const LoginSettings& settings) {
    const std::pair<CURLoption, long> numbers[] = {
        {CURLOPT_HTTPGET, 1L},
        {CURLOPT_NOSIGNAL, 1L},  // time-outs without SIGALRM, which a GUI process must not get
        {CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds},
        {CURLOPT_LOW_SPEED_LIMIT, 1L},
        {CURLOPT_LOW_SPEED_TIME, settings.lowSpeedTimeSeconds},
        {CURLOPT_TIMEOUT, settings.totalTimeoutSeconds},
    };
    for (const auto& [option, value] : numbers) {
        if (const CURLcode rc = curl_easy_setopt(handle, option, value); rc != CURLE_OK)
            return rc;
    }
    CURLcode rc = curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CollectReply);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_WRITEDATA, reply);
    // An empty cookie source turns the cookie engine on without reading any file; the
    // cookies are taken from the handle afterwards and written with a private mode.
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
    return rc;
}

}  // namespace

std::string DefaultCookieFile() {
    return JoinPath("Config", "cookie.txt");
}

std::shared_ptr<LoginRegister> LoginRegister::Instance() {
    static const auto instance = std::make_shared<LoginRegister>();
    return instance;
}

LoginRegister::LoginRegister() : LoginRegister(LoginSettings{}) {}

LoginRegister::LoginRegister(LoginSettings settings) : settings_(std::move(settings)) {
    // A failure here shows up as a failed handle creation or transfer.
    curl_global_init(CURL_GLOBAL_ALL);
}

LoginRegister::~LoginRegister() {
    curl_global_cleanup();
}

std::string LoginRegister::EncodePassword(std::string_view password) {
    return EncodePassword(password, std::time(nullptr));
}

std::string LoginRegister::EncodePassword(std::string_view password, std::time_t now) {
    const std::size_t n = password.size();
    if (n > kMaxEncodedPasswordBytes)
        return std::string();
    const auto key = PasswordKey();
    // The padding only has to vary between encodings; a generator of our own leaves the
    // process's rand() state alone.
    std::minstd_rand padding(static_cast<std::minstd_rand::result_type>(now));
    std::size_t k = static_cast<std::size_t>((static_cast<long long>(now) + static_cast<long long>(n)) %
                                             static_cast<long long>(kPasswordKeySize));

    std::string encoded;
    encoded.reserve(kPasswordEncodingDigits);
    char digits[3];
    const auto append = [&](unsigned value) {
        std::snprintf(digits, sizeof digits, "%02x", value & 0xFFu);
        encoded += digits;
    };
    append(static_cast<unsigned>((k * 8) ^ n));
    append(static_cast<unsigned>(k));
    for (const char c : password) {
        append(static_cast<unsigned char>(c) ^ key[k]);
        k = (k + 1) % kPasswordKeySize;
    }
    for (std::size_t i = n; i < kMaxEncodedPasswordBytes; ++i)
        append(static_cast<unsigned>(padding() % 256));
    return encoded;
}

int LoginRegister::Login(const std::string& account, const std::string& password,
                         const ServerInfo& serverInfo) {
    if (loggedIn_) {
        lastMessage_ = kMsgAlreadyLoggedIn;
        return 0;
    }
    const std::string pass = EncodePassword(password);

    EasyHandle handle(settings_.createHandle ? static_cast<CURL*>(settings_.createHandle())
                                             : curl_easy_init());
    if (!handle) {
        loggedIn_ = false;
        return -1;
    }
    // The account may hold '&', '#', spaces or non-ASCII bytes: escaped, it stays one value.
    const CurlString escaped(
        curl_easy_escape(handle.get(), account.data(), static_cast<int>(account.size())));
    const Slist headers(curl_slist_append(nullptr, "Expect:"));
    if (!escaped || !headers) {
        lastMessage_ = kMsgInitFailed;
        loggedIn_ = false;
        return -1;
    }
    const std::string url = BaseAddress(serverInfo.url) + "login.php?account=" + escaped.get() +
                            "&pass=" + pass + "&from=" + kBrand;

    ReplyCollector reply;
    reply.limit = settings_.maxReplyBytes;
    CURLcode rc = SetUpTransfer(handle.get(), url, headers.get(), &reply, settings_);
    if (rc != CURLE_OK)
        rc = CURLE_FAILED_INIT;
    else
        rc = curl_easy_perform(handle.get());

    if (rc == CURLE_WRITE_ERROR && reply.tooLarge) {
        // The site answered with more than any login reply holds.
        accountName_ = account;
        lastMessage_ = kMsgBadResponse;
        lastCode_ = kCodeBadResponse;
        loggedIn_ = false;
        return 0;
    }
    if (rc != CURLE_OK) {
        lastMessage_ = TransferErrorMessage(rc);
        loggedIn_ = false;
        return -1;
    }
    SaveCookies(handle.get());
    accountName_ = account;
    ParseLoginReply(reply.body);
    return 0;
}

void LoginRegister::ParseLoginReply(std::string_view reply) {
    lastMessage_ = "OK";
    lastCode_ = 0;
    ReplyEnvelope envelope;
    const int parsed = ParseReplyEnvelope(reply, &envelope);
    if (parsed == kEnvelopeNotJson) {
        lastMessage_ = kMsgBadResponse;
        lastCode_ = kCodeBadResponse;
        loggedIn_ = false;
        return;
    }
    if (parsed != kEnvelopeOk) {
        lastMessage_ = kMsgBadEnvelope;
        lastCode_ = kCodeBadEnvelope;
        loggedIn_ = false;
        return;
    }
    lastMessage_ = kMsgOk;
    lastCode_ = envelope.retn;
    if (envelope.retn != 0) {
        loggedIn_ = false;
        return;
    }
    const auto session = envelope.resultStrings.find(kSessionMember);
    if (session == envelope.resultStrings.end() || session->second.empty()) {
        lastMessage_ = kMsgSessionError;
        lastCode_ = kCodeSessionError;
        loggedIn_ = false;
        return;
    }
    sessionId_ = session->second;
    loggedIn_ = true;
}

void LoginRegister::SaveCookies(void* handle) const {
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(static_cast<CURL*>(handle), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return;
    const Slist owner(list);
    std::vector<std::string> lines;
    for (const curl_slist* item = list; item != nullptr; item = item->next)
        lines.emplace_back(item->data);
    // A jar that cannot be written leaves the old one; the later upload then fails on its own.
    WriteCookieJarFile(settings_.cookieFile, lines);
}

}  // namespace qarv
