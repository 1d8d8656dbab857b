#pragma once
// The panel in a top corner of the screenshot tool: the current step's instructions and the
// colour under the pointer over a background picture, sized to that picture. It jumps to the
// other top corner when the capture window tells it the pointer came over it.
// Called on the UI thread.

#include <QImage>
#include <QString>
#include <QWidget>

namespace qarv {

class CPromptWnd : public QWidget {
    Q_OBJECT

  public:
    // Placed at `position`; sized to the picture at `imagePath`, or 1 x 1 when it is missing.
    CPromptWnd(QWidget* parent, int id, const QString& imagePath, QPoint position = {});

    int Id() const { return id_; }
    // The instructions: lines separated by line breaks, drawn from (0, 5).
    void SetText(const QString& text);
    QString Text() const { return text_; }
    // The colour under the pointer, drawn at (82, 33) when not empty; the owner repaints
    // ColorTextArea() after changing it.
    QString colorText = QStringLiteral("(255,255,255)");
    static QRect ColorTextArea() { return QRect(82, 33, 88, 17); }

    // The pointer came over the panel: it moves to the top corner it is not counted in.
    void Dodge(int screenWidth);
    bool AtRight() const { return atRight_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const int id_;
    QImage image_;  // read once: the panel repaints with every colour under the pointer
    QString text_;
    bool atRight_ = true;
};

}  // namespace qarv
