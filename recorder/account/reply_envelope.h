#pragma once
// The JSON envelope in which the site answers the recorder's requests: an object with an
// integer "retn" (0 is success), a string "desc" and an optional "result" object.
// Pure functions, thread-safe.

#include <json/value.h>

#include <map>
#include <string>
#include <string_view>

namespace qarv {

struct ReplyEnvelope {
    int retn = 0;
    std::string desc;
    // The string members of "result" when it is an object; other members are left out.
    std::map<std::string, std::string> resultStrings;
};

enum ParseEnvelopeResult {
    kEnvelopeOk = 0,
    kEnvelopeNotJson = -1,    // the body is not one JSON value
    kEnvelopeMalformed = -2,  // JSON, but not an object with integer "retn" and string "desc"
};

// Reads `body` as one JSON value into `root`, refusing nesting deeper than any reply of the
// site (never a crash, never an exception). True on success.
bool ParseJsonBody(std::string_view body, Json::Value& root);

// Parses a reply body. "retn" must be a JSON integer within the range of int: a string, a
// real (even 0.0), a boolean or a larger number makes the envelope malformed. Deeply nested
// or otherwise hostile bodies are refused as not JSON, never a crash.
int ParseReplyEnvelope(std::string_view body, ReplyEnvelope* envelope);

}  // namespace qarv
