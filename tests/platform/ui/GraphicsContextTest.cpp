#include <gtest/gtest.h>

#include <QPainter>
#include <QWidget>

#include "platform/ui/AffineTransform.h"
#include "platform/ui/BezierPath.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageDrawing.h"
#include "platform/ui/ImageFocus.h"
#include "platform/ui/Shadow.h"
#include "support/TestEnvironment.h"
#include "toolkit/DrawingSupport.h"

namespace qs {
namespace {

using test::near;
using test::pixelAt;

// A bitmap context made current for the test's scope.
struct Canvas {
    ImageRepPtr rep;
    std::unique_ptr<GraphicsContextScope> scope;
    Canvas(int w, int h) : rep(ImageRep::makeCanvas(w, h)) {
        scope = std::make_unique<GraphicsContextScope>(GraphicsContext::graphicsContextWithBitmapImageRep(rep));
    }
    GraphicsContext& context() { return scope->context(); }
    QColor at(int x, int yUp) const {
        QImage pixels = rep->image();
        return pixels.pixelColor(x, pixels.height() - 1 - yUp);
    }
};

TEST(GraphicsContext, PointsAreYUpWithTheOriginAtTheBottomLeftPixel) {
    Canvas canvas(10, 10);
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(0, 0, 10, 2));
    EXPECT_EQ(canvas.at(5, 0), QColor(Qt::red));
    EXPECT_EQ(canvas.at(5, 1), QColor(Qt::red));
    EXPECT_EQ(canvas.at(5, 2).alpha(), 0);
    // The raw bitmap's last row is the bottom.
    EXPECT_EQ(canvas.rep->image().pixelColor(5, 9), QColor(Qt::red));
    EXPECT_EQ(canvas.rep->bitmapData()[0 * 4 + 3], 0) << "top-left pixel untouched";
}

TEST(GraphicsContext, StateSaveAndRestoreCoverColourTransformClipAndShadow) {
    Canvas canvas(20, 20);
    Color::blackColor()->set();
    canvas.context().saveGState();
    Color::whiteColor()->set();
    canvas.context().translateCTM(10, 10);
    RectClip(MakeRect(0, 0, 5, 5));
    auto shadow = std::make_shared<Shadow>();
    shadow->set();
    EXPECT_EQ(canvas.context().gStateDepth(), 1);
    canvas.context().restoreGState();
    canvas.context().restoreGState();  // unmatched: nothing happens
    EXPECT_EQ(canvas.context().gStateDepth(), 0);
    EXPECT_FALSE(canvas.context().shadow());
    RectFill(MakeRect(0, 0, 20, 20));  // black, untransformed, unclipped
    EXPECT_EQ(canvas.at(0, 0), QColor(Qt::black));
    EXPECT_EQ(canvas.at(19, 19), QColor(Qt::black));
}

TEST(GraphicsContext, NilColourLeavesTheCurrentColour) {
    Canvas canvas(4, 4);
    Color::colorWithCalibratedRed(0, 0, 1, 1)->set();
    canvas.context().setFillColor(nullptr);
    RectFill(MakeRect(0, 0, 4, 4));
    EXPECT_EQ(canvas.at(1, 1), QColor(Qt::blue));
}

TEST(GraphicsContext, CompositingOperations) {
    Canvas canvas(10, 10);
    Color::colorWithCalibratedRed(0, 1, 0, 1)->set();
    RectFill(MakeRect(0, 0, 10, 10));
    Color::clearColor()->set();
    RectFillUsingOperation(MakeRect(0, 0, 5, 10), CompositingOperation::Copy);
    EXPECT_EQ(canvas.at(2, 5).alpha(), 0);
    EXPECT_EQ(canvas.at(7, 5), QColor(Qt::green));
    // Destination-in keeps the destination where the source is opaque.
    auto mask = test::solidImage(10, 10, QColor(0, 0, 0, 128));
    drawImageAtPoint(*mask, {0, 0}, RectZero, CompositingOperation::DestinationIn, 1.0);
    EXPECT_TRUE(near(canvas.at(7, 5), QColor(0, 255, 0, 128)));
}

TEST(GraphicsContext, ATransformRotatesCounterClockwiseWithYUp) {
    AffineTransform t;
    t.rotateByDegrees(90);
    Point p = t.transformPoint({1, 0});
    EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(p.y, 1, 1e-12);
    // Steps added later apply first: rotate then translate maps p to R(p + t).
    AffineTransform u;
    u.rotateByDegrees(90);
    u.translateXBy(1, 0);
    p = u.transformPoint({0, 0});
    EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(p.y, 1, 1e-12);
    u.invert();
    p = u.transformPoint({0, 1});
    EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(p.y, 0, 1e-12);
}

TEST(GraphicsContext, ImagesDrawUprightInYUpAndAtAPointUprightWhenFlipped) {
    // A 2 × 2 image: red on the top row, blue on the bottom row.
    QImage pixels(2, 2, QImage::Format_ARGB32_Premultiplied);
    pixels.setPixelColor(0, 0, Qt::red);
    pixels.setPixelColor(1, 0, Qt::red);
    pixels.setPixelColor(0, 1, Qt::blue);
    pixels.setPixelColor(1, 1, Qt::blue);
    Image image(pixels);
    {
        Canvas canvas(2, 2);
        drawImageInRect(image, MakeRect(0, 0, 2, 2));
        EXPECT_EQ(canvas.at(0, 1), QColor(Qt::red));
        EXPECT_EQ(canvas.at(0, 0), QColor(Qt::blue));
    }
    // A flipped context over a widget painter (y down, as Qt's own).
    QImage target(4, 4, QImage::Format_ARGB32_Premultiplied);
    target.fill(0);
    {
        QPainter painter(&target);
        GraphicsContextScope scope(&painter, 4, true);
        drawImageAtPoint(image, {0, 2}, RectZero, CompositingOperation::SourceOver, 1.0);  // visual bottom-left
        drawImageInRect(image, MakeRect(2, 0, 2, 2));  // follows the flip: upside down
    }
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(target.pixelColor(0, 1), QColor(Qt::blue));
    EXPECT_EQ(target.pixelColor(2, 0), QColor(Qt::blue));
    EXPECT_EQ(target.pixelColor(2, 1), QColor(Qt::red));
}

TEST(GraphicsContext, ShadowFallsBelowWithNegativeYAndBlurSpreadsIt) {
    Canvas canvas(40, 40);
    auto shadow = std::make_shared<Shadow>();
    shadow->setShadowColor(Color::colorWithCalibratedRed(0, 0, 1, 1));
    shadow->setShadowOffset({0, -10});
    shadow->set();
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(10, 20, 10, 10));
    EXPECT_EQ(canvas.at(15, 25), QColor(Qt::red));
    EXPECT_EQ(canvas.at(15, 15), QColor(Qt::blue)) << "a sharp shadow 10 points below";
    EXPECT_EQ(canvas.at(15, 5).alpha(), 0);
    EXPECT_EQ(canvas.at(25, 15).alpha(), 0);

    Canvas blurred(60, 60);
    auto soft = std::make_shared<Shadow>();
    soft->setShadowColor(Color::blackColor());
    soft->setShadowBlurRadius(8);
    soft->set();
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(20, 20, 20, 20));
    // Outside the shape the shadow fades with the distance from its edge.
    const int a1 = blurred.at(41, 30).alpha(), a4 = blurred.at(44, 30).alpha(), a9 = blurred.at(49, 30).alpha();
    EXPECT_GT(a1, a4);
    EXPECT_GT(a4, a9);
    EXPECT_GT(a1, 40);
    EXPECT_LT(a1, 200);
    EXPECT_EQ(blurred.at(59, 30).alpha(), 0);
    EXPECT_EQ(blurred.at(30, 30), QColor(Qt::red));
}

TEST(GraphicsContext, PathsCloseArcsTurnCounterClockwiseAndClip) {
    BezierPath path;
    path.appendBezierPathWithArcWithCenter({0, 0}, 10, 0, 90);
    EXPECT_NEAR(path.currentPoint().x, 0, 1e-9);
    EXPECT_NEAR(path.currentPoint().y, 10, 1e-9);
    Rect b = path.bounds();
    EXPECT_NEAR(b.origin.y, 0, 1e-6);
    EXPECT_NEAR(b.size.height, 10, 1e-6);
    // 270 to 90 counter-clockwise passes through 0 degrees: the right half.
    BezierPath right;
    right.appendBezierPathWithArcWithCenter({0, 0}, 10, 270, 90);
    EXPECT_NEAR(right.bounds().origin.x, 0, 1e-6);
    EXPECT_NEAR(right.bounds().size.width, 10, 1e-6);
    // A tangent arc at a right angle corner.
    BezierPath corner;
    corner.moveToPoint({0, 20});
    corner.appendBezierPathWithArcFromPoint({0, 0}, {20, 0}, 5);
    EXPECT_NEAR(corner.currentPoint().x, 5, 1e-9);
    EXPECT_NEAR(corner.currentPoint().y, 0, 1e-9);
    // Collinear points: a line to the corner.
    BezierPath straight;
    straight.moveToPoint({0, 0});
    straight.appendBezierPathWithArcFromPoint({5, 0}, {10, 0}, 3);
    EXPECT_EQ(straight.currentPoint(), (Point{5, 0}));

    Canvas canvas(20, 20);
    Color::colorWithCalibratedRed(0, 0, 1, 1)->set();
    BezierPath::clipRect(MakeRect(0, 0, 10, 20));
    BezierPath::bezierPathWithOvalInRect(MakeRect(0, 0, 20, 20))->fill();
    EXPECT_EQ(canvas.at(8, 10), QColor(Qt::blue));
    EXPECT_EQ(canvas.at(12, 10).alpha(), 0) << "clipped";
    EXPECT_EQ(canvas.at(1, 1).alpha(), 0) << "outside the oval";
}

TEST(GraphicsContext, SavingTheGraphicsStateRedirectsDrawingAndComesBack) {
    Canvas outer(4, 4);
    GraphicsContext* first = GraphicsContext::currentContext();
    auto inner = ImageRep::makeCanvas(4, 4);
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(inner));
    Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
    RectFill(MakeRect(0, 0, 4, 4));
    GraphicsContext::restoreGraphicsState();
    EXPECT_EQ(GraphicsContext::currentContext(), first);
    EXPECT_EQ(outer.at(1, 1).alpha(), 0);
    EXPECT_EQ(inner->image().pixelColor(1, 1), QColor(Qt::red));
}

TEST(GraphicsContext, AnUnmatchedRestoreChangesNothing) {
    ASSERT_EQ(GraphicsContext::currentContext(), nullptr);
    GraphicsContext::restoreGraphicsState();
    EXPECT_EQ(GraphicsContext::currentContext(), nullptr);
}

TEST(GraphicsContext, AWidgetPaintsThroughAYUpContext) {
    struct Painted : QWidget {
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            GraphicsContextScope scope(&painter, height());
            Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
            RectFill(MakeRect(0, 0, width(), 10));  // the bottom band
        }
    } widget;
    widget.resize(30, 30);
    QImage grabbed = widget.grab().toImage();
    EXPECT_EQ(grabbed.pixelColor(15, 25), QColor(Qt::red));
    EXPECT_NE(grabbed.pixelColor(15, 5), QColor(Qt::red));
    EXPECT_EQ(GraphicsContext::currentContext(), nullptr);
}

TEST(GraphicsContext, LockingFocusOnAnImageFlattensItIntoACachedRepresentation) {
    auto image = test::solidImage(4, 4, Qt::green);
    {
        ImageFocus focus(image);
        ASSERT_TRUE(focus.isLocked());
        Color::colorWithCalibratedRed(1, 0, 0, 1)->set();
        RectFill(MakeRect(0, 0, 2, 4));
    }
    ASSERT_EQ(image->representations().size(), 1u);
    EXPECT_EQ(image->representations()[0]->kind(), ImageRep::Kind::Cached);
    EXPECT_EQ(pixelAt(*image, 0, 0), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 3, 0), QColor(Qt::green));
    EXPECT_EQ(GraphicsContext::currentContext(), nullptr);
}

}  // namespace
}  // namespace qs
