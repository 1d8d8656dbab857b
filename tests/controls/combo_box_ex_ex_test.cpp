#include "controls/combo_box_ex_ex.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QTest>

#include "tests/controls/controls_test_support.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::NearColor;
using test::RenderOver;

const QColor kLeft(255, 0, 0);
const QColor kTop(0, 255, 0);
const QColor kBottom(0, 0, 255);
const QColor kRight(255, 255, 0);
const QColor kThumbs[] = {QColor(0, 128, 128), QColor(128, 0, 128), QColor(128, 128, 0)};

// combobox.bmp (127 x 28) with each frame piece in its own colour, and the thumb strip.
struct SkinFiles {
    SkinFiles() {
        QImage frame(127, 28, QImage::Format_RGB32);
        frame.fill(Qt::gray);
        QPainter painter(&frame);
        painter.fillRect(QRect(0, 0, 2, 28), kLeft);
        painter.fillRect(QRect(2, 0, 18, 3), kTop);
        painter.fillRect(QRect(2, 24, 18, 4), kBottom);
        painter.fillRect(QRect(125, 0, 2, 28), kRight);
        painter.end();
        framePath = QString::fromStdString(dir.file("combobox.bmp"));
        thumbPath = QString::fromStdString(dir.file("combobox_thumb.bmp"));
        EXPECT_TRUE(test::SaveImage(frame, framePath));
        EXPECT_TRUE(test::SaveImage(test::MakeStrip({kThumbs[0], kThumbs[1], kThumbs[2]}, 21, 21)
                                        .convertToFormat(QImage::Format_RGB32),
                                    thumbPath));
    }
    test::TempDir dir;
    QString framePath;
    QString thumbPath;
};

TEST(ComboBoxExExPaintTest, FramePiecesAndThumbComeFromTheBitmaps) {
    SkinFiles skin;
    CComboBoxExEx box(3, nullptr, skin.framePath, skin.thumbPath);
    ASSERT_TRUE(box.HasSkin());
    box.resize(150, 22);
    EXPECT_EQ(box.ThumbRect(), QRect(127, 2, 22, 18));
    const QImage image = RenderOver(box, Qt::magenta);
    EXPECT_EQ(image.pixelColor(0, 11), kLeft);
    EXPECT_EQ(image.pixelColor(60, 1), kTop);
    EXPECT_EQ(image.pixelColor(60, 20), kBottom);
    EXPECT_EQ(image.pixelColor(149, 11), kRight);
    EXPECT_TRUE(NearColor(image.pixelColor(137, 11), kThumbs[0], 2));
}

TEST(ComboBoxExExPaintTest, SelectionTextIsDrawnInTheField) {
    CComboBoxExEx box(3, nullptr, QString(), QString());
    box.resize(150, 22);
    QPalette colors = box.palette();
    colors.setColor(QPalette::Base, Qt::white);
    colors.setColor(QPalette::Text, Qt::black);
    box.setPalette(colors);
    auto darkPixels = [&box] {
        const QImage image = RenderOver(box, Qt::magenta);
        int count = 0;
        for (int y = 3; y < 19; ++y) {
            for (int x = 2; x < box.FieldRect().right(); ++x)
                count += image.pixelColor(x, y).lightness() < 128 ? 1 : 0;
        }
        return count;
    };
    const int empty = darkPixels();
    box.addItems({QStringLiteral("1280*720"), QStringLiteral("1920*1080")});
    EXPECT_GT(darkPixels(), empty + 20);
}

TEST(ComboBoxExExPaintTest, WithoutBitmapsDrawsAFrameAndAnArrow) {
    CComboBoxExEx box(3, nullptr, QStringLiteral("/nonexistent/a.bmp"), QStringLiteral("/nonexistent/b.bmp"));
    EXPECT_FALSE(box.HasSkin());
    box.resize(120, 22);
    QPalette colors = box.palette();
    colors.setColor(QPalette::Base, Qt::white);
    colors.setColor(QPalette::Text, Qt::black);
    box.setPalette(colors);
    const QImage image = RenderOver(box, Qt::magenta);
    EXPECT_NE(image.pixelColor(0, 11), QColor(Qt::white));  // frame
    int arrowPixels = 0;
    const QRect thumb = box.ThumbRect();
    for (int y = thumb.top(); y <= thumb.bottom(); ++y) {
        for (int x = thumb.left(); x <= thumb.right(); ++x)
            arrowPixels += image.pixelColor(x, y) == QColor(Qt::black) ? 1 : 0;
    }
    EXPECT_GT(arrowPixels, 5);
}

TEST(ComboBoxExExPaintTest, SelectedListItemIsFilledOthersAreNot) {
    CComboBoxExEx box(3, nullptr, QString(), QString());
    box.addItems({QStringLiteral("flv"), QStringLiteral("a very long item text that does not fit at all")});
    QAbstractItemDelegate* delegate = box.view()->itemDelegate();
    QStyleOptionViewItem option;
    option.initFrom(box.view());
    option.palette.setColor(QPalette::Highlight, QColor(0, 0, 200));
    option.palette.setColor(QPalette::Base, Qt::white);
    option.rect = QRect(0, 0, 60, 16);
    auto paint = [&](int row, bool selected) {
        QImage image(60, 16, QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        QStyleOptionViewItem itemOption = option;
        itemOption.state.setFlag(QStyle::State_Selected, selected);
        delegate->paint(&painter, itemOption, box.model()->index(row, 0));
        return image;
    };
    EXPECT_EQ(paint(0, true).pixelColor(59, 0), QColor(0, 0, 200));
    EXPECT_EQ(paint(0, false).pixelColor(59, 0), QColor(Qt::magenta));
    EXPECT_EQ(paint(0, false).pixelColor(1, 8), QColor(Qt::magenta));  // text starts 2 pixels in
    EXPECT_GE(delegate->sizeHint(option, box.model()->index(0, 0)).height(), 16);
}

TEST(ComboBoxExExTest, StaysANonEditableListOfFixedHeight) {
    auto host = test::MakeShownHost(300, 200);
    auto* box = new CComboBoxExEx(3, host.get(), QString(), QString());
    box->addItems({QStringLiteral("flv"), QStringLiteral("mp4"), QStringLiteral("ts")});
    box->setGeometry(20, 20, 120, 200);
    box->show();
    EXPECT_EQ(box->height(), CComboBoxExEx::kHeight);
    EXPECT_FALSE(box->isEditable());
    EXPECT_EQ(box->lineEdit(), nullptr);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("m"));
    EXPECT_EQ(box->currentText(), QStringLiteral("mp4"));  // keys pick listed values
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClicks(box, QStringLiteral("xyz"));
    EXPECT_EQ(box->currentText(), QStringLiteral("mp4"));  // and nothing else
    EXPECT_EQ(box->count(), 3);
}

class ComboBoxExExHotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = test::MakeShownHost(300, 200);
        box_ = new CComboBoxExEx(3, host_.get(), skin_.framePath, skin_.thumbPath);
        box_->addItems({QStringLiteral("44100HZ"), QStringLiteral("22050HZ")});
        box_->setGeometry(50, 50, 150, 22);
        box_->show();
        QTest::mouseMove(host_.get(), QPoint(10, 10));
    }
    void SendMove(const QPoint& pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(box_->mapToGlobal(pos)), Qt::NoButton,
                         buttons, modifiers);
        QCoreApplication::sendEvent(box_, &move);
    }

    SkinFiles skin_;
    std::unique_ptr<QWidget> host_;
    CComboBoxExEx* box_ = nullptr;
};

TEST_F(ComboBoxExExHotTest, HotFromTheDropButtonUntilThePointerLeaves) {
    QTest::mouseMove(box_, QPoint(40, 11));  // over the field
    EXPECT_FALSE(box_->IsHot());
    QTest::mouseMove(box_, QPoint(138, 11));  // over the drop button
    EXPECT_TRUE(box_->IsHot());
    EXPECT_FALSE(box_->IsPressed());
    EXPECT_TRUE(NearColor(RenderOver(*box_, Qt::magenta).pixelColor(137, 11), kThumbs[1], 2));
    QTest::mouseMove(box_, QPoint(40, 11));  // still on the control
    EXPECT_TRUE(box_->IsHot());
    QTest::mouseMove(box_, QPoint(40, -20));
    EXPECT_FALSE(box_->IsHot());
    EXPECT_TRUE(NearColor(RenderOver(*box_, Qt::magenta).pixelColor(137, 11), kThumbs[0], 2));
}

TEST_F(ComboBoxExExHotTest, PressedWhenItTurnsHotWithOnlyTheLeftButtonHeld) {
    SendMove(QPoint(138, 11), Qt::LeftButton);
    EXPECT_TRUE(box_->IsHot());
    EXPECT_TRUE(box_->IsPressed());
    EXPECT_TRUE(NearColor(RenderOver(*box_, Qt::magenta).pixelColor(137, 11), kThumbs[2], 2));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(box_, &leave);
    EXPECT_FALSE(box_->IsHot());
    EXPECT_FALSE(box_->IsPressed());

    SendMove(QPoint(138, 11), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(box_->IsHot());
    EXPECT_FALSE(box_->IsPressed());
    QCoreApplication::sendEvent(box_, &leave);
    SendMove(QPoint(138, 11), Qt::LeftButton | Qt::RightButton);
    EXPECT_FALSE(box_->IsPressed());

    // Decided when it turns hot: a button pressed later, while hot, changes nothing.
    QCoreApplication::sendEvent(box_, &leave);
    SendMove(QPoint(138, 11), Qt::NoButton);
    SendMove(QPoint(140, 12), Qt::LeftButton);
    EXPECT_TRUE(box_->IsHot());
    EXPECT_FALSE(box_->IsPressed());
}

TEST_F(ComboBoxExExHotTest, HotAreaExcludesTheBorders) {
    SendMove(QPoint(138, 1), Qt::NoButton);  // above y 3
    EXPECT_FALSE(box_->IsHot());
    SendMove(QPoint(149, 11), Qt::NoButton);  // right of width - 2
    EXPECT_FALSE(box_->IsHot());
    SendMove(QPoint(127, 3), Qt::NoButton);
    EXPECT_TRUE(box_->IsHot());
}

}  // namespace
}  // namespace qarv
