#pragma once
// A push button painted from a four-frame image strip (normal, over, pressed, disabled) with
// a caption over it; reports a click with Clicked(id) and forwards the pointer leaving it
// with MouseLeft(). Called on the UI thread.

#include <QColor>
#include <QString>
#include <QWidget>

class QEnterEvent;

namespace qarv {

class SkinToolTip;

class CButtonEx : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kStateNormal = 0;
    static constexpr int kStateOver = 1;
    static constexpr int kStatePressed = 2;
    static constexpr int kStateDisabled = 3;
    static constexpr QRgb kTextColor = 0xFE9FEFFF;  // ARGB

    CButtonEx(int id, QWidget* parent);

    int Id() const { return id_; }

    // Full path of the image strip; it is read from disk on every paint. While it is empty
    // the button paints nothing at all, not even its caption.
    void SetImage(const QString& path);
    QString Image() const { return imagePath_; }
    void SetText(const QString& text);
    QString Text() const { return text_; }
    // Background under the image (default RGB(188, 230, 200)), unless transparent.
    void SetBackColor(const QColor& color);
    QColor BackColor() const { return backColor_; }
    void SetTransparent(bool transparent);
    bool IsTransparent() const { return transparent_; }
    // The frame drawn: 0 normal, 1 over, 2 pressed, 3 disabled. The owner sets 3 together
    // with setEnabled(false).
    void SetState(int state);
    int State() const { return state_; }
    // False for a null text; otherwise sets the tip's text.
    bool SetToolTip(const QString& text);
    // True between a left press on the button and its release, unless the pointer left.
    bool IsPressed() const { return pressed_; }

  signals:
    void Clicked(int id);
    void MouseLeft();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void PointerInside();
    void PointerLeft();

    const int id_;
    bool trackArmed_ = true;  // true: the pointer is not being followed; the next move hovers
    bool pressed_ = false;
    int state_ = kStateNormal;
    bool transparent_ = false;
    QColor backColor_{188, 230, 200};
    QString imagePath_;
    QString text_;
    SkinToolTip* toolTip_ = nullptr;  // made on the first SetToolTip
};

}  // namespace qarv
