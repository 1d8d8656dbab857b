#pragma once
// Painting steps shared by the skinned controls: reading a skin image, drawing one frame of
// a horizontal image strip stretched over a rectangle, and the focus rectangle. Called on
// the UI thread.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QWidget>

namespace qarv {

// The image of a file; a null image when the path is empty or the file cannot be read.
QImage LoadSkinImage(const QString& path);

// The part of an image strip of frameCount equal frames (image width / frameCount,
// integer division, full height) that shows frame `frame`; empty when the frame lies
// outside the strip or the strip is too narrow to hold a frame.
QRect StripFrameSource(const QSize& imageSize, int frame, int frameCount);

// Draws that frame of `strip` stretched over `target`; draws nothing for a null image or an
// empty frame.
void DrawStripFrame(QPainter& painter, const QImage& strip, int frame, int frameCount, const QRect& target);

// The dotted focus rectangle inside `rect`.
void DrawFocusFrame(QPainter& painter, const QWidget& widget, const QRect& rect);

// True when the widget takes part in tab navigation: such a control takes the focus on a
// click and shows the focus rectangle while it has the focus.
bool TakesTabFocus(const QWidget& widget);

}  // namespace qarv
