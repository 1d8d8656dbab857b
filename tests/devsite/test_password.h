#pragma once
// The login's password encoding as the recorder writes it, for tests that play the
// recorder's part: the key index and the padding byte are chosen by the caller (the
// recorder takes them from the clock and rand()). A password over 30 bytes gives an empty
// text, as in the recorder.

#include <cstdio>
#include <string>
#include <string_view>

#include "common/password_key.h"

namespace qarv::test {

inline std::string EncodePasswordForTest(std::string_view password, unsigned keyIndex = 5,
                                         unsigned char padding = 0x5a) {
    if (password.size() > kMaxEncodedPasswordBytes)
        return {};
    const auto key = PasswordKey();
    unsigned k = keyIndex % kPasswordKeySize;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02x%02x", (k * 8) ^ static_cast<unsigned>(password.size()), k);
    std::string encoded = digits;
    for (char c : password) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c) ^ key[k]);
        encoded += digits;
        k = (k + 1) % kPasswordKeySize;
    }
    for (std::size_t i = password.size(); i < kMaxEncodedPasswordBytes; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", padding);
        encoded += digits;
    }
    return encoded;
}

}  // namespace qarv::test
