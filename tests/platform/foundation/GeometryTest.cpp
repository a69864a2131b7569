#include <gtest/gtest.h>

#include <sstream>

#include "platform/foundation/Geometry.h"

namespace qs {
namespace {

TEST(GeometryTest, EdgesAndMiddles) {
    Rect r = MakeRect(10, 20, 30, 40);
    EXPECT_EQ(MinX(r), 10);
    EXPECT_EQ(MaxX(r), 40);
    EXPECT_EQ(MidX(r), 25);
    EXPECT_EQ(MinY(r), 20);
    EXPECT_EQ(MaxY(r), 60);
    EXPECT_EQ(MidY(r), 40);

    // A negative size spans the same area, measured from the other corner.
    Rect flipped = MakeRect(40, 60, -30, -40);
    EXPECT_EQ(MinX(flipped), 10);
    EXPECT_EQ(MaxY(flipped), 60);
    EXPECT_EQ(Width(flipped), 30);
    EXPECT_EQ(Height(flipped), 40);
    EXPECT_TRUE(RectEqualToRect(r, flipped));
    EXPECT_EQ(RectStandardize(flipped), r);
    EXPECT_TRUE(RectContainsPoint(flipped, MakePoint(10, 20)));
}

TEST(GeometryTest, ZeroAndNullRects) {
    EXPECT_TRUE(RectIsEmpty(RectZero));
    EXPECT_FALSE(RectIsNull(RectZero));
    EXPECT_TRUE(RectIsNull(RectNull));
    EXPECT_TRUE(RectIsEmpty(RectNull));
    EXPECT_FALSE(RectEqualToRect(RectZero, RectNull));
    EXPECT_TRUE(RectEqualToRect(RectNull, RectOffset(RectNull, 5, 5)));
    EXPECT_TRUE(RectIsEmpty(MakeRect(3, 3, 0, 10)));
    EXPECT_TRUE(PointEqualToPoint(PointZero, MakePoint(0, 0)));
    EXPECT_TRUE(SizeEqualToSize(SizeZero, MakeSize(0, 0)));
    EXPECT_FALSE(RectContainsPoint(RectNull, PointZero));
    EXPECT_EQ(RectUnion(RectNull, MakeRect(1, 2, 3, 4)), MakeRect(1, 2, 3, 4));
}

TEST(GeometryTest, IntersectionAndContainment) {
    Rect a = MakeRect(0, 0, 100, 50);
    Rect b = MakeRect(50, 25, 100, 50);
    EXPECT_EQ(RectIntersection(a, b), MakeRect(50, 25, 50, 25));
    EXPECT_TRUE(RectIntersectsRect(a, b));
    EXPECT_EQ(RectUnion(a, b), MakeRect(0, 0, 150, 75));

    Rect far = MakeRect(500, 500, 10, 10);
    EXPECT_TRUE(RectIsNull(RectIntersection(a, far)));
    EXPECT_FALSE(RectIntersectsRect(a, far));
    // Rectangles that only share an edge touch but do not intersect.
    Rect beside = MakeRect(100, 0, 10, 50);
    EXPECT_FALSE(RectIsNull(RectIntersection(a, beside)));
    EXPECT_FALSE(RectIntersectsRect(a, beside));

    // Half-open: the maximum edges are outside.
    EXPECT_TRUE(RectContainsPoint(a, MakePoint(0, 0)));
    EXPECT_FALSE(RectContainsPoint(a, MakePoint(100, 10)));
    EXPECT_FALSE(RectContainsPoint(a, MakePoint(10, 50)));
    EXPECT_TRUE(RectContainsRect(a, MakeRect(0, 0, 100, 50)));
    EXPECT_FALSE(RectContainsRect(a, b));
}

TEST(GeometryTest, InsetOffsetIntegral) {
    Rect r = MakeRect(0, 0, 10, 10);
    EXPECT_EQ(RectInset(r, 2, 3), MakeRect(2, 3, 6, 4));
    EXPECT_TRUE(RectIsNull(RectInset(r, 6, 0))) << "insetting past the middle leaves nothing";
    EXPECT_EQ(RectInset(r, -1, -1), MakeRect(-1, -1, 12, 12));
    EXPECT_EQ(RectOffset(r, -5, 7), MakeRect(-5, 7, 10, 10));
    EXPECT_EQ(RectIntegral(MakeRect(0.5, -0.5, 1.2, 1.0)), MakeRect(0, -1, 2, 2));
    std::ostringstream os;
    os << MakeRect(1, 2, 3, 4);
    EXPECT_EQ(os.str(), "{{1, 2}, {3, 4}}");
}

}  // namespace
}  // namespace qs
