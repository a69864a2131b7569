#pragma once
// A path of lines and cubic curves (the platform's NSBezierPath) in the platform's y-up
// points, with the drawing attributes the platform keeps on a path: line width (1.0 by
// default), flatness (0.6, kept but not used: Qt flattens curves itself), winding rule
// (non-zero), line cap (butt), line join (miter) and miter limit (10).
//
// Arcs are turned into cubic curves here: counter-clockwise means counter-clockwise
// with y up (Qt's own arc calls turn the other way and are not used).

#include <QPainterPath>
#include <memory>
#include <vector>

#include "platform/foundation/Geometry.h"

namespace qs {

class AffineTransform;
class BezierPath;
using BezierPathPtr = std::shared_ptr<BezierPath>;

class BezierPath {
public:
    enum class ElementType { MoveTo, LineTo, CurveTo, ClosePath };
    // A curve's points are its two control points, then its end point.
    struct Element {
        ElementType type = ElementType::MoveTo;
        Point points[3];
    };
    enum class WindingRule { NonZero, EvenOdd };
    enum class LineCapStyle { Butt, Round, Square };
    enum class LineJoinStyle { Miter, Round, Bevel };

    static BezierPathPtr bezierPath();
    static BezierPathPtr bezierPathWithRect(const Rect& rect);
    static BezierPathPtr bezierPathWithOvalInRect(const Rect& rect);
    static BezierPathPtr bezierPathWithRoundedRect(const Rect& rect, double xRadius, double yRadius);

    BezierPathPtr copy() const { return std::make_shared<BezierPath>(*this); }

    // Drawing attributes.
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    double flatness() const { return flatness_; }
    void setFlatness(double flatness) { flatness_ = flatness; }
    WindingRule windingRule() const { return windingRule_; }
    void setWindingRule(WindingRule rule) { windingRule_ = rule; }
    LineCapStyle lineCapStyle() const { return lineCap_; }
    void setLineCapStyle(LineCapStyle cap) { lineCap_ = cap; }
    LineJoinStyle lineJoinStyle() const { return lineJoin_; }
    void setLineJoinStyle(LineJoinStyle join) { lineJoin_ = join; }
    double miterLimit() const { return miterLimit_; }
    void setMiterLimit(double limit) { miterLimit_ = limit; }

    // Construction.
    void moveToPoint(const Point& p);
    void lineToPoint(const Point& p);
    void curveToPoint(const Point& end, const Point& control1, const Point& control2);
    void closePath();
    void removeAllPoints() { elements_.clear(); }
    void appendBezierPath(const BezierPath& other);
    void appendBezierPathWithRect(const Rect& rect);
    void appendBezierPathWithOvalInRect(const Rect& rect);
    // Radii above half the width / height are limited to it.
    void appendBezierPathWithRoundedRect(const Rect& rect, double xRadius, double yRadius);
    // A line from the current point toward `fromPoint` and an arc of the radius tangent
    // to the lines current → fromPoint and fromPoint → toPoint (a plain line to
    // fromPoint when they are collinear or the radius is not positive).
    void appendBezierPathWithArcFromPoint(const Point& fromPoint, const Point& toPoint, double radius);
    // An arc of the circle from startAngle to endAngle (degrees, counter-clockwise from
    // the x axis with y up), joined by a line from the current point when there is one.
    void appendBezierPathWithArcWithCenter(const Point& center, double radius, double startAngle, double endAngle,
                                           bool clockwise = false);

    // Queries.
    bool isEmpty() const { return elements_.empty(); }
    int elementCount() const { return int(elements_.size()); }
    const Element& elementAtIndex(int index) const { return elements_.at(size_t(index)); }
    const std::vector<Element>& elements() const { return elements_; }
    bool hasCurrentPoint() const { return !elements_.empty(); }
    Point currentPoint() const;
    // The tightest rectangle around the path's outline / around all of its points,
    // control points included (the zero rectangle for an empty path).
    Rect bounds() const;
    Rect controlPointBounds() const;
    bool containsPoint(const Point& p) const;

    void transformUsingAffineTransform(const AffineTransform& transform);

    // Drawing in the current graphics context: fill with the fill colour, stroke with the
    // stroke colour and the path's line attributes, intersect / replace the clip.
    void fill() const;
    void stroke() const;
    void addClip() const;
    void setClip() const;

    static void fillRect(const Rect& rect);
    static void strokeRect(const Rect& rect);
    static void clipRect(const Rect& rect);
    static void strokeLineFromPoint(const Point& from, const Point& to);

    QPainterPath toQPainterPath() const;
    QPen pen() const;

private:
    void appendArc(const Point& center, double radius, double startRadians, double sweepRadians);
    std::vector<Element> elements_;
    double lineWidth_ = 1.0;
    double flatness_ = 0.6;
    double miterLimit_ = 10.0;
    WindingRule windingRule_ = WindingRule::NonZero;
    LineCapStyle lineCap_ = LineCapStyle::Butt;
    LineJoinStyle lineJoin_ = LineJoinStyle::Miter;
};

}  // namespace qs
