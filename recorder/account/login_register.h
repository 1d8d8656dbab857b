#pragma once
// The recorder's account client: logs the user in to the site with one HTTP GET, keeps
// whether the user is logged in, the account name, the session id and the message and
// code of the last attempt, and leaves the session cookies in the cookie file for later
// requests. Used by one thread at a time (the UI thread); a login blocks its caller until
// the site has answered or the transfer has failed or timed out.

#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "recorder/shell/server_info.h"

namespace qarv {

// Relative path of the cookie file, "Config/cookie.txt".
std::string DefaultCookieFile();

struct LoginSettings {
    std::string cookieFile = DefaultCookieFile();
    // Time allowed to establish the connection.
    long connectTimeoutSeconds = 10;
    // A transfer that moves less than one byte per second for this long is abandoned, so a
    // site that accepts the connection and never answers ends the login.
    long lowSpeedTimeSeconds = 10;
    // Upper bound of the whole transfer, against a site that trickles its reply.
    long totalTimeoutSeconds = 30;
    // A reply body larger than this is refused as a bad response without reading it all.
    std::size_t maxReplyBytes = 1024 * 1024;
    // Makes the transfer's easy handle (a CURL*); empty means curl_easy_init. The client
    // owns and cleans up what it returns; returning null is a failed handle creation.
    std::function<void*()> createHandle;
};

class LoginRegister {
  public:
    // The process-wide client with the default settings, created on the first call.
    static std::shared_ptr<LoginRegister> Instance();

    LoginRegister();
    explicit LoginRegister(LoginSettings settings);
    virtual ~LoginRegister();
    LoginRegister(const LoginRegister&) = delete;
    LoginRegister& operator=(const LoginRegister&) = delete;

    // Logs in with `account` and `password` (system code page) at serverInfo.url +
    // "login.php". Returns 0 when the site answered (or the client is already logged in),
    // -1 when the transfer failed. A login succeeded when the result is 0 and LastCode()
    // is 0; LastMessage() and LastCode() describe every other outcome.
    int Login(const std::string& account, const std::string& password, const ServerInfo& serverInfo);

    bool IsLoggedIn() const { return loggedIn_; }
    // The account of the last login the site answered, whatever its answer.
    std::string AccountName() const { return accountName_; }
    // The site's session id; empty while not logged in.
    std::string SessionId() const { return sessionId_; }
    std::string LastMessage() const { return lastMessage_; }
    int LastCode() const { return lastCode_; }

    // Interprets a complete reply body of the login and updates message, code, session id
    // and the logged-in flag.
    void ParseLoginReply(std::string_view reply);

    // The 64-digit encoding that the request carries in place of the password, made with
    // the current time; the empty string for a password over 30 bytes.
    static std::string EncodePassword(std::string_view password);
    // The same with the given time, which picks the starting key index and seeds the padding.
    static std::string EncodePassword(std::string_view password, std::time_t now);

  private:
    void SaveCookies(void* handle) const;

    LoginSettings settings_;
    bool loggedIn_ = false;
    std::string accountName_;
    std::string sessionId_;
    std::string lastMessage_;
    int lastCode_ = 0;
};

}  // namespace qarv
