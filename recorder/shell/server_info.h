#pragma once
// The recorder's server settings, read from the ServerInfo element of "Config/config.xml".

#include <string>

namespace qarv {

struct ServerInfo {
    std::string url;  // the site's base address; every request is url + path
    std::string url_bak;
    int port = 80;
    int port_bak = 0;
    std::string description;
    std::string UpgradeUrl;
    // The outside video site's upload page, which the my-share page opens in the default
    // browser; optional (empty when the file has no OutsideUploadUrl).
    std::string OutsideUploadUrl;
};

// Relative path of the configuration file.
std::string ConfigFilePath();

// Reads the six settings from the ServerInfo element of the XML file at `path` (the first
// element of each name counts; ports read as atoi does), and the optional OutsideUploadUrl.
// Returns 0 with `record` filled only when all six are present; otherwise -1 and `record` is
// unchanged.
int LoadServerInfo(ServerInfo& record, const std::string& path = ConfigFilePath());

}  // namespace qarv
