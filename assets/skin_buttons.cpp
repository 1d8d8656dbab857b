// Button strips: the captioned page button, the title band's system buttons, the video row
// buttons and the capture menu bar buttons.

#include <QPainterPath>
#include <QtMath>

#include "assets/paint_kit.h"
#include "assets/pictures.h"

namespace qarv::assets {
namespace {

// Glyphs move down a pixel on the pressed frame, as if pushed.
QPointF PressShift(Frame state) {
    return state == Frame::kPressed ? QPointF(0.0, 1.0) : QPointF(0.0, 0.0);
}

QPen GlyphPen(const QColor& color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A five-pointed star centred in box.
QPainterPath Star(const QRectF& box) {
    QPainterPath path;
    const QPointF centre = box.center();
    const qreal outer = box.width() / 2.0;
    const qreal inner = outer * 0.45;
    for (int point = 0; point < 10; ++point) {
        const qreal radius = point % 2 == 0 ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + point * 36.0);
        const QPointF corner = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        if (point == 0) {
            path.moveTo(corner);
        } else {
            path.lineTo(corner);
        }
    }
    path.closeSubpath();
    return path;
}

void DrawCross(QPainter& painter, const QPointF& centre, qreal half, const QPen& pen) {
    painter.setPen(pen);
    painter.drawLine(centre + QPointF(-half, -half), centre + QPointF(half, half));
    painter.drawLine(centre + QPointF(-half, half), centre + QPointF(half, -half));
}

void DrawCheck(QPainter& painter, const QPointF& centre, qreal size, const QPen& pen) {
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(centre + QPointF(-size * 0.5, 0.0));
    path.lineTo(centre + QPointF(-size * 0.15, size * 0.36));
    path.lineTo(centre + QPointF(size * 0.5, -size * 0.36));
    painter.drawPath(path);
}

// The band's own rows with the window's top frame lines, so the system buttons blend into
// the band whether or not the control lets the window show through.
void DrawBandCorner(QPainter& painter, const QRectF& frame) {
    const QRectF band(frame.left(), frame.top(), frame.width(), kTitleBandHeight);
    PaintTitleBand(painter, band);
    PaintTitleHighlight(painter, band);
    painter.fillRect(QRectF(frame.left(), frame.top(), frame.width(), 1.0), QColor(0, 0, 0));
    painter.fillRect(QRectF(frame.left(), frame.top() + 1.0, frame.width(), 1.0), QColor(200, 200, 200));
}

// Disabled system buttons keep the band and fade their glyph.
QColor BandGlyphColor(Frame state) {
    return state == Frame::kDisabled ? QColor(255, 255, 255, 80) : QColor(255, 255, 255, 235);
}

// The row and menu-bar buttons: a teal tile with a glyph drawn by the caller.
using GlyphPainter = void (*)(QPainter& painter, const QRectF& tile, Frame state);

QImage TileStrip(int width, int height, qreal radius, GlyphPainter glyph) {
    return FourFrameStrip(QSize(width, height), [=](QPainter& painter, const QRectF& frame, Frame state) {
        const QRectF tile = frame.adjusted(1.0, 1.0, -1.0, -1.0);
        DrawTile(painter, tile, radius, state);
        painter.save();
        painter.translate(PressShift(state));
        glyph(painter, tile, state);
        painter.restore();
    });
}

QColor GlyphColor(Frame state) {
    return state == Frame::kHover ? QColor(255, 255, 255) : QColor(theme::kGlyph);
}

void ShareGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    // Three linked nodes: the usual "share" sign.
    const QPointF c = tile.center();
    const QPointF left = c + QPointF(-4.2, 0.0);
    const QPointF top = c + QPointF(4.0, -4.8);
    const QPointF bottom = c + QPointF(4.0, 4.8);
    painter.setPen(GlyphPen(GlyphColor(state), 1.4));
    painter.drawLine(left, top);
    painter.drawLine(left, bottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(GlyphColor(state));
    for (const QPointF& node : {left, top, bottom}) {
        painter.drawEllipse(node, 2.4, 2.4);
    }
    painter.setBrush(QColor(theme::kAccent));
    painter.drawEllipse(left, 1.1, 1.1);
}

void StarFilledGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    const QRectF box(tile.center() - QPointF(7.0, 6.6), QSizeF(14.0, 14.0));
    QLinearGradient gold = Vertical(box, QColor(255, 226, 110), QColor(240, 168, 32));
    if (state == Frame::kHover) {
        gold = Vertical(box, QColor(255, 240, 160), QColor(255, 190, 60));
    }
    painter.setPen(GlyphPen(QColor(120, 70, 0, 200), 0.8));
    painter.setBrush(gold);
    painter.drawPath(Star(box));
}

void StarOutlineGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    const QRectF box(tile.center() - QPointF(7.0, 6.6), QSizeF(14.0, 14.0));
    painter.setPen(GlyphPen(state == Frame::kHover ? QColor(255, 214, 90) : QColor(theme::kGlyph), 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(Star(box));
}

void TrashGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    const QColor color = state == Frame::kHover ? QColor(255, 138, 126) : QColor(theme::kGlyph);
    const QPointF c = tile.center();
    painter.setPen(GlyphPen(color, 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(c + QPointF(-6.0, -4.5), c + QPointF(6.0, -4.5));  // lid
    painter.drawLine(c + QPointF(-2.0, -6.5), c + QPointF(2.0, -6.5));  // handle
    painter.drawLine(c + QPointF(-2.0, -6.5), c + QPointF(-2.0, -4.5));
    painter.drawLine(c + QPointF(2.0, -6.5), c + QPointF(2.0, -4.5));
    QPainterPath can;
    can.moveTo(c + QPointF(-4.6, -2.5));
    can.lineTo(c + QPointF(-3.8, 6.5));
    can.lineTo(c + QPointF(3.8, 6.5));
    can.lineTo(c + QPointF(4.6, -2.5));
    painter.drawPath(can);
    painter.setPen(GlyphPen(color, 1.0));
    painter.drawLine(c + QPointF(-1.5, -0.5), c + QPointF(-1.3, 4.5));
    painter.drawLine(c + QPointF(1.5, -0.5), c + QPointF(1.3, 4.5));
}

void SaveGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    // An arrow down into a tray.
    const QPointF c = tile.center();
    painter.setPen(GlyphPen(GlyphColor(state), 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(c + QPointF(0.0, -5.5), c + QPointF(0.0, 2.0));
    painter.drawLine(c + QPointF(-3.2, -1.2), c + QPointF(0.0, 2.0));
    painter.drawLine(c + QPointF(3.2, -1.2), c + QPointF(0.0, 2.0));
    QPainterPath tray;
    tray.moveTo(c + QPointF(-5.5, 1.5));
    tray.lineTo(c + QPointF(-5.5, 5.0));
    tray.lineTo(c + QPointF(5.5, 5.0));
    tray.lineTo(c + QPointF(5.5, 1.5));
    painter.setPen(GlyphPen(QColor(theme::kAccent).lighter(state == Frame::kHover ? 130 : 100), 1.4));
    painter.drawPath(tray);
}

void CloseGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    const QColor color = state == Frame::kHover ? QColor(255, 150, 140) : QColor(theme::kGlyph);
    DrawCross(painter, tile.center(), 4.0, GlyphPen(color, 1.6));
}

void FinishGlyph(QPainter& painter, const QRectF& tile, Frame state) {
    const QString label = QStringLiteral("完成");
    const QFont font = CjkFont(12, true);
    const QColor mark = state == Frame::kHover ? QColor(150, 255, 200) : QColor(96, 236, 176);
    if (!CanDraw(font, label)) {
        DrawCheck(painter, tile.center(), 11.0, GlyphPen(mark, 2.0));
        return;
    }
    DrawCheck(painter, QPointF(tile.left() + 10.0, tile.center().y()), 9.0, GlyphPen(mark, 2.0));
    painter.setFont(font);
    painter.setPen(GlyphColor(state));
    painter.drawText(QRectF(tile.left() + 16.0, tile.top(), tile.width() - 17.0, tile.height()),
                     Qt::AlignCenter, label);
}

}  // namespace

QImage DrawButton() {
    return FourFrameStrip(QSize(70, 28), [](QPainter& painter, const QRectF& frame, Frame state) {
        DrawTile(painter, frame, 5.0, state);
        if (state == Frame::kHover) {
            // A faint cyan glow along the lower edge marks the pointer.
            QLinearGradient glow(frame.bottomLeft(), QPointF(frame.left(), frame.center().y()));
            glow.setColorAt(0.0, QColor(80, 230, 220, 48));
            glow.setColorAt(1.0, QColor(80, 230, 220, 0));
            painter.setPen(Qt::NoPen);
            painter.setBrush(glow);
            painter.drawRoundedRect(frame.adjusted(1.5, 1.5, -1.5, -1.5), 4.0, 4.0);
        }
    });
}

QImage DrawCloseButton() {
    return FourFrameStrip(
        QSize(46, 26),
        [](QPainter& painter, const QRectF& frame, Frame state) {
            DrawBandCorner(painter, frame);
            const QRectF face = frame.adjusted(0.0, 2.0, 0.0, 0.0);
            if (state == Frame::kHover) {
                painter.fillRect(face, Vertical(face, QColor(232, 72, 66), QColor(190, 36, 36)));
            } else if (state == Frame::kPressed) {
                painter.fillRect(face, Vertical(face, QColor(136, 24, 26), QColor(168, 34, 34)));
            }
            DrawCross(painter, face.center() + PressShift(state), 4.5, GlyphPen(BandGlyphColor(state), 1.5));
        },
        DisabledLook::kPainted);
}

QImage DrawMinimiseButton() {
    return FourFrameStrip(
        QSize(31, 26),
        [](QPainter& painter, const QRectF& frame, Frame state) {
            DrawBandCorner(painter, frame);
            const QRectF face = frame.adjusted(0.0, 2.0, 0.0, 0.0);
            if (state == Frame::kHover) {
                painter.fillRect(face, QColor(255, 255, 255, 40));
            } else if (state == Frame::kPressed) {
                painter.fillRect(face, QColor(0, 0, 0, 80));
            }
            const QPointF c = face.center() + PressShift(state) + QPointF(0.0, 3.5);
            painter.setPen(GlyphPen(BandGlyphColor(state), 1.5));
            painter.drawLine(c + QPointF(-5.0, 0.0), c + QPointF(5.0, 0.0));
        },
        DisabledLook::kPainted);
}

QImage DrawShareButton() {
    return TileStrip(25, 25, 6.0, &ShareGlyph);
}
QImage DrawCollectYesButton() {
    return TileStrip(25, 25, 6.0, &StarFilledGlyph);
}
QImage DrawCollectNoButton() {
    return TileStrip(25, 25, 6.0, &StarOutlineGlyph);
}
QImage DrawDeleteButton() {
    return TileStrip(25, 25, 6.0, &TrashGlyph);
}
QImage DrawMenuSave() {
    return TileStrip(21, 21, 4.0, &SaveGlyph);
}
QImage DrawMenuClose() {
    return TileStrip(21, 21, 4.0, &CloseGlyph);
}
QImage DrawMenuFinish() {
    return TileStrip(48, 21, 4.0, &FinishGlyph);
}

}  // namespace qarv::assets
