// Deferred images: archived pictures and files decoded only when drawn, archived again
// as the bytes they were read from, and loaded at the size asked for from any thread.

#include <gtest/gtest.h>

#include <QBuffer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Log.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

Data pngOf(QColor colour, int w, int h, bool noisy = false) {
    QImage picture(w, h, QImage::Format_ARGB32);
    picture.fill(colour);
    if (noisy)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) picture.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, y * 7 & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return Data(bytes.begin(), bytes.end());
}

// Counts its loads.
class CountingSource : public ImageSource {
public:
    QImage load(int pixelSize, std::vector<std::string>&) const override {
        ++loads;
        const int side = pixelSize > 0 ? pixelSize : 10;
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::green);
        return image;
    }
    std::string description() const override { return "a counting source"; }
    mutable std::atomic<int> loads{0};
};

class DeferredImage : public test::IsolatedTest {
protected:
    DeferredImage() { resetLogOnceForTesting(); }
};

TEST_F(DeferredImage, AnArchivedPictureDecodesWhenDrawnAndArchivesAsTheSameBytes) {
    const Data png = pngOf(Qt::red, 5, 3);
    Data archive = KeyedArchiver::archivedDataWithRootObject(Value(Image::imageWithPNGData(png)));
    auto image = KeyedUnarchiver::unarchiveObjectWithData(archive).objectAs<Image>();
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->isDeferred()) << "loading decodes nothing";
    EXPECT_EQ(image->size(), (Size{5, 3})) << "the size comes from the header";
    const Data stored = image->PNGRepresentation();
    EXPECT_TRUE(image->isDeferred()) << "archiving again decodes nothing either";
    Data again = KeyedArchiver::archivedDataWithRootObject(Value(image));
    EXPECT_EQ(again, archive) << "the stored dock is written back as it was read";

    EXPECT_EQ(image->pixelsForSize(3).pixelColor(1, 1), QColor(Qt::red));
    EXPECT_TRUE(image->isDeferred()) << "pixels for a size are not kept";
    EXPECT_EQ(image->qimage().convertToFormat(QImage::Format_ARGB32).pixelColor(4, 2), QColor(Qt::red));
    EXPECT_FALSE(image->isDeferred());
    EXPECT_EQ(image->representations().size(), 1u);

    // Data that is no PNG, or announces too many pixels, is refused at once as before.
    EXPECT_FALSE(Image::imageWithPNGDataDeferred(Data{'n', 'o', 'p', 'e'}));
    EXPECT_TRUE(env.logged("it is no PNG"));
}

TEST_F(DeferredImage, PngHeadersAreReadWithoutADecoderAndDamagedOnesAreRefused) {
    const Data png = pngOf(Qt::red, 7, 300);
    EXPECT_EQ(Image::pngHeaderSize(png.data(), png.size()), QSize(7, 300));
    EXPECT_FALSE(Image::pngHeaderSize(png.data(), 20).isValid()) << "cut off inside the header";
    Data damaged = png;
    damaged[18] ^= 0x01;  // the width, under the header's checksum
    EXPECT_FALSE(Image::pngHeaderSize(damaged.data(), damaged.size()).isValid());
    EXPECT_FALSE(Image::imageWithPNGDataDeferred(damaged)) << "refused at once, as a decoder refuses it";
    const std::string file = env.root() + "/tall.png";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), long(png.size()));
    EXPECT_EQ(Image::pngFileHeaderSize(file), QSize(7, 300));
    EXPECT_FALSE(Image::pngFileHeaderSize(env.root() + "/missing.png").isValid());
}

TEST_F(DeferredImage, ABrokenBodyLeavesAnEmptyImageAndOneLine) {
    Data png = pngOf(Qt::blue, 40, 40, true);
    png.resize(png.size() / 2);  // a sound header, half the pixel data
    auto image = Image::imageWithPNGDataDeferred(png);
    ASSERT_TRUE(image);
    std::vector<std::string> problems;
    EXPECT_TRUE(image->pixelsForSize(16, &problems).isNull());
    EXPECT_EQ(problems.size(), 1u);
    EXPECT_FALSE(image->isValid());
    EXPECT_FALSE(image->isValid());
    EXPECT_TRUE(image->qimage().isNull());
    EXPECT_EQ(image->PNGRepresentation(), png) << "the stored bytes are kept for the next save";
    size_t lines = 0;
    for (const auto& l : env.logLines()) lines += l.find("archived PNG data of " + std::to_string(png.size()) + " bytes") != std::string::npos;
    EXPECT_EQ(lines, 1u);
}

TEST_F(DeferredImage, ASourceLoadsOnceWhenDecodedAndAtEachSizeAskedFromAnyThread) {
    auto source = std::make_shared<CountingSource>();
    auto image = Image::imageWithSource(source, Size{10, 10});
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] { good += image->pixelsForSize(8 + i).width() == 8 + i; });
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, 4);
    EXPECT_EQ(source->loads, 4);
    auto copy = image->copy();
    EXPECT_TRUE(copy->isDeferred());
    EXPECT_TRUE(image->isValid());
    EXPECT_TRUE(image->isValid());
    EXPECT_EQ(source->loads, 5) << "decoded once";
    EXPECT_EQ(image->pixelsForSize(10).width(), 10) << "then drawn from its representation";
    EXPECT_EQ(source->loads, 5);
}

TEST_F(DeferredImage, FilesAreReadWithinBoundsAndLinkLoopsAreRefused) {
    const std::string dir = env.root();
    const Data png = pngOf(Qt::yellow, 300, 150);
    std::ofstream(dir + "/wide.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), long(png.size()));
    auto image = Image::imageWithContentsOfFileDeferred(dir + "/wide.png", 100);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{100, 50}));
    EXPECT_EQ(image->qimage().size(), QSize(100, 50));

    std::string why;
    EXPECT_EQ(Image::readFileForSize(dir + "/wide.png", 0, Image::kMaxDecodePixels, why).size(), QSize(300, 150));
    EXPECT_TRUE(Image::readFileForSize(dir + "/wide.png", 0, 1000, why).isNull()) << "a smaller bound";
    EXPECT_NE(why.find("too large"), std::string::npos);
    EXPECT_TRUE(Image::readFileForSize(dir, 0, Image::kMaxDecodePixels, why).isNull());
    EXPECT_NE(why.find("not a regular file"), std::string::npos);
    std::filesystem::create_symlink(dir + "/b.png", dir + "/a.png");
    std::filesystem::create_symlink(dir + "/a.png", dir + "/b.png");
    EXPECT_TRUE(Image::readFileForSize(dir + "/a.png", 32, Image::kMaxDecodePixels, why).isNull());
    EXPECT_NE(why.find("symbolic links"), std::string::npos);
    EXPECT_FALSE(Image::imageWithContentsOfFileDeferred(dir + "/a.png"));
}

}  // namespace
}  // namespace qs
