// The recording page: its defaults, the option boxes, the minutes filter, the start and stop
// actions and the session statuses, offscreen; one recording with the real encoder adapter
// under a private X server.
#include "recorder/recording/recorder_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "common/file_util.h"
#include "common/log.h"
#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "controls/color_static.h"
#include "controls/combo_box_ex_ex.h"
#include "controls/qarv_text_box.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/video_element.h"
#include "recorder/recording/record_control_thread.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_display.h"

namespace qarv {
namespace {

using namespace std::chrono_literals;
using test::PostedMessage;
using test::RecordingMessageTarget;

// A capture session whose encoder program does not exist: every start fails, for want of
// disk space if the disk has less than `diskMargin` free.
std::unique_ptr<RecordControlThread> FailingController(
    const std::string& dir, std::uint64_t diskMargin = RecordControlThread::kDefaultDiskMarginBytes) {
    auto devices = std::make_shared<RegAVFilterEx>();
    auto catalogue = std::make_shared<QarvFileManagement>(dir + "/Video", dir + "/Video/VideoInfo.xml");
    return std::make_unique<RecordControlThread>(dir + "/Video", catalogue, devices,
                                                 "/nonexistent/qarv/capturer", diskMargin);
}

// Runs queued clicks and posted messages.
void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    Settle();
}

void PostStatus(QarvRecorderPage& page, int status) {
    WindowMessageEvent event(WM_RECORD_STATUS, static_cast<std::uintptr_t>(status), 0);
    QCoreApplication::sendEvent(&page, &event);
}

class RecorderPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CreateDirectoryIfMissing(dir_.file("Video")), 0);
        page_ = std::make_unique<QarvRecorderPage>(nullptr, FailingController(dir_.path()));
        mainWindow_ = std::make_shared<RecordingMessageTarget>();
        page_->SetMainWindow(mainWindow_);
        page_->show();
        Settle();
    }
    void TearDown() override {
        page_.reset();
        ::unsetenv("QARV_TEST_ANSWER");
    }

    QString Status() const { return page_->StatusText()->text(); }
    bool StartEnabled() const {
        return page_->StartButton()->isEnabled() && page_->StartButton()->State() != 3;
    }
    bool StopEnabled() const { return page_->StopButton()->isEnabled() && page_->StopButton()->State() != 3; }

    test::TempDir dir_;
    std::unique_ptr<QarvRecorderPage> page_;
    std::shared_ptr<RecordingMessageTarget> mainWindow_;
};

TEST_F(RecorderPageTest, DefaultsGiveTheStandardRecording) {
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    const QarvRecordProperties& p = page_->RecordProperties();
    EXPECT_EQ(p.Format, "flv");
    EXPECT_EQ(p.Width, 1280u);
    EXPECT_EQ(p.Height, 720u);
    EXPECT_EQ(p.FrameRate, 20);
    EXPECT_EQ(p.VideoBitRate, 300000);
    EXPECT_EQ(p.GopSize, 50);
    EXPECT_EQ(p.SampleRate, 22050);
    EXPECT_TRUE(p.RecordMicrophone);
    EXPECT_TRUE(p.RecordSystemSound);
    EXPECT_FALSE(p.TimedRecording);

    EXPECT_EQ(Status(), QStringLiteral("录像准备中！"));
    EXPECT_TRUE(StartEnabled());
    EXPECT_TRUE(StopEnabled());
    EXPECT_TRUE(page_->SelectRegionButton()->isVisible());
    EXPECT_TRUE(page_->GoShareButton()->isVisible());
    EXPECT_FALSE(page_->MinutesBox()->isEnabled());
    EXPECT_EQ(page_->TitleBox()->maxLength(), 24);
    EXPECT_EQ(page_->FormatBox()->count(), 4);
    EXPECT_EQ(page_->ResolutionBox()->count(), 7);
    EXPECT_FALSE(page_->FormatBox()->isEditable());
}

TEST_F(RecorderPageTest, ChoicesReachTheRecord) {
    page_->FormatBox()->setCurrentText(QStringLiteral("mts"));
    page_->ResolutionBox()->setCurrentText(QStringLiteral("352*288"));
    page_->FrameRateBox()->setCurrentText(QStringLiteral("5fps"));
    page_->VideoQualityBox()->setCurrentText(QStringLiteral("800KB"));
    page_->SampleRateBox()->setCurrentText(QStringLiteral("11025HZ"));
    page_->TitleBox()->setText(QStringLiteral("决赛第三局"));
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    const QarvRecordProperties& p = page_->RecordProperties();
    EXPECT_EQ(p.Format, "mts");
    EXPECT_EQ(p.Width, 352u);
    EXPECT_EQ(p.Height, 288u);
    EXPECT_EQ(p.FrameRate, 5);
    EXPECT_EQ(p.VideoBitRate, 800000);
    EXPECT_EQ(p.SampleRate, 11025);
    EXPECT_EQ(p.Title, "决赛第三局");
}

TEST_F(RecorderPageTest, SoundBoxesEnableTheSampleRate) {
    Click(page_->SystemSoundBox());
    EXPECT_FALSE(page_->SystemSoundBox()->IsChecked());
    EXPECT_TRUE(page_->SampleRateBox()->isEnabled());  // the microphone is still on
    Click(page_->MicrophoneBox());
    EXPECT_FALSE(page_->SampleRateBox()->isEnabled());

    ASSERT_EQ(page_->FillRecordProperties(), 0);
    EXPECT_EQ(page_->RecordProperties().SampleRate, 0);
    EXPECT_FALSE(page_->RecordProperties().RecordMicrophone);
    EXPECT_FALSE(page_->RecordProperties().RecordSystemSound);

    Click(page_->MicrophoneBox());
    EXPECT_TRUE(page_->SampleRateBox()->isEnabled());
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    EXPECT_TRUE(page_->RecordProperties().RecordMicrophone);
    EXPECT_FALSE(page_->RecordProperties().RecordSystemSound);
    EXPECT_EQ(page_->RecordProperties().SampleRate, 22050);
}

TEST_F(RecorderPageTest, MinutesBoxTakesOneToThreeDigits) {
    Click(page_->TimedBox());
    QLineEdit* minutes = page_->MinutesBox();
    ASSERT_TRUE(minutes->isEnabled());

    QTest::keyClicks(minutes, QStringLiteral("0"));
    EXPECT_EQ(minutes->text(), QString());
    QTest::keyClicks(minutes, QStringLiteral("12a"));
    EXPECT_EQ(minutes->text(), QStringLiteral("12"));
    QTest::keyClicks(minutes, QStringLiteral("34"));
    EXPECT_EQ(minutes->text(), QStringLiteral("123"));
    minutes->setText(QStringLiteral("x5"));  // pasted text keeps only its digits
    EXPECT_EQ(minutes->text(), QStringLiteral("5"));
    minutes->setText(QStringLiteral("007"));
    EXPECT_EQ(minutes->text(), QStringLiteral("7"));
}

TEST_F(RecorderPageTest, TimedRecordingFollowsItsBox) {
    Click(page_->TimedBox());
    EXPECT_TRUE(page_->MinutesBox()->isEnabled());
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    EXPECT_TRUE(page_->RecordProperties().TimedRecording);
    EXPECT_EQ(page_->RecordProperties().TimedMinutes, 0);  // an empty box gives no minutes

    page_->MinutesBox()->setText(QStringLiteral("15"));
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    EXPECT_EQ(page_->RecordProperties().TimedMinutes, 15);

    Click(page_->TimedBox());
    EXPECT_FALSE(page_->MinutesBox()->isEnabled());
    ASSERT_EQ(page_->FillRecordProperties(), 0);
    EXPECT_FALSE(page_->RecordProperties().TimedRecording);
}

TEST_F(RecorderPageTest, SessionStatusesSetTextAndButtons) {
    PostStatus(*page_, 1);
    EXPECT_EQ(Status(), QStringLiteral("录像进行中···"));

    page_->TitleBox()->setText(QStringLiteral("标题"));
    PostStatus(*page_, 0);
    EXPECT_EQ(Status(), QStringLiteral("录像完成！"));
    EXPECT_TRUE(StartEnabled());
    EXPECT_FALSE(StopEnabled());
    EXPECT_TRUE(page_->TitleBox()->text().isEmpty());
    EXPECT_EQ(mainWindow_->messages(), (std::vector<PostedMessage>{{WM_RECORD_STATE, 1, 0}}));

    page_->TitleBox()->setText(QStringLiteral("标题"));
    PostStatus(*page_, 2);
    EXPECT_EQ(Status(), QStringLiteral("录像终止！"));
    EXPECT_TRUE(StartEnabled());
    EXPECT_FALSE(StopEnabled());
    EXPECT_TRUE(page_->TitleBox()->text().isEmpty());
    EXPECT_EQ(mainWindow_->messages().size(), 1u);  // an abort does not restore the window
}

TEST_F(RecorderPageTest, OnlyControlF9AndF10AreHotKeys) {
    EXPECT_EQ(page_->OnHotKey(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_F9), -1);
    EXPECT_EQ(page_->OnHotKey(Qt::AltModifier, Qt::Key_F10), -1);
    EXPECT_EQ(page_->OnHotKey(Qt::ControlModifier, Qt::Key_F8), -1);
    EXPECT_EQ(Status(), QStringLiteral("录像准备中！"));

    EXPECT_EQ(page_->OnHotKey(Qt::ControlModifier, Qt::Key_F10), 0);
    EXPECT_EQ(Status(), QStringLiteral("录像完成！"));
    EXPECT_FALSE(StopEnabled());
}

TEST_F(RecorderPageTest, FailedStartAsksAndCancelGivesTheButtonsBack) {
    ::setenv("QARV_TEST_ANSWER", "Cancel", 1);
    testing::internal::CaptureStdout();
    Click(page_->StartButton());
    const std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_NE(shown.find("[message box] 视频后期处理中: 视频处理中,请稍候再开始..."), std::string::npos)
        << shown;
    EXPECT_TRUE(StartEnabled());
    EXPECT_EQ(Status(), QStringLiteral("录像准备中！"));
    EXPECT_TRUE(mainWindow_->messages().empty());

    // The same again through the key.
    testing::internal::CaptureStdout();
    EXPECT_EQ(page_->OnHotKey(Qt::ControlModifier, Qt::Key_F9), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("视频后期处理中"), std::string::npos);
    EXPECT_TRUE(StartEnabled());
}

TEST_F(RecorderPageTest, LowDiskIsExplainedInABox) {
    // No disk has this much free.
    page_ = std::make_unique<QarvRecorderPage>(nullptr, FailingController(dir_.path(), UINT64_MAX));
    page_->SetMainWindow(mainWindow_);
    QObject catalogueWindow;
    page_->SetCatalogueWindow(&catalogueWindow);
    ::setenv("QARV_TEST_ANSWER", "Cancel", 1);  // a retry question would be answered, not looped
    testing::internal::CaptureStdout();
    Click(page_->StartButton());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[message box] 友情提示: 磁盘剩余空间不足，无法开始录像。请清理磁盘后再试。\n");
    EXPECT_TRUE(StartEnabled());
    EXPECT_EQ(Status(), QStringLiteral("录像准备中！"));
    EXPECT_TRUE(mainWindow_->messages().empty());

    // A recording the session stopped for lack of space ends like a finished one, and says why.
    PostStatus(*page_, 1);
    page_->TitleBox()->setText(QStringLiteral("标题"));
    testing::internal::CaptureStdout();
    PostStatus(*page_, RecordControlThread::kStatusDiskLow);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[message box] 友情提示: 磁盘空间不足，录像已停止并保存。\n");
    EXPECT_EQ(Status(), QStringLiteral("录像完成！"));
    EXPECT_TRUE(StartEnabled());
    EXPECT_FALSE(StopEnabled());
    EXPECT_TRUE(page_->TitleBox()->text().isEmpty());
    EXPECT_EQ(mainWindow_->messages(), (std::vector<PostedMessage>{{WM_RECORD_STATE, 1, 0}}));
}

TEST_F(RecorderPageTest, NothingStartsWhileTheStartButtonIsDisabled) {
    ::setenv("QARV_TEST_ANSWER", "Cancel", 1);
    page_->StartButton()->SetState(3);
    page_->StartButton()->setEnabled(false);
    testing::internal::CaptureStdout();
    EXPECT_EQ(page_->OnHotKey(Qt::ControlModifier, Qt::Key_F9), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(RecorderPageTest, GoShareAsksForTheSecondTab) {
    int requested = -1;
    QObject::connect(page_.get(), &QarvRecorderPage::ShowPageRequested,
                     [&](int index) { requested = index; });
    Click(page_->GoShareButton());
    EXPECT_EQ(requested, 1);
}

// A whole recording driven by the page: the real encoder adapter on a private X server.
TEST(RecorderPageRecording, StartAndStopRecordAVideo) {
    test::VirtualDisplay display;
    ASSERT_TRUE(display.Start(640, 480));
    ::setenv("DISPLAY", display.name().c_str(), 1);
    ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-test-socket", 1);

    test::TempDir dir;
    std::filesystem::create_symlink(QARV_CAPTURER_PROGRAM, dir.file("capturer"));
    std::filesystem::create_directory(dir.file("Icon"));
    std::filesystem::copy_file(QARV_LOGO_PNG, dir.file("Icon/logo.png"));
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Video")), 0);
    test::ScopedCurrentDirectory cwd(dir.path());
    ASSERT_EQ(LogOpen(), 0);

    auto devices = std::make_shared<RegAVFilterEx>();
    ASSERT_TRUE(devices->RegisterFilters("screen-capture-recorder.dll", "virtual-audio-capturer.dll"));
    auto catalogue = std::make_shared<QarvFileManagement>(dir.file("Video"), dir.file("Video/VideoInfo.xml"));
    {
        QarvRecorderPage page(nullptr, std::make_unique<RecordControlThread>(dir.file("Video"), catalogue,
                                                                             devices, "./capturer"));
        auto mainWindow = std::make_shared<RecordingMessageTarget>();
        page.SetMainWindow(mainWindow);
        QObject catalogueWindow;
        page.SetCatalogueWindow(&catalogueWindow);
        page.ResolutionBox()->setCurrentText(QStringLiteral("352*288"));
        page.TitleBox()->setText(QStringLiteral("第一局"));

        page.StartRecordingAction();
        EXPECT_EQ(page.StatusText()->text(), QStringLiteral("录像进行中···"));
        EXPECT_FALSE(page.StartButton()->isEnabled());
        EXPECT_EQ(page.StartButton()->State(), 3);
        ASSERT_TRUE(mainWindow->WaitForCount(1, 10s));
        EXPECT_EQ(mainWindow->messages()[0], (PostedMessage{WM_RECORD_STATE, 0, 0}));

        // Two and a half seconds from the moment the encoder has opened its inputs.
        const std::string output = dir.file("Video/" + TodayKey() + "/0.flv");
        ASSERT_TRUE(QTest::qWaitFor([&] { return FileExists(output); }, 30000));
        QTest::qWait(2500);
        page.StopRecordingAction();
        EXPECT_EQ(page.StatusText()->text(), QStringLiteral("录像完成！"));
        // The worker finishes the file and reports the end, which restores the main window.
        EXPECT_TRUE(QTest::qWaitFor([&] { return mainWindow->messages().size() >= 2; }, 60000));
        ASSERT_EQ(mainWindow->messages().size(), 2u);
        EXPECT_EQ(mainWindow->messages()[1], (PostedMessage{WM_RECORD_STATE, 1, 0}));
        EXPECT_TRUE(page.TitleBox()->text().isEmpty());
    }
    std::vector<VideoElement> videos;
    catalogue->ListAll(videos);
    ASSERT_EQ(videos.size(), 1u);
    videos[0].BuildThumbnailList(dir.file("Video"));
    EXPECT_FALSE(videos[0].Thumbnails.empty());
    EXPECT_EQ(videos[0].Title, "第一局");
    LogClose();
}

}  // namespace
}  // namespace qarv
