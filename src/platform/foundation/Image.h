#pragma once
// An image (the platform's NSImage) over a QImage. Archived as its PNG data.

#include <QImage>
#include <memory>
#include <string>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class Image : public Object, public Coding {
public:
    explicit Image(QImage image) : image_(std::move(image)) {}
    static std::shared_ptr<Image> imageWithPNGData(const Data& png);  // nullptr if undecodable
    static std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path);

    std::string className() const override { return "NSImage"; }
    std::vector<std::string> classHierarchy() const override { return {"NSImage", "NSObject"}; }

    const QImage& qimage() const { return image_; }
    Size size() const { return {double(image_.width()), double(image_.height())}; }
    bool isValid() const { return !image_.isNull(); }
    Data PNGRepresentation() const;

    void encodeWithCoder(Coder& coder) const override;

private:
    QImage image_;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace qs
