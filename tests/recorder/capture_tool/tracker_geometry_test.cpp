#include "recorder/capture_tool/tracker_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <tuple>
#include <vector>

namespace qarv {

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

constexpr Size kScreen{1920, 1080};

TEST(GeometryRectTest, NormalizesAndIntersects) {
    EXPECT_EQ((Rect{5, 6, 1, 2}.Normalized()), (Rect{1, 2, 5, 6}));
    EXPECT_EQ((Rect{0, 0, 10, 10}.Intersected({5, 5, 20, 20})), (Rect{5, 5, 10, 10}));
    EXPECT_EQ((Rect{0, 0, 10, 10}.Intersected({10, 0, 20, 10})), (Rect{}));  // touching only
}

TEST(TrackerGeometryTest, HitsShownHandlesOutsideTheRectangle) {
    // Flipped: handles lie on the normalised rectangle. Size 4: middle handles from 17 pixels on.
    const Rect r{200, 160, 100, 100}, tall{100, 100, 116, 117}, wide{100, 100, 117, 116};
    const std::vector<std::tuple<Rect, Point, TrackerHit>> cases = {
        {r, {96, 96}, kHitTopLeft},   {r, {99, 99}, kHitTopLeft},       {r, {100, 99}, kHitNothing},
        {r, {203, 96}, kHitTopRight}, {r, {200, 160}, kHitBottomRight}, {r, {96, 163}, kHitBottomLeft},
        {r, {204, 164}, kHitNothing}, {r, {148, 96}, kHitTop},          {r, {152, 99}, kHitNothing},
        {r, {200, 128}, kHitRight},   {r, {151, 163}, kHitBottom},      {r, {96, 131}, kHitLeft},
        {r, {199, 128}, kHitMiddle},  {r, {100, 160}, kHitNothing},     {tall, {108, 98}, kHitNothing},
        {tall, {98, 108}, kHitLeft},  {wide, {108, 98}, kHitTop},       {wide, {98, 108}, kHitNothing}};
    for (const auto& [rect, p, hit] : cases) {
        RectTrackerGeometry tracker;
        tracker.SetRect(rect);
        EXPECT_EQ(tracker.HitTest(p), hit) << p.x << "," << p.y;
    }
}

TEST(TrackerGeometryTest, DragsMoveHeldEdgesFlipAndKeepMovesOnScreen) {
    // Edge drags flip and are not clamped; middle drags stop at each screen edge.
    const Rect r{100, 100, 200, 160};
    const std::vector<std::tuple<Rect, TrackerHit, Point, Point, Rect>> cases = {
        {{100, 100, 100, 100}, kHitBottomRight, {100, 100}, {50, 80}, {100, 100, 50, 80}},
        {r, kHitTopLeft, {99, 99}, {249, 189}, {250, 190, 200, 160}},
        {{200, 160, 100, 100}, kHitTopLeft, {99, 99}, {109, 109}, {110, 110, 200, 160}},
        {r, kHitTop, {150, 98}, {170, 200}, {100, 202, 200, 160}},
        {r, kHitLeft, {98, 130}, {-20, 0}, {-18, 100, 200, 160}},
        {r, kHitMiddle, {150, 130}, {160, 140}, {110, 110, 210, 170}},
        {r, kHitMiddle, {150, 130}, {0, 0}, {0, 0, 100, 60}},
        {r, kHitMiddle, {150, 130}, {5000, 5000}, {1820, 1020, 1920, 1080}},
        {{-10, -10, 2000, 1100}, kHitMiddle, {50, 50}, {60, 60}, {0, 0, 2010, 1110}}};
    for (const auto& [start, hit, from, to, dragged] : cases) {
        RectTrackerGeometry tracker;
        tracker.SetRect(start);
        tracker.BeginDrag(hit, from);
        tracker.DragTo({-700, 900}, kScreen);  // only the travel from the start counts
        tracker.DragTo(to, kScreen);
        EXPECT_EQ(tracker.rect(), dragged) << hit;
    }
}

TEST(TrackerGeometryTest, ArrowKeysStopAtTheScreenEdges) {
    const std::vector<std::tuple<Rect, bool, int, int, Rect>> cases = {
        {{0, 10, 50, 40}, false, -1, 0, {0, 10, 50, 40}},
        {{0, 10, 50, 40}, false, 1, 1, {1, 11, 51, 41}},
        {{10, 10, 50, 40}, false, -20, -20, {0, 0, 40, 30}},
        {{1870, 1040, 1920, 1080}, false, 1, 1, {1870, 1040, 1920, 1080}},
        {{10, 10, 1919, 1079}, true, 2, 2, {10, 10, 1920, 1080}},
        {{10, 10, 11, 11}, true, -1, -1, {10, 10, 11, 11}},
        {{10, 10, 50, 40}, true, -1, 1, {10, 10, 49, 41}}};
    for (const auto& [start, shift, dx, dy, after] : cases) {
        RectTrackerGeometry tracker;
        tracker.SetRect(start);
        shift ? tracker.ResizeBy(dx, dy, kScreen) : tracker.MoveBy(dx, dy, kScreen);
        EXPECT_EQ(tracker.rect(), after) << shift << " " << dx << "," << dy;
    }
}

TEST(MagnifierGeometryTest, BoxFlipsAtTheEdgesAndSourceStaysCentred) {
    // A 160 x 72 box: a top at -3 (y 72) goes below, one at -2 (y 73) stays above.
    const std::vector<std::pair<Point, Rect>> boxes = {
        {{500, 500}, {503, 425, 663, 497}},    {{1760, 500}, {1763, 425, 1923, 497}},
        {{1761, 500}, {1598, 425, 1758, 497}}, {{500, 72}, {503, 75, 663, 147}},
        {{500, 73}, {503, -2, 663, 70}},       {{1919, 0}, {1756, 3, 1916, 75}}};
    for (const auto& [p, box] : boxes)
        EXPECT_EQ(MagnifierBox(p, 60, 12, kScreen), box) << p.x << "," << p.y;
    const Rect even{10, 20, 100, 92}, odd{0, 0, 97, 67};  // 3 pixels a source pixel; shares rounded
    const std::vector<std::tuple<Point, Rect, Rect, Rect>> sources = {
        {{500, 500}, even, {485, 488, 515, 512}, even},
        {{5, 5}, even, {0, 0, 20, 17}, {40, 41, 100, 92}},
        {{1919, 1079}, even, {1904, 1067, 1920, 1080}, {10, 20, 58, 59}},
        {{0, 0}, odd, {0, 0, 15, 12}, {49, 34, 97, 67}},
        {{1919, 1079}, odd, {1904, 1067, 1920, 1080}, {0, 0, 52, 36}}};
    for (const auto& [p, inner, source, target] : sources) {
        const MagnifierSource m = MagnifierSourceFor(p, inner, kScreen);
        EXPECT_EQ(m.source, source);
        EXPECT_EQ(m.target, target);
    }
}

TEST(MenuBarGeometryTest, BelowAboveOrAtTheTopRightAligned) {
    const std::vector<std::pair<Rect, Point>> cases = {
        {{100, 100, 400, 1049}, {298, 1052}}, {{100, 500, 400, 1050}, {298, 470}},
        {{100, 500, 400, 1070}, {298, 470}},  {{100, 31, 400, 1070}, {298, 1}},
        {{100, 30, 400, 1070}, {298, 0}},     {{-4, -4, 1924, 1084}, {1822, 0}}};
    for (const auto& [outer, at] : cases)
        EXPECT_EQ(MenuBarPosition(outer, {102, 27}, 1080), at) << outer.top << " " << outer.bottom;
}

TEST(CoverGeometryTest, BandsCoverAllButTheShrunkCut) {
    const Size screen{40, 30};
    EXPECT_EQ(CoverBands({10, 8, 30, 20}, screen)[2], (Rect{13, 17, 27, 30}));
    for (const Rect cut : {Rect{10, 8, 30, 20}, Rect{}, Rect{10, 10, 14, 14}, Rect{-4, -4, 44, 34}}) {
        const auto bands = CoverBands(cut, screen);
        const Rect open = cut.Inflated(-3);
        for (int y = 0; y < screen.height; ++y)
            for (int x = 0; x < screen.width; ++x) {
                const bool covered = std::any_of(bands.begin(), bands.end(), [&](const Rect& band) {
                    return band.Contains({x, y});
                });
                ASSERT_EQ(covered, !open.Contains({x, y})) << x << "," << y << " cut at " << cut.left;
            }
    }
}

}  // namespace
}  // namespace qarv
