// The screenshot tool's window offscreen, over a picture and a window list given to it: the
// steps from pointing to a selection, finish and save, the keys, the menu bar and the prompt.
#include "recorder/capture_tool/catch_screen_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImageReader>
#include <QTest>
#include <filesystem>
#include <map>

#include "controls/button_ex.h"
#include "recorder/capture_tool/menu_bar.h"
#include "recorder/capture_tool/prompt_wnd.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

namespace fs = std::filesystem;

// A desktop of 400 x 300 whose every pixel has its own colour, with two windows: 7 on top,
// partly off the right edge, and 9 below it; `closed` windows are gone.
class PictureSource : public ScreenSource {
  public:
    explicit PictureSource(std::set<std::uint32_t> closed = {}) : closed_(std::move(closed)) {}
    QImage Snapshot() override {
        QImage image(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 100 + 50));
        }
        return image;
    }
    std::vector<TopLevelWindow> Windows() override {
        return {{7, Rect{350, 40, 450, 100}}, {9, Rect{300, 20, 380, 200}}};
    }
    bool Exists(std::uint32_t id) override { return closed_.count(id) == 0; }
    bool HasWindowManager() override { return false; }

  private:
    std::set<std::uint32_t> closed_;
};

class CatchScreenDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("QARV_TEST_ANSWER", "Ok");
        QApplication::clipboard()->setText(QStringLiteral("before"));
        Open();
    }
    void TearDown() override { qunsetenv("QARV_TEST_ANSWER"); }

    void Open(std::set<std::uint32_t> closed = {}) {
        tool_ = std::make_unique<CCatchScreenDlg>(std::make_unique<PictureSource>(std::move(closed)),
                                                  &result_, &window_);
        tool_->SetSavePathChooser([this](QWidget*) { return savePath_; });
        tool_->show();
    }
    void Move(int x, int y) { QTest::mouseMove(tool_.get(), QPoint(x, y)); }
    void Drag(QPoint from, QPoint to) {
        Move(from.x(), from.y());
        QTest::mousePress(tool_.get(), Qt::LeftButton, {}, from);
        Move((from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
        Move(to.x(), to.y());
        QTest::mouseRelease(tool_.get(), Qt::LeftButton, {}, to);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(tool_.get(), key, modifiers);
    }
    // Lets the messages the menu bar posted arrive.
    void Deliver() { QCoreApplication::processEvents(); }

    std::unique_ptr<CCatchScreenDlg> tool_;
    Rect result_{-9, -9, -9, -9};
    std::uint32_t window_ = 0;
    QString savePath_;
    test::TempDir dir_;
};

TEST_F(CatchScreenDlgTest, DraggedRegionIsNormalisedAndFinishCopiesItsPixels) {
    EXPECT_EQ(tool_->CurrentStep(), CCatchScreenDlg::Step::kPointing);
    Drag({100, 100}, {50, 80});
    EXPECT_EQ(tool_->CurrentStep(), CCatchScreenDlg::Step::kSelected);
    EXPECT_EQ(tool_->Tracker().rect().Normalized(), (Rect{50, 80, 100, 100}));
    ASSERT_TRUE(tool_->MenuBar()->isVisible());
    EXPECT_EQ(tool_->MenuBar()->pos(), QPoint(104 - CMenuBar::kWidth, 104 + 3));
    EXPECT_TRUE(tool_->PromptWnd()->Text().contains(QStringLiteral("点击鼠标右键重新选择")));

    Key(Qt::Key_Return);
    Deliver();
    EXPECT_EQ(tool_->result(), QDialog::Accepted);
    EXPECT_EQ(result_, (Rect{50, 80, 100, 100}));
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(copied, tool_->Snapshot().copy(50, 80, 50, 20));
}

TEST_F(CatchScreenDlgTest, ClickSelectsTheTopmostLiveWindowClippedToTheScreen) {
    Move(360, 50);
    EXPECT_TRUE(tool_->Highlighting());
    EXPECT_EQ(tool_->HighlightRect(), (Rect{350, 40, 400, 100}));
    EXPECT_EQ(window_, 7u);
    QTest::mouseClick(tool_.get(), Qt::LeftButton, {}, QPoint(360, 50));
    EXPECT_EQ(tool_->Tracker().rect(), (Rect{350, 40, 400, 100}));
    EXPECT_TRUE(tool_->MenuBar()->isVisible());

    // A window closed while the tool is open is passed over for the one below it.
    Open({7});
    Move(361, 51);
    EXPECT_EQ(tool_->HighlightRect(), (Rect{300, 20, 380, 200}));
    EXPECT_EQ(window_, 9u);
}

TEST_F(CatchScreenDlgTest, EscapeAndTheRightButtonLeaveEverythingAsItWas) {
    Drag({10, 10}, {60, 60});
    QTest::mouseClick(tool_.get(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(tool_->CurrentStep(), CCatchScreenDlg::Step::kPointing);
    EXPECT_FALSE(tool_->MenuBar()->isVisible());
    EXPECT_TRUE(tool_->isVisible());
    QTest::mouseClick(tool_.get(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_FALSE(tool_->isVisible());

    Open();
    Drag({10, 10}, {60, 60});
    Key(Qt::Key_Escape);
    EXPECT_FALSE(tool_->isVisible());
    EXPECT_EQ(tool_->result(), QDialog::Rejected);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_EQ(result_, (Rect{-9, -9, -9, -9}));
}

TEST_F(CatchScreenDlgTest, ArrowKeysMoveAndShiftResizesWithinTheScreen) {
    Drag({0, 50}, {40, 70});
    Key(Qt::Key_Left);
    EXPECT_EQ(tool_->Tracker().rect(), (Rect{0, 50, 40, 70}));
    Key(Qt::Key_Right);
    Key(Qt::Key_Down);
    EXPECT_EQ(tool_->Tracker().rect(), (Rect{1, 51, 41, 71}));
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(tool_->Tracker().rect(), (Rect{1, 51, 42, 70}));
    EXPECT_TRUE(tool_->MenuBar()->isVisible());
}

TEST_F(CatchScreenDlgTest, SaveWritesTheChosenFormatAndAFailedSaveKeepsTheTool) {
    Drag({20, 30}, {53, 47});
    // A folder of that name: the user is told, the tool and the selection stay.
    fs::create_directory(dir_.file("taken.png"));
    savePath_ = QString::fromStdString(dir_.file("taken.png"));
    EXPECT_EQ(tool_->Save(), -1);
    EXPECT_TRUE(tool_->isVisible());
    EXPECT_EQ(tool_->CurrentStep(), CCatchScreenDlg::Step::kSelected);
    // Cancelled: nothing happens.
    savePath_.clear();
    EXPECT_EQ(tool_->Save(), 1);
    EXPECT_TRUE(tool_->isVisible());

    savePath_ = QString::fromStdString(dir_.file("shot.png"));
    QTest::keyClick(tool_.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    Deliver();
    EXPECT_FALSE(fs::exists(dir_.file("shot.png"))) << "Ctrl+Shift+S saved";
    Key(Qt::Key_S, Qt::ControlModifier);
    Deliver();
    EXPECT_FALSE(tool_->isVisible());
    QImageReader reader(savePath_);
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.read().convertToFormat(QImage::Format_RGB32), tool_->Snapshot().copy(20, 30, 33, 17));
}

TEST_F(CatchScreenDlgTest, NothingSelectedIsRefusedWithTheToolKept) {
    Key(Qt::Key_S, Qt::ControlModifier);
    Deliver();
    EXPECT_TRUE(tool_->isVisible());
    tool_->Finish();
    EXPECT_TRUE(tool_->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    // Enter goes to the menu bar only while it is shown.
    Key(Qt::Key_Return);
    Deliver();
    EXPECT_TRUE(tool_->isVisible());
}

TEST_F(CatchScreenDlgTest, MenuBarButtonsAndTheColourUnderThePointer) {
    Drag({20, 30}, {80, 90});
    Move(40, 40);
    EXPECT_EQ(tool_->PromptWnd()->colorText, QStringLiteral("(40,40,50)"));
    // Covered pixels are shown dimmed, and the colour says so.
    Move(200, 200);
    EXPECT_NE(tool_->PromptWnd()->colorText, QStringLiteral("(200,200,50)"));

    QTest::mouseClick(tool_->MenuBar()->CloseButton(), Qt::LeftButton);
    Deliver();
    EXPECT_FALSE(tool_->isVisible());
    EXPECT_EQ(tool_->result(), QDialog::Rejected);
}

// A desktop that gives no picture (a session that forbids grabs) is told apart, not shown.
TEST(CatchScreenDlgWithoutPictureTest, IsToldApart) {
    class NoPicture : public PictureSource {
        QImage Snapshot() override { return {}; }
    };
    Rect result;
    std::uint32_t window = 0;
    CCatchScreenDlg tool(std::make_unique<NoPicture>(), &result, &window);
    EXPECT_FALSE(tool.HasSnapshot());
}

// Each change redraws only what it touches; the picture it leaves is the one drawn afresh.
TEST_F(CatchScreenDlgTest, PartialRedrawsLeaveThePictureOfTheFinalState) {
    Move(360, 50);  // a highlighted window first
    Drag({10, 10}, {200, 150});
    QTest::mouseClick(tool_.get(), Qt::RightButton, {}, QPoint(30, 30));
    Drag({30, 40}, {150, 120});
    Drag({152, 122}, {92, 102});  // the bottom-right handle
    Key(Qt::Key_Up);
    Key(Qt::Key_Down);
    ASSERT_EQ(tool_->Tracker().rect().Normalized(), (Rect{30, 40, 90, 100}));
    const QImage reached = tool_->Background();

    Open();
    Drag({30, 40}, {90, 100});
    EXPECT_EQ(reached, tool_->Background());
}

TEST_F(CatchScreenDlgTest, PromptGetsOutOfThePointersWay) {
    CPromptWnd* prompt = tool_->PromptWnd();
    const QPoint start = prompt->pos();
    Move(start.x() + 2, start.y() + 2);
    EXPECT_EQ(prompt->pos(), start);  // counted in the right corner at first: stays
    Move(start.x() + 3, start.y() + 3);
    EXPECT_EQ(prompt->pos(), QPoint(400 - prompt->width() - 10, 10));
}

}  // namespace
}  // namespace qarv
