#include "toolkit/NTImageMaker.h"

#include <cmath>

#include "platform/foundation/Log.h"
#include "platform/ui/ViewGeometry.h"

namespace qs {

std::shared_ptr<NTImageMaker> NTImageMaker::maker(const Size& size) { return std::make_shared<NTImageMaker>(size); }

namespace {
// The canvas side in pixels: 0 (no canvas) below one pixel, beyond what a bitmap can be
// painted at, or for a size that is not a number.
int canvasPixels(double points) {
    if (!(points >= 1)) return 0;
    if (points > Image::kMaxDecodeSide) return -1;
    return int(std::trunc(points));
}
}  // namespace

void NTImageMaker::lockFocus() {
    if (locked()) {
        log("imageMaker is already locked");
        return;
    }
    setLocked(true);
    const Size s = size();
    int w = canvasPixels(s.width), h = canvasPixels(s.height);
    if (w < 0 || h < 0 || (long long)w * h > Image::kMaxDecodePixels) {
        log("imageMaker refuses a canvas of ", s.width, " x ", s.height, " points");
        w = h = 0;
    }
    // A zero-filled canvas: fully transparent.
    auto rep = ImageRep::makeCanvas(w, h);
    setBitmapImageRep(rep);
    auto context = GraphicsContext::graphicsContextWithBitmapImageRep(rep);
    setBitmapContext(context);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stateSaved_ = false;
    }
    if (!context) return;
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(context);
    setSavedImageInterpolation(context->imageInterpolation());
    context->setImageInterpolation(ImageInterpolation::High);
    std::lock_guard<std::mutex> lock(mutex_);
    stateSaved_ = true;
}

ImagePtr NTImageMaker::unlockFocus(bool isTemplate) {
    if (!locked()) {
        log("imageMaker is not locked");
        return nullptr;
    }
    setLocked(false);
    auto context = bitmapContext();
    bool saved;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        saved = stateSaved_;
        stateSaved_ = false;
    }
    if (context) context->setImageInterpolation(savedImageInterpolation());
    if (saved) GraphicsContext::restoreGraphicsState();
    // The canvas is final from here on: images handed out share it.
    if (context) context->end();
    auto image = std::make_shared<Image>(size());
    auto rep = bitmapImageRep();
    if (rep && !rep->isEmpty()) image->addRepresentation(rep);
    image->setTemplate(isTemplate);
    return image;
}

ImageRepPtr NTImageMaker::imageRep() const {
    auto rep = bitmapImageRep();
    return rep ? rep->copy() : nullptr;
}

Size NTImageMaker::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return size_;
}

void NTImageMaker::setSize(const Size& size) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_ = size;
}

ImageInterpolation NTImageMaker::savedImageInterpolation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return savedInterpolation_;
}

void NTImageMaker::setSavedImageInterpolation(ImageInterpolation interpolation) {
    std::lock_guard<std::mutex> lock(mutex_);
    savedInterpolation_ = interpolation;
}

ImageRepPtr NTImageMaker::bitmapImageRep() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rep_;
}

void NTImageMaker::setBitmapImageRep(ImageRepPtr rep) {
    std::lock_guard<std::mutex> lock(mutex_);
    rep_ = std::move(rep);
}

GraphicsContextPtr NTImageMaker::bitmapContext() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return context_;
}

void NTImageMaker::setBitmapContext(GraphicsContextPtr context) {
    std::lock_guard<std::mutex> lock(mutex_);
    context_ = std::move(context);
}

bool NTImageMaker::locked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return locked_;
}

void NTImageMaker::setLocked(bool locked) {
    std::lock_guard<std::mutex> lock(mutex_);
    locked_ = locked;
}

// ---------------------------------------------------------------------------------

namespace NSGraphicsContext_NTExtensions {

double radians(double degrees) { return degrees * M_PI / 180.0; }

double degrees(double radians) { return radians * 180.0 / M_PI; }

void rotateContext(double degrees, const Rect& inRect) {
    const double r = radians(degrees);
    if (r == 0) return;  // a NaN is not 0 and turns the context
    auto* context = GraphicsContext::currentContext();
    if (!context) return;
    const double w = inRect.size.width, h = inRect.size.height;
    context->translateCTM(w / 2, h / 2);
    context->rotateCTM(-r);
    context->translateCTM(-w / 2, -h / 2);
}

}  // namespace NSGraphicsContext_NTExtensions

namespace NSImageView_ImageFrame {

Size sizeByScalingProportionallyToSize(const Size& target, const Size& source) {
    const double tw = target.width, th = target.height, sw = source.width, sh = source.height;
    if (!(sw > 0) || !(sh > 0)) return SizeZero;
    if (sw > sh) {
        if (tw <= th * sw / sh) return {tw, tw * sh / sw};
        return {th * sw / sh, th};
    }
    if (tw * sh / sw < th) return {tw, tw * sh / sw};
    return {th * sw / sh, th};
}

Rect imageFrame(const ImageView* view) {
    if (!view) return RectZero;
    Rect frame = ViewGeometry::bounds(view);
    switch (view->imageFrameStyle()) {
    case ImageFrameStyle::Photo:
        frame = MakeRect(frame.origin.x + 1, frame.origin.y + 2, frame.size.width - 3, frame.size.height - 3);
        break;
    case ImageFrameStyle::GrayBezel:
        frame = MakeRect(frame.origin.x + 8, frame.origin.y + 8, frame.size.width - 16, frame.size.height - 16);
        break;
    case ImageFrameStyle::Groove:
    case ImageFrameStyle::Button:
        frame = MakeRect(frame.origin.x + 2, frame.origin.y + 2, frame.size.width - 4, frame.size.height - 4);
        break;
    case ImageFrameStyle::None:
        break;
    }
    const Size imageSize = view->image() ? view->image()->size() : SizeZero;
    Size size;
    switch (view->imageScaling()) {
    case ImageScaling::ProportionallyDown:
        size = sizeByScalingProportionallyToSize(
            {std::fmin(imageSize.width, frame.size.width), std::fmin(imageSize.height, frame.size.height)}, imageSize);
        break;
    case ImageScaling::ProportionallyUpOrDown:
        size = sizeByScalingProportionallyToSize(frame.size, imageSize);
        break;
    case ImageScaling::AxesIndependently:
        size = frame.size;
        break;
    case ImageScaling::None:
        size = imageSize;
        break;
    }
    Point origin;
    switch (view->imageAlignment()) {
    case ImageAlignment::Top:
    case ImageAlignment::TopLeft:
    case ImageAlignment::TopRight:
        origin.y = frame.origin.y + frame.size.height - size.height;
        break;
    case ImageAlignment::Bottom:
    case ImageAlignment::BottomLeft:
    case ImageAlignment::BottomRight:
        origin.y = frame.origin.y;
        break;
    default:
        origin.y = frame.origin.y + frame.size.height / 2 - size.height / 2;
        break;
    }
    switch (view->imageAlignment()) {
    case ImageAlignment::TopLeft:
    case ImageAlignment::BottomLeft:
    case ImageAlignment::Left:
        origin.x = frame.origin.x;
        break;
    case ImageAlignment::TopRight:
    case ImageAlignment::BottomRight:
    case ImageAlignment::Right:
        origin.x = frame.origin.x + frame.size.width - size.width;
        break;
    default:
        origin.x = frame.origin.x + frame.size.width / 2 - size.width / 2;
        break;
    }
    return MakeRect(std::round(origin.x), std::round(origin.y), std::ceil(size.width), std::ceil(size.height));
}

}  // namespace NSImageView_ImageFrame

}  // namespace qs
