// Cursors of the capture tool: 32 x 32 pictures of 1-pixel black shapes ringed by a 1-pixel
// white outline, so they show on dark and light screens alike. Drawn pixel by pixel (no
// antialiasing) to stay crisp; every shape is point-symmetric about the hot spot.

#include <array>

#include "assets/pictures.h"

namespace qarv::assets {
namespace {

constexpr int kSize = 32;
constexpr int kHot = 15;  // hot spot, both coordinates

// The black pixels of a cursor; the outline and the transparent rest follow from them.
class Shape {
  public:
    void Set(int x, int y) {
        if (x >= 0 && x < kSize && y >= 0 && y < kSize) {
            pixels_[y * kSize + x] = true;
        }
    }
    bool At(int x, int y) const {
        return x >= 0 && x < kSize && y >= 0 && y < kSize && pixels_[y * kSize + x];
    }

    // A straight run of pixels from one point to another along an axis or a 45-degree diagonal.
    void Line(QPoint from, QPoint to) {
        const QPoint step((to.x() > from.x()) - (to.x() < from.x()),
                          (to.y() > from.y()) - (to.y() < from.y()));
        for (QPoint point = from; point != to; point += step) {
            Set(point.x(), point.y());
        }
        Set(to.x(), to.y());
    }

    // A filled arrow head with a right angle at tip, pointing along (dx, dy) (each -1, 0 or 1)
    // and reaching `length` pixels back from the tip.
    void Head(QPoint tip, int dx, int dy, int length) {
        for (int y = tip.y() - length; y <= tip.y() + length; ++y) {
            for (int x = tip.x() - length; x <= tip.x() + length; ++x) {
                if (InHead(tip.x() - x, tip.y() - y, dx, dy, length)) {
                    Set(x, y);
                }
            }
        }
    }

    // A shaft between two tips with a head at each end.
    void DoubleArrow(QPoint tip, QPoint otherTip, int length) {
        const int dx = (tip.x() > otherTip.x()) - (tip.x() < otherTip.x());
        const int dy = (tip.y() > otherTip.y()) - (tip.y() < otherTip.y());
        Line(tip, otherTip);
        Head(tip, dx, dy, length);
        Head(otherTip, -dx, -dy, length);
    }

    // Black shape, white ring around it (the 8 neighbours of every black pixel), transparent rest.
    QImage Render() const {
        QImage image(kSize, kSize, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                if (At(x, y)) {
                    image.setPixel(x, y, qRgba(0, 0, 0, 255));
                } else if (TouchesShape(x, y)) {
                    image.setPixel(x, y, qRgba(255, 255, 255, 255));
                }
            }
        }
        image.setText(QStringLiteral("HotSpotX"), QString::number(kHot));
        image.setText(QStringLiteral("HotSpotY"), QString::number(kHot));
        return image;
    }

  private:
    // (backX, backY): how far a pixel lies behind the tip, per axis.
    static bool InHead(int backX, int backY, int dx, int dy, int length) {
        const int alongX = backX * dx;
        const int alongY = backY * dy;
        if (dx != 0 && dy != 0) {  // diagonal: legs along both axes
            return alongX >= 0 && alongY >= 0 && alongX + alongY <= length;
        }
        const int along = dx != 0 ? alongX : alongY;
        const int across = dx != 0 ? backY : backX;
        return along >= 0 && along < length && across >= -along && across <= along;
    }

    bool TouchesShape(int x, int y) const {
        for (int ny = y - 1; ny <= y + 1; ++ny) {
            for (int nx = x - 1; nx <= x + 1; ++nx) {
                if (At(nx, ny)) {
                    return true;
                }
            }
        }
        return false;
    }

    std::array<bool, kSize * kSize> pixels_{};
};

constexpr int kAxisHead = 5;      // straight arrows: head 5 deep, 9 wide
constexpr int kDiagonalHead = 6;  // diagonal arrows: legs 7 long
constexpr int kReach = 12;        // straight arrow tips, from the hot spot
constexpr int kDiagonalReach = 10;

}  // namespace

QImage DrawCaptureCursor() {
    Shape shape;
    shape.Line(QPoint(kHot - 13, kHot), QPoint(kHot + 13, kHot));
    shape.Line(QPoint(kHot, kHot - 13), QPoint(kHot, kHot + 13));
    return shape.Render();
}

QImage DrawMoveCursor() {
    Shape shape;
    shape.DoubleArrow(QPoint(kHot + kReach, kHot), QPoint(kHot - kReach, kHot), kAxisHead - 1);
    shape.DoubleArrow(QPoint(kHot, kHot + kReach), QPoint(kHot, kHot - kReach), kAxisHead - 1);
    return shape.Render();
}

QImage DrawSizeHorizontalCursor() {
    Shape shape;
    shape.DoubleArrow(QPoint(kHot + kReach, kHot), QPoint(kHot - kReach, kHot), kAxisHead);
    return shape.Render();
}

QImage DrawSizeDiagonalCursor() {
    Shape shape;
    shape.DoubleArrow(QPoint(kHot + kDiagonalReach, kHot + kDiagonalReach),
                      QPoint(kHot - kDiagonalReach, kHot - kDiagonalReach), kDiagonalHead);
    return shape.Render();
}

QImage DrawSizeAntiDiagonalCursor() {
    Shape shape;
    shape.DoubleArrow(QPoint(kHot + kDiagonalReach, kHot - kDiagonalReach),
                      QPoint(kHot - kDiagonalReach, kHot + kDiagonalReach), kDiagonalHead);
    return shape.Render();
}

QImage DrawSizeVerticalCursor() {
    Shape shape;
    shape.DoubleArrow(QPoint(kHot, kHot + kReach), QPoint(kHot, kHot - kReach), kAxisHead);
    return shape.Render();
}

}  // namespace qarv::assets
