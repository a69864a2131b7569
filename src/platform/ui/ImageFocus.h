#pragma once
// Drawing into an image (the platform's lockFocus / unlockFocus on an image). While the
// focus is held, the current graphics context paints a canvas of the image's size in
// whole pixels (what the image showed so far is on it); unlocking makes that canvas the
// image's only representation, a cached one (ImageRep::Kind::Cached). The caller's
// context and graphics state come back at unlock.

#include "platform/foundation/Image.h"
#include "platform/ui/GraphicsContext.h"

namespace qs {

class ImageFocus {
public:
    explicit ImageFocus(ImagePtr image);
    ~ImageFocus() { unlock(); }
    ImageFocus(const ImageFocus&) = delete;
    ImageFocus& operator=(const ImageFocus&) = delete;

    // False when the image is below one pixel: nothing drawn reaches it.
    bool isLocked() const { return static_cast<bool>(context_); }
    GraphicsContext* context() { return context_.get(); }
    // The canvas as it is now (a copy).
    ImageRepPtr canvasCopy() const { return canvas_ ? canvas_->copy() : nullptr; }
    void unlock();

private:
    ImagePtr image_;
    ImageRepPtr canvas_;
    GraphicsContextPtr context_;
};

}  // namespace qs
