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
//
// An image may be deferred: it knows where its pixels come from (an ImageSource: PNG
// data from an archive, a file, an icon of the icon theme, a drawing) and decodes them
// the first time they are needed. Loading the dock therefore decodes nothing; the icon
// cache asks deferred images for pixels at the size it draws, on its worker threads,
// without keeping a decoded copy in the image (pixelsForSize).

#include <QImage>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

class QFile;
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

// Where the pixels of a deferred image come from. Immutable once made; load may run on
// any thread.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    // The pixels for drawing at about `pixelSize` pixels a side (0: the source's own
    // size). Null when there are none; then, and for any part of the source that failed
    // on the way (a broken file passed over for another), one line per failed source is
    // added to `problems`. The source writes no log line itself: the caller does, once.
    virtual QImage load(int pixelSize, std::vector<std::string>& problems) const = 0;
    // What the source is, for log lines ("the file /x/y.png", "archived PNG data").
    virtual std::string description() const = 0;
    // The PNG bytes the image was made from, when it was made from PNG data.
    virtual const Data* pngData() const { return nullptr; }
    // Names the pixels for sharing them: sources with the same non-empty key load the
    // same pixels at every size, so that one load serves the images of all of them (the
    // many documents and folders that show one generic icon). Empty (the default): the
    // pixels are this source's own.
    virtual std::string shareKey() const { return {}; }
};

using ImageSourcePtr = std::shared_ptr<const ImageSource>;

class Image : public Object, public Coding {
public:
    static constexpr int kMaxDecodeSide = 16384;
    static constexpr long long kMaxDecodePixels = 32LL * 1024 * 1024;  // 128 MiB at 4 bytes a pixel
    // Files larger than this are not read as images at all; drawings (SVG), whose parse
    // costs far more than their size, are held to the smaller bound.
    static constexpr long long kMaxFileBytes = 256LL * 1024 * 1024;
    static constexpr long long kMaxDrawingFileBytes = 8LL * 1024 * 1024;

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
    // The same with a bound of `maxPixels`; on failure the reason goes to `whyNot`
    // instead of the log.
    static QImage readBounded(QImageReader& reader, const std::string& what, long long maxPixels,
                              std::string& whyNot);
    // Reads an image file for drawing at `pixelSize` pixels a side (0: its own size):
    // drawings (SVG) are rendered at that size, formats that decode at a reduced size
    // (JPEG) do so; others are decoded whole, within `maxPixels`. Files that are missing,
    // no regular file (a directory, a link loop), too large or not an image give a null
    // image and the reason in `whyNot`. Any thread.
    static QImage readFileForSize(const std::string& path, int pixelSize, long long maxPixels,
                                  std::string& whyNot);
    // An image file open for a QImageReader: a regular file of at most kMaxFileBytes,
    // opened without blocking (FileRead). nullptr with the reason in `whyNot` otherwise;
    // *missing, when given, tells a file that is not there (an ordinary miss).
    static std::unique_ptr<QFile> openFile(const std::string& path, std::string& whyNot, bool* missing = nullptr);

    // A deferred image: `size` in points, pixels from `source` when first needed.
    static std::shared_ptr<Image> imageWithSource(ImageSourcePtr source, Size size);
    // PNG data whose header is checked now (a PNG signature, a size within the limits)
    // and whose pixels are decoded when first needed; nullptr (and a log line) when the
    // header is refused. Archived images are read this way, and archived again as the
    // same bytes while they have not been decoded.
    static std::shared_ptr<Image> imageWithPNGDataDeferred(const Data& png);
    // The size a PNG header announces: the signature, then an IHDR chunk whose fields
    // and checksum are sound. Read without a decoder (no image plugin is looked up); an
    // invalid size when the bytes do not start that way.
    static QSize pngHeaderSize(const unsigned char* bytes, size_t size);
    // The same for the start of a file; invalid when it cannot be read or is no PNG.
    static QSize pngFileHeaderSize(const std::string& path);
    // True when the file is a whole PNG: a sound header, then chunks whose checksums match,
    // image data and the end chunk. A cut-off or damaged file is refused without decoding.
    static bool isWholePngFile(const std::string& path);
    // A file whose header is checked now and whose pixels are decoded when first needed,
    // scaled to fit `maxSide` pixels when that is given; nullptr when the file is not an
    // image Qt reads (no log line: callers try several).
    static std::shared_ptr<Image> imageWithContentsOfFileDeferred(const std::string& path, int maxSide = 0);

    std::string className() const override { return "NSImage"; }
    std::vector<std::string> classHierarchy() const override { return {"NSImage", "NSObject"}; }

    // The pixels of the first representation (null when there is none).
    QImage qimage() const;
    Size size() const { return size_; }
    void setSize(const Size& size) { size_ = size; }
    bool isTemplate() const { return template_; }
    void setTemplate(bool isTemplate) { template_ = isTemplate; }
    bool isValid() const;

    const std::vector<ImageRepPtr>& representations() const;
    void addRepresentation(ImageRepPtr rep);
    void removeRepresentation(const ImageRepPtr& rep);
    // The representation to draw at a destination of that many pixels: the smallest one
    // at least that large, else the largest; nullptr when there is none.
    ImageRepPtr bestRepresentationForPixelSize(double pixelsWide, double pixelsHigh) const;

    // A deep copy: same size and flag, copies of the representations (a deferred image
    // not decoded yet gives another deferred image of the same source).
    std::shared_ptr<Image> copy() const;

    // Deferred images: whether the pixels are still to be decoded (or failed to), and
    // from what.
    bool isDeferred() const;
    ImageSourcePtr source() const;
    // The pixels to draw at `pixelSize` pixels a side, from any thread: the best
    // representation of a decoded image; for a deferred one, pixels loaded from its
    // source at that size and not kept (failed sources are added to `problems`, or
    // logged once when no list is given). Null when there are none.
    QImage pixelsForSize(int pixelSize, std::vector<std::string>* problems = nullptr) const;

    // The first representation as PNG (empty when there is none or it cannot be written).
    Data PNGRepresentation() const;

    void encodeWithCoder(Coder& coder) const override;

private:
    // Decodes a deferred image's pixels into its first representation (once; a failure
    // is logged once and leaves the image without representations, still deferred, so
    // that its PNG data is archived again unchanged).
    void decodeDeferred() const;

    mutable std::mutex mutex_;        // guards source_, decodeFailed_ and the representations' list
    mutable ImageSourcePtr source_;   // set while the image is deferred
    mutable bool decodeFailed_ = false;
    mutable std::vector<ImageRepPtr> reps_;
    Size size_;
    bool template_ = false;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace qs
