// What goes wrong around the dock's menus, previews and tooltips: a screen change that
// rebuilds the dock while a menu is open, a window that closes while the menu of its
// application is open, a right-click in the middle of a drag, and a name of 10,000
// characters. After each: the dock runs, nothing of it is left on the screen but its
// panel, and the next click does what a click does.

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <string>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

class FaultJourneys : public JourneyTest {
protected:
    static constexpr size_t kLongName = 10000;

    // A stored dock of one application item whose name is 10,000 characters long.
    static void SetUpTestSuite() {
        std::string name;
        while (name.size() < kLongName) name += "Harbour ";
        name.resize(kLongName);
        DockOptions options;
        options.homeFiles = {{"long-name.desktop", "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n"}};
        options.storedFiles = {"~/long-name.desktop"};
        startDock(options);
    }

    Point centreOf(int cell) { return dock().cell(cell).centre(); }

    // The dock runs, shows nothing but its panel once pop-ups are closed, and a click on
    // the start-menu cell opens the start menu.
    void expectTheDockAnswers() {
        ASSERT_TRUE(dock().running()) << "the dock ended\n" << dock().log();
        ASSERT_TRUE(settle());
        x().click(centreOf(0), 1);
        auto menu = waitForPopup();
        ASSERT_TRUE(menu) << "the click after it opened nothing";
        EXPECT_GE(menu->rect.height, 200) << "the start menu: " << *menu;
        x().key(XK_Escape);
        EXPECT_TRUE(waitUntil("the start menu to close", [&] { return !x().isViewable(menu->window); }));
    }
};

// Runs xrandr with the arguments; answers whether it succeeded.
bool xrandr(const std::string& arguments) { return std::system(("xrandr " + arguments + " >/dev/null 2>&1").c_str()) == 0; }

TEST_F(FaultJourneys, AMenuOpenWhileTheDockIsRebuiltForAScreenChangeLeavesNothingBehind) {
    auto panel = dock().panel();
    ASSERT_TRUE(panel);
    x().click(centreOf(1), 3);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    // A monitor appears: the dock builds its panels again while the menu is open.
    ASSERT_TRUE(xrandr("--setmonitor journey-half 800/0x900/0+0+0 none"));
    struct Restore {
        bool done = false;
        bool undo() { return done || (done = xrandr("--delmonitor journey-half")); }
        ~Restore() { undo(); }
    } restore;
    auto madeAgain = [&](const std::optional<TopLevel>& old) {
        return waitUntil("the panel to be made again", [&] {
            auto now = dock().panel();
            return now && now->window != old->window && dock().panelReady();
        });
    };
    EXPECT_TRUE(madeAgain(panel));
    x().key(XK_Escape);
    EXPECT_TRUE(waitUntil("the menu to close", [&] { return !x().isViewable(menu->window); }));
    expectTheDockAnswers();
    // The monitor goes: the panel is made once more, and is ready for the next journey.
    panel = dock().panel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(restore.undo());
    EXPECT_TRUE(madeAgain(panel));
}

TEST_F(FaultJourneys, AWindowThatClosesWhileItsApplicationsMenuIsOpenLeavesNothingBehind) {
    const Launched term = launch({"xterm", "-geometry", "40x8+600+200"});
    ASSERT_GE(term.cell, 0);
    ASSERT_TRUE(hoverUntilPreview(term.cell));
    x().click(centreOf(term.cell), 3);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(waitUntil("the preview to close", [&] { return !dock().preview(); }));
    clients.end(term.pid);
    EXPECT_TRUE(waitUntil("the application's cell to go", [&] { return dock().panelReady(term.cell + 1); }));
    // Its last entry, "Quit App", chosen for an application that is gone.
    x().key(XK_Up);
    x().key(XK_Return);
    EXPECT_TRUE(waitUntil("the menu to close", [&] { return !x().isViewable(menu->window); }));
    expectTheDockAnswers();
}

TEST_F(FaultJourneys, ARightClickDuringADragLeavesNothingBehind) {
    // A Shift-drag (the drag that moves an item) of the item, with a right-click on the
    // way, dropped where it started.
    const int cells = dock().cellCount();
    const Point from = centreOf(1);
    x().move(from);
    x().press(1, kShift);
    for (int step = 1; step <= 8; ++step) {
        x().move({from.x + step * 3, from.y - step});
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    x().click({from.x + 24, from.y - 8}, 3);
    x().move(from);
    x().release(1, kShift);
    EXPECT_TRUE(waitUntil("the drag to end with the dock as it was", [&] { return dock().panelReady(cells); }));
    expectTheDockAnswers();
}

TEST_F(FaultJourneys, ATooltipOfTenThousandCharactersStaysOnTheScreen) {
    // A name that long is as tall as the screen allows: any tooltip-type window counts.
    x().move(centreOf(1));
    std::vector<TopLevel> shown;
    ASSERT_TRUE(waitUntil("the name's tooltip", [&] { return !(shown = dock().tooltips()).empty(); }));
    const TopLevel& tooltip = shown.front();
    EXPECT_TRUE(x().screen().contains(tooltip.rect)) << tooltip;
    // It wraps at a fixed width, whatever the length.
    EXPECT_LE(tooltip.rect.width, 260) << tooltip;
    expectTheDockAnswers();
}

}  // namespace
}  // namespace qs::journey
