#include "assets/paint_kit.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainterPath>
#include <QStringList>

namespace qarv::assets {

TileColors TealTile(Frame frame) {
    switch (frame) {
        case Frame::kHover:
            return {QColor(52, 126, 132), QColor(20, 72, 80), QColor(96, 214, 204),
                    QColor(255, 255, 255, 90)};
        case Frame::kPressed:
            return {QColor(10, 40, 46), QColor(24, 70, 76), QColor(4, 26, 30), QColor(255, 255, 255, 36)};
        case Frame::kNormal:
        case Frame::kDisabled:
            break;
    }
    return {QColor(44, 112, 118), QColor(16, 58, 64), QColor(6, 34, 40), QColor(255, 255, 255, 64)};
}

QImage Canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void PrepareSmooth(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

QLinearGradient Vertical(const QRectF& rect, const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    return gradient;
}

void DrawTile(QPainter& painter, const QRectF& rect, qreal radius, Frame frame) {
    const TileColors colors = TealTile(frame);
    const QRectF plate = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setPen(QPen(colors.border, 1.0));
    painter.setBrush(Vertical(plate, colors.top, colors.bottom));
    painter.drawRoundedRect(plate, radius, radius);

    // The shine: a one-pixel line inside the border, under the top edge (above the bottom
    // edge when pressed), fading out towards the corners.
    const bool pressed = frame == Frame::kPressed;
    const qreal y = pressed ? plate.bottom() - 1.5 : plate.top() + 1.5;
    QLinearGradient fade(plate.topLeft(), plate.topRight());
    QColor clear = colors.shine;
    clear.setAlpha(0);
    fade.setColorAt(0.0, clear);
    fade.setColorAt(0.2, colors.shine);
    fade.setColorAt(0.8, colors.shine);
    fade.setColorAt(1.0, clear);
    painter.setPen(QPen(QBrush(fade), 1.0));
    painter.drawLine(QPointF(plate.left() + radius * 0.6, y), QPointF(plate.right() - radius * 0.6, y));
    painter.restore();
}

QImage FourFrameStrip(QSize frame, const FramePainter& paint, DisabledLook disabled) {
    QImage strip = Canvas(frame.width() * 4, frame.height());
    QPainter painter(&strip);
    PrepareSmooth(painter);
    for (const Frame state : {Frame::kNormal, Frame::kHover, Frame::kPressed, Frame::kDisabled}) {
        const QRectF box(QPointF(static_cast<int>(state) * frame.width(), 0), QSizeF(frame));
        if (state == Frame::kDisabled && disabled == DisabledLook::kGreyedNormal) {
            painter.drawImage(box.topLeft(), Greyed(strip.copy(QRect(QPoint(0, 0), frame))));
            continue;
        }
        painter.save();
        painter.setClipRect(box);
        painter.translate(box.topLeft());
        paint(painter, QRectF(QPointF(0, 0), QSizeF(frame)), state);
        painter.restore();
    }
    painter.end();
    return strip;
}

QImage Greyed(const QImage& image) {
    QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(plain.scanLine(y));
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb pixel = line[x];
            // Half the contrast around a mid grey keeps the disabled frame flat and quiet.
            const int grey = (qGray(pixel) * 55 + 118 * 45) / 100;
            const int alpha = qAlpha(pixel) * 85 / 100;
            line[x] = qRgba(grey, grey, grey, alpha);
        }
    }
    return plain.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void PaintTitleBand(QPainter& painter, const QRectF& band) {
    QLinearGradient fill(band.topLeft(), band.bottomLeft());
    fill.setColorAt(0.0, QColor(theme::kBandTop));
    fill.setColorAt(0.3, QColor(14, 48, 54));
    fill.setColorAt(1.0, QColor(theme::kBandBottom));
    painter.fillRect(band, fill);
    // Fine scan lines give the band a screen-like texture without any horizontal feature.
    for (int row = 1; row < static_cast<int>(band.height()); row += 2) {
        painter.fillRect(QRectF(band.left(), band.top() + row, band.width(), 1.0), QColor(0, 0, 0, 12));
    }
}

void PaintTitleHighlight(QPainter& painter, const QRectF& band) {
    const qreal height = band.height();
    // Gloss over the upper part.
    QLinearGradient gloss(band.topLeft(), QPointF(band.left(), band.top() + height * 0.45));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 30));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(QRectF(band.left(), band.top(), band.width(), height * 0.45), gloss);
    // Accent line with a soft glow above it and a shadow line below: the edge to the page.
    const QColor accent(theme::kAccent);
    QColor glow = accent;
    for (int step = 0; step < 6; ++step) {
        glow.setAlpha(8 + step * 9);
        painter.fillRect(QRectF(band.left(), band.bottom() - 8 + step, band.width(), 1.0), glow);
    }
    painter.fillRect(QRectF(band.left(), band.bottom() - 2, band.width(), 1.0), accent);
    painter.fillRect(QRectF(band.left(), band.bottom() - 1, band.width(), 1.0), QColor(0, 0, 0, 110));
}

QFont CjkFont(int pixelSize, bool bold) {
    static const QStringList kCandidates = {
        QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Noto Sans SC"),      QStringLiteral("Source Han Sans SC"),
        QStringLiteral("Microsoft YaHei"),   QStringLiteral("SimHei")};
    QFont font(QStringLiteral("DejaVu Sans"));
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : kCandidates) {
        if (installed.contains(family)) {
            font = QFont(family);
            break;
        }
    }
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

bool CanDraw(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    for (const QChar character : text) {
        if (!metrics.inFont(character)) {
            return false;
        }
    }
    return true;
}

}  // namespace qarv::assets
