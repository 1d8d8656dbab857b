// One upload against the built site stand-in: what arrives on the site, what the upload
// reports on the way, and how each failure of the site, the network and the input ends.
#include "recorder/sharing/progress_http_upload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "tests/recorder/sharing/upload_site.h"

namespace qarv {
namespace {

using test::RecordingMessageTarget;
using test::UploadSite;
using Clock = std::chrono::steady_clock;

constexpr int kIndex = 3;

class ProgressHttpUploadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(LogOpen(), 0); }
    void TearDown() override { LogClose(); }

    std::unique_ptr<ProgressHttpUpload> Start(const UploadRequest& request, const UploadSettings& settings) {
        target_ = std::make_shared<RecordingMessageTarget>();
        auto upload = std::make_unique<ProgressHttpUpload>(request, settings);
        upload->SetNotifyTarget(target_);
        upload->SetTaskIndex(kIndex);
        upload->MarkReady();
        EXPECT_EQ(upload->start(), 0);
        return upload;
    }
    std::vector<long> Values(unsigned message) const { return test::ValuesOf(*target_, message, kIndex); }

    test::TempDir logDir_;  // the log goes to the test's own folder
    test::ScopedCurrentDirectory cwd_{logDir_.path()};
    std::shared_ptr<RecordingMessageTarget> target_ = std::make_shared<RecordingMessageTarget>();
};

TEST_F(ProgressHttpUploadTest, TheResultIsTheSitesVerdictOrMinusOne) {
    enum Input { kVideo, kEmptyFile, kMissingFile, kOutsideFolder, kNoSession, kSiteDown, kDeadSite };
    struct Case {
        const char* name;
        std::vector<std::string> fault;  // of the upload endpoint
        Input input;
        int result;
        int requests;  // upload requests the site saw
        bool retried;
    };
    const Case cases[] = {
        {"accepted", {}, kVideo, 0, 1, false},
        {"empty file", {}, kEmptyFile, 0, 1, false},
        {"missing file", {}, kMissingFile, kUploadFailed, 0, false},
        {"date leading out of the video folder", {}, kOutsideFolder, kUploadFailed, 0, false},
        {"no session", {}, kNoSession, 3, 1, false},
        {"refused", {"refuse", "--fault-retn", "9"}, kVideo, 9, 1, false},
        {"HTTP 500 page", {"http500"}, kVideo, kUploadFailed, 1, false},
        {"HTTP 500 envelope", {"http500-envelope"}, kVideo, 500, 1, false},
        {"not JSON", {"not-json"}, kVideo, kUploadFailed, 1, false},
        {"retn of the wrong type", {"bad-envelope"}, kVideo, kUploadFailed, 1, false},
        {"reply in two halves", {"split"}, kVideo, 0, 1, false},
        {"reply after a delay", {"slow", "--slow-ms", "700"}, kVideo, 0, 1, false},
        {"reply of 10 MB", {"big-reply"}, kVideo, kUploadFailed, 1, false},
        {"reply cut off: the site has the video", {"cut"}, kVideo, kUploadFailed, 1, false},
        {"connection cut, then served", {"cut-upload", "--fault-times", "1"}, kVideo, 0, 2, true},
        {"site down", {}, kSiteDown, kUploadFailed, 0, true},
        {"dead site", {"hang"}, kDeadSite, kUploadFailed, 2, true},
    };
    // Texts with quotes, separators, line breaks and Chinese, the description 10 KB long.
    const std::string title = "第一局 \"quoted\" 'a'; b=c\n";
    const std::string category = "炉石传说;\r\n\"x\"";
    std::string description;
    while (description.size() < 10 * 1024)
        description += "中文 \"引号\"; a\n";
    const std::string content = test::RandomBytes(4 << 20, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> fault;
        if (!c.fault.empty())
            fault = {"--fault-path", "/upload_user_video", "--fault"};
        fault.insert(fault.end(), c.fault.begin(), c.fault.end());
        UploadSite site(fault, c.input != kNoSession);
        ASSERT_EQ(site.error(), "");
        const bool empty = c.input == kEmptyFile || c.input == kDeadSite;
        VideoElement video = site.MakeVideo("第一局.flv", empty ? "" : content, title, category);
        UploadSettings settings = site.Settings();
        if (c.input == kMissingFile)
            std::filesystem::remove(site.VideoPath(video));
        if (c.input == kOutsideFolder) {
            video.Date = "..";  // Video/../第一局.flv exists: it must not be sent either
            test::WriteFileText(site.VideoPath(video), content);
        }
        if (c.input == kSiteDown)
            site.Stop();
        if (c.input == kDeadSite)
            settings.lowSpeedTimeSeconds = 1;
        const int retriesBefore = test::CountLogLines("上传网络异常，重试一次 第一局.flv");

        const auto start = Clock::now();
        auto upload = Start(UploadRequest{description, video}, settings);
        long result = 99;
        ASSERT_TRUE(test::WaitFor(*target_, WM_UPLOAD_DONE, -1000, &result));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        upload.reset();
        std::printf("%-40s %4ld after %6ld ms\n", c.name, result, static_cast<long>(ms));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(Values(WM_UPLOAD_DONE).size(), 1u);
        EXPECT_EQ(site.UploadRequests(), c.requests);
        EXPECT_EQ(test::CountLogLines("上传网络异常，重试一次 第一局.flv") - retriesBefore,
                  c.retried ? 1 : 0);
        if (c.input == kDeadSite) {
            EXPECT_GE(ms, 2000);  // two attempts of at least the low-speed time
        }

        // Percentages rise without repeating a value, never pass 100 and start again from 0
        // for a second attempt; none for a file with nothing in it or a site never reached.
        const std::vector<long> progress = Values(WM_UPLOAD_PROGRESS);
        int attempts = progress.empty() ? 0 : 1;
        for (std::size_t i = 0; i < progress.size(); ++i) {
            EXPECT_LE(progress[i], 100);
            if (i > 0 && progress[i] <= progress[i - 1]) {
                EXPECT_EQ(progress[i], 0) << "at " << i;
                ++attempts;
            }
        }
        EXPECT_EQ(attempts, c.requests == 0 || empty ? 0 : (c.retried ? 2 : 1));
        if (c.result == 0 && !empty) {
            EXPECT_EQ(progress.back(), 100);
        }
        if (c.result == 0) {
            EXPECT_TRUE(site.StoredFile(1, video.FileName) == (empty ? "" : content));
            const Json::Value meta = site.StoredMeta(1);
            EXPECT_EQ(meta["title"].asString(), title);
            EXPECT_EQ(meta["desc"].asString(), description);
            EXPECT_EQ(meta["tags"].asString(), category);
        }
    }
}

// Ended in the middle by a stop, or by a file cut short under it (the site then waits for
// the bytes the form announced: its read time-out is 5 s).
TEST_F(ProgressHttpUploadTest, AnUploadEndedInTheMiddleFails) {
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stopped" : "file cut short");
        // 32 MiB read at 4 MiB/s: seconds, of which the sockets take in only the first few MiB.
        UploadSite site(
            {"--fault-path", "/upload_user_video", "--fault", "slow-reader", "--read-rate", "4194304"});
        ASSERT_EQ(site.error(), "");
        const VideoElement video = site.MakeVideo("clip.flv", test::RandomBytes(32 << 20, 2));
        auto upload = Start(UploadRequest{"desc", video}, site.Settings());
        ASSERT_TRUE(test::WaitFor(*target_, WM_UPLOAD_PROGRESS, 1));
        const int percent = upload->LatestPercent();
        EXPECT_TRUE(percent >= 1 && percent < 100) << percent;
        if (stop) {
            const auto start = Clock::now();
            upload->stop();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            std::printf("stopped at %d %%: done after %.2f ms\n", percent, ms);
            EXPECT_LT(ms, 1000.0);
            EXPECT_EQ(Values(WM_UPLOAD_DONE), std::vector<long>{kUploadFailed});  // out when stop() returns
            upload->stop();
        } else {
            std::filesystem::resize_file(site.VideoPath(video), 1 << 20);
        }
        ASSERT_TRUE(test::WaitFor(*target_, WM_UPLOAD_DONE, kUploadFailed));
        upload.reset();
        EXPECT_EQ(Values(WM_UPLOAD_DONE), std::vector<long>{kUploadFailed});
        EXPECT_EQ(test::CountLogLines("上传网络异常"), 0);
        EXPECT_TRUE(site.StoredMeta(1).isNull());
    }
}

TEST_F(ProgressHttpUploadTest, AnUploadNotMadeReadyRefusesToRun) {
    UploadSite folders({}, false);
    ProgressHttpUpload upload(UploadRequest{"desc", folders.MakeVideo("clip.flv", "bytes")},
                              folders.Settings());
    upload.SetNotifyTarget(target_);
    ASSERT_EQ(upload.start(), 0);
    for (int i = 0; i < 6000 && upload.running(); ++i)  // it ends by itself
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    upload.stop();
    EXPECT_TRUE(target_->messages().empty());
    EXPECT_EQ(test::CountLogLines("[" + std::string(kMsgUploadThreadNotInitialised) + "]"), 1);
    EXPECT_EQ(test::CountLogLines("[ ERROR ][ " + std::to_string(kCodeUploadThreadNotInitialised) + " ]"), 1);
}

}  // namespace
}  // namespace qarv
