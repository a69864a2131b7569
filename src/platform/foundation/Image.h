#pragma once
// An image (the platform's NSImage): a size in points, a template flag and a list of
// representations, each a bitmap of its own pixel size. Archived as its PNG data.
//
// Drawing an image, and drawing into one, is the business of the interface layer
// (platform/ui/GraphicsContext.h); this class only holds the pixels.
//
// Decoding is bounded: a file or data whose header announces more than
// kMaxDecodePixels pixels, or a side above kMaxDecodeSide, is refused before any pixel
// is decoded (with a log line), so a hostile or broken file never costs more than
// about 128 MiB.

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

class QImageReader;

namespace qs {

// One representation of an image: a bitmap and the size in points it stands for.
class ImageRep {
public:
    // Bitmap: decoded or drawn pixels (NSBitmapImageRep). Cached: a rendering kept by the
    // platform for the screen (NSCachedImageRep). Other: anything else.
    enum class Kind { Bitmap, Cached, Other };
    // The order of the samples in bitmapData().
    enum class Layout { RGBA, BGRA, RGB, Grey, GreyAlpha };

    // Wraps pixels; the size in points is the pixel size. Formats that are none of the
    // layouts above are converted to premultiplied 32-bit pixels.
    explicit ImageRep(QImage pixels, Kind kind = Kind::Bitmap);
    // A zero-filled (fully transparent) bitmap of four 8-bit samples a pixel, colour
    // premultiplied by the alpha, alpha in the last byte: the canvas of the offscreen
    // image maker and of every drawing into an image. The colour bytes are in the order
    // Qt paints fastest on this machine (blue, green, red on little-endian machines;
    // layout() tells); code reading the bytes goes by the layout.
    static std::shared_ptr<ImageRep> makeCanvas(int pixelsWide, int pixelsHigh, Kind kind = Kind::Bitmap);
    // The QImage format of such a canvas.
    static QImage::Format canvasFormat();
    // A zero-filled bitmap of 8-bit grey and alpha samples (alpha not premultiplied).
    static std::shared_ptr<ImageRep> makeGreyAlpha(int pixelsWide, int pixelsHigh);

    Kind kind() const { return kind_; }
    Layout layout() const { return layout_; }
    Size size() const { return size_; }
    void setSize(const Size& size) { size_ = size; }
    int pixelsWide() const;
    int pixelsHigh() const;
    int samplesPerPixel() const;
    int bitsPerSample() const { return 8; }
    int bitsPerPixel() const;
    int bytesPerRow() const;
    bool hasAlpha() const;
    bool isPremultiplied() const;
    std::string colorSpaceName() const;  // "NSCalibratedRGBColorSpace", "NSCalibratedWhiteColorSpace", ...
    uint8_t* bitmapData();
    const uint8_t* bitmapData() const;
    bool isEmpty() const { return pixelsWide() < 1 || pixelsHigh() < 1; }

    // The pixels in a form Qt paints (for grey-and-alpha data, a converted copy).
    QImage image() const;
    // The pixels to paint into (RGBA, BGRA and RGB layouts; null for the others).
    QImage* paintableImage();

    std::shared_ptr<ImageRep> copy() const;

private:
    ImageRep() = default;
    QImage pixels_;
    std::vector<uint8_t> greyAlpha_;  // GreyAlpha layout only: 2 bytes a pixel, rows 2 × width
    int greyAlphaWide_ = 0, greyAlphaHigh_ = 0;
    Kind kind_ = Kind::Bitmap;
    Layout layout_ = Layout::RGBA;
    Size size_;
};

using ImageRepPtr = std::shared_ptr<ImageRep>;

class Image : public Object, public Coding {
public:
    static constexpr int kMaxDecodeSide = 16384;
    static constexpr long long kMaxDecodePixels = 32LL * 1024 * 1024;  // 128 MiB at 4 bytes a pixel

    Image() = default;
    // One bitmap representation; the size is its pixel size. A null image gives an image
    // with no representation.
    explicit Image(QImage image);
    // An image of the size with no representation yet (initWithSize:).
    explicit Image(Size size) : size_(size) {}

    static std::shared_ptr<Image> imageWithPNGData(const Data& png);  // nullptr if undecodable
    // Any format Qt reads; nullptr (and a log line) for data that does not decode.
    static std::shared_ptr<Image> imageWithData(const Data& data);
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path);
    // Reads through the reader within the decode limits; a null image (and a log line
    // naming `what`) when the data is refused or broken.
    static QImage readBounded(QImageReader& reader, const std::string& what);

    std::string className() const override { return "NSImage"; }
    std::vector<std::string> classHierarchy() const override { return {"NSImage", "NSObject"}; }

    // The pixels of the first representation (null when there is none).
    QImage qimage() const;
    Size size() const { return size_; }
    void setSize(const Size& size) { size_ = size; }
    bool isTemplate() const { return template_; }
    void setTemplate(bool isTemplate) { template_ = isTemplate; }
    bool isValid() const;

    const std::vector<ImageRepPtr>& representations() const { return reps_; }
    void addRepresentation(ImageRepPtr rep);
    void removeRepresentation(const ImageRepPtr& rep);
    // The representation to draw at a destination of that many pixels: the smallest one
    // at least that large, else the largest; nullptr when there is none.
    ImageRepPtr bestRepresentationForPixelSize(double pixelsWide, double pixelsHigh) const;

    // A deep copy: same size and flag, copies of the representations.
    std::shared_ptr<Image> copy() const;

    // The first representation as PNG (empty when there is none or it cannot be written).
    Data PNGRepresentation() const;

    void encodeWithCoder(Coder& coder) const override;

private:
    std::vector<ImageRepPtr> reps_;
    Size size_;
    bool template_ = false;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace qs
