#include "common/password_key.h"

#include <cstdint>
#include <utility>

namespace qarv {
namespace {

constexpr std::uint32_t kKeySeed = 0x51A7C0DEu;
constexpr std::uint32_t kKeyMultiplier = 1103515245u;
constexpr std::uint32_t kKeyIncrement = 12345u;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte at digit pair `index`, or -1.
int ByteAt(std::string_view text, std::size_t index) {
    const int high = HexValue(text[2 * index]);
    const int low = HexValue(text[2 * index + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

}  // namespace

std::array<unsigned char, kPasswordKeySize> PasswordKey() {
    // A small linear congruential sequence, so the key is not a readable table in the binary.
    std::array<unsigned char, kPasswordKeySize> key{};
    std::uint32_t state = kKeySeed;
    for (unsigned char& byte : key) {
        state = state * kKeyMultiplier + kKeyIncrement;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return key;
}

int DecodePassword(std::string_view encoding, std::string* password) {
    if (encoding.size() != kPasswordEncodingDigits)
        return -1;
    const std::size_t pairs = kPasswordEncodingDigits / 2;
    std::array<int, kPasswordEncodingDigits / 2> bytes{};
    for (std::size_t i = 0; i < pairs; ++i) {
        bytes[i] = ByteAt(encoding, i);
        if (bytes[i] < 0)
            return -1;
    }
    const int start = bytes[1];
    if (start >= static_cast<int>(kPasswordKeySize))
        return -1;
    const int length = bytes[0] ^ (start * 8);
    if (length < 0 || length > static_cast<int>(kMaxEncodedPasswordBytes))
        return -1;

    const auto key = PasswordKey();
    std::string plain;
    plain.reserve(static_cast<std::size_t>(length));
    std::size_t k = static_cast<std::size_t>(start);
    for (int i = 0; i < length; ++i) {
        plain.push_back(static_cast<char>(bytes[2 + static_cast<std::size_t>(i)] ^ key[k]));
        k = (k + 1) % kPasswordKeySize;
    }
    *password = std::move(plain);
    return 0;
}

}  // namespace qarv
