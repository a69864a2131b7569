#pragma once
// Helpers of the drawing tests: solid and marked images, and pixels read in y-up points.

#include <QColor>
#include <QImage>
#include <memory>

#include "platform/foundation/Image.h"

namespace qs::test {

// An image of w × h pixels filled with the colour.
inline ImagePtr solidImage(int w, int h, QColor colour) {
    QImage pixels(w, h, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(colour);
    return std::make_shared<Image>(pixels);
}

// The first representation's pixel under the y-up point (x, y) of the image's own
// pixel grid (row 0 at the bottom).
inline QColor pixelAt(const Image& image, int x, int yUp) {
    QImage pixels = image.qimage();
    if (pixels.isNull() || x < 0 || yUp < 0 || x >= pixels.width() || yUp >= pixels.height()) return QColor();
    return pixels.pixelColor(x, pixels.height() - 1 - yUp);
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

}  // namespace qs::test
