#include "toolkit/PathHelpers.h"

#include <QPen>
#include <cmath>
#include <mutex>

#include "platform/ui/AffineTransform.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ViewGeometry.h"
#include "toolkit/ImageHelpers.h"
#include "toolkit/NTGeometry.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/NTStandardColors.h"

namespace qs::NSBezierPath_NTExtensions {

namespace {

double singlePrecision(double v) { return double(float(v)); }

GraphicsContext* context() { return GraphicsContext::currentContext(); }

void saveState() {
    if (auto* c = context()) c->saveGState();
}

void restoreState() {
    if (auto* c = context()) c->restoreGState();
}

ColorPtr blackImageColour() { return NTColorSet::standardSet()->colorForKey("NTCS_blackImage"); }

ImagePtr filledImage(const Rect& canvas, const BezierPathPtr& path) {
    auto maker = NTImageMaker::maker(canvas.size);
    maker->lockFocus();
    if (auto colour = blackImageColour()) colour->set();
    path->fill();
    return maker->unlockFocus(true);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Factories

BezierPathPtr newPath() {
    auto path = BezierPath::bezierPath();
    path->setLineWidth(1.0);
    path->setFlatness(0.001);
    return path;
}

BezierPathPtr ovalPath(const Rect& rect) {
    auto path = BezierPath::bezierPathWithOvalInRect(rect);
    path->setLineWidth(1.5);
    path->setFlatness(0.01);
    return path;
}

BezierPathPtr rectPath(const Rect& rect) {
    auto path = BezierPath::bezierPathWithRect(rect);
    path->setLineWidth(1.0);
    path->setFlatness(0.01);
    return path;
}

BezierPathPtr roundRectPath(const Rect& rect, double radius) { return roundRectPath(rect, radius, radius); }

BezierPathPtr roundRectPath(const Rect& rect, double topRadius, double bottomRadius) {
    auto path = newPath();
    appendBezierPathWithRoundedRectangle(*path, rect, topRadius, bottomRadius);
    return path;
}

BezierPathPtr roundRectPath(const Rect& rect, double tl, double tr, double bl, double br) {
    auto path = newPath();
    appendBezierPathWithRoundedRectangle(*path, rect, tl, tr, bl, br);
    return path;
}

BezierPathPtr bottomRoundRectPath(const Rect& rect, double radius) {
    auto path = newPath();
    appendBezierPathWithBottomRoundedCorners(*path, rect, radius);
    return path;
}

BezierPathPtr bezierPathWithPlateInRect(const Rect& rect) { return bezierPathWithPlateInRect(rect, true, true); }

BezierPathPtr bezierPathWithPlateInRect(const Rect& rect, bool onLeft, bool onRight) {
    if (!onLeft && !onRight) return rectPath(rect);
    auto path = newPath();
    appendBezierPathWithPlateInRect(*path, rect, onLeft, onRight);
    return path;
}

BezierPathPtr bezierPathWithTopPlateInRect(const Rect& rect) {
    auto path = newPath();
    appendBezierPathWithTopPlateInRect(*path, rect);
    return path;
}

BezierPathPtr endcappedBezierPathForRect(const Rect& rect, int capWidth) {
    const double x = rect.origin.x, y = rect.origin.y, top = y + rect.size.height, right = x + rect.size.width;
    const double c = capWidth, t = singlePrecision(rect.size.height / 3), midY = y + rect.size.height / 2;
    auto path = newPath();
    path->moveToPoint({x, y});
    path->curveToPoint({x, top}, {x - c, midY - t}, {x - c, midY + t});
    path->lineToPoint({right, top});
    path->curveToPoint({right, y}, {right + c, midY + t}, {right + c, midY - t});
    path->closePath();
    return path;
}

BezierPathPtr chevronPath(const Rect& rect, bool pointingRight) {
    const double x = rect.origin.x, y = rect.origin.y, top = y + rect.size.height, right = x + rect.size.width;
    const double midY = y + rect.size.height / 2;
    auto path = newPath();
    if (pointingRight) {
        path->moveToPoint({x, y});
        path->lineToPoint({x + 3, y});
        path->lineToPoint({right, midY});
        path->lineToPoint({x + 3, top});
        path->lineToPoint({x, top});
        path->lineToPoint({right - 3, midY});
        path->lineToPoint({x, y});
    } else {
        path->moveToPoint({right, y});
        path->lineToPoint({right - 3, y});
        path->lineToPoint({x, midY});
        path->lineToPoint({right - 3, top});
        path->lineToPoint({right, top});
        path->lineToPoint({x + 3, midY});
        path->lineToPoint({right, y});
    }
    path->closePath();
    return path;
}

BezierPathPtr trianglePath(const Rect& rect, int direction, bool flipped) {
    auto path = newPath();
    const double x = rect.origin.x, y = rect.origin.y, top = y + rect.size.height, right = x + rect.size.width;
    const double midX = x + rect.size.width / 2, midY = y + rect.size.height / 2;
    auto triangle = [&](Point a, Point b, Point c) {
        path->moveToPoint(a);
        path->lineToPoint(b);
        path->lineToPoint(c);
        path->closePath();
    };
    switch (direction) {
    case Up:
    case Down:
        if ((direction == Up) != flipped)
            triangle({x, y}, {midX, top}, {right, y});
        else
            triangle({x, top}, {midX, y}, {right, top});
        break;
    case Left:
        triangle({right, y}, {right, top}, {x, midY});
        break;
    case Right:
        triangle({x, y}, {x, top}, {right, midY});
        break;
    default:
        break;  // no such direction (negative ones included): an empty path
    }
    return path;
}

BezierPathPtr downArrowPath(const Rect& rect) {
    auto path = newPath();
    path->moveToPoint({0, 0.65});
    path->lineToPoint({0.5, 0});
    path->lineToPoint({1, 0.65});
    path->lineToPoint({0.75, 0.65});
    path->lineToPoint({0.75, 1});
    path->lineToPoint({0.25, 1});
    path->lineToPoint({0.25, 0.65});
    path->closePath();
    AffineTransform scale;
    scale.scaleBy(rect.size.width);
    path->transformUsingAffineTransform(scale);
    return path;
}

// ---------------------------------------------------------------------------------
// Appending

void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double radius) {
    const double r = std::fmin(radius, std::fmin(rect.size.width, rect.size.height) / 2);
    path.appendBezierPathWithRoundedRect(rect, r, r);
}

void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double topRadius, double bottomRadius) {
    appendBezierPathWithRoundedRectangle(path, rect, topRadius, topRadius, bottomRadius, bottomRadius);
}

void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double tl, double tr, double bl,
                                          double br) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    const double limit = std::fmin(w, h) / 2;
    tl = std::fmin(tl, limit);
    tr = std::fmin(tr, limit);
    bl = std::fmin(bl, limit);
    br = std::fmin(br, limit);
    const double midX = x + w / 2, midY = y + h / 2, top = y + h, right = x + w;
    path.moveToPoint({midX, top});
    path.appendBezierPathWithArcFromPoint({x, top}, {x, midY}, tl);
    path.appendBezierPathWithArcFromPoint({x, y}, {midX, y}, bl);
    path.appendBezierPathWithArcFromPoint({right, y}, {right, midY}, br);
    path.appendBezierPathWithArcFromPoint({right, top}, {midX, top}, tr);
    path.closePath();
}

void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double radius, bool leftSideOnly) {
    const double r = std::fmin(radius, std::fmin(rect.size.width, rect.size.height) / 2);
    const double left = leftSideOnly ? r : r / 2, right = leftSideOnly ? r / 2 : r;
    appendBezierPathWithRoundedRectangle(path, rect, left, right, left, right);
}

void appendBezierPathWithBottomRoundedCorners(BezierPath& path, const Rect& rect, double radius) {
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    const double midX = x + w / 2, midY = y + h / 2, top = y + h, right = x + w;
    // Limited like the other rounded rectangles: a larger radius would fold the outline.
    const double r = std::fmin(radius, std::fmin(w, h) / 2);
    path.moveToPoint({right, midY});
    path.lineToPoint({right, top});
    path.lineToPoint({x, top});
    path.appendBezierPathWithArcFromPoint({x, y}, {midX, y}, r);
    path.appendBezierPathWithArcFromPoint({right, y}, {right, midY}, r);
    path.closePath();
}

void appendBezierPathWithPlateInRect(BezierPath& path, const Rect& rect, bool onLeft, bool onRight) {
    const double h = rect.size.height;
    if (!(h > 0)) return;
    const double x = rect.origin.x, y = rect.origin.y, top = y + h, right = x + rect.size.width;
    const double r = singlePrecision(h / 2);
    if (onLeft && onRight) {
        path.moveToPoint({x + r, top});
        path.appendBezierPathWithArcWithCenter({x + r, y + r}, r, 90, 270);
        path.appendBezierPathWithArcWithCenter({right - r, y + r}, r, 270, 90);
        path.closePath();
    } else if (onLeft) {
        path.moveToPoint({x + r, top});
        path.appendBezierPathWithArcWithCenter({x + r, y + r}, r, 90, 270);
        path.lineToPoint({right, y});
        path.lineToPoint({right, top});
        path.closePath();
    } else if (onRight) {
        path.moveToPoint({x, y});
        path.lineToPoint({right - r, y});
        path.appendBezierPathWithArcWithCenter({right - r, y + r}, r, 270, 90);
        path.lineToPoint({x, top});
        path.closePath();
    }
}

void appendBezierPathWithTopPlateInRect(BezierPath& path, const Rect& rect) {
    const double w = rect.size.width;
    if (!(w > 0)) return;
    const double x = rect.origin.x, y = rect.origin.y, top = y + rect.size.height;
    const double r = singlePrecision(w / 2);
    path.moveToPoint({x, y + r});
    path.appendBezierPathWithArcWithCenter({x + r, y + r}, r, 180, 0);
    path.appendBezierPathWithArcWithCenter({x + r, top - r}, r, 0, 180);
    path.closePath();
}

// ---------------------------------------------------------------------------------
// Drawing

void fillRoundRect(const Rect& rect, double radius, const ColorPtr& frameColor, double frameWidth) {
    auto path = roundRectPath(rect, radius);
    path->fill();
    if (!frameColor) return;
    saveState();
    frameColor->set();
    path->setLineWidth(frameWidth);
    path->addClip();
    path->stroke();
    restoreState();
}

void fillRoundRect(const Rect& rect, double radius, const ColorPtr& frameColor) {
    fillRoundRect(rect, radius, frameColor, 1.0);
}

void fillRoundRect(const Rect& rect, double radius) { fillRoundRect(rect, radius, nullptr, 1.0); }

void frameRoundRect(const Rect& rect, double radius) {
    saveState();
    auto path = roundRectPath(rect, radius);
    path->setLineWidth(1.0);
    path->addClip();
    path->stroke();
    restoreState();
}

void fillOval(const Rect& rect, const ColorPtr& frameColor) {
    auto path = ovalPath(rect);
    path->fill();
    if (!frameColor) return;
    frameColor->set();
    path->stroke();
}

void fillOval(const Rect& rect) { fillOval(rect, nullptr); }

void strokeOval(const Rect& rect) { ovalPath(rect)->stroke(); }

void fillTriangle(const Rect& rect, int direction, bool flipped) { trianglePath(rect, direction, flipped)->fill(); }

void eraseRect(const Rect& rect) {
    // The clear colour is set inside a saved state: a later fill in "the current colour"
    // still draws.
    saveState();
    Color::clearColor()->set();
    RectFillUsingOperation(rect, CompositingOperation::Copy);
    restoreState();
}

void erasePath(const BezierPath& path) {
    saveState();
    path.addClip();
    eraseRect(path.bounds());
    restoreState();
}

void drawGridEffect(const Rect& rect, bool isFlipped) {
    static std::once_flag once;
    static ImagePtr grid;
    std::call_once(once, [] { grid = gridImage(MakeRect(0, 0, 128, 128)); });
    if (grid) NSImage_Grayscale::tileInRect(*grid, rect, isFlipped, CompositingOperation::SourceOver, 0.05);
}

// ---------------------------------------------------------------------------------
// Images

ImagePtr convertToImage(const BezierPath& path, const ColorPtr& fillColor, const ColorPtr& frameColor,
                        bool isTemplate) {
    auto maker = NTImageMaker::maker(NTGeometry::integerRect(path.bounds()).size);
    maker->lockFocus();
    path.addClip();
    if (fillColor) {
        fillColor->set();
        path.fill();
    }
    if (frameColor) {
        frameColor->set();
        path.stroke();
    }
    return maker->unlockFocus(isTemplate);
}

ImagePtr downArrowImage(const Rect& rect) {
    return filledImage(rect, downArrowPath(MakeRect(0, 0, rect.size.width, rect.size.height)));
}

ImagePtr upArrowImage(const Rect& rect) { return NSImage_Grayscale::flip(downArrowImage(rect)); }

ImagePtr downTriangleImage(const Rect& rect, bool flipped) { return filledImage(rect, trianglePath(rect, Down, flipped)); }

ImagePtr rightTriangleImage(const Rect& rect) {
    return filledImage(rect, trianglePath(MakeRect(0, 0, rect.size.width, rect.size.height), Right, false));
}

ImagePtr leftTriangleImage(const Rect& rect) {
    return filledImage(rect, trianglePath(MakeRect(0, 0, rect.size.width, rect.size.height), Left, false));
}

ImagePtr gridImage(const Rect& rect) {
    auto maker = NTImageMaker::maker(rect.size);
    maker->lockFocus();
    Color::whiteColor()->set();
    const double w = rect.size.width, h = rect.size.height;
    for (double x = std::trunc(rect.origin.x); x < rect.origin.x + w; x += 4) RectFill(MakeRect(x, 0, 1, h));
    for (double y = std::trunc(rect.origin.y); y < rect.origin.y + h; y += 4) RectFill(MakeRect(0, y, w, 1));
    return maker->unlockFocus();
}

// ---------------------------------------------------------------------------------
// Conversions

bool isClosed(const BezierPath& path) {
    return !path.isEmpty() && path.elements().back().type == BezierPath::ElementType::ClosePath;
}

BezierPathPtr closedPath(const BezierPathPtr& path) {
    if (!path || isClosed(*path)) return path;
    auto copy = path->copy();
    copy->closePath();
    return copy;
}

void transformPathForView(BezierPath& path, const QWidget* view, const Rect& bounds) {
    if (ViewGeometry::isFlipped(view)) {
        AffineTransform flip;
        flip.translateXBy(0, bounds.size.height);
        flip.scaleXBy(1, -1);
        path.transformUsingAffineTransform(flip);
    }
    AffineTransform move;
    move.translateXBy(bounds.origin.x, bounds.origin.y);
    path.transformUsingAffineTransform(move);
}

std::optional<QPainterPath> CGPath(const BezierPath& path) {
    if (path.isEmpty()) return std::nullopt;
    QPainterPath out;
    bool open = false;
    for (const auto& e : path.elements()) {
        switch (e.type) {
        case BezierPath::ElementType::MoveTo:
            out.moveTo(e.points[0].x, e.points[0].y);
            open = true;
            break;
        case BezierPath::ElementType::LineTo:
            out.lineTo(e.points[0].x, e.points[0].y);
            open = true;
            break;
        case BezierPath::ElementType::CurveTo:
            out.cubicTo(e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
            open = true;
            break;
        case BezierPath::ElementType::ClosePath:
            out.closeSubpath();
            open = false;
            break;
        }
    }
    // An open last subpath comes back closed.
    if (open) out.closeSubpath();
    return out;
}

}  // namespace qs::NSBezierPath_NTExtensions
