#pragma once
// A two-dimensional affine transform (the platform's NSAffineTransform), in the
// platform's y-up convention: a positive rotation turns counter-clockwise. The
// operations that modify a transform apply their own step first, before the steps
// already in it (so "rotate, then translate" maps a point p to R(p + t)).
//
// Matrix form (row vectors): x' = m11·x + m21·y + tX, y' = m12·x + m22·y + tY.

#include <QTransform>

#include "platform/foundation/Geometry.h"

namespace qs {

struct AffineTransformStruct {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, tX = 0, tY = 0;
};

class AffineTransform {
public:
    AffineTransform() = default;
    explicit AffineTransform(const QTransform& t) : t_(t) {}
    static AffineTransform transform() { return {}; }

    void translateXBy(double x, double y);
    void rotateByDegrees(double degrees);
    void rotateByRadians(double radians);
    void scaleBy(double scale) { scaleXBy(scale, scale); }
    void scaleXBy(double sx, double sy);
    // The other transform is applied after this one.
    void appendTransform(const AffineTransform& other);
    // The other transform is applied before this one.
    void prependTransform(const AffineTransform& other);
    void invert();

    Point transformPoint(const Point& p) const;
    Size transformSize(const Size& s) const;

    AffineTransformStruct transformStruct() const;
    void setTransformStruct(const AffineTransformStruct& s);
    const QTransform& toQTransform() const { return t_; }

    // Applies the transform to the current graphics context: concat prepends it to the
    // context's transform, set replaces the user transform by it.
    void concat() const;
    void set() const;

private:
    QTransform t_;
};

}  // namespace qs
