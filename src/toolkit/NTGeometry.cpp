#include "toolkit/NTGeometry.h"

#include <cmath>
#include <cstdint>

namespace qs {

Rect NTGeometry::rectFromPoint(const Point& a, const Point& b) {
    return MakeRect(std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fabs(a.x - b.x), std::fabs(a.y - b.y));
}

Rect NTGeometry::rect(const Rect& rect, const Rect& container, bool scaleToFitContainer) {
    return NTGeometry::rect(rect, container, scaleToFitContainer, false);
}

Rect NTGeometry::rect(const Rect& rect, const Rect& container, bool scale, bool larger) {
    const double w = rect.size.width, h = rect.size.height;
    const double W = container.size.width, H = container.size.height;
    Size size{w, h};
    // An empty side has no aspect to keep; such a rectangle is only centred.
    const bool measurable = w > 0 && h > 0;
    if (scale && measurable && ((w < W && h < H && larger) || w > W || h > H)) {
        size.width = W;
        size.height = h / w * W;
        if (size.height > H) {
            size.height = H;
            size.width = w / h * H;
        }
    }
    return MakeRect(container.origin.x + (W - size.width) * 0.5, container.origin.y + (H - size.height) * 0.5,
                    size.width, size.height);
}

Point NTGeometry::point(const Point& p, const Rect& r) {
    Point out = p;
    if (out.x < r.origin.x)
        out.x = r.origin.x;
    else if (out.x > r.origin.x + r.size.width)
        out.x = r.origin.x + r.size.width;
    if (out.y < r.origin.y)
        out.y = r.origin.y;
    else if (out.y > r.origin.y + r.size.height)
        out.y = r.origin.y + r.size.height;
    return out;
}

ScreenPtr NTGeometry::screenForPoint(const Point& p) {
    const auto screens = Screen::screens();
    for (auto& screen : screens)
        if (RectContainsPoint(screen->frame(), p)) return screen;
    ScreenPtr nearest;
    unsigned nearestDistance = 0;
    for (auto& screen : screens) {
        const Rect f = screen->frame();
        double dx = 0, dy = 0;
        if (p.x < MinX(f))
            dx = MinX(f) - p.x;
        else if (p.x > MaxX(f))
            dx = p.x - MaxX(f);
        if (p.y < MinY(f))
            dy = MinY(f) - p.y;
        else if (p.y > MaxY(f))
            dy = p.y - MaxY(f);
        // Held as an unsigned whole number: dx truncated, then dy added and truncated.
        // (Distances beyond the unsigned range are held at its top.)
        constexpr double top = 4294967295.0;
        unsigned distance = unsigned(std::fmin(dx, top));
        distance = unsigned(std::fmin(double(distance) + dy, top));
        if (!nearest || distance < nearestDistance) {
            nearest = screen;
            nearestDistance = distance;
        }
    }
    return nearest;
}

Rect NTGeometry::integerRect(const Rect& r) {
    return MakeRect(std::floor(r.origin.x), std::floor(r.origin.y), std::floor(r.size.width),
                    std::floor(r.size.height));
}

void NTGeometry::updateRectsToAvoidRectGivenMinimumSize(std::vector<Rect>& rects, const Rect& a, const Size& minSize) {
    auto keep = [&](const Rect& r) {
        return r.size.width > 0 && r.size.height > 0 && r.size.width >= minSize.width &&
               r.size.height >= minSize.height;
    };
    // From the last element to the first; pieces appended meanwhile are not visited.
    for (size_t i = rects.size(); i-- > 0;) {
        const Rect r = rects[i];
        if (RectIntersectsRect(r, a)) {
            rects.erase(rects.begin() + long(i));
            const Rect left = MakeRect(r.origin.x, r.origin.y, a.origin.x - r.origin.x, r.size.height);
            const Rect right = MakeRect(a.origin.x + a.size.width, r.origin.y,
                                        (r.origin.x + r.size.width) - (a.origin.x + a.size.width), r.size.height);
            const Rect top = MakeRect(r.origin.x, a.origin.y + a.size.height, r.size.width,
                                      (r.origin.y + r.size.height) - (a.origin.y + a.size.height));
            const Rect bottom = MakeRect(r.origin.x, r.origin.y, r.size.width, a.origin.y - r.origin.y);
            for (const Rect& piece : {left, right, top, bottom})
                if (keep(piece)) rects.push_back(piece);
        } else if (!keep(r)) {
            rects.erase(rects.begin() + long(i));
        }
    }
}

float NTRectOverhang(const Rect& a, const Rect& b) {
    auto axis = [](double aLow, double aHigh, double bLow, double bHigh) {
        if (aLow < bLow) return aLow - bLow;
        if (aHigh > bHigh) return aHigh - bHigh;
        return 0.0;
    };
    const double x = axis(a.origin.x, a.origin.x + a.size.width, b.origin.x, b.origin.x + b.size.width);
    const double y = axis(a.origin.y, a.origin.y + a.size.height, b.origin.y, b.origin.y + b.size.height);
    return float(x * x + y * y);
}

Rect NTRectWithLeastOverhang(const std::vector<Rect>& rects, const Rect& rect) {
    if (rects.empty()) return RectZero;
    Rect best = rects.back();
    float bestOverhang = NTRectOverhang(best, rect);
    for (size_t i = rects.size() - 1; i-- > 0;) {
        const float overhang = NTRectOverhang(rects[i], rect);
        if (overhang < bestOverhang) {
            best = rects[i];
            bestOverhang = overhang;
        }
    }
    return best;
}

}  // namespace qs
