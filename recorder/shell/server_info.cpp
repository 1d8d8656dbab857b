#include "recorder/shell/server_info.h"

#include "common/paths.h"
#include "common/third_node.h"
#include "common/xml_file.h"

namespace qarv {

std::string ConfigFilePath() {
    return JoinPath("Config", "config.xml");
}

int LoadServerInfo(ServerInfo& record, const std::string& path) {
    ThirdNode root;
    if (LoadXmlFile(path, root) != 0)
        return -1;
    ThirdNode node;
    if (root.FindChild("ServerInfo", node) != 0)
        return -1;

    ServerInfo read;
    if (node.GetChildText("url", read.url) != 0)
        return -1;
    if (node.GetChildText("url_bak", read.url_bak) != 0)
        return -1;
    if (node.GetChildInt("port", read.port) != 0)
        return -1;
    if (node.GetChildInt("port_bak", read.port_bak) != 0)
        return -1;
    if (node.GetChildText("description", read.description) != 0)
        return -1;
    if (node.GetChildText("UpgradeUrl", read.UpgradeUrl) != 0)
        return -1;
    node.GetChildText("OutsideUploadUrl", read.OutsideUploadUrl);  // optional
    record = read;
    return 0;
}

}  // namespace qarv
