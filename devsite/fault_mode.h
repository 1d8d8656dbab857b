#pragma once
// How the local site misbehaves on purpose, so that tests can try every failure of its
// clients. Thread-safe (pure functions).

#include <string_view>

namespace qarv {

enum class FaultMode {
    kNone,             // answers correctly
    kSlow,             // answers correctly, but only after a delay
    kHang,             // accepts the request and never answers (until the server stops)
    kCut,              // sends the status line, the headers and half the body, then closes
    kHttp500,          // HTTP 500 with an HTML error page instead of the reply
    kHttp500Envelope,  // HTTP 500 with a well-formed error envelope (retn 500)
    kNotJson,          // HTTP 200 with a body that is not JSON
    kBadEnvelope,      // HTTP 200 with JSON whose "retn" has the wrong JSON type
    kRefuse,           // HTTP 200 with a well-formed refusal: the chosen non-zero retn
    kSplit,            // answers correctly, in two halves with a pause between them
    kBigReply,         // a well-formed reply padded to 10 MiB
    kCutUpload,        // the upload only: closes the connection once half its body is read
    kSlowReader,       // the upload only: reads the body at a limited rate, then answers
    kHtmlPage,         // the download only: HTTP 200 with an HTML page instead of the file
    kStall,            // the download only: sends half the file, then nothing until the server stops
    kWrongSha256,      // the version query only: announces a SHA-256 the offered file does not have
};

// Reads a mode by its command-line name ("none", "slow", "hang", "cut", "http500",
// "http500-envelope", "not-json", "bad-envelope", "refuse", "split", "big-reply",
// "cut-upload", "slow-reader", "html-page", "stall", "wrong-sha256"). 0, or -1 for an unknown
// name.
int ParseFaultMode(std::string_view name, FaultMode* mode);

// The command-line name of `mode`.
const char* FaultModeName(FaultMode mode);

}  // namespace qarv
