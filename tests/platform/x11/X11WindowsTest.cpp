// Other applications' windows on a real X server with a window manager (Xvfb and
// openbox) and real clients (xterm, xeyes, xclock). Skipped without DISPLAY.
#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"

namespace qs::x11 {
namespace {

class X11WindowsTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(false); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        desktop::Services s;
        s.screens = std::make_shared<X11Screens>(conn);
        addWindowServices(s, conn);
        windows = std::static_pointer_cast<X11WindowServer>(s.windowServer);
        workspace = std::static_pointer_cast<X11Workspace>(s.workspace);
        accessibility = std::static_pointer_cast<X11Accessibility>(s.accessibility);
        s.events = std::make_shared<X11Events>(conn);
        desktop::install(s);
        if (!SIUniversalAccessHelper::isAccessibilityTrusted()) GTEST_SKIP() << "no EWMH window manager";
    }
    void TearDown() override {
        fixture::killChildren(children);
        desktop::install({});
    }

    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); }, done, ms, 10);
    }

    pid_t spawn(std::vector<std::string> argv) { return fixture::spawnChild(children, std::move(argv)); }

    // The first window of the process, once the window manager manages it.
    std::shared_ptr<SIWindow> windowOf(pid_t pid) {
        std::shared_ptr<SIWindow> found;
        pumpUntil([&] {
            auto app = SIApplication::applicationWithProcessIdentifier(pid);
            auto& list = app->windows();
            if (!list.empty() && !RectIsNull(list[0]->frame()) && list[0]->frame().size.width > 1) found = list[0];
            return found != nullptr;
        });
        return found;
    }

    std::shared_ptr<XConnection> conn;
    std::shared_ptr<X11WindowServer> windows;
    std::shared_ptr<X11Workspace> workspace;
    std::shared_ptr<X11Accessibility> accessibility;
    std::vector<pid_t> children;
};

TEST_F(X11WindowsTest, WindowsAreListedWithTheirOwnerAndTitle) {
    pid_t clock = spawn({"xclock", "-title", "quayside clock", "-geometry", "200x200+50+60"});
    pid_t term = spawn({"xterm", "-title", "quayside term", "-geometry", "60x10+300+60"});
    auto clockWindow = windowOf(clock);
    auto termWindow = windowOf(term);
    ASSERT_NE(clockWindow, nullptr);
    ASSERT_NE(termWindow, nullptr);
    EXPECT_EQ(clockWindow->title(), "quayside clock");
    EXPECT_EQ(clockWindow->processIdentifier(), clock);
    EXPECT_TRUE(clockWindow->isNormalWindow());
    EXPECT_TRUE(clockWindow->isNotDead());
    EXPECT_TRUE(clockWindow->isOnScreen());

    ASSERT_TRUE(pumpUntil([&] { return RunningApplication::runningApplicationWithProcessIdentifier(term) != nullptr; }));
    auto xterm = RunningApplication::runningApplicationWithProcessIdentifier(term);
    EXPECT_EQ(xterm->className(), "NSRunningApplication");
    EXPECT_EQ(xterm->bundleIdentifier(), "debian-xterm");  // StartupWMClass=XTerm
    EXPECT_EQ(xterm->localizedName(), "XTerm");
    ASSERT_NE(xterm->bundleURL(), nullptr);
    auto xclock = RunningApplication::runningApplicationWithProcessIdentifier(clock);
    ASSERT_NE(xclock, nullptr);
    EXPECT_EQ(xclock->localizedName(), "XClock");  // no entry: named after WM_CLASS
    EXPECT_EQ(xclock->bundleURL(), nullptr);

    bool listed = false;
    for (auto& w : SIWindow::allWindows()) listed = listed || w->win_id() == clockWindow->win_id();
    EXPECT_TRUE(listed);
    // Outer frames: the decorations are included.
    Rect frame = termWindow->frame();
    EXPECT_GT(frame.size.width, 0);
    EXPECT_LE(frame.origin.y, 60);
    EXPECT_TRUE(RunningApplication::runningApplicationsWithBundleIdentifier("com.apple.dock").empty());
}

TEST_F(X11WindowsTest, AWindowIsFocusedMovedResizedMinimisedAndRestored) {
    pid_t term = spawn({"xterm", "-geometry", "60x10+40+40"});
    pid_t eyes = spawn({"xeyes", "-geometry", "150x100+600+300"});
    auto termWindow = windowOf(term);
    auto eyesWindow = windowOf(eyes);
    ASSERT_NE(termWindow, nullptr);
    ASSERT_NE(eyesWindow, nullptr);
    // Focusing goes through the window's running application: wait until it is known.
    ASSERT_TRUE(pumpUntil([&] { return RunningApplication::runningApplicationWithProcessIdentifier(term) != nullptr; }));

    EXPECT_TRUE(termWindow->focusWindow());
    EXPECT_TRUE(pumpUntil([&] { return windows->activeWindow() == termWindow->win_id(); }));
    EXPECT_TRUE(pumpUntil([&] {
        auto f = SIWindow::focusedWindow();
        return f && f->win_id() == termWindow->win_id();
    }));

    Rect target = MakeRect(200, 150, 500, 300);
    termWindow->setFrame(target);
    EXPECT_TRUE(pumpUntil([&] { return termWindow->frame().origin == target.origin; }))
        << termWindow->frame();
    // xterm sizes itself by character cells: within a cell of the request.
    Rect now = termWindow->frame();
    EXPECT_NEAR(now.size.width, 500, 20);
    EXPECT_NEAR(now.size.height, 300, 25);

    EXPECT_TRUE(eyesWindow->minimize());
    EXPECT_TRUE(pumpUntil([&] { return eyesWindow->isWindowMinimized(); }));
    EXPECT_FALSE(eyesWindow->isOnScreen());
    EXPECT_EQ(windows->captureWindow(eyesWindow->win_id()), nullptr);  // unmapped: no picture
    eyesWindow->unMinimize();
    EXPECT_TRUE(pumpUntil([&] { return !eyesWindow->isWindowMinimized(); }));
    EXPECT_TRUE(pumpUntil([&] { return eyesWindow->isOnScreen(); }));
}

TEST_F(X11WindowsTest, AWindowMovesToAnotherDesktop) {
    if (windows->numberOfSpaces() < 2) GTEST_SKIP() << "one desktop only";
    pid_t clock = spawn({"xclock", "-geometry", "120x120+100+100"});
    auto w = windowOf(clock);
    ASSERT_NE(w, nullptr);
    w->moveToSpace(2);
    EXPECT_TRUE(pumpUntil([&] {
        auto c = windows->client(w->win_id());
        return c && c->desktop == 1;
    }));
    EXPECT_TRUE(pumpUntil([&] { return !w->isOnScreen(); }));
    EXPECT_TRUE(w->isNotDead());
}

// openbox keeps the windows of other desktops iconic: they are not minimised, and
// activating one switches to its desktop.
TEST_F(X11WindowsTest, AWindowOnAnotherDesktopIsNotMinimised) {
    if (windows->numberOfSpaces() < 2) GTEST_SKIP() << "one desktop only";
    const int home = windows->currentSpace();
    // The desktop the test began on is the current one again at its end.
    struct Guard {
        std::function<void()> run;
        ~Guard() { run(); }
    } back{[&] {
        xcb_ewmh_request_change_current_desktop(conn->ewmh(), conn->screenNumber(), uint32_t(home), XCB_CURRENT_TIME);
        conn->flush();
        pumpUntil([&] { return windows->currentSpace() == home; });
    }};
    // xterm takes the focus (xclock does not, so it never becomes the active window).
    pid_t away = spawn({"xterm", "-geometry", "30x5+100+100"});
    pid_t small = spawn({"xclock", "-geometry", "120x120+300+100"});
    auto awayWindow = windowOf(away), smallWindow = windowOf(small);
    ASSERT_NE(awayWindow, nullptr);
    ASSERT_NE(smallWindow, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return RunningApplication::runningApplicationWithProcessIdentifier(away) != nullptr; }));
    const int other = home == 0 ? 1 : 0;
    ASSERT_TRUE(windows->moveWindowToSpace(awayWindow->win_id(), other));
    smallWindow->minimize();
    ASSERT_TRUE(pumpUntil([&] {
        auto c = windows->client(awayWindow->win_id());
        return c && c->desktop == other && !c->viewable && smallWindow->isWindowMinimized();
    }));
    EXPECT_FALSE(awayWindow->isWindowMinimized());
    EXPECT_FALSE(awayWindow->isOnScreen());
    EXPECT_TRUE(smallWindow->isWindowMinimized());

    EXPECT_TRUE(awayWindow->focusWindow());
    EXPECT_TRUE(pumpUntil([&] { return windows->currentSpace() == other; }));
    EXPECT_TRUE(pumpUntil([&] { return windows->activeWindow() == awayWindow->win_id(); }));
    EXPECT_FALSE(awayWindow->isWindowMinimized());
}

// Each window of a client with three, focused in turn as the dock does it (a preview
// click), ends active and above the other two.
TEST_F(X11WindowsTest, FocusingEachWindowOfAThreeWindowClientLeavesItOnTop) {
    pid_t client = fixture::spawnChild(children, {"/proc/self/exe"}, "3 0 0 0");
    std::vector<std::shared_ptr<SIWindow>> three;
    ASSERT_TRUE(pumpUntil([&] {
        auto app = SIApplication::applicationWithProcessIdentifier(client);
        three = app ? app->windows() : std::vector<std::shared_ptr<SIWindow>>{};
        return three.size() == 3 && RunningApplication::runningApplicationWithProcessIdentifier(client);
    }));
    // The client's windows, front to back, as the window manager stacks them.
    auto stacked = [&] {
        auto list = fixture::cardinals(conn->connection(), conn->root(), conn->atom("_NET_CLIENT_LIST_STACKING"),
                                       XCB_ATOM_WINDOW, 4096);
        std::vector<uint32_t> own;
        for (auto it = list.rbegin(); it != list.rend(); ++it)
            for (auto& w : three)
                if (w->win_id() == *it) own.push_back(*it);
        return own;
    };
    // Back-most first, so that every step changes the order.
    std::vector<uint32_t> order = stacked();
    ASSERT_EQ(order.size(), 3u);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const uint32_t id = *it;
        auto window = *std::find_if(three.begin(), three.end(), [&](auto& w) { return w->win_id() == id; });
        window->activateWindow();
        EXPECT_TRUE(pumpUntil([&] { return windows->activeWindow() == id && stacked().front() == id; }))
            << "window " << id << ": active " << windows->activeWindow() << ", front " << stacked().front();
        // And it stays so once everything has settled.
        fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); }, [] { return false; }, 150, 10);
        EXPECT_EQ(stacked().front(), id);
    }
}

TEST_F(X11WindowsTest, AWindowThatVanishesWhileBeingFocusedAnswersNo) {
    pid_t clock = spawn({"xclock", "-geometry", "120x120+500+100"});
    auto window = windowOf(clock);
    ASSERT_NE(window, nullptr);
    ::kill(clock, SIGKILL);
    ::waitpid(clock, nullptr, 0);
    children.clear();
    // The server has destroyed the window before the dock next reads its events.
    xcb_connection_t* c = conn->connection();
    while (auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window->win_id()), nullptr)) {
        free(g);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(window->focusWindow());
    EXPECT_TRUE(env.logged("could not be focused"));
}

// A window maximised by the window manager takes the frame the dock gives it (the dock
// restores it first: window managers keep maximised windows where they are).
TEST_F(X11WindowsTest, AMaximisedWindowTakesTheFrameItIsGiven) {
    if (!fixture::onPath("wmctrl")) GTEST_SKIP() << "wmctrl is not installed";
    pid_t term = spawn({"xterm", "-geometry", "60x10+40+40"});
    auto window = windowOf(term);
    ASSERT_NE(window, nullptr);
    char id[16];
    std::snprintf(id, sizeof id, "0x%x", window->win_id());
    ASSERT_EQ(fixture::runProgram({"wmctrl", "-i", "-r", id, "-b", "add,maximized_vert,maximized_horz"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return window->frame().size.width >= 1000; })) << window->frame();
    Rect target = MakeRect(100, 120, 600, 400);
    window->setFrame(target);
    EXPECT_TRUE(pumpUntil([&] {
        Rect f = window->frame();
        return f.origin == target.origin && std::abs(f.size.width - 600) < 20 && std::abs(f.size.height - 400) < 25;
    })) << window->frame();
    auto c = windows->client(window->win_id());
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->maximizedVert || c->maximizedHorz);
}

// The server hands a destroyed window's id out again: the window under the old id is
// told gone and the new one made (in the application its class names), and the new
// one's changes are heard. The windows belong to a child process (this program's own
// windows are an application of their own, whatever their class); it takes one step
// each time it is told to.
TEST_F(X11WindowsTest, AWindowIdTakenAgainIsANewWindow) {
    std::vector<X11Change> told;
    int listener = windows->addChangeListener([&](const X11Change& change) { told.push_back(change); });
    int go[2], done[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(go[1]);
        ::close(done[0]);
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) ::_exit(1);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t id = xcb_generate_id(c);
        auto intern = [&](const char* name) {
            auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
            xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
            free(r);
            return atom;
        };
        const xcb_atom_t frameExtents = intern("_NET_FRAME_EXTENTS");
        auto title = [&](const std::string& name) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                uint32_t(name.size()), name.data());
            xcb_flush(c);
        };
        // Two classes: two applications.
        auto make = [&](const std::string& name) {
            xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen->root, 50, 50, 200, 100, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const std::string cls = name + '\0' + name + '\0';
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                                uint32_t(cls.size()), cls.data());
            title(name);
            xcb_map_window(c, id);
            xcb_flush(c);
        };
        auto managed = [&] {
            auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, id, frameExtents, XCB_ATOM_CARDINAL, 0, 4),
                                             nullptr);
            bool yes = r && xcb_get_property_value_length(r) > 0;
            free(r);
            return yes;
        };
        auto step = [&] {
            char byte;
            return ::read(go[0], &byte, 1) == 1;
        };
        auto answer = [&] { [[maybe_unused]] auto n = ::write(done[1], "x", 1); };
        make("qs-first");
        answer();
        if (!step()) ::_exit(0);
        // Gone and made again under the same id; the window manager manages the new one
        // before the dock looks.
        xcb_destroy_window(c, id);
        make("qs-second");
        for (int i = 0; i < kWaitMs / 5 && !managed(); ++i) ::usleep(5000);
        answer();
        if (!step()) ::_exit(0);
        title("second, retitled");
        answer();
        step();
        ::_exit(0);
    }
    ::close(go[0]);
    ::close(done[1]);
    auto next = [&](bool answerToo = true) {
        if (answerToo) {
            [[maybe_unused]] auto n = ::write(go[1], "x", 1);
        }
        char byte;
        return ::read(done[0], &byte, 1) == 1;
    };
    auto toldOf = [&](X11Change::Kind kind, xcb_window_t window) -> std::optional<desktop::Pid> {
        for (const auto& c : told)
            if (c.kind == kind && c.window == window) return c.pid;
        return std::nullopt;
    };
    ASSERT_TRUE(next(false));
    xcb_window_t id = XCB_WINDOW_NONE;
    ASSERT_TRUE(pumpUntil([&] {
        for (const auto& c : told)
            if (c.kind == X11Change::Kind::Created && windows->client(c.window) &&
                windows->client(c.window)->wmClass == "qs-first")
                id = c.window;
        return id != XCB_WINDOW_NONE;
    }));
    const desktop::Pid firstApp = *toldOf(X11Change::Kind::Created, id);

    // The dock reads nothing while the child makes the new window.
    ASSERT_TRUE(next());
    told.clear();
    EXPECT_TRUE(pumpUntil([&] { return toldOf(X11Change::Kind::Created, id).has_value(); }));
    EXPECT_EQ(toldOf(X11Change::Kind::Destroyed, id), std::optional<desktop::Pid>(firstApp));
    // The same process founds the new application: it may get the same identifier, but
    // it is the application of the new class.
    const desktop::Pid secondApp = toldOf(X11Change::Kind::Created, id).value_or(-1);
    auto now = windows->client(id);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->pid, secondApp);
    EXPECT_EQ(now->wmClass, "qs-second");
    auto app = windows->application(secondApp);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->windows, std::vector<desktop::WindowNumber>{id});
    EXPECT_NE(app->identity.key.find("qs-second"), std::string::npos) << app->identity.key;

    ASSERT_TRUE(next());
    EXPECT_TRUE(pumpUntil(
        [&] { return toldOf(X11Change::Kind::TitleChanged, id) == std::optional<desktop::Pid>(secondApp); }));
    windows->removeChangeListener(listener);
    ::close(go[1]);
    ::close(done[0]);
    ::waitpid(child, nullptr, 0);
}

TEST_F(X11WindowsTest, AMappedWindowIsCaptured) {
    pid_t clock = spawn({"xclock", "-geometry", "160x140+400+200"});
    auto w = windowOf(clock);
    ASSERT_NE(w, nullptr);
    ImagePtr image;
    // The first picture may come before the clock has drawn; it is a picture all the same.
    ASSERT_TRUE(pumpUntil([&] { return (image = windows->captureWindow(w->win_id())) != nullptr; }));
    EXPECT_EQ(image->size(), MakeSize(160, 140));
    EXPECT_EQ(windows->captureWindow(0x7ffffff0), nullptr);  // no such window

    w->updatePreview();
    EXPECT_TRUE(pumpUntil([&] { return w->previewImage() != nullptr; }));
}

TEST_F(X11WindowsTest, ACoveredWindowIsPicturedOnlyWhileItsContentsAreKept) {
    // Share of the picture's pixels near a colour.
    auto shareOf = [](const ImagePtr& image, QColor colour) {
        const QImage q = image->qimage();
        int near = 0;
        for (int y = 0; y < q.height(); ++y)
            for (int x = 0; x < q.width(); ++x) {
                const QColor p = q.pixelColor(x, y);
                near += std::abs(p.red() - colour.red()) < 16 && std::abs(p.green() - colour.green()) < 16 &&
                        std::abs(p.blue() - colour.blue()) < 16;
            }
        return double(near) / std::max(1, q.width() * q.height());
    };
    auto below = windowOf(spawn({"xlogo", "-bg", "#e0a8c0", "-fg", "#e0a8c0", "-geometry", "160x120+400+200"}));
    ASSERT_NE(below, nullptr);
    ASSERT_TRUE(pumpUntil([&] {
        auto image = windows->captureWindow(below->win_id());
        return image && shareOf(image, QColor("#e0a8c0")) > 0.9;
    }));
    // Another program: a second xlogo's windows would count as the first one's.
    auto cover = windowOf(spawn({"xclock", "-geometry", "400x300+300+150"}));
    ASSERT_NE(cover, nullptr);
    // Covered: what the screen shows there is the cover's, so there is no picture.
    ASSERT_TRUE(pumpUntil([&] { return windows->captureWindow(below->win_id()) == nullptr; }));

    // Kept: its own pixels, once it has repainted them.
    EXPECT_TRUE(windows->keepContents(below->win_id()));
    EXPECT_FALSE(windows->keepContents(below->win_id()));  // kept already
    EXPECT_TRUE(pumpUntil([&] {
        auto image = windows->captureWindow(below->win_id());
        return image && shareOf(image, QColor("#e0a8c0")) > 0.9;
    }));
    windows->releaseContents(below->win_id());
    EXPECT_EQ(windows->captureWindow(below->win_id()), nullptr);
    EXPECT_FALSE(windows->keepContents(0x7ffffff0));  // no such window
}

TEST_F(X11WindowsTest, AShapedWindowsPictureIsTransparentOutsideItsShape) {
    auto eyes = windowOf(spawn({"xeyes", "-geometry", "200x150+500+300"}));
    ASSERT_NE(eyes, nullptr);
    ImagePtr image;
    ASSERT_TRUE(pumpUntil([&] { return (image = windows->captureWindow(eyes->win_id())) != nullptr; }));
    const QImage q = image->qimage();
    EXPECT_TRUE(q.hasAlphaChannel());
    EXPECT_EQ(qAlpha(q.pixel(0, 0)), 0);  // a corner, outside both eyes
    EXPECT_EQ(qAlpha(q.pixel(q.width() / 4, q.height() / 2)), 255);  // in the left eye
}

TEST_F(X11WindowsTest, ObserversAreToldOfCreatedAndDestroyedWindows) {
    // Windows of this very process, made on a connection of its own: the process
    // outlives them, as an application closing one of its windows does.
    auto self = SIApplication::applicationWithProcessIdentifier(::getpid());
    std::shared_ptr<SIWindow> created, destroyed;
    ASSERT_TRUE(self->observeNotification("AXWindowCreated", self, [&](auto& w) { created = w; }));
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    xcb_window_t mine = xcb_generate_id(other);
    xcb_create_window(other, XCB_COPY_FROM_PARENT, mine, screen->root, 10, 10, 120, 90, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    uint32_t pid = uint32_t(::getpid());
    auto* r = xcb_intern_atom_reply(other, xcb_intern_atom(other, 0, 11, "_NET_WM_PID"), nullptr);
    xcb_change_property(other, XCB_PROP_MODE_REPLACE, mine, r->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    free(r);
    xcb_map_window(other, mine);
    xcb_flush(other);
    ASSERT_TRUE(pumpUntil([&] { return created != nullptr; }));
    EXPECT_EQ(created->win_id(), mine);
    EXPECT_FALSE(created->appName().empty());

    ASSERT_TRUE(self->observeNotification("AXUIElementDestroyed", created, [&](auto& w) { destroyed = w; }));
    xcb_destroy_window(other, mine);
    xcb_flush(other);
    ASSERT_TRUE(pumpUntil([&] { return destroyed != nullptr; }));
    EXPECT_EQ(destroyed->win_id(), mine);
    EXPECT_FALSE(created->isNotDead());
    EXPECT_TRUE(RectIsNull(created->frame()));  // a window that is gone answers empty
    xcb_disconnect(other);
}

// Two docks on one desktop each rebuild their windows when the other's reserved space
// moves their visible frame: a panel made again under a new id with the same space, or
// space kept inside what another panel already keeps, must not tell of a change, or the
// two would rebuild each other without end.
TEST_F(X11WindowsTest, ReservedSpaceIsToldOfOnlyWhenAVisibleFrameMoves) {
    auto screens = std::static_pointer_cast<X11Screens>(desktop::services().screens);
    int reserved = 0;
    int listener = windows->addChangeListener(
        [&](const X11Change& c) { reserved += c.kind == X11Change::Kind::ReservedSpaceChanged; });
    const xcb_atom_t partial = conn->atom("_NET_WM_STRUT_PARTIAL");
    auto screen = Screen::screens().front();
    const double height = screen->frame().size.height;
    // Struts are measured from the root's bottom edge, which may lie below the screen's.
    auto keepBottom = [&](xcb_window_t w, uint32_t reserve) {
        std::array<uint32_t, 12> strut{};
        strut[3] = uint32_t(X11Screens::rootWindowSize().height - height) + reserve;
        strut[11] = 2000;
        xcb_change_property(conn->connection(), XCB_PROP_MODE_REPLACE, w, partial, XCB_ATOM_CARDINAL, 32, 12,
                            strut.data());
        xcb_flush(conn->connection());
    };
    auto clientOf = [&](pid_t pid) {
        auto w = windowOf(pid);
        return w ? xcb_window_t(w->win_id()) : xcb_window_t(XCB_WINDOW_NONE);
    };
    const pid_t first = spawn({"xlogo", "-name", "qsfirst", "-geometry", "100x80+40+40"});
    const pid_t second = spawn({"xlogo", "-name", "qssecond", "-geometry", "100x80+200+40"});
    const pid_t third = spawn({"xlogo", "-name", "qsthird", "-geometry", "100x80+360+40"});
    const xcb_window_t a = clientOf(first), b = clientOf(second), c = clientOf(third);
    ASSERT_TRUE(a && b && c);
    const int posts = screens->postCount();

    keepBottom(a, 40);
    ASSERT_TRUE(pumpUntil([&] { return screen->visibleFrame().size.height == height - 40; }));
    ASSERT_TRUE(pumpUntil([&] { return screens->postCount() == posts + 1; }));
    ASSERT_EQ(reserved, 1);

    // The same space, kept by another window now.
    keepBottom(b, 40);
    ::kill(first, SIGTERM);
    ASSERT_TRUE(pumpUntil([&] { return !windows->client(a); }));
    // Space inside what is kept already: the window server tells of it, the frame stays.
    keepBottom(c, 20);
    ASSERT_TRUE(pumpUntil([&] { return reserved == 2; }));
    for (int i = 0; i < 5; ++i) fixture::turnLoops(*conn, env.loop());
    EXPECT_EQ(screens->postCount(), posts + 1);

    keepBottom(b, 60);
    EXPECT_TRUE(pumpUntil([&] { return screens->postCount() == posts + 2; }));
    EXPECT_EQ(screen->visibleFrame().size.height, height - 60);
    windows->removeChangeListener(listener);
}

TEST_F(X11WindowsTest, AWindowIsClosed) {
    pid_t eyes = spawn({"xeyes", "-geometry", "100x100+700+100"});
    auto w = windowOf(eyes);
    ASSERT_NE(w, nullptr);
    w->close();
    EXPECT_TRUE(pumpUntil([&] { return !w->isNotDead(); }));
}

TEST_F(X11WindowsTest, WorkspaceTellsOfLaunchAndTermination) {
    std::vector<std::string> seen;
    pid_t clock = 0;
    auto token = NotificationCenter::workspaceCenter().addObserver(this, "", nullptr, [&](const Notification& n) {
        auto it = n.userInfo.find(NSWorkspaceApplicationKey);
        if (it == n.userInfo.end()) return;
        auto app = it->second.objectAs<RunningApplication>();
        if (app && app->processIdentifier() == clock) seen.push_back(n.name);
    });
    clock = spawn({"xclock", "-geometry", "100x100+900+500"});
    EXPECT_TRUE(pumpUntil([&] {
        return std::find(seen.begin(), seen.end(), "NSWorkspaceDidLaunchApplicationNotification") != seen.end();
    }));
    auto app = RunningApplication::runningApplicationWithProcessIdentifier(clock);
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(app->terminate());  // asks its windows to close
    EXPECT_TRUE(pumpUntil([&] {
        return std::find(seen.begin(), seen.end(), "NSWorkspaceDidTerminateApplicationNotification") != seen.end();
    }));
    EXPECT_TRUE(app->isTerminated());
    NotificationCenter::workspaceCenter().removeObserver(token);
}

}  // namespace
}  // namespace qs::x11
