#pragma once
// Drawing an image into the current graphics context (the platform's NSImage drawing
// calls). Source rectangles are in the image's points, y up from its bottom-left; the
// zero rectangle means the whole image. The representation drawn is the one that best
// fits the destination's size in device pixels.
//
// drawInRect follows the context's transform: in a flipped context the image comes out
// upside down unless `respectFlipped` is set, as on the platform. drawAtPoint composites
// the image at its own size with the point at its visual bottom-left corner, and never
// upside down: in a flipped context the image occupies (x, y - height) to (x + width, y).

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"
#include "platform/ui/GraphicsContext.h"

namespace qs {

void drawImageInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op,
                     double fraction, bool respectFlipped = false);
void drawImageInRect(const Image& image, const Rect& rect);  // whole image, source-over, 1.0
void drawImageAtPoint(const Image& image, const Point& point, const Rect& fromRect, CompositingOperation op,
                      double fraction);

// Draws the image into a new bitmap of its own size in pixels (trunc of the size in
// points), as the platform does when it needs an image's pixels; null for an image
// below one pixel.
QImage renderImage(const Image& image, QImage::Format format = ImageRep::canvasFormat());

}  // namespace qs
