#pragma once
// Rectangle and point arithmetic in the platform's points (y up unless a method says
// flipped): fitting and centring, clamping, snapping to whole points, corners and edge
// midpoints, the screen of a point, and carving free rectangles around an obstacle.

#include <vector>

#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"

namespace qs {

class NTGeometry {
public:
    // The rectangle spanned by two points.
    static Rect rectFromPoint(const Point& a, const Point& b);
    // rect:centeredIn:scaleToFitContainer:[canScaleLarger:]. The rectangle's size,
    // scaled to fit (keeping its aspect) when asked and when it is too large on either
    // axis, or smaller on both and allowed to grow, then centred in the container.
    static Rect rect(const Rect& rect, const Rect& container, bool scaleToFitContainer);
    static Rect rect(const Rect& rect, const Rect& container, bool scaleToFitContainer, bool canScaleLarger);
    // point:insideRect: the point clamped into the rectangle.
    static Point point(const Point& point, const Rect& insideRect);
    // The screen containing the point, else the nearest one; nullptr without screens.
    static ScreenPtr screenForPoint(const Point& point);
    // Every value (size included) replaced by the largest whole number not above it.
    static Rect integerRect(const Rect& rect);

    static Point topLeft(const Rect& r) { return {r.origin.x, r.origin.y + r.size.height}; }
    static Point bottomLeft(const Rect& r) { return r.origin; }
    static Point topRight(const Rect& r) { return {r.origin.x + r.size.width, r.origin.y + r.size.height}; }
    static Point bottomRight(const Rect& r) { return {r.origin.x + r.size.width, r.origin.y}; }
    static Point topMid(const Rect& r) { return {r.origin.x + r.size.width * 0.5, r.origin.y + r.size.height}; }
    static Point bottomMid(const Rect& r) { return {r.origin.x + r.size.width * 0.5, r.origin.y}; }
    static Point rightMid(const Rect& r) { return {r.origin.x + r.size.width, r.origin.y + r.size.height * 0.5}; }
    static Point leftMid(const Rect& r) { return {r.origin.x, r.origin.y + r.size.height * 0.5}; }
    // Corners in a flipped view (y down); the flag is not consulted.
    static Point topLeft(const Rect& r, bool /*flipped*/) { return r.origin; }
    static Point bottomLeft(const Rect& r, bool /*flipped*/) { return {r.origin.x, r.origin.y + r.size.height}; }
    static Point topRight(const Rect& r, bool /*flipped*/) { return {r.origin.x + r.size.width, r.origin.y}; }
    static Point bottomRight(const Rect& r, bool /*flipped*/) {
        return {r.origin.x + r.size.width, r.origin.y + r.size.height};
    }

    // Rewrites the free rectangles in place so that none overlaps `rectToAvoid`: each one
    // that does is replaced by its pieces beside the obstacle (left, right, top, bottom),
    // and only rectangles of at least the minimum size are kept.
    static void updateRectsToAvoidRectGivenMinimumSize(std::vector<Rect>& rects, const Rect& rectToAvoid,
                                                       const Size& minSize);
};

// How far rectangle A sticks out of rectangle B: per axis the overshoot of the low edge
// (else of the high edge), squared and summed, in single precision.
float NTRectOverhang(const Rect& a, const Rect& b);
// The rectangle of the list that sticks out of `rect` least (scanned from the last one;
// the zero rectangle for an empty list).
Rect NTRectWithLeastOverhang(const std::vector<Rect>& rects, const Rect& rect);

}  // namespace qs
