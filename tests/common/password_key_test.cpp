// Reading a password back from its login encoding. The key is shared with a site that is
// deployed separately, so an encoding made by an earlier build must keep decoding.
#include "common/password_key.h"

#include <gtest/gtest.h>

#include <string>

namespace qarv {
namespace {

// "kwp417" encoded from key index 5, with padding.
constexpr char kKnownEncoding[] = "2e05f60515cc8b5100254a6f94b9de03284d7297bce1062b50759abfe4092e53";

TEST(PasswordKeyTest, EncodingOfAnEarlierBuildStillDecodes) {
    std::string password;
    ASSERT_EQ(DecodePassword(kKnownEncoding, &password), 0);
    EXPECT_EQ(password, "kwp417");
}

TEST(PasswordKeyTest, MalformedEncodingsAreRefused) {
    std::string known = kKnownEncoding;
    std::string password = "unchanged";
    const std::string refused[] = {
        "",
        known.substr(0, 62),
        known + "00",
        "2E" + known.substr(2),  // upper-case digits are not the encoding's
        "2g" + known.substr(2),
        "0020" + known.substr(4),  // key index 32
        "1f00" + known.substr(4),  // length 31 with key index 0
    };
    for (const std::string& text : refused) {
        EXPECT_EQ(DecodePassword(text, &password), -1) << text;
        EXPECT_EQ(password, "unchanged") << text;
    }
}

TEST(PasswordKeyTest, HeaderAloneGivesLengthAndStart) {
    // Length 0 from key index 31: the header is (31 * 8) XOR 0, then 31.
    std::string password = "x";
    ASSERT_EQ(DecodePassword("f81f" + std::string(60, '0'), &password), 0);
    EXPECT_EQ(password, "");
}

}  // namespace
}  // namespace qarv
