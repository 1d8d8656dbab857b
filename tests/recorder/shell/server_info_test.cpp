#include "recorder/shell/server_info.h"

#include <gtest/gtest.h>

#include <string>

#include "common/file_util.h"
#include "common/text.h"
#include "recorder/shell/qarv_record_info_center.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

std::string Config(const std::string& serverInfoChildren) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Config>\n<ServerInfo>" + serverInfoChildren +
           "</ServerInfo>\n</Config>\n";
}

const std::string kAllSix =
    "<url>http://127.0.0.1:1080</url><url_bak>http://127.0.0.1:8081</url_bak><port>1080</port>"
    "<port_bak>81</port_bak><description>d</description><UpgradeUrl>http://127.0.0.1:8082</UpgradeUrl>";

ServerInfo Sentinel() {
    ServerInfo info;
    info.url = "unchanged";
    info.port = 4242;
    return info;
}

void ExpectUnchanged(const ServerInfo& info) {
    EXPECT_EQ(info.url, "unchanged");
    EXPECT_EQ(info.port, 4242);
    EXPECT_EQ(info.UpgradeUrl, "");
}

TEST(LoadServerInfoTest, ReadsAllSixSettings) {
    TempDir dir;
    WriteFileText(dir.file("config.xml"), Config(kAllSix));
    ServerInfo info;
    ASSERT_EQ(LoadServerInfo(info, dir.file("config.xml")), 0);
    EXPECT_EQ(info.url, "http://127.0.0.1:1080");
    EXPECT_EQ(info.url_bak, "http://127.0.0.1:8081");
    EXPECT_EQ(info.port, 1080);
    EXPECT_EQ(info.port_bak, 81);
    EXPECT_EQ(info.description, "d");
    EXPECT_EQ(info.UpgradeUrl, "http://127.0.0.1:8082");
}

TEST(LoadServerInfoTest, ShippedDefaultConfigHasEverySetting) {
    ServerInfo info;
    ASSERT_EQ(LoadServerInfo(info, QARV_DEFAULT_CONFIG), 0);
    EXPECT_EQ(info.url, "http://127.0.0.1:1080/");  // request paths are appended to it
    EXPECT_EQ(info.description, "本机站点");        // gb2312 on disk, UTF-8 in memory
    EXPECT_FALSE(info.UpgradeUrl.empty());
}

TEST(LoadServerInfoTest, MissingSettingLeavesRecordUnchanged) {
    TempDir dir;
    std::string withoutUpgrade = kAllSix.substr(0, kAllSix.find("<UpgradeUrl>"));
    WriteFileText(dir.file("config.xml"), Config(withoutUpgrade));
    ServerInfo info = Sentinel();
    EXPECT_EQ(LoadServerInfo(info, dir.file("config.xml")), -1);
    ExpectUnchanged(info);
}

TEST(LoadServerInfoTest, FirstOfDuplicatedChildrenCountsAndOrderDoesNotMatter) {
    TempDir dir;
    WriteFileText(dir.file("config.xml"),
                  Config("<UpgradeUrl>u</UpgradeUrl><port>1</port><port>2</port><url>a</url><url>b</url>"
                         "<url_bak/><port_bak>x</port_bak><description></description>"));
    ServerInfo info;
    ASSERT_EQ(LoadServerInfo(info, dir.file("config.xml")), 0);
    EXPECT_EQ(info.url, "a");
    EXPECT_EQ(info.port, 1);
    EXPECT_EQ(info.port_bak, 0);  // not a number reads as 0
    EXPECT_EQ(info.url_bak, "");  // present but empty
}

TEST(LoadServerInfoTest, PortWithTrailingLettersGivesLeadingDigits) {
    TempDir dir;
    std::string children = kAllSix;
    children.replace(children.find("1080</port>"), 4, "8080abc");
    WriteFileText(dir.file("config.xml"), Config(children));
    ServerInfo info;
    ASSERT_EQ(LoadServerInfo(info, dir.file("config.xml")), 0);
    EXPECT_EQ(info.port, 8080);
}

TEST(LoadServerInfoTest, UnusableFilesAreRejectedAndNeverChanged) {
    TempDir dir;
    const std::string truncated = Config(kAllSix).substr(0, 60);
    const std::string cases[] = {
        "",
        "not xml at all",
        truncated,
        std::string("\x00\x01\xff\xfe binary", 11),
        "<?xml version=\"1.0\" ?><!-- only a comment -->",
        "<Config><ServerInfo>" + kAllSix,  // never closed
        "<Config/>",
        "<Config><serverinfo>" + kAllSix + "</serverinfo></Config>",  // names are case-sensitive
    };
    for (const auto& content : cases) {
        WriteFileText(dir.file("config.xml"), content);
        ServerInfo info = Sentinel();
        EXPECT_EQ(LoadServerInfo(info, dir.file("config.xml")), -1) << content;
        ExpectUnchanged(info);
        EXPECT_EQ(ReadFileText(dir.file("config.xml")), content);
    }
    ServerInfo info = Sentinel();
    EXPECT_EQ(LoadServerInfo(info, dir.file("missing.xml")), -1);
    ExpectUnchanged(info);
}

TEST(LoadServerInfoTest, EntitiesCdataCommentsAndGbTextAreRead) {
    TempDir dir;
    const std::string utf8 =
        "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<Config>\r\n<!-- c -->\r\n"
        "<ServerInfo><url>http://127.0.0.1/?a=1&amp;b=2</url><url_bak><![CDATA[<raw>]]></url_bak>"
        "<port> 80</port><port_bak>-1</port_bak><description>游戏录像站</description>"
        "<UpgradeUrl>u</UpgradeUrl></ServerInfo></Config>\r\n";
    std::string gb;
    ASSERT_EQ(ConvertEncoding("UTF-8", "GB18030", utf8, gb), 0);
    WriteFileText(dir.file("config.xml"), gb);
    ServerInfo info;
    ASSERT_EQ(LoadServerInfo(info, dir.file("config.xml")), 0);
    EXPECT_EQ(info.url, "http://127.0.0.1/?a=1&b=2");
    EXPECT_EQ(info.url_bak, "<raw>");
    EXPECT_EQ(info.port, 80);
    EXPECT_EQ(info.port_bak, -1);
    EXPECT_EQ(info.description, "游戏录像站");
}

TEST(QarvRecordInfoCenterTest, CreatesDirectoriesAndKeepsInitialSettingsWithoutConfig) {
    TempDir dir;
    QarvRecordInfoCenter center(dir.path());
    EXPECT_EQ(center.GetVideoDir(), dir.path() + "/Video");
    EXPECT_EQ(center.GetIconDir(), dir.path() + "/Icon");
    for (const char* name : {"Icon", "Video", "Config"}) {
        EXPECT_TRUE(DirectoryExists(dir.file(name))) << name;
    }
    const ServerInfo info = center.GetServerInfo();
    EXPECT_EQ(info.url, "");
    EXPECT_EQ(info.port, 80);
}

TEST(QarvRecordInfoCenterTest, ReadsConfigOfItsDirectory) {
    TempDir dir;
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Config")), 0);
    WriteFileText(dir.file("Config/config.xml"), Config(kAllSix));
    QarvRecordInfoCenter center(dir.path());
    EXPECT_EQ(center.GetServerInfo().url, "http://127.0.0.1:1080");
}

}  // namespace
}  // namespace qarv
