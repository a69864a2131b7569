#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <thread>
#include <tuple>

#include "platform/ui/ImageDrawing.h"
#include "platform/ui/ImageFocus.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewGeometry.h"
#include "support/TestEnvironment.h"
#include "toolkit/DrawingSupport.h"
#include "toolkit/ImageHelpers.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/NTStandardColors.h"

namespace qs {
namespace {

using namespace NSImage_Grayscale;
using test::near;
using test::pixelAt;
using test::solidImage;

// A w × h transparent image with one opaque red pixel at the y-up position.
ImagePtr markedImage(int w, int h, int x, int yUp, QColor colour = Qt::red) {
    QImage pixels(w, h, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(0);
    pixels.setPixelColor(x, h - 1 - yUp, colour);
    return std::make_shared<Image>(pixels);
}

ImagePtr templated(ImagePtr image) {
    image->setTemplate(true);
    return image;
}

class ImageHelpers : public test::IsolatedTest {};

TEST_F(ImageHelpers, RotationSizesAndTurning) {
    auto image = solidImage(100, 50, Qt::red);
    EXPECT_EQ(imageRotated(image, 90)->size(), (Size{50, 100}));
    EXPECT_EQ(imageRotated(image, 450)->size(), (Size{50, 100}));
    EXPECT_EQ(imageRotated(image, -270)->size(), (Size{50, 100}));
    EXPECT_EQ(imageRotated(image, -180)->size(), (Size{100, 50}));
    EXPECT_EQ(imageRotated(image, 45)->size(), (Size{120, 120}));
    EXPECT_EQ(imageRotated(image, 0), image);
    EXPECT_EQ(imageRotated(image, 360), image);
    EXPECT_FALSE(imageRotated(templated(solidImage(4, 4, Qt::red)), 90)->isTemplate());

    // Counter-clockwise: the bottom-left corner goes to the bottom-right.
    auto marked = markedImage(10, 10, 0, 0);
    auto turned = imageRotated(marked, 90);
    EXPECT_EQ(pixelAt(*turned, 9, 0), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*turned, 0, 0).alpha(), 0);
    auto back = imageRotated(marked, -90);
    EXPECT_EQ(pixelAt(*back, 0, 9), QColor(Qt::red));
    auto half = imageRotated(markedImage(8, 4, 0, 0), 180);
    EXPECT_EQ(pixelAt(*half, 7, 3), QColor(Qt::red));
    // An oblique turn keeps the centre at the canvas centre.
    auto oblique = imageRotated(solidImage(10, 10, Qt::blue), 45);
    EXPECT_EQ(pixelAt(*oblique, 15, 15), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*oblique, 1, 1).alpha(), 0);
}

TEST_F(ImageHelpers, FlipMirrorsVerticallyAndKeepsTheTemplateFlag) {
    auto marked = templated(markedImage(6, 4, 1, 0));
    auto flipped = flip(marked);
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped->size(), (Size{6, 4}));
    EXPECT_EQ(pixelAt(*flipped, 1, 3), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*flipped, 1, 0).alpha(), 0);
    EXPECT_TRUE(flipped->isTemplate());
    auto empty = std::make_shared<Image>(Size{0, 5});
    EXPECT_EQ(flip(empty), empty);
}

TEST_F(ImageHelpers, TilingARectangleAndTheTileGrid) {
    auto tile = markedImage(4, 4, 0, 0);
    auto maker = NTImageMaker::maker({10, 10});
    maker->lockFocus();
    tileInRect(*tile, MakeRect(1.5, 1.5, 7, 7), false, CompositingOperation::SourceOver, 1.0);
    auto tiled = maker->unlockFocus();
    // Tiles start at trunc(1.5) = 1 and step by 4; the clip keeps (1.5 ... 8.5).
    EXPECT_EQ(pixelAt(*tiled, 5, 5), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*tiled, 5, 1), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*tiled, 9, 9).alpha(), 0);
    EXPECT_EQ(pixelAt(*tiled, 6, 6).alpha(), 0);

    // Centred at (35, 15), then down and left by whole tiles on both axes at once.
    EXPECT_EQ(tileRectForBounds(*solidImage(30, 20, Qt::red), MakeRect(0, 0, 100, 50)),
              MakeRect(-25, -25, 125, 75));
    EXPECT_EQ(tileRectForBounds(*std::make_shared<Image>(Size{0, 0}), MakeRect(0, 0, 10, 10)), MakeRect(0, 0, 10, 10));
}

TEST_F(ImageHelpers, TilingFromATinyImageEnds) {
    auto tiny = std::make_shared<Image>(Size{0.25, 0.25});
    tiny->addRepresentation(ImageRep::makeCanvas(1, 1));
    auto maker = NTImageMaker::maker({4, 4});
    maker->lockFocus();
    tileInRect(*tiny, MakeRect(0, 0, 4, 4), false, CompositingOperation::SourceOver, 1.0);  // must return
    EXPECT_TRUE(maker->unlockFocus());
}

TEST_F(ImageHelpers, TilingAFlippedViewPaintsTheImageUpright) {
    // A 4 × 4 tile: red top half, blue bottom half.
    QImage pixels(4, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::blue);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) pixels.setPixelColor(x, y, Qt::red);
    Image tile(pixels);
    struct Tiled : QWidget {
        Image* tile = nullptr;
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            GraphicsContextScope scope(&painter, height(), ViewGeometry::isFlipped(this));
            tileInView(*tile, this);
        }
    } view;
    view.tile = &tile;
    view.resize(8, 8);
    QImage grabbed = view.grab().toImage();
    // The grid is centred (a tile at 2 ... 6), so tiles start at -2 on both axes; each
    // shows red above blue.
    EXPECT_EQ(grabbed.pixelColor(3, 2), QColor(Qt::red));
    EXPECT_EQ(grabbed.pixelColor(3, 3), QColor(Qt::red));
    EXPECT_EQ(grabbed.pixelColor(3, 4), QColor(Qt::blue));
    EXPECT_EQ(grabbed.pixelColor(7, 5), QColor(Qt::blue));
    EXPECT_EQ(grabbed.pixelColor(0, 0), QColor(Qt::blue)) << "the lower half of the tile at -2";
    EXPECT_EQ(grabbed.pixelColor(0, 6), QColor(Qt::red)) << "the upper half of the tile at 6";
}

TEST_F(ImageHelpers, CopiesThroughTheMaker) {
    auto mask = templated(solidImage(4, 4, QColor(0, 0, 0, 128)));
    auto coloured = coloredImage(mask, Color::colorWithCalibratedRed(1, 0, 0, 1));
    EXPECT_TRUE(near(pixelAt(*coloured, 2, 2), QColor(255, 0, 0, 128)));
    EXPECT_TRUE(coloured->isTemplate());

    auto backed = imageWithBackground(markedImage(3, 3, 1, 1), Color::whiteColor());
    EXPECT_EQ(pixelAt(*backed, 1, 1), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*backed, 0, 0), QColor(Qt::white));

    auto faded = imageWithAlpha(solidImage(2, 2, Qt::blue), 0.5f);
    EXPECT_TRUE(near(pixelAt(*faded, 0, 0), QColor(0, 0, 255, 128)));

    auto wide = templated(solidImage(64, 16, Qt::green));
    auto max = imageWithMaxSize(wide, 32);
    EXPECT_EQ(max->size(), (Size{32, 32}));
    EXPECT_TRUE(max->isTemplate());
    EXPECT_EQ(pixelAt(*max, 16, 12), QColor(Qt::green));
    EXPECT_EQ(pixelAt(*max, 16, 19), QColor(Qt::green));
    EXPECT_EQ(pixelAt(*max, 16, 11).alpha(), 0);
    EXPECT_EQ(pixelAt(*max, 16, 20).alpha(), 0);

    auto same = solidImage(10, 10, Qt::red);
    EXPECT_EQ(imageWithSize(same, {10, 10}), same);
    auto bigger = imageWithSize(same, {20, 40});
    EXPECT_EQ(pixelAt(*bigger, 10, 20), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*bigger, 10, 2).alpha(), 0) << "fitted 20 x 20, centred";
    auto notLarger = imageWithSize(same, {20, 40}, false);
    EXPECT_EQ(pixelAt(*notLarger, 10, 20), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*notLarger, 2, 20).alpha(), 0) << "kept 10 x 10";

    for (int margin : {0, 7}) {
        auto taller = imageWithTopMargin(solidImage(10, 10, Qt::red), margin);
        EXPECT_EQ(taller->size(), (Size{10, 11}));
        EXPECT_EQ(pixelAt(*taller, 5, 10).alpha(), 0);
        EXPECT_EQ(pixelAt(*taller, 5, 9), QColor(Qt::red));
    }
}

TEST_F(ImageHelpers, AControlImageBesideTheImage) {
    auto icon = solidImage(10, 10, Qt::red);
    auto control = solidImage(4, 4, Qt::blue);
    auto combined = imageWithControlImage(icon, control);
    EXPECT_EQ(combined->size(), (Size{18, 10}));
    // The icon fits in the 14-point remainder (centred: x 2 ... 12), the control sits at
    // x 14, y = rint(3) + 0 - 1 = 2.
    EXPECT_EQ(pixelAt(*combined, 7, 5), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*combined, 1, 5).alpha(), 0);
    EXPECT_EQ(pixelAt(*combined, 15, 2), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*combined, 15, 6).alpha(), 0);
    EXPECT_EQ(pixelAt(*combined, 15, 1).alpha(), 0);
}

TEST_F(ImageHelpers, ShadowedCopyStaysTheSameSize) {
    auto square = std::make_shared<Image>(QImage(20, 20, QImage::Format_ARGB32_Premultiplied));
    {
        ImageFocus focus(square);
        Color::clearColor()->set();
        RectFillUsingOperation(MakeRect(0, 0, 20, 20), CompositingOperation::Copy);
        Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
        RectFill(MakeRect(5, 10, 10, 10));
    }
    auto shadow = NSShadow_NTExtensions::shadowWithColor(Color::blackColor(), {0, -5}, 0);
    auto shadowed = copyImageWithShadow(square, shadow);
    EXPECT_EQ(shadowed->size(), (Size{20, 20}));
    EXPECT_EQ(pixelAt(*shadowed, 10, 15), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*shadowed, 10, 7), QColor(Qt::black));
    EXPECT_EQ(pixelAt(*shadowed, 10, 2).alpha(), 0);
}

TEST_F(ImageHelpers, PickingRepresentations) {
    auto image = std::make_shared<Image>(Size{32, 32});
    auto rep16 = std::make_shared<ImageRep>(QImage(16, 16, QImage::Format_ARGB32_Premultiplied));
    auto rep64 = std::make_shared<ImageRep>(QImage(64, 64, QImage::Format_ARGB32_Premultiplied));
    auto rep48 = std::make_shared<ImageRep>(QImage(48, 48, QImage::Format_ARGB32_Premultiplied));
    rep16->paintableImage()->fill(Qt::red);
    rep64->paintableImage()->fill(Qt::green);
    rep48->paintableImage()->fill(Qt::blue);
    image->addRepresentation(rep16);
    image->addRepresentation(rep64);
    image->addRepresentation(rep48);
    auto exact = sizeIcon(image, 16);
    EXPECT_EQ(exact->representations().size(), 1u);
    EXPECT_EQ(pixelAt(*exact, 8, 8), QColor(Qt::red));
    // 64 is closer to 40 than 16 and wider; 48 is closer still.
    auto fitted = sizeIcon(image, 40);
    EXPECT_EQ(fitted->size(), (Size{40, 40}));
    EXPECT_EQ(pixelAt(*fitted, 20, 20), QColor(Qt::blue));
    EXPECT_EQ(bitmapImageRepForSize(image, 64)->pixelsWide(), 64);
    auto drawn = bitmapImageRepForSize(image, 20);
    EXPECT_EQ(drawn->pixelsWide(), 20);
    // No width 20: the first representation is the initial choice and no wider one is
    // closer than its 4 points.
    EXPECT_EQ(drawn->image().pixelColor(10, 10), QColor(Qt::red));
    // No representation at all: a transparent icon, not a crash.
    auto bare = std::make_shared<Image>(Size{8, 8});
    EXPECT_EQ(sizeIcon(bare, 8)->size(), (Size{8, 8}));
    EXPECT_EQ(bitmapImageRepForSize(bare, 8)->pixelsWide(), 8);

    EXPECT_FALSE(hasCachedImageRep(*image));
    EXPECT_EQ(imageRepOfClass(*image, ImageRep::Kind::Bitmap), rep16);
    auto redrawn = imageWithOnlyCachedImageRep(image);
    EXPECT_EQ(redrawn->representations().size(), 1u);
    EXPECT_EQ(image->representations().size(), 3u);
    auto focused = solidImage(4, 4, Qt::red);
    { ImageFocus focus(focused); }
    EXPECT_TRUE(hasCachedImageRep(*focused));
    auto only = imageWithOnlyCachedImageRep(focused);
    EXPECT_EQ(only->representations().size(), 1u);
    EXPECT_TRUE(focused->representations().empty()) << "the cached representation moves over";

    auto odd = std::make_shared<Image>(Size{10, 10});
    odd->addRepresentation(std::make_shared<ImageRep>(QImage(20, 30, QImage::Format_ARGB32_Premultiplied)));
    normalizeSize(odd);
    EXPECT_EQ(odd->size(), (Size{20, 30}));
    EXPECT_EQ(odd->representations()[0]->size(), (Size{20, 30}));
}

TEST_F(ImageHelpers, BmpEncoding) {
    QImage pixels(5, 2, QImage::Format_RGBA8888);
    pixels.fill(QColor(1, 2, 3));
    pixels.setPixelColor(0, 1, QColor(10, 20, 30));  // bottom row, first pixel
    Data bmp = bmpData(std::make_shared<Image>(pixels));
    ASSERT_EQ(bmp.size(), 54u + 16 * 2);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[2] | bmp[3] | bmp[4] | bmp[5], 0) << "file size left 0";
    EXPECT_EQ(bmp[10], 54);
    EXPECT_EQ(bmp[14], 40);
    EXPECT_EQ(bmp[18], 5);
    EXPECT_EQ(bmp[22], 2);
    EXPECT_EQ(bmp[26], 1);
    EXPECT_EQ(bmp[28], 24);
    EXPECT_EQ(bmp[34], 32);
    // The first row in the file is the bottom row, as blue, green, red.
    EXPECT_EQ(bmp[54], 30);
    EXPECT_EQ(bmp[55], 20);
    EXPECT_EQ(bmp[56], 10);
    EXPECT_EQ(bmp[54 + 15], 0) << "row padding";
    EXPECT_EQ(bmp[54 + 16 + 0], 3);

    EXPECT_EQ(bmpData(solidImage(4, 3, Qt::red)).size(), 54u + 12 * 3) << "no padding at width 4";
    // A grey-and-alpha source and an image without a bitmap are read by their own layout.
    auto mono = monochromeImage(solidImage(3, 1, Qt::white));
    Data grey = bmpData(mono);
    ASSERT_EQ(grey.size(), 54u + 12);
    EXPECT_EQ(grey[54], 255);
    EXPECT_EQ(grey[56], 255);
    auto cached = solidImage(2, 2, Qt::blue);
    { ImageFocus focus(cached); }
    Data drawn = bmpData(cached);
    ASSERT_EQ(drawn.size(), 54u + 8 * 2);
    EXPECT_EQ(drawn[54], 255);
    EXPECT_EQ(drawn[56], 0);
}

TEST_F(ImageHelpers, MonochromeAndGreyScale) {
    auto red = templated(solidImage(1, 1, Qt::red));
    auto mono = monochromeImage(red);
    ASSERT_EQ(mono->representations().size(), 1u);
    const auto& rep = mono->representations()[0];
    EXPECT_EQ(rep->samplesPerPixel(), 2);
    EXPECT_EQ(rep->bitmapData()[0], 76);
    EXPECT_EQ(rep->bitmapData()[1], 255);
    EXPECT_FALSE(mono->isTemplate());
    EXPECT_EQ(monochromeImage(solidImage(1, 1, Qt::green))->representations()[0]->bitmapData()[0], 150);
    EXPECT_EQ(monochromeImage(solidImage(1, 1, Qt::blue))->representations()[0]->bitmapData()[0], 29);
    // Rows are read from the top.
    auto marked = monochromeImage(markedImage(2, 2, 0, 1, Qt::white));
    EXPECT_EQ(marked->representations()[0]->bitmapData()[0], 255);
    EXPECT_EQ(marked->representations()[0]->bitmapData()[4], 0);

    auto grey = grayscaleImage(templated(solidImage(2, 2, QColor(255, 0, 0, 255))));
    EXPECT_FALSE(grey->isTemplate());
    EXPECT_TRUE(near(pixelAt(*grey, 0, 0), QColor(76, 76, 76)));
    auto translucent = grayscaleImage(solidImage(1, 1, QColor(0, 0, 255, 128)));
    EXPECT_TRUE(near(pixelAt(*translucent, 0, 0), QColor(29, 29, 29, 128), 4));

    // The grey image has the image's size, not its representation's pixel size.
    auto dense = solidImage(64, 64, Qt::red);
    dense->setSize({32, 32});
    auto denseGrey = grayscaleImage(dense);
    ASSERT_TRUE(denseGrey);
    EXPECT_EQ(denseGrey->size(), (Size{32, 32}));
    EXPECT_EQ(CGImage(*denseGrey).size(), QSize(32, 32));
    EXPECT_TRUE(near(pixelAt(*denseGrey, 31, 31), QColor(76, 76, 76)));
    EXPECT_FALSE(grayscaleImage(std::make_shared<Image>(Size{4, 4}))) << "no pixels, no grey image";
}

TEST_F(ImageHelpers, PixelImageConversions) {
    auto image = templated(solidImage(3, 2, Qt::green));
    QImage cg = CGImage(*image);
    EXPECT_EQ(cg.size(), QSize(3, 2));
    auto back = imageWithCGImage(cg);
    EXPECT_EQ(back->size(), (Size{3, 2}));
    EXPECT_FALSE(back->isTemplate());
    EXPECT_EQ(pixelAt(*imageFromCGImageRef(cg), 1, 1), QColor(Qt::green));
    auto focused = imageFromCGImageRefByLockingFocus(*image, cg);
    EXPECT_EQ(focused->representations()[0]->kind(), ImageRep::Kind::Cached);
    EXPECT_EQ(pixelAt(*focused, 2, 0), QColor(Qt::green));
    EXPECT_EQ(nsImageToCGImageRef(image).pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(toCGImageRef(image).size(), QSize(3, 2));
    EXPECT_EQ(CGImageFromNSImage(image).size(), QSize(3, 2));
    EXPECT_FALSE(bitmapImageRepresentation(Image(Size{0.9, 5})));
    auto rep = bitmapImageRepresentation(*image);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->bytesPerRow(), 12);
    EXPECT_EQ(rep->samplesPerPixel(), 4);
    auto normal = normalize(std::make_shared<Image>(QImage(5, 5, QImage::Format_Grayscale8)));
    EXPECT_EQ(CGImage(*normal).format(), ImageRep::canvasFormat());
    // An image without pixels answers null; one with pixels answers them losslessly, at
    // the representation's own size.
    EXPECT_TRUE(nsImageToCGImageRef(std::make_shared<Image>(Size{4, 4})).isNull());
    auto dense = solidImage(8, 8, Qt::blue);
    dense->setSize({4, 4});
    const QImage lossless = nsImageToCGImageRef(dense);
    EXPECT_EQ(lossless.size(), QSize(8, 8));
    EXPECT_EQ(lossless.pixelColor(7, 7), QColor(Qt::blue));
}

// A PNG stream announcing the size: a valid IHDR, an empty IDAT and the end.
Data pngHeader(uint32_t w, uint32_t h) {
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

TEST_F(ImageHelpers, DecodingBadDataIsRefusedWithALine) {
    EXPECT_TRUE(CGImageFromData(nullptr).isNull());
    Data empty;
    EXPECT_TRUE(CGImageFromData(&empty).isNull());
    EXPECT_TRUE(env.logLines().empty()) << "no data is not bad data";

    Data junk{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    EXPECT_TRUE(CGImageFromData(&junk).isNull());
    EXPECT_TRUE(env.logged("cannot read the image"));

    Data huge = pngHeader(20000, 20000);
    EXPECT_TRUE(CGImageFromData(&huge).isNull());
    EXPECT_TRUE(env.logged("too large to decode"));

    Data zero = pngHeader(0, 0);
    EXPECT_TRUE(CGImageFromData(&zero).isNull());

    QImage good(8, 8, QImage::Format_ARGB32);
    good.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    good.save(&buffer, "PNG");
    Data png(bytes.begin(), bytes.end());
    EXPECT_EQ(CGImageFromData(&png).pixelColor(3, 3), QColor(Qt::red));
    // Cut off in its pixel data: refused, and not silently.
    Data truncated(png.begin(), png.begin() + long(png.size() / 2));
    const size_t before = env.logLines().size();
    EXPECT_TRUE(CGImageFromData(&truncated).isNull());
    ASSERT_GT(env.logLines().size(), before) << "a truncated image refused without a line";
    EXPECT_NE(env.logLines().back().find("cannot read the image"), std::string::npos) << env.logLines().back();
}

TEST_F(ImageHelpers, StackBlurOfABuffer) {
    // A uniform colour stays itself.
    std::vector<uint8_t> uniform(8 * 8 * 4);
    for (size_t i = 0; i < uniform.size(); i += 4) {
        uniform[i] = 10, uniform[i + 1] = 200, uniform[i + 2] = 77, uniform[i + 3] = 255;
    }
    auto copy = uniform;
    applyStackBlurToBuffer(copy.data(), 8, 8, 3);
    EXPECT_EQ(copy, uniform);

    // One bright pixel spreads with triangular weights, symmetrically; alpha untouched.
    const int w = 11, h = 11;
    std::vector<uint8_t> dot(w * h * 4, 0);
    auto at = [&](int x, int y) { return &dot[(size_t(y) * w + x) * 4]; };
    at(5, 5)[0] = 255;
    at(5, 5)[3] = 77;
    applyStackBlurToBuffer(dot.data(), w, h, 2);
    // Horizontal pass: 255 * 3 / 9 = 85 at the centre, 255 * 2 / 9 = 56 one away, 28 two away;
    // then the vertical pass: 85 * 3 / 9 = 28 at the centre.
    EXPECT_EQ(at(5, 5)[0], 28);
    EXPECT_EQ(at(4, 5)[0], at(6, 5)[0]);
    EXPECT_EQ(at(5, 4)[0], at(5, 6)[0]);
    EXPECT_EQ(at(4, 5)[0], 18);  // 56 * 3 / 9
    EXPECT_EQ(at(5, 8)[0], 0);
    EXPECT_EQ(at(5, 5)[3], 77);
    EXPECT_EQ(at(4, 5)[3], 0);
    EXPECT_EQ(at(5, 5)[1], 0);
}

// StackBlur by its definition: per pass, the sum of the neighbours (ends repeated)
// weighted r + 1 - |k|, integer-divided by (r + 1)²; rows first, then columns.
std::vector<uint8_t> referenceStackBlur(const std::vector<uint8_t>& in, int w, int h, int r) {
    const int divsum = (r + 1) * (r + 1);
    std::vector<int> mid(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (int k = -r; k <= r; ++k)
                    sum += long(in[(size_t(y) * w + std::clamp(x + k, 0, w - 1)) * 4 + c]) * (r + 1 - std::abs(k));
                mid[(size_t(y) * w + x) * 3 + c] = int(sum / divsum);
            }
    std::vector<uint8_t> out = in;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (int k = -r; k <= r; ++k)
                    sum += long(mid[(size_t(std::clamp(y + k, 0, h - 1)) * w + x) * 3 + c]) * (r + 1 - std::abs(k));
                out[(size_t(y) * w + x) * 4 + c] = uint8_t(sum / divsum);
            }
    return out;
}

TEST_F(ImageHelpers, StackBlurMatchesItsDefinition) {
    uint32_t seed = 12345;
    auto next = [&] { return uint8_t((seed = seed * 1103515245u + 12345u) >> 16); };
    for (auto [w, h, r] : std::vector<std::tuple<int, int, int>>{{13, 9, 3}, {1, 1, 2}, {2, 40, 5}, {30, 3, 1}, {7, 7, 20}}) {
        std::vector<uint8_t> buffer(size_t(w) * h * 4);
        for (auto& b : buffer) b = next();
        auto expected = referenceStackBlur(buffer, w, h, r);
        applyStackBlurToBuffer(buffer.data(), w, h, r);
        EXPECT_EQ(buffer, expected) << w << " x " << h << " radius " << r;
    }
    // Padded rows: the padding is left alone.
    std::vector<uint8_t> padded(size_t(5) * 4 * 24, 9);
    applyStackBlurToBuffer(padded.data(), 5, 4, 2, 24);
    EXPECT_EQ(padded[20], 9);
    EXPECT_EQ(padded[23], 9);
}

TEST_F(ImageHelpers, StackBlurOfAnImage) {
    auto image = solidImage(16, 16, Qt::red);
    EXPECT_EQ(stackBlur(image, 0), image);
    EXPECT_EQ(stackBlur(std::make_shared<Image>(Size{0, 0}), 3)->size(), SizeZero);
    // A half-red, half-blue image blends across the border and keeps its far sides.
    auto halves = std::make_shared<Image>(Size{16, 16});
    auto rep = ImageRep::makeCanvas(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) rep->paintableImage()->setPixelColor(x, y, x < 8 ? Qt::red : Qt::blue);
    halves->addRepresentation(rep);
    auto blurred = stackBlur(halves, 3);
    EXPECT_EQ(pixelAt(*blurred, 0, 8), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*blurred, 15, 8), QColor(Qt::blue));
    const QColor border = pixelAt(*blurred, 7, 8);
    EXPECT_GT(border.red(), 0);
    EXPECT_GT(border.blue(), 0);
    // The size in points may differ from the pixels: the blur stays within the bitmap.
    auto scaled = std::make_shared<Image>(Size{64, 64});
    scaled->addRepresentation(std::make_shared<ImageRep>(QImage(16, 16, QImage::Format_RGBA8888_Premultiplied)));
    EXPECT_TRUE(stackBlur(scaled, 4));
}

TEST_F(ImageHelpers, RoundGlyphButtons) {
    const Rect r = MakeRect(0, 0, 30, 30);
    auto plus = plusImage(r, Color::whiteColor(), Color::blackColor());
    EXPECT_EQ(plus->size(), (Size{30, 30}));
    EXPECT_FALSE(plus->isTemplate());
    // The bars are 1.5 points wide on the centre lines (x and y 14.25 ... 15.75).
    auto dark = [](QColor c) { return c.red() < 110 && c.alpha() == 255; };
    EXPECT_TRUE(dark(pixelAt(*plus, 15, 18))) << "the vertical bar";
    EXPECT_TRUE(dark(pixelAt(*plus, 18, 15))) << "the horizontal bar";
    EXPECT_EQ(pixelAt(*plus, 15, 25), QColor(Qt::white)) << "clipped a 3.5th from the edge";
    EXPECT_EQ(pixelAt(*plus, 10, 10), QColor(Qt::white)) << "the back colour";
    EXPECT_EQ(pixelAt(*plus, 0, 0).alpha(), 0) << "outside the oval";
    // The glyph's shadow falls one point below the bar.
    const QColor below = pixelAt(*plus, 18, 13);
    EXPECT_LT(below.red(), 255);
    EXPECT_GT(below.red(), 150);
    auto minus = minusImage(r, Color::whiteColor(), Color::blackColor());
    EXPECT_EQ(pixelAt(*minus, 15, 22), QColor(Qt::white));
    EXPECT_TRUE(dark(pixelAt(*minus, 18, 15)));
    EXPECT_EQ(pixelAt(*minus, 23, 15), QColor(Qt::white)) << "clipped";
    auto stop = stopImage(r, Color::whiteColor(), Color::blackColor());
    EXPECT_EQ(pixelAt(*stop, 18, 18), QColor(Qt::black)) << "on the diagonal";
    EXPECT_EQ(pixelAt(*stop, 15, 20), QColor(Qt::white));
    // The glyph is drawn whatever the rectangle's origin.
    auto offset = plusImage(MakeRect(40, 40, 30, 30), Color::whiteColor(), Color::blackColor());
    EXPECT_GT(pixelAt(*plusInteriorImage(MakeRect(40, 40, 30, 30), Color::blackColor()), 15, 20).alpha(), 180);
    EXPECT_TRUE(offset);
}

TEST_F(ImageHelpers, DrawingHelpers) {
    auto maker = NTImageMaker::maker({20, 20});
    maker->lockFocus();
    auto marked = markedImage(4, 4, 0, 0);
    compositeInRect(*marked, MakeRect(0, 0, 20, 20), CompositingOperation::SourceOver, false, 1.0);  // at (8, 8)
    drawFlippedInRect(*marked, MakeRect(0, 12, 4, 4), CompositingOperation::SourceOver);  // mirrored: the mark at the top
    drawCenteredInRectHQ(*solidImage(10, 5, Qt::blue), MakeRect(12, 0, 8, 8), CompositingOperation::SourceOver, 1.0);
    auto image = maker->unlockFocus();
    EXPECT_EQ(pixelAt(*image, 8, 8), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 0, 15), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 0, 12).alpha(), 0);
    // 10 x 5 fitted into 8 x 8 is 8 x 4 at y 2, made integral.
    EXPECT_EQ(pixelAt(*image, 15, 3), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*image, 15, 6).alpha(), 0);
    EXPECT_EQ(pixelAt(*image, 15, 1).alpha(), 0);
}

}  // namespace
}  // namespace qs

namespace qs {
namespace {

using namespace NSImage_Grayscale;
using test::near;
using test::pixelAt;
using test::solidImage;

class ImageHelpersMore : public test::IsolatedTest {};

TEST_F(ImageHelpersMore, ImageCellTintsTemplatesAndFollowsTheWindowsDimming) {
    auto glyph = solidImage(4, 4, Qt::red);
    glyph->setTemplate(true);
    struct Cell : QWidget {
        ImagePtr image;
        BackgroundStyle style = BackgroundStyle::Emphasized;
        bool highlighted = false;
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            GraphicsContextScope scope(&painter, height(), true);
            Color::whiteColor()->set();
            RectFill(MakeRect(0, 0, 10, 10));
            drawInRect(image, MakeRect(0, 0, 10, 10), this, highlighted, style);
        }
    } view;
    view.image = glyph;
    view.resize(10, 10);
    // Not the main window: its controls are dimmed, the style falls back to normal (dark).
    QImage normal = view.grab().toImage();
    EXPECT_TRUE(near(normal.pixelColor(5, 5), QColor(38, 38, 38), 2)) << "black at 0.85 on white";
    EXPECT_EQ(normal.pixelColor(1, 1), QColor(Qt::white)) << "no scaling: 4 x 4 centred";
    view.show();
    view.activateWindow();
    QApplication::processEvents();
    QImage emphasized = view.grab().toImage();
    EXPECT_EQ(emphasized.pixelColor(5, 5), QColor(Qt::white)) << "the main window keeps the emphasized style";
    // A plain image is drawn as it is, darkened by a third when highlighted.
    view.image = solidImage(4, 4, Qt::white);
    EXPECT_EQ(view.grab().toImage().pixelColor(5, 5), QColor(Qt::white));
    view.highlighted = true;
    EXPECT_TRUE(near(view.grab().toImage().pixelColor(5, 5), QColor(170, 170, 170), 2));
    view.hide();
}

TEST_F(ImageHelpersMore, ImageViewShowsItsImage) {
    ImageView view;
    view.resize(20, 20);
    view.setImage(solidImage(8, 8, Qt::blue));
    view.setImageScaling(ImageScaling::None);
    view.setImageAlignment(ImageAlignment::BottomLeft);
    QImage grabbed = view.grab().toImage();
    EXPECT_EQ(grabbed.pixelColor(2, 17), QColor(Qt::blue));
    EXPECT_NE(grabbed.pixelColor(12, 5), QColor(Qt::blue)) << "outside the image";
}

TEST_F(ImageHelpersMore, IconsScaleOffTheMainThread) {
    auto icon = solidImage(256, 256, Qt::green);
    ImagePtr small;
    std::thread worker([&] { small = imageWithSize(icon, {32, 32}); });
    worker.join();
    ASSERT_TRUE(small);
    EXPECT_EQ(pixelAt(*small, 16, 16), QColor(Qt::green));
}

TEST_F(ImageHelpersMore, OversizedDrawingIsRefusedNotAttempted) {
    auto huge = std::make_shared<Image>(Size{40000, 40000});
    {
        ImageFocus focus(huge);
        EXPECT_FALSE(focus.isLocked());
    }
    EXPECT_TRUE(env.logged("cannot draw into an image of 40000 x 40000 points"));
    EXPECT_FALSE(imageRotated(solidImage(2, 2, Qt::red), 45)->size() == SizeZero);
    EXPECT_FALSE(imageWithMaxSize(solidImage(2, 2, Qt::red), 1 << 20)->isValid());
    EXPECT_FALSE(imageWithSize(solidImage(2, 2, Qt::red), {NAN, NAN})->isValid());

    auto maker = NTImageMaker::maker({4, 4});
    maker->lockFocus();
    tileInRect(*solidImage(1, 1, Qt::red), MakeRect(0, 0, 1e7, 1e7), false, CompositingOperation::SourceOver, 1.0);
    EXPECT_TRUE(env.logged("tiling stopped after 1000000 tiles"));
    EXPECT_EQ(pixelAt(*maker->unlockFocus(), 2, 0), QColor(Qt::red)) << "the tiles drawn before the stop stay";
}

}  // namespace
}  // namespace qs
