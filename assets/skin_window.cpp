// Pictures of the main window's title band and tab bar and of the capture tool's layers.

#include <QPainterPath>
#include <QRadialGradient>

#include "assets/paint_kit.h"
#include "assets/pictures.h"

namespace qarv::assets {
namespace {

// Wide enough for the main window, so the band is barely stretched.
constexpr int kBandWidth = 1000;
constexpr int kTabItem = 69;

}  // namespace

QImage DrawTitleBackground() {
    QImage image = Canvas(kBandWidth, kTitleBandHeight);
    QPainter painter(&image);
    PrepareSmooth(painter);
    const QRectF band(0.0, 0.0, kBandWidth, kTitleBandHeight);
    PaintTitleBand(painter, band);
    // A soft light behind the title and the tabs on the left; it has faded out well before
    // the system buttons on the right, whose pictures repeat the plain band.
    QRadialGradient light(QPointF(150.0, 64.0), 300.0);
    light.setColorAt(0.0, QColor(60, 200, 190, 46));
    light.setColorAt(0.6, QColor(60, 200, 190, 14));
    light.setColorAt(1.0, QColor(60, 200, 190, 0));
    painter.fillRect(QRectF(0.0, 0.0, 460.0, kTitleBandHeight), light);
    painter.end();
    return image;
}

QImage DrawTitleHighlight() {
    QImage image = Canvas(kBandWidth, kTitleBandHeight);
    QPainter painter(&image);
    PrepareSmooth(painter);
    PaintTitleHighlight(painter, QRectF(0.0, 0.0, kBandWidth, kTitleBandHeight));
    painter.end();
    return image;
}

QImage DrawTabFrame() {
    QImage image = Canvas(2 * kTabItem, kTabItem);
    QPainter painter(&image);
    PrepareSmooth(painter);
    const QColor accent(theme::kAccent);

    // Frame 0, hover: a faint raised plate with a light rim.
    const QRectF hover = QRectF(0.0, 0.0, kTabItem, kTabItem).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(QColor(255, 255, 255, 80), 1.0));
    painter.setBrush(Vertical(hover, QColor(255, 255, 255, 34), QColor(255, 255, 255, 10)));
    painter.drawRoundedRect(hover, 6.0, 6.0);

    // Frame 1, selected: a cyan glow rising from the bottom, a cyan rim and a bar under the text.
    const QRectF selected = hover.translated(kTabItem, 0.0);
    QColor glowTop = accent;
    glowTop.setAlpha(8);
    QColor glowBottom = accent;
    glowBottom.setAlpha(80);
    QColor rim = accent;
    rim.setAlpha(210);
    painter.setPen(QPen(rim, 1.2));
    painter.setBrush(Vertical(selected, glowTop, glowBottom));
    painter.drawRoundedRect(selected, 6.0, 6.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawRoundedRect(
        QRectF(selected.left() + 14.0, selected.bottom() - 3.5, selected.width() - 28.0, 3.0), 1.5, 1.5);
    painter.end();
    return image;
}

QImage DrawCoverLayer() {
    // One plain colour: the tile is laid from each band's own corner, so any pattern would
    // show seams where the bands meet.
    QImage image = Canvas(64, 64);
    image.fill(QColor(0, 18, 22, 150));
    return image;
}

QImage DrawMenuBar() {
    // The outer pixel is cut off when drawn; inside it the bar's own rim and fill.
    constexpr int kWidth = 104;
    constexpr int kHeight = 29;
    QImage image = Canvas(kWidth, kHeight);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(40, 96, 100));
    const QRectF rim(1.0, 1.0, kWidth - 2.0, kHeight - 2.0);
    painter.fillRect(rim, QColor(theme::kBarFrame));
    const QRectF inside = rim.adjusted(1.0, 1.0, -1.0, -1.0);
    painter.fillRect(inside, Vertical(inside, QColor(206, 240, 216), QColor(178, 222, 192)));
    painter.fillRect(QRectF(inside.left(), inside.top(), inside.width(), 1.0), QColor(255, 255, 255, 120));
    painter.end();
    return image;
}

QImage DrawPromptBack() {
    // The instructions are drawn from (0, 5), one line of up to about 170 pixels per row and
    // eleven rows at most; the colour under the pointer is written at (82, 33).
    constexpr int kWidth = 208;
    constexpr int kHeight = 200;
    QImage image = Canvas(kWidth, kHeight);
    QPainter painter(&image);
    PrepareSmooth(painter);
    const QRectF all(0.0, 0.0, kWidth, kHeight);
    painter.fillRect(all, Vertical(all, QColor(18, 56, 62), QColor(8, 30, 36)));

    // Header over the two empty lines that open the text.
    const QRectF header(0.0, 0.0, kWidth, 26.0);
    painter.fillRect(header, Vertical(header, QColor(36, 96, 102), QColor(20, 62, 68)));
    painter.fillRect(QRectF(0.0, 26.0, kWidth, 1.0), QColor(theme::kAccent));
    const QString title = QStringLiteral("区域截图");
    const QFont font = CjkFont(12, true);
    if (CanDraw(font, title)) {
        painter.setFont(font);
        painter.setPen(QColor(170, 240, 232));
        painter.drawText(QRectF(9.0, 0.0, kWidth - 40.0, 26.0), Qt::AlignVCenter | Qt::AlignLeft, title);
    }
    const QPointF aim(kWidth - 16.0, 13.0);
    painter.setPen(QPen(QColor(theme::kAccent), 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(aim, 5.0, 5.0);
    painter.drawLine(aim + QPointF(-8.0, 0.0), aim + QPointF(-3.0, 0.0));
    painter.drawLine(aim + QPointF(3.0, 0.0), aim + QPointF(8.0, 0.0));
    painter.drawLine(aim + QPointF(0.0, -8.0), aim + QPointF(0.0, -3.0));
    painter.drawLine(aim + QPointF(0.0, 3.0), aim + QPointF(0.0, 8.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(theme::kRecord));
    painter.drawEllipse(aim, 1.6, 1.6);

    // A recessed slot behind the colour value.
    const QRectF slot(79.5, 31.5, 96.0, 20.0);
    painter.setPen(QPen(QColor(70, 150, 150, 160), 1.0));
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawRoundedRect(slot, 3.0, 3.0);

    // Rim.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(60, 170, 168), 1.0));
    painter.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.end();
    return image;
}

}  // namespace qarv::assets
