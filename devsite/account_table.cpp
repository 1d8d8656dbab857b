#include "devsite/account_table.h"

#include <algorithm>

#include "common/password_key.h"

namespace qarv {
namespace {

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

}  // namespace

AccountTable::AccountTable() {
    passwords_.emplace("TenoPalu", "kwp417");  // the recorder's built-in account
    passwords_.emplace("rindle", "vanlo2014");
    passwords_.emplace("tester", "test-pass");
    passwords_.emplace("\xe7\x8e\xa9\xe5\xae\xb6", "\xe5\xaf\x86\xe7\xa0\x81 1&#");  // 玩家 / 密码 1&#
}

bool AccountTable::Check(std::string_view account, std::string_view password) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = passwords_.find(account);
    return found != passwords_.end() && found->second == password;
}

int AccountTable::Add(const std::string& account, const std::string& password) {
    if (account.empty() || account.size() > kMaxAccountBytes || HasControlCharacter(account))
        return kInvalid;
    // The login's password encoding carries 1 to 30 bytes.
    if (password.empty() || password.size() > kMaxEncodedPasswordBytes || HasControlCharacter(password))
        return kInvalid;
    std::lock_guard<std::mutex> lock(mutex_);
    if (passwords_.count(account) != 0)
        return kExists;
    if (passwords_.size() >= kMaxAccounts)
        return kFull;
    passwords_.emplace(account, password);
    return kAdded;
}

}  // namespace qarv
