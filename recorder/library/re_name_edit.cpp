#include "recorder/library/re_name_edit.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include "common/messages.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "controls/skin_path.h"

namespace qarv {
namespace {

const QColor kIdleText(70, 90, 120);  // blue-grey

}  // namespace

CReNameEdit::CReNameEdit(int rowId, QWidget* page, QWidget* row)
    : QLineEdit(row), rowId_(rowId), page_(page) {
    setFrame(false);
    setMaxLength(kMaxCharacters);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAutoFillBackground(true);
    SetColors(false);
    setText(Placeholder());
}

void CReNameEdit::SetTitle(const QString& title) {
    lastGood_ = title.isEmpty() ? Placeholder() : title.left(kMaxCharacters);
    setText(lastGood_);
    setCursorPosition(0);
    changed_ = false;
}

void CReNameEdit::SetColors(bool editing) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, editing ? QColor(Qt::white) : NormalColor());
    colours.setColor(QPalette::Window, editing ? QColor(Qt::white) : NormalColor());
    colours.setColor(QPalette::Text, editing ? QColor(Qt::black) : kIdleText);
    setPalette(colours);
    QFont font = SongFont(editing ? 11 : 10);
    font.setBold(editing);
    font.setUnderline(!editing);
    setFont(font);
}

void CReNameEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (text() == Placeholder())
            clear();
        SetColors(true);
        editing_ = true;
        QCoreApplication::postEvent(
            page_, new WindowMessageEvent(WM_ITEM_COMMAND, static_cast<std::uintptr_t>(rowId_), 0));
    }
    QLineEdit::mousePressEvent(event);
}

void CReNameEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        return;  // no menu of its own: the page offers its folder menu instead
    QLineEdit::mouseReleaseEvent(event);
}

void CReNameEdit::mouseMoveEvent(QMouseEvent* event) {
    setCursor(Qt::PointingHandCursor);
    if (!text().isEmpty())
        lastGood_ = text();
    QLineEdit::mouseMoveEvent(event);
}

void CReNameEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        EndEditing();
        return;
    }
    const bool edits = !event->text().isEmpty() || event->matches(QKeySequence::Paste) ||
                       event->matches(QKeySequence::Cut) || event->key() == Qt::Key_Backspace ||
                       event->key() == Qt::Key_Delete;
    if (edits) {
        if (!editing_)
            return;  // typing counts only once the title has been clicked for editing
        changed_ = true;
    }
    QLineEdit::keyPressEvent(event);
}

void CReNameEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!editing_) {
        event->ignore();
        return;
    }
    if (!event->commitString().isEmpty())
        changed_ = true;
    QLineEdit::inputMethodEvent(event);
}

void CReNameEdit::leaveEvent(QEvent* event) {
    setCursor(Qt::ArrowCursor);
    if (editing_) {
        if (text().isEmpty())
            RefuseEmpty();
        else
            EndEditing();
    }
    SetColors(editing_);
    emit MouseLeft();
    QLineEdit::leaveEvent(event);
}

void CReNameEdit::EndEditing() {
    if (hasFocus())
        clearFocus();  // its focus-out ends the editing
    if (editing_ || changed_)
        focusOutEvent(nullptr);
}

void CReNameEdit::RefuseEmpty() {
    setText(lastGood_);
    changed_ = false;
    ShowMessageBox(this, QStringLiteral("文件名不能为空..."), QString(), QMessageBox::Warning,
                   QMessageBox::Ok);
}

void CReNameEdit::focusOutEvent(QFocusEvent* event) {
    if (event != nullptr)
        QLineEdit::focusOutEvent(event);
    if (text().isEmpty()) {
        RefuseEmpty();
    } else if (changed_) {
        changed_ = false;
        // At most kMaxCharacters, never ending inside a surrogate pair.
        QString title = text().left(kMaxCharacters);
        if (!title.isEmpty() && title.back().isHighSurrogate())
            title.chop(1);
        buffer_.fill(0);
        std::copy(title.utf16(), title.utf16() + title.size(), buffer_.begin());
        lastGood_ = title;
        QCoreApplication::postEvent(
            page_, new WindowMessageEvent(WM_ITEM_RETITLE, static_cast<std::uintptr_t>(rowId_),
                                          reinterpret_cast<std::intptr_t>(buffer_.data())));
    }
    editing_ = false;
    SetColors(false);
}

}  // namespace qarv
