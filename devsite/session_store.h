#pragma once
// The sessions handed out by the login: random ids, each bound to its account. Beyond a
// fixed count the oldest sessions are forgotten, so a flood of logins cannot exhaust memory.
// Thread-safe.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qarv {

class SessionStore {
  public:
    static constexpr std::size_t kIdDigits = 32;

    explicit SessionStore(std::size_t maxSessions = 10000);

    // A new session for `account`; returns its id (kIdDigits lowercase hexadecimal digits).
    std::string Create(const std::string& account);

    // True, with the account, if `id` is a live session.
    bool Lookup(std::string_view id, std::string* account) const;

  private:
    const std::size_t maxSessions_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::string> accounts_;
    std::deque<std::string> order_;  // ids, oldest first
};

// The value of the cookie `name` in the value of a Cookie request header ("a=1; b=2"), or an
// empty string when it is not there.
std::string CookieValue(std::string_view header, std::string_view name);

}  // namespace qarv
