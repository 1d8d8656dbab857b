#include "controls/skin_paint.h"

#include <QPen>

namespace qarv {

QImage LoadSkinImage(const QString& path) {
    return path.isEmpty() ? QImage() : QImage(path);
}

QRect StripFrameSource(const QSize& imageSize, int frame, int frameCount) {
    if (frameCount <= 0 || frame < 0 || frame >= frameCount)
        return {};
    const int frameWidth = imageSize.width() / frameCount;
    if (frameWidth <= 0 || imageSize.height() <= 0)
        return {};
    return QRect(frame * imageSize.width() / frameCount, 0, frameWidth, imageSize.height());
}

void DrawStripFrame(QPainter& painter, const QImage& strip, int frame, int frameCount, const QRect& target) {
    if (strip.isNull() || target.isEmpty())
        return;
    const QRect source = StripFrameSource(strip.size(), frame, frameCount);
    if (source.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(target), strip, QRectF(source));
    painter.restore();
}

void DrawFocusFrame(QPainter& painter, const QWidget& widget, const QRect& rect) {
    if (rect.width() < 2 || rect.height() < 2)
        return;
    painter.save();
    QPen pen(widget.palette().color(QPalette::WindowText), 0, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

bool TakesTabFocus(const QWidget& widget) {
    return (widget.focusPolicy() & Qt::TabFocus) != 0;
}

}  // namespace qarv
