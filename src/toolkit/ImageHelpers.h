#pragma once
// Image helpers: rotation and flipping, high-quality and flipped drawing, tiling,
// copies (shadowed, tinted, resized, with a margin or a control image beside), picking
// and normalising representations, grey-scale and monochrome conversion, conversions to
// and from plain pixel images, a BMP encoder, a StackBlur filter and small round glyph
// buttons (stop, plus, minus).
//
// Members that return a new image draw it through an NTImageMaker; those documented as
// "keeps template" carry the receiver's template flag. Members that may answer the
// receiver itself take and return an ImagePtr. "Pixel images" (the platform's Core
// Graphics images) are QImages; a null QImage stands for none.
//
// Decoding (CGImageFromData) is bounded as Image::readBounded says: a refused or broken
// image answers a null image and logs one line.

#include <QImage>
#include <cstdint>

#include "platform/foundation/Image.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Color.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageCell.h"
#include "platform/ui/Shadow.h"

class QWidget;

namespace qs::NSImage_Grayscale {

// Rotation and flipping.
// Rotated counter-clockwise by the angle about its centre: the canvas is the size
// swapped for ±90/±270, the same for ±180, else a square of the larger side + 20 (corners
// of oblique rotations are cut). The receiver for an angle of 0 (mod 360).
ImagePtr imageRotated(const ImagePtr& image, float degrees);
// Keeps template. Mirrored vertically; the receiver when a side is not positive.
ImagePtr flip(const ImagePtr& image);

// Drawing into the current context.
void drawInRectHQ(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op, double fraction);
void compositeToPointHQ(const Image& image, const Point& point, CompositingOperation op, double fraction);
void drawCenteredInRectHQ(const Image& image, const Rect& rect, CompositingOperation op, double fraction);
void compositeInRect(const Image& image, const Rect& rect, CompositingOperation op, bool flipped, double fraction);
void drawFlippedInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op,
                       double fraction);
void drawFlippedInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op);
void drawFlippedInRect(const Image& image, const Rect& rect, CompositingOperation op, double fraction);
void drawFlippedInRect(const Image& image, const Rect& rect, CompositingOperation op);
// Through one shared image cell (no scaling); a window with dimmed controls draws the
// normal background style.
void drawInRect(const ImagePtr& image, const Rect& rect, QWidget* view, bool highlighted, BackgroundStyle style);
void tileInRect(const Image& image, const Rect& rect, bool isFlipped, CompositingOperation op, double fraction);
void tileInView(const Image& image, QWidget* view, double fraction, const Rect& clipRect);
void tileInView(const Image& image, QWidget* view);
void tileInView(const Image& image, QWidget* view, double fraction);
Rect tileRectForBounds(const Image& image, const Rect& bounds);

// Copies (each a new image).
ImagePtr copyImageWithShadow(const ImagePtr& image, const ShadowPtr& shadow);  // keeps template
ImagePtr imageWithBackground(const ImagePtr& image, const ColorPtr& color);    // keeps template
ImagePtr coloredImage(const ImagePtr& image, const ColorPtr& color);           // keeps template
ImagePtr imageWithAlpha(const ImagePtr& image, float alpha);                   // keeps template
ImagePtr imageWithMaxSize(const ImagePtr& image, int maxSize);                 // keeps template
ImagePtr imageWithSize(const ImagePtr& image, const Size& size);
ImagePtr imageWithSize(const ImagePtr& image, const Size& size, bool scaleLarger);  // keeps template
ImagePtr imageWithTopMargin(const ImagePtr& image, int margin);                    // keeps template
ImagePtr imageWithControlImage(const ImagePtr& image, const ImagePtr& controlImage);  // keeps template
ImagePtr sizeIcon(const ImagePtr& image, int size);
ImageRepPtr bitmapImageRepForSize(const ImagePtr& image, int size);
ImagePtr imageWithOnlyCachedImageRep(const ImagePtr& image);
bool hasCachedImageRep(const Image& image);
ImageRepPtr imageRepOfClass(const Image& image, ImageRep::Kind kind);
ImagePtr normalizeSize(const ImagePtr& image);

// Grey-scale, monochrome and pixel-image conversion.
ImagePtr grayscaleImage(const ImagePtr& image);
ImagePtr monochromeImage(const ImagePtr& image);
ImagePtr normalize(const ImagePtr& image);
QImage CGImage(const Image& image);
ImagePtr imageWithCGImage(const QImage& cgImage);
// The class method (drawn through a maker, high interpolation) and the instance method
// (drawn by locking focus on a new image); the receiver of the latter plays no part.
ImagePtr imageFromCGImageRef(const QImage& cgImage);
ImagePtr imageFromCGImageRefByLockingFocus(const Image& receiver, const QImage& cgImage);
QImage nsImageToCGImageRef(const ImagePtr& image);
QImage toCGImageRef(const ImagePtr& image);
// Null for no data (quietly) or data that does not decode (with a log line).
QImage CGImageFromData(const Data* data);
QImage CGImageFromNSImage(const ImagePtr& image);
ImageRepPtr bitmapImageRepresentation(const Image& image);
Data bmpData(const ImagePtr& image);

// Blur.
ImagePtr stackBlur(const ImagePtr& image, int radius);
// Blurs the first three bytes of each 4-byte pixel in place (the fourth is kept); rows
// are `bytesPerRow` apart (4 × width when not given).
void applyStackBlurToBuffer(uint8_t* buffer, int width, int height, int radius, int bytesPerRow = 0);

// Glyph buttons (new images of the rectangle's size, not templates).
ImagePtr image(const Rect& rect, const ImagePtr& interior, const ColorPtr& backColor);
ImagePtr stopImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor);
ImagePtr plusImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor);
ImagePtr minusImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor);
ImagePtr stopInteriorImage(const Rect& rect, const ColorPtr& lineColor);
ImagePtr plusInteriorImage(const Rect& rect, const ColorPtr& lineColor);
ImagePtr minusInteriorImage(const Rect& rect, const ColorPtr& lineColor);

}  // namespace qs::NSImage_Grayscale
