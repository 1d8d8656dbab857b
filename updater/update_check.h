#pragma once
// The update decision: asks the update server named in the configuration for the offered
// recorder version and compares it with the installed one. Called on the UI thread; blocks it
// for at most the version query's time-outs.

#include <string>

#include "updater/version_info.h"
#include "updater/version_query.h"

namespace qarv {

struct UpdaterSettings {
    std::string configFile;  // "Config/config.xml" when empty
    VersionQuerySettings query;
    UpdaterSettings();
};

// What an offered update is fetched from and checked against.
struct UpdateOffer {
    std::string downloadUrl;  // UpgradeUrl + "/down/windows/" + the recorder's file name
    std::string sha256;       // the digest the server gave for the file; empty if none
};

// The version query's address for the update server `upgradeUrl`.
std::string VersionQueryUrl(const std::string& upgradeUrl);
// The new recorder's address on the update server `upgradeUrl`.
std::string RecorderDownloadUrl(const std::string& upgradeUrl);

// True when the server offers a newer recorder than the installed one. `pending` then holds
// what is written after a successful install (the server's version, the current local time,
// the installed description) and `offer`, if given, where to fetch it. False (no update) when
// the configuration has no server settings or no complete VersionInfo, or the query fails or
// is refused; `pending` and `offer` are then unchanged.
bool CheckForUpdate(VersionInfo& pending, UpdateOffer* offer = nullptr,
                    const UpdaterSettings& settings = UpdaterSettings());

}  // namespace qarv
