// The built qarv-devsite program: its command line, its port line, a clean stop on SIGTERM
// and SIGINT, and a streamed 1 GB upload that arrives byte for byte while the program's
// memory stays flat.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/devsite/site_client.h"
#include "tests/devsite/streamed_upload.h"
#include "tests/support/devsite_process.h"
#include "tests/support/temp_dir.h"

namespace qarv::test {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer slows the transfer about eight times: send a quarter (still four times the
// memory bound, so holding the body in memory cannot pass).
constexpr std::uint64_t kBigUploadBytes = std::uint64_t{256} << 20;
#else
constexpr std::uint64_t kBigUploadBytes = std::uint64_t{1} << 30;
#endif
constexpr long kPeakMemoryLimitKiB = 64 * 1024;

std::string BaseUrlOf(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

TEST(DevsiteProgramTest, PrintsItsPortAndStopsCleanlyOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        DevsiteProcess site;
        const int port =
            site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir.file("data")}, dir.file("err"));
        ASSERT_GT(port, 0) << site.output() << ReadFileText(dir.file("err"));
        EXPECT_EQ(site.output(), "qarv-devsite listening on 127.0.0.1:" + std::to_string(port) + "\n");

        httplib::Client client("127.0.0.1", port);
        auto page = client.Get("/down/windows/statistic.html");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_EQ(site.Stop(signal, 5000), 0) << "signal " << signal;
        EXPECT_EQ(ReadJsonLines(dir.file("data/requests.log")).size(), 1u);
        EXPECT_TRUE(fs::is_directory(dir.file("data/uploads")));
    }
}

TEST(DevsiteProgramTest, UsesDevsiteDataInTheCurrentFolderByDefault) {
    TempDir dir;
    ScopedCurrentDirectory here(dir.path());
    DevsiteProcess site;
    const int port =
        site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--offer-version", "3.1"}, dir.file("err"));
    ASSERT_GT(port, 0) << ReadFileText(dir.file("err"));
    httplib::Client client("127.0.0.1", port);
    auto version = client.Get("/down/get_ver.php?app=recorder&platform=windows");
    ASSERT_TRUE(version);
    EXPECT_EQ(ParseJson(version->body)["result"]["version"], "3.1");
    EXPECT_EQ(site.Stop(SIGTERM, 5000), 0);
    EXPECT_TRUE(fs::is_regular_file(dir.file("devsite-data/requests.log")));
}

TEST(DevsiteProgramTest, RefusesBadCommandLinesAndBusyPorts) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--fault", "sometimes"}, {"--port", "http"}, {"--unknown"}}) {
        DevsiteProcess site;
        EXPECT_EQ(site.Start(QARV_DEVSITE_PATH, args, dir.file("err"), 5000), -1);
        EXPECT_EQ(site.Wait(5000), 2);
        EXPECT_NE(ReadFileText(dir.file("err")).find("usage:"), std::string::npos);
    }

    DevsiteProcess first;
    const int port =
        first.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir.file("a")}, dir.file("err1"));
    ASSERT_GT(port, 0);
    DevsiteProcess second;
    EXPECT_EQ(second.Start(QARV_DEVSITE_PATH, {"--port", std::to_string(port), "--data", dir.file("b")},
                           dir.file("err2"), 5000),
              -1);
    EXPECT_EQ(second.Wait(5000), 1);
    EXPECT_NE(ReadFileText(dir.file("err2")).find("cannot listen"), std::string::npos);

    DevsiteProcess missingOffer;
    EXPECT_EQ(
        missingOffer.Start(QARV_DEVSITE_PATH,
                           {"--port", "0", "--data", dir.file("c"), "--offer-file", dir.file("none.exe")},
                           dir.file("err3"), 5000),
        -1);
    EXPECT_EQ(missingOffer.Wait(5000), 1);
}

TEST(DevsiteProgramTest, StreamedGigabyteUploadArrivesWholeWithFlatMemory) {
    TempDir dir;
    DevsiteProcess site;
    const int port =
        site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir.file("data")}, dir.file("err"));
    ASSERT_GT(port, 0) << ReadFileText(dir.file("err"));

    const std::string cookie = LoginCookie(BaseUrlOf(port), "TenoPalu", "kwp417");
    ASSERT_EQ(cookie.rfind(std::string(kSessionCookieName) + "=", 0), 0u) << cookie;
    const StreamedUploadResult upload =
        StreamedUpload(BaseUrlOf(port), cookie, kBigUploadBytes, 2014, "big.flv");
    ASSERT_EQ(upload.curlCode, CURLE_OK) << ReadFileText(dir.file("err"));
    ASSERT_EQ(upload.sent, kBigUploadBytes);
    const Json::Value envelope = ParseJson(upload.body);
    ASSERT_EQ(envelope["retn"], 0) << upload.body;
    const long peakKiB = ProcessMemoryKiB(site.pid(), "VmHWM");

    const std::string stored = dir.file("data/uploads/1/big.flv");
    EXPECT_EQ(fs::file_size(stored), kBigUploadBytes);
    EXPECT_EQ(Sha256OfFile(stored), upload.sha256);
    EXPECT_EQ(ParseJson(ReadFileText(dir.file("data/uploads/1/meta.json")))["size"].asUInt64(),
              kBigUploadBytes);
    ASSERT_GT(peakKiB, 0);
    EXPECT_LT(peakKiB, kPeakMemoryLimitKiB) << "peak resident memory " << peakKiB << " KiB";
    std::printf("[ upload   ] %llu MiB in %.2f s, devsite peak resident memory %ld KiB\n",
                static_cast<unsigned long long>(kBigUploadBytes >> 20), upload.seconds, peakKiB);
    EXPECT_EQ(site.Stop(SIGTERM, 5000), 0);
}

}  // namespace
}  // namespace qarv::test
