#include "recorder/capture_tool/tracker_geometry.h"

#include <algorithm>

namespace qarv {
namespace {

// Where a rectangle `length` long may start so that it lies within [0, limit): `start` itself
// when it fits, else the nearer end. A rectangle longer than the screen starts at 0.
int KeptInside(int start, int length, int limit) {
    return std::clamp(start, 0, std::max(0, limit - length));
}

// Moves a right or bottom edge at `edge` by `step` towards [floor, ceiling] without ever
// taking it past a bound it has reached; an edge already beyond a bound is left there.
int SteppedEdge(int edge, int step, int floor, int ceiling) {
    if (step > 0)
        return std::min(edge + step, std::max(edge, ceiling));
    if (step < 0)
        return std::max(edge + step, std::min(edge, floor));
    return edge;
}

// The share of `length` that `missing` of `whole` parts take, rounded to the nearest pixel.
int Share(int missing, int length, int whole) {
    return (missing * length + whole / 2) / whole;
}

}  // namespace

Rect Rect::Normalized() const {
    return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

Rect Rect::Intersected(const Rect& other) const {
    const Rect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                 std::min(bottom, other.bottom)};
    return r.IsEmpty() ? Rect{} : r;
}

Rect RectTrackerGeometry::OuterRect() const {
    return rect_.Normalized().Inflated(handleSize_);
}

bool RectTrackerGeometry::HandleShown(TrackerHit handle) const {
    const Rect r = rect_.Normalized();
    const int threshold = 3 * handleSize_ + 4;
    switch (handle) {
        case kHitTopLeft:
        case kHitTopRight:
        case kHitBottomRight:
        case kHitBottomLeft:
            return true;
        case kHitTop:
        case kHitBottom:
            return r.Width() > threshold;
        case kHitLeft:
        case kHitRight:
            return r.Height() > threshold;
        default:
            return false;
    }
}

Rect RectTrackerGeometry::HandleRect(TrackerHit handle) const {
    const Rect r = rect_.Normalized();
    const int s = handleSize_;
    // The middle handles are centred on their edge; the corners fill the outer rectangle's corners.
    const int midX = r.left + r.Width() / 2 - s / 2;
    const int midY = r.top + r.Height() / 2 - s / 2;
    switch (handle) {
        case kHitTopLeft:
            return {r.left - s, r.top - s, r.left, r.top};
        case kHitTopRight:
            return {r.right, r.top - s, r.right + s, r.top};
        case kHitBottomRight:
            return {r.right, r.bottom, r.right + s, r.bottom + s};
        case kHitBottomLeft:
            return {r.left - s, r.bottom, r.left, r.bottom + s};
        case kHitTop:
            return {midX, r.top - s, midX + s, r.top};
        case kHitRight:
            return {r.right, midY, r.right + s, midY + s};
        case kHitBottom:
            return {midX, r.bottom, midX + s, r.bottom + s};
        case kHitLeft:
            return {r.left - s, midY, r.left, midY + s};
        default:
            return {};
    }
}

TrackerHit RectTrackerGeometry::HitTest(Point p) const {
    // Corners come first in the enumeration, so they win over the middle handles.
    for (int h = kHitTopLeft; h <= kHitLeft; ++h) {
        const auto handle = static_cast<TrackerHit>(h);
        if (HandleShown(handle) && HandleRect(handle).Contains(p))
            return handle;
    }
    return rect_.Normalized().Contains(p) ? kHitMiddle : kHitNothing;
}

void RectTrackerGeometry::BeginDrag(TrackerHit hit, Point start) {
    // The handles are laid out on the normalised rectangle, so the drag starts from it.
    rect_ = rect_.Normalized();
    dragHit_ = hit;
    dragStart_ = start;
    dragStartRect_ = rect_;
}

void RectTrackerGeometry::DragTo(Point pointer, Size screen) {
    const int dx = pointer.x - dragStart_.x;
    const int dy = pointer.y - dragStart_.y;
    Rect r = dragStartRect_;
    switch (dragHit_) {
        case kHitMiddle: {
            const int left = KeptInside(r.left + dx, r.Width(), screen.width);
            const int top = KeptInside(r.top + dy, r.Height(), screen.height);
            r = {left, top, left + r.Width(), top + r.Height()};
            break;
        }
        case kHitNothing:
            return;
        default: {
            const bool left = dragHit_ == kHitTopLeft || dragHit_ == kHitBottomLeft || dragHit_ == kHitLeft;
            const bool right =
                dragHit_ == kHitTopRight || dragHit_ == kHitBottomRight || dragHit_ == kHitRight;
            const bool top = dragHit_ == kHitTopLeft || dragHit_ == kHitTopRight || dragHit_ == kHitTop;
            const bool bottom =
                dragHit_ == kHitBottomLeft || dragHit_ == kHitBottomRight || dragHit_ == kHitBottom;
            // No normalising here: an edge dragged past its opposite one flips the rectangle.
            r.left += left ? dx : 0;
            r.right += right ? dx : 0;
            r.top += top ? dy : 0;
            r.bottom += bottom ? dy : 0;
            break;
        }
    }
    rect_ = r;
}

void RectTrackerGeometry::MoveBy(int dx, int dy, Size screen) {
    const Rect r = rect_.Normalized();
    const int left = KeptInside(r.left + dx, r.Width(), screen.width);
    const int top = KeptInside(r.top + dy, r.Height(), screen.height);
    rect_ = {left, top, left + r.Width(), top + r.Height()};
}

void RectTrackerGeometry::ResizeBy(int dx, int dy, Size screen) {
    // The right and bottom edges stop at the screen's edge when growing and one pixel past the
    // left and top edges when shrinking, so a key step never empties or flips the rectangle.
    Rect r = rect_.Normalized();
    r.right = SteppedEdge(r.right, dx, std::max(r.left + 1, 0), screen.width);
    r.bottom = SteppedEdge(r.bottom, dy, std::max(r.top + 1, 0), screen.height);
    rect_ = r;
}

Rect MagnifierBox(Point pointer, int textWidth, int lineHeight, Size screen) {
    const int width = textWidth + 100;
    const int height = 6 * lineHeight;
    Rect box{pointer.x + 3, pointer.y - 3 - height, pointer.x + 3 + width, pointer.y - 3};
    if (pointer.x + width > screen.width) {
        box.right = pointer.x - 3;
        box.left = box.right - width;
    }
    // A top at -3 or higher up (-3 itself included) puts the box below the pointer; a top of
    // -2 or -1 keeps it above, cut by at most two rows.
    if (box.top <= -3) {
        box.top = pointer.y + 3;
        box.bottom = box.top + height;
    }
    return box;
}

MagnifierSource MagnifierSourceFor(Point pointer, const Rect& inner, Size screen) {
    constexpr int kColumns = 30;
    constexpr int kRows = 24;
    const Rect wanted{pointer.x - kColumns / 2, pointer.y - kRows / 2, pointer.x + kColumns / 2,
                      pointer.y + kRows / 2};
    const Rect source = wanted.Intersected({0, 0, screen.width, screen.height});
    if (source.IsEmpty())
        return {};
    // Each missing column or row gives up its share of `inner`, so the scale stays that of the
    // full 30 x 24 pixels and the pointer's pixel keeps its place at the centre.
    const Rect target{inner.left + Share(source.left - wanted.left, inner.Width(), kColumns),
                      inner.top + Share(source.top - wanted.top, inner.Height(), kRows),
                      inner.right - Share(wanted.right - source.right, inner.Width(), kColumns),
                      inner.bottom - Share(wanted.bottom - source.bottom, inner.Height(), kRows)};
    return {source, target};
}

Point MenuBarPosition(const Rect& outer, Size bar, int screenHeight) {
    const int x = outer.right - bar.width;
    if (outer.bottom < screenHeight - bar.height - 3)
        return {x, outer.bottom + 3};
    if (outer.top > bar.height + 3)
        return {x, outer.top - 3 - bar.height};
    return {x, 0};
}

std::array<Rect, 4> CoverBands(const Rect& cut, Size screen) {
    // Bands of a cut-out narrower than 6 pixels are empty or overlap; the cover is then whole.
    const int left = cut.left + 3;
    const int top = cut.top + 3;
    const int right = cut.right - 3;
    const int bottom = cut.bottom - 3;
    return {Rect{0, 0, left, screen.height}, Rect{left, 0, right, top},
            Rect{left, bottom, right, screen.height}, Rect{right, 0, screen.width, screen.height}};
}

}  // namespace qarv
