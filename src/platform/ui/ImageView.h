#pragma once
// An image view (the platform's NSImageView): a widget showing one image in its bounds,
// with the platform's frame style, scaling and alignment. It is an unflipped view. The
// grey-bezel style draws a sunken well around the image, also while the view is empty;
// the other styles only keep their insets.

#include <QWidget>

class QPainter;

#include "platform/foundation/Image.h"
#include "platform/ui/ImageCell.h"

namespace qs {

enum class ImageFrameStyle : int { None = 0, Photo = 1, GrayBezel = 2, Groove = 3, Button = 4 };
enum class ImageAlignment : int {
    Center = 0,
    Top = 1,
    TopLeft = 2,
    TopRight = 3,
    Left = 4,
    Bottom = 5,
    BottomLeft = 6,
    BottomRight = 7,
    Right = 8
};

class ImageView : public QWidget {
public:
    explicit ImageView(QWidget* parent = nullptr);

    ImagePtr image() const { return image_; }
    void setImage(ImagePtr image);
    ImageFrameStyle imageFrameStyle() const { return frameStyle_; }
    void setImageFrameStyle(ImageFrameStyle style);
    ImageScaling imageScaling() const { return scaling_; }
    void setImageScaling(ImageScaling scaling);
    ImageAlignment imageAlignment() const { return alignment_; }
    void setImageAlignment(ImageAlignment alignment);

protected:
    void paintEvent(QPaintEvent* event) override;
    void drawFrame(QPainter& painter) const;

private:
    ImagePtr image_;
    ImageFrameStyle frameStyle_ = ImageFrameStyle::None;
    ImageScaling scaling_ = ImageScaling::ProportionallyDown;
    ImageAlignment alignment_ = ImageAlignment::Center;
};

}  // namespace qs
