#include "controls/button_ex.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include "controls/skin_tool_tip.h"
#include "tests/controls/controls_test_support.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::NearColor;
using test::RenderOver;

const QColor kFrameColors[] = {QColor(200, 0, 0), QColor(0, 200, 0), QColor(0, 0, 200), QColor(200, 200, 0)};

// A 400 x 30 strip whose every column has its own colour, so a drawn pixel tells which
// source column it came from.
QImage ColumnCodedStrip() {
    QImage strip(400, 30, QImage::Format_ARGB32);
    for (int x = 0; x < strip.width(); ++x) {
        for (int y = 0; y < strip.height(); ++y)
            strip.setPixelColor(x, y, QColor(x % 256, (x / 256) * 200, 60));
    }
    return strip;
}

class ButtonExPaintTest : public ::testing::Test {
  protected:
    QString Save(const QImage& image, const char* name) {
        const QString path = QString::fromStdString(dir_.file(name));
        EXPECT_TRUE(test::SaveImage(image, path));
        return path;
    }
    test::TempDir dir_;
};

TEST_F(ButtonExPaintTest, EachStateDrawsItsQuarterOfTheStrip) {
    const QString path = Save(ColumnCodedStrip(), "strip.png");
    CButtonEx button(7, nullptr);
    button.resize(100, 30);  // one frame, unscaled
    button.SetImage(path);
    for (int state = 0; state < 4; ++state) {
        button.SetState(state);
        const QImage image = RenderOver(button, Qt::magenta);
        for (int x : {0, 37, 99}) {
            const int column = state * 100 + x;
            EXPECT_TRUE(NearColor(image.pixelColor(x, 15), QColor(column % 256, (column / 256) * 200, 60)))
                << "state " << state << " x " << x;
        }
    }
}

TEST_F(ButtonExPaintTest, FrameIsStretchedOverTheWholeButton) {
    const QString path =
        Save(test::MakeStrip({std::begin(kFrameColors), std::end(kFrameColors)}, 10, 8), "s.png");
    CButtonEx button(1, nullptr);
    button.resize(120, 50);
    button.SetImage(path);
    button.SetState(2);
    const QImage image = RenderOver(button, Qt::magenta);
    for (const QPoint p : {QPoint(3, 3), QPoint(60, 25), QPoint(116, 46)})
        EXPECT_TRUE(NearColor(image.pixelColor(p), kFrameColors[2], 2)) << p.x() << "," << p.y();
}

TEST_F(ButtonExPaintTest, WithoutImagePathNothingIsPaintedNotEvenText) {
    CButtonEx button(1, nullptr);
    button.resize(80, 30);
    button.SetText(QStringLiteral("开始"));
    button.SetBackColor(Qt::blue);
    const QImage image = RenderOver(button, Qt::magenta);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::magenta)) << x << "," << y;
    }
}

TEST_F(ButtonExPaintTest, MissingImageStillDrawsBackgroundAndText) {
    CButtonEx button(1, nullptr);
    button.resize(80, 30);
    button.SetImage(QString::fromStdString(dir_.file("absent.png")));
    button.SetBackColor(QColor(10, 20, 30));
    const QImage blank = RenderOver(button, Qt::magenta);
    EXPECT_TRUE(NearColor(blank.pixelColor(1, 1), QColor(10, 20, 30)));
    EXPECT_TRUE(NearColor(blank.pixelColor(40, 15), QColor(10, 20, 30)));

    button.SetText(QStringLiteral("开始"));
    const QImage withText = RenderOver(button, Qt::magenta);
    EXPECT_TRUE(NearColor(withText.pixelColor(1, 1), QColor(10, 20, 30)));
    int textPixels = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 80; ++x) {
            const QColor c = withText.pixelColor(x, y);
            if (c.blue() > 150 && c.green() > 150)  // the caption colour is RGB(159, 239, 255)
                ++textPixels;
        }
    }
    EXPECT_GT(textPixels, 10);
}

TEST_F(ButtonExPaintTest, TransparentButtonShowsParentWhereImageIsClear) {
    // Frame 0 is fully transparent; the others are solid.
    const QString path =
        Save(test::MakeStrip({Qt::transparent, Qt::red, Qt::red, Qt::red}, 20, 20), "clear.png");
    QWidget parent;
    parent.resize(100, 60);
    parent.setAutoFillBackground(true);
    QPalette colors = parent.palette();
    colors.setColor(QPalette::Window, QColor(0, 255, 255));
    parent.setPalette(colors);
    auto* button = new CButtonEx(1, &parent);
    button->setGeometry(10, 10, 40, 30);
    button->SetImage(path);
    button->SetBackColor(QColor(188, 230, 200));

    EXPECT_TRUE(NearColor(parent.grab().toImage().pixelColor(30, 25), QColor(188, 230, 200)));
    button->SetTransparent(true);
    EXPECT_TRUE(NearColor(parent.grab().toImage().pixelColor(30, 25), QColor(0, 255, 255)));
}

TEST_F(ButtonExPaintTest, DefaultBackColorIsPaleGreen) {
    CButtonEx button(1, nullptr);
    EXPECT_EQ(button.BackColor(), QColor(188, 230, 200));
    button.resize(20, 20);
    button.SetImage(QString::fromStdString(dir_.file("none.png")));
    EXPECT_TRUE(NearColor(RenderOver(button, Qt::black).pixelColor(10, 10), QColor(188, 230, 200)));
}

// Mouse behaviour, in a shown window: the button sits at (50, 50), 100 x 40.
class ButtonExMouseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = test::MakeShownHost(300, 200);
        button_ = new CButtonEx(42, host_.get());
        button_->setGeometry(50, 50, 100, 40);
        button_->SetImage(QStringLiteral("/nonexistent/strip.png"));
        button_->show();
        QTest::mouseMove(host_.get(), QPoint(10, 10));
    }
    void TearDown() override {
        if (QTestPrivate::qtestMouseButtons.testFlag(Qt::LeftButton))
            QTest::mouseRelease(host_.get(), Qt::LeftButton, {}, QPoint(10, 10));
    }
    QPoint Inside() const { return QPoint(50, 20); }
    QPoint Outside() const { return QPoint(-30, -30); }  // in the host, outside the button

    std::unique_ptr<QWidget> host_;
    CButtonEx* button_ = nullptr;
};

TEST_F(ButtonExMouseTest, HoverPressReleaseLeaveWalkTheStates) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QSignalSpy left(button_, &CButtonEx::MouseLeft);
    EXPECT_EQ(button_->State(), 0);
    QTest::mouseMove(button_, Inside());
    EXPECT_EQ(button_->State(), 1);
    QTest::mousePress(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(button_->State(), 2);
    EXPECT_TRUE(button_->IsPressed());
    QTest::mouseRelease(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(button_->State(), 1);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 42);
    EXPECT_EQ(left.count(), 0);
    QTest::mouseMove(button_, Outside());
    EXPECT_EQ(button_->State(), 0);
    EXPECT_EQ(left.count(), 1);
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ButtonExMouseTest, PressMoveOutReleaseOutsideGivesNoClick) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QSignalSpy left(button_, &CButtonEx::MouseLeft);
    QTest::mouseMove(button_, Inside());
    QTest::mousePress(button_, Qt::LeftButton, {}, Inside());
    QTest::mouseMove(button_, Outside());
    EXPECT_EQ(button_->State(), 0);
    EXPECT_FALSE(button_->IsPressed());
    EXPECT_EQ(left.count(), 1);
    QTest::mouseRelease(button_, Qt::LeftButton, {}, Outside());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(left.count(), 1);  // one leave, although Qt also reports one after the release
    EXPECT_EQ(button_->State(), 0);
}

TEST_F(ButtonExMouseTest, MovingBackInBeforeReleaseStillGivesNoClick) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QTest::mouseMove(button_, Inside());
    QTest::mousePress(button_, Qt::LeftButton, {}, Inside());
    QTest::mouseMove(button_, Outside());
    QTest::mouseMove(button_, Inside());
    EXPECT_EQ(button_->State(), 1);
    QTest::mouseRelease(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(button_->State(), 1);

    // The next full click counts again.
    QTest::mouseClick(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ButtonExMouseTest, ReleaseOutsideWithoutMoveGivesNoClick) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QTest::mouseMove(button_, Inside());
    QTest::mousePress(button_, Qt::LeftButton, {}, Inside());
    test::SendLeftRelease(button_, Outside());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(button_->State(), 0);
}

TEST_F(ButtonExMouseTest, EveryClickOfADoubleClickCounts) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QTest::mouseMove(button_, Inside());
    QTest::mouseDClick(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ButtonExMouseTest, OtherButtonsDoNotClick) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QTest::mouseMove(button_, Inside());
    QTest::mouseClick(button_, Qt::RightButton, {}, Inside());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(button_->State(), 1);
}

TEST_F(ButtonExMouseTest, DisabledButtonKeepsItsStateAndNeverClicks) {
    QSignalSpy clicks(button_, &CButtonEx::Clicked);
    QSignalSpy left(button_, &CButtonEx::MouseLeft);
    button_->SetState(3);
    button_->setEnabled(false);
    QTest::mouseMove(button_, Inside());
    QTest::mouseClick(button_, Qt::LeftButton, {}, Inside());
    QTest::mouseMove(button_, Outside());
    EXPECT_EQ(button_->State(), 3);
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(left.count(), 0);

    // Enabled again, it hovers and clicks as before.
    button_->SetState(0);
    button_->setEnabled(true);
    QTest::mouseMove(button_, Inside());
    EXPECT_EQ(button_->State(), 1);
    QTest::mouseClick(button_, Qt::LeftButton, {}, Inside());
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ButtonExMouseTest, TakesFocusOnClickOnlyWhenInTabOrder) {
    QTest::mouseMove(button_, Inside());
    QTest::mouseClick(button_, Qt::LeftButton, {}, Inside());
    EXPECT_FALSE(button_->hasFocus());

    button_->setFocusPolicy(Qt::TabFocus);
    QTest::mouseClick(button_, Qt::LeftButton, {}, Inside());
    EXPECT_TRUE(button_->hasFocus());
    // The focus rectangle is drawn 3 pixels inside the edges.
    button_->SetBackColor(Qt::white);
    const QImage focused = RenderOver(*button_, Qt::white);
    int framePixels = 0;
    for (int x = 3; x < 97; ++x)
        framePixels += focused.pixelColor(x, 3) != QColor(Qt::white) ? 1 : 0;
    EXPECT_GT(framePixels, 20);
    EXPECT_EQ(focused.pixelColor(50, 2), QColor(Qt::white));
}

TEST_F(ButtonExMouseTest, ToolTipAppearsShortlyAfterThePointerRests) {
    EXPECT_FALSE(button_->SetToolTip(QString()));
    ASSERT_TRUE(button_->SetToolTip(QStringLiteral("关闭")));
    QTest::mouseMove(button_, Inside());
    EXPECT_TRUE(test::WaitUntil([] { return QToolTip::isVisible(); }, 10000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("关闭"));
    QTest::mouseMove(button_, Outside());
    EXPECT_TRUE(test::WaitUntil([] { return !QToolTip::isVisible(); }, 10000));
}

}  // namespace
}  // namespace qarv
