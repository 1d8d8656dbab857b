// The main window, offscreen: its tabs and pages, minimise and restore around a recording,
// the keys that must not close it, its buttons and dragging by the title band.
#include "recorder/qarv_recorder_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cstdlib>

#include "common/file_util.h"
#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/qarv_text_box.h"
#include "controls/tool_bar_ex.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/recording/record_control_thread.h"
#include "recorder/recording/recorder_page.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "recorder/web/qarv_news_page.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CreateDirectoryIfMissing(dir_.file("Video")), 0);
        auto devices = std::make_shared<RegAVFilterEx>();
        auto catalogue =
            std::make_shared<QarvFileManagement>(dir_.file("Video"), dir_.file("Video/VideoInfo.xml"));
        window_ = std::make_unique<CQarvRecorderDlg>(
            nullptr, std::make_unique<RecordControlThread>(dir_.file("Video"), catalogue, devices,
                                                           "/nonexistent/qarv/capturer"));
        window_->show();
        Settle();
    }

    std::vector<bool> Visible() const {
        std::vector<bool> visible;
        for (int i = 0; i < 3; ++i)
            visible.push_back(window_->Page(i)->isVisible());
        return visible;
    }

    void PostRecordState(int state) {
        QtMessageTarget target(window_.get());
        target.post(WM_RECORD_STATE, static_cast<std::uintptr_t>(state), 0);
        Settle();
    }

    test::TempDir dir_;
    std::unique_ptr<CQarvRecorderDlg> window_;
};

TEST_F(MainWindowTest, StartsOnTheRecordingPage) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Qarv高清录屏"));
    EXPECT_EQ(window_->TabBar()->ItemCount(), 3);
    EXPECT_EQ(window_->TabBar()->SelectedIndex(), 0);
    EXPECT_EQ(Visible(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(window_->RecorderPage()->geometry(), window_->PageArea());
    EXPECT_EQ(window_->PageArea().top(), CQarvRecorderDlg::kTitleBandHeight);
    EXPECT_EQ(window_->height() - window_->PageArea().bottom() - 1, CQarvRecorderDlg::kBottomBandHeight);
}

TEST_F(MainWindowTest, TabsSwitchThePages) {
    CToolBarEx* tabs = window_->TabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->ItemRect(2).center());
    Settle();
    EXPECT_EQ(window_->SelectedPage(), 2);
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, true}));

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->ItemRect(0).center());
    Settle();
    EXPECT_EQ(Visible(), (std::vector<bool>{true, false, false}));

    // The recording page's go-share button leads to the second tab.
    CButtonEx* goShare = window_->RecorderPage()->GoShareButton();
    QTest::mouseClick(goShare, Qt::LeftButton, {}, goShare->rect().center());
    Settle();
    EXPECT_EQ(tabs->SelectedIndex(), 1);
    EXPECT_EQ(Visible(), (std::vector<bool>{false, true, false}));

    // The news page, never shown by a tab, leads to the first two.
    EXPECT_FALSE(window_->NewsPage()->isVisible());
    for (const auto& [button, tab] : {std::pair{window_->NewsPage()->GoRecordButton(), 0},
                                      std::pair{window_->NewsPage()->GoShareButton(), 1}}) {
        window_->ShowPage(2);
        emit button->Clicked(button->Id());
        Settle();
        EXPECT_EQ(tabs->SelectedIndex(), tab);
    }

    window_->ShowPage(7);  // no such tab: nothing changes
    EXPECT_EQ(window_->SelectedPage(), 1);
}

TEST_F(MainWindowTest, RecordingMinimisesAndItsEndRestores) {
    PostRecordState(0);
    EXPECT_TRUE(window_->windowState() & Qt::WindowMinimized);
    PostRecordState(5);  // unknown states change nothing
    EXPECT_TRUE(window_->windowState() & Qt::WindowMinimized);
    PostRecordState(1);
    EXPECT_FALSE(window_->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainWindowTest, EnterAndEscapeNeverCloseIt) {
    QWidget* title = window_->RecorderPage()->TitleBox();
    title->setFocus();
    QTest::keyClick(title, Qt::Key_Return);
    QTest::keyClick(window_.get(), Qt::Key_Enter);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->result(), 0);
}

TEST_F(MainWindowTest, SystemButtons) {
    CButtonEx* minimise = window_->MinimiseButton();
    QTest::mouseClick(minimise, Qt::LeftButton, {}, minimise->rect().center());
    Settle();
    EXPECT_TRUE(window_->windowState() & Qt::WindowMinimized);
    window_->showNormal();

    CButtonEx* close = window_->CloseButton();
    EXPECT_EQ(close->geometry(), QRect(window_->width() - 48, 0, 46, 26));
    QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
    Settle();
    EXPECT_EQ(window_->result(), QDialog::Accepted);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, DraggingTheTitleBandMovesTheWindow) {
    const QPoint before = window_->pos();
    QTest::mousePress(window_.get(), Qt::LeftButton, {}, QPoint(400, 40));
    QTest::mouseMove(window_.get(), QPoint(430, 60));
    QTest::mouseRelease(window_.get(), Qt::LeftButton, {}, QPoint(430, 60));
    Settle();
    EXPECT_EQ(window_->pos(), before + QPoint(30, 20));

    // Below the title band the window stays put.
    const QPoint after = window_->pos();
    QTest::mousePress(window_.get(), Qt::LeftButton, {}, QPoint(400, window_->height() - 10));
    QTest::mouseMove(window_.get(), QPoint(450, window_->height() - 5));
    QTest::mouseRelease(window_.get(), Qt::LeftButton, {}, QPoint(450, window_->height() - 5));
    EXPECT_EQ(window_->pos(), after);
}

}  // namespace
}  // namespace qarv
