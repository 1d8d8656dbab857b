// The pictures as the build wrote them: every file the windows name is there in the format
// its name says, with the sizes and see-through areas the windows rely on.

#include <gtest/gtest.h>

#include <QFile>
#include <QFontMetrics>
#include <QImageReader>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "assets/pictures.h"
#include "tests/assets/picture_checks.h"

namespace qarv::test {
namespace {

// Every picture the windows load, by the names they use.
const QStringList kNamedByTheWindows = {
    "Skin/Button.png",         "Skin/sysbtn_close.png",   "Skin/sysbtn_min.png",
    "Skin/record.png",         "Skin/myrecord.png",       "Skin/myshare.png",
    "Skin/frame.png",          "Skin/background.png",     "Skin/mainframe_top_highlight.png",
    "Skin/record_ico.png",     "Skin/btn_share.png",      "Skin/btn_collect_yes.png",
    "Skin/btn_collect_no.png", "Skin/btn_delete.png",     "Skin/default_jpeg.png",
    "Skin/cover_layer.png",    "Skin/menubar.png",        "Skin/prompt_back.png",
    "Skin/menu_save.png",      "Skin/menu_close.png",     "Skin/menu_finish.png",
    "Skin/combobox.bmp",       "Skin/combobox_thumb.bmp", "Icon/logo.png",
    "Icon/QarvRecorder.ico",   "Skin/cursor_150.png",     "Skin/cursor_151.png",
    "Skin/cursor_152.png",     "Skin/cursor_153.png",     "Skin/cursor_154.png",
    "Skin/cursor_155.png"};

TEST(BuiltPictures, EveryNamedPictureExistsInTheFormatOfItsName) {
    for (const QString& name : kNamedByTheWindows) {
        SCOPED_TRACE(name.toStdString());
        QImageReader reader(BuiltPath(name));
        const QByteArray expected = name.section('.', -1).toLatin1();
        EXPECT_EQ(reader.format(), expected);  // read from the content, not the name
        const QImage image = reader.read();
        EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    }
}

TEST(BuiltPictures, TheBuildInstallsExactlyWhatTheGeneratorDraws) {
    QStringList drawn;
    for (const assets::Picture& picture : assets::AllPictures()) {
        drawn << picture.path;
    }
    QStringList listed = QString::fromUtf8(QARV_PICTURE_FILES).split(',');
    drawn.sort();
    listed.sort();
    EXPECT_EQ(drawn, listed);
    EXPECT_EQ(drawn.removeDuplicates(), 0);
    for (const QString& name : kNamedByTheWindows) {
        EXPECT_TRUE(listed.contains(name)) << name.toStdString();
    }
}

struct StripSize {
    const char* name;
    int frames;
    int frameWidth;   // 0: any width
    int frameHeight;  // 0: any height
};

// Frame sizes are the sizes the windows draw them at, so nothing is stretched.
const StripSize kStrips[] = {
    {"Skin/sysbtn_close.png", 4, 46, 26},   {"Skin/sysbtn_min.png", 4, 31, 26},
    {"Skin/btn_share.png", 4, 25, 25},      {"Skin/btn_collect_yes.png", 4, 25, 25},
    {"Skin/btn_collect_no.png", 4, 25, 25}, {"Skin/btn_delete.png", 4, 25, 25},
    {"Skin/menu_save.png", 4, 21, 21},      {"Skin/menu_close.png", 4, 21, 21},
    {"Skin/menu_finish.png", 4, 48, 21},    {"Skin/Button.png", 4, 0, 0},
    {"Skin/frame.png", 2, 69, 69},
};

TEST(BuiltPictures, StripsSplitIntoEqualFramesOfTheDrawnSize) {
    for (const StripSize& strip : kStrips) {
        SCOPED_TRACE(strip.name);
        const QImage image = LoadBuilt(strip.name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width() % strip.frames, 0);
        if (strip.frameWidth != 0) {
            EXPECT_EQ(image.width() / strip.frames, strip.frameWidth);
            EXPECT_EQ(image.height(), strip.frameHeight);
        }
    }
    // The captioned button is drawn at 50 x 25 up to 80 x 30; its frame keeps that shape.
    const QImage button = LoadBuilt("Skin/Button.png");
    const double ratio = button.width() / 4.0 / button.height();
    EXPECT_GE(button.height(), 24);
    EXPECT_GT(ratio, 2.0);
    EXPECT_LT(ratio, 2.8);
}

// Reads the bit count of a BMP file's information header.
int BmpBitCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray header = file.read(30);
    if (header.size() < 30 || !header.startsWith("BM")) {
        return -1;
    }
    return static_cast<unsigned char>(header[28]) | (static_cast<unsigned char>(header[29]) << 8);
}

TEST(BuiltPictures, ComboBitmapsArePlainBitmapsHoldingEveryPiece) {
    const QImage frame = LoadBuilt("Skin/combobox.bmp");
    EXPECT_GE(frame.width(), 127);  // the right edge is cut at x 125, two wide
    EXPECT_GE(frame.height(), 28);
    const QImage thumb = LoadBuilt("Skin/combobox_thumb.bmp");
    EXPECT_EQ(thumb.size(), QSize(63, 21));
    // Plain 24-bit bitmaps, as every bitmap loader reads them.
    EXPECT_EQ(BmpBitCount(BuiltPath("Skin/combobox.bmp")), 24);
    EXPECT_EQ(BmpBitCount(BuiltPath("Skin/combobox_thumb.bmp")), 24);
}

TEST(BuiltPictures, ComboEdgePiecesStretchWithoutSmearing) {
    const QImage frame = LoadBuilt("Skin/combobox.bmp").convertToFormat(QImage::Format_RGB32);
    // The top (18 x 3 at 2,0) and bottom (18 x 4 at 2,24) pieces are stretched along the
    // width: each of their rows must be one colour.
    for (const int row : {0, 1, 2, 24, 25, 26, 27}) {
        for (int x = 3; x < 20; ++x) {
            EXPECT_EQ(frame.pixel(x, row), frame.pixel(2, row)) << "row " << row << " x " << x;
        }
    }
    // The side pieces carry an outline that the inside does not have.
    EXPECT_NE(frame.pixel(0, 14), frame.pixel(60, 14));
    EXPECT_NE(frame.pixel(126, 14), frame.pixel(60, 14));
    EXPECT_NE(frame.pixel(60, 0), frame.pixel(60, 14));
}

TEST(BuiltPictures, TabPicturesFitAboveTheTabTextAndAreSeeThrough) {
    for (const char* name : {"Skin/record.png", "Skin/myrecord.png", "Skin/myshare.png"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadBuilt(name);
        // Item 69 x 69: the picture starts 4 pixels down and the bottom 20 pixels hold the text.
        EXPECT_LE(image.width(), 69);
        EXPECT_LE(image.height(), 69 - 4 - 20);
        EXPECT_GE(image.height(), 32);
        EXPECT_TRUE(CornersTransparent(image));
        EXPECT_GT(OpaqueShare(image), 0.15);  // there is a sign to see
    }
}

TEST(BuiltPictures, TabFrameOverlaysTheItemWithoutHidingIt) {
    const std::vector<QImage> frames = Frames(LoadBuilt("Skin/frame.png"), 2);
    for (const QImage& frame : frames) {
        EXPECT_LT(qAlpha(frame.pixel(34, 30)), 128);  // the tab picture shows through
        bool rim = false;
        for (int y = 0; y < 69 && !rim; ++y) {
            rim = qAlpha(frame.pixel(2, y)) > 60;
        }
        EXPECT_TRUE(rim);
    }
    EXPECT_NE(frames[0], frames[1]);
}

TEST(BuiltPictures, TitleBandCoversTheWindowWidth) {
    const QImage background = LoadBuilt("Skin/background.png");
    EXPECT_EQ(background.height(), 96);  // the page area starts 96 pixels down
    EXPECT_GE(background.width(), 900);
    EXPECT_EQ(OpaqueShare(background), 1.0);
    const QImage highlight = LoadBuilt("Skin/mainframe_top_highlight.png");
    EXPECT_EQ(highlight.height(), 96);
    EXPECT_EQ(highlight.width(), background.width());
    EXPECT_LT(qAlpha(highlight.pixel(highlight.width() / 2, 60)), 32);  // the band shows through
}

TEST(BuiltPictures, IconsAreSquareAndSeeThroughAtTheCorners) {
    const QImage titleIcon = LoadBuilt("Skin/record_ico.png");
    EXPECT_EQ(titleIcon.size(), QSize(16, 16));  // drawn at 16 x 16
    EXPECT_TRUE(CornersTransparent(titleIcon));

    QImageReader reader(BuiltPath("Icon/QarvRecorder.ico"));
    const QImage programIcon = reader.read();
    ASSERT_FALSE(programIcon.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(programIcon.width(), programIcon.height());
    EXPECT_GE(programIcon.width(), 32);
    EXPECT_TRUE(programIcon.hasAlphaChannel());
    EXPECT_TRUE(CornersTransparent(programIcon));

    EXPECT_TRUE(CornersTransparent(LoadBuilt("Icon/logo.png")));
}

TEST(BuiltPictures, ButtonsWithRoundCornersLetTheirBackgroundShow) {
    for (const char* name :
         {"Skin/Button.png", "Skin/btn_share.png", "Skin/btn_collect_yes.png", "Skin/btn_collect_no.png",
          "Skin/btn_delete.png", "Skin/menu_save.png", "Skin/menu_close.png", "Skin/menu_finish.png"}) {
        for (const QImage& frame : Frames(LoadBuilt(name), 4)) {
            EXPECT_TRUE(CornersTransparent(frame)) << name;
        }
    }
}

TEST(BuiltPictures, CoverLayerDarkensEvenlyWhereverItIsTiled) {
    const QImage cover = LoadBuilt("Skin/cover_layer.png").convertToFormat(QImage::Format_ARGB32);
    const QRgb first = cover.pixel(0, 0);
    EXPECT_GT(qAlpha(first), 64);   // the unselected screen is visibly darker
    EXPECT_LT(qAlpha(first), 224);  // but still visible
    // Bands tile it from their own corners: any pattern would show seams between them.
    for (int y = 0; y < cover.height(); ++y) {
        for (int x = 0; x < cover.width(); ++x) {
            ASSERT_EQ(cover.pixel(x, y), first) << x << "," << y;
        }
    }
}

TEST(BuiltPictures, MenuBarBackgroundLeavesContentInsideItsEdge) {
    const QImage bar = LoadBuilt("Skin/menubar.png");
    ASSERT_GT(bar.width(), 2);
    ASSERT_GT(bar.height(), 2);
    // Drawn without its outer pixel over the 102 x 27 bar; that inside is solid.
    EXPECT_EQ(OpaqueShare(bar.copy(1, 1, bar.width() - 2, bar.height() - 2)), 1.0);
}

TEST(BuiltPictures, PromptPanelHoldsTheLongestInstructionsInReadableWhite) {
    const QImage panel = LoadBuilt("Skin/prompt_back.png");
    // The panel is drawn over white and sizes the window: it must be solid.
    EXPECT_EQ(OpaqueShare(panel), 1.0);
    // Eleven lines from y 5 in the bold 9-point face, the widest one included.
    QFont font;
    font.setFamilies({"SimSun", "WenQuanYi Zen Hei", "Noto Sans CJK SC"});
    font.setPointSize(9);
    font.setBold(true);
    const QFontMetrics metrics(font);
    EXPECT_LE(5 + 11 * metrics.lineSpacing(), panel.height());
    EXPECT_LE(metrics.horizontalAdvance(QString::fromUtf8("  按Enter键保存图像，并退出")), panel.width());
    EXPECT_LE(82 + metrics.horizontalAdvance("(255,255,255)"), panel.width());
    // White text on the body of the panel.
    const QColor body = MeanOpaqueColor(panel, QRect(0, 30, panel.width(), panel.height() - 30));
    EXPECT_GE(ContrastRatio(Qt::white, body), 7.0);
}

TEST(BuiltPictures, NoThumbnailStandInHasThePreviewShape) {
    const QImage image = LoadBuilt("Skin/default_jpeg.png");
    EXPECT_EQ(image.width() * 3, image.height() * 4);  // rows and preview show 4:3
    EXPECT_GE(image.width(), 580);                     // the preview is 580 x 435: not enlarged
    EXPECT_EQ(OpaqueShare(image), 1.0);
}

struct CursorLook {
    const char* name;
    std::vector<QPoint> dark;   // offsets from the hot spot the black shape covers
    std::vector<QPoint> clear;  // offsets left see-through
};

// Shafts along the cursor's directions, heads at their ends, nothing across.
const CursorLook kCursors[] = {
    {"Skin/cursor_150.png", {{10, 0}, {-10, 0}, {0, 10}, {0, -10}}, {{9, 3}, {-3, -9}, {8, 8}}},
    {"Skin/cursor_151.png", {{10, 0}, {-10, 0}, {0, 10}, {0, -10}, {9, 3}, {-3, -9}}, {{8, 8}, {-8, 8}}},
    {"Skin/cursor_152.png", {{10, 0}, {-10, 0}, {9, 3}, {-9, -3}}, {{0, 10}, {0, -10}}},
    {"Skin/cursor_153.png", {{8, 8}, {-8, -8}, {10, 4}, {-4, -10}}, {{8, -8}, {-8, 8}}},
    {"Skin/cursor_154.png", {{8, -8}, {-8, 8}, {10, -4}, {-4, 10}}, {{8, 8}, {-8, -8}}},
    {"Skin/cursor_155.png", {{0, 10}, {0, -10}, {3, 9}, {-3, -9}}, {{10, 0}, {-10, 0}}},
};

bool Dark(const QImage& image, QPoint at) {
    const QRgb pixel = image.pixel(at);
    return qAlpha(pixel) == 255 && Luminance(QColor(pixel)) < 0.05;
}

TEST(BuiltPictures, CursorsAreCrispOutlinedShapesAroundTheirHotSpot) {
    for (const CursorLook& cursor : kCursors) {
        SCOPED_TRACE(cursor.name);
        const QImage image = LoadBuilt(cursor.name).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(32, 32));
        // Read back from the file: the generator's writer must keep the text keys.
        const QPoint hot(image.text("HotSpotX").toInt(), image.text("HotSpotY").toInt());
        ASSERT_TRUE(image.text("HotSpotY").size() > 0 && QRect(10, 10, 12, 12).contains(hot));
        EXPECT_TRUE(Dark(image, hot));
        EXPECT_LT(OpaqueShare(image), 0.5);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                ASSERT_TRUE(alpha == 0 || alpha == 255) << x << "," << y;  // no soft edges
                if (Dark(image, QPoint(x, y))) {
                    // Ringed by opaque pixels, so it also shows on a black screen.
                    const QRect ring(x - 1, y - 1, 3, 3);
                    ASSERT_TRUE(image.rect().contains(ring));
                    EXPECT_EQ(OpaqueShare(image.copy(ring)), 1.0) << x << "," << y;
                }
            }
        }
        for (const QPoint offset : cursor.dark) {
            EXPECT_TRUE(Dark(image, hot + offset)) << "dark at " << offset.x() << "," << offset.y();
        }
        for (const QPoint offset : cursor.clear) {
            EXPECT_EQ(qAlpha(image.pixel(hot + offset)), 0) << "clear at " << offset.x() << "," << offset.y();
        }
    }
}

}  // namespace
}  // namespace qarv::test
