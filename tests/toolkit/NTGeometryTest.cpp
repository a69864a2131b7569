#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/sim/SimScreens.h"
#include "support/TestEnvironment.h"
#include "toolkit/NTGeometry.h"

namespace qs {
namespace {

TEST(NTGeometry, FittingAndCentring) {
    const Rect wide = MakeRect(0, 0, 100, 50), box = MakeRect(10, 20, 40, 40);
    EXPECT_EQ(NTGeometry::rect(wide, box, true), MakeRect(10, 30, 40, 20));
    EXPECT_EQ(NTGeometry::rect(wide, box, false), MakeRect(-20, 15, 100, 50));
    const Rect small = MakeRect(0, 0, 10, 10), container = MakeRect(0, 0, 40, 20);
    EXPECT_EQ(NTGeometry::rect(small, container, true, false), MakeRect(15, 5, 10, 10));
    EXPECT_EQ(NTGeometry::rect(small, container, true, true), MakeRect(10, 0, 20, 20));
    // A rectangle too tall but not too wide shrinks on the height.
    EXPECT_EQ(NTGeometry::rect(MakeRect(0, 0, 10, 80), container, true), MakeRect(18.75, 0, 2.5, 20));
    // An empty rectangle is only centred (no division by its empty side).
    EXPECT_EQ(NTGeometry::rect(MakeRect(0, 0, 0, 10), container, true, true), MakeRect(20, 5, 0, 10));
}

TEST(NTGeometry, SnappingClampingCornersAndSpans) {
    EXPECT_EQ(NTGeometry::integerRect(MakeRect(0.5, -0.5, 10.7, 3.2)), MakeRect(0, -1, 10, 3));
    EXPECT_EQ(NTGeometry::rectFromPoint({5, 1}, {2, 9}), MakeRect(2, 1, 3, 8));
    const Rect r = MakeRect(10, 20, 30, 40);
    EXPECT_EQ(NTGeometry::point({0, 100}, r), (Point{10, 60}));
    EXPECT_EQ(NTGeometry::point({25, 30}, r), (Point{25, 30}));
    EXPECT_EQ(NTGeometry::topLeft(r), (Point{10, 60}));
    EXPECT_EQ(NTGeometry::bottomRight(r), (Point{40, 20}));
    EXPECT_EQ(NTGeometry::topMid(r), (Point{25, 60}));
    EXPECT_EQ(NTGeometry::rightMid(r), (Point{40, 40}));
    EXPECT_EQ(NTGeometry::topLeft(r, true), (Point{10, 20}));
    EXPECT_EQ(NTGeometry::bottomRight(r, false), (Point{40, 60})) << "the flag is not consulted";
}

class ScreenForPoint : public test::IsolatedTest {
protected:
    void SetUp() override {
        screens = std::make_shared<sim::SimScreens>();
        desktop::Services services;
        services.screens = screens;
        desktop::install(services);
    }
    void TearDown() override { desktop::install({}); }
    std::shared_ptr<sim::SimScreens> screens;
};

TEST_F(ScreenForPoint, ContainingScreenElseNearestWithTiesToTheEarlier) {
    EXPECT_EQ(NTGeometry::screenForPoint({5, 5}), nullptr);
    auto left = screens->addScreen(MakeRect(0, 0, 100, 100), "left");
    auto right = screens->addScreen(MakeRect(201, 0, 100, 100), "right");
    EXPECT_EQ(NTGeometry::screenForPoint({50, 50}), left);
    EXPECT_EQ(NTGeometry::screenForPoint({201, 0}), right) << "the lower edges belong to the screen";
    EXPECT_EQ(NTGeometry::screenForPoint({100, 50}), left) << "gap 0 to the left screen's edge";
    // 50.6 and 50.4 points away are both 50 whole points: the earlier screen wins.
    EXPECT_EQ(NTGeometry::screenForPoint({150.6, 50}), left);
    EXPECT_EQ(NTGeometry::screenForPoint({152, 50}), right);
    EXPECT_EQ(NTGeometry::screenForPoint({250, 130}), right);
}

TEST(NTGeometry, RectanglesAvoidingAnObstacle) {
    std::vector<Rect> rects{MakeRect(0, 0, 100, 100), MakeRect(40, 40, 10, 10), MakeRect(300, 0, 2, 50)};
    NTGeometry::updateRectsToAvoidRectGivenMinimumSize(rects, MakeRect(30, 30, 40, 40), {5, 5});
    // The tiny one goes for its size, the inner one for lying inside the obstacle, and
    // the large one gives its four sides, in that order.
    std::vector<Rect> expected{MakeRect(0, 0, 30, 100), MakeRect(70, 0, 30, 100), MakeRect(0, 70, 100, 30),
                               MakeRect(0, 0, 100, 30)};
    EXPECT_EQ(rects, expected);

    std::vector<Rect> edge{MakeRect(0, 0, 50, 50)};
    NTGeometry::updateRectsToAvoidRectGivenMinimumSize(edge, MakeRect(0, 40, 50, 50), {0, 0});
    EXPECT_EQ(edge, (std::vector<Rect>{MakeRect(0, 0, 50, 40)})) << "pieces of no width are dropped";
}

TEST(NTGeometry, OverhangAndTheLeastOverhangingRectangle) {
    const Rect screen = MakeRect(0, 0, 100, 100);
    EXPECT_FLOAT_EQ(NTRectOverhang(MakeRect(-3, 10, 10, 10), screen), 9.0f);
    EXPECT_FLOAT_EQ(NTRectOverhang(MakeRect(95, 98, 10, 10), screen), 25.0f + 64.0f);
    EXPECT_EQ(NTRectWithLeastOverhang({}, screen), RectZero);
    const Rect a = MakeRect(-5, 0, 10, 10), b = MakeRect(-5, 50, 10, 10), c = MakeRect(-2, 0, 10, 10);
    EXPECT_EQ(NTRectWithLeastOverhang({c, a, b}, screen), c);
    EXPECT_EQ(NTRectWithLeastOverhang({a, b}, screen), b) << "equal overhang: the last one stays";
}

}  // namespace
}  // namespace qs
