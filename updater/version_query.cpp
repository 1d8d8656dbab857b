#include "updater/version_query.h"

#include <curl/curl.h>

#include <memory>
#include <utility>

#include "recorder/account/reply_collector.h"

namespace qarv {
namespace {

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

// Holds libcurl's global state for the lifetime of one query.
class CurlGlobal {
  public:
    CurlGlobal() { curl_global_init(CURL_GLOBAL_ALL); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

CURLcode SetUp(CURL* handle, const std::string& url, curl_slist* headers, ReplyCollector* body,
               const VersionQuerySettings& settings) {
    const std::pair<CURLoption, long> numbers[] = {
        {CURLOPT_HTTPGET, 1L},
        {CURLOPT_NOSIGNAL, 1L},  // time-outs without SIGALRM
        {CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds},
        {CURLOPT_TIMEOUT, settings.totalTimeoutSeconds},
    };
    for (const auto& [option, value] : numbers) {
        if (const CURLcode rc = curl_easy_setopt(handle, option, value); rc != CURLE_OK)
            return rc;
    }
    CURLcode rc = curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CollectReply);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(handle, CURLOPT_WRITEDATA, body);
    if (rc == CURLE_OK && !settings.cookieFile.empty())
        rc = curl_easy_setopt(handle, CURLOPT_COOKIEFILE, settings.cookieFile.c_str());
    return rc;
}

}  // namespace

int QueryServerVersion(const std::string& url, VersionReply& reply, std::string& serverVersion,
                       const VersionQuerySettings& settings) {
    reply = VersionReply();
    serverVersion.clear();
    const CurlGlobal global;
    const EasyHandle handle(curl_easy_init());
    const Slist headers(curl_slist_append(nullptr, "Expect:"));
    if (!handle || !headers)
        return 0;  // no transfer: an empty server version, so no update is offered

    ReplyCollector body;
    body.limit = settings.maxReplyBytes;
    CURLcode rc = SetUp(handle.get(), url, headers.get(), &body, settings);
    if (rc == CURLE_OK)
        rc = curl_easy_perform(handle.get());
    if (body.tooLarge) {
        reply.message = kReplyNotJson;
        reply.status = kReplyNotJsonCode;
        return 0;
    }
    if (rc != CURLE_OK) {
        reply.message = kReplyTransferFailed;
        reply.status = kReplyTransferFailedCode;
        return -1;
    }
    ParseVersionReply(body.body, reply);
    serverVersion = reply.version;
    return 0;
}

}  // namespace qarv
