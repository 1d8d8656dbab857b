// The update decision and the download worker against the built site stand-in: an offer is
// seen only when newer, a dead server gives up within the time-outs, and every broken
// download is reported as such, never as complete. Also the installation of a download.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/messages.h"
#include "tests/support/devsite_process.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"
#include "updater/download_thread.h"
#include "updater/recorder_install.h"
#include "updater/sha256_pipe.h"
#include "updater/update_check.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class UpdateSiteTest : public ::testing::Test {
  protected:
    // Starts the site offering `offered` bytes as version 1.0.0.2, with extra `arguments`.
    void StartSite(const std::string& offered, const std::vector<std::string>& arguments = {}) {
        test::WriteFileText(dir_.file("offered"), offered);
        std::vector<std::string> args = {
            "--port", "0", "--data", dir_.file("site-data"), "--offer-file", dir_.file("offered")};
        args.insert(args.end(), arguments.begin(), arguments.end());
        site_ = std::make_unique<test::DevsiteProcess>();  // a process object serves one start
        port_ = site_->Start(QARV_DEVSITE_PATH, args, dir_.file("site.err"));
        ASSERT_GT(port_, 0) << test::ReadFileText(dir_.file("site.err"));
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    void WriteConfig(const std::string& upgradeUrl, const std::string& version) {
        test::WriteFileText(
            dir_.file("config.xml"),
            "<?xml version=\"1.0\" encoding=\"gb2312\" "
            "?>\n<Config><ServerInfo><url>u</url><url_bak>u</url_bak>"
            "<port>1</port><port_bak>1</port_bak><description>d</description><UpgradeUrl>" +
                upgradeUrl + "</UpgradeUrl></ServerInfo><VersionInfo><version>" + version +
                "</version><datetime>t</datetime><description>mine</description></VersionInfo></Config>\n");
    }
    UpdaterSettings Settings() const {
        UpdaterSettings settings;
        settings.configFile = dir_.file("config.xml");
        settings.query.cookieFile.clear();
        return settings;
    }

    // Runs one download of the offer into "UpdateTemp"; the messages it posted.
    std::vector<test::PostedMessage> Download(const std::string& sha256, DownloadSettings settings = {}) {
        settings.outputPath = dir_.file("UpdateTemp");
        auto target = std::make_shared<test::RecordingMessageTarget>();
        DownloadThread worker(settings);
        EXPECT_EQ(worker.Prepare(target, RecorderDownloadUrl(Base()), sha256), 0);
        EXPECT_EQ(worker.start(), 0);
        const auto deadline = Clock::now() + 30s;
        while (!worker.idle() && Clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        worker.stop();
        return target->messages();
    }

    test::TempDir dir_;
    std::unique_ptr<test::DevsiteProcess> site_;
    int port_ = -1;
};

// The outcome of the only WM_DOWNLOAD_DONE among `messages` (0 if there is not exactly one).
std::intptr_t DoneOutcome(const std::vector<test::PostedMessage>& messages) {
    std::intptr_t outcome = 0;
    int done = 0;
    for (const auto& m : messages) {
        if (m.message == WM_DOWNLOAD_DONE) {
            ++done;
            outcome = m.lParam;
            EXPECT_EQ(m.wParam, 1u);
        }
    }
    return done == 1 ? outcome : 0;
}

TEST_F(UpdateSiteTest, AnUpdateIsOfferedOnlyForANewerVersion) {
    ASSERT_NO_FATAL_FAILURE(StartSite("new recorder"));
    const struct {
        std::string installed;
        bool offered;
    } cases[] = {{"1.0.0.1", true}, {"1.0.0.2", false}, {"1.0.1", false}, {"", true}};
    for (const auto& c : cases) {
        WriteConfig(Base() + "/", c.installed);
        VersionInfo pending{"p", "p", "p"};
        UpdateOffer offer;
        EXPECT_EQ(CheckForUpdate(pending, &offer, Settings()), c.offered) << c.installed;
        if (c.offered) {
            EXPECT_EQ(pending.version, "1.0.0.2");
            EXPECT_EQ(pending.description, "mine");
            EXPECT_EQ(pending.datetime, FormatVersionTime(std::time(nullptr))) << "the time of the check";
            EXPECT_EQ(offer.downloadUrl, Base() + "/down/windows/QarvRecorder");
            EXPECT_EQ(offer.sha256.size(), 64u);
        } else {
            EXPECT_EQ(pending, (VersionInfo{"p", "p", "p"}));
        }
    }
}

TEST_F(UpdateSiteTest, ADeadServerMeansNoUpdateWithinTheTimeOuts) {
    // Refused at once; a server that accepts and never answers within the overall time-out.
    ASSERT_NO_FATAL_FAILURE(StartSite("x", {"--fault", "hang"}));
    const struct {
        std::string url;
        std::chrono::milliseconds limit;
    } cases[] = {{"http://127.0.0.1:1", 1000ms}, {Base(), 10000ms}};
    for (const auto& c : cases) {
        WriteConfig(c.url, "1.0.0.1");
        VersionInfo pending;
        const auto start = Clock::now();
        EXPECT_FALSE(CheckForUpdate(pending, nullptr, Settings())) << c.url;
        EXPECT_LT(Clock::now() - start, c.limit) << c.url;
    }
}

TEST_F(UpdateSiteTest, ACompleteDownloadReportsProgressAndItsOutcome) {
    std::string offered(3 << 20, '\0');
    for (std::size_t i = 0; i < offered.size(); ++i)
        offered[i] = static_cast<char>(i * 7919 % 251);
    ASSERT_NO_FATAL_FAILURE(StartSite(offered));
    WriteConfig(Base(), "1.0.0.1");
    VersionInfo pending;
    UpdateOffer offer;
    ASSERT_TRUE(CheckForUpdate(pending, &offer, Settings()));

    const auto messages = Download(offer.sha256);
    EXPECT_EQ(DoneOutcome(messages), kDownloadComplete);
    EXPECT_EQ(test::ReadFileText(dir_.file("UpdateTemp")), offered);
    int last = -1;
    for (const auto& m : messages) {
        if (m.message == WM_DOWNLOAD_PROGRESS) {
            EXPECT_GT(m.lParam, last);  // rising, each value once
            EXPECT_LE(m.lParam, 1000);
            last = static_cast<int>(m.lParam);
        }
    }
    EXPECT_EQ(last, 1000);
    EXPECT_EQ(messages.back().message, static_cast<unsigned>(WM_DOWNLOAD_DONE));
}

TEST_F(UpdateSiteTest, BrokenDownloadsAreNeverReportedComplete) {
    const std::string offered(1 << 20, 'r');
    const struct {
        const char* name;
        std::vector<std::string> site;
        std::string sha256;  // "offer": the site's own digest
        DownloadOutcome outcome;
        long lowSpeedSeconds = 30;
        std::uint64_t maxBytes = 1 << 30;
    } cases[] = {
        {"cut", {"--fault", "cut"}, "offer", kDownloadNetworkFailed},
        {"html page", {"--fault", "html-page"}, "offer", kDownloadChecksumMismatch},
        {"html page, no digest", {"--fault", "html-page"}, "", kDownloadComplete},  // the install refuses it
        {"http 500", {"--fault", "http500"}, "", kDownloadHttpError},
        {"wrong digest", {"--fault", "none"}, std::string(64, 'a'), kDownloadChecksumMismatch},
        {"never ends", {"--fault", "stall"}, "offer", kDownloadNetworkFailed, 1},
        {"larger than allowed", {"--fault", "none"}, "", kDownloadWrongSize, 30, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> site = c.site;
        site.insert(site.end(), {"--fault-path", "/down/windows/QarvRecorder"});
        ASSERT_NO_FATAL_FAILURE(StartSite(offered, site));
        WriteConfig(Base(), "1.0.0.1");
        VersionInfo pending;
        UpdateOffer offer;
        ASSERT_TRUE(CheckForUpdate(pending, &offer, Settings()));
        const auto start = Clock::now();
        DownloadSettings settings;
        settings.lowSpeedSeconds = c.lowSpeedSeconds;
        settings.maxBytes = c.maxBytes;
        EXPECT_EQ(DoneOutcome(Download(c.sha256 == "offer" ? offer.sha256 : c.sha256, settings)), c.outcome);
        EXPECT_LT(Clock::now() - start, 10s);
    }
}

TEST_F(UpdateSiteTest, AStopEndsTheDownloadWithOneFinishMessage) {
    ASSERT_NO_FATAL_FAILURE(StartSite(std::string(1 << 20, 's'),
                                      {"--fault", "stall", "--fault-path", "/down/windows/QarvRecorder"}));
    auto target = std::make_shared<test::RecordingMessageTarget>();
    DownloadSettings settings;
    settings.outputPath = dir_.file("UpdateTemp");
    {
        DownloadThread worker(settings);
        ASSERT_EQ(worker.Prepare(target, RecorderDownloadUrl(Base())), 0);
        ASSERT_EQ(worker.start(), 0);
        std::this_thread::sleep_for(300ms);
        const auto start = Clock::now();
        worker.stop();
        EXPECT_LT(Clock::now() - start, 1s);
        EXPECT_EQ(worker.Outcome(), kDownloadStopped);
    }
    EXPECT_EQ(DoneOutcome(target->messages()), kDownloadStopped);

    // Destroyed while it runs: joined, with its one message.
    auto second = std::make_shared<test::RecordingMessageTarget>();
    {
        DownloadThread worker(settings);
        ASSERT_EQ(worker.Prepare(second, RecorderDownloadUrl(Base())), 0);
        ASSERT_EQ(worker.start(), 0);
    }
    EXPECT_EQ(DoneOutcome(second->messages()), kDownloadStopped);

    // A file that cannot be made, or no address: not prepared, and a start posts nothing.
    settings.outputPath = dir_.file("no-such-folder/UpdateTemp");
    DownloadThread unprepared(settings);
    EXPECT_EQ(unprepared.Prepare(second, RecorderDownloadUrl(Base())), -1);
    EXPECT_EQ(unprepared.Prepare(second, ""), -1);
}

TEST(RecorderInstallTest, OnlyAProgramOfThisMachineReplacesTheRecorderInOneRename) {
    test::TempDir dir;
    const std::string target = dir.file("QarvRecorder");
    const std::string temp = dir.file("UpdateTemp");
    test::WriteFileText(target, "old");
    const std::string self = test::ReadFileText("/proc/self/exe");
    std::string foreign = self;
    foreign[18] = static_cast<char>(foreign[18] ^ 0x40);  // another machine
    const struct {
        std::string content;
        int result;
    } refused[] = {
        {"<!DOCTYPE html><html>500</html>", kInstallNotExecutable},
        {"", kInstallNotExecutable},
        {self.substr(0, 10), kInstallNotExecutable},
        {foreign, kInstallNotExecutable},
    };
    for (const auto& c : refused) {
        test::WriteFileText(temp, c.content);
        EXPECT_EQ(InstallRecorder(temp, target), c.result);
        EXPECT_EQ(test::ReadFileText(target), "old");
    }

    test::WriteFileText(temp, self);
    ASSERT_EQ(InstallRecorder(temp, target), kInstallOk);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(test::ReadFileText(target), self);
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0755u);

    // A read-only installation folder: refused, the old file stays.
    if (::geteuid() != 0) {
        test::WriteFileText(target, "old");
        test::WriteFileText(temp, self);
        ::chmod(dir.path().c_str(), 0555);
        EXPECT_EQ(InstallRecorder(temp, target), kInstallFailed);
        ::chmod(dir.path().c_str(), 0755);
        EXPECT_EQ(test::ReadFileText(target), "old");
    }
}

// The digest made beside a download is the file's, however the pieces fall on its blocks.
TEST(Sha256PipeTest, DigestOfPiecesOfEverySize) {
    struct Case {
        std::size_t total;
        std::size_t piece;
        const char* sha256;  // of `total` bytes 'a'
    };
    const Case cases[] = {
        {0, 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {3, 1, "9834876dcfb05cb167a5c24953eba58c4ac89b1adf57f28f2f9d09af107ee8f0"},
        {3u << 20, 1u << 20, "6f850bc94ae6f7de14297c01616c36d712d22864497b28a63b81d776b035e656"},
        {(1u << 20) + 1, 4097, "4a3f0c0c213adea174f9a3d4c13177315b588bdb2e9c1012d3d0bf0453ca0f6a"},
    };
    for (const Case& c : cases) {
        const std::string bytes(c.total, 'a');
        Sha256Pipe pipe;
        for (std::size_t at = 0; at < bytes.size(); at += c.piece)
            ASSERT_TRUE(pipe.Feed(bytes.data() + at, std::min(c.piece, bytes.size() - at)));
        EXPECT_EQ(pipe.Finish(), c.sha256) << c.total;
    }
}

}  // namespace
}  // namespace qarv
