#include <gtest/gtest.h>

#include <QWidget>

#include "platform/ui/ViewGeometry.h"
#include "support/TestEnvironment.h"
#include "toolkit/DrawingSupport.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/PathHelpers.h"

namespace qs {
namespace {

using namespace NSBezierPath_NTExtensions;
using test::near;
using test::pixelAt;
using Type = BezierPath::ElementType;

std::vector<Point> endPoints(const BezierPath& path) {
    std::vector<Point> points;
    for (const auto& e : path.elements()) {
        if (e.type == Type::MoveTo || e.type == Type::LineTo) points.push_back(e.points[0]);
        if (e.type == Type::CurveTo) points.push_back(e.points[2]);
    }
    return points;
}

bool hasCurves(const BezierPath& path) {
    for (const auto& e : path.elements())
        if (e.type == Type::CurveTo) return true;
    return false;
}

void expectBounds(const BezierPath& path, const Rect& r) {
    Rect b = path.bounds();
    EXPECT_NEAR(b.origin.x, r.origin.x, 1e-6);
    EXPECT_NEAR(b.origin.y, r.origin.y, 1e-6);
    EXPECT_NEAR(b.size.width, r.size.width, 1e-6);
    EXPECT_NEAR(b.size.height, r.size.height, 1e-6);
}

// Draws into a w × h maker and answers the image.
template <class Draw>
ImagePtr drawn(int w, int h, const Draw& draw) {
    auto maker = NTImageMaker::maker({double(w), double(h)});
    maker->lockFocus();
    draw();
    return maker->unlockFocus();
}

TEST(PathHelpers, FactoriesSetWidthAndFlatness) {
    EXPECT_TRUE(newPath()->isEmpty());
    EXPECT_DOUBLE_EQ(newPath()->lineWidth(), 1.0);
    EXPECT_DOUBLE_EQ(newPath()->flatness(), 0.001);
    EXPECT_DOUBLE_EQ(ovalPath(MakeRect(0, 0, 4, 4))->lineWidth(), 1.5);
    EXPECT_DOUBLE_EQ(ovalPath(MakeRect(0, 0, 4, 4))->flatness(), 0.01);
    auto plate = bezierPathWithPlateInRect(MakeRect(0, 0, 40, 10), false, false);
    EXPECT_DOUBLE_EQ(plate->lineWidth(), 1.0);
    EXPECT_DOUBLE_EQ(plate->flatness(), 0.01);
    EXPECT_FALSE(hasCurves(*plate)) << "a plain rectangle";
    expectBounds(*plate, MakeRect(0, 0, 40, 10));
    EXPECT_TRUE(bezierPathWithPlateInRect(MakeRect(0, 0, 40, 0), true, false)->isEmpty());
}

TEST(PathHelpers, RoundedRectanglesLimitTheirRadius) {
    BezierPath limited, ten;
    appendBezierPathWithRoundedRectangle(limited, MakeRect(0, 0, 40, 20), 50.0);
    appendBezierPathWithRoundedRectangle(ten, MakeRect(0, 0, 40, 20), 10.0);
    EXPECT_EQ(endPoints(limited), endPoints(ten));
    expectBounds(limited, MakeRect(0, 0, 40, 20));

    auto corners = roundRectPath(MakeRect(0, 0, 40, 20), 30, 0, 0, 0);
    // From the top middle, the top-left arc ends at (0, 10): the radius was limited to 10.
    const auto points = endPoints(*corners);
    EXPECT_EQ(points.front(), (Point{20, 20}));
    EXPECT_TRUE(isClosed(*corners));
    bool reachedMid = false;
    for (const Point& p : points) reachedMid = reachedMid || (std::fabs(p.x) < 1e-9 && std::fabs(p.y - 10) < 1e-9);
    EXPECT_TRUE(reachedMid);
    expectBounds(*corners, MakeRect(0, 0, 40, 20));

    // By side: full radius on the left, half on the right.
    BezierPath sides;
    appendBezierPathWithRoundedRectangle(sides, MakeRect(0, 0, 40, 40), 8.0, true);
    EXPECT_FALSE(sides.containsPoint({0.5, 0.5}));
    EXPECT_TRUE(sides.containsPoint({39.5, 2.5})) << "a 4-point corner leaves (39.5, 2.5) inside";
    // A bottom-rounded rectangle with too large a radius stays within its rectangle.
    expectBounds(*bottomRoundRectPath(MakeRect(0, 0, 40, 20), 100), MakeRect(0, 0, 40, 20));
}

TEST(PathHelpers, PlatesCapsChevronsTrianglesAndArrows) {
    auto plate = bezierPathWithPlateInRect(MakeRect(0, 0, 50, 10));
    expectBounds(*plate, MakeRect(0, 0, 50, 10));
    EXPECT_FALSE(plate->containsPoint({0.5, 0.5}));
    EXPECT_TRUE(plate->containsPoint({25, 0.5}));
    auto left = bezierPathWithPlateInRect(MakeRect(0, 0, 50, 10), true, false);
    expectBounds(*left, MakeRect(0, 0, 50, 10));
    EXPECT_FALSE(left->containsPoint({0.5, 0.5}));
    EXPECT_TRUE(left->containsPoint({49.5, 0.5})) << "the right end stays square";
    auto right = bezierPathWithPlateInRect(MakeRect(0, 0, 50, 10), false, true);
    EXPECT_TRUE(right->containsPoint({0.5, 0.5}));
    EXPECT_FALSE(right->containsPoint({49.5, 0.5}));
    auto capsule = bezierPathWithTopPlateInRect(MakeRect(0, 0, 10, 40));
    expectBounds(*capsule, MakeRect(0, 0, 10, 40));
    EXPECT_FALSE(capsule->containsPoint({0.5, 39.5}));

    auto bar = endcappedBezierPathForRect(MakeRect(10, 0, 20, 9), 4);
    EXPECT_LT(bar->bounds().origin.x, 10) << "the caps bulge outside";
    EXPECT_GT(bar->bounds().origin.x + bar->bounds().size.width, 30);

    auto chevron = chevronPath(MakeRect(0, 0, 10, 10), true);
    EXPECT_EQ(endPoints(*chevron), (std::vector<Point>{{0, 0}, {3, 0}, {10, 5}, {3, 10}, {0, 10}, {7, 5}, {0, 0}}));
    auto back = chevronPath(MakeRect(0, 0, 10, 10), false);
    EXPECT_EQ(endPoints(*back).front(), (Point{10, 0}));

    const Rect r = MakeRect(0, 0, 10, 10);
    EXPECT_EQ(endPoints(*trianglePath(r, Up, false)), (std::vector<Point>{{0, 0}, {5, 10}, {10, 0}}));
    EXPECT_EQ(endPoints(*trianglePath(r, Down, true)), (std::vector<Point>{{0, 0}, {5, 10}, {10, 0}}));
    EXPECT_EQ(endPoints(*trianglePath(r, Down, false)), (std::vector<Point>{{0, 10}, {5, 0}, {10, 10}}));
    EXPECT_EQ(endPoints(*trianglePath(r, Left, false)), (std::vector<Point>{{10, 0}, {10, 10}, {0, 5}}));
    EXPECT_EQ(endPoints(*trianglePath(r, Right, true)), (std::vector<Point>{{0, 0}, {0, 10}, {10, 5}}));
    EXPECT_TRUE(trianglePath(r, 4, false)->isEmpty());
    EXPECT_TRUE(trianglePath(r, -1, false)->isEmpty());

    auto arrow = downArrowPath(MakeRect(10, 10, 20, 40));
    expectBounds(*arrow, MakeRect(0, 0, 20, 20));
    EXPECT_EQ(endPoints(*arrow), (std::vector<Point>{{0, 13}, {10, 0}, {20, 13}, {15, 13}, {15, 20}, {5, 20}, {5, 13}}));
}

TEST(PathHelpers, ConversionsAndQueries) {
    auto open = newPath();
    open->moveToPoint({0, 0});
    open->lineToPoint({10, 0});
    EXPECT_FALSE(isClosed(*open));
    auto cg = CGPath(*open);
    ASSERT_TRUE(cg);
    EXPECT_EQ(cg->elementCount(), 3) << "move, line and the line back of the close";
    EXPECT_FALSE(CGPath(*newPath()));
    auto closed = closedPath(open);
    EXPECT_NE(closed, open);
    EXPECT_TRUE(isClosed(*closed));
    EXPECT_FALSE(isClosed(*open)) << "the receiver is left open";
    EXPECT_EQ(closedPath(closed), closed);

    QWidget flippedView;  // Qt widgets are flipped views
    auto path = newPath();
    path->moveToPoint({0, 2});
    transformPathForView(*path, &flippedView, MakeRect(5, 5, 10, 10));
    EXPECT_EQ(endPoints(*path).front(), (Point{5, 13}));
    QWidget plain;
    ViewGeometry::setFlipped(&plain, false);
    auto other = newPath();
    other->moveToPoint({0, 2});
    transformPathForView(*other, &plain, MakeRect(5, 5, 10, 10));
    EXPECT_EQ(endPoints(*other).front(), (Point{5, 7}));
}

class PathDrawing : public test::IsolatedTest {};

TEST_F(PathDrawing, RoundRectFrameShowsHalfItsWidthInside) {
    auto image = drawn(40, 40, [] {
        Color::colorWithCalibratedRed(0, 0, 1, 1)->set();
        fillRoundRect(MakeRect(0, 0, 40, 40), 6, Color::colorWithCalibratedRed(1, 0, 0, 1), 4);
        // The state was restored: the current colour is the fill colour again.
        RectFill(MakeRect(0, 0, 0, 0));
    });
    EXPECT_EQ(pixelAt(*image, 0, 20), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 1, 20), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 3, 20), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*image, 20, 20), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*image, 0, 0).alpha(), 0) << "the corner is rounded";

    auto framed = drawn(20, 20, [] {
        Color::colorWithCalibratedRed(0, 1, 0, 1)->set();
        frameRoundRect(MakeRect(0, 0, 20, 20), 3);
    });
    EXPECT_TRUE(near(pixelAt(*framed, 0, 10), QColor(0, 255, 0, 128), 2)) << "half a 1-point line";
    EXPECT_EQ(pixelAt(*framed, 10, 10).alpha(), 0);
}

TEST_F(PathDrawing, OvalsTrianglesAndErasing) {
    auto image = drawn(30, 30, [] {
        Color::colorWithCalibratedRed(0, 0, 1, 1)->set();
        fillOval(MakeRect(0, 0, 30, 30), Color::colorWithCalibratedRed(1, 0, 0, 1));
        // The frame colour stays current.
        RectFill(MakeRect(14, 28, 2, 2));
        eraseRect(MakeRect(10, 10, 4, 4));
        // Erasing keeps the current colour.
        RectFill(MakeRect(20, 14, 2, 2));
    });
    EXPECT_EQ(pixelAt(*image, 15, 5), QColor(Qt::blue));
    EXPECT_EQ(pixelAt(*image, 15, 29), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 11, 11).alpha(), 0);
    EXPECT_EQ(pixelAt(*image, 20, 14), QColor(Qt::red));
    EXPECT_EQ(pixelAt(*image, 0, 0).alpha(), 0);

    auto erased = drawn(20, 20, [] {
        Color::colorWithCalibratedRed(0, 1, 0, 1)->set();
        RectFill(MakeRect(0, 0, 20, 20));
        erasePath(*ovalPath(MakeRect(0, 0, 20, 20)));
    });
    EXPECT_EQ(pixelAt(*erased, 10, 10).alpha(), 0);
    EXPECT_EQ(pixelAt(*erased, 0, 0), QColor(Qt::green));

    auto triangle = drawn(20, 20, [] {
        Color::blackColor()->set();
        fillTriangle(MakeRect(0, 0, 20, 20), Up, false);
    });
    EXPECT_EQ(pixelAt(*triangle, 10, 2), QColor(Qt::black));
    EXPECT_EQ(pixelAt(*triangle, 2, 17).alpha(), 0);
}

TEST_F(PathDrawing, ImagesFromPaths) {
    auto down = downArrowImage(MakeRect(0, 0, 20, 20));
    EXPECT_TRUE(down->isTemplate());
    // NTCS_blackImage: black at 0.9.
    EXPECT_TRUE(near(pixelAt(*down, 10, 15), QColor(0, 0, 0, 230)));
    EXPECT_EQ(pixelAt(*down, 2, 18).alpha(), 0);
    EXPECT_TRUE(near(pixelAt(*down, 10, 2), QColor(0, 0, 0, 230))) << "the point at the bottom";
    auto up = upArrowImage(MakeRect(0, 0, 20, 20));
    EXPECT_TRUE(up->isTemplate());
    EXPECT_TRUE(near(pixelAt(*up, 10, 17), QColor(0, 0, 0, 230))) << "the point at the top";
    EXPECT_EQ(pixelAt(*up, 2, 1).alpha(), 0);

    auto right = rightTriangleImage(MakeRect(5, 5, 10, 10));
    EXPECT_EQ(right->size(), (Size{10, 10}));
    EXPECT_GT(pixelAt(*right, 1, 5).alpha(), 200);
    EXPECT_EQ(pixelAt(*right, 8, 9).alpha(), 0);
    auto left = leftTriangleImage(MakeRect(0, 0, 10, 10));
    EXPECT_GT(pixelAt(*left, 8, 5).alpha(), 200);
    auto downTriangle = downTriangleImage(MakeRect(0, 0, 10, 10), false);
    EXPECT_GT(pixelAt(*downTriangle, 5, 8).alpha(), 200);
    EXPECT_EQ(pixelAt(*downTriangle, 5, 0).alpha() < 255, true);

    auto path = roundRectPath(MakeRect(0, 0, 10.5, 8.7), 2);
    auto converted = convertToImage(*path, Color::colorWithCalibratedRed(1, 0, 0, 1), nullptr, true);
    EXPECT_EQ(converted->size(), (Size{10, 8}));
    EXPECT_TRUE(converted->isTemplate());
    EXPECT_EQ(pixelAt(*converted, 5, 4), QColor(Qt::red));

    auto grid = gridImage(MakeRect(0, 0, 8, 8));
    EXPECT_FALSE(grid->isTemplate());
    EXPECT_EQ(pixelAt(*grid, 0, 6), QColor(Qt::white));
    EXPECT_EQ(pixelAt(*grid, 4, 6), QColor(Qt::white));
    EXPECT_EQ(pixelAt(*grid, 5, 4), QColor(Qt::white));
    EXPECT_EQ(pixelAt(*grid, 1, 1).alpha(), 0);
    EXPECT_EQ(pixelAt(*grid, 6, 7).alpha(), 0);

    auto effect = drawn(16, 16, [] { drawGridEffect(MakeRect(0, 0, 16, 16), false); });
    const QColor faint = pixelAt(*effect, 0, 5);
    EXPECT_TRUE(near(faint, QColor(255, 255, 255, 13), 2)) << "white at 0.05: " << faint.name(QColor::HexArgb).toStdString();
    EXPECT_EQ(pixelAt(*effect, 1, 1).alpha(), 0);
}

}  // namespace
}  // namespace qs
