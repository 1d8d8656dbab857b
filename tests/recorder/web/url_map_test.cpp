// The web destinations from the configuration, and the statistics visit against the built
// site stand-in.
#include "recorder/web/url_map.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "recorder/web/statistics_visit.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

TEST(UrlMapTest, TheSitesVideoPageAndTheOutsideUploadPageInAddressOrder) {
    struct Case {
        std::string url;
        std::string outside;
        std::vector<std::string> addresses;  // in map order
    };
    const Case cases[] = {
        {"http://127.0.0.1:1080/",
         "",
         {"http://127.0.0.1:1080/Rindle/user_video.php", "http://127.0.0.1:1080/outside/upload.html"}},
        {"http://127.0.0.1:1080",
         "http://127.0.0.1:9/up",
         {"http://127.0.0.1:1080/Rindle/user_video.php", "http://127.0.0.1:9/up"}},
        {"https://127.0.0.2/base/path?x=1",
         "",
         {"https://127.0.0.2/Rindle/user_video.php", "https://127.0.0.2/outside/upload.html"}},
        // An outside page that sorts first is listed first.
        {"http://127.0.0.1:1080/",
         "http://127.0.0.1:1000/a",
         {"http://127.0.0.1:1000/a", "http://127.0.0.1:1080/Rindle/user_video.php"}},
        // A setting that names no host leaves the site's entry without one.
        {"no address", "", {"/Rindle/user_video.php", "/outside/upload.html"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        ServerInfo server;
        server.url = c.url;
        server.OutsideUploadUrl = c.outside;
        const CUrlMap map(server);
        std::vector<std::string> addresses;
        for (const auto& [address, caption] : map)
            addresses.push_back(address);
        EXPECT_EQ(addresses, c.addresses);
        const std::string site = map.AddressOf(CUrlMap::kSiteCaption);
        EXPECT_TRUE(site.ends_with(CUrlMap::kVideoPagePath)) << site;
        EXPECT_EQ(map.AddressOf(CUrlMap::kOutsideCaption), c.outside.empty() ? addresses.back() : c.outside);
        EXPECT_EQ(map.AddressOf("Vanlo "), "");
    }
}

TEST(StatisticsVisitTest, VisitsOnceWithTheSessionAndNeverHoldsUp) {
    enum Site { kUp, kDown, kHanging };
    struct Case {
        Site site;
        int result;
    };
    for (const Case& c :
         {Case{kUp, 200}, Case{kDown, StatisticsVisit::kFailed}, Case{kHanging, StatisticsVisit::kFailed}}) {
        SCOPED_TRACE(c.site);
        std::vector<std::string> arguments;
        if (c.site == kHanging)
            arguments = {"--fault", "hang", "--fault-path", "/down/windows/statistic.html"};
        test::UploadSite site(arguments);
        ASSERT_EQ(site.error(), "");
        const UploadSettings upload = site.Settings();
        if (c.site == kDown)
            site.Stop();
        StatisticsVisitSettings settings{upload.baseUrl, upload.cookieFile};
        settings.lowSpeedTimeSeconds = 1;
        auto visit = std::make_unique<StatisticsVisit>(settings);
        ASSERT_EQ(visit->start(), 0);
        const auto start = std::chrono::steady_clock::now();
        while (visit->Result() == StatisticsVisit::kPending &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(visit->Result(), c.result);
        visit.reset();
        if (c.site == kUp) {
            const std::string log = test::ReadFileText(site.dir().file("site/requests.log"));
            EXPECT_NE(log.find("\"path\":\"/down/windows/statistic.html\""), std::string::npos) << log;
            EXPECT_NE(log.find("\"cookie\":true,\"method\":\"GET\",\"params\":{},\"path\":\"/down/windows/"),
                      std::string::npos)
                << log;
        }
    }
    // A visit stopped while the site holds it ends at once.
    test::UploadSite hanging({"--fault", "hang", "--fault-path", "/down/windows/statistic.html"}, false);
    StatisticsVisit visit(StatisticsVisitSettings{hanging.Settings().baseUrl, hanging.Settings().cookieFile});
    ASSERT_EQ(visit.start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    visit.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(visit.Result(), StatisticsVisit::kFailed);
}

}  // namespace
}  // namespace qarv
