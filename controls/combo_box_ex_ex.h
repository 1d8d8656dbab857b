#pragma once
// A drop-down list (not editable: only listed values can be chosen) painted from two skin
// bitmaps loaded once at creation: "combobox.bmp" for the frame and "combobox_thumb.bmp"
// for the drop button (three 21 x 21 frames: normal, hot, hot with the left button down).
// Without them it draws a plain frame and an arrow. The selection field is 22 pixels high.
// Called on the UI thread.

#include <QComboBox>
#include <QImage>
#include <QRect>
#include <QString>

namespace qarv {

class CComboBoxExEx : public QComboBox {
    Q_OBJECT

  public:
    static constexpr int kHeight = 22;
    static constexpr int kThumbSize = 21;

    CComboBoxExEx(int id, QWidget* parent);
    // The same with the two bitmaps taken from the given files instead of the skin folder.
    CComboBoxExEx(int id, QWidget* parent, const QString& frameImagePath, const QString& thumbImagePath);

    int Id() const { return id_; }
    // Hot: the pointer came onto the drop button and has not left the control since.
    bool IsHot() const { return hot_; }
    // Pressed: it came onto the drop button with the left button (and nothing else) held.
    bool IsPressed() const { return pressed_; }
    // Both bitmaps were loaded and are large enough for their pieces.
    bool HasSkin() const;

    // The selection field: from (2, 3), up to the drop button, the height less 6.
    QRect FieldRect() const;
    // Where the drop button's frame is drawn.
    QRect ThumbRect() const;
    // Where hovering makes the control hot.
    QRect HotArea() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void PaintFrame(QPainter& painter) const;
    void PaintThumb(QPainter& painter) const;
    void PaintField(QPainter& painter) const;

    const int id_;
    QImage frameImage_;
    QImage thumbImage_;
    bool hot_ = false;
    bool pressed_ = false;
};

}  // namespace qarv
