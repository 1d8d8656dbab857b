#include "tests/assets/picture_checks.h"

#include <QDir>
#include <algorithm>
#include <cmath>

namespace qarv::test {
namespace {

double Linear(int channel) {
    const double value = channel / 255.0;
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

template <typename Visit>
void ForOpaque(const QImage& image, const QRect& rect, Visit visit) {
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    const QRect area = rect.intersected(plain.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            if (qAlpha(pixel) >= 128) {
                visit(pixel);
            }
        }
    }
}

}  // namespace

QString BuiltPath(const QString& relativePath) {
    return QDir(QStringLiteral(QARV_PICTURES_DIR)).filePath(relativePath);
}

QImage LoadBuilt(const QString& relativePath) {
    return QImage(BuiltPath(relativePath));
}

std::vector<QImage> Frames(const QImage& strip, int count) {
    std::vector<QImage> frames;
    const int width = strip.width() / count;
    for (int index = 0; index < count; ++index) {
        frames.push_back(strip.copy(index * width, 0, width, strip.height()));
    }
    return frames;
}

double Luminance(const QColor& color) {
    return 0.2126 * Linear(color.red()) + 0.7152 * Linear(color.green()) + 0.0722 * Linear(color.blue());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double first = Luminance(a) + 0.05;
    const double second = Luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

QColor MeanOpaqueColor(const QImage& image, const QRect& rect) {
    double red = 0, green = 0, blue = 0;
    int count = 0;
    ForOpaque(image, rect, [&](QRgb pixel) {
        red += qRed(pixel);
        green += qGreen(pixel);
        blue += qBlue(pixel);
        ++count;
    });
    if (count == 0) {
        return QColor();
    }
    return QColor(static_cast<int>(red / count), static_cast<int>(green / count),
                  static_cast<int>(blue / count));
}

double LuminanceSpread(const QImage& image) {
    std::vector<double> values;
    ForOpaque(image, image.rect(), [&](QRgb pixel) { values.push_back(Luminance(QColor(pixel))); });
    if (values.empty()) {
        return 0.0;
    }
    double mean = 0.0;
    for (const double value : values) {
        mean += value;
    }
    mean /= values.size();
    double variance = 0.0;
    for (const double value : values) {
        variance += (value - mean) * (value - mean);
    }
    return std::sqrt(variance / values.size());
}

int MaxSaturation(const QImage& image) {
    int most = 0;
    ForOpaque(image, image.rect(), [&](QRgb pixel) {
        const int high = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
        const int low = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
        most = std::max(most, high - low);
    });
    return most;
}

bool CornersTransparent(const QImage& image) {
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    return qAlpha(image.pixel(0, 0)) == 0 && qAlpha(image.pixel(right, 0)) == 0 &&
           qAlpha(image.pixel(0, bottom)) == 0 && qAlpha(image.pixel(right, bottom)) == 0;
}

double OpaqueShare(const QImage& image) {
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    long opaque = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            opaque += qAlpha(plain.pixel(x, y)) == 255 ? 1 : 0;
        }
    }
    return static_cast<double>(opaque) / (static_cast<double>(plain.width()) * plain.height());
}

}  // namespace qarv::test
