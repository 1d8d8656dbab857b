#pragma once
// A check box painted over a background colour and an optional four-frame image strip: a
// 14 x 14 white square with a check mark, and the caption to its right. A completed click
// toggles it and is reported with Clicked(id). Called on the UI thread.

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

namespace qarv {

class SkinToolTip;

class CCheckBoxEx : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kSquareSize = 14;

    CCheckBoxEx(int id, QWidget* parent);

    int Id() const { return id_; }

    // Full path of the image strip, read on every paint; may stay empty.
    void SetImage(const QString& path);
    void SetText(const QString& text);
    QString Text() const { return text_; }
    void SetTextColor(const QColor& color);  // default black
    QColor TextColor() const { return textColor_; }
    void SetBackColor(const QColor& color);  // default RGB(160, 180, 200); always filled
    QColor BackColor() const { return backColor_; }
    void SetChecked(bool checked);
    bool IsChecked() const { return checked_; }
    // 0 normal, 2 pressed, 3 disabled (set by the owner with setEnabled(false)).
    void SetState(int state);
    int State() const { return state_; }
    bool SetToolTip(const QString& text);  // false for a null text

    // The square for the current size: left 6 (0 when the width is 20 or less), top
    // (height - 14) / 2 (0 when the height is 20 or less).
    QRect CheckSquare() const;

  signals:
    void Clicked(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void CancelPress();

    const int id_;
    bool pressed_ = false;
    bool checked_ = false;
    int state_ = 0;
    QColor textColor_{Qt::black};
    QColor backColor_{160, 180, 200};
    QString imagePath_;
    QString text_;
    SkinToolTip* toolTip_ = nullptr;
};

}  // namespace qarv
