#pragma once
// The screenshot tool's selection on the screen: draws the rectangle with its border and
// handles, shows the cursor that belongs to the handle under the pointer, and follows a drag
// of a handle or of the whole rectangle. The geometry itself is RectTrackerGeometry.
// Called on the UI thread.

#include <QColor>
#include <QCursor>
#include <QPainter>
#include <array>

#include "recorder/capture_tool/tracker_geometry.h"

namespace qarv {

class CRectTrackerEx {
  public:
    static QColor Color() { return QColor(10, 255, 130); }
    static constexpr int kBorderWidth = 3;

    explicit CRectTrackerEx(int handleSize = RectTrackerGeometry::kDefaultHandleSize);

    RectTrackerGeometry& Geometry() { return geometry_; }
    const RectTrackerGeometry& Geometry() const { return geometry_; }
    const Rect& rect() const { return geometry_.rect(); }
    void SetRect(const Rect& rect) { geometry_.SetRect(rect); }
    TrackerHit HitTest(Point p) const { return geometry_.HitTest(p); }

    // The border, 3 pixels wide around the rectangle grown by 1, and the shown handles.
    void Draw(QPainter& painter) const;
    // The cursor over a handle or inside; false (cursor untouched) elsewhere.
    bool CursorAt(Point p, QCursor* cursor) const;

    // A drag from `p`: starts when `p` is on a handle or inside. Handles may pass the
    // opposite edge; the whole rectangle stays on the screen.
    bool BeginTrack(Point p);
    bool Tracking() const { return tracking_; }
    // Follows the pointer; true when the rectangle changed.
    bool TrackTo(Point p, Size screen);
    // Ends the drag (release, Esc or the right button): the rectangle stays where it was drawn.
    void EndTrack() { tracking_ = false; }

  private:
    RectTrackerGeometry geometry_;
    std::array<QCursor, 5> cursors_;  // move, left/right, diagonal \, diagonal /, top/bottom
    bool tracking_ = false;
};

}  // namespace qarv
