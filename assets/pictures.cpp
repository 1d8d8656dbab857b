#include "assets/pictures.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace qarv::assets {

QImage DrawLogo() {
    constexpr int kWidth = 120;
    constexpr int kHeight = 40;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Badge: a dark, see-through rounded plate with a lighter rim, readable on any picture.
    const QRectF plate(1.0, 1.0, kWidth - 2.0, kHeight - 2.0);
    QLinearGradient fill(plate.topLeft(), plate.bottomLeft());
    fill.setColorAt(0.0, QColor(30, 90, 96, 190));
    fill.setColorAt(1.0, QColor(8, 32, 38, 190));
    painter.setPen(QPen(QColor(255, 255, 255, 110), 1.2));
    painter.setBrush(fill);
    painter.drawRoundedRect(plate, 9.0, 9.0);

    // Record dot with a soft glow.
    const QPointF dot(20.0, kHeight / 2.0);
    QRadialGradient glow(dot, 11.0);
    glow.setColorAt(0.0, QColor(255, 80, 70, 150));
    glow.setColorAt(1.0, QColor(255, 80, 70, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(dot, 11.0, 11.0);
    QRadialGradient ball(dot + QPointF(-1.5, -1.5), 7.0);
    ball.setColorAt(0.0, QColor(255, 130, 110));
    ball.setColorAt(1.0, QColor(215, 30, 35));
    painter.setBrush(ball);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1.0));
    painter.drawEllipse(dot, 6.5, 6.5);

    // The name.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    painter.setFont(font);
    const QRectF textBox(36.0, 0.0, kWidth - 42.0, kHeight);
    painter.setPen(QColor(0, 0, 0, 120));
    painter.drawText(textBox.translated(1.0, 1.0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Qarv"));
    painter.setPen(QColor(255, 255, 255, 235));
    painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Qarv"));
    painter.end();
    return image;
}

const std::vector<Picture>& AllPictures() {
    static const std::vector<Picture> pictures = {
        {QStringLiteral("Icon/logo.png"), &DrawLogo},
        {QStringLiteral("Icon/QarvRecorder.ico"), &DrawProgramIcon},
        {QStringLiteral("Skin/Button.png"), &DrawButton},
        {QStringLiteral("Skin/sysbtn_close.png"), &DrawCloseButton},
        {QStringLiteral("Skin/sysbtn_min.png"), &DrawMinimiseButton},
        {QStringLiteral("Skin/btn_share.png"), &DrawShareButton},
        {QStringLiteral("Skin/btn_collect_yes.png"), &DrawCollectYesButton},
        {QStringLiteral("Skin/btn_collect_no.png"), &DrawCollectNoButton},
        {QStringLiteral("Skin/btn_delete.png"), &DrawDeleteButton},
        {QStringLiteral("Skin/menu_save.png"), &DrawMenuSave},
        {QStringLiteral("Skin/menu_close.png"), &DrawMenuClose},
        {QStringLiteral("Skin/menu_finish.png"), &DrawMenuFinish},
        {QStringLiteral("Skin/background.png"), &DrawTitleBackground},
        {QStringLiteral("Skin/mainframe_top_highlight.png"), &DrawTitleHighlight},
        {QStringLiteral("Skin/frame.png"), &DrawTabFrame},
        {QStringLiteral("Skin/cover_layer.png"), &DrawCoverLayer},
        {QStringLiteral("Skin/menubar.png"), &DrawMenuBar},
        {QStringLiteral("Skin/prompt_back.png"), &DrawPromptBack},
        {QStringLiteral("Skin/combobox.bmp"), &DrawComboFrame},
        {QStringLiteral("Skin/combobox_thumb.bmp"), &DrawComboThumb},
        {QStringLiteral("Skin/record.png"), &DrawRecordTab},
        {QStringLiteral("Skin/myrecord.png"), &DrawMyRecordTab},
        {QStringLiteral("Skin/myshare.png"), &DrawMyShareTab},
        {QStringLiteral("Skin/record_ico.png"), &DrawTitleIcon},
        {QStringLiteral("Skin/default_jpeg.png"), &DrawNoThumbnail},
        {QStringLiteral("Skin/cursor_150.png"), &DrawCaptureCursor},
        {QStringLiteral("Skin/cursor_151.png"), &DrawMoveCursor},
        {QStringLiteral("Skin/cursor_152.png"), &DrawSizeHorizontalCursor},
        {QStringLiteral("Skin/cursor_153.png"), &DrawSizeDiagonalCursor},
        {QStringLiteral("Skin/cursor_154.png"), &DrawSizeAntiDiagonalCursor},
        {QStringLiteral("Skin/cursor_155.png"), &DrawSizeVerticalCursor},
    };
    return pictures;
}

}  // namespace qarv::assets
