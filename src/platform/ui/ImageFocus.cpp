#include "platform/ui/ImageFocus.h"

#include <cmath>

#include "platform/foundation/Log.h"
#include "platform/ui/ImageDrawing.h"

namespace qs {

ImageFocus::ImageFocus(ImagePtr image) : image_(std::move(image)) {
    if (!image_) return;
    const Size size = image_->size();
    if (!(size.width >= 1) || !(size.height >= 1)) return;
    const int w = int(std::fmin(size.width, 1e9)), h = int(std::fmin(size.height, 1e9));
    canvas_ = ImageRep::makeCanvas(w, h, ImageRep::Kind::Cached);
    context_ = GraphicsContext::graphicsContextWithBitmapImageRep(canvas_);
    if (!context_) {
        log("cannot draw into an image of ", image_->size().width, " x ", image_->size().height, " points");
        return;
    }
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
