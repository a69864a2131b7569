#include "platform/foundation/Image.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <climits>

#include "platform/foundation/Log.h"

namespace qs {

std::shared_ptr<Image> Image::imageWithPNGData(const Data& png) {
    if (png.empty() || png.size() > size_t(INT_MAX)) return nullptr;
    QImage image;
    if (!image.loadFromData(png.data(), int(png.size()), "PNG") || image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

std::shared_ptr<Image> Image::imageWithContentsOfFile(const std::string& path) {
    const QString file = QString::fromStdString(path);
    QImageReader reader(file);
    QImage image = reader.read();
    if (image.isNull()) {
        // A missing file is an ordinary miss (icon lookups try several); a file that is
        // there but does not decode is worth a line.
        if (QFileInfo(file).isFile()) log("cannot read the image ", path, ": ", reader.errorString().toStdString());
        return nullptr;
    }
    return std::make_shared<Image>(std::move(image));
}

Data Image::PNGRepresentation() const {
    if (image_.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!writer.write(image_)) {
        log("cannot write an image as PNG: ", writer.errorString().toStdString());
        return {};
    }
    return Data(reinterpret_cast<const uint8_t*>(bytes.constData()),
                reinterpret_cast<const uint8_t*>(bytes.constData()) + bytes.size());
}

void Image::encodeWithCoder(Coder& coder) const { coder.encodeObject(Value(PNGRepresentation()), "NSPNGData"); }

}  // namespace qs
