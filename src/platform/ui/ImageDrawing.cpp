#include "platform/ui/ImageDrawing.h"

#include <cmath>

namespace qs {

namespace {

bool isZeroRect(const Rect& r) { return r.origin.x == 0 && r.origin.y == 0 && r.size.width == 0 && r.size.height == 0; }

void draw(const Image& image, Rect dest, const Rect& fromRect, CompositingOperation op, double fraction,
          bool upright) {
    auto* context = GraphicsContext::currentContext();
    if (!context || !context->isDrawing()) return;
    const Size size = image.size();
    if (!(size.width > 0) || !(size.height > 0)) return;
    Rect from = isZeroRect(fromRect) ? MakeRect(0, 0, size.width, size.height) : RectStandardize(fromRect);
    if (from.size.width <= 0 || from.size.height <= 0 || dest.size.width == 0 || dest.size.height == 0) return;
    // A source reaching beyond the image draws only its part inside, where it would
    // have landed.
    const Rect inside = RectIntersection(from, MakeRect(0, 0, size.width, size.height));
    if (RectIsNull(inside) || RectIsEmpty(inside)) return;
    if (!(inside == from)) {
        const double sx = dest.size.width / from.size.width, sy = dest.size.height / from.size.height;
        dest = MakeRect(dest.origin.x + (inside.origin.x - from.origin.x) * sx,
                        dest.origin.y + (inside.origin.y - from.origin.y) * sy, inside.size.width * sx,
                        inside.size.height * sy);
        from = inside;
    }
    const QTransform device = context->painter()->deviceTransform();
    const double scaleX = std::hypot(device.m11(), device.m12()), scaleY = std::hypot(device.m21(), device.m22());
    const double needW = std::fabs(dest.size.width) * scaleX * size.width / from.size.width;
    const double needH = std::fabs(dest.size.height) * scaleY * size.height / from.size.height;
    ImageRepPtr rep = image.bestRepresentationForPixelSize(needW, needH);
    if (!rep) return;
    const QImage pixels = rep->image();
    if (pixels.isNull()) return;
    const double kx = pixels.width() / size.width, ky = pixels.height() / size.height;
    const QRectF source(from.origin.x * kx, (size.height - from.origin.y - from.size.height) * ky,
                        from.size.width * kx, from.size.height * ky);
    context->drawPixels(pixels, dest, source, op, fraction, upright);
}

}  // namespace

void drawImageInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op,
                     double fraction, bool respectFlipped) {
    draw(image, rect, fromRect, op, fraction, respectFlipped);
}

void drawImageInRect(const Image& image, const Rect& rect) {
    draw(image, rect, RectZero, CompositingOperation::SourceOver, 1.0, false);
}

void drawImageAtPoint(const Image& image, const Point& point, const Rect& fromRect, CompositingOperation op,
                      double fraction) {
    auto* context = GraphicsContext::currentContext();
    if (!context) return;
    const Size size = isZeroRect(fromRect) ? image.size() : RectStandardize(fromRect).size;
    if (context->isFlipped())
        draw(image, MakeRect(point.x, point.y - size.height, size.width, size.height), fromRect, op, fraction, true);
    else
        draw(image, MakeRect(point.x, point.y, size.width, size.height), fromRect, op, fraction, false);
}

QImage renderImage(const Image& image, QImage::Format format) {
    const int w = int(image.size().width), h = int(image.size().height);
    if (w < 1 || h < 1) return {};
    auto rep = ImageRep::makeCanvas(w, h);
    {
        GraphicsContextScope scope(GraphicsContext::graphicsContextWithBitmapImageRep(rep));
        if (!GraphicsContext::currentContext()) return {};
        drawImageAtPoint(image, {0, 0}, RectZero, CompositingOperation::Copy, 1.0);
    }
    QImage out = rep->image();
    return out.format() == format ? out : out.convertToFormat(format);
}

}  // namespace qs
