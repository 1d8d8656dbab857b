// The combo box bitmaps. The control cuts fixed pieces out of the frame bitmap and stretches
// them: the left edge (2 x 28 at 0,0) and the right edge (2 x 28 at 125,0) down the height,
// the top edge (18 x 3 at 2,0) and the bottom edge (18 x 4 at 2,24) along the width. Every
// row of the top and bottom pieces is therefore one colour, and the edges carry the outline.

#include "assets/paint_kit.h"
#include "assets/pictures.h"

namespace qarv::assets {
namespace {

constexpr int kFrameWidth = 127;
constexpr int kFrameHeight = 28;
constexpr int kThumb = 21;

const QColor kOutline(20, 66, 72);

}  // namespace

QImage DrawComboFrame() {
    QImage image(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    image.fill(QColor(theme::kFieldFill));
    QPainter painter(&image);
    // Top piece rows: outline, then a soft inner shadow.
    const QColor top[3] = {kOutline, QColor(176, 204, 204), QColor(226, 240, 240)};
    for (int row = 0; row < 3; ++row) {
        painter.fillRect(0, row, kFrameWidth, 1, top[row]);
    }
    // Bottom piece rows: light, lighter, a faint line, outline.
    const QColor bottom[4] = {QColor(theme::kFieldFill), QColor(240, 248, 248), QColor(210, 230, 230),
                              kOutline};
    for (int row = 0; row < 4; ++row) {
        painter.fillRect(0, 24 + row, kFrameWidth, 1, bottom[row]);
    }
    // Side pieces: the outline column and an inner column that follows the rows' shading.
    for (const int x : {0, kFrameWidth - 1}) {
        painter.fillRect(x, 0, 1, kFrameHeight, kOutline);
    }
    for (const int x : {1, kFrameWidth - 2}) {
        painter.fillRect(x, 1, 1, kFrameHeight - 2, QColor(196, 222, 222));
    }
    painter.end();
    return image;
}

QImage DrawComboThumb() {
    // Drawn on the field's own colour so the rounded corners blend into the box.
    QImage image(3 * kThumb, kThumb, QImage::Format_RGB32);
    image.fill(QColor(theme::kFieldFill));
    QPainter painter(&image);
    PrepareSmooth(painter);
    const Frame states[3] = {Frame::kNormal, Frame::kHover, Frame::kPressed};
    for (int index = 0; index < 3; ++index) {
        const Frame state = states[index];
        const QRectF frame(index * kThumb, 0.0, kThumb, kThumb);
        DrawTile(painter, frame.adjusted(1.0, 1.0, -1.0, -1.0), 3.0, state);
        const QPointF tip = frame.center() + QPointF(0.0, state == Frame::kPressed ? 3.5 : 2.5);
        painter.setPen(QPen(state == Frame::kHover ? QColor(255, 255, 255) : QColor(theme::kGlyph), 1.6,
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF({tip + QPointF(-4.0, -4.0), tip, tip + QPointF(4.0, -4.0)}));
    }
    painter.end();
    return image;
}

}  // namespace qarv::assets
