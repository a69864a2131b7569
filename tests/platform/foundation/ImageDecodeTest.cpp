#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <fstream>
#include <string>

#include "platform/foundation/Image.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// A PNG stream announcing the size: a valid IHDR, an empty IDAT and the end.
Data announcedPNG(uint32_t w, uint32_t h) {
    Data d{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char* type, const Data& body) {
        for (int i = 3; i >= 0; --i) d.push_back(uint8_t(body.size() >> (8 * i)));
        const size_t start = d.size();
        d.insert(d.end(), type, type + 4);
        d.insert(d.end(), body.begin(), body.end());
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = start; i < d.size(); ++i) {
            crc ^= d[i];
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc ^= 0xFFFFFFFFu;
        for (int i = 3; i >= 0; --i) d.push_back(uint8_t(crc >> (8 * i)));
    };
    Data ihdr;
    for (uint32_t v : {w, h})
        for (int i = 3; i >= 0; --i) ihdr.push_back(uint8_t(v >> (8 * i)));
    for (uint8_t b : {8, 6, 0, 0, 0}) ihdr.push_back(b);
    chunk("IHDR", ihdr);
    chunk("IDAT", {});
    chunk("IEND", {});
    return d;
}

// The image format plugins the process has mapped.
int mappedFormatPlugins() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return -1;
    return int(maps.readAll().count("/imageformats/"));
}

Data encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Data(bytes.begin(), bytes.end());
}

class ImageDecode : public test::IsolatedTest {
protected:
    std::string write(const std::string& name, const Data& bytes) {
        std::string path = env.root() + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        return path;
    }
};

TEST_F(ImageDecode, HugeEmptyCorruptAndTruncatedFilesAreRefusedWithALine) {
    EXPECT_FALSE(Image::imageWithContentsOfFile(write("huge.png", announcedPNG(20000, 20000))));
    EXPECT_TRUE(env.logged("too large to decode (20000 x 20000 pixels"));
    EXPECT_FALSE(Image::imageWithPNGData(announcedPNG(9000, 9000)));  // 81 million pixels
    EXPECT_TRUE(env.logged("9000 x 9000"));
    EXPECT_FALSE(Image::imageWithContentsOfFile(write("wide.png", announcedPNG(20000, 1))));

    const size_t lines = env.logLines().size();
    EXPECT_FALSE(Image::imageWithContentsOfFile(write("empty.png", announcedPNG(0, 0))));
    EXPECT_GT(env.logLines().size(), lines);

    EXPECT_FALSE(Image::imageWithContentsOfFile(write("corrupt.png", Data{0x89, 'P', 'N', 'G', 1, 2, 3})));
    EXPECT_TRUE(env.logged("corrupt.png"));

    QImage picture(64, 64, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    Data png(bytes.begin(), bytes.end());
    auto good = Image::imageWithData(png);
    ASSERT_TRUE(good);
    EXPECT_EQ(good->size(), (Size{64, 64}));
    Data half(png.begin(), png.begin() + long(png.size() / 2));
    (void)Image::imageWithContentsOfFile(write("truncated.png", half));  // no crash, whatever Qt recovers
    EXPECT_FALSE(Image::imageWithData(Data{'x'}));
}

// PNG files go straight to the built-in decoder, whatever their names, without the
// format plugins being loaded; other formats are still found from their contents.
TEST_F(ImageDecode, PNGFilesDecodeWithoutThePluginsAndOtherFormatsStillDecode) {
    QImage pixels(6, 3, QImage::Format_ARGB32);
    pixels.fill(QColor(10, 200, 30, 128));
    const Data png = encoded(pixels, "PNG");
    const int before = mappedFormatPlugins();
    for (const char* name : {"a.png", "b.PNG", "no-suffix", "named-wrongly.jpg"}) {
        const std::string path = write(name, png);
        auto image = Image::imageWithContentsOfFile(path);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->qimage().convertToFormat(QImage::Format_ARGB32), pixels) << name;
        std::string whyNot;
        const QImage scaled = Image::readFileForSize(path, 2, Image::kMaxDecodePixels, whyNot);
        EXPECT_FALSE(scaled.isNull()) << name << ": " << whyNot;
        auto deferred = Image::imageWithContentsOfFileDeferred(path, 0);
        ASSERT_TRUE(deferred) << name;
        EXPECT_EQ(deferred->size(), (Size{6, 3})) << name;
    }
    EXPECT_EQ(mappedFormatPlugins(), before) << "reading PNG files loaded image format plugins";

    // A BMP named as a PNG: the contents decide, as before.
    const std::string bmp = write("really-a-bmp.png", encoded(pixels.convertToFormat(QImage::Format_RGB32), "BMP"));
    auto image = Image::imageWithContentsOfFile(bmp);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{6, 3}));
}

TEST_F(ImageDecode, RepresentationsAndTheSizeInPoints) {
    QImage pixels(8, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::blue);
    Image image(pixels);
    EXPECT_EQ(image.size(), (Size{8, 4}));
    ASSERT_EQ(image.representations().size(), 1u);
    EXPECT_EQ(image.representations()[0]->kind(), ImageRep::Kind::Bitmap);
    image.setSize({16, 8});
    EXPECT_EQ(image.qimage().size(), QSize(8, 4)) << "the pixels stay";
    auto large = std::make_shared<ImageRep>(QImage(32, 16, QImage::Format_ARGB32_Premultiplied));
    image.addRepresentation(large);
    EXPECT_EQ(image.bestRepresentationForPixelSize(16, 8), large);
    EXPECT_EQ(image.bestRepresentationForPixelSize(4, 2), image.representations()[0]);
    EXPECT_EQ(image.bestRepresentationForPixelSize(100, 100), large) << "else the largest";
    auto copy = image.copy();
    EXPECT_EQ(copy->representations().size(), 2u);
    EXPECT_NE(copy->representations()[1], large);
    image.removeRepresentation(large);
    EXPECT_EQ(image.representations().size(), 1u);
    EXPECT_FALSE(Image(QImage()).isValid());
    EXPECT_FALSE(Image(Size{4, 4}).isValid());
}

}  // namespace
}  // namespace qs
