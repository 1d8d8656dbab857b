#include "controls/check_box_ex.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "tests/controls/controls_test_support.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::NearColor;
using test::RenderOver;

TEST(CheckBoxExGeometryTest, SquareIsPlacedFromTheSize) {
    CCheckBoxEx box(1, nullptr);
    box.resize(80, 18);
    EXPECT_EQ(box.CheckSquare(), QRect(6, 0, 14, 14));
    box.resize(80, 40);
    EXPECT_EQ(box.CheckSquare(), QRect(6, 13, 14, 14));
    box.resize(80, 20);
    EXPECT_EQ(box.CheckSquare().top(), 0);
    box.resize(80, 21);
    EXPECT_EQ(box.CheckSquare().top(), 3);
    box.resize(20, 40);
    EXPECT_EQ(box.CheckSquare().left(), 0);
    box.resize(21, 40);
    EXPECT_EQ(box.CheckSquare().left(), 6);
}

TEST(CheckBoxExPaintTest, SquareMarkBackgroundAndText) {
    CCheckBoxEx box(1, nullptr);
    box.resize(100, 40);  // square at (6, 13)
    const QColor back(160, 180, 200);
    QImage image = RenderOver(box, Qt::magenta);
    EXPECT_TRUE(NearColor(image.pixelColor(2, 2), back));
    EXPECT_EQ(image.pixelColor(6, 13), QColor(Qt::black));   // outline corner
    EXPECT_EQ(image.pixelColor(20, 27), QColor(Qt::black));  // stroke covers one pixel more
    EXPECT_EQ(image.pixelColor(13, 24), QColor(Qt::white));  // where the mark would be
    EXPECT_EQ(image.pixelColor(16, 18), QColor(Qt::white));

    box.SetChecked(true);
    image = RenderOver(box, Qt::magenta);
    EXPECT_EQ(image.pixelColor(13, 24), QColor(Qt::black));  // lower corner of the mark
    EXPECT_EQ(image.pixelColor(16, 18), QColor(Qt::black));  // on the long stroke
    EXPECT_EQ(image.pixelColor(8, 24), QColor(Qt::white));   // inside the square, off the mark

    // The caption starts 4 pixels right of the square and never reaches its left.
    box.SetTextColor(QColor(0, 0, 255));
    box.SetText(QStringLiteral("录麦克风"));
    image = RenderOver(box, Qt::magenta);
    int captionPixels = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 60) {
                ++captionPixels;
                EXPECT_GE(x, 24);
                EXPECT_GE(y, 14);
            }
        }
    }
    EXPECT_GT(captionPixels, 10);
}

TEST(CheckBoxExPaintTest, PressedWithoutImageDrawsADottedRectangle) {
    CCheckBoxEx box(1, nullptr);
    box.resize(100, 40);
    box.SetBackColor(Qt::white);
    auto blackOnTopRow = [&box] {
        const QImage image = RenderOver(box, Qt::magenta);
        int count = 0;
        for (int x = 0; x < 100; ++x)
            count += image.pixelColor(x, 0) == QColor(Qt::black) ? 1 : 0;
        return count;
    };
    EXPECT_EQ(blackOnTopRow(), 0);
    box.SetState(2);
    const int dots = blackOnTopRow();
    EXPECT_GT(dots, 20);
    EXPECT_LT(dots, 80);  // dotted, not solid
}

TEST(CheckBoxExPaintTest, ImageFrameFollowsTheState) {
    test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("check.png"));
    ASSERT_TRUE(test::SaveImage(test::MakeStrip({Qt::red, Qt::green, Qt::blue, Qt::yellow}, 10, 10), path));
    CCheckBoxEx box(1, nullptr);
    box.resize(100, 40);
    box.SetImage(path);
    EXPECT_TRUE(NearColor(RenderOver(box, Qt::magenta).pixelColor(60, 5), Qt::red, 2));
    box.SetState(2);
    EXPECT_TRUE(NearColor(RenderOver(box, Qt::magenta).pixelColor(60, 5), Qt::blue, 2));
}

class CheckBoxExMouseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = test::MakeShownHost(300, 200);
        box_ = new CCheckBoxEx(9, host_.get());
        box_->setGeometry(50, 50, 100, 28);
        box_->show();
        QTest::mouseMove(host_.get(), QPoint(10, 10));
    }
    void TearDown() override {
        if (QTestPrivate::qtestMouseButtons.testFlag(Qt::LeftButton))
            QTest::mouseRelease(host_.get(), Qt::LeftButton, {}, QPoint(10, 10));
    }

    std::unique_ptr<QWidget> host_;
    CCheckBoxEx* box_ = nullptr;
};

TEST_F(CheckBoxExMouseTest, EachClickTogglesOnceAndReportsOnce) {
    QSignalSpy clicks(box_, &CCheckBoxEx::Clicked);
    QTest::mouseMove(box_, QPoint(20, 14));
    EXPECT_EQ(box_->State(), 0);  // no hover look
    QTest::mousePress(box_, Qt::LeftButton, {}, QPoint(20, 14));
    EXPECT_EQ(box_->State(), 2);
    EXPECT_FALSE(box_->IsChecked());
    QTest::mouseRelease(box_, Qt::LeftButton, {}, QPoint(20, 14));
    EXPECT_EQ(box_->State(), 0);
    EXPECT_TRUE(box_->IsChecked());
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 9);

    QTest::mouseClick(box_, Qt::LeftButton, {}, QPoint(80, 14));  // on the caption
    EXPECT_FALSE(box_->IsChecked());
    EXPECT_EQ(clicks.count(), 2);
    QTest::mouseClick(box_, Qt::RightButton, {}, QPoint(80, 14));
    EXPECT_FALSE(box_->IsChecked());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(CheckBoxExMouseTest, ReleaseAfterLeavingIsNoClick) {
    QSignalSpy clicks(box_, &CCheckBoxEx::Clicked);
    QTest::mouseMove(box_, QPoint(20, 14));
    QTest::mousePress(box_, Qt::LeftButton, {}, QPoint(20, 14));
    QTest::mouseMove(box_, QPoint(20, 60));
    EXPECT_EQ(box_->State(), 0);
    QTest::mouseMove(box_, QPoint(20, 14));
    QTest::mouseRelease(box_, Qt::LeftButton, {}, QPoint(20, 14));
    EXPECT_FALSE(box_->IsChecked());
    EXPECT_EQ(clicks.count(), 0);

    QTest::mousePress(box_, Qt::LeftButton, {}, QPoint(20, 14));
    test::SendLeftRelease(box_, QPoint(-20, -20));
    EXPECT_FALSE(box_->IsChecked());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(box_->State(), 0);
}

TEST_F(CheckBoxExMouseTest, DisabledBoxIgnoresClicks) {
    QSignalSpy clicks(box_, &CCheckBoxEx::Clicked);
    box_->SetState(3);
    box_->setEnabled(false);
    QTest::mouseMove(box_, QPoint(20, 14));
    QTest::mouseClick(box_, Qt::LeftButton, {}, QPoint(20, 14));
    EXPECT_FALSE(box_->IsChecked());
    EXPECT_EQ(box_->State(), 3);
    EXPECT_EQ(clicks.count(), 0);
}

}  // namespace
}  // namespace qarv
