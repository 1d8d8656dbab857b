#pragma once
// A line edit showing a cue text as its own text while the user has typed nothing: a left
// click clears the text when it equals the cue, and losing the focus puts the cue back when
// the text is empty or equals it. Called on the UI thread.

#include <QLineEdit>
#include <QString>

namespace qarv {

class CEditEx : public QLineEdit {
    Q_OBJECT

  public:
    explicit CEditEx(QWidget* parent = nullptr);

    // Stores the cue; an empty field (or one still showing the previous cue) shows it at once.
    void SetCueText(const QString& text);
    QString CueText() const { return cueText_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QString cueText_;
};

}  // namespace qarv
