#include "platform/foundation/Image.h"

#include <sys/stat.h>

#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sstream>
#include <vector>

#include <zlib.h>

#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"

namespace qs {

// ---------------------------------------------------------------------------------
// ImageRep

namespace {

ImageRep::Layout layoutOf(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX8888:
        return ImageRep::Layout::RGBA;
    case QImage::Format_RGB888:
        return ImageRep::Layout::RGB;
    case QImage::Format_Grayscale8:
        return ImageRep::Layout::Grey;
    default:
        return ImageRep::Layout::BGRA;  // ARGB32 family (converted to it when needed)
    }
}

bool keptAsIs(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGB888:
    case QImage::Format_Grayscale8:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
        return true;
    default:
        return false;
    }
}

}  // namespace

ImageRep::ImageRep(QImage pixels, Kind kind) : kind_(kind) {
    if (!pixels.isNull() && !keptAsIs(pixels.format()))
        pixels = pixels.convertToFormat(pixels.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                  : QImage::Format_RGB32);
    pixels_ = std::move(pixels);
    layout_ = layoutOf(pixels_.format());
    size_ = {double(pixels_.width()), double(pixels_.height())};
}

QImage::Format ImageRep::canvasFormat() {
    // Alpha last in memory either way: B, G, R, A for ARGB32 on little-endian machines.
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGBA8888_Premultiplied;
}

std::shared_ptr<ImageRep> ImageRep::makeCanvas(int w, int h, Kind kind) {
    QImage pixels;
    // Within the decoding limits: a canvas never costs more than a decoded image may.
    const bool allowed = w <= Image::kMaxDecodeSide && h <= Image::kMaxDecodeSide &&
                         (long long)w * h <= Image::kMaxDecodePixels;
    if (w > 0 && h > 0 && allowed) {
        pixels = QImage(w, h, canvasFormat());
        if (!pixels.isNull()) pixels.fill(0);
    }
    auto rep = std::make_shared<ImageRep>(std::move(pixels), kind);
    rep->layout_ = layoutOf(canvasFormat());
    rep->size_ = {double(rep->pixelsWide()), double(rep->pixelsHigh())};
    return rep;
}

std::shared_ptr<ImageRep> ImageRep::makeGreyAlpha(int w, int h) {
    std::shared_ptr<ImageRep> rep(new ImageRep());
    rep->layout_ = Layout::GreyAlpha;
    rep->greyAlphaWide_ = std::max(w, 0);
    rep->greyAlphaHigh_ = std::max(h, 0);
    rep->greyAlpha_.assign(size_t(rep->greyAlphaWide_) * size_t(rep->greyAlphaHigh_) * 2, 0);
    rep->size_ = {double(rep->greyAlphaWide_), double(rep->greyAlphaHigh_)};
    return rep;
}

int ImageRep::pixelsWide() const { return layout_ == Layout::GreyAlpha ? greyAlphaWide_ : pixels_.width(); }
int ImageRep::pixelsHigh() const { return layout_ == Layout::GreyAlpha ? greyAlphaHigh_ : pixels_.height(); }

int ImageRep::samplesPerPixel() const {
    switch (layout_) {
    case Layout::RGBA:
    case Layout::BGRA:
        return 4;
    case Layout::RGB:
        return 3;
    case Layout::Grey:
        return 1;
    case Layout::GreyAlpha:
        return 2;
    }
    return 4;
}

int ImageRep::bitsPerPixel() const { return samplesPerPixel() * 8; }

int ImageRep::bytesPerRow() const {
    if (layout_ == Layout::GreyAlpha) return greyAlphaWide_ * 2;
    return pixels_.isNull() ? 0 : int(pixels_.bytesPerLine());
}

bool ImageRep::hasAlpha() const {
    if (layout_ == Layout::GreyAlpha) return true;
    return pixels_.hasAlphaChannel();
}

bool ImageRep::isPremultiplied() const {
    return pixels_.format() == QImage::Format_RGBA8888_Premultiplied ||
           pixels_.format() == QImage::Format_ARGB32_Premultiplied;
}

std::string ImageRep::colorSpaceName() const {
    if (layout_ == Layout::Grey || layout_ == Layout::GreyAlpha) return "NSCalibratedWhiteColorSpace";
    return "NSCalibratedRGBColorSpace";
}

uint8_t* ImageRep::bitmapData() {
    if (layout_ == Layout::GreyAlpha) return greyAlpha_.empty() ? nullptr : greyAlpha_.data();
    return pixels_.isNull() ? nullptr : pixels_.bits();
}

const uint8_t* ImageRep::bitmapData() const {
    if (layout_ == Layout::GreyAlpha) return greyAlpha_.empty() ? nullptr : greyAlpha_.data();
    return pixels_.isNull() ? nullptr : pixels_.constBits();
}

QImage ImageRep::image() const {
    if (layout_ != Layout::GreyAlpha) return pixels_;
    if (greyAlphaWide_ < 1 || greyAlphaHigh_ < 1) return {};
    QImage out(greyAlphaWide_, greyAlphaHigh_, QImage::Format_ARGB32);
    if (out.isNull()) return {};
    for (int y = 0; y < greyAlphaHigh_; ++y) {
        const uint8_t* src = greyAlpha_.data() + size_t(y) * size_t(greyAlphaWide_) * 2;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < greyAlphaWide_; ++x) dst[x] = qRgba(src[2 * x], src[2 * x], src[2 * x], src[2 * x + 1]);
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage* ImageRep::paintableImage() {
    if (layout_ == Layout::GreyAlpha || layout_ == Layout::Grey || pixels_.isNull()) return nullptr;
    return &pixels_;
}

std::shared_ptr<ImageRep> ImageRep::copy() const {
    std::shared_ptr<ImageRep> rep(new ImageRep());
    rep->pixels_ = pixels_.copy();
    rep->greyAlpha_ = greyAlpha_;
    rep->greyAlphaWide_ = greyAlphaWide_;
    rep->greyAlphaHigh_ = greyAlphaHigh_;
    rep->kind_ = kind_;
    rep->layout_ = layout_;
    rep->size_ = size_;
    return rep;
}

// ---------------------------------------------------------------------------------
// Image

Image::Image(QImage image) {
    if (image.isNull()) return;
    auto rep = std::make_shared<ImageRep>(std::move(image));
    size_ = rep->size();
    reps_.push_back(std::move(rep));
}

QImage Image::readBounded(QImageReader& reader, const std::string& what) {
    std::string whyNot;
    QImage image = readBounded(reader, what, kMaxDecodePixels, whyNot);
    if (image.isNull()) log(whyNot);
    return image;
}

QImage Image::readBounded(QImageReader& reader, const std::string& what, long long maxPixels, std::string& whyNot) {
    maxPixels = std::min(maxPixels, kMaxDecodePixels);
    auto say = [&](auto&&... parts) {
        std::ostringstream os;
        (os << ... << parts);
        whyNot = os.str();
        return QImage();
    };
    // The header alone tells the size; nothing is decoded before it is checked.
    const QSize announced = reader.size();
    if (announced.isValid()) {
        if (announced.width() < 1 || announced.height() < 1)
            return say("the image ", what, " is empty (", announced.width(), " x ", announced.height(), " pixels)");
        const long long pixels = (long long)announced.width() * announced.height();
        if (announced.width() > kMaxDecodeSide || announced.height() > kMaxDecodeSide || pixels > maxPixels)
            return say("the image ", what, " is too large to decode (", announced.width(), " x ", announced.height(),
                       " pixels; the limit is ", kMaxDecodeSide, " pixels a side and ", maxPixels, " pixels)");
    }
    // Formats that do not announce their size are held to the same budget by Qt's
    // allocation limit (in MiB).
    reader.setAllocationLimit(std::max(1, int(maxPixels * 4 / (1024 * 1024))));
    QImage image = reader.read();
    if (image.isNull()) return say("cannot read the image ", what, ": ", reader.errorString().toStdString());
    if (image.width() > kMaxDecodeSide || image.height() > kMaxDecodeSide ||
        (long long)image.width() * image.height() > maxPixels)
        return say("the image ", what, " is too large (", image.width(), " x ", image.height(), " pixels)");
    return image;
}

std::unique_ptr<QFile> Image::openFile(const std::string& path, std::string& whyNot, bool* missing) {
    if (missing) *missing = false;
    if (path.empty()) {
        whyNot = "an image file without a path";
        return nullptr;
    }
    FileRead::Status status;
    std::string error;
    int fd = FileRead::openFile(path, size_t(kMaxFileBytes), status, error);
    if (fd < 0) {
        if (missing) *missing = status == FileRead::Status::Missing;
        whyNot = "the image " + error;
        return nullptr;
    }
    // Named, so that the reader may take the format from the suffix as it does for paths.
    auto file = std::make_unique<QFile>(QString::fromStdString(path));
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        whyNot = "cannot open the image " + path;
        return nullptr;
    }
    return file;
}

namespace {
// A reader left to find the format of a file asks every image format plugin (loading
// them all, a few hundred kB each with their libraries) before it tries the built-in
// PNG decoder on the contents. A file that starts as a PNG is given that decoder at
// once: the decoder the search ends at (no plugin reads PNG), without the search.
// (The file opened from a descriptor has no name the reader could take a suffix from.)
void useBuiltInPNGDecoder(QImageReader& reader, QFile& file) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (file.peek(8) != QByteArray::fromRawData(kSignature, 8)) return;
    reader.setFormat("png");
    reader.setAutoDetectImageFormat(false);
}
}  // namespace

QImage Image::readFileForSize(const std::string& path, int pixelSize, long long maxPixels, std::string& whyNot) {
    // Links are followed: a loop or a dangling link fails here, with its reason.
    std::unique_ptr<QFile> file = openFile(path, whyNot);
    if (!file) return {};
    const long long fileBytes = file->size();
    QImageReader reader(file.get());
    useBuiltInPNGDecoder(reader, *file);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format.isEmpty()) {
        whyNot = "the file " + path + " is no image that can be read (" + reader.errorString().toStdString() + ")";
        return {};
    }
    if (format == "svg" || format == "svgz") {
        if (fileBytes > kMaxDrawingFileBytes) {
            whyNot = "the drawing " + path + " is too large a file (" + std::to_string(fileBytes) + " bytes)";
            return {};
        }
        // Rendered at the size asked for (its own size when none is asked, within 1024).
        QSize natural = reader.size();
        if (!natural.isValid() || natural.isEmpty()) natural = QSize(128, 128);
        const int side = pixelSize > 0 ? pixelSize : std::min(1024, std::max(natural.width(), natural.height()));
        const QSize target = natural.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        reader.setScaledSize(target);
        QImage image = reader.read();
        if (image.isNull()) {
            whyNot = "cannot read the drawing " + path + ": " + reader.errorString().toStdString();
            return {};
        }
        return image;
    }
    // Formats that decode at a reduced size do so when the picture is larger than asked.
    if (pixelSize > 0 && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const QSize natural = reader.size();
        if (natural.isValid() && (natural.width() > pixelSize || natural.height() > pixelSize)) {
            const long long pixels = (long long)natural.width() * natural.height();
            if (natural.width() <= kMaxDecodeSide && natural.height() <= kMaxDecodeSide && pixels <= maxPixels)
                reader.setScaledSize(natural.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        }
    }
    return readBounded(reader, path, maxPixels, whyNot);
}

namespace {
std::shared_ptr<Image> decode(const Data& data, const char* format, const std::string& what) {
    if (data.empty() || data.size() > size_t(INT_MAX)) return nullptr;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    QImage image = Image::readBounded(reader, what);
    if (image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}
}  // namespace

std::shared_ptr<Image> Image::imageWithPNGData(const Data& png) { return decode(png, "PNG", "PNG data"); }

std::shared_ptr<Image> Image::imageWithData(const Data& data) { return decode(data, nullptr, "data"); }

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path) {
    // A missing file is an ordinary miss (icon lookups try several); a file that is
    // there but cannot be read or does not decode is worth a line.
    std::string whyNot;
    bool missing = false;
    std::unique_ptr<QFile> file = openFile(path, whyNot, &missing);
    if (!file) {
        if (!missing) logOnce(whyNot);
        return nullptr;
    }
    QImageReader reader(file.get());
    useBuiltInPNGDecoder(reader, *file);
    QImage image = readBounded(reader, path);
    if (image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

// ---------------------------------------------------------------------------------
// Deferred images

namespace {

// PNG bytes (an archived image), decoded when needed.
class PNGDataSource : public ImageSource {
public:
    explicit PNGDataSource(Data data) : data_(std::move(data)) {}
    QImage load(int, std::vector<std::string>& problems) const override {
        QByteArray bytes =
            QByteArray::fromRawData(reinterpret_cast<const char*>(data_.data()), qsizetype(data_.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "PNG");
        std::string whyNot;
        QImage image = Image::readBounded(reader, "PNG data", Image::kMaxDecodePixels, whyNot);
        if (image.isNull()) problems.push_back(whyNot + " (archived PNG data of " + std::to_string(data_.size()) + " bytes)");
        return image;
    }
    std::string description() const override { return "archived PNG data"; }
    const Data* pngData() const override { return &data_; }

private:
    Data data_;
};

// An image file, decoded when needed and scaled to fit `maxSide` when that is given.
class FileSource : public ImageSource {
public:
    FileSource(std::string path, int maxSide) : path_(std::move(path)), maxSide_(maxSide) {}
    QImage load(int pixelSize, std::vector<std::string>& problems) const override {
        const int side = pixelSize > 0 ? pixelSize : maxSide_;
        std::string whyNot;
        QImage image = Image::readFileForSize(path_, side, Image::kMaxDecodePixels, whyNot);
        if (image.isNull()) {
            problems.push_back(whyNot);
            return {};
        }
        if (side > 0 && (image.width() > side || image.height() > side))
            image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    std::string description() const override { return "the file " + path_; }

private:
    std::string path_;
    int maxSide_;
};

}  // namespace

std::shared_ptr<Image> Image::imageWithSource(ImageSourcePtr source, Size size) {
    auto image = std::make_shared<Image>(size);
    image->source_ = std::move(source);
    return image;
}

namespace {

uint32_t bigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Signature, IHDR length and type, 13 bytes of fields, CRC.
constexpr size_t kPngHeaderBytes = 8 + 8 + 13 + 4;

}  // namespace

QSize Image::pngHeaderSize(const unsigned char* bytes, size_t size) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!bytes || size < kPngHeaderBytes || std::memcmp(bytes, signature, 8) != 0) return {};
    const unsigned char* chunk = bytes + 8;
    if (bigEndian32(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0) return {};
    const unsigned char* fields = chunk + 8;
    if (::crc32(0, chunk + 4, 4 + 13) != bigEndian32(fields + 13)) return {};
    const uint32_t width = bigEndian32(fields), height = bigEndian32(fields + 4);
    const int depth = fields[8], colour = fields[9];
    // The combinations the PNG format allows, as a decoder checks them.
    bool sound = false;
    switch (colour) {
    case 0: sound = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
    case 3: sound = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
    case 2:
    case 4:
    case 6: sound = depth == 8 || depth == 16; break;
    default: break;
    }
    if (!sound || fields[10] != 0 || fields[11] != 0 || fields[12] > 1) return {};
    if (width == 0 || height == 0 || width > uint32_t(INT_MAX) || height > uint32_t(INT_MAX)) return {};
    return QSize(int(width), int(height));
}

QSize Image::pngFileHeaderSize(const std::string& path) {
    unsigned char header[kPngHeaderBytes];
    std::string whyNot;
    std::unique_ptr<QFile> file = openFile(path, whyNot);
    if (!file) return {};
    const qint64 n = file->read(reinterpret_cast<char*>(header), sizeof header);
    return pngHeaderSize(header, n > 0 ? size_t(n) : 0);
}

// Chunk by chunk from the header on, a block at a time: the file is never held whole.
bool Image::isWholePngFile(const std::string& path) {
    std::string whyNot;
    std::unique_ptr<QFile> file = openFile(path, whyNot);
    if (!file) return false;
    struct Reader {
        QFile& file;
        bool read(char* into, qint64 n) { return file.read(into, n) == n; }
    } in{*file};
    unsigned char header[kPngHeaderBytes];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    if (!pngHeaderSize(header, sizeof header).isValid()) return false;
    std::vector<unsigned char> block(64 * 1024);
    bool sawData = false;
    for (;;) {
        unsigned char head[8];
        if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
        uint32_t left = bigEndian32(head);
        if (left > 0x7FFFFFFFu) return false;
        uLong crc = ::crc32(0, head + 4, 4);
        while (left > 0) {
            const size_t n = std::min<size_t>(left, block.size());
            if (!in.read(reinterpret_cast<char*>(block.data()), qint64(n))) return false;
            crc = ::crc32(crc, block.data(), uInt(n));
            left -= uint32_t(n);
        }
        unsigned char stored[4];
        if (!in.read(reinterpret_cast<char*>(stored), sizeof stored)) return false;
        if (crc != bigEndian32(stored)) return false;
        if (std::memcmp(head + 4, "IDAT", 4) == 0) sawData = true;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return sawData;
    }
}

std::shared_ptr<Image> Image::imageWithPNGDataDeferred(const Data& png) {
    if (png.empty() || png.size() > size_t(INT_MAX)) return nullptr;
    // The header is read here without Qt's image reader: asking the reader looks up (and
    // loads) every image format plugin, which the stored dock's icons would pay for at
    // start. Bytes that are no plain PNG header go the reader's way, as before.
    const QSize header = pngHeaderSize(png.data(), png.size());
    if (header.isValid()) {
        if (header.width() > kMaxDecodeSide || header.height() > kMaxDecodeSide ||
            (long long)header.width() * header.height() > kMaxDecodePixels) {
            log("the image PNG data is too large to decode (", header.width(), " x ", header.height(), " pixels)");
            return nullptr;
        }
        return imageWithSource(std::make_shared<PNGDataSource>(png), Size{double(header.width()), double(header.height())});
    }
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(png.data()), qsizetype(png.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize announced = reader.canRead() ? reader.size() : QSize();
    if (!announced.isValid() || announced.isEmpty()) {
        log("cannot read the image PNG data: ", reader.canRead() ? "it has no size" : "it is no PNG");
        return nullptr;
    }
    if (announced.width() > kMaxDecodeSide || announced.height() > kMaxDecodeSide ||
        (long long)announced.width() * announced.height() > kMaxDecodePixels) {
        log("the image PNG data is too large to decode (", announced.width(), " x ", announced.height(), " pixels)");
        return nullptr;
    }
    return imageWithSource(std::make_shared<PNGDataSource>(png), Size{double(announced.width()), double(announced.height())});
}

std::shared_ptr<Image> Image::imageWithContentsOfFileDeferred(const std::string& path, int maxSide) {
    std::string whyNot;
    std::unique_ptr<QFile> file = openFile(path, whyNot);
    if (!file) return nullptr;
    QImageReader reader(file.get());
    useBuiltInPNGDecoder(reader, *file);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return nullptr;
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) size = QSize(maxSide > 0 ? maxSide : 128, maxSide > 0 ? maxSide : 128);
    if (maxSide > 0 && (size.width() > maxSide || size.height() > maxSide))
        size = size.scaled(maxSide, maxSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return imageWithSource(std::make_shared<FileSource>(path, maxSide), Size{double(size.width()), double(size.height())});
}

void Image::decodeDeferred() const {
    std::lock_guard lock(mutex_);
    if (!source_ || decodeFailed_) return;
    std::vector<std::string> problems;
    QImage pixels = source_->load(0, problems);
    for (const auto& line : problems) logOnce(line);
    if (pixels.isNull()) {
        if (problems.empty()) logOnce("cannot decode the image from " + source_->description());
        // The source stays: archived data is written back as it was read.
        decodeFailed_ = true;
        return;
    }
    source_.reset();
    reps_.push_back(std::make_shared<ImageRep>(std::move(pixels)));
}

bool Image::isDeferred() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(source_);
}

ImageSourcePtr Image::source() const {
    std::lock_guard lock(mutex_);
    return source_;
}

QImage Image::pixelsForSize(int pixelSize, std::vector<std::string>* problems) const {
    ImageSourcePtr source;
    {
        std::lock_guard lock(mutex_);
        source = source_;
        if (!source) {
            ImageRepPtr best, largest;
            for (auto& rep : reps_) {
                if (!rep || rep->isEmpty()) continue;
                const long long area = rep->pixelsWide() * (long long)rep->pixelsHigh();
                if (!largest || area > largest->pixelsWide() * (long long)largest->pixelsHigh()) largest = rep;
                if (rep->pixelsWide() >= pixelSize && rep->pixelsHigh() >= pixelSize &&
                    (!best || area < best->pixelsWide() * (long long)best->pixelsHigh()))
                    best = rep;
            }
            if (!best) best = largest;
            return best ? best->image() : QImage();
        }
    }
    std::vector<std::string> own;
    QImage pixels = source->load(pixelSize, problems ? *problems : own);
    for (const auto& line : own) logOnce(line);
    return pixels;
}

const std::vector<ImageRepPtr>& Image::representations() const {
    decodeDeferred();
    return reps_;
}

QImage Image::qimage() const {
    decodeDeferred();
    for (auto& rep : reps_)
        if (rep) return rep->image();
    return {};
}

bool Image::isValid() const {
    decodeDeferred();
    for (auto& rep : reps_)
        if (rep && !rep->isEmpty()) return true;
    return false;
}

void Image::addRepresentation(ImageRepPtr rep) {
    decodeDeferred();
    std::lock_guard lock(mutex_);
    source_.reset();  // a source that failed gives way to the new content
    if (rep) reps_.push_back(std::move(rep));
}

void Image::removeRepresentation(const ImageRepPtr& rep) {
    decodeDeferred();
    std::lock_guard lock(mutex_);
    source_.reset();
    reps_.erase(std::remove(reps_.begin(), reps_.end(), rep), reps_.end());
}

ImageRepPtr Image::bestRepresentationForPixelSize(double w, double h) const {
    decodeDeferred();
    ImageRepPtr best, largest;
    for (auto& rep : reps_) {
        if (!rep || rep->isEmpty()) continue;
        if (!largest || rep->pixelsWide() * (long long)rep->pixelsHigh() >
                            largest->pixelsWide() * (long long)largest->pixelsHigh())
            largest = rep;
        if (rep->pixelsWide() >= w && rep->pixelsHigh() >= h &&
            (!best || rep->pixelsWide() * (long long)rep->pixelsHigh() <
                          best->pixelsWide() * (long long)best->pixelsHigh()))
            best = rep;
    }
    return best ? best : largest;
}

std::shared_ptr<Image> Image::copy() const {
    if (auto deferred = source()) {
        auto image = imageWithSource(std::move(deferred), size_);
        image->template_ = template_;
        return image;
    }
    auto image = std::make_shared<Image>(size_);
    image->template_ = template_;
    for (auto& rep : representations())
        if (rep) image->reps_.push_back(rep->copy());
    return image;
}

Data Image::PNGRepresentation() const {
    // Not decoded yet and made from PNG data: those bytes, as they are.
    if (auto deferred = source())
        if (const Data* png = deferred->pngData()) return *png;
    QImage pixels = qimage();
    if (pixels.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!writer.write(pixels)) {
        log("cannot write an image as PNG: ", writer.errorString().toStdString());
        return {};
    }
    return Data(reinterpret_cast<const uint8_t*>(bytes.constData()),
                reinterpret_cast<const uint8_t*>(bytes.constData()) + bytes.size());
}

void Image::encodeWithCoder(Coder& coder) const { coder.encodeObject(Value(PNGRepresentation()), "NSPNGData"); }

}  // namespace qs
