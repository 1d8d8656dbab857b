#pragma once
// A check box painted over a background colour and an optional four-frame image strip: a
// 14 x 14 white square with a check mark, and the caption to its right. A completed click
// toggles it and is reported with Clicked(id). Called on the UI thread.

#include <QColor>
#include <QRect>

#include "controls/skin_control.h"

namespace qarv {

class CCheckBoxEx : public SkinControl {
    Q_OBJECT

  public:
    static constexpr int kSquareSize = 14;

    // Background RGB(160, 180, 200), always filled; the image strip is optional. States used:
    // 0 normal, 2 pressed, 3 disabled.
    CCheckBoxEx(int id, QWidget* parent);

    void SetTextColor(const QColor& color);  // default black
    QColor TextColor() const { return textColor_; }
    void SetChecked(bool checked);
    bool IsChecked() const { return checked_; }

    // The square for the current size: left 6 (0 when the width is 20 or less), top
    // (height - 14) / 2 (0 when the height is 20 or less).
    QRect CheckSquare() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void CancelPress();

    bool pressed_ = false;
    bool checked_ = false;
    QColor textColor_{Qt::black};
};

}  // namespace qarv
