#pragma once
// Dotted recorder versions: splitting into numbers and deciding whether the server's is newer.
// Pure functions, thread-safe.

#include <string_view>
#include <vector>

namespace qarv {

// Cuts `version` at every '.' and reads each piece as atoi does (no digits: 0; beyond the
// range of int: clamped). An empty text gives no numbers; empty pieces between dots or before
// a leading dot give 0; a trailing dot adds nothing ("2." gives 2).
std::vector<int> SplitVersion(std::string_view version);

// True when `server` is newer than `installed`: at the first differing position the larger
// number wins; with all shared positions equal, the one with more numbers is newer. An empty
// server version is never newer; an empty installed one is older than any other.
bool IsNewerVersion(std::string_view installed, std::string_view server);

}  // namespace qarv
