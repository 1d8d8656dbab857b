// A recording made with the real encoder adapter under a private X server, shared through the
// upload task manager to the site stand-in and found on the account's video page.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/file_util.h"
#include "common/log.h"
#include "common/messages.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/recording/record_control_thread.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "recorder/sharing/upload_file_info_manager.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using test::RecordingMessageTarget;

TEST(ShareRecordingTest, ARecordingSharedThroughTheTaskManagerIsOnTheVideoPage) {
    test::VirtualDisplay display;
    ASSERT_TRUE(display.Start(640, 480));
    ::setenv("DISPLAY", display.name().c_str(), 1);
    ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-test-socket", 1);  // the sound is silence

    // An installation folder made current: the encoder adapter, the logo, "Video" and the log.
    test::TempDir dir;
    std::filesystem::create_symlink(QARV_CAPTURER_PROGRAM, dir.file("capturer"));
    std::filesystem::create_directory(dir.file("Icon"));
    std::filesystem::copy_file(QARV_LOGO_PNG, dir.file("Icon/logo.png"));
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Video")), 0);
    test::ScopedCurrentDirectory cwd(dir.path());
    ASSERT_EQ(LogOpen(), 0);

    // Two seconds of the screen, from the moment the encoder has made its file.
    auto devices = std::make_shared<RegAVFilterEx>();
    ASSERT_TRUE(devices->RegisterFilters("screen-capture-recorder.dll", "virtual-audio-capturer.dll"));
    auto catalogue = std::make_shared<QarvFileManagement>(dir.file("Video"), dir.file("Video/VideoInfo.xml"));
    auto controller =
        std::make_unique<RecordControlThread>(dir.file("Video"), catalogue, devices, "./capturer");
    auto page = std::make_shared<RecordingMessageTarget>();
    auto catalogued = std::make_shared<RecordingMessageTarget>();
    QarvRecordProperties properties;
    properties.Title = "第一局";
    properties.Width = 320;
    properties.Height = 240;
    properties.FrameRate = 10;
    ASSERT_EQ(controller->StartRecording(catalogued, properties, page), 0);
    controller->start();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!FileExists(controller->OutputPath()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(FileExists(controller->OutputPath()));
    std::this_thread::sleep_for(2s);
    controller->stop();
    ASSERT_TRUE(catalogued->WaitForCount(1, 60s));
    std::vector<VideoElement> videos;
    catalogue->ListAll(videos);
    ASSERT_EQ(videos.size(), 1u);

    // Shared as the share dialog hands it on: its title, a category and a description.
    test::UploadSite site;
    ASSERT_EQ(site.error(), "");
    UploadSettings settings = site.Settings();
    settings.videoFolder = dir.file("Video");
    VideoElement video = videos[0];
    video.Title = "第一局 <四杀>";
    video.Category = "炉石传说";
    const std::string description = "最后一回合 \"翻盘\"";
    auto target = std::make_shared<RecordingMessageTarget>();
    {
        UploadFileInfoManager manager(settings);
        ASSERT_EQ(manager.AddTask(UploadRequest{description, video}, target, 0),
                  UploadFileInfoManager::kTaskAdded);
        long result = 99;
        ASSERT_TRUE(test::WaitFor(*target, WM_UPLOAD_DONE, -1000, &result));
        EXPECT_EQ(result, 0);
    }
    const std::vector<long> progress = test::ValuesOf(*target, WM_UPLOAD_PROGRESS, 0);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);

    const std::string recording = test::ReadFileText(dir.file("Video/" + video.Date + "/" + video.FileName));
    ASSERT_GT(recording.size(), 1000u);
    EXPECT_TRUE(site.StoredFile(1, video.FileName) == recording);
    int status = 0;
    const std::string html = site.UserVideoPage(&status);
    EXPECT_EQ(status, 200);
    for (const std::string& text :
         {std::string("第一局 &lt;四杀&gt;"), std::string("炉石传说"),
          std::string("最后一回合 &quot;翻盘&quot;"), video.FileName, std::to_string(recording.size())}) {
        EXPECT_NE(html.find(text), std::string::npos) << text << " is not on the page:\n" << html;
    }
    controller.reset();
    LogClose();
}

}  // namespace
}  // namespace qarv
