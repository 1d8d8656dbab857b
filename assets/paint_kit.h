#pragma once
// The theme shared by the installation's pictures (dark teal with a cyan accent, laid on the
// page colour) and the small drawing helpers every picture family uses: blank canvases,
// four-frame button strips, the greyed disabled look and a CJK-capable font. Used by one
// thread at a time (needs a QGuiApplication for fonts).

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>

namespace qarv::assets {

// The frames of a skinned button strip, in strip order.
enum class Frame { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

namespace theme {
inline constexpr QRgb kPage = qRgb(100, 150, 150);       // page background of the windows
inline constexpr QRgb kRow = qRgb(188, 230, 200);        // video rows and the capture menu bar
inline constexpr QRgb kBarFrame = qRgb(108, 220, 188);   // capture menu bar outline
inline constexpr QRgb kCaption = qRgb(159, 239, 255);    // caption the buttons draw over their picture
inline constexpr QRgb kAccent = qRgb(38, 214, 200);      // cyan accent: selection, highlights
inline constexpr QRgb kGlyph = qRgb(226, 250, 250);      // light glyphs on dark tiles
inline constexpr QRgb kRecord = qRgb(236, 62, 58);       // the record dot
inline constexpr QRgb kBandTop = qRgb(10, 34, 40);       // title band, top row
inline constexpr QRgb kBandBottom = qRgb(26, 78, 84);    // title band, bottom row
inline constexpr QRgb kFieldFill = qRgb(250, 253, 253);  // inside of a combo box
}  // namespace theme

// Colours of one button tile (the dark teal plate the skinned buttons share).
struct TileColors {
    QColor top;
    QColor bottom;
    QColor border;
    QColor shine;  // the thin light line under the top edge
};

// The tile colours of a frame; kDisabled gives the normal ones (strips grey that frame afterwards).
TileColors TealTile(Frame frame);

// A fully transparent premultiplied ARGB canvas.
QImage Canvas(int width, int height);

// Antialiased painter on an image.
void PrepareSmooth(QPainter& painter);

// Vertical two-stop gradient over a rectangle.
QLinearGradient Vertical(const QRectF& rect, const QColor& top, const QColor& bottom);

// A rounded dark-teal tile filling rect, with its border and shine; pressed tiles show the
// shine at the bottom (lit from below, as if pushed in).
void DrawTile(QPainter& painter, const QRectF& rect, qreal radius, Frame frame);

using FramePainter = std::function<void(QPainter& painter, const QRectF& frame, Frame state)>;

// How the disabled frame of a strip is made: the normal frame greyed, or painted like the others.
enum class DisabledLook { kGreyedNormal, kPainted };

// Four frames of the given size side by side: normal, hover, pressed, disabled. The painter is
// clipped to each frame and its origin is the frame's top left corner.
QImage FourFrameStrip(QSize frame, const FramePainter& paint,
                      DisabledLook disabled = DisabledLook::kGreyedNormal);

// The image desaturated and flattened towards mid grey, slightly faded: the disabled look.
QImage Greyed(const QImage& image);

// The title band of the main window (its background picture) painted over band, whose height is
// the band's full height; painting a smaller clip of it gives the same rows. The highlight is the
// gloss and the accent line laid over the band. Both are uniform along a row, so the pictures
// can be stretched to any width.
void PaintTitleBand(QPainter& painter, const QRectF& band);
void PaintTitleHighlight(QPainter& painter, const QRectF& band);
inline constexpr int kTitleBandHeight = 96;

// A font with Chinese glyphs when one is installed (sans, pixel size), and whether it can
// draw every character of text.
QFont CjkFont(int pixelSize, bool bold);
bool CanDraw(const QFont& font, const QString& text);

}  // namespace qarv::assets
