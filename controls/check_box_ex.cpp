#include "controls/check_box_ex.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"

namespace qarv {

namespace {

constexpr int kPressedState = 2;
constexpr int kTextGap = 4;  // between the square and the caption

}  // namespace

CCheckBoxEx::CCheckBoxEx(int id, QWidget* parent) : SkinControl(id, QColor(160, 180, 200), parent) {}

void CCheckBoxEx::SetTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void CCheckBoxEx::SetChecked(bool checked) {
    checked_ = checked;
    update();
}

QRect CCheckBoxEx::CheckSquare() const {
    const int left = width() <= 20 ? 0 : 6;
    const int top = height() <= 20 ? 0 : (height() - kSquareSize) / 2;
    return QRect(left, top, kSquareSize, kSquareSize);
}

void CCheckBoxEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Alpha254(backColor_));
    if (!imagePath_.isEmpty()) {
        DrawStripFrame(painter, LoadSkinImage(imagePath_), state_, 4, rect());
    } else if (state_ == kPressedState) {
        painter.setPen(QPen(Qt::black, 0, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

    const QRect square = CheckSquare();
    painter.fillRect(square, Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(square));  // the outline covers one pixel more, as a stroke does
    if (checked_) {
        const int left = square.x();
        const int top = square.y();
        const int right = left + kSquareSize;
        const int bottom = top + kSquareSize;
        const QPoint mark[] = {
            {left + 3, top + 5}, {left + kSquareSize / 2, bottom - 3}, {right - 1, top + 2}};
        painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawPolyline(mark, 3);
    }

    if (!text_.isEmpty()) {
        const QRect textRect(square.x() + kSquareSize + kTextGap, square.y() + 1, width(), height());
        painter.setFont(SongFont());
        painter.setPen(Alpha254(textColor_));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text_);
    }
    if (hasFocus() && TakesTabFocus(*this))
        DrawFocusFrame(painter, *this, rect().adjusted(3, 3, -3, -3));
}

void CCheckBoxEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    state_ = kPressedState;
    if (TakesTabFocus(*this))
        setFocus(Qt::MouseFocusReason);
    update();
}

// Qt keeps sending moves to the box while the button is held; leaving it with the button
// down abandons the press, so the release elsewhere is no click and the pressed look goes.
void CCheckBoxEx::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_ && !rect().contains(event->position().toPoint()))
        CancelPress();
}

void CCheckBoxEx::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (!pressed_ || !rect().contains(event->position().toPoint())) {
        CancelPress();
        return;
    }
    pressed_ = false;
    checked_ = !checked_;
    state_ = 0;
    update();
    emit Clicked(id_);  // last: a receiver may delete the box
}

void CCheckBoxEx::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    CancelPress();
}

void CCheckBoxEx::CancelPress() {
    if (!pressed_)
        return;
    pressed_ = false;
    if (isEnabled())
        state_ = 0;
    update();
}

}  // namespace qarv
