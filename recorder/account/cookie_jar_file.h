#pragma once
// Writes the session cookies of a transfer to the cookie file in the Netscape format that
// libcurl reads back with CURLOPT_COOKIEFILE. The file holds the user's session, so it is
// created readable and writable by the user only. Thread-safe (no shared state).

#include <string>
#include <vector>

namespace qarv {

// Replaces the file at `path` with the cookie `lines` (each one line of libcurl's cookie
// list, CURLINFO_COOKIELIST). The new content is written to a temporary file with mode 0600
// in the same folder and renamed over the old file, so the file is never readable by
// others and never seen half-written, whatever the umask or the mode of the file it
// replaces. Returns 0, or -1 (the old file is untouched, no temporary file is left).
int WriteCookieJarFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace qarv
