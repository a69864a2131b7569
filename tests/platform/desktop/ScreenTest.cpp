#include <gtest/gtest.h>

#include "platform/desktop/Notifications.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class ScreenTest : public qs::test::IsolatedTest {
protected:
    void TearDown() override { desktop::install({}); }
};

TEST_F(ScreenTest, NoScreenServiceMeansNoScreens) {
    desktop::install({});
    EXPECT_TRUE(Screen::screens().empty());
    EXPECT_EQ(Screen::mainScreen(), nullptr);
}

TEST_F(ScreenTest, ScreensKeepTheirOrderAndIdentity) {
    auto sim = sim::installSimBackend(false);
    auto primary = sim::SimScreen::make(MakeRect(0, 0, 1920, 1080), "Primary");
    auto side = sim::SimScreen::make(MakeRect(1920, 0, 1280, 1024), "Side");
    sim.screens->setScreens({primary, side});

    auto list = Screen::screens();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], primary);
    EXPECT_EQ(list[1], side);
    EXPECT_EQ(list[0]->className(), "NSScreen");

    // A changed frame is seen through the same object.
    side->setFrame(MakeRect(-1280, 0, 1280, 1024));
    EXPECT_EQ(Screen::screens()[1]->frame(), MakeRect(-1280, 0, 1280, 1024));
    Rect visible = MakeRect(0, 60, 1920, 1020);
    primary->setVisibleFrame(visible);
    EXPECT_EQ(Screen::screens()[0]->visibleFrame(), visible);
    EXPECT_EQ(Screen::screens()[0]->frame(), MakeRect(0, 0, 1920, 1080));
}

TEST_F(ScreenTest, MainScreenFallsBackToTheFirstAndToNothing) {
    auto sim = sim::installSimBackend(false);
    EXPECT_EQ(Screen::mainScreen(), nullptr);

    auto a = sim.screens->addScreen(MakeRect(0, 0, 800, 600), "A");
    auto b = sim.screens->addScreen(MakeRect(800, 0, 800, 600), "B");
    EXPECT_EQ(Screen::mainScreen(), a);
    sim.screens->setMainScreen(b);
    EXPECT_EQ(Screen::mainScreen(), b);

    // The main screen unplugged: the first screen again, not a stale object.
    sim.screens->setScreens({a});
    EXPECT_EQ(Screen::mainScreen(), a);
    sim.screens->setScreens({});
    EXPECT_EQ(Screen::mainScreen(), nullptr);
}

TEST_F(ScreenTest, ScreenParametersArePostedOnlyWhenAsked) {
    auto sim = sim::installSimBackend();
    int posts = 0;
    int token = int(NotificationCenter::defaultCenter().addObserver(
        this, NSApplicationDidChangeScreenParametersNotification, nullptr, [&](const Notification&) { ++posts; }));
    sim.screens->addScreen(MakeRect(1440, 0, 1024, 768));
    sim.screens->setScreens(sim.screens->simScreens());
    EXPECT_EQ(posts, 0);
    sim.screens->postScreenParametersChanged();
    EXPECT_EQ(posts, 1);
    NotificationCenter::defaultCenter().removeObserver(NotificationCenter::ObserverToken(token));
}

TEST_F(ScreenTest, SimWorkspaceEventsPostOnTheWorkspaceCentre) {
    std::vector<std::string> seen;
    NotificationCenter::workspaceCenter().addObserver(this, "", nullptr,
                                                      [&](const Notification& n) { seen.push_back(n.name); });
    sim::SimWorkspaceEvents::switchSpace();
    sim::SimWorkspaceEvents::changeActiveDisplay();
    sim::SimWorkspaceEvents::wake();
    NotificationCenter::workspaceCenter().removeObserver(this);
    EXPECT_EQ(seen, (std::vector<std::string>{NSWorkspaceActiveSpaceDidChangeNotification,
                                              NSWorkspaceActiveDisplayDidChangeNotification,
                                              NSWorkspaceDidWakeNotification}));
}

TEST(SimHotkeys, TakenAppliesToTheNextRegistrationOnly) {
    sim::SimHotkeys hotkeys;
    hotkeys.setTaken(4, 0x140000);
    EXPECT_EQ(hotkeys.registerHotkey(4, 0x140000, [] {}), -1);
    int id = hotkeys.registerHotkey(4, 0x140000, [] {});
    EXPECT_GE(id, 0);
    // The same combination twice is refused, as a second grab would be.
    EXPECT_EQ(hotkeys.registerHotkey(4, 0x140000, [] {}), -1);
    hotkeys.unregisterHotkey(id);
    EXPECT_FALSE(hotkeys.press(4, 0x140000));
}

}  // namespace
}  // namespace qs
