#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace qarv {
namespace {

TEST(TextTest, CutNeverSplitsACharacter) {
    const std::string text = "ab中文";  // 2 + 3 + 3 bytes
    EXPECT_EQ(CharBoundaryPrefix(text, 100), text.size());
    EXPECT_EQ(CharBoundaryPrefix(text, 8), 8u);
    EXPECT_EQ(CharBoundaryPrefix(text, 7), 5u);
    EXPECT_EQ(CharBoundaryPrefix(text, 6), 5u);
    EXPECT_EQ(CharBoundaryPrefix(text, 5), 5u);
    EXPECT_EQ(CharBoundaryPrefix(text, 4), 2u);
    EXPECT_EQ(CharBoundaryPrefix(text, 0), 0u);
    const std::string emoji = "x\xF0\x9F\x8E\xAE";  // a four-byte character
    for (std::size_t cut = 1; cut < 5; ++cut)
        EXPECT_EQ(CharBoundaryPrefix(emoji, cut), 1u) << cut;
}

TEST(TextTest, CutOfInvalidBytesStillCutsAtTheLimit) {
    const std::string stray = "ab\x80\x80\x80\x80\x80";
    EXPECT_EQ(CharBoundaryPrefix(stray, 6), 6u);
    std::string text = "\xff\xfe\xfd";
    TruncateOnCharBoundary(text, 2);
    EXPECT_EQ(text, "\xff\xfe");
}

TEST(TextTest, Utf8Validation) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain 中文 \xF0\x9F\x8E\xAE"));
    EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // truncated
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xD6\xD0\xCE\xC4"));  // GBK bytes of 中文
}

TEST(TextTest, Gb18030RoundTrip) {
    std::string gb;
    ASSERT_EQ(ConvertEncoding("UTF-8", "GB18030", "录像 abc", gb), 0);
    EXPECT_EQ(gb, "\xC2\xBC\xCF\xF1 abc");
    std::string back;
    ASSERT_EQ(ConvertEncoding("GB18030", "UTF-8", gb, back), 0);
    EXPECT_EQ(back, "录像 abc");
    std::string big(100000, 'a');
    big += "中";
    ASSERT_EQ(ConvertEncoding("UTF-8", "GB18030", big, gb), 0);
    ASSERT_EQ(ConvertEncoding("GB18030", "UTF-8", gb, back), 0);
    EXPECT_EQ(back, big);
}

// The ASCII runs are copied past iconv: the result and the verdict are iconv's in every case,
// also where a two-byte character's second byte is an ASCII letter.
TEST(TextTest, Gb18030ToUtf8MatchesIconv) {
    const std::string cases[] = {
        "",
        "plain ascii <a b=\"1\"/>",
        "\xC2\xBC\xCF\xF1 abc \xD6\xD0",  // 录像 abc 中
        "\x81\x40\x81\x7E x",             // 丂 and a second byte of "~"
        "a\x95\x32\x82\x36"
        "b",  // four bytes: U+1F600
        "end cut \xD6",
        "four cut \x95\x32\x82",
        "bad lead \x80 x",
        "bad lead \xFF x",
        "lead then space \x81 x",
    };
    for (const std::string& input : cases) {
        std::string expected;
        const int expectedResult = ConvertEncoding("GB18030", "UTF-8", input, expected);
        std::string out;
        EXPECT_EQ(Gb18030ToUtf8(input, out), expectedResult) << input;
        if (expectedResult == 0) {
            EXPECT_EQ(out, expected) << input;
        }
    }
}

TEST(TextTest, ConversionFailures) {
    std::string out;
    EXPECT_EQ(ConvertEncoding("UTF-8", "GB18030", "\xE4\xB8", out), -1);  // truncated input
    EXPECT_EQ(ConvertEncoding("UTF-8", "GB18030", "\xFF", out), -1);
    EXPECT_EQ(ConvertEncoding("NO-SUCH-ENCODING", "UTF-8", "a", out), -1);
    EXPECT_EQ(ConvertEncoding("UTF-8", "GB18030", "", out), 0);
    EXPECT_EQ(out, "");
}

TEST(TextTest, CaseInsensitiveNames) {
    EXPECT_TRUE(EqualsIgnoreAsciiCase("IsFlag", "isflag"));
    EXPECT_TRUE(EqualsIgnoreAsciiCase("capturer", "CAPTURER"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("IsFlag", "IsFlags"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("a[", "A{"));  // only letters fold
}

}  // namespace
}  // namespace qarv
