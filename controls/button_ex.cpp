#include "controls/button_ex.h"

#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"

namespace qarv {

CButtonEx::CButtonEx(int id, QWidget* parent) : SkinControl(id, QColor(188, 230, 200), parent) {
    setMouseTracking(true);
}

void CButtonEx::SetTransparent(bool transparent) {
    transparent_ = transparent;
    update();
}

void CButtonEx::paintEvent(QPaintEvent*) {
    if (imagePath_.isEmpty())
        return;
    QPainter painter(this);
    if (!transparent_)
        painter.fillRect(rect(), Alpha254(backColor_));
    // Read on every paint so that a changed skin file shows at once; a missing or
    // unreadable file only leaves the image out.
    DrawStripFrame(painter, LoadSkinImage(imagePath_), state_, 4, rect());
    if (!text_.isEmpty()) {
        painter.setFont(SongFont());
        painter.setPen(QColor::fromRgba(kTextColor));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, text_);
    }
    if (hasFocus() && TakesTabFocus(*this))
        DrawFocusFrame(painter, *this, rect().adjusted(3, 3, -3, -3));
}

// The pointer is followed from its first move over the button until it leaves; Qt keeps
// sending moves to the button while a button is held, even outside it, so a move outside
// counts as leaving.
void CButtonEx::mouseMoveEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        PointerLeft();
        return;
    }
    PointerInside();
}

void CButtonEx::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (isEnabled())
        PointerInside();
}

void CButtonEx::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    PointerLeft();
}

void CButtonEx::PointerInside() {
    if (!trackArmed_)
        return;
    trackArmed_ = false;
    state_ = kStateOver;
    update();
}

void CButtonEx::PointerLeft() {
    if (trackArmed_)
        return;  // not followed: the leave was already handled
    trackArmed_ = true;
    pressed_ = false;
    if (!isEnabled())
        return;
    state_ = kStateNormal;
    update();
    emit MouseLeft();
}

void CButtonEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    trackArmed_ = false;  // the pointer is on the button: follow it until it leaves
    pressed_ = true;
    state_ = kStatePressed;
    if (TakesTabFocus(*this))
        setFocus(Qt::MouseFocusReason);
    update();
}

void CButtonEx::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (!rect().contains(event->position().toPoint())) {
        PointerLeft();  // released elsewhere: never a click
        return;
    }
    if (!pressed_)
        return;
    pressed_ = false;
    state_ = kStateOver;
    update();
    emit Clicked(id_);  // last: a receiver may delete the button
}

}  // namespace qarv
