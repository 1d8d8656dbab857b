#include "recorder/account/cookie_jar_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_util.h"

namespace qarv {
namespace {

constexpr char kJarHeader[] = "# Netscape HTTP Cookie File\n\n";

}  // namespace

int WriteCookieJarFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string content = kJarHeader;
    for (const std::string& line : lines) {
        // A line break inside a cookie would start a forged entry; libcurl never lists one.
        if (line.find_first_of("\r\n") != std::string::npos)
            continue;
        content += line;
        content += '\n';
    }

    std::string temp = path + ".XXXXXX";
    // mkstemp opens with O_EXCL and mode 0600; fchmod makes it exactly 0600 whatever the umask.
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid())
        return -1;
    // No fsync: the file only carries the session of this run, and waiting for the disk
    // would cost the blocked login several milliseconds. The rename still lets readers see
    // either the old or the new file, never a part of one.
    bool ok = ::fchmod(fd.get(), S_IRUSR | S_IWUSR) == 0 && WriteAll(fd.get(), content);
    ok = ::close(fd.release()) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return 0;
    ::unlink(temp.c_str());
    return -1;
}

}  // namespace qarv
