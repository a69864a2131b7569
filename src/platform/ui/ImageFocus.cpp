#include "platform/ui/ImageFocus.h"

#include "platform/ui/ImageDrawing.h"

namespace qs {

ImageFocus::ImageFocus(ImagePtr image) : image_(std::move(image)) {
    if (!image_) return;
    const int w = int(image_->size().width), h = int(image_->size().height);
    if (w < 1 || h < 1) return;
    canvas_ = ImageRep::makeCanvas(w, h, ImageRep::Kind::Cached);
    context_ = GraphicsContext::graphicsContextWithBitmapImageRep(canvas_);
    if (!context_) return;
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(context_);
    if (image_->isValid()) drawImageAtPoint(*image_, {0, 0}, RectZero, CompositingOperation::Copy, 1.0);
}

void ImageFocus::unlock() {
    if (!context_) return;
    GraphicsContext::restoreGraphicsState();
    context_->end();
    context_.reset();
    for (auto rep : std::vector<ImageRepPtr>(image_->representations())) image_->removeRepresentation(rep);
    image_->addRepresentation(canvas_);
}

}  // namespace qs
