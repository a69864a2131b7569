#pragma once
// Casting a shadow for one drawing primitive: the primitive is painted into a layer,
// the layer's coverage is blurred (three box passes, close to a Gaussian of standard
// deviation blur / 2), tinted with the shadow colour and composited, offset, under
// where the primitive will be drawn. Everything here is in device pixels.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <cstdint>
#include <functional>

namespace qs::ShadowRenderer {

struct Spec {
    QColor color;
    double dx = 0.0;  // device pixels, x right
    double dy = 0.0;  // device pixels, y down
    double blur = 0.0;
};

// Paints the shadow of what `paint` draws (into a painter whose transform maps the
// primitive's coordinates to the layer) onto `target`. `bounds` is where the primitive
// reaches, `visible` the part of the target that can change; both in device pixels.
void cast(QPainter& target, const QRectF& bounds, const QRectF& visible, double devicePixelRatio, const Spec& spec,
          const std::function<void(QPainter&)>& paint);

// Blurs an 8-bit coverage buffer in place (rows `stride` bytes apart) with three box
// passes approximating a Gaussian of the standard deviation.
void blurCoverage(uint8_t* data, int width, int height, int stride, double sigma);

// The margin a blur of that radius needs around the shape, in pixels.
int blurMargin(double blur);

}  // namespace qs::ShadowRenderer
