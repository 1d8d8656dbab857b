#pragma once
// The tool tip of a skinned control: shown 100 ms after the pointer comes to rest on the
// control, for one second, wrapped to lines at most 200 pixels wide; hidden when the
// pointer leaves or a button goes down, and shown again only after the pointer has left
// and come back. Called on the UI thread; lives as a child of its control.

#include <QFont>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

class QWidget;

namespace qarv {

class SkinToolTip : public QObject {
    Q_OBJECT

  public:
    static constexpr int kInitialDelayMs = 100;
    static constexpr int kDisplayMs = 1000;
    static constexpr int kMaxWidth = 200;

    explicit SkinToolTip(QWidget* owner);

    void SetText(const QString& text);
    QString Text() const { return text_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Show();
    void Hide();

    QWidget* owner_;
    QString text_;
    QTimer timer_;
    QPoint lastGlobalPos_;
    bool shown_ = false;  // shown since the pointer came onto the control
};

// Breaks plain text into lines no wider than maxWidth pixels in `font`, at the places where
// text may be broken (spaces, between CJK characters); a word wider than the limit keeps its
// own line. Rich text is returned unchanged (the tip wraps it itself).
QString WrapToolTipText(const QString& text, const QFont& font, int maxWidth);

}  // namespace qarv
