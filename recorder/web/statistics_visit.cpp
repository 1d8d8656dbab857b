#include "recorder/web/statistics_visit.h"

#include <curl/curl.h>

#include <memory>

#include "recorder/web/url_map.h"

namespace qarv {
namespace {

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// The page's body is of no use here: read and dropped.
std::size_t Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

}  // namespace

struct StatisticsVisit::Callbacks {
    static int XferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<StatisticsVisit*>(self)->stopRequested_.load() ? 1 : 0;
    }
};

StatisticsVisit::StatisticsVisit(StatisticsVisitSettings settings) : settings_(std::move(settings)) {
    curl_global_init(CURL_GLOBAL_ALL);
}

StatisticsVisit::~StatisticsVisit() {
    StatisticsVisit::stop();
    curl_global_cleanup();
}

void StatisticsVisit::stop() {
    stopRequested_.store(true);
    Thread::stop();
    Join();
}

void StatisticsVisit::run() {
    const std::string origin = SiteOrigin(settings_.siteUrl);
    const std::unique_ptr<CURL, EasyCleanup> handle(curl_easy_init());
    int result = kFailed;
    if (!origin.empty() && handle) {
        const std::string url = origin + kPath;
        CURL* easy = handle.get();
        CURLcode rc = curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        const std::pair<CURLoption, long> numbers[] = {
            {CURLOPT_NOSIGNAL, 1L},
            {CURLOPT_NOPROGRESS, 0L},
            {CURLOPT_CONNECTTIMEOUT, settings_.connectTimeoutSeconds},
            {CURLOPT_LOW_SPEED_LIMIT, 1L},
            {CURLOPT_LOW_SPEED_TIME, settings_.lowSpeedTimeSeconds},
            {CURLOPT_TIMEOUT, settings_.totalTimeoutSeconds},
        };
        for (const auto& [option, value] : numbers) {
            if (rc == CURLE_OK)
                rc = curl_easy_setopt(easy, option, value);
        }
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, CURLOPT_COOKIEFILE, settings_.cookieFile.c_str());
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Callbacks::XferInfo);
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        if (rc == CURLE_OK && !stopRequested_.load())
            rc = curl_easy_perform(easy);
        long status = 0;
        if (rc == CURLE_OK && curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
            result = static_cast<int>(status);
    }
    result_.store(result);
    SetRunning(false);
}

}  // namespace qarv
