#include "controls/tool_bar_ex.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/controls/controls_test_support.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::NearColor;
using test::RenderOver;

TEST(ToolBarExGeometryTest, ItemsFollowTheFixedPitchAndTheBarHeight) {
    CToolBarEx bar(69, 8, 100, nullptr);
    bar.AddItem(QString(), QStringLiteral("录像"), 0);
    bar.AddItem(QString(), QStringLiteral("我的录像"), 1);
    bar.resize(223, 70);
    EXPECT_EQ(bar.ItemRect(0), QRect(0, 0, 69, 69));
    EXPECT_EQ(bar.ItemRect(1), QRect(77, 0, 69, 69));
    EXPECT_EQ(bar.TextRect(1), QRect(77, 49, 69, 20));
    bar.resize(223, 81);  // items added earlier follow the new height
    EXPECT_EQ(bar.ItemRect(1), QRect(77, 6, 69, 69));

    CToolBarEx small(40, 2, 100, nullptr);  // the width stays 69 whatever the item size
    small.AddItem(QString(), QString(), 5);
    small.resize(200, 69);
    EXPECT_EQ(small.ItemRect(0), QRect(0, 0, 69, 40));
    EXPECT_EQ(small.TextRect(0), QRect(0, 20, 69, 20));
    EXPECT_TRUE(small.ItemRect(1).isNull());
    EXPECT_EQ(small.ItemId(1), -1);
}

TEST(ToolBarExSelectTest, SelectMarksOneItemOrNone) {
    CToolBarEx bar(69, 8, 100, nullptr);
    for (int i = 0; i < 3; ++i)
        bar.AddItem(QString(), QString(), 10 + i);
    EXPECT_EQ(bar.SelectedIndex(), -1);
    bar.Select(2);
    EXPECT_EQ(bar.SelectedIndex(), 2);
    bar.Select(0);
    EXPECT_EQ(bar.SelectedIndex(), 0);
    bar.Select(7);
    EXPECT_EQ(bar.SelectedIndex(), -1);
    bar.Select(-1);
    EXPECT_EQ(bar.SelectedIndex(), -1);
}

TEST(ToolBarExPaintTest, ImageTextAndFrameOfEachItem) {
    test::TempDir dir;
    const QString framePath = QString::fromStdString(dir.file("frame.png"));
    const QString iconPath = QString::fromStdString(dir.file("icon.png"));
    const QColor hover(0, 200, 0, 128);
    const QColor selected(200, 0, 0, 128);
    ASSERT_TRUE(test::SaveImage(test::MakeStrip({hover, selected}, 69, 69), framePath));
    QImage icon(21, 30, QImage::Format_ARGB32);
    icon.fill(QColor(0, 0, 255));
    ASSERT_TRUE(test::SaveImage(icon, iconPath));

    CToolBarEx bar(69, 8, 100, nullptr);
    bar.SetFramePath(framePath);
    bar.SetTextColor(Qt::black);
    bar.AddItem(iconPath, QStringLiteral("录像"), 0);
    bar.AddItem(iconPath, QString(), 1);
    bar.resize(223, 69);

    QImage image = RenderOver(bar, Qt::white);
    // The image at natural size, centred ((69 - 21) / 2 = 24), 4 pixels below the top.
    EXPECT_EQ(image.pixelColor(24, 4), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(44, 33), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(23, 4), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(24, 3), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(45, 33), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(24, 34), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(101, 4), QColor(0, 0, 255));  // second item at 77 + 24
    int textPixels = 0;
    for (int y = 0; y < 69; ++y) {
        for (int x = 0; x < 69; ++x) {
            if (image.pixelColor(x, y).lightness() < 100 && image.pixelColor(x, y) != QColor(0, 0, 255)) {
                ++textPixels;
                EXPECT_GE(y, 49);
            }
        }
    }
    EXPECT_GT(textPixels, 10);

    bar.Select(1);
    image = RenderOver(bar, Qt::white);
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));  // neither selected nor hovered
    EXPECT_TRUE(NearColor(image.pixelColor(79, 2), QColor(227, 127, 127), 2));  // selected frame over white
}

class ToolBarExMouseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = test::MakeShownHost(400, 200);
        bar_ = new CToolBarEx(69, 8, 100, host_.get());
        bar_->setGeometry(10, 25, 223, 70);
        for (int i = 0; i < 3; ++i)
            bar_->AddItem(QString(), QString(), 20 + i);
        bar_->show();
        QTest::mouseMove(host_.get(), QPoint(300, 150));
    }

    std::unique_ptr<QWidget> host_;
    CToolBarEx* bar_ = nullptr;
};

TEST_F(ToolBarExMouseTest, HoverFollowsThePointer) {
    EXPECT_EQ(bar_->HoveredIndex(), -1);
    QTest::mouseMove(bar_, QPoint(30, 30));
    EXPECT_EQ(bar_->HoveredIndex(), 0);
    QTest::mouseMove(bar_, QPoint(72, 30));  // in the gap
    EXPECT_EQ(bar_->HoveredIndex(), -1);
    QTest::mouseMove(bar_, QPoint(160, 30));
    EXPECT_EQ(bar_->HoveredIndex(), 2);
    QTest::mouseMove(bar_, QPoint(160, 69));  // below the items (y 0 to 68)
    EXPECT_EQ(bar_->HoveredIndex(), -1);
    QTest::mouseMove(bar_, QPoint(100, 30));
    EXPECT_EQ(bar_->HoveredIndex(), 1);
    QTest::mouseMove(host_.get(), QPoint(300, 150));
    EXPECT_EQ(bar_->HoveredIndex(), -1);
}

TEST_F(ToolBarExMouseTest, SelectingClearsTheHoverOfOtherItemsOnly) {
    QTest::mouseMove(bar_, QPoint(160, 30));
    ASSERT_EQ(bar_->HoveredIndex(), 2);
    bar_->Select(2);
    EXPECT_EQ(bar_->HoveredIndex(), 2);
    bar_->Select(0);
    EXPECT_EQ(bar_->HoveredIndex(), -1);
    QTest::mouseMove(bar_, QPoint(161, 30));  // the next move marks it again
    EXPECT_EQ(bar_->HoveredIndex(), 2);
}

TEST_F(ToolBarExMouseTest, PressOnAnItemSelectsItAndReportsItsId) {
    QSignalSpy selected(bar_, &CToolBarEx::ItemSelected);
    int selectedDuringSignal = -2;
    QObject::connect(bar_, &CToolBarEx::ItemSelected, bar_,
                     [this, &selectedDuringSignal](int) { selectedDuringSignal = bar_->SelectedIndex(); });
    QTest::mouseMove(bar_, QPoint(100, 30));
    QTest::mouseClick(bar_, Qt::LeftButton, {}, QPoint(100, 30));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), 21);
    EXPECT_EQ(bar_->SelectedIndex(), 1);
    EXPECT_EQ(selectedDuringSignal, 1);

    QTest::mouseClick(bar_, Qt::LeftButton, {}, QPoint(72, 30));  // gap: nothing
    QTest::mouseClick(bar_, Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(bar_->SelectedIndex(), 1);

    QTest::mouseClick(bar_, Qt::LeftButton, {}, QPoint(1, 1));
    ASSERT_EQ(selected.count(), 2);
    EXPECT_EQ(selected.at(1).at(0).toInt(), 20);
    EXPECT_EQ(bar_->SelectedIndex(), 0);
}

}  // namespace
}  // namespace qarv
