#include "platform/ui/ImageCell.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageDrawing.h"

namespace qs {

Rect ImageCell::imageRectForFrame(const Rect& frame) const {
    if (!image_) return RectZero;
    Size s = image_->size();
    const Size f = frame.size;
    switch (scaling_) {
    case ImageScaling::AxesIndependently:
        return frame;
    case ImageScaling::None:
        break;
    case ImageScaling::ProportionallyDown:
    case ImageScaling::ProportionallyUpOrDown:
        if (s.width > 0 && s.height > 0 &&
            (scaling_ == ImageScaling::ProportionallyUpOrDown || s.width > f.width || s.height > f.height)) {
            const double k = std::min(f.width / s.width, f.height / s.height);
            s = {s.width * k, s.height * k};
        }
        break;
    }
    return MakeRect(frame.origin.x + (f.width - s.width) / 2, frame.origin.y + (f.height - s.height) / 2, s.width,
                    s.height);
}

void ImageCell::drawWithFrame(const Rect& frame, QWidget*) {
    auto* context = GraphicsContext::currentContext();
    if (!image_ || !context || !context->isDrawing()) return;
    const Rect dest = imageRectForFrame(frame);
    if (dest.size.width <= 0 || dest.size.height <= 0) return;
    const bool silhouette = image_->isTemplate();
    if (!silhouette && !highlighted_) {
        drawImageInRect(*image_, dest, RectZero, CompositingOperation::SourceOver, 1.0, true);
        return;
    }
    // Tinted drawings go through a bitmap of the destination's size.
    const int w = std::max(1, int(std::ceil(dest.size.width))), h = std::max(1, int(std::ceil(dest.size.height)));
    auto scaled = std::make_shared<Image>(Size{double(w), double(h)});
    auto rep = ImageRep::makeCanvas(w, h);
    {
        GraphicsContextScope scope(GraphicsContext::graphicsContextWithBitmapImageRep(rep));
        if (!GraphicsContext::currentContext()) return;
        drawImageInRect(*image_, MakeRect(0, 0, w, h), RectZero, CompositingOperation::Copy, 1.0);
        ColorPtr tint;
        double alpha = 1.0;
        if (silhouette) {
            tint = (highlighted_ || style_ == BackgroundStyle::Emphasized) ? Color::whiteColor()
                                                                           : Color::colorWithCalibratedWhite(0.0, 0.85);
        } else {
            tint = Color::blackColor();
            alpha = 1.0 / 3.0;
        }
        tint->colorWithAlphaComponent(tint->alphaComponent() * alpha)->setFill();
        RectFillUsingOperation(MakeRect(0, 0, w, h),
                               silhouette ? CompositingOperation::SourceIn : CompositingOperation::SourceAtop);
    }
    scaled->addRepresentation(rep);
    drawImageInRect(*scaled, dest, RectZero, CompositingOperation::SourceOver, 1.0, true);
}

}  // namespace qs
