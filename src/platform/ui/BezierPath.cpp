#include "platform/ui/BezierPath.h"

#include <QPen>
#include <cmath>

#include "platform/ui/AffineTransform.h"
#include "platform/ui/GraphicsContext.h"

namespace qs {

namespace {
// Control-point distance of a quarter circle drawn as one cubic.
constexpr double kKappa = 0.5522847498307936;

Point add(const Point& a, const Point& b) { return {a.x + b.x, a.y + b.y}; }
Point sub(const Point& a, const Point& b) { return {a.x - b.x, a.y - b.y}; }
Point mul(const Point& a, double k) { return {a.x * k, a.y * k}; }
double length(const Point& a) { return std::hypot(a.x, a.y); }
}  // namespace

BezierPathPtr BezierPath::bezierPath() { return std::make_shared<BezierPath>(); }

BezierPathPtr BezierPath::bezierPathWithRect(const Rect& rect) {
    auto path = bezierPath();
    path->appendBezierPathWithRect(rect);
    return path;
}

BezierPathPtr BezierPath::bezierPathWithOvalInRect(const Rect& rect) {
    auto path = bezierPath();
    path->appendBezierPathWithOvalInRect(rect);
    return path;
}

BezierPathPtr BezierPath::bezierPathWithRoundedRect(const Rect& rect, double xRadius, double yRadius) {
    auto path = bezierPath();
    path->appendBezierPathWithRoundedRect(rect, xRadius, yRadius);
    return path;
}

void BezierPath::moveToPoint(const Point& p) {
    Element e;
    e.type = ElementType::MoveTo;
    e.points[0] = p;
    elements_.push_back(e);
}

void BezierPath::lineToPoint(const Point& p) {
    if (elements_.empty()) {
        moveToPoint(p);
        return;
    }
    Element e;
    e.type = ElementType::LineTo;
    e.points[0] = p;
    elements_.push_back(e);
}

void BezierPath::curveToPoint(const Point& end, const Point& control1, const Point& control2) {
    if (elements_.empty()) moveToPoint(end);
    Element e;
    e.type = ElementType::CurveTo;
    e.points[0] = control1;
    e.points[1] = control2;
    e.points[2] = end;
    elements_.push_back(e);
}

void BezierPath::closePath() {
    if (elements_.empty() || elements_.back().type == ElementType::ClosePath) return;
    Element e;
    e.type = ElementType::ClosePath;
    elements_.push_back(e);
}

void BezierPath::appendBezierPath(const BezierPath& other) {
    elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}

void BezierPath::appendBezierPathWithRect(const Rect& rect) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    moveToPoint({x, y});
    lineToPoint({x + w, y});
    lineToPoint({x + w, y + h});
    lineToPoint({x, y + h});
    closePath();
}

void BezierPath::appendBezierPathWithOvalInRect(const Rect& rect) {
    const Rect r = RectStandardize(rect);
    const double cx = MidX(r), cy = MidY(r), rx = r.size.width / 2, ry = r.size.height / 2;
    const double kx = rx * kKappa, ky = ry * kKappa;
    moveToPoint({cx + rx, cy});
    curveToPoint({cx, cy + ry}, {cx + rx, cy + ky}, {cx + kx, cy + ry});
    curveToPoint({cx - rx, cy}, {cx - kx, cy + ry}, {cx - rx, cy + ky});
    curveToPoint({cx, cy - ry}, {cx - rx, cy - ky}, {cx - kx, cy - ry});
    curveToPoint({cx + rx, cy}, {cx + kx, cy - ry}, {cx + rx, cy - ky});
    closePath();
}

void BezierPath::appendBezierPathWithRoundedRect(const Rect& rect, double xRadius, double yRadius) {
    const Rect r = RectStandardize(rect);
    const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    double rx = std::clamp(xRadius, 0.0, w / 2), ry = std::clamp(yRadius, 0.0, h / 2);
    if (!(rx > 0) || !(ry > 0)) {
        appendBezierPathWithRect(r);
        return;
    }
    const double kx = rx * (1 - kKappa), ky = ry * (1 - kKappa);
    const double right = x + w, top = y + h;
    moveToPoint({x + rx, y});
    lineToPoint({right - rx, y});
    curveToPoint({right, y + ry}, {right - kx, y}, {right, y + ky});
    lineToPoint({right, top - ry});
    curveToPoint({right - rx, top}, {right, top - ky}, {right - kx, top});
    lineToPoint({x + rx, top});
    curveToPoint({x, top - ry}, {x + kx, top}, {x, top - ky});
    lineToPoint({x, y + ry});
    curveToPoint({x + rx, y}, {x, y + ky}, {x + kx, y});
    closePath();
}

void BezierPath::appendArc(const Point& c, double r, double start, double sweep) {
    const Point first{c.x + r * std::cos(start), c.y + r * std::sin(start)};
    if (hasCurrentPoint() && elements_.back().type != ElementType::ClosePath) {
        if (!(currentPoint() == first)) lineToPoint(first);
    } else
        moveToPoint(first);
    if (sweep == 0 || !(r > 0)) return;
    const int segments = std::max(1, int(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
    const double step = sweep / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double a = start;
    for (int i = 0; i < segments; ++i) {
        const double b = a + step;
        const Point p0{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        const Point p3{c.x + r * std::cos(b), c.y + r * std::sin(b)};
        const Point c1{p0.x - k * r * std::sin(a), p0.y + k * r * std::cos(a)};
        const Point c2{p3.x + k * r * std::sin(b), p3.y - k * r * std::cos(b)};
        curveToPoint(p3, c1, c2);
        a = b;
    }
}

void BezierPath::appendBezierPathWithArcWithCenter(const Point& center, double radius, double startAngle,
                                                   double endAngle, bool clockwise) {
    double sweep;
    if (!clockwise) {
        sweep = std::fmod(endAngle - startAngle, 360.0);
        if (sweep < 0) sweep += 360.0;
        if (sweep == 0 && endAngle != startAngle) sweep = 360.0;
    } else {
        sweep = std::fmod(startAngle - endAngle, 360.0);
        if (sweep < 0) sweep += 360.0;
        if (sweep == 0 && endAngle != startAngle) sweep = 360.0;
        sweep = -sweep;
    }
    appendArc(center, radius, startAngle * M_PI / 180.0, sweep * M_PI / 180.0);
}

void BezierPath::appendBezierPathWithArcFromPoint(const Point& p1, const Point& p2, double radius) {
    if (!hasCurrentPoint()) {
        moveToPoint(p1);
        return;
    }
    const Point p0 = currentPoint();
    const Point v1 = sub(p0, p1), v2 = sub(p2, p1);
    const double l1 = length(v1), l2 = length(v2);
    const double cross = v1.x * v2.y - v1.y * v2.x;
    if (!(radius > 0) || l1 == 0 || l2 == 0 || std::fabs(cross) < 1e-12 * l1 * l2) {
        lineToPoint(p1);
        return;
    }
    const Point u1 = mul(v1, 1 / l1), u2 = mul(v2, 1 / l2);
    const double cosTheta = std::clamp(u1.x * u2.x + u1.y * u2.y, -1.0, 1.0);
    const double theta = std::acos(cosTheta);  // the angle at the corner
    const double tangent = radius / std::tan(theta / 2);
    const Point t1 = add(p1, mul(u1, tangent)), t2 = add(p1, mul(u2, tangent));
    Point bisector = add(u1, u2);
    bisector = mul(bisector, 1 / length(bisector));
    const Point c = add(p1, mul(bisector, radius / std::sin(theta / 2)));
    const double a1 = std::atan2(t1.y - c.y, t1.x - c.x), a2 = std::atan2(t2.y - c.y, t2.x - c.x);
    double sweep = a2 - a1;
    while (sweep > M_PI) sweep -= 2 * M_PI;
    while (sweep < -M_PI) sweep += 2 * M_PI;
    // appendArc joins with a line to the first tangent point.
    appendArc(c, radius, a1, sweep);
}

Point BezierPath::currentPoint() const {
    if (elements_.empty()) return {};
    const Element& last = elements_.back();
    switch (last.type) {
    case ElementType::MoveTo:
    case ElementType::LineTo:
        return last.points[0];
    case ElementType::CurveTo:
        return last.points[2];
    case ElementType::ClosePath:
        for (auto it = elements_.rbegin(); it != elements_.rend(); ++it)
            if (it->type == ElementType::MoveTo) return it->points[0];
        return {};
    }
    return {};
}

QPainterPath BezierPath::toQPainterPath() const {
    QPainterPath path;
    path.setFillRule(windingRule_ == WindingRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    for (const Element& e : elements_) {
        switch (e.type) {
        case ElementType::MoveTo:
            path.moveTo(e.points[0].x, e.points[0].y);
            break;
        case ElementType::LineTo:
            path.lineTo(e.points[0].x, e.points[0].y);
            break;
        case ElementType::CurveTo:
            path.cubicTo(e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
            break;
        case ElementType::ClosePath:
            path.closeSubpath();
            break;
        }
    }
    return path;
}

Rect BezierPath::bounds() const {
    if (elements_.empty()) return RectZero;
    const QRectF r = toQPainterPath().boundingRect();
    return MakeRect(r.x(), r.y(), r.width(), r.height());
}

Rect BezierPath::controlPointBounds() const {
    if (elements_.empty()) return RectZero;
    const QRectF r = toQPainterPath().controlPointRect();
    return MakeRect(r.x(), r.y(), r.width(), r.height());
}

bool BezierPath::containsPoint(const Point& p) const { return toQPainterPath().contains(QPointF(p.x, p.y)); }

void BezierPath::transformUsingAffineTransform(const AffineTransform& transform) {
    for (Element& e : elements_) {
        const int n = e.type == ElementType::CurveTo ? 3 : (e.type == ElementType::ClosePath ? 0 : 1);
        for (int i = 0; i < n; ++i) e.points[i] = transform.transformPoint(e.points[i]);
    }
}

QPen BezierPath::pen() const {
    QPen pen;
    pen.setWidthF(lineWidth_);
    pen.setCapStyle(lineCap_ == LineCapStyle::Round    ? Qt::RoundCap
                    : lineCap_ == LineCapStyle::Square ? Qt::SquareCap
                                                       : Qt::FlatCap);
    pen.setJoinStyle(lineJoin_ == LineJoinStyle::Round   ? Qt::RoundJoin
                     : lineJoin_ == LineJoinStyle::Bevel ? Qt::BevelJoin
                                                         : Qt::MiterJoin);
    pen.setMiterLimit(miterLimit_);
    return pen;
}

void BezierPath::fill() const {
    if (auto* c = GraphicsContext::currentContext()) c->fillPath(toQPainterPath());
}

void BezierPath::stroke() const {
    if (auto* c = GraphicsContext::currentContext()) c->strokePath(toQPainterPath(), pen());
}

void BezierPath::addClip() const {
    if (auto* c = GraphicsContext::currentContext()) c->clipToPath(toQPainterPath());
}

void BezierPath::setClip() const {
    if (auto* c = GraphicsContext::currentContext()) c->setClipPath(toQPainterPath());
}

void BezierPath::fillRect(const Rect& rect) { bezierPathWithRect(rect)->fill(); }

void BezierPath::strokeRect(const Rect& rect) { bezierPathWithRect(rect)->stroke(); }

void BezierPath::clipRect(const Rect& rect) { bezierPathWithRect(rect)->addClip(); }

void BezierPath::strokeLineFromPoint(const Point& from, const Point& to) {
    BezierPath path;
    path.moveToPoint(from);
    path.lineToPoint(to);
    path.stroke();
}

}  // namespace qs
