#pragma once
// A label with its own text colour (white by default) and background colour. Until a
// background colour is set, or while it is transparent, the parent shows through behind
// the text. Called on the UI thread.

#include <QColor>
#include <QLabel>

namespace qarv {

class CColorStatic : public QLabel {
    Q_OBJECT

  public:
    explicit CColorStatic(QWidget* parent = nullptr);

    void SetTextColor(const QColor& color);
    QColor TextColor() const { return textColor_; }
    void SetBackColor(const QColor& color);
    QColor BackColor() const { return backColor_; }  // invalid until set
    void SetTransparent(bool transparent);
    bool IsTransparent() const { return transparent_; }
    // "宋体" with an 18-pixel character height.
    void SetDefaultFont();

  private:
    void ApplyColors();

    QColor textColor_{Qt::white};
    QColor backColor_;
    bool transparent_ = false;
};

}  // namespace qarv
