// The dock's menus where they meet its previews and tooltips on a real desktop: a context
// menu is never covered by a preview or a tooltip, opening a submenu leaves its parent as
// it was, and a menu with nothing in it does not swallow the next click.

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

// The background of the terminals the journeys start.
constexpr QRgb kTerminalColour = 0xffa8e0c0;

// The pixels of `area` (outside `leaveOut`) that stand out from the area's most common
// colour: the ink of a row's text and glyphs.
int ink(const QImage& image, const Rect& area, const std::vector<Rect>& leaveOut) {
    auto counted = [&](int x, int y) {
        return area.contains(x, y) &&
               std::none_of(leaveOut.begin(), leaveOut.end(), [&](const Rect& r) { return r.contains(x, y); });
    };
    std::map<QRgb, int> histogram;
    for (int y = area.y; y < area.bottom() && y < image.height(); ++y)
        for (int x = area.x; x < area.right() && x < image.width(); ++x)
            if (counted(x, y)) ++histogram[image.pixel(x, y) & 0xffffff];
    if (histogram.empty()) return 0;
    const QRgb common = std::max_element(histogram.begin(), histogram.end(), [](auto& a, auto& b) {
                            return a.second < b.second;
                        })->first;
    int n = 0;
    for (const auto& [colour, count] : histogram)
        if (!nearColour(colour, common, 60)) n += count;
    return n;
}

class MenuJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock(); }

    Launched terminal() {
        return launch({"xterm", "-bg", hexColour(kTerminalColour), "-fg", "black", "-geometry", "50x10+600+200"});
    }
    int trashCell() { return dock().cellCount() - 1; }
    Point centreOf(int cell) { return dock().cell(cell).centre(); }

    // The parts of `r` (relative to it) that windows stacked above `w` cover.
    std::vector<Rect> coveredParts(xcb_window_t w, const Rect& r) {
        std::vector<Rect> out;
        for (const auto& t : x().coveringAbove(w, r)) out.push_back(t.rect.intersected(r).relativeTo(r));
        return out;
    }

    // Opens the menu of `cell` (a click of `button`: the context menu by default) and
    // walks its rows with the keyboard, opening the submenu of every row that has one:
    // the parent keeps its place and size, its other rows stay as they were, and the row
    // keeps its title. Answers how many submenus opened.
    int walkSubmenus(int cell, int button = 3);
};

int MenuJourneys::walkSubmenus(int cell, int button) {
    int opened = 0;
    x().click(centreOf(cell), button);
    auto parent = waitForPopup();
    if (!parent) return opened;
    const Rect geometry = parent->rect;
    const QImage plain = steadyPixels(geometry);  // no row highlighted yet
    // Whether the parent's pixels differ from `than` where nothing above it covers them.
    auto changedFrom = [&](const QImage& than) {
        return differingPixels(than, x().grab(geometry), coveredParts(parent->window, geometry)) > 0;
    };
    auto newSubmenu = [&](const std::vector<TopLevel>& before) -> std::optional<TopLevel> {
        for (auto& w : dock().popups()) {
            const bool known = w.window == parent->window ||
                               std::any_of(before.begin(), before.end(), [&](auto& b) { return b.window == w.window; });
            if (!known) return w;
        }
        return std::nullopt;
    };

    x().key(XK_Down);
    if (!waitUntil("the first row to highlight", [&] { return changedFrom(plain); })) {
        ADD_FAILURE() << "Down highlighted no row that can be seen (windows above the menu: "
                      << x().coveringAbove(parent->window, geometry).size() << "); " << screenshot();
        return opened;
    }
    QImage current = steadyPixels(geometry);
    const QImage first = current;
    for (int row = 1; row <= 16; ++row) {
        // Right opens the row's submenu when it has one, and the Down after it moves within
        // that submenu; on a row without one, the Down moves on to the next row.
        const auto before = dock().popups();
        x().key(XK_Right);
        x().key(XK_Down);
        std::optional<TopLevel> submenu;
        auto moved = waitUntil("row " + std::to_string(row) + "'s submenu, or the next row", [&] {
            submenu = newSubmenu(before);
            return submenu.has_value() || changedFrom(current);
        });
        if (!moved) {
            ADD_FAILURE() << moved.message();
            return opened;
        }
        steadyPixels(geometry);
        if (!submenu) submenu = newSubmenu(before);  // it may map just after its parent repaints
        if (submenu) {
            ++opened;
            steadyPixels(submenu->rect);
            auto now = x().topLevelOf(parent->window);
            if (!now || !now->viewable) {
                ADD_FAILURE() << "row " << row << "'s submenu closed its parent; " << screenshot();
                return opened;
            }
            if (now->rect != geometry) {
                ADD_FAILURE() << "the parent menu went from " << geometry << " to " << now->rect << " when row " << row
                              << "'s submenu " << submenu->rect << " opened; " << screenshot();
                return opened;
            }
            const QImage shown = x().grab(geometry);
            const std::vector<Rect> covered = coveredParts(parent->window, geometry);
            const Rect band = differingRows(plain, current);  // the highlighted row
            std::vector<Rect> aside = covered;
            aside.push_back(band);
            const int changed = differingPixels(current, shown, aside);
            // The highlighted row keeps its title: about as much ink as before, left of the
            // submenu's arrow.
            Rect title = band;
            title.width = std::max(0, band.width - 28);
            const int inkBefore = ink(current, title, covered), inkAfter = ink(shown, title, covered);
            if (changed != 0 || inkAfter * 10 < inkBefore * 7) {
                ADD_FAILURE() << "when row " << row << "'s submenu opened, " << changed
                              << " pixels of the parent's other rows changed, and the row kept " << inkAfter
                              << " of its " << inkBefore << " pixels of text; " << screenshot();
                return opened;
            }
            x().key(XK_Left);
            if (!waitUntil("the submenu to close", [&] { return !x().isViewable(submenu->window); })) {
                ADD_FAILURE() << "Left did not close row " << row << "'s submenu; " << screenshot();
                return opened;
            }
            const QImage back = steadyPixels(geometry);
            x().key(XK_Down);
            if (!waitUntil("the next row to highlight", [&] { return changedFrom(back); })) {
                ADD_FAILURE() << "Down did not move on from row " << row << "; " << screenshot();
                return opened;
            }
        }
        current = steadyPixels(geometry);
        if (current == first) return opened;  // once round the menu: every row was tried
    }
    ADD_FAILURE() << "the highlight did not come back to the first row in 16 steps; " << screenshot();
    return opened;
}

TEST_F(MenuJourneys, TheMenuOfAHoveredApplicationStaysTopmostAndReadable) {
    const Launched term = terminal();
    ASSERT_GE(term.cell, 0);
    ASSERT_TRUE(hoverUntilPreview(term.cell));
    x().click(centreOf(term.cell), 3);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(waitUntil(
        "the preview to close as the menu opens", [&] { return !dock().preview(); }, 2000));
    const QImage opened = x().grab(menu->rect);
    EXPECT_TRUE(holdsFor(
        "the menu is the topmost window over its rectangle",
        [&] { return x().isTopmostOver(menu->window, menu->rect); }, 2000));
    const QImage later = x().grab(menu->rect);
    EXPECT_EQ(differingPixels(opened, later), 0) << "its entries changed while it stayed open; " << screenshot();
    EXPECT_GE(distinctColours(later), 3) << "its entries are drawn; " << screenshot();
}

TEST_F(MenuJourneys, EverySubmenuOfTheTrashMenuLeavesItsParentAsItWas) {
    EXPECT_GE(walkSubmenus(trashCell()), 2) << "\"Add Items to Panel\" and \"Quayside\"";
}

TEST_F(MenuJourneys, EverySubmenuOfAnApplicationMenuLeavesItsParentAsItWas) {
    const Launched term = terminal();
    ASSERT_GE(term.cell, 0);
    EXPECT_GE(walkSubmenus(term.cell), 2);
}

TEST_F(MenuJourneys, AClickOpensTheStartMenuAndEscapeClosesIt) {
    x().click(centreOf(0), 1);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    EXPECT_GE(menu->rect.width, 200) << *menu;
    EXPECT_GE(menu->rect.height, 200) << *menu;
    EXPECT_LE(menu->rect.bottom(), dock().cell(0).y) << "above its cell: " << *menu;
    x().key(XK_Escape);
    EXPECT_TRUE(waitUntil("the start menu to close", [&] { return !x().isViewable(menu->window); }));
}

TEST_F(MenuJourneys, AClickAfterARightClickOnTheStartMenuCellOpensTheStartMenu) {
    // A right-click shows nothing (there is nothing in its menu); the click after it opens
    // the start menu.
    x().click(centreOf(0), 3);
    x().click(centreOf(0), 1);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    EXPECT_GE(menu->rect.height, 200) << "the start menu, not another pop-up: " << *menu;
}

TEST_F(MenuJourneys, NoTooltipStandsOverTheTrashMenu) {
    auto noTooltip = [&] {
        auto shown = dock().tooltips();
        if (shown.empty()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "a tooltip is mapped: " << shown.front();
    };
    // Onto the trash and a right-click at once, as a person who knows where it is.
    x().move(centreOf(trashCell()));
    x().click(centreOf(trashCell()), 3);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(holdsFor("no tooltip while the trash menu is open", noTooltip, 1500));
    ASSERT_TRUE(settle());

    // Resting on the trash until its tooltip shows, then a right-click: the tooltip goes
    // and stays away.
    ASSERT_TRUE(hoverUntilTooltip(trashCell()));
    x().click(centreOf(trashCell()), 3);
    ASSERT_TRUE(waitForPopup());
    EXPECT_TRUE(waitUntil("the tooltip to close as the menu opens", noTooltip, 1000));
    EXPECT_TRUE(holdsFor("no tooltip while the trash menu is open", noTooltip, 1500));
}

// The pop-up menus of folders ("FolderViewIndex" 1): a stored folder with a file and a
// sub-folder (holding a file and a folder of its own), and an empty folder.
class FolderMenuJourneys : public MenuJourneys {
protected:
    static void SetUpTestSuite() {
        DockOptions options;
        options.settings = {{"FolderViewIndex", Value(1)}};
        options.homeFiles = {{"Projects/Harbour plans/Quay walls/", ""},
                             {"Empty/", ""},
                             {"Projects/notes.txt", "notes\n"},
                             {"Projects/Harbour plans/plan.txt", "plan\n"}};
        options.storedFiles = {"~/Projects", "~/Empty"};
        startDock(options);
    }
};

TEST_F(FolderMenuJourneys, ASubFoldersEntryKeepsItsNameAndItsParentItsSize) {
    EXPECT_GE(walkSubmenus(1, 1), 1) << "\"Harbour plans\"";
}

TEST_F(FolderMenuJourneys, AClickOnAnEmptyFolderShowsNothingAndTheNextClickWorks) {
    x().click(centreOf(2), 1);
    x().click(centreOf(0), 1);
    // The start menu (the folder's name may flash as a tooltip on the way).
    EXPECT_TRUE(waitUntil("the start menu", [&] {
        for (const auto& w : dock().popups())
            if (w.rect.height >= 200) return true;
        return false;
    }));
}

}  // namespace
}  // namespace qs::journey
