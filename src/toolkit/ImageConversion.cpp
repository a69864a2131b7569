// Grey-scale, monochrome and pixel-image conversion, and the BMP encoder.
#include <QBuffer>
#include <QImageReader>
#include <cmath>
#include <cstring>

#include "platform/foundation/Log.h"
#include "platform/ui/ImageDrawing.h"
#include "platform/ui/ImageFocus.h"
#include "toolkit/ImageHelpers.h"
#include "toolkit/NTImageMaker.h"

namespace qs::NSImage_Grayscale {

namespace {

uint8_t luminance(const QColor& c) {
    return uint8_t(std::clamp(std::nearbyint((0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF()) * 255.0),
                              0.0, 255.0));
}

// The image drawn into a canvas of its size in whole pixels (null below one pixel).
QImage rendered(const Image& image) { return renderImage(image, ImageRep::canvasFormat()); }

}  // namespace

ImagePtr grayscaleImage(const ImagePtr& image) {
    if (!image) return nullptr;
    QImage source = nsImageToCGImageRef(image);
    if (source.isNull()) return nullptr;
    // The pixels are drawn into a canvas of the image's size, whatever the size of the
    // representation they come from (a 64-pixel representation of a 32-point image
    // gives 32 x 32).
    const int w = int(std::trunc(image->size().width)), h = int(std::trunc(image->size().height));
    if (w < 1 || h < 1) return nullptr;
    if (source.size() != QSize(w, h))
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                     .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Grey from the colour (luminance weights, to nearest), masked by the alpha.
    QImage grey(source.size(), QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const QColor c = source.pixelColor(x, y);
            const uint8_t g = luminance(c);
            row[x] = qRgba(g, g, g, c.alpha());
        }
    }
    return imageFromCGImageRefByLockingFocus(*image, grey);
}

ImagePtr monochromeImage(const ImagePtr& image) {
    if (!image) return nullptr;
    const Size size = image->size();
    const int w = int(std::trunc(size.width)), h = int(std::trunc(size.height));
    auto out = std::make_shared<Image>(size);
    if (w < 1 || h < 1) return out;
    auto rep = ImageRep::makeGreyAlpha(w, h);
    // The pixels are read from the image drawn at its size, as with its focus locked
    // (on a copy: locking the receiver's own focus would flatten it). The point
    // (x, h - 1 - y) of row y lies in the canvas's row y counted from the top.
    auto scratch = image->copy();
    ImageFocus focus(scratch);
    const ImageRepPtr canvas = focus.canvasCopy();
    focus.unlock();
    if (canvas) {
        const QImage pixels = canvas->image().convertToFormat(QImage::Format_ARGB32);
        uint8_t* data = rep->bitmapData();
        for (int y = 0; y < h && y < pixels.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            uint8_t* px = data + size_t(y) * size_t(rep->bytesPerRow());
            for (int x = 0; x < w && x < pixels.width(); ++x) {
                const QRgb c = row[x];
                const double grey = (0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c)) / 255.0;
                px[2 * x] = uint8_t(std::clamp(std::nearbyint(grey * 255.0), 0.0, 255.0));
                px[2 * x + 1] = uint8_t(std::clamp(std::trunc(qAlpha(c) / 255.0 * 255.0), 0.0, 255.0));
            }
        }
    }
    out->addRepresentation(rep);
    return out;
}

ImagePtr normalize(const ImagePtr& image) {
    if (!image) return nullptr;
    auto rep = bitmapImageRepresentation(*image);
    if (!rep) return nullptr;
    auto out = std::make_shared<Image>(Size{double(rep->pixelsWide()), double(rep->pixelsHigh())});
    out->addRepresentation(rep);
    return out;
}

QImage CGImage(const Image& image) {
    auto rep = image.bestRepresentationForPixelSize(image.size().width, image.size().height);
    return rep ? rep->image() : QImage();
}

ImagePtr imageWithCGImage(const QImage& cgImage) {
    if (cgImage.isNull()) return nullptr;
    return std::make_shared<Image>(cgImage);
}

ImagePtr imageFromCGImageRef(const QImage& cgImage) {
    if (cgImage.isNull()) return nullptr;
    auto maker = NTImageMaker::maker({double(cgImage.width()), double(cgImage.height())});
    maker->lockFocus();
    if (auto* c = GraphicsContext::currentContext()) {
        const ImageInterpolation saved = c->imageInterpolation();
        c->setImageInterpolation(ImageInterpolation::High);
        c->drawPixels(cgImage, MakeRect(0, 0, cgImage.width(), cgImage.height()), QRectF(cgImage.rect()),
                      CompositingOperation::SourceOver, 1.0);
        c->setImageInterpolation(saved);
    }
    return maker->unlockFocus();
}

ImagePtr imageFromCGImageRefByLockingFocus(const Image&, const QImage& cgImage) {
    if (cgImage.isNull()) return nullptr;
    auto out = std::make_shared<Image>(Size{double(cgImage.width()), double(cgImage.height())});
    ImageFocus focus(out);
    if (focus.isLocked())
        focus.context()->drawPixels(cgImage, MakeRect(0, 0, cgImage.width(), cgImage.height()),
                                    QRectF(cgImage.rect()), CompositingOperation::SourceOver, 1.0);
    focus.unlock();
    return out;
}

// The lossless form of an image is its first representation's pixels (what its TIFF or
// PNG data would decode to).
QImage nsImageToCGImageRef(const ImagePtr& image) {
    if (!image) return {};
    for (auto& rep : image->representations())
        if (rep && !rep->isEmpty()) return rep->image().copy();
    return {};
}

QImage toCGImageRef(const ImagePtr& image) {
    if (!image) return {};
    auto rep = bitmapImageRepresentation(*image);
    return rep ? rep->image().copy() : QImage();
}

QImage CGImageFromData(const Data* data) {
    if (!data || data->empty()) return {};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data->data()), qsizetype(data->size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image = Image::readBounded(reader, "data");
    return image.isNull() ? QImage() : image.copy();
}

QImage CGImageFromNSImage(const ImagePtr& image) { return nsImageToCGImageRef(image); }

ImageRepPtr bitmapImageRepresentation(const Image& image) {
    const int w = int(std::trunc(image.size().width)), h = int(std::trunc(image.size().height));
    if (w < 1 || h < 1) return nullptr;
    const QImage pixels = rendered(image);
    if (pixels.isNull()) return nullptr;
    return std::make_shared<ImageRep>(pixels);
}

Data bmpData(const ImagePtr& image) {
    if (!image) return {};
    ImageRepPtr rep = imageRepOfClass(*image, ImageRep::Kind::Bitmap);
    if (!rep || rep->isEmpty()) {
        // Drawn onto a clear background in a new image of its size, and captured.
        auto canvas = std::make_shared<Image>(image->size());
        ImageFocus focus(canvas);
        if (!focus.isLocked()) return {};
        drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::SourceOver, 1.0);
        rep = focus.canvasCopy();
    }
    const int W = rep->pixelsWide(), H = rep->pixelsHigh();
    const int S = rep->samplesPerPixel(), stride = rep->bytesPerRow();
    const uint8_t* src = rep->bitmapData();
    if (!src || W < 1 || H < 1) return {};
    // Offsets of blue, green and red in a source pixel, from the representation's layout.
    int b = 2, g = 1, r = 0;
    switch (rep->layout()) {
    case ImageRep::Layout::RGBA:
    case ImageRep::Layout::RGB:
        break;
    case ImageRep::Layout::BGRA:
        b = 0, g = 1, r = 2;
        break;
    case ImageRep::Layout::Grey:
    case ImageRep::Layout::GreyAlpha:
        b = g = r = 0;
        break;
    }
    const size_t R = size_t(3 * W + (W % 4));
    Data out;
    out.reserve(54 + R * size_t(H));
    auto put16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    out.push_back('B');
    out.push_back('M');
    put32(0);   // file size, left 0
    put32(0);   // reserved
    put32(54);  // pixel data offset
    put32(40);  // information header size
    put32(uint32_t(W));
    put32(uint32_t(H));  // positive: rows bottom-up
    put16(1);
    put16(24);
    put32(0);  // no compression
    put32(uint32_t(R * size_t(H)));
    put32(0);
    put32(0);
    put32(0);
    put32(0);
    for (int i = 0; i < H; ++i) {
        const uint8_t* row = src + size_t(H - 1 - i) * size_t(stride);
        const size_t start = out.size();
        for (int x = 0; x < W; ++x) {
            const uint8_t* px = row + size_t(x) * size_t(S);
            out.push_back(px[b]);
            out.push_back(px[g]);
            out.push_back(px[r]);
        }
        out.resize(start + R, 0);
    }
    return out;
}

}  // namespace qs::NSImage_Grayscale
