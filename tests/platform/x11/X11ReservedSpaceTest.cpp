// The space panels keep along the screen edges, computed without a display: the strut a
// dock panel writes for its edge, and the visible frame left of a monitor by the struts
// of other programs' panels.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Screens.h"

namespace qs::x11 {
namespace {

using Strut = std::array<uint32_t, 12>;

// A strut with one edge: 0 left, 1 right, 2 top, 3 bottom (the EWMH order), its width
// and the span across that edge.
Strut strut(int side, uint32_t width, uint32_t start, uint32_t end) {
    Strut s{};
    s[size_t(side)] = width;
    s[size_t(4 + 2 * side)] = start;
    s[size_t(5 + 2 * side)] = end;
    return s;
}

const std::vector<Rect> kOneMonitor = {MakeRect(0, 0, 1600, 900)};
const std::vector<Rect> kSideBySide = {MakeRect(0, 0, 800, 900), MakeRect(800, 0, 800, 900)};
const Size kRoot = MakeSize(1600, 900);

TEST(DockStrut, ReservesFromTheRootEdgeToThePanelsFarSideAcrossItsLength) {
    auto bottom = X11PanelWindows::strutFor(1, MakeRect(722, 848, 156, 52), kOneMonitor, kRoot);
    ASSERT_TRUE(bottom.values) << bottom.refusal;
    EXPECT_EQ(*bottom.values, strut(3, 52, 722, 877));
    // Raised by the indent: the gap below belongs to the panel's space.
    EXPECT_EQ(*X11PanelWindows::strutFor(1, MakeRect(722, 842, 156, 52), kOneMonitor, kRoot).values,
              strut(3, 58, 722, 877));
    // Below another panel 24 high: the strut reaches down to the panel's lower side.
    EXPECT_EQ(*X11PanelWindows::strutFor(3, MakeRect(722, 24, 156, 52), kOneMonitor, kRoot).values,
              strut(2, 76, 722, 877));
    EXPECT_EQ(*X11PanelWindows::strutFor(0, MakeRect(0, 24, 52, 876), kOneMonitor, kRoot).values,
              strut(0, 52, 24, 899));
    EXPECT_EQ(*X11PanelWindows::strutFor(2, MakeRect(1548, 372, 52, 156), kSideBySide, kRoot).values,
              strut(1, 52, 372, 527));
    // An unknown root size is taken from the monitors.
    EXPECT_EQ(*X11PanelWindows::strutFor(1, MakeRect(722, 848, 156, 52), kOneMonitor, MakeSize(0, 0)).values,
              strut(3, 52, 722, 877));
}

TEST(DockStrut, EdgesAStrutCannotExpressAreRefusedWithTheReason) {
    // The right edge of the left monitor, the left edge of the right one: the band to the
    // root's edge would cover the other monitor.
    auto between = X11PanelWindows::strutFor(2, MakeRect(748, 372, 52, 156), kSideBySide, kRoot);
    EXPECT_FALSE(between.values);
    EXPECT_NE(between.refusal.find("between two monitors"), std::string::npos);
    EXPECT_FALSE(X11PanelWindows::strutFor(0, MakeRect(800, 372, 52, 156), kSideBySide, kRoot).values);
    // Monitors stacked: the lower edge of the upper one.
    std::vector<Rect> stacked = {MakeRect(0, 0, 1600, 900), MakeRect(0, 900, 1600, 900)};
    EXPECT_FALSE(X11PanelWindows::strutFor(1, MakeRect(722, 848, 156, 52), stacked, MakeSize(1600, 1800)).values);
    // A shorter monitor beside a taller one: below it there is only dead space, which a
    // strut may take.
    std::vector<Rect> uneven = {MakeRect(0, 0, 1920, 1080), MakeRect(1920, 0, 1280, 1024)};
    auto dead = X11PanelWindows::strutFor(1, MakeRect(2500, 972, 100, 52), uneven, MakeSize(3200, 1080));
    ASSERT_TRUE(dead.values) << dead.refusal;
    EXPECT_EQ(*dead.values, strut(3, 108, 2500, 2599));
    // An absurd thickness, and a panel on no monitor.
    auto huge = X11PanelWindows::strutFor(1, MakeRect(0, 300, 1600, 600), kOneMonitor, kRoot);
    EXPECT_FALSE(huge.values);
    EXPECT_NE(huge.refusal.find("more than half"), std::string::npos);
    auto nowhere = X11PanelWindows::strutFor(1, MakeRect(5000, 5000, 100, 50), kOneMonitor, kRoot);
    EXPECT_FALSE(nowhere.values);
    EXPECT_FALSE(nowhere.refusal.empty());
}

TEST(OtherPanelsSpace, AMonitorIsCutBackByTheStrutsThatCoverIt) {
    const Rect whole = MakeRect(0, 0, 1600, 900);
    EXPECT_EQ(X11Screens::visibleArea(whole, {}, kRoot), whole);
    EXPECT_EQ(X11Screens::visibleArea(whole, {strut(2, 24, 0, 1599)}, kRoot), MakeRect(0, 24, 1600, 876));
    EXPECT_EQ(X11Screens::visibleArea(whole, {strut(2, 24, 0, 1599), strut(3, 30, 0, 1599), strut(0, 40, 0, 899)},
                                      kRoot),
              MakeRect(40, 24, 1560, 846));

    // A top panel over the left monitor only leaves the right one whole; a left strut
    // does not reach the right monitor.
    const Rect left = kSideBySide[0], right = kSideBySide[1];
    EXPECT_EQ(X11Screens::visibleArea(left, {strut(2, 24, 0, 799)}, kRoot), MakeRect(0, 24, 800, 876));
    EXPECT_EQ(X11Screens::visibleArea(right, {strut(2, 24, 0, 799), strut(0, 52, 0, 899)}, kRoot), right);
    // The older strut covers whole edges (its spans run over everything).
    Strut full{};
    full[3] = 30;
    full[11] = 0xFFFFFFFFu;
    EXPECT_EQ(X11Screens::visibleArea(right, {full}, kRoot), MakeRect(800, 0, 800, 870));
    // A strut that would leave nothing leaves the monitor as it is.
    EXPECT_EQ(X11Screens::visibleArea(whole, {strut(2, 900, 0, 1599)}, kRoot), whole);
}

}  // namespace
}  // namespace qs::x11
