// The installed version in a real Config/config.xml: read, rewritten as the root's last
// child with its three children in order, the rest of the file kept, and a file without the
// element never touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "common/third_node.h"
#include "common/xml_file.h"
#include "tests/support/temp_dir.h"
#include "updater/update_check.h"
#include "updater/version_info.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::WriteFileText;

// "本机站点" in GB18030, as the shipped configuration stores it.
const std::string kGbSite = "\xb1\xbe\xbb\xfa\xd5\xbe\xb5\xe3";

std::string Config(const std::string& body, const std::string& encoding = "gb2312") {
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\" standalone=\"no\" ?>\r\n<Config>\r\n" + body +
           "</Config>\r\n";
}

const std::string kServerInfo =
    "<ServerInfo><url>http://127.0.0.1:1/</url><url_bak>u</url_bak><port>1</port><port_bak>1</port_bak>"
    "<description>" +
    kGbSite + "</description><UpgradeUrl>http://127.0.0.1:1</UpgradeUrl></ServerInfo>\r\n";

TEST(VersionInfoTest, ReadsTheElementWhenAllThreeChildrenArePresent) {
    test::TempDir dir;
    const std::string path = dir.file("config.xml");
    const struct {
        std::string body;
        int result;
        VersionInfo expected;
    } cases[] = {
        {kServerInfo +
             "<VersionInfo><version>1.0.0.1</version><datetime>2014-9-2 13:5:8</datetime>"
             "<description>" +
             kGbSite + "</description></VersionInfo>",
         0,
         {"1.0.0.1", "2014-9-2 13:5:8", "本机站点"}},
        {"<VersionInfo a=\"1\"><description/><datetime></datetime><version>2</version></VersionInfo>",
         0,
         {"2", "", ""}},
        {"<VersionInfo><version>1</version><datetime>d</datetime></VersionInfo>", -1, {"old", "old", "old"}},
        {kServerInfo, -1, {"old", "old", "old"}},
        {"<VersionInfo><version>1</version><datetime>d</datetime><description>x</description></VersionInfo>"
         "<VersionInfo><version>2</version><datetime>e</datetime><description>y</description></VersionInfo>",
         0,
         {"1", "d", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        WriteFileText(path, Config(c.body));
        VersionInfo info{"old", "old", "old"};
        EXPECT_EQ(ReadVersionInfo(info, path), c.result);
        EXPECT_EQ(info, c.expected);
    }

    VersionInfo untouched{"old", "old", "old"};
    EXPECT_EQ(ReadVersionInfo(untouched, dir.file("missing.xml")), -1);
    WriteFileText(path, "<Config><VersionInfo>");
    EXPECT_EQ(ReadVersionInfo(untouched, path), -1);
    EXPECT_EQ(untouched.version, "old");
}

TEST(VersionInfoTest, WriteReplacesTheElementAsTheLastChildAndKeepsTheRest) {
    test::TempDir dir;
    const std::string path = dir.file("config.xml");
    WriteFileText(path,
                  Config("<VersionInfo kind=\"x\"><version>1.0.0.1</version><extra>e</extra>"
                         "<description>" +
                         kGbSite + "</description><datetime>t</datetime></VersionInfo>\r\n" + kServerInfo +
                         "<VersionInfo><version>0.9</version></VersionInfo>\r\n<Other>o</Other>\r\n"));
    const VersionInfo written{"1.0.0.2", "2026-1-5 9:3:0", "本机站点"};
    ASSERT_EQ(WriteVersionInfo(written, path), 0);

    ThirdNode root;
    ThirdDeclaration declaration;
    ASSERT_EQ(LoadXmlFile(path, root, &declaration), 0);
    EXPECT_EQ(declaration.encoding, "gb2312");
    ASSERT_EQ(root.children().size(), 3u);
    EXPECT_EQ(root.children()[0].name(), "ServerInfo");
    EXPECT_EQ(root.children()[1].name(), "Other");
    const ThirdNode& version = root.children()[2];
    EXPECT_EQ(version.name(), "VersionInfo");
    EXPECT_TRUE(version.attributes().empty());
    ASSERT_EQ(version.children().size(), 3u);
    EXPECT_EQ(version.children()[0], ThirdNode("version", "1.0.0.2"));
    EXPECT_EQ(version.children()[1], ThirdNode("datetime", "2026-1-5 9:3:0"));
    EXPECT_EQ(version.children()[2], ThirdNode("description", "本机站点"));
    // The file stays in its declared encoding, and the server settings read as before.
    EXPECT_NE(ReadFileText(path).find(kGbSite), std::string::npos);
    VersionInfo read;
    ASSERT_EQ(ReadVersionInfo(read, path), 0);
    EXPECT_EQ(read, written);
}

TEST(VersionInfoTest, WriteLeavesFilesItCannotUseUntouched) {
    test::TempDir dir;
    const std::string path = dir.file("config.xml");
    const VersionInfo info{"9", "t", "d"};
    for (const std::string& content :
         {Config(kServerInfo), std::string("<Config><VersionInfo>"), std::string()}) {
        WriteFileText(path, content);
        EXPECT_EQ(WriteVersionInfo(info, path), -1);
        EXPECT_EQ(ReadFileText(path), content);
    }
    EXPECT_EQ(WriteVersionInfo(info, dir.file("missing.xml")), -1);

    // A folder that cannot be written: the file keeps its content.
    const std::string body = Config(
        "<VersionInfo><version>1</version><datetime>d</datetime>"
        "<description>x</description></VersionInfo>");
    WriteFileText(path, body);
    ::chmod(dir.path().c_str(), 0555);
    const bool rootUser = ::geteuid() == 0;  // root writes anyway
    if (!rootUser) {
        EXPECT_EQ(WriteVersionInfo(info, path), -1);
    }
    ::chmod(dir.path().c_str(), 0755);
    if (!rootUser) {
        EXPECT_EQ(ReadFileText(path), body);
    }
}

TEST(VersionInfoTest, TimeAndAddressesHaveTheServersForm) {
    std::tm when{};
    when.tm_year = 2014 - 1900;
    when.tm_mon = 8;
    when.tm_mday = 2;
    when.tm_hour = 13;
    when.tm_min = 5;
    when.tm_sec = 8;
    when.tm_isdst = -1;
    EXPECT_EQ(FormatVersionTime(static_cast<long long>(std::mktime(&when))), "2014-9-2 13:5:8");
    EXPECT_EQ(VersionQueryUrl("http://h:1080/"),
              "http://h:1080/down/get_ver.php?app=recorder&platform=windows");
    EXPECT_EQ(RecorderDownloadUrl("http://h:1080"), "http://h:1080/down/windows/QarvRecorder");
}

}  // namespace
}  // namespace qarv
