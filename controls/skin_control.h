#pragma once
// What the skinned button and check box share: an id reported with every click, an image
// strip read on every paint, a caption, a background colour, the frame state and a tool tip.
// Setters repaint. Called on the UI thread.

#include <QColor>
#include <QString>
#include <QWidget>

namespace qarv {

class SkinToolTip;

class SkinControl : public QWidget {
    Q_OBJECT

  public:
    int Id() const { return id_; }

    // Full path of the four-frame image strip; it is read from disk on every paint.
    void SetImage(const QString& path);
    QString Image() const { return imagePath_; }
    void SetText(const QString& text);
    QString Text() const { return text_; }
    void SetBackColor(const QColor& color);
    QColor BackColor() const { return backColor_; }
    // The frame drawn: 0 normal, 1 over, 2 pressed, 3 disabled. The owner sets 3 together
    // with setEnabled(false).
    void SetState(int state);
    int State() const { return state_; }
    // False for a null text; otherwise sets the tip's text (the tip is made on first use).
    bool SetToolTip(const QString& text);

  signals:
    void Clicked(int id);

  protected:
    SkinControl(int id, const QColor& backColor, QWidget* parent);

    // The focus rectangle comes and goes with the focus.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    const int id_;
    int state_ = 0;
    QColor backColor_;
    QString imagePath_;
    QString text_;

  private:
    SkinToolTip* toolTip_ = nullptr;
};

}  // namespace qarv
