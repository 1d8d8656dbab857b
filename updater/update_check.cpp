#include "updater/update_check.h"

#include <ctime>

#include "common/paths.h"
#include "recorder/account/login_register.h"
#include "recorder/shell/server_info.h"
#include "updater/version_compare.h"

namespace qarv {
namespace {

// The address without a trailing separator, so that paths can follow it.
std::string ServerBase(const std::string& url) {
    std::string base = url;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

}  // namespace

UpdaterSettings::UpdaterSettings() : configFile(ConfigFilePath()) {
    query.cookieFile = DefaultCookieFile();
}

std::string VersionQueryUrl(const std::string& upgradeUrl) {
    // The platform is named as the update server knows it.
    return ServerBase(upgradeUrl) + "/down/get_ver.php?app=recorder&platform=windows";
}

std::string RecorderDownloadUrl(const std::string& upgradeUrl) {
    return ServerBase(upgradeUrl) + "/down/windows/" + ExecutableName("QarvRecorder");
}

bool CheckForUpdate(VersionInfo& pending, UpdateOffer* offer, const UpdaterSettings& settings) {
    // The configuration first: without a VersionInfo no update is ever offered, and the
    // network need not be asked.
    ServerInfo server;
    VersionInfo installed;
    if (LoadServerInfo(server, settings.configFile) != 0 || server.UpgradeUrl.empty() ||
        ReadVersionInfo(installed, settings.configFile) != 0)
        return false;

    VersionReply reply;
    std::string serverVersion;
    if (QueryServerVersion(VersionQueryUrl(server.UpgradeUrl), reply, serverVersion, settings.query) != 0)
        return false;
    if (!IsNewerVersion(installed.version, serverVersion))
        return false;

    VersionInfo next;
    next.version = serverVersion;
    next.datetime = FormatVersionTime(static_cast<long long>(std::time(nullptr)));
    next.description = installed.description;
    pending = next;
    if (offer != nullptr) {
        offer->downloadUrl = RecorderDownloadUrl(server.UpgradeUrl);
        offer->sha256 = reply.sha256;
    }
    return true;
}

}  // namespace qarv
