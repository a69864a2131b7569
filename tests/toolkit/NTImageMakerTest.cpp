#include <gtest/gtest.h>

#include <QPainter>

#include "platform/ui/ImageView.h"
#include "support/TestEnvironment.h"
#include "toolkit/DrawingSupport.h"
#include "toolkit/NTImageMaker.h"

namespace qs {
namespace {

using test::pixelAt;

class ImageMaker : public test::IsolatedTest {};

TEST_F(ImageMaker, CanvasIsWholePixelsImageKeepsThePointSize) {
    auto maker = NTImageMaker::maker({10.6, 20.9});
    EXPECT_FALSE(maker->imageRep()) << "nothing before the first lock";
    maker->lockFocus();
    ASSERT_TRUE(maker->locked());
    auto rep = maker->bitmapImageRep();
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 10);
    EXPECT_EQ(rep->pixelsHigh(), 20);
    EXPECT_EQ(rep->samplesPerPixel(), 4);
    EXPECT_TRUE(rep->isPremultiplied());
    const uint8_t* bytes = rep->bitmapData();
    bool allZero = true;
    for (int i = 0; i < rep->bytesPerRow() * rep->pixelsHigh(); ++i) allZero = allZero && bytes[i] == 0;
    EXPECT_TRUE(allZero) << "a fresh canvas is fully transparent";
    EXPECT_EQ(GraphicsContext::currentContext()->imageInterpolation(), ImageInterpolation::High);
    auto image = maker->unlockFocus(true);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{10.6, 20.9}));
    EXPECT_TRUE(image->isTemplate());
    EXPECT_EQ(GraphicsContext::currentContext(), nullptr) << "the caller's context is back";
    maker->lockFocus();
    EXPECT_FALSE(maker->unlockFocus()->isTemplate());
}

TEST_F(ImageMaker, LockingTwiceAndUnlockingTwice) {
    auto maker = NTImageMaker::maker({4, 4});
    maker->lockFocus();
    auto first = maker->bitmapContext();
    maker->lockFocus();
    EXPECT_EQ(env.logLines(), std::vector<std::string>{"imageMaker is already locked"});
    EXPECT_EQ(maker->bitmapContext(), first) << "the first focus stays";
    EXPECT_TRUE(maker->unlockFocus());
    EXPECT_FALSE(maker->unlockFocus());
    EXPECT_TRUE(env.logged("imageMaker is not locked"));
    EXPECT_EQ(GraphicsContext::currentContext(), nullptr);
}

TEST_F(ImageMaker, ImagesAlreadyHandedOutKeepTheirPixels) {
    auto maker = NTImageMaker::maker({3, 3});
    maker->lockFocus();
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(0, 0, 3, 3));
    auto red = maker->unlockFocus();
    maker->lockFocus();
    Color::colorWithCalibratedRed(0, 0, 1, 1)->set();
    RectFill(MakeRect(0, 0, 3, 3));
    auto copy = maker->imageRep();
    auto blue = maker->unlockFocus();
    EXPECT_EQ(pixelAt(*red, 1, 1), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*blue, 1, 1), QColor(Qt::blue));
    EXPECT_EQ(copy->image().pixelColor(1, 1), QColor(Qt::blue));
}

TEST_F(ImageMaker, NestedMakersAndTheCallersDrawingComeBack) {
    auto outer = NTImageMaker::maker({4, 4});
    outer->lockFocus();
    Color::colorWithCalibratedRed(0, 1, 0, 1)->set();
    auto inner = NTImageMaker::maker({2, 2});
    inner->lockFocus();
    RectFill(MakeRect(0, 0, 2, 2));  // the inner maker starts with its own state: black
    auto small = inner->unlockFocus();
    RectFill(MakeRect(0, 0, 4, 4));  // green again, in the outer canvas
    auto big = outer->unlockFocus();
    EXPECT_EQ(pixelAt(*small, 0, 0), QColor(Qt::black));
    EXPECT_EQ(pixelAt(*big, 3, 3), QColor(Qt::green));
}

TEST_F(ImageMaker, ASizeBelowOnePixelGivesNoCanvasAndAnEmptyImage) {
    auto maker = NTImageMaker::maker({0.5, 10});
    maker->lockFocus();
    EXPECT_TRUE(maker->locked());
    EXPECT_FALSE(maker->bitmapContext());
    RectFill(MakeRect(0, 0, 1, 1));  // no current context: nothing happens
    auto image = maker->unlockFocus();
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->isValid());
    EXPECT_EQ(image->size(), (Size{0.5, 10}));
    // A canvas too large to paint is refused with a line.
    auto huge = NTImageMaker::maker({100000, 100000});
    huge->lockFocus();
    EXPECT_TRUE(env.logged("imageMaker refuses a canvas"));
    EXPECT_FALSE(huge->unlockFocus()->isValid());
}

TEST(GraphicsContextExtensions, AnglesAndRotatingTheContext) {
    using namespace NSGraphicsContext_NTExtensions;
    EXPECT_DOUBLE_EQ(radians(180), M_PI);
    EXPECT_DOUBLE_EQ(degrees(M_PI), 180);
    auto maker = NTImageMaker::maker({20, 20});
    maker->lockFocus();
    rotateContext(90, MakeRect(100, 100, 20, 20));  // clockwise about (10, 10); the origin unused
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(0, 0, 10, 10));  // the bottom-left quarter turns to the top-left
    rotateContext(0, MakeRect(0, 0, 20, 20));
    auto image = maker->unlockFocus();
    EXPECT_EQ(pixelAt(*image, 5, 15), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 5, 5).alpha(), 0);
}

TEST(ImageViewFrame, FrameStylesScalingAndAlignment) {
    using namespace NSImageView_ImageFrame;
    ImageView view;
    view.resize(100, 100);
    view.setImage(std::make_shared<Image>(QImage(200, 100, QImage::Format_ARGB32_Premultiplied)));
    view.setImageFrameStyle(ImageFrameStyle::GrayBezel);
    view.setImageScaling(ImageScaling::ProportionallyDown);
    EXPECT_EQ(imageFrame(&view), MakeRect(8, 29, 84, 42));
    view.setImage(std::make_shared<Image>(QImage(10, 10, QImage::Format_ARGB32_Premultiplied)));
    view.setImageFrameStyle(ImageFrameStyle::Photo);
    view.setImageScaling(ImageScaling::None);
    view.setImageAlignment(ImageAlignment::TopLeft);
    EXPECT_EQ(imageFrame(&view), MakeRect(1, 89, 10, 10));
    view.setImageAlignment(ImageAlignment::BottomRight);
    view.setImageFrameStyle(ImageFrameStyle::Button);
    view.setImageScaling(ImageScaling::AxesIndependently);
    EXPECT_EQ(imageFrame(&view), MakeRect(2, 2, 96, 96));
    // Origins round to the nearest point, sizes up.
    view.setImage(std::make_shared<Image>(QImage(7, 7, QImage::Format_ARGB32_Premultiplied)));
    view.setImageFrameStyle(ImageFrameStyle::None);
    view.setImageScaling(ImageScaling::None);
    view.setImageAlignment(ImageAlignment::Center);
    EXPECT_EQ(imageFrame(&view), MakeRect(47, 47, 7, 7)) << "46.5 rounds away from zero";
    EXPECT_EQ(sizeByScalingProportionallyToSize({50, 50}, {0, 10}), SizeZero);
    EXPECT_EQ(sizeByScalingProportionallyToSize({50, 50}, {10, 20}), (Size{25, 50}));
}

}  // namespace
}  // namespace qs
