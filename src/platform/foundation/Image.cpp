#include "platform/foundation/Image.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSysInfo>
#include <algorithm>
#include <climits>
#include <cstring>

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
    // The header alone tells the size; nothing is decoded before it is checked.
    const QSize announced = reader.size();
    if (announced.isValid()) {
        if (announced.width() < 1 || announced.height() < 1) {
            log("the image ", what, " is empty (", announced.width(), " x ", announced.height(), " pixels)");
            return {};
        }
        const long long pixels = (long long)announced.width() * announced.height();
        if (announced.width() > kMaxDecodeSide || announced.height() > kMaxDecodeSide || pixels > kMaxDecodePixels) {
            log("the image ", what, " is too large to decode (", announced.width(), " x ", announced.height(),
                " pixels; the limit is ", kMaxDecodeSide, " pixels a side and ", kMaxDecodePixels, " pixels)");
            return {};
        }
    }
    // Formats that do not announce their size are held to the same budget by Qt's
    // allocation limit (in MiB).
    reader.setAllocationLimit(int(kMaxDecodePixels * 4 / (1024 * 1024)));
    QImage image = reader.read();
    if (image.isNull()) {
        log("cannot read the image ", what, ": ", reader.errorString().toStdString());
        return {};
    }
    if (image.width() > kMaxDecodeSide || image.height() > kMaxDecodeSide ||
        (long long)image.width() * image.height() > kMaxDecodePixels) {
        log("the image ", what, " is too large (", image.width(), " x ", image.height(), " pixels)");
        return {};
    }
    return image;
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
    const QString file = QString::fromStdString(path);
    // A missing file is an ordinary miss (icon lookups try several); a file that is
    // there but does not decode is worth a line.
    if (!QFileInfo(file).isFile()) return nullptr;
    QImageReader reader(file);
    QImage image = readBounded(reader, path);
    if (image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

QImage Image::qimage() const {
    for (auto& rep : reps_)
        if (rep) return rep->image();
    return {};
}

bool Image::isValid() const {
    for (auto& rep : reps_)
        if (rep && !rep->isEmpty()) return true;
    return false;
}

void Image::addRepresentation(ImageRepPtr rep) {
    if (rep) reps_.push_back(std::move(rep));
}

void Image::removeRepresentation(const ImageRepPtr& rep) {
    reps_.erase(std::remove(reps_.begin(), reps_.end(), rep), reps_.end());
}

ImageRepPtr Image::bestRepresentationForPixelSize(double w, double h) const {
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
    auto image = std::make_shared<Image>(size_);
    image->template_ = template_;
    for (auto& rep : reps_)
        if (rep) image->reps_.push_back(rep->copy());
    return image;
}

Data Image::PNGRepresentation() const {
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
