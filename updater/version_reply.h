#pragma once
// The update server's answer to the version query: the envelope of the site with "retn" as a
// decimal JSON string, and the offered version in "result.version". Value type and a pure
// parser, thread-safe.

#include <string>
#include <string_view>

namespace qarv {

// Outcome texts and codes of a version query besides the server's own.
inline constexpr char kReplyNotJson[] = "Server Error, Bad Response";
inline constexpr int kReplyNotJsonCode = 500;
inline constexpr char kReplyMalformed[] = "Common Error, Bad Response";
inline constexpr int kReplyMalformedCode = 501;
inline constexpr char kReplyNoVersion[] = "no version info";
inline constexpr int kReplyNoVersionCode = 1;
inline constexpr char kReplyTransferFailed[] = "Network or url Erorr";
inline constexpr int kReplyTransferFailedCode = -1;

struct VersionReply {
    std::string version;         // result.version; empty unless the reply was accepted
    std::string message = "OK";  // the reply's desc, or one of the texts above
    int status = 0;              // the reply's retn, or one of the codes above
    // result.sha256 of an accepted reply in lower case; empty when the reply has none. A value
    // that is not 64 hex digits matches no download.
    std::string sha256;
};

// Parses a whole reply body into `reply`. A reply is accepted when "retn" (a JSON string,
// read as atoi reads it) is 0 or "desc" is exactly "OK", and "result.version" is a string.
// 0 when a version was found, -1 otherwise (status and message say why). Hostile bodies (deep
// nesting, anything not JSON) are refused, never a crash.
int ParseVersionReply(std::string_view body, VersionReply& reply);

}  // namespace qarv
