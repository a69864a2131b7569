// Against a real X server: run with DISPLAY set (Xvfb, ideally with a window manager).
#include <chrono>
#include <cstdlib>
#include <thread>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Keys.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Notifications.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Hotkeys.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11WorkspaceEvents.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

namespace qs::x11 {
namespace {

constexpr uint64_t kCmdCtrl = NSEventModifierFlagCommand | NSEventModifierFlagControl;

class X11Test : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        // A second client, as another program on the desktop.
        other = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(other));
        symbols = xcb_key_symbols_alloc(other);
    }
    void TearDown() override {
        if (symbols) xcb_key_symbols_free(symbols);
        if (other) xcb_disconnect(other);
    }

    // Pumps X events, Qt events and the main run loop until `done` or the time is up.
    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            env.loop().runPending();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }

    xcb_keycode_t keycodeOf(xcb_keysym_t sym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
        xcb_keycode_t k = codes ? codes[0] : 0;
        free(codes);
        return k;
    }
    void fakeKey(xcb_keycode_t k, bool press) {
        xcb_test_fake_input(other, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, k, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0,
                            0, 0);
    }
    // Presses the keysyms in order and releases them in reverse.
    void chord(std::initializer_list<xcb_keysym_t> syms) {
        std::vector<xcb_keycode_t> codes;
        for (auto s : syms) codes.push_back(keycodeOf(s));
        for (auto k : codes) fakeKey(k, true);
        for (auto it = codes.rbegin(); it != codes.rend(); ++it) fakeKey(*it, false);
        xcb_flush(other);
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
};

TEST_F(X11Test, ConnectionCachesAtomsAndSurvivesListenerRemovalDuringDispatch) {
    xcb_atom_t a = conn->atom("_QS_TEST_ATOM");
    EXPECT_NE(a, XCB_ATOM_NONE);
    EXPECT_EQ(conn->atom("_QS_TEST_ATOM"), a);
    EXPECT_EQ(conn->atom("_NET_ACTIVE_WINDOW"), conn->ewmh()->_NET_ACTIVE_WINDOW);

    // Two listeners; the first removes the second before it is called.
    int first = 0, second = 0;
    int secondId = 0;
    auto isOurs = [&](const xcb_generic_event_t* e) {
        return (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
               reinterpret_cast<const xcb_property_notify_event_t*>(e)->atom == a;
    };
    int firstId = conn->addEventListener([&](const xcb_generic_event_t* e) {
        if (!isOurs(e)) return;
        ++first;
        conn->removeEventListener(secondId);
    });
    secondId = conn->addEventListener([&](const xcb_generic_event_t* e) { second += isOurs(e); });
    uint32_t value = 1;
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, conn->root(), a, XCB_ATOM_CARDINAL, 32, 1, &value);
    xcb_flush(other);
    EXPECT_TRUE(pumpUntil([&] { return first > 0; }));
    EXPECT_EQ(second, 0);
    conn->removeEventListener(firstId);
    xcb_delete_property(other, conn->root(), a);
    xcb_flush(other);
}

TEST_F(X11Test, ScreensAreReportedInMirroredPlatformCoordinates) {
    X11Screens screens(conn);
    auto list = screens.screens();
    ASSERT_FALSE(list.empty());
    const xcb_screen_t* root = conn->screen();
    double height = list[0]->frame().size.height;
    EXPECT_EQ(X11Screens::mirrorHeight(), height);
    // With one output (Xvfb) the screen is the whole root window, its origin at 0, 0.
    if (list.size() == 1) {
        EXPECT_EQ(list[0]->frame(), MakeRect(0, 0, root->width_in_pixels, root->height_in_pixels));
    }
    EXPECT_TRUE(RectContainsRect(list[0]->frame(), list[0]->visibleFrame()));
    EXPECT_EQ(screens.screens()[0], list[0]) << "the same object for the same output";
    EXPECT_EQ(screens.mainScreen() != nullptr, true);

    // A strip at the top of the X screen is at the top of the y-up frame.
    Rect top = X11Screens::platformRectFromX11(10, 0, 100, 20);
    EXPECT_EQ(top, MakeRect(10, height - 20, 100, 20));
    EXPECT_EQ(X11Screens::x11RectFromPlatform(top), MakeRect(10, 0, 100, 20));
}

TEST_F(X11Test, GeometryChangesPostOnceAWorkAreaChangeNever) {
    X11Screens screens(conn);
    QScreen* q = QGuiApplication::primaryScreen();
    ASSERT_TRUE(q);
    int posts = 0;
    NotificationCenter::defaultCenter().addObserver(this, NSApplicationDidChangeScreenParametersNotification, nullptr,
                                                    [&](const Notification&) { ++posts; });
    // A strut (ours included) only moves the work area: no rebuild, or the dock would loop.
    emit q->availableGeometryChanged(q->availableGeometry());
    env.loop().runPending();
    EXPECT_EQ(posts, 0);
    // Several changes in one turn of the loop: one post.
    emit q->geometryChanged(q->geometry());
    emit q->geometryChanged(q->geometry());
    emit qGuiApp->primaryScreenChanged(q);
    EXPECT_EQ(posts, 0) << "posted before the turn ended";
    env.loop().runPending();
    EXPECT_EQ(posts, 1);
    emit q->geometryChanged(q->geometry());
    env.loop().runPending();
    EXPECT_EQ(posts, 2);
    NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(X11Test, ScreenOfAWindowFollowsItsCentre) {
    X11Screens screens(conn);
    auto list = screens.screens();
    ASSERT_FALSE(list.empty());
    xcb_window_t w = xcb_generate_id(other);
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, w, s->root, 20, 30, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      s->root_visual, 0, nullptr);
    // A round trip: the server has made the window before the other connection asks.
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    EXPECT_EQ(screens.screenOfWindow(w), list[0]);
    EXPECT_EQ(screens.screenOfWindow(XCB_WINDOW_NONE), nullptr);
    xcb_destroy_window(other, w);
    xcb_flush(other);
    // A window that is gone answers nothing rather than failing.
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    EXPECT_EQ(screens.screenOfWindow(w), nullptr);
}

TEST_F(X11Test, DesktopSwitchPostsTheSpaceNotification) {
    auto screens = std::make_shared<X11Screens>(conn);
    X11WorkspaceEvents events(conn, screens);
    int spaces = 0;
    NotificationCenter::workspaceCenter().addObserver(this, NSWorkspaceActiveSpaceDidChangeNotification, nullptr,
                                                      [&](const Notification&) { ++spaces; });

    xcb_ewmh_connection_t ewmh;
    ASSERT_TRUE(xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(other, &ewmh), nullptr));
    uint32_t current = 0, count = 1;
    xcb_ewmh_get_current_desktop_reply(&ewmh, xcb_ewmh_get_current_desktop(&ewmh, 0), &current, nullptr);
    xcb_ewmh_get_number_of_desktops_reply(&ewmh, xcb_ewmh_get_number_of_desktops(&ewmh, 0), &count, nullptr);
    xcb_window_t wm = XCB_WINDOW_NONE;
    bool haveWm = xcb_ewmh_get_supporting_wm_check_reply(&ewmh, xcb_ewmh_get_supporting_wm_check(&ewmh, conn->root()),
                                                         &wm, nullptr);
    uint32_t target = current == 0 ? 1 : 0;
    if (haveWm && count >= 2) {
        xcb_ewmh_request_change_current_desktop(&ewmh, 0, target, XCB_CURRENT_TIME);
    } else {
        xcb_ewmh_set_current_desktop(&ewmh, 0, target);  // no window manager: write it ourselves
    }
    xcb_flush(other);
    EXPECT_TRUE(pumpUntil([&] { return spaces > 0; })) << "no space notification";
    EXPECT_EQ(spaces, 1);

    // Writing the same desktop again is not a switch.
    xcb_ewmh_set_current_desktop(&ewmh, 0, target);
    xcb_flush(other);
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(spaces, 1);

    // Back where we were.
    if (haveWm && count >= 2)
        xcb_ewmh_request_change_current_desktop(&ewmh, 0, current, XCB_CURRENT_TIME);
    else
        xcb_ewmh_set_current_desktop(&ewmh, 0, current);
    xcb_flush(other);
    pumpUntil([&] { return spaces > 1; }, 1000);
    NotificationCenter::workspaceCenter().removeObserver(this);
    xcb_ewmh_connection_wipe(&ewmh);
}

// The screen in use (where a panel that follows it stands) changes as soon as a window on
// another monitor becomes active, the first time too; with no active window (the desktop
// clicked) it is the pointer's monitor.
TEST_F(X11Test, TheScreenInUseFollowsTheActiveWindowAcrossMonitors) {
    fixture::TwoMonitors monitors;
    if (!monitors.ok) GTEST_SKIP() << "xrandr cannot make monitors here";
    ASSERT_TRUE(pumpUntil([] { return QGuiApplication::screens().size() == 2; }));
    xcb_ewmh_connection_t ewmh;
    ASSERT_TRUE(xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(other, &ewmh), nullptr));
    auto activeWindow = [&] {
        xcb_window_t w = XCB_WINDOW_NONE;
        xcb_ewmh_get_active_window_reply(&ewmh, xcb_ewmh_get_active_window(&ewmh, 0), &w, nullptr);
        return w;
    };
    // Nothing active, the pointer on the right monitor: the screen in use is the right one.
    fixture::fakeMotion(other, 1200, 450, conn->root());
    xcb_ewmh_set_active_window(&ewmh, 0, XCB_WINDOW_NONE);
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == XCB_WINDOW_NONE; }));
    auto screens = std::make_shared<X11Screens>(conn);
    ASSERT_TRUE(screens->mainScreen());
    EXPECT_EQ(screens->mainScreen()->frame().origin.x, 800);
    X11WorkspaceEvents events(conn, screens);
    std::vector<double> moves;
    NotificationCenter::workspaceCenter().addObserver(this, NSWorkspaceActiveDisplayDidChangeNotification, nullptr,
                                                      [&](const Notification&) {
                                                          moves.push_back(screens->mainScreen()->frame().origin.x);
                                                      });

    // A window on the left monitor (placed where it asks: a user-given position) is made
    // active.
    xcb_window_t w = xcb_generate_id(other);
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, w, s->root, 100, 100, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      s->root_visual, 0, nullptr);
    uint32_t hints[18] = {1 | 2, 100, 100, 200, 100};  // USPosition | USSize
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                        hints);
    xcb_map_window(other, w);
    xcb_flush(other);
    ASSERT_TRUE(pumpUntil([&] {
        if (activeWindow() == w) return true;
        xcb_ewmh_request_change_active_window(&ewmh, 0, w, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                              XCB_WINDOW_NONE);
        xcb_flush(other);
        return false;
    }));
    EXPECT_TRUE(pumpUntil([&] { return moves.size() == 1; }, 500)) << "not told within 0.5 s";
    EXPECT_EQ(moves, std::vector<double>{0});

    // The desktop clicked: no active window; the pointer is still on the right monitor.
    xcb_ewmh_set_active_window(&ewmh, 0, XCB_WINDOW_NONE);
    xcb_flush(other);
    EXPECT_TRUE(pumpUntil([&] { return moves.size() == 2; }, 500)) << "not told within 0.5 s";
    EXPECT_EQ(moves.back(), 800);
    NotificationCenter::workspaceCenter().removeObserver(this);
    xcb_destroy_window(other, w);
    xcb_flush(other);
    xcb_ewmh_connection_wipe(&ewmh);
}

TEST_F(X11Test, TheToolkitStopsHearingRootPropertiesAndKeepsItsOtherRootEvents) {
    auto* native = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!native || !native->connection()) GTEST_SKIP() << "the toolkit does not draw on X here";
    xcb_connection_t* qt = native->connection();
    const xcb_window_t root = conn->root();
    auto maskOf = [&] {
        auto* a = xcb_get_window_attributes_reply(qt, xcb_get_window_attributes(qt, root), nullptr);
        uint32_t mask = a ? a->your_event_mask : 0;
        free(a);
        return mask;
    };
    const uint32_t before = maskOf();
    ASSERT_TRUE(before & XCB_EVENT_MASK_PROPERTY_CHANGE) << "the toolkit listens to root properties to begin with";
    quietToolkitRootProperties();
    EXPECT_EQ(maskOf(), before & ~uint32_t(XCB_EVENT_MASK_PROPERTY_CHANGE));
    quietToolkitRootProperties();  // a second call changes nothing
    EXPECT_EQ(maskOf(), before & ~uint32_t(XCB_EVENT_MASK_PROPERTY_CHANGE));
    // Our own connection still hears them.
    bool heard = false;
    int listener = conn->addEventListener([&](const xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<const xcb_property_notify_event_t*>(e)->window == root)
            heard = true;
    });
    xcb_atom_t probe = conn->atom("_QUAYSIDE_TEST_PROBE");
    uint32_t one = 1;
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, root, probe, XCB_ATOM_CARDINAL, 32, 1, &one);
    xcb_flush(other);
    EXPECT_TRUE(pumpUntil([&] { return heard; }));
    conn->removeEventListener(listener);
    xcb_delete_property(other, root, probe);
    xcb_change_window_attributes(qt, root, XCB_CW_EVENT_MASK, &before);  // for the tests that follow
    xcb_flush(qt);
    xcb_flush(other);
}

TEST_F(X11Test, GrabbedHotkeyFiresOnceEvenWithCapsLockOn) {
    X11Hotkeys hotkeys(conn);
    int presses = 0;
    int id = hotkeys.registerHotkey(kVK_ANSI_H, kCmdCtrl, [&] { ++presses; });
    ASSERT_GE(id, 0);

    chord({XK_Super_L, XK_Control_L, XK_h});
    EXPECT_TRUE(pumpUntil([&] { return presses == 1; }));
    // Control+H alone is not the shortcut.
    chord({XK_Control_L, XK_h});
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(presses, 1);

    // Caps Lock on (a toggle): the shortcut still works.
    chord({XK_Caps_Lock});
    chord({XK_Super_L, XK_Control_L, XK_h});
    EXPECT_TRUE(pumpUntil([&] { return presses == 2; }));
    chord({XK_Caps_Lock});

    hotkeys.unregisterHotkey(id);
    chord({XK_Super_L, XK_Control_L, XK_h});
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(presses, 2);
}

TEST_F(X11Test, CombinationHeldByAnotherClientAnswersMinusOne) {
    xcb_keycode_t h = keycodeOf(XK_h);
    ASSERT_NE(h, 0);
    xcb_void_cookie_t cookie = xcb_grab_key_checked(other, 1, conn->root(), XCB_MOD_MASK_4 | XCB_MOD_MASK_CONTROL, h,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    ASSERT_EQ(xcb_request_check(other, cookie), nullptr);

    X11Hotkeys hotkeys(conn);
    EXPECT_EQ(hotkeys.registerHotkey(kVK_ANSI_H, kCmdCtrl, [] {}), -1);
    EXPECT_TRUE(env.logged("taken by another program"));

    // The variants that were granted (with Caps Lock, Num Lock) were given back.
    xcb_void_cookie_t lockVariant = xcb_grab_key_checked(other, 1, conn->root(),
                                                         XCB_MOD_MASK_4 | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK, h,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(other, lockVariant);
    EXPECT_EQ(error, nullptr) << "our half grab was left behind";
    free(error);
    xcb_ungrab_key(other, h, conn->root(), XCB_MOD_MASK_4 | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK);

    // Another combination is still free; once the other client lets go, ours succeeds.
    EXPECT_GE(hotkeys.registerHotkey(kVK_ANSI_J, kCmdCtrl, [] {}), 0);
    xcb_ungrab_key(other, h, conn->root(), XCB_MOD_MASK_4 | XCB_MOD_MASK_CONTROL);
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    EXPECT_GE(hotkeys.registerHotkey(kVK_ANSI_H, kCmdCtrl, [] {}), 0);
}

TEST_F(X11Test, BackendFillsTheServicesAndRefusesAnUnreachableDisplay) {
    ASSERT_TRUE(installX11Backend());
    EXPECT_TRUE(desktop::services().screens);
    EXPECT_TRUE(desktop::services().hotkeys);
    EXPECT_FALSE(Screen::screens().empty());
    uninstallX11Backend();
    EXPECT_FALSE(desktop::services().screens);

    std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":987", 1);
    bool installed = installX11Backend();
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_FALSE(installed);
    EXPECT_TRUE(env.logged("cannot connect to display"));
    EXPECT_FALSE(desktop::services().hotkeys);
}

TEST(X11KeyMapping, AnsiKeyCodesAndModifiersMapToX) {
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(kVK_ANSI_H), uint32_t(XK_h));
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(kVK_ANSI_A), uint32_t(XK_a));
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(kVK_ANSI_0), uint32_t(XK_0));
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(kVK_F12), uint32_t(XK_F12));
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(kVK_Delete), uint32_t(XK_BackSpace));
    EXPECT_EQ(X11Hotkeys::keysymForKeyCode(0x0A), 0u);  // no key on the ANSI layout
    EXPECT_EQ(X11Hotkeys::modifierMaskForFlags(0x140000), XCB_MOD_MASK_4 | XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(X11Hotkeys::modifierMaskForFlags(NSEventModifierFlagOption | NSEventModifierFlagShift),
              XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT);
}

}  // namespace
}  // namespace qs::x11
