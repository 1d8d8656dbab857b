#pragma once
// Helpers for the skinned-control tests: the application object (made once for the whole
// run, offscreen unless a platform is set), images written to disk, rendering and waiting.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace qarv::test {

// Processes events until done() is true or timeoutMs have passed; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A horizontal strip of frames, each filled with one colour (colours may be transparent).
QImage MakeStrip(const std::vector<QColor>& colors, int frameWidth, int height);

// Writes an image to a file in the format its suffix names; false on failure.
bool SaveImage(const QImage& image, const QString& path);

// The widget as painted over a background of `under` (what the parent would show); a
// window's own background is left out.
QImage RenderOver(QWidget& widget, const QColor& under);

// Colours equal per channel within `tolerance` (fills at alpha 254 blend by one step).
bool NearColor(const QColor& actual, const QColor& expected, int tolerance = 1);

// Delivers a left-button release straight to the widget at `pos`, without the pointer
// move that Qt's window system path puts before a release at a new place.
void SendLeftRelease(QWidget* widget, const QPoint& pos);

// A shown top-level window of the given size for mouse and keyboard tests.
std::unique_ptr<QWidget> MakeShownHost(int width, int height);

}  // namespace qarv::test
