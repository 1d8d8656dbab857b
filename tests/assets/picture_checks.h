#pragma once
// Measurements the asset tests make on pictures: frames of a strip, luminance and contrast,
// corner transparency. Used by one thread at a time.

#include <QColor>
#include <QImage>
#include <QString>
#include <vector>

namespace qarv::test {

// The built picture at a path relative to the build's picture folder ("Skin/Button.png").
QImage LoadBuilt(const QString& relativePath);
QString BuiltPath(const QString& relativePath);

// The count equal frames of a horizontal strip, left to right.
std::vector<QImage> Frames(const QImage& strip, int count);

// WCAG relative luminance (0 black .. 1 white) and the contrast ratio of two colours (1..21).
double Luminance(const QColor& color);
double ContrastRatio(const QColor& a, const QColor& b);

// Mean colour of the pixels inside rect whose alpha is at least 128, composed over nothing.
QColor MeanOpaqueColor(const QImage& image, const QRect& rect);
// Standard deviation of the luminance of the opaque pixels (how much the picture shows).
double LuminanceSpread(const QImage& image);
// Largest difference between colour channels over the opaque pixels (0 for pure greys).
int MaxSaturation(const QImage& image);

// The alpha of the four corner pixels are all zero.
bool CornersTransparent(const QImage& image);
// Fraction of the pixels with alpha 255.
double OpaqueShare(const QImage& image);

}  // namespace qarv::test
