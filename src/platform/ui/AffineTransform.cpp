#include "platform/ui/AffineTransform.h"

#include <cmath>

#include "platform/ui/GraphicsContext.h"

namespace qs {

void AffineTransform::translateXBy(double x, double y) { t_.translate(x, y); }

void AffineTransform::rotateByDegrees(double degrees) { rotateByRadians(degrees * M_PI / 180.0); }

void AffineTransform::rotateByRadians(double radians) {
    // QTransform::rotate rounds its sine and cosine for multiples of 90°; build the
    // matrix ourselves so every angle is treated alike.
    // Quarter turns come out exact (cos 90° is not quite 0 in floating point), so that
    // a bitmap turned by them maps pixel onto pixel.
    auto snap = [](double v) { return std::fabs(v) < 1e-12 ? 0.0 : std::fabs(std::fabs(v) - 1.0) < 1e-12 ? std::copysign(1.0, v) : v; };
    const double c = snap(std::cos(radians)), s = snap(std::sin(radians));
    t_ = QTransform(c, s, -s, c, 0, 0) * t_;
}

void AffineTransform::scaleXBy(double sx, double sy) { t_.scale(sx, sy); }

void AffineTransform::appendTransform(const AffineTransform& other) { t_ = t_ * other.t_; }

void AffineTransform::prependTransform(const AffineTransform& other) { t_ = other.t_ * t_; }

void AffineTransform::invert() {
    bool ok = false;
    QTransform inv = t_.inverted(&ok);
    if (ok) t_ = inv;
}

Point AffineTransform::transformPoint(const Point& p) const {
    QPointF q = t_.map(QPointF(p.x, p.y));
    return {q.x(), q.y()};
}

Size AffineTransform::transformSize(const Size& s) const {
    return {t_.m11() * s.width + t_.m21() * s.height, t_.m12() * s.width + t_.m22() * s.height};
}

AffineTransformStruct AffineTransform::transformStruct() const {
    return {t_.m11(), t_.m12(), t_.m21(), t_.m22(), t_.dx(), t_.dy()};
}

void AffineTransform::setTransformStruct(const AffineTransformStruct& s) {
    t_ = QTransform(s.m11, s.m12, s.m21, s.m22, s.tX, s.tY);
}

void AffineTransform::concat() const {
    if (auto* context = GraphicsContext::currentContext()) context->concatCTM(t_);
}

void AffineTransform::set() const {
    if (auto* context = GraphicsContext::currentContext()) context->setCTM(t_);
}

}  // namespace qs
