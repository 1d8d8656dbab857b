#pragma once
// The key of the login's password encoding, shared by the account client, which encodes,
// and the site, which reads the password back. Thread-safe (pure functions).

#include <array>
#include <string>
#include <string_view>

namespace qarv {

inline constexpr std::size_t kPasswordKeySize = 32;
// Longest password the encoding carries; a longer one is sent as an empty encoding.
inline constexpr std::size_t kMaxEncodedPasswordBytes = 30;
// Every non-empty encoding is this many lowercase hexadecimal digits.
inline constexpr std::size_t kPasswordEncodingDigits = 64;

// The 32 key bytes, derived at run time from the program's own constants.
std::array<unsigned char, kPasswordKeySize> PasswordKey();

// Reads a password back from its 64-digit encoding (two header bytes: (k * 8) XOR n and k,
// then n bytes XORed with the key from index k on, then padding). Returns 0 with the
// password, or -1 when the text is not a well-formed encoding (wrong length, a digit that
// is not lowercase hexadecimal, a key index over 31 or a length over 30).
int DecodePassword(std::string_view encoding, std::string* password);

}  // namespace qarv
