// The dock as a good citizen of the window manager: a window maximised with wmctrl stays
// above a bottom dock (the work area leaves the panel out while "ReserveSpace" is on and
// auto-hide off, and nothing is left reserved once the dock quits); a top dock stands
// below another program's top panel; each window of a three-window client, picked in the
// dock's preview, ends active and on top of the other two; a window moved to another
// desktop is not taken for minimised; a dock that follows the screen in use moves to the
// monitor of the window that becomes active.
//
// The three-window client is this program started again with QS_JOURNEY_CLIENT set: it
// shows that many overlapping windows, each painted in a colour of its own.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <poll.h>
#include <unistd.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

// The colours of the client's windows, window 0 first.
constexpr QRgb kWindowColours[] = {0xffe8b0b0, 0xffb0e8b0, 0xffb0b0e8};

// --- The client -----------------------------------------------------------------------

[[noreturn]] void runClient(int count) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) ::_exit(2);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    auto atom = [&](const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    };
    const xcb_atom_t protocols = atom("WM_PROTOCOLS"), deleteWindow = atom("WM_DELETE_WINDOW");
    const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    const uint32_t pid = uint32_t(::getpid());
    int open = 0;
    for (int i = 0; i < count && i < 3; ++i, ++open) {
        const xcb_window_t w = xcb_generate_id(c);
        const int16_t x = int16_t(300 + 90 * i), y = int16_t(150 + 70 * i);
        const uint32_t values[] = {kWindowColours[i] & 0xffffff, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, x, y, 420, 300, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        // Where it asks to be: a position and size the user gave.
        uint32_t hints[18] = {1 | 2, uint32_t(x), uint32_t(y), 420, 300};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                            hints);
        const std::string title = "journey window " + std::to_string(i);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, uint32_t(title.size()),
                            title.data());
        const char cls[] = "journey-client\0JourneyClient";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof cls, cls);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
        xcb_map_window(c, w);
    }
    xcb_flush(c);
    while (open > 0) {
        xcb_generic_event_t* e = xcb_wait_for_event(c);
        if (!e) break;
        const uint8_t type = e->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            if (m->type == protocols && m->data.data32[0] == deleteWindow) {
                xcb_destroy_window(c, m->window);
                xcb_flush(c);
            }
        } else if (type == XCB_DESTROY_NOTIFY) {
            --open;
        }
        free(e);
    }
    ::_exit(0);
}

const int clientHook = [] {
    if (const char* count = std::getenv("QS_JOURNEY_CLIENT")) runClient(std::atoi(count));
    return 0;
}();

// The command line that starts the client with `count` windows.
std::vector<std::string> clientCommand(int count) {
    (void)clientHook;
    return {"env", "QS_JOURNEY_CLIENT=" + std::to_string(count), std::filesystem::read_symlink("/proc/self/exe").string()};
}

// --- Helpers --------------------------------------------------------------------------

// The window manager's work area of the first desktop: x, y, width, height.
Rect workArea(XSession& x) {
    auto v = x.cardinals(x.root(), "_NET_WORKAREA");
    if (v.size() < 4) return {};
    return {int(v[0]), int(v[1]), int(v[2]), int(v[3])};
}

::testing::AssertionResult workAreaIs(XSession& x, const Rect& wanted) {
    const Rect now = workArea(x);
    if (now == wanted) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the work area is " << now << ", not " << wanted;
}

// Runs a program to its end (its output dropped); answers whether it succeeded.
bool run(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

// --- A bottom dock ----------------------------------------------------------------------

class BottomDockJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock(); }

    // The client's windows, bottom to top.
    std::vector<xcb_window_t> clientWindows(pid_t pid) {
        std::vector<xcb_window_t> out;
        for (const auto& w : x().windowsOf(pid)) out.push_back(w.client);
        return out;
    }
    // Hovers the client's cell afresh and answers where the picture of the window painted
    // `colour` lies in the preview (root coordinates); empty when it shows none.
    Rect pictureIn(int cell, QRgb colour) {
        x().move(parkingSpot());
        EXPECT_TRUE(settle());
        auto preview = hoverUntilPreview(cell);
        if (!preview) return {};
        const QImage shown = steadyPixels(preview->rect);
        const Rect r = boundsOf(shown, [&](QRgb p) { return nearColour(p, colour, 16); });
        return r.empty() ? r : Rect{r.x + preview->rect.x, r.y + preview->rect.y, r.width, r.height};
    }
};

TEST_F(BottomDockJourneys, AMaximisedWindowStaysAboveTheDockWhileItsSpaceIsReserved) {
    if (!run("command -v wmctrl")) GTEST_SKIP() << "wmctrl is not installed";
    auto panel = dock().panel();
    ASSERT_TRUE(panel);
    const Rect screen = x().screen();
    const Rect kept{0, 0, screen.width, panel->rect.y};
    // "ReserveSpace" is on by default: the work area ends where the panel begins.
    ASSERT_TRUE(waitUntil("the work area to leave the panel out", [&] { return workAreaIs(x(), kept); }));

    const pid_t term = clients.start({"xterm", "-geometry", "60x10+100+100"});
    const xcb_window_t window = clients.waitForWindow(term);
    ASSERT_NE(window, xcb_window_t(XCB_WINDOW_NONE));
    char id[16];
    std::snprintf(id, sizeof id, "0x%x", window);
    ASSERT_TRUE(run(std::string("wmctrl -i -r ") + id + " -b add,maximized_vert,maximized_horz"));
    EXPECT_TRUE(waitUntil("the terminal to fill the screen above the panel", [&] {
        auto t = x().topLevelOf(window);
        if (!t) return ::testing::AssertionFailure() << "the terminal has no window";
        if (t->rect.bottom() == panel->rect.y && t->rect.y == 0 && t->rect.width == screen.width)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the terminal is at " << t->rect;
    }));

    // Auto-hide on (Control-Command-H) gives the space back; off again takes it.
    // The maximised terminal grows into it and stays maximised: it is not fitted back
    // beside the panel that is going.
    x().key(XK_h, kControl | kSuper);
    EXPECT_TRUE(waitUntil("the whole screen as work area", [&] { return workAreaIs(x(), screen); }));
    EXPECT_TRUE(waitUntil("the terminal to fill the whole screen, still maximised", [&] {
        auto t = x().topLevelOf(window);
        if (!t) return ::testing::AssertionFailure() << "the terminal has no window";
        const auto state = x().atoms(window, "_NET_WM_STATE");
        const bool maximised =
            std::find(state.begin(), state.end(), "_NET_WM_STATE_MAXIMIZED_VERT") != state.end();
        if (maximised && t->rect.y == 0 && t->rect.bottom() == screen.height) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the terminal is at " << t->rect << (maximised ? "" : ", not maximised");
    }));
    x().key(XK_h, kControl | kSuper);
    EXPECT_TRUE(waitUntil("the panel left out again", [&] { return workAreaIs(x(), kept); }));

    // Nothing stays reserved once the dock has quit; started with "ReserveSpace" off, it
    // reserves nothing; on again, the panel is left out again.
    ASSERT_EQ(dock().stop(), 0);
    EXPECT_TRUE(waitUntil("the whole screen after the dock quit", [&] { return workAreaIs(x(), screen); }));
    ASSERT_TRUE(dock().writeSettings({{"ReserveSpace", Value(false)}}));
    ASSERT_TRUE(dock().resume());
    EXPECT_TRUE(holdsFor("the whole screen as work area", [&] { return workAreaIs(x(), screen); }, 500));
    ASSERT_EQ(dock().stop(), 0);
    ASSERT_TRUE(dock().writeSettings({{"ReserveSpace", Value(true)}}));
    ASSERT_TRUE(dock().resume());
    EXPECT_TRUE(waitUntil("the panel left out", [&] { return workAreaIs(x(), kept); }));
}

TEST_F(BottomDockJourneys, EachWindowPickedInThePreviewEndsActiveAndOnTop) {
    const Launched client = launch(clientCommand(3));
    ASSERT_GE(client.cell, 0);
    ASSERT_TRUE(waitUntil("three windows", [&] { return clientWindows(client.pid).size() == 3; }));
    // Back-most first: every pick changes the order.
    const std::vector<xcb_window_t> start = clientWindows(client.pid);
    for (const xcb_window_t window : start) {
        const std::string title = x().text(window, "WM_NAME");
        const int index = title.back() - '0';
        ASSERT_TRUE(index >= 0 && index < 3) << title;
        const Rect picture = pictureIn(client.cell, kWindowColours[index]);
        ASSERT_FALSE(picture.empty()) << "no picture of " << title << " in the preview; " << screenshot();
        x().click(picture.centre());
        EXPECT_TRUE(waitUntil(title + " active and above the other two", [&] {
            auto order = clientWindows(client.pid);
            if (x().activeWindow() == window && !order.empty() && order.back() == window)
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "active " << x().activeWindow() << ", on top "
                                                 << (order.empty() ? 0u : order.back());
        }));
        EXPECT_TRUE(holdsFor(title + " on top", [&] { return clientWindows(client.pid).back() == window; }, 300));
    }
}

// A window on another desktop is not minimised: a click on its application does not try
// to restore it (which would pull the user there, or make it ask for attention), and
// picked in the preview it is shown where it is: its desktop becomes the current one.
TEST_F(BottomDockJourneys, AWindowOnAnotherDesktopIsNotTakenForMinimised) {
    const auto desktops = x().cardinals(x().root(), "_NET_NUMBER_OF_DESKTOPS");
    if (desktops.empty() || desktops[0] < 2) GTEST_SKIP() << "one desktop only";
    struct BackToTheFirstDesktop {
        XSession& x;
        ~BackToTheFirstDesktop() { x.askWindowManager(x.root(), "_NET_CURRENT_DESKTOP", {0, 0, 0, 0, 0}); }
    } back{x()};
    auto currentDesktop = [&] {
        auto v = x().cardinals(x().root(), "_NET_CURRENT_DESKTOP");
        return v.empty() ? -1 : int(v[0]);
    };
    const Launched client = launch(clientCommand(2));
    ASSERT_GE(client.cell, 0);
    ASSERT_TRUE(waitUntil("two windows", [&] { return clientWindows(client.pid).size() == 2; }));
    xcb_window_t first = XCB_WINDOW_NONE, away = XCB_WINDOW_NONE;
    for (auto w : clientWindows(client.pid)) (x().text(w, "WM_NAME").back() == '0' ? first : away) = w;
    // Both pictured once; then window 1 goes to the second desktop, window 0 is active.
    ASSERT_FALSE(pictureIn(client.cell, kWindowColours[1]).empty()) << screenshot();
    ASSERT_TRUE(settle());
    x().askWindowManager(away, "_NET_WM_DESKTOP", {1, 2, 0, 0, 0});
    ASSERT_TRUE(waitUntil("window 1 on the other desktop", [&] { return !x().isViewable(away); }));
    x().activate(first);
    ASSERT_TRUE(waitUntil("window 0 active", [&] { return x().activeWindow() == first; }));

    x().click(dock().cell(client.cell).centre());
    EXPECT_TRUE(holdsFor("window 1 left where it is", [&] {
        const auto state = x().atoms(away, "_NET_WM_STATE");
        if (currentDesktop() != 0) return ::testing::AssertionFailure() << "the desktop changed";
        if (std::find(state.begin(), state.end(), "_NET_WM_STATE_DEMANDS_ATTENTION") != state.end())
            return ::testing::AssertionFailure() << "window 1 asks for attention: the dock tried to restore it";
        if (x().activeWindow() != first) return ::testing::AssertionFailure() << "window 0 is no longer active";
        return ::testing::AssertionSuccess();
    }, 700));

    const Rect picture = pictureIn(client.cell, kWindowColours[1]);
    ASSERT_FALSE(picture.empty()) << "no picture of window 1 in the preview; " << screenshot();
    x().click(picture.centre());
    EXPECT_TRUE(waitUntil("the other desktop shown with window 1 active",
                          [&] { return currentDesktop() == 1 && x().activeWindow() == away; }));
}

// --- A top dock ---------------------------------------------------------------------------

class TopDockJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock({.settings = {}, .storedFiles = {}, .position = 3}); }
};

TEST_F(TopDockJourneys, ATopDockStandsBelowAnotherTopPanel) {
    if (!run("command -v trayer")) GTEST_SKIP() << "trayer is not installed";
    ASSERT_TRUE(waitUntil("the panel at the top", [&] {
        auto p = dock().panel();
        return p && p->clientRect.y == 0;
    }));
    const pid_t trayer = clients.start({"trayer", "--edge", "top", "--height", "24", "--SetPartialStrut", "true",
                                        "--SetDockType", "true"});
    ASSERT_NE(clients.waitForWindow(trayer), xcb_window_t(XCB_WINDOW_NONE));
    EXPECT_TRUE(waitUntil("the dock below the other panel", [&] {
        auto p = dock().panel();
        if (p && p->clientRect.y == 24) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the panel is at " << (p ? p->clientRect : Rect{});
    }));
    // The work area leaves out both: the other panel and the dock below it. The dock is
    // placed anew when the other panel's space changes, so its panel is looked up each time.
    const Rect screen = x().screen();
    EXPECT_TRUE(waitUntil("the work area below both panels", [&] {
        auto panel = dock().panel();
        if (!panel) return ::testing::AssertionFailure() << "the dock has no panel mapped";
        return workAreaIs(x(), {0, panel->rect.bottom(), screen.width, screen.height - panel->rect.bottom()});
    }));
    clients.end(trayer);
    EXPECT_TRUE(waitUntil("the dock back at the top", [&] {
        auto p = dock().panel();
        return p && p->clientRect.y == 0;
    }));
}

// --- A dock that follows the screen in use --------------------------------------------

class FollowingDockJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock({.settings = {{"displayIndex", Value(int64_t(2))}}, .storedFiles = {}, .position = {}}); }
};

TEST_F(FollowingDockJourneys, TheDockMovesToTheMonitorOfTheActiveWindowWithinHalfASecond) {
    if (!run("command -v xrandr")) GTEST_SKIP() << "xrandr is not installed";
    // Two monitors side by side, as a user's two screens; taken away again at the end.
    struct Monitors {
        bool ok = run("xrandr --setmonitor qs_left 800/211x900/238+0+0 screen") &&
                  run("xrandr --setmonitor qs_right 800/211x900/238+800+0 none");
        ~Monitors() {
            run("xrandr --delmonitor qs_right");
            run("xrandr --delmonitor qs_left");
        }
    } monitors;
    if (!monitors.ok) GTEST_SKIP() << "xrandr cannot make monitors here";
    auto onMonitor = [&](int from, int to) {
        return [this, from, to] {
            auto p = dock().panel();
            if (p && p->clientRect.x >= from && p->clientRect.right() <= to) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "the panel is at " << (p ? p->clientRect : Rect{});
        };
    };
    // The dock starts with no window active and the pointer on the right monitor: it
    // stands there.
    ASSERT_EQ(dock().stop(), 0);
    const uint32_t none = XCB_WINDOW_NONE;
    xcb_change_property(x().connection(), XCB_PROP_MODE_REPLACE, x().root(), x().atom("_NET_ACTIVE_WINDOW"),
                        XCB_ATOM_WINDOW, 32, 1, &none);
    x().move({1200, 450});
    x().sync();
    ASSERT_TRUE(dock().resume());
    ASSERT_TRUE(waitUntil("the dock on the right monitor", onMonitor(800, 1600)));

    // The first window to become active, then each in turn: the dock follows at once.
    const pid_t left = clients.start({"xterm", "-title", "left", "-geometry", "40x8+100+100"});
    const xcb_window_t leftWindow = clients.waitForWindow(left);
    ASSERT_NE(leftWindow, xcb_window_t(XCB_WINDOW_NONE));
    x().activate(leftWindow);
    ASSERT_TRUE(waitUntil("the left terminal active", [&] { return x().activeWindow() == leftWindow; }));
    EXPECT_TRUE(waitUntil("the dock on the left monitor", onMonitor(0, 800), 500));
    const pid_t right = clients.start({"xterm", "-title", "right", "-geometry", "40x8+1000+100"});
    const xcb_window_t rightWindow = clients.waitForWindow(right);
    ASSERT_NE(rightWindow, xcb_window_t(XCB_WINDOW_NONE));
    for (const auto& [window, from, to] : {std::tuple{rightWindow, 800, 1600}, std::tuple{leftWindow, 0, 800}}) {
        x().activate(window);
        ASSERT_TRUE(waitUntil("the window to become active", [&] { return x().activeWindow() == window; }));
        EXPECT_TRUE(waitUntil("the dock on the active window's monitor", onMonitor(from, to), 500));
    }
}

}  // namespace
}  // namespace qs::journey
