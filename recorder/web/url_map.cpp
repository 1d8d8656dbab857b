#include "recorder/web/url_map.h"

#include <curl/curl.h>

#include "recorder/shell/qarv_record_info_center.h"

namespace qarv {
namespace {

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextFree {
    void operator()(char* text) const { curl_free(text); }
};

// One part of a parsed address, or "" when it has none.
std::string Part(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK)
        return std::string();
    const std::unique_ptr<char, TextFree> text(raw);
    return text.get();
}

}  // namespace

std::string SiteOrigin(const std::string& url) {
    const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return std::string();
    const std::string host = Part(parsed.get(), CURLUPART_HOST);
    if (host.empty())
        return std::string();
    const std::string port = Part(parsed.get(), CURLUPART_PORT);
    return Part(parsed.get(), CURLUPART_SCHEME) + "://" + host + (port.empty() ? "" : ":" + port);
}

std::shared_ptr<const CUrlMap> CUrlMap::Instance() {
    static const auto instance =
        std::make_shared<const CUrlMap>(QarvRecordInfoCenter::Instance()->GetServerInfo());
    return instance;
}

CUrlMap::CUrlMap(const ServerInfo& server) {
    const std::string origin = SiteOrigin(server.url);
    entries_.emplace(origin + kVideoPagePath, kSiteCaption);
    entries_.emplace(server.OutsideUploadUrl.empty() ? origin + kDefaultOutsidePath : server.OutsideUploadUrl,
                     kOutsideCaption);
}

std::string CUrlMap::AddressOf(std::string_view caption) const {
    for (const auto& [address, text] : entries_) {
        if (text == caption)
            return address;
    }
    return std::string();
}

}  // namespace qarv
