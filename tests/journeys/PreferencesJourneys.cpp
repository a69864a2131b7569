// The dock's settings as a person changes them in its preferences window, opened from a
// cell's menu ("Quayside" > "Quayside Preferences"): dragging the icon-size slider
// resizes the dock while the button is still held, with the size shown beside the
// slider; and once the dock stands along the left edge, a running application's mark
// sits beside its icon on the side of that edge, not between two icons.

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

// The style's highlight blue: the filled part of a slider's groove, a focus frame.
bool isHighlight(QRgb p) { return qBlue(p) > 150 && qRed(p) < 120 && qBlue(p) > qGreen(p) + 20; }

// The filled part of the slider's groove in a window's pixels: the band of at least three
// rows that each hold a run of 30 or more highlight pixels (a focus frame's lines are
// thinner); empty when there is none.
Rect sliderFill(const QImage& image) {
    auto longestRun = [&](int y, int& from) {
        int best = 0, run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = isHighlight(image.pixel(x, y)) ? run + 1 : 0;
            if (run > best) best = run, from = x - run + 1;
        }
        return best;
    };
    for (int y = 0; y < image.height(); ++y) {
        int rows = 0, left = image.width(), right = 0;
        while (y + rows < image.height()) {
            int start = 0;
            const int run = longestRun(y + rows, start);
            if (run < 30) break;
            left = std::min(left, start);
            right = std::max(right, start + run);
            ++rows;
        }
        if (rows >= 3) return {left, y, right - left, rows};
        y += rows;
    }
    return {};
}

class PreferencesJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock(); }
    // The preferences window is closed as its close button closes it.
    void TearDown() override {
        if (XSession::shared() && dock().running())
            if (auto w = preferences()) {
                x().askWindowManager(w->client, "_NET_CLOSE_WINDOW", {0, 2, 0, 0, 0});
                EXPECT_TRUE(waitUntil("the preferences window to close", [&] { return !preferences(); }));
            }
        JourneyTest::TearDown();
    }

    int trashCell() { return dock().cellCount() - 1; }

    // The preferences window of the dock, when it is mapped.
    std::optional<TopLevel> preferences() {
        for (const auto& w : dock().windows())
            if (!w.overrideRedirect && x().text(w.client, "_NET_WM_NAME") == "Preferences") return w;
        return std::nullopt;
    }

    // Opens the preferences from the trash's menu with the keyboard: the last row
    // ("Quayside"), its submenu, its second entry ("Quayside Preferences").
    std::optional<TopLevel> openPreferences() {
        x().click(dock().cell(trashCell()).centre(), 3);
        x().move(parkingSpot());  // the keyboard chooses; the pointer stays out of the way
        // The menu: a pop-up of several rows (the trash's name may flash up beside it).
        std::optional<TopLevel> menu;
        auto opened = waitUntil("the trash's menu", [&] {
            for (const auto& w : dock().popups())
                if (w.rect.height >= 50) menu = w;
            return menu.has_value();
        });
        if (!opened) {
            ADD_FAILURE() << opened.message();
            return std::nullopt;
        }
        steadyPixels(menu->rect);
        x().key(XK_Up);
        x().key(XK_Right);
        auto submenu = waitUntil("the submenu beside the menu", [&] {
            for (const auto& w : dock().popups())
                if (w.window != menu->window && w.rect.right() > menu->rect.right()) return true;
            return false;
        });
        if (!submenu) {
            ADD_FAILURE() << submenu.message();
            return std::nullopt;
        }
        x().key(XK_Down);
        x().key(XK_Return);
        std::optional<TopLevel> window;
        auto shown = waitUntil("the preferences window to map and take the focus", [&] {
            window = preferences();
            return window && x().activeWindow() == window->client &&
                   distinctColours(x().grab(window->clientRect), 8) >= 3;
        });
        if (!shown) {
            ADD_FAILURE() << shown.message();
            return std::nullopt;
        }
        steadyPixels(window->clientRect);
        return window;
    }

    // The handle of the General pane's icon-size slider: the right end of the groove's
    // filled part (the delay's slider is disabled while the dock does not hide). None,
    // with a failure, when the pane shows no such slider.
    std::optional<Point> iconSizeHandle(const TopLevel& window) {
        const Rect client = window.clientRect;
        const Rect fill = sliderFill(steadyPixels(client));
        if (fill.empty()) {
            ADD_FAILURE() << "no slider groove in the preferences window; " << screenshot();
            return std::nullopt;
        }
        return Point{client.x + fill.right() + 5, client.y + fill.y + fill.height / 2};
    }

    // Chooses an entry of the General pane's "Position on screen": a click opens its
    // list, Home goes to the first entry ("Left"), each Down to the next one, Return
    // takes it. The control is found in the column of the icon-size slider, the second
    // box above it (the first is "Alignment"): a box's top and bottom edges are rows of
    // 40 border pixels in a row where the column starts (text never is).
    void choosePosition(const TopLevel& window, int downs) {
        auto handle = iconSizeHandle(window);
        if (!handle) return;
        const Rect client = window.clientRect;
        const QImage pixels = x().grab(client);
        const int column = sliderFill(pixels).x;
        auto isEdge = [&](int y) {
            for (int dx = 4; dx < 44; ++dx)
                if (luma(pixels.pixel(column + dx, y)) >= 215) return false;
            return true;
        };
        std::vector<int> edges;  // bottom up, one row each
        for (int y = handle->y - client.y - 8; y >= 0; --y)
            if (isEdge(y) && (edges.empty() || edges.back() > y + 1)) edges.push_back(y);
        if (edges.size() < 4) {
            ADD_FAILURE() << "the boxes above the slider were not found (" << edges.size() << " edges); "
                          << screenshot();
            return;
        }
        const Point box{client.x + column + 24, client.y + (edges[2] + edges[3]) / 2};
        const auto before = dock().popups();
        x().click(box);
        auto list = waitForPopup(before);
        if (!list) return;
        x().key(XK_Home);
        for (int i = 0; i < downs; ++i) x().key(XK_Down);
        x().key(XK_Return);
        EXPECT_TRUE(waitUntil("the list to close", [&] { return !x().isViewable(list->window); }));
    }
};

TEST_F(PreferencesJourneys, DraggingTheIconSizeSliderResizesTheDockWhileTheButtonIsHeld) {
    const int thickness = dock().panel()->clientRect.height;
    auto window = openPreferences();
    ASSERT_TRUE(window);
    // The General pane shows first.
    const Rect client = window->clientRect;
    const auto found = iconSizeHandle(*window);
    ASSERT_TRUE(found);
    const Point handle = *found;
    const int row = handle.y;
    // Right of where the handle will be let go only the size beside the slider can
    // change.
    const int step = 8, steps = 10;
    const Rect beside{handle.x + step * steps + 16, row - 12, client.right() - (handle.x + step * steps + 16), 24};
    const QImage valueBefore = x().grab(beside);

    x().move(handle);
    x().press(1);
    for (int i = 1; i <= steps; ++i) x().move({handle.x + i * step, row});
    // Still held: the dock has grown and the value beside the slider has changed.
    EXPECT_TRUE(waitUntil("the dock to grow while the slider is held", [&] {
        auto panel = dock().panel();
        if (!panel) return ::testing::AssertionFailure() << "no panel";
        return detail::asResult(panel->clientRect.height > thickness)
               << "the panel is " << panel->clientRect.height << " high, as before (" << thickness << ")";
    }));
    EXPECT_TRUE(waitUntil("the size beside the slider to follow", [&] {
        return differingPixels(valueBefore, x().grab(beside)) > 20;
    }));
    const int held = dock().panel()->clientRect.height;
    x().release(1);
    // Let go: the size stays, and the dock keeps standing along the bottom edge.
    EXPECT_TRUE(holdsFor("the size to stay after the release", [&] {
        auto panel = dock().panel();
        return panel && panel->clientRect.height >= held && panel->clientRect.bottom() == x().screen().height;
    }, 500));
}

TEST_F(PreferencesJourneys, OnALeftDockARunningApplicationsMarkSitsBesideItsIconAtTheEdge) {
    const Launched term = launch({"xterm", "-bg", "#ffe8c8", "-fg", "black", "-geometry", "40x8+700+150"});
    ASSERT_GE(term.cell, 0);
    const int trash = trashCell();

    // The mark of a cell: pixels far from the cell's most common colour (the panel's) in
    // a strip of the cell. `strip` is in the cell's coordinates.
    auto markIn = [&](int cell, auto strip) {
        const Rect r = dock().cell(cell);
        const QImage pixels = steadyPixels(r);
        std::map<QRgb, int> counts;
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x) ++counts[pixels.pixel(x, y) & 0xffffff];
        const QRgb panel = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                               return a.second < b.second;
                           })->first;
        return countPixels(pixels, [&](QRgb p) { return std::abs(luma(p) - luma(panel)) > 80; }, strip(r.width));
    };
    // Along the cell's outer edge at the left, and along its bottom (the corners left out).
    auto leftStrip = [](int side) { return Rect{0, 8, 7, side - 16}; };
    auto bottomStrip = [](int side) { return Rect{8, side - 7, side - 16, 7}; };

    // A bottom dock: the mark is under the icon.
    EXPECT_GT(markIn(term.cell, bottomStrip), 10) << screenshot();
    EXPECT_EQ(markIn(trash, bottomStrip), 0) << "the trash does not run; " << screenshot();

    // "Position on screen": "Left".
    auto window = openPreferences();
    ASSERT_TRUE(window);
    choosePosition(*window, 0);
    ASSERT_TRUE(waitUntil("the dock to stand along the left edge", [&] {
        auto panel = dock().panel();
        return panel && panel->clientRect.x == 0 && panel->clientRect.height > panel->clientRect.width &&
               dock().panelReady(trash + 1);
    }));
    x().askWindowManager(window->client, "_NET_CLOSE_WINDOW", {0, 2, 0, 0, 0});
    ASSERT_TRUE(waitUntil("the preferences window to close", [&] { return !preferences(); }));

    // A left dock: the mark stands at the left of the application's cell, beside its icon
    // on the side of the screen edge; nothing lies between its icon and the next one.
    EXPECT_GT(markIn(term.cell, leftStrip), 10) << screenshot();
    EXPECT_EQ(markIn(term.cell, bottomStrip), 0) << "a mark between two icons; " << screenshot();
    EXPECT_EQ(markIn(trash, leftStrip), 0) << screenshot();

    // Back to the bottom for the journeys after this one.
    window = openPreferences();
    ASSERT_TRUE(window);
    choosePosition(*window, 1);
    EXPECT_TRUE(waitUntil("the dock to stand along the bottom edge again", [&] {
        auto panel = dock().panel();
        return panel && panel->clientRect.bottom() == x().screen().height &&
               panel->clientRect.width > panel->clientRect.height;
    }));
}

}  // namespace
}  // namespace qs::journey
