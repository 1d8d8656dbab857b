// Recordings from start to catalogue entry with the real encoder adapter and ffmpeg under a
// private X server, also onto a small disk that runs low or full.
#include "recorder/recording/record_control_thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/file_util.h"
#include "common/log.h"
#include "common/messages.h"
#include "common/process.h"
#include "common/third_node.h"
#include "common/xml_file.h"
#include "recorder/library/media_probe.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/recording_repair.h"
#include "recorder/library/video_element.h"
#include "recorder/library/video_info_xml.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "tests/capturer/media_facts.h"
#include "tests/support/command_output.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/small_file_system.h"
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
        disk_.reset();
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

    // Moves the video folder and its catalogue (starting as `catalogueText` unless that is
    // empty) onto a tmpfs of `bytes`, recorded with a free-space margin of `margin`. False
    // when no file system can be mounted here.
    bool UseSmallDisk(std::uint64_t bytes, std::uint64_t margin, const std::string& catalogueText = "") {
        disk_ = std::make_unique<test::SmallFileSystem>(bytes);
        if (!disk_->mounted())
            return false;
        if (!catalogueText.empty())
            test::WriteFileText(disk_->file("VideoInfo.xml"), catalogueText);
        catalogue_ = std::make_shared<QarvFileManagement>(disk_->path(), disk_->file("VideoInfo.xml"));
        controller_ =
            std::make_unique<RecordControlThread>(disk_->path(), catalogue_, devices_, "./capturer", margin);
        return true;
    }

    // Waits until the encoder has opened its inputs and created the output (and written at
    // least `bytes` to it), so that a recording of a given length can be timed from there,
    // however slowly the machine starts programs.
    bool WaitUntilRecording(std::uintmax_t bytes = 0) const {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        std::error_code error;
        while (!FileExists(controller_->OutputPath()) ||
               std::filesystem::file_size(controller_->OutputPath(), error) < bytes) {
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

    // The line of the log that holds `text`, or "" if there is none.
    std::string LogLine(const std::string& text) const {
        std::istringstream lines(test::ReadFileText(dir_.file("Log/log.log")));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.find(text) != std::string::npos)
                return line;
        }
        return std::string();
    }

    static test::VirtualDisplay* display_;
    test::TempDir dir_;
    std::unique_ptr<test::ScopedCurrentDirectory> cwd_;
    std::unique_ptr<test::SmallFileSystem> disk_;
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

// The next number, also when the first recording's file was deleted by hand while its entry
// stays: two entries of one name would make a later delete remove the new recording.
TEST_F(RecordControlThreadTest, NextRecordingTakesTheNextNumber) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(1500ms);
    controller_->stop();
    ASSERT_EQ(WaitForCatalogue().size(), 1u);
    ASSERT_TRUE(std::filesystem::remove(controller_->OutputPath()));

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

// The adapter or its ffmpeg killed (a crash): the recording is aborted, but all of it up to
// the last moment is kept, whole enough for players to show its length, and catalogued.
class KilledEncoderTest : public RecordControlThreadTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(KilledEncoderTest, AbortsButKeepsAndCataloguesTheFile) {
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    ASSERT_TRUE(WaitUntilRecording());
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2500ms);
    ASSERT_EQ(std::system(GetParam()), 0);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const auto list = WaitForCatalogue();
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, 2}));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_GT(list[0].Duration, 0);
    const test::DecodedVideo video = test::DecodeVideo(controller_->OutputPath());
    EXPECT_GT(video.Duration(), elapsed - 1.5) << video.frames() << " frames after " << elapsed << " s";
    EXPECT_TRUE(HeaderStatesDuration(controller_->OutputPath()));
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_NE(log.find("[异常终止][ File:RecordControlThread ]"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Processes, KilledEncoderTest,
                         ::testing::Values("pkill -KILL -x capturer",
                                           "pkill -KILL -P \"$(pgrep -x capturer)\" -x ffmpeg"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Adapter" : "Ffmpeg");
                         });

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

constexpr std::uint64_t kMiB = 1024 * 1024;

// A catalogue that already lists a recording of an earlier day.
constexpr char kEarlierCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n"
    "<VideoRoot>\r\n"
    "    <DateList Date=\"2020_1_1\">\r\n"
    "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"\" Duration=\"12\" Title=\"earlier\" "
    "Time=\"10:00:00\">0.flv</Element>\r\n"
    "    </DateList>\r\n"
    "</VideoRoot>\r\n";

// The entries of the catalogue file in `folder` as it lies on disk; false if it does not parse.
bool ReadCatalogueFile(const std::string& folder, std::vector<VideoElement>& list) {
    const std::string path = folder + "/VideoInfo.xml";
    ThirdNode root;
    if (LoadXmlFile(path, root) != 0)
        return false;
    VideoInfoXml(path, folder).ListAll(list);
    return true;
}

// The megabytes a disk-space line of the log reports, or -1 if it has none.
int ReportedMegabytes(const std::string& line) {
    const std::string before = "剩余 ";
    const std::size_t at = line.find(before);
    return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + before.size());
}

TEST_F(RecordControlThreadTest, StartWithLessThanTheMarginFreeIsRefused) {
    if (!UseSmallDisk(8 * kMiB, 4 * kMiB))
        GTEST_SKIP() << disk_->error();
    ASSERT_GE(disk_->Fill("other-program.bin", 2 * kMiB), 0);

    EXPECT_EQ(Start(SmallRecording()), RecordControlThread::kStartDiskLow);
    EXPECT_FALSE(controller_->EncoderStarted());
    EXPECT_FALSE(controller_->running());
    EXPECT_FALSE(IsProcessRunning("capturer"));
    EXPECT_FALSE(DirectoryExists(disk_->file(TodayKey())));  // nothing made for a recording
    EXPECT_TRUE(pageWindow_->messages().empty());
    const std::string line = LogLine("磁盘空间不足，未开始录像");
    EXPECT_EQ(ReportedMegabytes(line), 2) << line;
    EXPECT_NE(line.find("[ File:RecordControlThread ]"), std::string::npos) << line;
    EXPECT_NE(line.find("[ WARN ][ -18 ]"), std::string::npos) << line;
}

TEST_F(RecordControlThreadTest, RecordingIsStoppedAndKeptWhenTheDiskRunsLow) {
    if (!UseSmallDisk(32 * kMiB, 8 * kMiB))
        GTEST_SKIP() << disk_->error();
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    ASSERT_TRUE(WaitUntilRecording());
    std::this_thread::sleep_for(2s);
    // Another program leaves less than the margin; the next check notices it.
    ASSERT_GT(disk_->Fill("other-program.bin", 4 * kMiB), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(2, 20s));
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, RecordControlThread::kStatusDiskLow}));
    const auto list = WaitForCatalogue();

    // The file was finished: a player gets the whole recording.
    const test::DecodedVideo video = test::DecodeVideo(controller_->OutputPath());
    EXPECT_EQ(video.width, 320);
    EXPECT_GT(video.Duration(), 1.5);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].FileName, "0.flv");
    EXPECT_EQ(list[0].Thumbnails.size(), 1u);
    EXPECT_TRUE(FileExists(disk_->file(TodayKey() + "/0_0.jpeg")));
    std::vector<VideoElement> saved;
    ASSERT_TRUE(ReadCatalogueFile(disk_->path(), saved));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].FileName, "0.flv");

    const std::string line = LogLine("磁盘空间不足，录像已停止");
    EXPECT_GE(ReportedMegabytes(line), 3) << line;
    EXPECT_LE(ReportedMegabytes(line), 4) << line;
    EXPECT_NE(line.find("[ WARN ][ -17 ]"), std::string::npos) << line;
    EXPECT_EQ(LogLine("异常终止"), "");
}

TEST_F(RecordControlThreadTest, DiskFilledUpKeepsTheRecordingAndTheCatalogueWhole) {
    if (!UseSmallDisk(32 * kMiB, 1 * kMiB, kEarlierCatalogue))
        GTEST_SKIP() << disk_->error();
    ASSERT_EQ(Start(SmallRecording()), 0);
    ASSERT_TRUE(pageWindow_->WaitForCount(1, 30s));
    // Some of the recording is on the disk when another program takes the rest of it.
    ASSERT_TRUE(WaitUntilRecording(64 * 1024));
    ASSERT_GT(disk_->Fill("other-program.bin", 0), 0);
    EXPECT_EQ(disk_->FreeBytes(), 0u);
    ASSERT_TRUE(pageWindow_->WaitForCount(2, 20s));
    EXPECT_EQ(PageStatuses(), (std::vector<std::uintptr_t>{1, RecordControlThread::kStatusDiskLow}));
    WaitForCatalogue();

    // Playable as far as it was written.
    const test::DecodedVideo video = test::DecodeVideo(controller_->OutputPath());
    EXPECT_EQ(video.width, 320);
    EXPECT_GT(video.frames(), 0);
    // The catalogue file is whole: the earlier entry, and the new one only if its save fit.
    std::vector<VideoElement> saved;
    ASSERT_TRUE(ReadCatalogueFile(disk_->path(), saved));
    ASSERT_FALSE(saved.empty());
    EXPECT_LE(saved.size(), 2u);
    EXPECT_EQ(saved[0].Date, "2020_1_1");
    EXPECT_EQ(saved[0].Title, "earlier");
    if (saved.size() == 2) {
        EXPECT_EQ(saved[1].FileName, "0.flv");
    }
    for (const auto& entry : std::filesystem::directory_iterator(disk_->path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
    EXPECT_EQ(ReportedMegabytes(LogLine("磁盘空间不足，录像已停止")), 0);
}

}  // namespace
}  // namespace qarv
