#pragma once
// The HTML pages of the local site. Every text that came from a client is escaped.
// Thread-safe (pure functions).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devsite/upload_store.h"

namespace qarv {

// `text` with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view text);

// The user video page: `account`'s uploads, oldest first.
std::string UserVideoPage(const std::string& account, const std::vector<UploadRecord>& uploads);

// The answer to a user video page asked for without a live session.
std::string SessionUnknownPage();

// The statistics page; `visits` counts its requests, this one included.
std::string StatisticsPage(std::uint64_t visits);

// The registration page with its form; `message` (may be empty) reports the last attempt.
std::string RegisterPage(std::string_view message);

// The page for a forgotten password.
std::string RetrievePasswordPage();

// The outside video site's upload page, which the recorder opens in the default browser.
std::string OutsideUploadPage();

}  // namespace qarv
