#include <cmath>

#include <gmock/gmock.h>

#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using desktop::AXElement;
using test::TrackingTest;
using ::testing::DoubleNear;

MATCHER_P4(RectNear, x, y, w, h, "") {
    auto near = [](double a, double b) { return std::fabs(a - b) < 0.01; };
    return near(arg.origin.x, x) && near(arg.origin.y, y) && near(arg.size.width, w) && near(arg.size.height, h);
}

class OperationsTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        // A panel 25 high along the top: its usable area is (0, 25, 1440, 875) in
        // accessibility coordinates.
        screen = addScreen(MakeRect(0, 0, 1440, 900), MakeRect(0, 0, 1440, 875));
        editor = desk->addApplication(0, "Editor");
        pid = editor->processIdentifier();
        window = add(MakeRect(100, 100, 400, 300));
        run();
        desk->clearRecords();
    }
    std::shared_ptr<SIWindow> add(const Rect& frame) {
        auto n = desk->addWindow(pid, "w", frame);
        return SIWindow::initWithAXElement(AXElement::windowOf(pid, n));
    }
    // The calls that change something, in order.
    std::vector<std::string> actions() {
        std::vector<std::string> out;
        for (auto& c : desk->calls())
            if (c.rfind("set ", 0) == 0 || c.rfind("activate", 0) == 0 || c.rfind("setFrontProcess", 0) == 0 ||
                c.rfind("action", 0) == 0)
                out.push_back(c);
        return out;
    }
    std::string w(const std::shared_ptr<SIWindow>& win) { return "window " + std::to_string(win->win_id()); }

    std::shared_ptr<sim::SimScreen> screen;
    RunningApplicationPtr editor;
    desktop::Pid pid = 0;
    std::shared_ptr<SIWindow> window;
};

TEST_F(OperationsTest, PositionsAreFractionsOfTheUsableArea) {
    EXPECT_THAT(window->resizedFrameForPosition(9, screen), RectNear(1008, 25, 432, 875));
    EXPECT_THAT(window->resizedFrameForPosition(6, screen), RectNear(0, 462.5, 720, 437.5));
    EXPECT_THAT(window->resizedFrameForPosition(11, screen), RectNear(720, 462.5, 720, 437.5));
    EXPECT_THAT(window->resizedFrameForPosition(1, screen), RectNear(0, 25, 1440, 437.5));
    EXPECT_THAT(window->resizedFrameForPosition(2, screen), RectNear(240, 150, 960, 583.33));
    EXPECT_THAT(window->resizedFrameForPosition(0, screen), RectNear(0, 25, 1440, 875));
    EXPECT_THAT(window->resizedFrameForPosition(99, screen), RectNear(0, 25, 1440, 875));
    EXPECT_THAT(window->resizedFrameForPosition(3, nullptr), RectNear(0, 0, 0, 0));
    Rect nan = window->resizedFrameForPosition(13, screen);
    EXPECT_TRUE(std::isnan(nan.origin.x) && std::isnan(nan.origin.y) && std::isnan(nan.size.width) &&
                std::isnan(nan.size.height));
    // ...which is never handed to the window.
    window->moveWindowToPosition(13);
    EXPECT_TRUE(desk->writes().empty());
    window->moveWindowToPosition(8);
    EXPECT_THAT(window->frame(), RectNear(720, 25, 720, 875));
}

TEST_F(OperationsTest, PlacementTagsPlaceThenActivate) {
    window->windowAction(2000);
    EXPECT_TRUE(actions().empty());
    window->windowAction(4100);
    EXPECT_THAT(actions(), ::testing::ElementsAre("set " + w(window) + " AXSize {720, 875}",
                                                  "set " + w(window) + " AXPosition {720, 25}",
                                                  "activate " + std::to_string(pid) + " 2",
                                                  "set " + w(window) + " AXMain YES",
                                                  "setFrontProcess " + std::to_string(pid) + " front"));
    window->windowAction(3000);
    EXPECT_THAT(window->frame(), RectNear(240, 150, 960, 583.33));
    window->windowAction(2200);
    EXPECT_THAT(window->frame(), RectNear(0, 25, 432, 875));
    window->windowAction(2001);
    EXPECT_THAT(window->frame(), RectNear(0, 25, 1440, 875));
    EXPECT_EQ(SIWindow::createActionsDict().size(), 7u);
    desk->clearRecords();
    window->windowAction(2500);  // no such tag: nothing
    EXPECT_TRUE(actions().empty());
}

TEST_F(OperationsTest, MaximisedMeansExactlyTheUsableArea) {
    window->maximize();
    EXPECT_EQ(window->frame(), MakeRect(0, 25, 1440, 875));
    EXPECT_TRUE(window->isMaximized());
    EXPECT_TRUE(window->isVerticalMaximized());
    desk->moveWindow(window->win_id(), MakeRect(0, 25, 1439, 875));
    EXPECT_FALSE(window->isMaximized());
    desk->moveWindow(window->win_id(), MakeRect(720, 25, 720, 875));
    EXPECT_FALSE(window->isMaximized());
    EXPECT_TRUE(window->isVerticalMaximized());
    desk->moveWindow(window->win_id(), MakeRect(720, 25, 720, 874));
    EXPECT_FALSE(window->isVerticalMaximized());
    // A window that is gone fills nothing.
    desk->removeWindow(window->win_id());
    EXPECT_FALSE(window->isMaximized());
    EXPECT_FALSE(window->isVerticalMaximized());
}

TEST_F(OperationsTest, MaximiseRestoresAMinimisedWindowFirst) {
    desk->setMinimized(window->win_id(), true);
    window->maximize();
    EXPECT_FALSE(window->isWindowMinimized());
    EXPECT_TRUE(window->isMaximized());
}

TEST_F(OperationsTest, MoveToScreenKeepsTheSize) {
    auto second = addScreen(MakeRect(1440, 0, 1920, 1080));
    window->moveToScreen(second);
    EXPECT_EQ(window->frame(), MakeRect(1440, -180, 400, 300));
    window->moveToScreen(nullptr);
    EXPECT_EQ(window->frame(), MakeRect(0, 0, 400, 300));
}

TEST_F(OperationsTest, SpacesAreTheWindowManagersDesktops) {
    desk->setSpaces(4, 0);
    window->moveToSpace(3);
    EXPECT_EQ(desk->window(window->win_id())->space, 2);
    EXPECT_FALSE(window->isOnScreen());
    desk->clearRecords();
    window->moveToSpace(0);
    window->moveToSpace(17);
    EXPECT_EQ(desk->callCount("moveToSpace"), 0u);
    EXPECT_TRUE(desk->events().empty());
}

TEST_F(OperationsTest, WithoutDesktopsASpaceIsReachedByItsKeyWhileHoldingTheTitleBar) {
    desk->setSpacesFail(true);
    desk->window(window->win_id())->zoomButton = MakeRect(60, 45, 14, 14);
    desk->moveWindow(window->win_id(), MakeRect(50, 40, 400, 300));
    desk->setPointer(MakePoint(700, 700));
    window->moveToSpace(10);
    auto events = desk->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_FALSE(events[0].isKey);
    EXPECT_EQ(events[0].mouse, desktop::MouseEventType::Moved);
    EXPECT_EQ(events[0].location, MakePoint(79, 45));
    EXPECT_EQ(events[1].mouse, desktop::MouseEventType::LeftDown);
    EXPECT_EQ(events[1].location, MakePoint(79, 45));
    EXPECT_TRUE(events[2].isKey && events[2].down);
    EXPECT_EQ(events[2].keyCode, 29);
    EXPECT_EQ(events[2].flags, uint64_t(desktop::kCGEventFlagMaskControl));
    EXPECT_TRUE(events[3].isKey && !events[3].down);
    EXPECT_EQ(events[3].flags, 0u);
    for (int i : {0, 1}) EXPECT_EQ(events[i].flags, 0u);

    env.loop().advance(0.49);
    EXPECT_EQ(desk->events().size(), 4u);
    env.loop().advance(0.02);
    events = desk->events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[4].mouse, desktop::MouseEventType::LeftUp);
    EXPECT_EQ(events[4].location, MakePoint(79, 45));
    EXPECT_EQ(events[5].mouse, desktop::MouseEventType::Moved);
    EXPECT_EQ(events[5].location, MakePoint(700, 700));

    // Space 1 is the "1" key; 11 has no key of its own and is left alone (Control-1
    // would go to space 1).
    desk->clearRecords();
    window->moveToSpace(1);
    ASSERT_EQ(desk->events().size(), 4u);
    EXPECT_EQ(desk->events()[2].keyCode, 18);
    desk->clearRecords();
    window->moveToSpace(11);
    EXPECT_TRUE(desk->events().empty());
}

TEST_F(OperationsTest, GrabPointWithoutAZoomButtonIsNearTheLeftEdge) {
    desk->setSpacesFail(true);
    desk->moveWindow(window->win_id(), MakeRect(50, 40, 400, 300));
    window->moveToSpace(2);
    ASSERT_FALSE(desk->events().empty());
    EXPECT_EQ(desk->events()[0].location, MakePoint(55, 45));
    EXPECT_EQ(desk->events()[2].keyCode, 19);
}

class DirectionTest : public OperationsTest {
protected:
    void SetUp() override {
        OperationsTest::SetUp();
        desk->removeWindow(window->win_id());
        focused = add(MakeRect(450, 450, 100, 100));   // centre (500, 500)
        west = add(MakeRect(250, 450, 100, 100));      // (300, 500)
        northWest = add(MakeRect(350, 250, 100, 100)); // (400, 300)
        southWest = add(MakeRect(200, 850, 100, 100)); // (250, 900)
        east = add(MakeRect(650, 450, 100, 100));      // (700, 500)
    }
    std::vector<uint32_t> ids(const std::vector<std::shared_ptr<SIWindow>>& list) {
        std::vector<uint32_t> out;
        for (auto& x : list) out.push_back(x->win_id());
        return out;
    }
    std::shared_ptr<SIWindow> focused, west, northWest, southWest, east;
};

TEST_F(DirectionTest, NothingIsInAnyDirectionWithoutAFocusedWindow) {
    EXPECT_TRUE(focused->windowsToWest().empty());
    EXPECT_TRUE(focused->windowsToEast().empty());
    EXPECT_TRUE(focused->windowsToNorth().empty());
    EXPECT_TRUE(focused->windowsToSouth().empty());
    EXPECT_FALSE(focused->focusWindowLeft());
}

TEST_F(DirectionTest, WindowsAreScoredByDistanceAndDeviation) {
    desk->focus(focused->win_id());
    // 200; 223.6 / cos(0.55) = 262.9; 447.2 / cos(0.23) = 539.3
    EXPECT_EQ(ids(east->windowsToWest()),
              (std::vector<uint32_t>{west->win_id(), northWest->win_id(), southWest->win_id()}));
    EXPECT_EQ(ids(east->windowsToNorth()), (std::vector<uint32_t>{northWest->win_id()}));
    EXPECT_EQ(ids(east->windowsToEast()), (std::vector<uint32_t>{east->win_id()}));
    EXPECT_EQ(ids(east->windowsToSouth()), (std::vector<uint32_t>{southWest->win_id()}));
    EXPECT_TRUE(focused->focusWindowLeft());
    EXPECT_EQ(desk->activeWindow(), west->win_id());
}

TEST_F(OperationsTest, FocusFailsWhenTheApplicationCannotBeActivated) {
    desk->setActivationFails(true);
    EXPECT_FALSE(window->focusWindow());
    for (auto& c : desk->calls()) EXPECT_EQ(c.find("AXMain"), std::string::npos) << c;
    desk->setActivationFails(false);
    EXPECT_TRUE(window->focusWindow());
    EXPECT_EQ(desk->activeWindow(), window->win_id());
}

TEST_F(OperationsTest, FocusRestoresAMinimisedWindow) {
    desk->setMinimized(window->win_id(), true);
    EXPECT_TRUE(window->focusWindow());
    EXPECT_FALSE(window->isWindowMinimized());
}

TEST_F(OperationsTest, RestoringRefreshesThePreviewAfterAFifthOfASecond) {
    desk->setMinimized(window->win_id(), true);
    window->unMinimize();
    EXPECT_FALSE(window->isWindowMinimized());
    env.loop().advance(0.19);
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture"), 0u);
    env.loop().advance(0.02);
    env.loop().waitForBackground();
    run();
    EXPECT_EQ(desk->callCount("capture"), 1u);
    EXPECT_NE(window->previewImage(), nullptr);
}

TEST_F(OperationsTest, MinimiseAndClose) {
    EXPECT_TRUE(window->minimize());
    EXPECT_TRUE(window->isWindowMinimized());
    EXPECT_FALSE(window->setWindowProperty("AXMinimized", Value("NO")));  // not a number: not written
    EXPECT_TRUE(window->isWindowMinimized());

    auto other = add(MakeRect(0, 0, 100, 100));
    desk->window(other->win_id())->closeButton = false;
    desk->clearRecords();
    other->close();
    EXPECT_EQ(desk->callCount("action"), 0u);
    EXPECT_TRUE(other->isNotDead());
    window->close();
    EXPECT_FALSE(window->isNotDead());
}

}  // namespace
}  // namespace qs
