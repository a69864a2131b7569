#include <gtest/gtest.h>

#include "tracking/SIScreenPointConversion.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using namespace NSScreen_PointConversion;
using test::TrackingTest;

class ScreenConversionTest : public TrackingTest {};

TEST_F(ScreenConversionTest, FramesAreMeasuredDownFromTheTopOfTheFirstScreen) {
    auto origin = addScreen(MakeRect(0, 0, 1440, 900), MakeRect(0, 0, 1440, 875));
    auto above = addScreen(MakeRect(0, 900, 1920, 1080));
    auto below = addScreen(MakeRect(200, -768, 1024, 768));
    EXPECT_EQ(frameIncludingDockAndMenu(*origin), MakeRect(0, 0, 1440, 900));
    EXPECT_EQ(frameWithoutDockOrMenu(*origin), MakeRect(0, 25, 1440, 875));
    EXPECT_EQ(frameIncludingDockAndMenu(*above), MakeRect(0, -1080, 1920, 1080));
    EXPECT_EQ(frameIncludingDockAndMenu(*below), MakeRect(200, 900, 1024, 768));
    // The height is that of the first screen as it is now.
    origin->setFrame(MakeRect(0, 0, 1440, 1000));
    EXPECT_EQ(frameIncludingDockAndMenu(*above), MakeRect(0, -980, 1920, 1080));
}

TEST_F(ScreenConversionTest, WithoutScreensTheHeightIsZero) {
    EXPECT_EQ(convertToAccessibility(MakeRect(0, 0, 100, 100)), MakeRect(0, -100, 100, 100));
    EXPECT_EQ(originScreen(), nullptr);
    EXPECT_EQ(currentScreenForMouseLocation(), nullptr);
}

TEST_F(ScreenConversionTest, NeighboursWrapAround) {
    auto a = addScreen(MakeRect(0, 0, 1440, 900));
    EXPECT_EQ(nextScreen(*a), a);
    EXPECT_EQ(previousScreen(*a), a);
    auto b = addScreen(MakeRect(1440, 0, 1440, 900));
    auto c = addScreen(MakeRect(2880, 0, 1440, 900));
    EXPECT_EQ(nextScreen(*c), a);
    EXPECT_EQ(previousScreen(*a), c);
    EXPECT_EQ(nextScreen(*a), b);
    // A screen that is no longer listed has no neighbours.
    auto gone = sim::SimScreen::make(MakeRect(0, 0, 10, 10));
    EXPECT_EQ(nextScreen(*gone), nullptr);
    EXPECT_EQ(previousScreen(*gone), nullptr);
}

TEST_F(ScreenConversionTest, OriginScreenAndPointer) {
    auto left = addScreen(MakeRect(-1440, 0, 1440, 900));
    EXPECT_EQ(originScreen(), nullptr);
    auto origin = addScreen(MakeRect(0, 0, 1440, 900));
    EXPECT_EQ(originScreen(), origin);
    desk->setPointer(MakePoint(100, 100));  // accessibility coordinates: platform y = 800
    EXPECT_EQ(currentScreenForMouseLocation(), origin);
    desk->setPointer(MakePoint(-10, 100));
    EXPECT_EQ(currentScreenForMouseLocation(), left);
    desk->setPointer(MakePoint(5000, 100));
    EXPECT_EQ(currentScreenForMouseLocation(), nullptr);
    // The top edge (platform y = 900) belongs to the screen, the bottom one does not.
    desk->setPointer(MakePoint(100, 0));
    EXPECT_EQ(currentScreenForMouseLocation(), origin);
    desk->setPointer(MakePoint(100, 900));
    EXPECT_EQ(currentScreenForMouseLocation(), nullptr);
}

TEST_F(ScreenConversionTest, PointHelpers) {
    auto s = addScreen(MakeRect(0, 0, 1440, 900));
    EXPECT_EQ(flipPoint(*s, MakePoint(10, 100)), MakePoint(10, 800));
    auto left = addScreen(MakeRect(-1920, 0, 1920, 1080));
    EXPECT_EQ(convertPointToScreenCoordinates(*left, MakePoint(100, 50)), MakePoint(2020, 50));
    EXPECT_TRUE(rotateTo(*s, 90));
}

}  // namespace
}  // namespace qs
