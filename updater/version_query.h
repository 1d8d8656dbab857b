#pragma once
// The version query: one blocking HTTP GET to the update server and the parse of its reply.
// Called on the UI thread before any window is shown, so it is bounded by short time-outs.

#include <cstddef>
#include <string>

#include "updater/version_reply.h"

namespace qarv {

struct VersionQuerySettings {
    std::string cookieFile;  // read for the request, never written; empty: no cookies
    // A refused connection fails at once; one that is never answered fails after these.
    long connectTimeoutSeconds = 4;
    long totalTimeoutSeconds = 8;
    // A larger reply is no reply of the server; it is refused without being read whole.
    std::size_t maxReplyBytes = 64 * 1024;
};

// Asks `url` for the offered version and fills `reply` (see ParseVersionReply) and
// `serverVersion` (the accepted version, empty otherwise). 0 after a completed HTTP exchange,
// also when the reply was refused; -1 when the transfer failed (reply status -1, message
// "Network or url Erorr", `serverVersion` empty).
int QueryServerVersion(const std::string& url, VersionReply& reply, std::string& serverVersion,
                       const VersionQuerySettings& settings = VersionQuerySettings());

}  // namespace qarv
