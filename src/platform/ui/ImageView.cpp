#include "platform/ui/ImageView.h"

#include <QPainter>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ViewGeometry.h"

namespace qs {

ImageView::ImageView(QWidget* parent) : QWidget(parent) { ViewGeometry::setFlipped(this, false); }

void ImageView::setImage(ImagePtr image) {
    image_ = std::move(image);
    update();
}

void ImageView::setImageFrameStyle(ImageFrameStyle style) {
    frameStyle_ = style;
    update();
}

void ImageView::setImageScaling(ImageScaling scaling) {
    scaling_ = scaling;
    update();
}

void ImageView::setImageAlignment(ImageAlignment alignment) {
    alignment_ = alignment;
    update();
}

void ImageView::drawFrame(QPainter& painter) const {
    if (frameStyle_ != ImageFrameStyle::GrayBezel) return;
    // A sunken well: a little darker than the window, with a darker rim, drawn whether
    // or not it holds an image (an empty well is still a place to put one).
    const QColor window = palette().color(QPalette::Window);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(palette().color(QPalette::Dark), 1.0));
    painter.setBrush(window.darker(112));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 5.0, 5.0);
    painter.restore();
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(painter);
    if (!image_) return;
    GraphicsContextScope scope(&painter, height(), false);
    Rect frame = ViewGeometry::bounds(this);
    const double inset = frameStyle_ == ImageFrameStyle::GrayBezel ? 8
                         : frameStyle_ == ImageFrameStyle::None    ? 0
                         : frameStyle_ == ImageFrameStyle::Photo   ? 2
                                                                   : 2;
    frame = RectInset(frame, inset, inset);
    if (RectIsNull(frame)) return;
    ImageCell cell;
    cell.setImage(image_);
    cell.setImageScaling(scaling_);
    Rect r = cell.imageRectForFrame(frame);
    switch (alignment_) {
    case ImageAlignment::Top: case ImageAlignment::TopLeft: case ImageAlignment::TopRight:
        r.origin.y = MaxY(frame) - r.size.height;
        break;
    case ImageAlignment::Bottom: case ImageAlignment::BottomLeft: case ImageAlignment::BottomRight:
        r.origin.y = frame.origin.y;
        break;
    default:
        break;
    }
    switch (alignment_) {
    case ImageAlignment::Left: case ImageAlignment::TopLeft: case ImageAlignment::BottomLeft:
        r.origin.x = frame.origin.x;
        break;
    case ImageAlignment::Right: case ImageAlignment::TopRight: case ImageAlignment::BottomRight:
        r.origin.x = MaxX(frame) - r.size.width;
        break;
    default:
        break;
    }
    cell.setImageScaling(ImageScaling::AxesIndependently);
    cell.drawWithFrame(r, this);
}

}  // namespace qs
