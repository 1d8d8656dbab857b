// Icons: the tab pictures, the small mark in the title band, the program icon and the
// stand-in for a video without thumbnails.

#include <QPainterPath>
#include <QRadialGradient>

#include "assets/paint_kit.h"
#include "assets/pictures.h"

namespace qarv::assets {
namespace {

constexpr int kTabPicture = 40;

QBrush LightFill(const QRectF& box) {
    return Vertical(box, QColor(250, 255, 255), QColor(176, 226, 228));
}

// The glyph with a soft dark shadow one pixel below it, so it stands out on the band.
QImage WithShadow(const QImage& glyph) {
    QImage shadow = glyph;
    {
        QPainter tint(&shadow);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(shadow.rect(), QColor(0, 12, 16, 120));
    }
    QImage image = Canvas(glyph.width(), glyph.height());
    QPainter painter(&image);
    painter.drawImage(QPointF(0.0, 1.0), shadow);
    painter.drawImage(QPointF(0.0, 0.0), glyph);
    painter.end();
    return image;
}

// The record sign: a light ring around a glowing red dot.
void DrawRecordMark(QPainter& painter, const QPointF& centre, qreal ring, qreal ringWidth, qreal dot) {
    QLinearGradient ringFill(centre - QPointF(0.0, ring), centre + QPointF(0.0, ring));
    ringFill.setColorAt(0.0, QColor(200, 255, 248));
    ringFill.setColorAt(1.0, QColor(theme::kAccent));
    painter.setPen(QPen(QBrush(ringFill), ringWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, ring, ring);
    QRadialGradient ball(centre - QPointF(dot * 0.3, dot * 0.35), dot * 1.2);
    ball.setColorAt(0.0, QColor(255, 150, 130));
    ball.setColorAt(0.55, QColor(theme::kRecord));
    ball.setColorAt(1.0, QColor(170, 24, 30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ball);
    painter.drawEllipse(centre, dot, dot);
}

}  // namespace

QImage DrawRecordTab() {
    QImage glyph = Canvas(kTabPicture, kTabPicture);
    QPainter painter(&glyph);
    PrepareSmooth(painter);
    const QRectF body(3.0, 11.0, 25.0, 19.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LightFill(body));
    painter.drawRoundedRect(body, 4.0, 4.0);
    QPolygonF lens({QPointF(27.0, 17.5), QPointF(37.0, 12.0), QPointF(37.0, 29.0), QPointF(27.0, 23.5)});
    painter.setBrush(LightFill(lens.boundingRect()));
    painter.drawPolygon(lens);
    DrawRecordMark(painter, QPointF(15.5, 20.5), 6.2, 1.6, 4.2);
    painter.end();
    return WithShadow(glyph);
}

QImage DrawMyRecordTab() {
    QImage glyph = Canvas(kTabPicture, kTabPicture);
    QPainter painter(&glyph);
    PrepareSmooth(painter);
    // A second film card behind the first: the collection.
    const QRectF back(10.0, 5.0, 26.0, 20.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 210, 212, 170));
    painter.drawRoundedRect(back, 3.5, 3.5);
    const QRectF front(4.0, 12.0, 28.0, 22.0);
    painter.setPen(QPen(QColor(8, 40, 46, 200), 1.0));
    painter.setBrush(LightFill(front));
    painter.drawRoundedRect(front, 3.5, 3.5);
    // Sprocket holes along both edges.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(16, 62, 68));
    for (int hole = 0; hole < 6; ++hole) {
        const qreal x = front.left() + 3.0 + hole * 4.2;
        painter.drawRect(QRectF(x, front.top() + 2.0, 2.2, 2.0));
        painter.drawRect(QRectF(x, front.bottom() - 4.0, 2.2, 2.0));
    }
    // Play sign.
    const QPointF c = front.center();
    painter.setBrush(QColor(20, 150, 142));
    painter.drawPolygon(QPolygonF({c + QPointF(-3.5, -5.0), c + QPointF(5.5, 0.0), c + QPointF(-3.5, 5.0)}));
    painter.end();
    return WithShadow(glyph);
}

QImage DrawMyShareTab() {
    QImage glyph = Canvas(kTabPicture, kTabPicture);
    QPainter painter(&glyph);
    PrepareSmooth(painter);
    QPainterPath cloud;
    cloud.addEllipse(QPointF(12.5, 23.0), 7.5, 7.5);
    cloud.addEllipse(QPointF(21.0, 17.0), 9.5, 9.5);
    cloud.addEllipse(QPointF(29.0, 23.5), 6.5, 6.5);
    cloud.addRoundedRect(QRectF(6.0, 21.0, 29.0, 10.0), 5.0, 5.0);
    cloud.setFillRule(Qt::WindingFill);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LightFill(cloud.boundingRect()));
    painter.drawPath(cloud.simplified());
    // Upward arrow: sending to the site.
    painter.setPen(QPen(QColor(20, 150, 142), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(20.5, 28.5), QPointF(20.5, 17.5));
    painter.drawPolyline(QPolygonF({QPointF(16.0, 21.5), QPointF(20.5, 17.0), QPointF(25.0, 21.5)}));
    painter.end();
    return WithShadow(glyph);
}

QImage DrawTitleIcon() {
    QImage image = Canvas(16, 16);
    QPainter painter(&image);
    PrepareSmooth(painter);
    DrawRecordMark(painter, QPointF(8.0, 8.0), 6.3, 1.4, 3.4);
    painter.end();
    return image;
}

QImage DrawProgramIcon() {
    QImage image = Canvas(64, 64);
    QPainter painter(&image);
    PrepareSmooth(painter);
    const QRectF plate(2.5, 2.5, 59.0, 59.0);
    painter.setPen(QPen(QColor(90, 210, 200, 170), 1.0));
    painter.setBrush(Vertical(plate, QColor(34, 108, 114), QColor(8, 36, 42)));
    painter.drawRoundedRect(plate, 14.0, 14.0);
    DrawRecordMark(painter, QPointF(32.0, 32.0), 18.0, 4.0, 10.5);
    // Gloss over the upper half.
    QPainterPath gloss;
    gloss.addRoundedRect(plate.adjusted(1.5, 1.5, -1.5, -plate.height() / 2.0), 12.0, 12.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Vertical(gloss.boundingRect(), QColor(255, 255, 255, 52), QColor(255, 255, 255, 0)));
    painter.drawPath(gloss);
    painter.end();
    return image;
}

QImage DrawNoThumbnail() {
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    PrepareSmooth(painter);
    QRadialGradient fill(QPointF(kWidth / 2.0, kHeight / 2.0), kWidth * 0.6);
    fill.setColorAt(0.0, QColor(34, 96, 102));
    fill.setColorAt(1.0, QColor(10, 34, 40));
    painter.fillRect(image.rect(), fill);

    // Film edges along the top and the bottom.
    for (const int top : {0, kHeight - 36}) {
        painter.fillRect(QRect(0, top, kWidth, 36), QColor(4, 20, 24, 200));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(120, 180, 180, 90));
        for (int x = 14; x < kWidth; x += 40) {
            painter.drawRoundedRect(QRectF(x, top + 10.0, 20.0, 16.0), 3.0, 3.0);
        }
    }

    // A picture sign: frame, hills and a sun, in faint light teal.
    const QColor line(190, 236, 236, 150);
    const QRectF frame(232.0, 140.0, 176.0, 128.0);
    painter.setPen(QPen(line, 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame, 14.0, 14.0);
    painter.drawPolyline(QPolygonF({QPointF(250.0, 248.0), QPointF(292.0, 200.0), QPointF(320.0, 230.0),
                                    QPointF(348.0, 196.0), QPointF(390.0, 248.0)}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(line);
    painter.drawEllipse(QPointF(370.0, 172.0), 12.0, 12.0);

    const QString text = QStringLiteral("暂无缩略图");
    const QFont font = CjkFont(34, true);
    painter.setFont(font);
    painter.setPen(QColor(210, 244, 244, 210));
    painter.drawText(QRectF(0.0, 292.0, kWidth, 60.0), Qt::AlignCenter,
                     CanDraw(font, text) ? text : QStringLiteral("No preview"));
    painter.end();
    return image;
}

}  // namespace qarv::assets
