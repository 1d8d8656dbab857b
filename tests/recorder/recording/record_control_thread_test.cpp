// Recordings from start to catalogue entry with the real encoder adapter and ffmpeg under a
// private X server.
#include "recorder/recording/record_control_thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/file_util.h"
#include "common/log.h"
#include "common/messages.h"
#include "common/process.h"
#include "recorder/library/media_probe.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/video_element.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "tests/support/command_output.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using test::PostedMessage;
using test::RecordingMessageTarget;

// An installation directory made current: the encoder adapter, the logo and "Video".
class RecordControlThreadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        display_ = new test::VirtualDisplay;
        ASSERT_TRUE(display_->Start(640, 480));
        ::setenv("DISPLAY", display_->name().c_str(), 1);
        // No sound server: the system sound is recorded as silence.
        ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-test-socket", 1);
    }
    static void TearDownTestSuite() {
        delete display_;
        display_ = nullptr;
    }

    void SetUp() override {
        std::filesystem::create_symlink(QARV_CAPTURER_PROGRAM, dir_.file("capturer"));
        std::filesystem::create_directory(dir_.file("Icon"));
        std::filesystem::copy_file(QARV_LOGO_PNG, dir_.file("Icon/logo.png"));
        ASSERT_EQ(CreateDirectoryIfMissing(dir_.file("Video")), 0);
        cwd_ = std::make_unique<test::ScopedCurrentDirectory>(dir_.path());
        ASSERT_EQ(LogOpen(), 0);
        devices_ = std::make_shared<RegAVFilterEx>();
        ASSERT_TRUE(devices_->RegisterFilters("screen-capture-recorder.dll", "virtual-audio-capturer.dll"));
        catalogue_ =
            std::make_shared<QarvFileManagement>(dir_.file("Video"), dir_.file("Video/VideoInfo.xml"));
        controller_ =
            std::make_unique<RecordControlThread>(dir_.file("Video"), catalogue_, devices_, "./capturer");
    }

    void TearDown() override {
        controller_.reset();
        LogClose();
        cwd_.reset();
    }

    static QarvRecordProperties SmallRecording() {
        QarvRecordProperties properties;
        properties.Title = "第一局";
        properties.Width = 320;
        properties.Height = 240;
        properties.FrameRate = 10;
        properties.VideoBitRate = 300000;
        return properties;
    }

    int Start(const QarvRecordProperties& properties) {
        const int result = controller_->StartRecording(catalogueWindow_, properties, pageWindow_);
        if (result == 0)
            controller_->start();
        return result;
    }

    // Waits until the encoder has opened its inputs and created the output, so that a recording
    // of a given length can be timed from there, however slowly the machine starts programs.
    bool WaitUntilRecording() const {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!FileExists(controller_->OutputPath())) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Waits for WM_VIDEO_ADDED and for the worker to end after it, then returns the
    // catalogue's entries.
    std::vector<VideoElement> WaitForCatalogue(std::size_t videos = 1) {
        EXPECT_TRUE(catalogueWindow_->WaitForCount(videos, 60s));
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!controller_->idle() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(controller_->idle());
        std::vector<VideoElement> list;
        catalogue_->ListAll(list);
        return list;
    }

    std::vector<std::uintptr_t> PageStatuses() const {
        std::vector<std::uintptr_t> statuses;
        for (const auto& message : pageWindow_->messages()) {
            EXPECT_EQ(message.message, WM_RECORD_STATUS);
            statuses.push_back(message.wParam);
        }
        return statuses;
    }

    static test::VirtualDisplay* display_;
    test::TempDir dir_;
    std::unique_ptr<test::ScopedCurrentDirectory> cwd_;
    std::shared_ptr<RegAVFilterEx> devices_;
    std::shared_ptr<QarvFileManagement> catalogue_;
    std::unique_ptr<RecordControlThread> controller_;
    std::shared_ptr<RecordingMessageTarget> pageWindow_ = std::make_shared<RecordingMessageTarget>();
    std::shared_ptr<RecordingMessageTarget> catalogueWindow_ = std::make_shared<RecordingMessageTarget>();
};

test::VirtualDisplay* RecordControlThreadTest::display_ = nullptr;

// "codec,width,height,sample rate" of each stream of a media file, one line each, by ffprobe.
std::string StreamSummary(const std::string& path) {
    const std::string command =
        "ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate -of csv=p=0 '" + path +
        "'";
    return test::CommandOutput(command);
}

TEST_F(RecordControlThreadTest, StoppedRecordingIsReportedProbedAndCatalogued) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(3s);
    controller_->stop();

    const auto list = WaitForCatalogue();
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 0}));
    EXPECT_EQ(catalogueWindow_->messages(), (std::vector<PostedMessage>{{WM_VIDEO_ADDED, 0, 0}}));

    const std::string day = TodayKey();
    const std::string path = dir_.file("Video/" + day + "/0.flv");
    EXPECT_EQ(controller_->OutputPath(), path);
    double seconds = 0;
    ASSERT_EQ(ProbeDuration(path, seconds), 0);
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 6.0);
    // Picture at the chosen size, and the system sound (silence without a sound server).
    EXPECT_EQ(StreamSummary(path), "h264,320,240\nmp3,22050\n");

    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].FileName, "0.flv");
    EXPECT_EQ(list[0].Date, day);
    EXPECT_EQ(list[0].Title, "第一局");
    EXPECT_NEAR(list[0].Duration, seconds, 1.0);
    ASSERT_EQ(list[0].Thumbnails.size(), 1u);  // under five seconds: one picture
    EXPECT_TRUE(FileExists(dir_.file("Video/" + day + "/0_0.jpeg")));
    EXPECT_FALSE(IsProcessRunning("capturer"));
}

TEST_F(RecordControlThreadTest, NextRecordingTakesTheNextNumber) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(1500ms);
    controller_->stop();
    ASSERT_EQ(WaitForCatalogue().size(), 1u);

    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(1500ms);
    controller_->stop();
    const auto list = WaitForCatalogue(2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].FileName, "1.flv");
}

TEST_F(RecordControlThreadTest, TimedRecordingEndsByItself) {
    QarvRecordProperties properties = SmallRecording();
    properties.FrameRate = 5;
    properties.TimedRecording = true;
    properties.TimedMinutes = 1;
    ASSERT_EQ(Start(properties), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(2, 120s));
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 0}));
    const auto list = WaitForCatalogue();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NEAR(list[0].Duration, 60, 2);
    EXPECT_EQ(list[0].Thumbnails.size(), 5u);
}

TEST_F(RecordControlThreadTest, KilledEncoderAbortsButItsFileIsStillCatalogued) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(2500ms);
    ASSERT_EQ(std::system("pkill -KILL -x capturer"), 0);

    const auto list = WaitForCatalogue();
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 2}));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_GT(list[0].Duration, 0);
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_NE(log.find("[异常终止][ File:RecordControlThread ]"), std::string::npos) << log;
}

TEST_F(RecordControlThreadTest, StartIsRefusedWhileAnEncoderProcessExists) {
    // Another program of that name, as while thumbnails of an earlier recording are made.
    const std::string other = dir_.file("busy/capturer");
    std::filesystem::create_directory(dir_.file("busy"));
    std::filesystem::copy_file("/bin/sleep", other);
    ProcessHandle busy = StartProcessHidden(other, "capturer 30");
    ASSERT_TRUE(busy.valid());
    EXPECT_EQ(Start(SmallRecording()), -1);
    EXPECT_FALSE(controller_->EncoderStarted());
    busy.Terminate(0);
    busy.Wait(5000);
    EXPECT_EQ(Start(SmallRecording()), 0);
    controller_->stop();
}

TEST_F(RecordControlThreadTest, StartWithoutEncoderProgramOrWindowFails) {
    std::filesystem::remove(dir_.file("capturer"));
    EXPECT_EQ(Start(SmallRecording()), -1);
    EXPECT_EQ(controller_->StartRecording(nullptr, SmallRecording(), pageWindow_), -1);
    EXPECT_TRUE(pageWindow_->messages().empty());
    controller_->stop();  // nothing to stop
}

TEST_F(RecordControlThreadTest, SecondStartDuringRecordingIsRefused) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(controller_->StartRecording(catalogueWindow_, SmallRecording(), pageWindow_), -1);
    controller_->stop();
    EXPECT_EQ(WaitForCatalogue().size(), 1u);
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 0}));
}

TEST_F(RecordControlThreadTest, RecordingStoppedAtOnceIsStillReportedAndFinished) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    controller_->stop();
    WaitForCatalogue();  // reported whether or not it was catalogued
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 0}));
    EXPECT_FALSE(IsProcessRunning("capturer"));
    // The controller can record again.
    ASSERT_EQ(Start(SmallRecording()), 0);
    controller_->stop();
    EXPECT_TRUE(catalogueWindow_->WaitForCount(2, 60s));
}

}  // namespace
}  // namespace qarv
