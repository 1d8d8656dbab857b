#pragma once
// The title editor of a my-videos row: shows the title underlined until clicked, then edits
// it in place; an emptied title is refused with "文件名不能为空..." and the last good one put
// back; a changed title goes to the page as WM_ITEM_RETITLE when editing ends (focus lost or
// the pointer leaving). Called on the UI thread.

#include <QLineEdit>
#include <QString>
#include <array>

namespace qarv {

class CReNameEdit : public QLineEdit {
    Q_OBJECT

  public:
    // Characters a title may have; the message's buffer holds them and a terminating zero.
    static constexpr int kMaxCharacters = 254;
    static QString Placeholder() { return QStringLiteral("编辑标题"); }
    static QColor NormalColor() { return QColor(188, 230, 200); }

    // `rowId` is reported with the messages to `page`.
    CReNameEdit(int rowId, QWidget* page, QWidget* row);

    // Shows `title` (the placeholder when empty), which also becomes the last good title.
    void SetTitle(const QString& title);
    QString LastGoodTitle() const { return lastGood_; }
    bool Editing() const { return editing_; }
    bool Changed() const { return changed_; }
    // Ends editing as losing the focus does.
    void EndEditing();
    // The buffer WM_ITEM_RETITLE points to.
    const char16_t* Buffer() const { return buffer_.data(); }

  signals:
    // The pointer left the editor (the row decides whether to hide its buttons).
    void MouseLeft();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void SetColors(bool editing);
    // Puts the last good title back and says that a title cannot be empty.
    void RefuseEmpty();

    const int rowId_;
    QWidget* const page_;
    QString lastGood_;
    bool changed_ = false;
    bool editing_ = false;
    std::array<char16_t, kMaxCharacters + 1> buffer_{};
};

}  // namespace qarv
