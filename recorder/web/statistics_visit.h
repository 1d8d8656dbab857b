#pragma once
// The visit of the site's statistics page once per start, as the main window's hidden browser
// made it: a background GET of "/down/windows/statistic.html" on the site's host, with the
// session cookies a browser would send, and the account client's time-outs, so that a site
// that does not answer holds nothing up. Started and stopped by one controlling thread (the UI
// thread); Result() may be read from any thread.

#include <atomic>
#include <string>

#include "common/thread.h"

namespace qarv {

struct StatisticsVisitSettings {
    std::string siteUrl;     // the recorder's `url` setting; its origin is visited
    std::string cookieFile;  // the login's cookie file
    long connectTimeoutSeconds = 10;
    long lowSpeedTimeSeconds = 10;  // less than one byte a second for this long fails
    long totalTimeoutSeconds = 30;
};

class StatisticsVisit : public Thread {
  public:
    static constexpr char kPath[] = "/down/windows/statistic.html";
    // The HTTP status of the visit, until it ends: kPending; kFailed when no answer came.
    static constexpr int kPending = -2;
    static constexpr int kFailed = -1;

    explicit StatisticsVisit(StatisticsVisitSettings settings);
    // Ends the visit (within a second) and waits for its thread.
    ~StatisticsVisit() override;

    void run() override;
    void stop() override;

    int Result() const { return result_.load(); }

  private:
    struct Callbacks;

    const StatisticsVisitSettings settings_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> result_{kPending};
};

}  // namespace qarv
