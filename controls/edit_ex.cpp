#include "controls/edit_ex.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace qarv {

CEditEx::CEditEx(QWidget* parent) : QLineEdit(parent) {}

void CEditEx::SetCueText(const QString& text) {
    const bool showingCue = this->text().isEmpty() || this->text() == cueText_;
    cueText_ = text;
    if (showingCue)
        setText(cueText_);
}

void CEditEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && text() == cueText_)
        clear();
    QLineEdit::mousePressEvent(event);
}

void CEditEx::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A context menu of the field takes the focus only for a moment; the user is still editing.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    if (text().isEmpty() || text() == cueText_)
        setText(cueText_);
}

}  // namespace qarv
