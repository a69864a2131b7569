#pragma once
// Points, sizes and rectangles in the platform's convention: a rectangle is an origin
// and a size; screen and window frames have their origin at the bottom-left of the
// first screen with y growing upwards, accessibility frames their origin at the top-left
// with y growing downwards. The helpers are the same for both.

#include <cmath>
#include <limits>
#include <ostream>

namespace qs {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;
    bool operator==(const Rect&) const = default;
};

inline Point MakePoint(double x, double y) { return {x, y}; }
inline Size MakeSize(double w, double h) { return {w, h}; }
inline Rect MakeRect(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }

inline constexpr Point PointZero{};
inline constexpr Size SizeZero{};
inline constexpr Rect RectZero{};
// The null rectangle: what an intersection of disjoint rectangles answers.
inline constexpr Rect RectNull{{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()},
                               {0.0, 0.0}};

inline bool RectIsNull(const Rect& r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }

// A rectangle with a negative width or height, turned into the equivalent one with
// positive extents.
inline Rect RectStandardize(const Rect& r) {
    Rect s = r;
    if (s.size.width < 0) {
        s.origin.x += s.size.width;
        s.size.width = -s.size.width;
    }
    if (s.size.height < 0) {
        s.origin.y += s.size.height;
        s.size.height = -s.size.height;
    }
    return s;
}

inline double MinX(const Rect& r) { return RectStandardize(r).origin.x; }
inline double MinY(const Rect& r) { return RectStandardize(r).origin.y; }
inline double MaxX(const Rect& r) { Rect s = RectStandardize(r); return s.origin.x + s.size.width; }
inline double MaxY(const Rect& r) { Rect s = RectStandardize(r); return s.origin.y + s.size.height; }
inline double MidX(const Rect& r) { return (MinX(r) + MaxX(r)) / 2.0; }
inline double MidY(const Rect& r) { return (MinY(r) + MaxY(r)) / 2.0; }
inline double Width(const Rect& r) { return std::fabs(r.size.width); }
inline double Height(const Rect& r) { return std::fabs(r.size.height); }

inline bool PointEqualToPoint(const Point& a, const Point& b) { return a == b; }
inline bool SizeEqualToSize(const Size& a, const Size& b) { return a == b; }
inline bool RectEqualToRect(const Rect& a, const Rect& b) {
    if (RectIsNull(a) || RectIsNull(b)) return RectIsNull(a) && RectIsNull(b);
    return RectStandardize(a) == RectStandardize(b);
}
inline bool RectIsEmpty(const Rect& r) { return RectIsNull(r) || r.size.width == 0.0 || r.size.height == 0.0; }

// Half-open containment: the minimum edges are inside, the maximum edges are not.
inline bool RectContainsPoint(const Rect& r, const Point& p) {
    return !RectIsNull(r) && p.x >= MinX(r) && p.x < MaxX(r) && p.y >= MinY(r) && p.y < MaxY(r);
}
inline bool RectContainsRect(const Rect& outer, const Rect& inner) {
    return !RectIsNull(outer) && !RectIsNull(inner) && MinX(inner) >= MinX(outer) && MaxX(inner) <= MaxX(outer) &&
           MinY(inner) >= MinY(outer) && MaxY(inner) <= MaxY(outer);
}

inline Rect RectIntersection(const Rect& a, const Rect& b) {
    if (RectIsNull(a) || RectIsNull(b)) return RectNull;
    double x0 = std::fmax(MinX(a), MinX(b)), x1 = std::fmin(MaxX(a), MaxX(b));
    double y0 = std::fmax(MinY(a), MinY(b)), y1 = std::fmin(MaxY(a), MaxY(b));
    if (x1 < x0 || y1 < y0) return RectNull;
    return MakeRect(x0, y0, x1 - x0, y1 - y0);
}
inline bool RectIntersectsRect(const Rect& a, const Rect& b) {
    Rect i = RectIntersection(a, b);
    return !RectIsNull(i) && !RectIsEmpty(i);
}
inline Rect RectUnion(const Rect& a, const Rect& b) {
    if (RectIsNull(a)) return b;
    if (RectIsNull(b)) return a;
    double x0 = std::fmin(MinX(a), MinX(b)), x1 = std::fmax(MaxX(a), MaxX(b));
    double y0 = std::fmin(MinY(a), MinY(b)), y1 = std::fmax(MaxY(a), MaxY(b));
    return MakeRect(x0, y0, x1 - x0, y1 - y0);
}
inline Rect RectInset(const Rect& r, double dx, double dy) {
    if (RectIsNull(r)) return r;
    Rect s = RectStandardize(r);
    s.origin.x += dx;
    s.origin.y += dy;
    s.size.width -= 2 * dx;
    s.size.height -= 2 * dy;
    if (s.size.width < 0 || s.size.height < 0) return RectNull;
    return s;
}
inline Rect RectOffset(const Rect& r, double dx, double dy) {
    if (RectIsNull(r)) return r;
    return MakeRect(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
}
inline Rect RectIntegral(const Rect& r) {
    if (RectIsNull(r)) return r;
    double x0 = std::floor(MinX(r)), y0 = std::floor(MinY(r));
    double x1 = std::ceil(MaxX(r)), y1 = std::ceil(MaxY(r));
    return MakeRect(x0, y0, x1 - x0, y1 - y0);
}

// Cuts a slice of `amount` off the edge of the rectangle (NSDivideRect); the amount is
// limited to the rectangle's extent on that axis.
// The edges of a rectangle (NSRectEdge).
enum RectEdge : int {
    NSRectEdgeMinX = 0,
    NSRectEdgeMinY = 1,
    NSRectEdgeMaxX = 2,
    NSRectEdgeMaxY = 3,
};
inline void DivideRect(const Rect& in, Rect* slice, Rect* remainder, double amount, RectEdge edge) {
    Rect r = RectStandardize(in);
    const bool horizontal = edge == NSRectEdgeMinX || edge == NSRectEdgeMaxX;
    const double extent = horizontal ? r.size.width : r.size.height;
    amount = std::fmax(0.0, std::fmin(amount, extent));
    Rect s = r, rem = r;
    switch (edge) {
    case NSRectEdgeMinX:
        s.size.width = amount;
        rem.origin.x += amount;
        rem.size.width -= amount;
        break;
    case NSRectEdgeMaxX:
        s.origin.x = r.origin.x + r.size.width - amount;
        s.size.width = amount;
        rem.size.width -= amount;
        break;
    case NSRectEdgeMinY:
        s.size.height = amount;
        rem.origin.y += amount;
        rem.size.height -= amount;
        break;
    case NSRectEdgeMaxY:
        s.origin.y = r.origin.y + r.size.height - amount;
        s.size.height = amount;
        rem.size.height -= amount;
        break;
    }
    if (slice) *slice = s;
    if (remainder) *remainder = rem;
}

inline std::ostream& operator<<(std::ostream& os, const Point& p) { return os << "{" << p.x << ", " << p.y << "}"; }
inline std::ostream& operator<<(std::ostream& os, const Size& s) {
    return os << "{" << s.width << ", " << s.height << "}";
}
inline std::ostream& operator<<(std::ostream& os, const Rect& r) { return os << "{" << r.origin << ", " << r.size << "}"; }

}  // namespace qs
