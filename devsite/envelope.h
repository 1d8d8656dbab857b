#pragma once
// The JSON object in which the site answers every request: "retn" (the result code, 0 for
// success), "desc" (a description) and "result" (the payload). The recorder's requests get
// "retn" as a JSON integer; the update server's version query gets it as a decimal string.
// Thread-safe (values and pure functions).

#include <json/value.h>

#include <string>

namespace qarv {

// Result codes of the site's replies.
enum SiteCode {
    kSiteOk = 0,
    kSiteBadRequest = 2,      // a parameter or form part missing, too long or malformed
    kSiteNotLoggedIn = 3,     // no valid session cookie
    kSiteStoreFailed = 4,     // the upload could not be stored
    kSiteUnknownApp = 5,      // the version query names an application or platform not offered
    kSiteWrongPassword = 7,   // unknown account, wrong password or unreadable password encoding
    kSiteNotFound = 404,      // no such page
    kSiteBadMethod = 405,     // the page does not take this method
    kSiteInternalError = 500  // the server failed (sent by the fault modes)
};

struct Envelope {
    int retn = kSiteOk;
    std::string desc;
    Json::Value result = Json::Value(Json::objectValue);
    bool stringRetn = false;  // write "retn" as a decimal string (the update server's form)
};

// The envelope as one line of JSON.
std::string RenderEnvelope(const Envelope& envelope);

// The envelope with "retn" of the other JSON type (a string where an integer belongs and
// the reverse), which a client must refuse as not well formed.
std::string RenderMistypedEnvelope(const Envelope& envelope);

// One line of JSON for any value (no trailing line break).
std::string RenderJsonLine(const Json::Value& value);

}  // namespace qarv
