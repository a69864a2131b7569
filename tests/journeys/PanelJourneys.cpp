// The dock as a new user first meets it: it starts with its panel along the bottom edge
// of the screen, a dock window on every desktop above the other windows; it quits on
// SIGTERM, even with a tooltip on the screen, and comes back as it was; hovering a running application's cell shows the
// preview of its windows, above the panel and above every other window.

#include <set>

#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

class PanelJourneys : public JourneyTest {
protected:
    // A stored dock with one folder between the start menu and the trash.
    static void SetUpTestSuite() { startDock({.settings = {}, .storedFiles = {"/usr/share"}, .position = {}}); }
};

TEST_F(PanelJourneys, TheDockStartsAlongTheBottomEdgeAndComesBackAfterSigterm) {
    auto panel = dock().panel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->clientRect.bottom(), x().screen().height) << *panel << "; " << screenshot();
    EXPECT_EQ(panel->clientRect.x, 0) << "the panel stands at the left end by default";
    // The start menu, the stored folder and the trash, and a cell for each application
    // that other programs left running on this display (none, normally).
    std::set<uint32_t> others;
    for (const auto& w : x().stacking())
        if (w.viewable && !w.overrideRedirect && w.pid && w.pid != uint32_t(dock().pid()) && !w.hasType("DOCK"))
            others.insert(w.pid);
    const int cells = 3 + int(others.size());
    EXPECT_EQ(dock().cellCount(), cells) << screenshot();
    EXPECT_TRUE(x().isTopmostOver(panel->window, panel->rect));
    EXPECT_EQ(x().cardinals(panel->client, "_NET_WM_DESKTOP"), std::vector<uint32_t>{0xFFFFFFFFu})
        << "on every desktop";
    // SIGTERM ends it cleanly; started again, it shows what it stored.
    const Rect before = panel->clientRect;
    ASSERT_TRUE(dock().restart());
    panel = dock().panel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->clientRect, before) << screenshot();
    EXPECT_EQ(dock().cellCount(), cells);
}

TEST_F(PanelJourneys, HoveringARunningApplicationShowsItsPreview) {
    const int cells = dock().cellCount();
    const pid_t term = clients.start({"xterm", "-bg", "#c8e8ff", "-fg", "black", "-geometry", "50x10+600+200"});
    ASSERT_NE(clients.waitForWindow(term), xcb_window_t(XCB_WINDOW_NONE));
    ASSERT_TRUE(waitUntil("a cell for xterm", [&] { return dock().panelReady(cells + 1); }));
    const int cell = cells - 1;  // just before the trash

    auto preview = hoverUntilPreview(cell);
    ASSERT_TRUE(preview);
    auto panel = dock().panel();
    ASSERT_TRUE(panel);
    // Above the panel, over the hovered cell, and above every other window.
    EXPECT_LE(preview->rect.bottom(), panel->rect.y) << *preview << "; " << screenshot();
    const Point centre = dock().cell(cell).centre();
    EXPECT_TRUE(preview->rect.x <= centre.x && centre.x < preview->rect.right()) << *preview;
    EXPECT_TRUE(x().isTopmostOver(preview->window, preview->rect));
    // It shows the window's picture: the terminal's own background, at a good size.
    const QImage pixels = steadyPixels(preview->rect);
    const int own = countPixels(pixels, [](QRgb p) { return nearColour(p, qRgb(0xc8, 0xe8, 0xff)); });
    EXPECT_GE(own, pixels.width() * pixels.height() / 5) << screenshot();
}

// SIGTERM quits while something of the dock that closes its own way is on the screen
// (a tooltip here; a preview or the start menu alike), and the dock comes back.
TEST_F(PanelJourneys, SigtermQuitsWhileATooltipShows) {
    const int trash = dock().cellCount() - 1;
    ASSERT_TRUE(hoverUntilTooltip(trash));
    ASSERT_TRUE(dock().restart());
    EXPECT_EQ(dock().cellCount(), trash + 1);
}

}  // namespace
}  // namespace qs::journey
