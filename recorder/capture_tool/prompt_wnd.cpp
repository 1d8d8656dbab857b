#include "recorder/capture_tool/prompt_wnd.h"

#include <QPainter>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"

namespace qarv {
namespace {

constexpr int kCornerMargin = 10;

}  // namespace

CPromptWnd::CPromptWnd(QWidget* parent, int id, const QString& imagePath, QPoint position)
    : QWidget(parent), id_(id), image_(LoadSkinImage(imagePath)) {
    setGeometry(position.x(), position.y(), image_.isNull() ? 1 : image_.width(),
                image_.isNull() ? 1 : image_.height());
    // The capture window sees the pointer everywhere, over the panel too, and passes its
    // moves on: a press on the panel still starts a selection.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CPromptWnd::SetText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
}

void CPromptWnd::Dodge(int screenWidth) {
    if (atRight_)
        move(kCornerMargin, kCornerMargin);
    else
        move(screenWidth - width() - kCornerMargin, kCornerMargin);
    atRight_ = !atRight_;
}

void CPromptWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Alpha254(Qt::white));
    if (!image_.isNull())
        painter.drawImage(rect(), image_);
    QFont font = SongFont(9);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Alpha254(Qt::white));
    const int unbounded = 10000;
    painter.drawText(QRect(0, 5, unbounded, unbounded), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                     text_);
    if (!colorText.isEmpty()) {
        painter.drawText(QRect(ColorTextArea().topLeft(), QSize(unbounded, unbounded)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, colorText);
    }
}

}  // namespace qarv
