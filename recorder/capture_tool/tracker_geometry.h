#pragma once
// The geometry of the screenshot tool, free of any window code: the selection rectangle with
// its eight handles (hit tests, drags that may flip it, moves and key steps kept on the
// screen), and the placement of the magnifier, the menu bar and the dimming cover.
// Plain values and functions; safe on any thread.

#include <array>

namespace qarv {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle by its edges; right and bottom lie just outside it. It may be "flipped"
// (right < left or bottom < top) while a handle is dragged past the opposite edge.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    // Left below right and top below bottom.
    Rect Normalized() const;
    Rect Inflated(int by) const { return {left - by, top - by, right + by, bottom + by}; }
    // Of a normalised rectangle: the point lies inside (right and bottom excluded).
    bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    // Of normalised rectangles; empty ones give an empty result.
    Rect Intersected(const Rect& other) const;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Where a point lies on the tracker: one of the eight handles, inside, or nowhere.
enum TrackerHit {
    kHitNothing = -1,
    kHitTopLeft = 0,
    kHitTopRight = 1,
    kHitBottomRight = 2,
    kHitBottomLeft = 3,
    kHitTop = 4,
    kHitRight = 5,
    kHitBottom = 6,
    kHitLeft = 7,
    kHitMiddle = 8,
};

// The selection rectangle with square handles drawn outside it: the four corners always,
// the middle of the top and bottom edges only when the width exceeds three handle sizes by
// more than 4 pixels, those of the left and right edges likewise for the height.
class RectTrackerGeometry {
  public:
    static constexpr int kDefaultHandleSize = 4;

    explicit RectTrackerGeometry(int handleSize = kDefaultHandleSize) : handleSize_(handleSize) {}

    int HandleSize() const { return handleSize_; }
    const Rect& rect() const { return rect_; }
    void SetRect(const Rect& rect) { rect_ = rect; }

    // The normalised rectangle grown by the handle size on each side.
    Rect OuterRect() const;
    // Whether a handle is drawn and can be hit (kHitMiddle and kHitNothing: false).
    bool HandleShown(TrackerHit handle) const;
    // The square of a handle, outside the normalised rectangle, handle size wide.
    Rect HandleRect(TrackerHit handle) const;
    // The shown handle under the point, else kHitMiddle inside the rectangle, else kHitNothing.
    TrackerHit HitTest(Point p) const;

    // A drag of `hit` (a handle or kHitMiddle) that started with the pointer at `start`.
    // DragTo moves the edges the handle holds by the pointer's travel since `start`; they may
    // pass the opposite edge, which flips the rectangle. A middle drag moves the whole
    // rectangle, kept inside `screen` with its size unchanged. BeginDrag normalises the
    // rectangle first, as the handles are laid out on the normalised one.
    void BeginDrag(TrackerHit hit, Point start);
    void DragTo(Point pointer, Size screen);

    // The arrow keys: move the whole rectangle by (dx, dy), stopping at the screen's edges with
    // its size kept.
    void MoveBy(int dx, int dy, Size screen);
    // Shift with the arrow keys: move the right edge by dx and the bottom edge by dy, stopping
    // at the screen's edges and, when shrinking, at a width or height of 1 pixel.
    void ResizeBy(int dx, int dy, Size screen);

  private:
    int handleSize_;
    Rect rect_{-1, -2, -3, -4};
    TrackerHit dragHit_ = kHitNothing;
    Point dragStart_;
    Rect dragStartRect_;
};

// The magnifier box beside the pointer: `textWidth` + 100 wide, six lines high. It lies 3
// pixels right of and above the pointer; left of it when x + its width exceeds the screen
// width; below it when its top would be at -3 or above (y of the top <= -3).
Rect MagnifierBox(Point pointer, int textWidth, int lineHeight, Size screen);

// The part of the screen shown magnified and where it goes: the 30 x 24 pixels around the
// pointer (clipped to the screen) drawn into `inner`, the box's magnifying area, shrunk from
// the sides where pixels are missing so that the pointer's pixel stays at the centre.
struct MagnifierSource {
    Rect source;  // on the screen
    Rect target;  // inside `inner`
};
MagnifierSource MagnifierSourceFor(Point pointer, const Rect& inner, Size screen);

// The top-left corner of the menu bar next to a selection's outer rectangle: right-aligned
// with it, 3 pixels below; above it when there is no room below; else at the screen's top.
Point MenuBarPosition(const Rect& outer, Size bar, int screenHeight);

// The four bands of the dimming cover around a cut-out (left, top, bottom, right): everything
// outside `cut` shrunk by 3 pixels on each side. An empty cut-out at (0,0) covers all.
std::array<Rect, 4> CoverBands(const Rect& cut, Size screen);

}  // namespace qarv
