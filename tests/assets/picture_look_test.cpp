// How the button pictures behave as the controls use them: the caption reads on them, the
// states look different in the intended direction, and drawing is repeatable.

#include <gtest/gtest.h>

#include <QPainter>
#include <cstdlib>

#include "assets/pictures.h"
#include "tests/assets/picture_checks.h"

namespace qarv::test {
namespace {

const char* const kFourFrameStrips[] = {
    "Skin/Button.png",          "Skin/sysbtn_close.png",   "Skin/sysbtn_min.png", "Skin/btn_share.png",
    "Skin/btn_collect_yes.png", "Skin/btn_collect_no.png", "Skin/btn_delete.png", "Skin/menu_save.png",
    "Skin/menu_close.png",      "Skin/menu_finish.png"};

// The caption colour the buttons draw over their picture.
const QColor kCaption(159, 239, 255);

TEST(PictureLook, EveryStateOfEveryStripLooksDifferent) {
    for (const char* name : kFourFrameStrips) {
        SCOPED_TRACE(name);
        const std::vector<QImage> frames = Frames(LoadBuilt(name), 4);
        for (int a = 0; a < 4; ++a) {
            for (int b = a + 1; b < 4; ++b) {
                EXPECT_NE(frames[a], frames[b]) << "frames " << a << " and " << b;
            }
        }
    }
    const std::vector<QImage> thumb = Frames(LoadBuilt("Skin/combobox_thumb.bmp"), 3);
    EXPECT_NE(thumb[0], thumb[1]);
    EXPECT_NE(thumb[1], thumb[2]);
    EXPECT_NE(thumb[0], thumb[2]);
}

TEST(PictureLook, CaptionReadsOnEveryButtonFrame) {
    const std::vector<QImage> frames = Frames(LoadBuilt("Skin/Button.png"), 4);
    const QSize size = frames[0].size();
    // Where the caption goes: the middle half of the frame.
    const QRect middle(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2);
    for (int state = 0; state < 3; ++state) {
        EXPECT_GE(ContrastRatio(kCaption, MeanOpaqueColor(frames[state], middle)), 4.5) << "state " << state;
    }
    EXPECT_GE(ContrastRatio(kCaption, MeanOpaqueColor(frames[3], middle)), 3.0) << "disabled";
}

TEST(PictureLook, HoverIsLighterAndPressedDarker) {
    for (const char* name : {"Skin/Button.png", "Skin/btn_share.png", "Skin/menu_save.png"}) {
        SCOPED_TRACE(name);
        const std::vector<QImage> frames = Frames(LoadBuilt(name), 4);
        const QRect all = frames[0].rect();
        const double normal = Luminance(MeanOpaqueColor(frames[0], all));
        EXPECT_GT(Luminance(MeanOpaqueColor(frames[1], all)), normal);
        EXPECT_LT(Luminance(MeanOpaqueColor(frames[2], all)), normal);
    }
    const std::vector<QImage> thumb = Frames(LoadBuilt("Skin/combobox_thumb.bmp"), 3);
    const QRect inner(3, 3, 15, 15);
    EXPECT_GT(Luminance(MeanOpaqueColor(thumb[1], inner)), Luminance(MeanOpaqueColor(thumb[0], inner)));
    EXPECT_LT(Luminance(MeanOpaqueColor(thumb[2], inner)), Luminance(MeanOpaqueColor(thumb[0], inner)));
}

TEST(PictureLook, DisabledFramesAreQuieterThanNormal) {
    for (const char* name : kFourFrameStrips) {
        SCOPED_TRACE(name);
        const std::vector<QImage> frames = Frames(LoadBuilt(name), 4);
        EXPECT_LT(LuminanceSpread(frames[3]), LuminanceSpread(frames[0]));
    }
    // Captioned and tile buttons turn grey.
    for (const char* name : {"Skin/Button.png", "Skin/btn_collect_yes.png", "Skin/menu_finish.png"}) {
        EXPECT_LE(MaxSaturation(Frames(LoadBuilt(name), 4)[3]), 2) << name;
    }
}

// Centre of the light glyph pixels of a dark tile.
double GlyphCentreY(const QImage& frame) {
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            if (qAlpha(pixel) > 200 && Luminance(QColor(pixel)) > 0.3) {
                sum += y;
                ++count;
            }
        }
    }
    return count == 0 ? -1.0 : sum / count;
}

TEST(PictureLook, PressedGlyphSitsLower) {
    for (const char* name : {"Skin/btn_share.png", "Skin/btn_delete.png", "Skin/menu_close.png"}) {
        const std::vector<QImage> frames = Frames(LoadBuilt(name), 4);
        const double normal = GlyphCentreY(frames[0]);
        ASSERT_GT(normal, 0.0) << name;
        EXPECT_NEAR(GlyphCentreY(frames[2]) - normal, 1.0, 0.35) << name;
    }
}

TEST(PictureLook, SystemButtonsContinueTheTitleBand) {
    // The normal frames repeat the band (and its highlight) under them, so they look the same
    // whether or not the window shows through the button.
    QImage band = LoadBuilt("Skin/background.png").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&band);
        painter.drawImage(0, 0, LoadBuilt("Skin/mainframe_top_highlight.png"));
    }
    for (const char* name : {"Skin/sysbtn_close.png", "Skin/sysbtn_min.png"}) {
        const QImage normal = Frames(LoadBuilt(name), 4)[0].convertToFormat(QImage::Format_ARGB32);
        for (const int row : {4, 12, 24}) {
            const QColor expected(band.pixel(band.width() - 3, row));
            const QColor seen(normal.pixel(1, row));
            EXPECT_LE(std::abs(expected.red() - seen.red()) + std::abs(expected.green() - seen.green()) +
                          std::abs(expected.blue() - seen.blue()),
                      3)
                << name << " row " << row;
        }
    }
}

TEST(PictureLook, DrawingIsRepeatable) {
    for (const assets::Picture& picture : assets::AllPictures()) {
        EXPECT_EQ(picture.draw(), picture.draw()) << picture.path.toStdString();
    }
}

}  // namespace
}  // namespace qarv::test
