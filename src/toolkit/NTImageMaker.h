#pragma once
// The toolkit's offscreen canvas: a 32-bit RGBA bitmap of a given size that is the
// current graphics context between lockFocus and unlockFocus, and becomes a new image.
// Also the graphics-context helpers (angles, rotating the context) and the rectangle an
// image view's image takes.
//
// Use:  auto maker = NTImageMaker::maker(size); maker->lockFocus(); ...draw in y-up
//       points...; ImagePtr image = maker->unlockFocus();
// A maker can be locked again after unlocking; each unlock hands out a new image and
// images already handed out keep their pixels. Lock and unlock on the same thread.

#include <memory>
#include <mutex>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageView.h"

namespace qs {

class NTImageMaker {
public:
    static std::shared_ptr<NTImageMaker> maker(const Size& size);
    explicit NTImageMaker(const Size& size) : size_(size) {}

    // Makes a fresh transparent canvas of trunc(width) × trunc(height) pixels current,
    // with high image interpolation. Logs "imageMaker is already locked" when locked.
    void lockFocus();
    // Puts the caller's context back and returns an image of the maker's size (in
    // points) holding the canvas, with the template flag. Logs "imageMaker is not
    // locked" and answers nullptr when not locked.
    ImagePtr unlockFocus(bool isTemplate);
    ImagePtr unlockFocus() { return unlockFocus(false); }
    // A copy of the canvas (nullptr before the first lockFocus).
    ImageRepPtr imageRep() const;

    Size size() const;
    void setSize(const Size& size);
    ImageInterpolation savedImageInterpolation() const;
    void setSavedImageInterpolation(ImageInterpolation interpolation);
    ImageRepPtr bitmapImageRep() const;
    void setBitmapImageRep(ImageRepPtr rep);
    GraphicsContextPtr bitmapContext() const;
    void setBitmapContext(GraphicsContextPtr context);
    bool locked() const;
    void setLocked(bool locked);

private:
    mutable std::mutex mutex_;
    Size size_;
    ImageInterpolation savedInterpolation_ = ImageInterpolation::Default;
    ImageRepPtr rep_;
    GraphicsContextPtr context_;
    bool locked_ = false;
    // Whether lockFocus saved the caller's graphics state (it does not when no canvas
    // could be made), so that unlockFocus restores only a state it saved.
    bool stateSaved_ = false;
};

using NTImageMakerPtr = std::shared_ptr<NTImageMaker>;

namespace NSGraphicsContext_NTExtensions {
double radians(double degrees);
double degrees(double radians);
// Turns the current context clockwise by the angle about the point at half the
// rectangle's size (its origin is not used). Nothing is saved or restored.
void rotateContext(double degrees, const Rect& inRect);
}  // namespace NSGraphicsContext_NTExtensions

namespace NSImageView_ImageFrame {
// The rectangle of the view's bounds where its image is drawn.
Rect imageFrame(const ImageView* view);
// The source size scaled to fit the target, aspect kept (the zero size for an empty
// source).
Size sizeByScalingProportionallyToSize(const Size& target, const Size& fromSize);
}  // namespace NSImageView_ImageFrame

}  // namespace qs
