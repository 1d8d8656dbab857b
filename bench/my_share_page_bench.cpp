// Benchmark: the my-share page with the real web engine against the built site stand-in,
// offscreen. Prints the resident memory of the process before the page is first shown (the
// engine not started), after the site's video page is first shown, and after the tab has been
// left and opened again 20 times (each time "Vanlo" chosen again); and the time from choosing
// "Vanlo" to the page shown, against a plain libcurl GET of the same address (the baseline).
// Usage: my_share_page_bench [VISITS]   (default 20)

#include <curl/curl.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "recorder/account/login_register.h"
#include "recorder/sharing/progress_http_upload.h"
#include "recorder/web/qarv_my_share_page.h"
#include "recorder/web/url_map.h"
#include "recorder/web/web_view.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/devsite_process.h"

namespace {

using namespace qarv;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

template <typename Done>
bool Until(Done done) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::size_t Drop(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// One GET of `url` with libcurl, in milliseconds; negative on failure.
double PlainGet(const std::string& url) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Drop);
    const auto start = Clock::now();
    const CURLcode rc = curl_easy_perform(easy);
    const double ms = Ms(start);
    curl_easy_cleanup(easy);
    return rc == CURLE_OK ? ms : -1;
}

long ResidentKiB() {
    return test::ProcessMemoryKiB(::getpid(), "VmRSS");
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int visits = argc > 1 ? std::atoi(argv[1]) : 20;
    if (visits <= 0) {
        std::fprintf(stderr, "usage: my_share_page_bench [VISITS]\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    test::UploadSite site({}, false);
    if (!site.error().empty()) {
        std::fprintf(stderr, "FAILED: %s\n", site.error().c_str());
        return 1;
    }
    ServerInfo server;
    server.url = site.Settings().baseUrl;
    LoginSettings login;
    login.cookieFile = site.Settings().cookieFile;
    auto account = std::make_shared<LoginRegister>(login);
    if (account->Login("TenoPalu", "kwp417", server) != 0 || !account->IsLoggedIn()) {
        std::fprintf(stderr, "FAILED: no login\n");
        return 1;
    }
    MySharePageServices services;
    services.urls = std::make_shared<CUrlMap>(server);
    services.account = account;
    QarvMySharePage page(nullptr, services);
    QCoreApplication::processEvents();
    const long before = ResidentKiB();

    // One visit: the tab shown, "Vanlo" chosen, the page loaded; its time.
    bool loaded = false;
    auto visit = [&]() -> double {
        page.show();
        if (page.View() == nullptr)
            return -1;
        loaded = false;
        page.View()->SetLoadFinished([&](bool ok) {
            if (ok && page.View()->Address().path().endsWith(QStringLiteral("user_video.php")))
                loaded = true;
        });
        const auto start = Clock::now();
        page.ChooseDestination(QStringLiteral("Vanlo"));
        if (!Until([&] { return loaded; }))
            return -1;
        const double ms = Ms(start);
        page.hide();
        QCoreApplication::processEvents();
        return ms;
    };
    const double first = visit();
    const long afterFirst = ResidentKiB();
    std::vector<double> times;
    for (int i = 0; i < visits; ++i)
        times.push_back(visit());
    const long afterAll = ResidentKiB();
    std::vector<double> plain;
    const std::string address = AddressWithSession(services.urls->AddressOf("Vanlo"), account->SessionId())
                                    .toString(QUrl::FullyEncoded)
                                    .toStdString();
    for (int i = 0; i < visits; ++i)
        plain.push_back(PlainGet(address));
    if (first < 0 || std::any_of(times.begin(), times.end(), [](double t) { return t < 0; }) ||
        std::any_of(plain.begin(), plain.end(), [](double t) { return t < 0; })) {
        std::fprintf(stderr, "FAILED: a page did not load\n");
        return 1;
    }
    std::printf(
        "resident memory: before the tab %.1f MiB, after the first page %.1f MiB, after %d more visits "
        "%.1f MiB (growth over the visits %.1f MiB)\n",
        before / 1024.0, afterFirst / 1024.0, visits, afterAll / 1024.0, (afterAll - afterFirst) / 1024.0);
    std::printf(
        "choosing \"Vanlo\" to the page shown: first %.1f ms (the engine starting), then median %.1f ms, "
        "max %.1f ms; a plain libcurl GET of the same address: median %.2f ms (ratio %.0f)\n",
        first, Median(times), *std::max_element(times.begin(), times.end()), Median(plain),
        Median(times) / Median(plain));
    curl_global_cleanup();
    return 0;
}
