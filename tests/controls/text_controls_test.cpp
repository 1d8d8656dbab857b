#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QTimer>

#include "controls/color_static.h"
#include "controls/date_time_ctrl_ex.h"
#include "controls/edit_ex.h"
#include "controls/qarv_text_box.h"
#include "tests/controls/controls_test_support.h"

namespace qarv {
namespace {

using test::RenderOver;

// Types text one character at a time, as key presses carrying the character (QTest's own
// helpers know only ASCII keys).
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &release);
    }
}

class EditExTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host_ = test::MakeShownHost(300, 100);
        edit_ = new CEditEx(host_.get());
        edit_->setGeometry(10, 10, 150, 22);
        other_ = new QLineEdit(host_.get());
        other_->setGeometry(10, 50, 150, 22);
        edit_->show();
        other_->show();
        host_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(host_.get()));
    }
    void FocusElsewhere() {
        other_->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
    }

    std::unique_ptr<QWidget> host_;
    CEditEx* edit_ = nullptr;
    QLineEdit* other_ = nullptr;
};

TEST_F(EditExTest, CueIsShownClearedByAClickAndPutBackWhenLeftEmpty) {
    edit_->SetCueText(QStringLiteral("请输入用户名"));
    EXPECT_EQ(edit_->text(), QStringLiteral("请输入用户名"));
    QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(20, 11));
    EXPECT_TRUE(edit_->text().isEmpty());
    EXPECT_TRUE(edit_->hasFocus());
    // The field's own context menu takes the focus for a moment only: still empty.
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(edit_, &toMenu);
    EXPECT_TRUE(edit_->text().isEmpty());
    FocusElsewhere();
    EXPECT_EQ(edit_->text(), QStringLiteral("请输入用户名"));
}

TEST_F(EditExTest, TypedTextStaysThroughClicksAndFocusChanges) {
    edit_->SetCueText(QStringLiteral("cue"));
    QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(20, 11));
    QTest::keyClicks(edit_, QStringLiteral("alice"));
    FocusElsewhere();
    EXPECT_EQ(edit_->text(), QStringLiteral("alice"));
    QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(20, 11));
    EXPECT_EQ(edit_->text(), QStringLiteral("alice"));
}

TEST_F(EditExTest, UserTextEqualToTheCueIsEmptiedByTheNextClick) {
    edit_->SetCueText(QStringLiteral("cue"));
    edit_->setText(QStringLiteral("cue"));
    QTest::mouseClick(edit_, Qt::RightButton, {}, QPoint(20, 11));
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : host_.get(),
                    Qt::Key_Escape);
    EXPECT_EQ(edit_->text(), QStringLiteral("cue"));  // only the left button clears
    QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(20, 11));
    EXPECT_TRUE(edit_->text().isEmpty());
}

TEST_F(EditExTest, SettingTheCueReplacesOnlyAnEmptyFieldOrTheOldCue) {
    edit_->SetCueText(QStringLiteral("one"));
    edit_->SetCueText(QStringLiteral("two"));
    EXPECT_EQ(edit_->text(), QStringLiteral("two"));
    edit_->setText(QStringLiteral("typed"));
    edit_->SetCueText(QStringLiteral("three"));
    EXPECT_EQ(edit_->text(), QStringLiteral("typed"));
    EXPECT_EQ(edit_->CueText(), QStringLiteral("three"));
}

TEST(QarvTextBoxTest, TypingStopsAtTheLimit) {
    QarvTextBox box(24, nullptr);
    QTest::keyClicks(&box, QString(30, QLatin1Char('a')));
    EXPECT_EQ(box.text().size(), 24);
    QarvTextBox chinese(3, nullptr);
    TypeText(&chinese, QStringLiteral("录像测试"));
    EXPECT_EQ(chinese.text(), QStringLiteral("录像测"));
}

TEST(QarvTextBoxTest, NoLimitMeansTheUsualLimit) {
    QarvTextBox box(0, nullptr);
    EXPECT_EQ(box.maxLength(), QarvTextBox::kDefaultMaxLength);
    QTest::keyClicks(&box, QStringLiteral("abc"));
    EXPECT_EQ(box.text(), QStringLiteral("abc"));
}

TEST(DateTimeCtrlExTest, KeysChangeNothing) {
    auto host = test::MakeShownHost(300, 100);
    auto* control = new CDateTimeCtrlEx(host.get());
    auto* next = new QLineEdit(host.get());
    next->move(0, 50);
    EXPECT_TRUE(control->calendarPopup());
    const QDateTime start(QDate(2015, 6, 15), QTime(10, 30));
    control->setDateTime(start);
    control->show();
    next->show();
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    control->setFocus();
    ASSERT_TRUE(control->hasFocus());

    int shortcutHits = 0;
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), host.get());
    QObject::connect(shortcut, &QShortcut::activated, [&shortcutHits] { ++shortcutHits; });

    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClicks(target, QStringLiteral("2099"));
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_Backspace, Qt::Key_Delete,
                              Qt::Key_Home, Qt::Key_Right, Qt::Key_Up, Qt::Key_Tab}) {
        QTest::keyClick(target, key);
    }
    QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(control->dateTime(), start);
    EXPECT_FALSE(next->hasFocus());
    EXPECT_EQ(shortcutHits, 0);

    // No edit menu either (its Paste would change the value).
    QWidget* popupSeen = nullptr;
    QTimer::singleShot(200, [&popupSeen] {
        popupSeen = QApplication::activePopupWidget();
        if (popupSeen != nullptr)
            popupSeen->close();
    });
    QTest::mouseClick(control, Qt::RightButton, {}, QPoint(10, 10));
    QTest::qWait(300);
    EXPECT_EQ(popupSeen, nullptr);

    // The value still changes through the control's own setters (what the calendar uses).
    control->setDate(QDate(2015, 7, 1));
    EXPECT_EQ(control->date(), QDate(2015, 7, 1));
}

TEST(ColorStaticTest, ColoursAndTransparency) {
    QWidget parent;
    parent.resize(100, 40);
    auto* label = new CColorStatic(&parent);
    label->resize(100, 40);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_FALSE(label->autoFillBackground());  // no colour yet: the parent shows

    label->SetBackColor(QColor(20, 40, 60));
    EXPECT_EQ(RenderOver(*label, Qt::magenta).pixelColor(1, 1), QColor(20, 40, 60));
    label->SetTransparent(true);
    EXPECT_FALSE(label->autoFillBackground());
    label->SetTransparent(false);
    EXPECT_TRUE(label->autoFillBackground());

    label->SetTextColor(QColor(255, 0, 0));
    label->setText(QStringLiteral("录像准备中！"));
    const QImage image = RenderOver(*label, Qt::magenta);
    int red = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QColor c = image.pixelColor(x, y);
            red += (c.red() > 150 && c.green() < 80) ? 1 : 0;
        }
    }
    EXPECT_GT(red, 10);
}

TEST(ColorStaticTest, DefaultFontIsSongAt18Pixels) {
    CColorStatic label;
    label.SetDefaultFont();
    EXPECT_EQ(label.font().pixelSize(), 18);
    ASSERT_FALSE(label.font().families().isEmpty());
    EXPECT_EQ(label.font().families().first(), QStringLiteral("宋体"));
}

}  // namespace
}  // namespace qarv
