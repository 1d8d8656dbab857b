#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/password_key.h"
#include "recorder/account/login_register.h"

namespace qarv {
namespace {

int HeaderByte(const std::string& encoding, int index) {
    return std::stoi(encoding.substr(static_cast<std::size_t>(index) * 2, 2), nullptr, 16);
}

bool IsLowerHex(const std::string& text) {
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// Every byte value, so the encoding must treat bytes as unsigned.
std::string AllKindsOfBytes(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<char>((i * 97 + 200) & 0xFF));
    return text;
}

TEST(EncodePasswordTest, DecodesBackForEveryLengthItCarries) {
    for (const std::size_t length : {0u, 1u, 2u, 15u, 29u, 30u}) {
        for (const std::time_t now : {std::time_t{0}, std::time_t{1700000000}, std::time_t{1700000031}}) {
            SCOPED_TRACE(testing::Message() << "length " << length << " time " << now);
            const std::string password = AllKindsOfBytes(length);
            const std::string encoding = LoginRegister::EncodePassword(password, now);
            ASSERT_EQ(encoding.size(), 64u);
            EXPECT_TRUE(IsLowerHex(encoding)) << encoding;
            std::string decoded = "not touched";
            ASSERT_EQ(DecodePassword(encoding, &decoded), 0) << encoding;
            EXPECT_EQ(decoded, password);
        }
    }
}

TEST(EncodePasswordTest, PasswordOver30BytesGivesAnEmptyEncoding) {
    EXPECT_EQ(LoginRegister::EncodePassword(std::string(31, 'x'), 1700000000), "");
    EXPECT_EQ(LoginRegister::EncodePassword(std::string(200, 'x'), 1700000000), "");
    EXPECT_EQ(LoginRegister::EncodePassword(std::string(31, 'x')), "");
}

TEST(EncodePasswordTest, HeaderCarriesTheStartIndexAndTheLength) {
    for (std::size_t length = 0; length <= 30; ++length) {
        const std::time_t now = 1700000000 + static_cast<std::time_t>(length) * 7;
        const std::string encoding = LoginRegister::EncodePassword(std::string(length, 'a'), now);
        const int start = HeaderByte(encoding, 1);
        EXPECT_EQ(start, static_cast<int>((now + static_cast<std::time_t>(length)) % 32));
        EXPECT_EQ(HeaderByte(encoding, 0) ^ (start * 8), static_cast<int>(length));
    }
}

TEST(EncodePasswordTest, OneSecondLaterStartsOneIndexOnWithOtherPadding) {
    for (const std::time_t now : {std::time_t{1700000000}, std::time_t{1700000031}}) {
        const std::string first = LoginRegister::EncodePassword("", now);
        const std::string second = LoginRegister::EncodePassword("", now + 1);
        EXPECT_EQ(HeaderByte(second, 1), (HeaderByte(first, 1) + 1) % 32);
        EXPECT_NE(first.substr(4), second.substr(4));
    }
}

TEST(EncodePasswordTest, PayloadIsTheKeyedBytesFromTheStartIndex) {
    const auto key = PasswordKey();
    const std::string password = "ab";
    const std::time_t now = 1700000029;  // starts at index 31, so the second byte wraps to 0
    const std::string encoding = LoginRegister::EncodePassword(password, now);
    const int start = HeaderByte(encoding, 1);
    ASSERT_EQ(start, 31);
    EXPECT_EQ(HeaderByte(encoding, 2), 'a' ^ key[static_cast<std::size_t>(start)]);
    EXPECT_EQ(HeaderByte(encoding, 3), 'b' ^ key[static_cast<std::size_t>(start + 1) % 32]);
}

TEST(EncodePasswordTest, WithoutATimeUsesTheClock) {
    const std::time_t before = std::time(nullptr);
    const std::string encoding = LoginRegister::EncodePassword("pw");
    const std::time_t after = std::time(nullptr);
    const int start = HeaderByte(encoding, 1);
    EXPECT_TRUE(start == (before + 2) % 32 || start == (after + 2) % 32) << start;
    std::string decoded;
    ASSERT_EQ(DecodePassword(encoding, &decoded), 0);
    EXPECT_EQ(decoded, "pw");
}

}  // namespace
}  // namespace qarv
