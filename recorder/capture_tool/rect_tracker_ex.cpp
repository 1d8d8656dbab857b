#include "recorder/capture_tool/rect_tracker_ex.h"

#include "controls/skin_cursor.h"

namespace qarv {
namespace {

enum CursorIndex { kMove, kLeftRight, kFallingDiagonal, kRisingDiagonal, kTopBottom };

CursorIndex CursorFor(TrackerHit hit) {
    switch (hit) {
        case kHitTopLeft:
        case kHitBottomRight:
            return kFallingDiagonal;
        case kHitTopRight:
        case kHitBottomLeft:
            return kRisingDiagonal;
        case kHitTop:
        case kHitBottom:
            return kTopBottom;
        case kHitLeft:
        case kHitRight:
            return kLeftRight;
        default:
            return kMove;
    }
}

}  // namespace

CRectTrackerEx::CRectTrackerEx(int handleSize)
    : geometry_(handleSize),
      cursors_{LoadSkinCursor(151, Qt::SizeAllCursor), LoadSkinCursor(152, Qt::SizeHorCursor),
               LoadSkinCursor(153, Qt::SizeFDiagCursor), LoadSkinCursor(154, Qt::SizeBDiagCursor),
               LoadSkinCursor(155, Qt::SizeVerCursor)} {}

void CRectTrackerEx::Draw(QPainter& painter) const {
    const Rect r = geometry_.rect().Normalized();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Color(), kBorderWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    // The pen is centred on the path: the path one pixel outside the rectangle keeps the
    // selected pixels themselves uncovered but for the border's inner pixel line.
    painter.drawRect(QRect(r.left - 1, r.top - 1, r.Width() + 1, r.Height() + 1));
    for (int hit = kHitTopLeft; hit <= kHitLeft; ++hit) {
        const auto handle = static_cast<TrackerHit>(hit);
        if (!geometry_.HandleShown(handle))
            continue;
        const Rect h = geometry_.HandleRect(handle);
        painter.fillRect(QRect(h.left, h.top, h.Width(), h.Height()), Color());
    }
    painter.restore();
}

bool CRectTrackerEx::CursorAt(Point p, QCursor* cursor) const {
    const TrackerHit hit = geometry_.HitTest(p);
    if (hit == kHitNothing)
        return false;
    *cursor = cursors_[CursorFor(hit)];
    return true;
}

bool CRectTrackerEx::BeginTrack(Point p) {
    const TrackerHit hit = geometry_.HitTest(p);
    if (hit == kHitNothing)
        return false;
    geometry_.BeginDrag(hit, p);
    tracking_ = true;
    return true;
}

bool CRectTrackerEx::TrackTo(Point p, Size screen) {
    if (!tracking_)
        return false;
    const Rect before = geometry_.rect();
    geometry_.DragTo(p, screen);
    return !(geometry_.rect() == before);
}

}  // namespace qarv
