#pragma once
// A push button painted from a four-frame image strip (normal, over, pressed, disabled) with
// a caption over it; reports a click with Clicked(id) and forwards the pointer leaving it
// with MouseLeft(). Called on the UI thread.

#include <QColor>
#include <QString>

#include "controls/skin_control.h"

class QEnterEvent;

namespace qarv {

class CButtonEx : public SkinControl {
    Q_OBJECT

  public:
    static constexpr int kStateNormal = 0;
    static constexpr int kStateOver = 1;
    static constexpr int kStatePressed = 2;
    static constexpr int kStateDisabled = 3;
    static constexpr QRgb kTextColor = 0xFE9FEFFF;  // ARGB

    // Background RGB(188, 230, 200) under the image. While no image is set the button paints
    // nothing at all, not even its caption.
    CButtonEx(int id, QWidget* parent);

    // Transparent: no background fill, the parent shows through the image.
    void SetTransparent(bool transparent);
    bool IsTransparent() const { return transparent_; }
    // True between a left press on the button and its release, unless the pointer left.
    bool IsPressed() const { return pressed_; }

  signals:
    void MouseLeft();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void PointerInside();
    void PointerLeft();

    bool trackArmed_ = true;  // true: the pointer is not being followed; the next move hovers
    bool pressed_ = false;
    bool transparent_ = false;
};

}  // namespace qarv
