// How the panel looks on a desktop with a compositing manager (xcompmgr, which paints the
// root grey): with "Cast a shadow" a soft shadow darkens the desktop around the panel, its
// window standing around the panel's; without it the desktop next to the panel is as
// elsewhere.

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

class AppearanceJourneys : public JourneyTest {
protected:
    static Clients& compositor() {
        static Clients clients;
        return clients;
    }

    // Whether a compositing manager owns the screen's selection.
    static bool compositing() {
        XSession& x = *XSession::shared();
        auto* reply = xcb_get_selection_owner_reply(
            x.connection(), xcb_get_selection_owner(x.connection(), x.atom("_NET_WM_CM_S0")), nullptr);
        const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
        std::free(reply);
        return owned;
    }

    static void SetUpTestSuite() {
        if (!XSession::shared()) return;
        if (compositor().start({"xcompmgr"}) < 0) return;
        if (!waitUntil("xcompmgr to run", [] { return compositing(); })) {
            ADD_FAILURE() << "xcompmgr (scripts/deps.sh) did not start";
            return;
        }
        startDock({.settings = {}, .storedFiles = {}, .castsShadow = true});
    }
    static void TearDownTestSuite() {
        JourneyTest::TearDownTestSuite();
        compositor().endAll();
    }

    // The mean brightness of a band `height` rows high, `gap` rows above the panel, over
    // the panel's middle half.
    int bandAbovePanel(int gap, int height) {
        auto panel = dock().panel();
        if (!panel) return -1;
        const Rect& r = panel->clientRect;
        const Rect band{r.x + r.width / 4, r.y - gap - height, std::max(1, r.width / 2), height};
        const QImage image = x().grab(band);
        long sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sum += luma(image.pixel(x, y));
        return int(sum / std::max(1, image.width() * image.height()));
    }
};

TEST_F(AppearanceJourneys, WithACompositingManagerThePanelCastsAShadowOnlyWhenAsked) {
    ASSERT_TRUE(compositing());
    // The shadow's window stands around the panel where the panel really is, by one
    // margin on every side.
    EXPECT_TRUE(waitUntil("the shadow's window around the panel", [&] {
        auto panel = dock().panel();
        if (!panel) return ::testing::AssertionFailure() << "no panel";
        const Rect& p = panel->clientRect;
        for (const TopLevel& w : x().windowsOf(dock().pid())) {
            const Rect& r = w.clientRect;
            const int m = p.x - r.x;
            if (w.client != panel->client && m > 0 && p.y - r.y == m && r.width == p.width + 2 * m &&
                r.height == p.height + 2 * m)
                return ::testing::AssertionSuccess();
        }
        auto failure = ::testing::AssertionFailure() << "the panel stands at " << p << "; the dock's windows:";
        for (const TopLevel& w : x().windowsOf(dock().pid())) failure << " " << w.clientRect;
        return failure;
    }));
    // Right above the panel the desktop is darker than further up, by a visible step.
    EXPECT_TRUE(waitUntil("the shadow above the panel", [&] {
        const int edge = bandAbovePanel(0, 4), desktop = bandAbovePanel(60, 10);
        if (edge >= 0 && edge + 20 <= desktop) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the band above the panel has brightness " << edge
                                             << ", the desktop further up " << desktop;
    }));

    // A dock whose setting is off casts none.
    startDock();
    ASSERT_TRUE(dock().panelReady());
    EXPECT_TRUE(holdsFor(
        "no shadow above the panel",
        [&] {
            const int edge = bandAbovePanel(0, 4), desktop = bandAbovePanel(60, 10);
            if (edge >= 0 && std::abs(edge - desktop) <= 3) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "the band above the panel has brightness " << edge
                                                 << ", the desktop further up " << desktop;
        },
        500));
}

}  // namespace
}  // namespace qs::journey
