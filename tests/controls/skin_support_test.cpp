#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QToolTip>

#include "controls/skin_paint.h"
#include "controls/skin_path.h"
#include "controls/skin_tool_tip.h"
#include "tests/controls/controls_test_support.h"

namespace qarv {
namespace {

TEST(SkinPaintTest, FrameSourceUsesIntegerDivision) {
    EXPECT_EQ(StripFrameSource(QSize(400, 30), 1, 4), QRect(100, 0, 100, 30));
    EXPECT_EQ(StripFrameSource(QSize(400, 30), 3, 4), QRect(300, 0, 100, 30));
    EXPECT_EQ(StripFrameSource(QSize(402, 30), 3, 4), QRect(301, 0, 100, 30));
    EXPECT_EQ(StripFrameSource(QSize(138, 69), 1, 2), QRect(69, 0, 69, 69));
}

TEST(SkinPaintTest, FramesOutsideTheStripAreEmpty) {
    EXPECT_TRUE(StripFrameSource(QSize(400, 30), 4, 4).isEmpty());
    EXPECT_TRUE(StripFrameSource(QSize(400, 30), -1, 4).isEmpty());
    EXPECT_TRUE(StripFrameSource(QSize(3, 30), 0, 4).isEmpty());
    EXPECT_TRUE(StripFrameSource(QSize(400, 0), 0, 4).isEmpty());
    EXPECT_TRUE(StripFrameSource(QSize(400, 30), 0, 0).isEmpty());

    QImage target(10, 10, QImage::Format_ARGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    DrawStripFrame(painter, test::MakeStrip({Qt::red}, 4, 4), 5, 4, target.rect());
    DrawStripFrame(painter, QImage(), 0, 4, target.rect());
    painter.end();
    EXPECT_EQ(target.pixelColor(5, 5), QColor(Qt::white));
}

TEST(SongFontTest, FallsBackToAnInstalledChineseFont) {
    const QFont font = SongFont();
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_EQ(SongFont(12).pointSize(), 12);
    const QFontMetrics metrics(font);
    EXPECT_TRUE(metrics.inFont(QChar(0x5F55)));  // 录
    EXPECT_GT(metrics.horizontalAdvance(QStringLiteral("录像")), 10);
}

TEST(ToolTipWrapTest, LongTextIsBrokenIntoLinesWithinTheWidth) {
    const QFont font = QToolTip::font();
    const QFontMetrics metrics(font);
    const QString chinese = QString(60, QChar(0x5F55));
    const QString wrapped = WrapToolTipText(chinese, font, 200);
    const QStringList lines = wrapped.split(QLatin1Char('\n'));
    EXPECT_GT(lines.size(), 1);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), 200) << line.toStdString();
    EXPECT_EQ(lines.join(QString()), chinese);

    const QString words =
        QStringLiteral("one two three four five six seven eight nine ten eleven twelve thirteen");
    const QStringList wordLines = WrapToolTipText(words, font, 200).split(QLatin1Char('\n'));
    for (const QString& line : wordLines) {
        EXPECT_LE(metrics.horizontalAdvance(line), 200);
        EXPECT_FALSE(line.endsWith(QLatin1Char(' ')));
    }
    EXPECT_EQ(wordLines.join(QLatin1Char(' ')), words);
}

TEST(ToolTipWrapTest, ShortLongWordNewlinesAndRichText) {
    const QFont font = QToolTip::font();
    EXPECT_EQ(WrapToolTipText(QStringLiteral("关闭"), font, 200), QStringLiteral("关闭"));
    const QString word(80, QLatin1Char('x'));
    EXPECT_EQ(WrapToolTipText(word, font, 200).count(QLatin1Char('\n')), 0);
    EXPECT_EQ(WrapToolTipText(QStringLiteral("a\n\nb"), font, 200), QStringLiteral("a\n\nb"));
    const QString rich = QStringLiteral("<b>bold</b> text");
    EXPECT_EQ(WrapToolTipText(rich, font, 10), rich);
}

}  // namespace
}  // namespace qarv
