#include "controls/date_time_ctrl_ex.h"

#include <QEvent>

namespace qarv {

namespace {

// Keyboard input in all its forms: shortcut checks (accepted here so that no shortcut
// fires and the key comes to the field, which drops it), key presses and input methods.
// The field's inner line edit has the control as its focus proxy, so keys arrive here.
bool IsKeyInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::InputMethod:
            return true;
        default:
            return false;
    }
}

}  // namespace

CDateTimeCtrlEx::CDateTimeCtrlEx(QWidget* parent) : QDateTimeEdit(parent) {
    setCalendarPopup(true);
    // No edit menu either: its Paste and Delete would change the value without the calendar.
    setContextMenuPolicy(Qt::NoContextMenu);
}

bool CDateTimeCtrlEx::event(QEvent* event) {
    if (IsKeyInput(event)) {
        event->accept();
        return true;
    }
    return QDateTimeEdit::event(event);
}

}  // namespace qarv
