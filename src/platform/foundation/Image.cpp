#include "platform/foundation/Image.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace qs {

std::shared_ptr<Image> Image::imageWithPNGData(const Data& png) {
    if (png.empty()) return nullptr;
    QImage image;
    if (!image.loadFromData(png.data(), int(png.size()), "PNG") || image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

Data Image::PNGRepresentation() const {
    if (image_.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!writer.write(image_)) return {};
    return Data(reinterpret_cast<const uint8_t*>(bytes.constData()),
                reinterpret_cast<const uint8_t*>(bytes.constData()) + bytes.size());
}

void Image::encodeWithCoder(Coder& coder) const { coder.encodeObject(Value(PNGRepresentation()), "NSPNGData"); }

}  // namespace qs
