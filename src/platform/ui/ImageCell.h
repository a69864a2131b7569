#pragma once
// An image cell (the platform's NSImageCell): draws an image in a frame of a view, in
// the current graphics context, upright whatever the view's flip.
//
// Scaling as the platform's image scaling values; a template image is drawn as a
// silhouette, dark on a normal or lowered background and white on an emphasized one; a
// highlighted cell draws a template white and darkens any other image by a third.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"

class QWidget;

namespace qs {

enum class ImageScaling : int { ProportionallyDown = 0, AxesIndependently = 1, None = 2, ProportionallyUpOrDown = 3 };
enum class BackgroundStyle : int { Normal = 0, Emphasized = 1, Raised = 2, Lowered = 3 };

class ImageCell {
public:
    ImagePtr image() const { return image_; }
    void setImage(ImagePtr image) { image_ = std::move(image); }
    ImageScaling imageScaling() const { return scaling_; }
    void setImageScaling(ImageScaling scaling) { scaling_ = scaling; }
    BackgroundStyle backgroundStyle() const { return style_; }
    void setBackgroundStyle(BackgroundStyle style) { style_ = style; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }

    // The rectangle the image takes in the frame.
    Rect imageRectForFrame(const Rect& frame) const;
    void drawWithFrame(const Rect& frame, QWidget* view);

private:
    ImagePtr image_;
    ImageScaling scaling_ = ImageScaling::ProportionallyDown;
    BackgroundStyle style_ = BackgroundStyle::Normal;
    bool highlighted_ = false;
};

}  // namespace qs
