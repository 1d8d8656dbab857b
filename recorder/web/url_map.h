#pragma once
// The web destinations of the my-share page: an ordered map from address to caption, filled
// once from the configuration with the site's user-video page ("Vanlo") and the outside
// video site's upload page ("上传优酷"). Immutable once made, so thread-safe.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "recorder/shell/server_info.h"

namespace qarv {

class CUrlMap {
  public:
    // Address to caption, both in the system code page, in byte order of the address.
    using Entries = std::map<std::string, std::string>;

    static constexpr char kSiteCaption[] = "Vanlo";
    static constexpr char kOutsideCaption[] = "上传优酷";
    static constexpr char kVideoPagePath[] = "/Rindle/user_video.php";
    // Where the outside upload page is when the configuration names none: a page of the
    // site's own host, so that nothing leads off this machine unless configured.
    static constexpr char kDefaultOutsidePath[] = "/outside/upload.html";

    // The process-wide map, made from the recorder's configuration at the first call.
    static std::shared_ptr<const CUrlMap> Instance();

    explicit CUrlMap(const ServerInfo& server);

    // The address of the first entry (in map order) with this caption, or "".
    std::string AddressOf(std::string_view caption) const;
    const Entries& entries() const { return entries_; }
    Entries::const_iterator begin() const { return entries_.begin(); }
    Entries::const_iterator end() const { return entries_.end(); }

  private:
    Entries entries_;
};

// "scheme://host[:port]" of `url`, or "" when it names no host.
std::string SiteOrigin(const std::string& url);

}  // namespace qarv
