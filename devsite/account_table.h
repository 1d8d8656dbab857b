#pragma once
// The accounts the local site knows: the recorder's built-in account, a few of the site's
// own, and those registered through the registration page while the site runs.
// Thread-safe.

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace qarv {

class AccountTable {
  public:
    enum AddResult {
        kAdded = 0,
        kInvalid = -1,  // empty or too long, control characters, or a password the login cannot carry
        kExists = -2,
        kFull = -3,
    };

    static constexpr std::size_t kMaxAccountBytes = 64;
    static constexpr std::size_t kMaxAccounts = 1000;

    AccountTable();  // holds the built-in and the site's own accounts

    // True if `account` exists and its password is `password`.
    bool Check(std::string_view account, std::string_view password) const;

    // Registers a new account; one of AddResult.
    int Add(const std::string& account, const std::string& password);

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string, std::less<>> passwords_;
};

}  // namespace qarv
