// The version rules: splitting, comparing and the parse of the update server's reply, as
// tables of the cases the launcher meets, hostile replies included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/version_compare.h"
#include "updater/version_reply.h"

namespace qarv {
namespace {

TEST(VersionTest, SplitCutsAtDotsAndReadsPiecesAsAtoi) {
    const struct {
        const char* text;
        std::vector<int> numbers;
    } cases[] = {
        {"1.0.0.1", {1, 0, 0, 1}},
        {"", {}},
        {"1..2", {1, 0, 2}},
        {".5", {0, 5}},
        {"2.", {2}},
        {"1.2.", {1, 2}},
        {"7", {7}},
        {"1.2a.x3", {1, 2, 0}},
        {"-1.+4", {-1, 4}},
        {"4294967297.1", {2147483647, 1}},  // beyond 32 bits: clamped, never wrapped
        {"-99999999999", {-2147483647 - 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitVersion(c.text), c.numbers) << c.text;

    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += std::to_string(i % 10) + ".";
    EXPECT_EQ(SplitVersion(many).size(), 10000u);
}

TEST(VersionTest, ServerIsNewerOnlyWhenItsNumbersSaySo) {
    const struct {
        const char* installed;
        const char* server;
        bool newer;
    } cases[] = {
        {"1.0.0.1", "1.0.0.2", true},
        {"1.0.0.2", "1.0.0.1", false},
        {"1.0.0.1", "1.0.0.1", false},
        {"1.2.0", "1.10", true},  // numbers, not text
        {"2.0", "1.9", false},
        {"1.0", "1.0.1", true},
        {"1.0", "1.0.0", true},  // more numbers
        {"1.0.0", "1.0", false},
        {"", "1.0", true},
        {"1.0", "", false},
        {"", "", false},
        {"1.0", "1.4294967296", true},  // clamped to the largest int, still larger
        {"1.2147483647", "1.99999999999", false},
        {"1.-1", "1.0", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerVersion(c.installed, c.server), c.newer) << c.installed << " -> " << c.server;

    std::string longInstalled(20000, '.');
    std::string longServer = longInstalled + "1";
    EXPECT_TRUE(IsNewerVersion("0" + longInstalled, "0" + longServer));
}

TEST(VersionTest, ReplyParseFollowsTheOutcomeTable) {
    const struct {
        std::string body;
        int result;
        int status;
        std::string message;
        std::string version;
        std::string sha256;
    } cases[] = {
        {R"({"retn":"0","desc":"OK","result":{"version":"1.0.0.2"}})", 0, 0, "OK", "1.0.0.2", ""},
        {R"({"retn":"0","desc":"fine","result":{"version":"2"}})", 0, 0, "fine", "2", ""},
        {R"({"retn":"7","desc":"OK","result":{"version":"3.1"}})", 0, 7, "OK", "3.1", ""},
        {R"({"retn":"12abc","desc":"OK","result":{"version":"3"}})", 0, 12, "OK", "3", ""},
        {R"({"retn":"x","desc":"busy","result":{"version":"3"}})", 0, 0, "busy", "3", ""},
        {R"({"retn":"5","desc":"no such app","result":{"version":"9"}})", -1, 5, "no such app", "", ""},
        {R"({"retn":0,"desc":"OK","result":{"version":"1.0.0.2"}})", -1, 501, kReplyMalformed, "", ""},
        {R"({"retn":"0","desc":1,"result":{"version":"1"}})", -1, 501, kReplyMalformed, "", ""},
        {R"({"desc":"OK","result":{"version":"1"}})", -1, 501, kReplyMalformed, "", ""},
        {R"(["retn","0"])", -1, 501, kReplyMalformed, "", ""},
        {R"({"retn":"0","desc":"OK","result":{}})", -1, 1, kReplyNoVersion, "", ""},
        {R"({"retn":"0","desc":"OK","result":{"version":102}})", -1, 1, kReplyNoVersion, "", ""},
        {R"({"retn":"0","desc":"OK","result":"1.0"})", -1, 1, kReplyNoVersion, "", ""},
        {R"({"retn":"0","desc":"OK"})", -1, 1, kReplyNoVersion, "", ""},
        {"<html>500</html>", -1, 500, kReplyNotJson, "", ""},
        {"", -1, 500, kReplyNotJson, "", ""},
        {R"({"retn":"0","desc":"OK","result":{"version":"1"}} trailing)", -1, 500, kReplyNotJson, "", ""},
        {std::string(100000, '[') + std::string(100000, ']'), -1, 500, kReplyNotJson, "", ""},
        {R"({"retn":"0","desc":"OK","result":{"version":"1","sha256":"ABCdef"}})", 0, 0, "OK", "1", "abcdef"},
        {R"({"retn":"0","desc":"OK","result":{"version":"1","sha256":5}})", 0, 0, "OK", "1", "-"},
        {R"({"retn":"99999999999","desc":"OK","result":{"version":"1"}})", 0, 2147483647, "OK", "1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80));
        VersionReply reply;
        reply.version = "stale";
        EXPECT_EQ(ParseVersionReply(c.body, reply), c.result);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.message, c.message);
        EXPECT_EQ(reply.version, c.version);
        EXPECT_EQ(reply.sha256, c.sha256);
    }

    // A 10 MB reply and one whose version has 10,000 components parse without harm.
    VersionReply big;
    const std::string padded =
        R"({"retn":"0","desc":")" + std::string(10 << 20, ' ') + R"(","result":{"version":"1.1"}})";
    EXPECT_EQ(ParseVersionReply(padded, big), 0);
    std::string many = "1";
    for (int i = 0; i < 9999; ++i)
        many += ".0";
    VersionReply longVersion;
    EXPECT_EQ(
        ParseVersionReply(R"({"retn":"0","desc":"OK","result":{"version":")" + many + "\"}}", longVersion),
        0);
    EXPECT_FALSE(IsNewerVersion("1", longVersion.version.substr(0, 1)));
    EXPECT_TRUE(IsNewerVersion("1", longVersion.version));
}

}  // namespace
}  // namespace qarv
