// The dock panel on a real X server (Xvfb with openbox): its window properties, its frame
// for every edge and alignment, its cells following a real xterm, and auto-hide driven
// by the real pointer moved with XTest. Skipped without DISPLAY. The run loop is the
// manual one: the poll and the fades advance with its clock.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QApplication>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/MenuModel.h"
#include "core/Separator.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/desktop/Compositing.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/PanelWindows.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowGeometry.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "toolkit/WindowPlacement.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs::x11 {
namespace {

namespace NU = NSWindow_Utilities;

class X11DockPanelTest : public fixture::PanelTest {
protected:
    void open(size_t separators) {
        if (!model) {
            model = DockModel::create();
            Array items;
            for (size_t i = 0; i < separators; ++i) items.push_back(Value(Separator::create()));
            model->setPanelContent(items);
        }
        auto screen = Screen::screens().front();
        w = DockWindow::initWithPanelModel(model, config, screen);
        w->fadeInOnScreen(screen);
        env.loop().advance(0.2);
        pumpUntil([&] { return w->isVisible(); });
        pump(100);
    }
    xcb_window_t windowId() const { return xcb_window_t(w->winId()); }
    std::vector<uint32_t> cardinals(const char* property, xcb_atom_t type) {
        return fixture::cardinals(conn->connection(), windowId(), conn->atom(property), type, 64);
    }
    bool has(const std::vector<uint32_t>& atoms, const char* name) {
        xcb_atom_t a = conn->atom(name);
        for (auto x : atoms)
            if (x == a) return true;
        return false;
    }
    // The window's rectangle in root coordinates, as the server has it.
    QRect serverGeometry() {
        auto* c = conn->connection();
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, windowId()), nullptr);
        auto* t = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, windowId(), conn->root(), 0, 0),
                                                  nullptr);
        QRect r;
        if (g && t) r = QRect(t->dst_x, t->dst_y, g->width, g->height);
        free(g);
        free(t);
        return r;
    }
    void movePointer(int x, int y) {
        fixture::fakeMotion(conn->connection(), x, y, conn->root());
        pump(30);
    }
    std::vector<uint32_t> workArea() {
        return fixture::cardinals(conn->connection(), conn->root(), conn->atom("_NET_WORKAREA"), XCB_ATOM_CARDINAL, 4);
    }
    // Waits for the window manager's work area to be (x, y, width, height).
    bool workAreaBecomes(std::vector<uint32_t> wanted) {
        return pumpUntil([&] { return workArea() == wanted; });
    }
    long runningCells() {
        long n = 0;
        for (auto& item : model->panelContent())
            if (item.object() && item.object()->className() == "NSRunningApplication") ++n;
        return n;
    }
};

TEST_F(X11DockPanelTest, APanelIsADockOnEveryDesktopAboveWithoutTaskbarEntry) {
    open(3);
    auto type = cardinals("_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM);
    EXPECT_TRUE(has(type, "_NET_WM_WINDOW_TYPE_DOCK"));
    auto desktopIndex = cardinals("_NET_WM_DESKTOP", XCB_ATOM_CARDINAL);
    ASSERT_EQ(desktopIndex.size(), 1u);
    EXPECT_EQ(desktopIndex[0], 0xFFFFFFFFu);
    auto state = cardinals("_NET_WM_STATE", XCB_ATOM_ATOM);
    pumpUntil([&] {
        state = cardinals("_NET_WM_STATE", XCB_ATOM_ATOM);
        return has(state, "_NET_WM_STATE_SKIP_TASKBAR");
    }, 2000);
    EXPECT_TRUE(has(state, "_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_TRUE(has(state, "_NET_WM_STATE_SKIP_PAGER"));
    EXPECT_TRUE(has(state, "_NET_WM_STATE_ABOVE"));
    // Never focused: the input hint is off.
    auto hints = cardinals("WM_HINTS", XCB_ATOM_WM_HINTS);
    ASSERT_GE(hints.size(), 2u);
    EXPECT_TRUE(hints[0] & 1u);
    EXPECT_EQ(hints[1], 0u);
    // Xvfb has no compositing manager: the panel is opaque.
    EXPECT_FALSE(w->isComposited());
}

TEST_F(X11DockPanelTest, TheFrameFollowsEveryEdgeAndAlignment) {
    open(4);
    auto screen = Screen::screens().front();
    for (int16_t pos = 0; pos < 4; ++pos) {
        for (int16_t al = 0; al < 4; ++al) {
            config->setPosition(pos);
            config->setAligment(al);
            NU::PlacementInput in;
            in.screen = screen->frame().size;
            in.visible = screen->visibleFrame().size;
            in.window = (pos == 0 || pos == 2) ? MakeSize(48, 192) : MakeSize(192, 48);
            Rect expected = NU::placedFrame(NU::Edge(pos), NU::Alignment(al), in);
            expected = RectOffset(expected, screen->frame().origin.x, screen->frame().origin.y);
            QRect wanted = WindowGeometry::qtRectFromPlatform(expected);
            EXPECT_TRUE(pumpUntil([&] { return serverGeometry() == wanted; }, 2000))
                << pos << "/" << al << ": " << serverGeometry().x() << "," << serverGeometry().y() << " "
                << serverGeometry().width() << "x" << serverGeometry().height();
        }
    }
}

// The window manager keeps the panel's edge clear (its work area shrinks by the panel's
// thickness) while "ReserveSpace" is on and auto-hide off, and gets the space back as soon
// as either changes or the panel goes; a space of more than half the screen is not kept.
TEST_F(X11DockPanelTest, TheWorkAreaLeavesThePanelOutWhileReserveSpaceIsOn) {
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(true, "ReserveSpace");
    open(3);
    const uint32_t width = conn->screen()->width_in_pixels, height = conn->screen()->height_in_pixels;
    const std::vector<uint32_t> whole{0, 0, width, height};
    EXPECT_TRUE(workAreaBecomes({0, 0, width, height - 48})) << workArea()[3];
    auto strut = cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL);
    ASSERT_EQ(strut.size(), 12u);
    QRect panel = serverGeometry();
    EXPECT_EQ(strut[3], 48u);
    EXPECT_EQ(strut[10], uint32_t(panel.x()));
    EXPECT_EQ(strut[11], uint32_t(panel.x() + panel.width() - 1));
    EXPECT_EQ(cardinals("_NET_WM_STRUT", XCB_ATOM_CARDINAL), (std::vector<uint32_t>{0, 0, 0, 48}));

    defaults.setBool(false, "ReserveSpace");
    EXPECT_TRUE(workAreaBecomes(whole));
    EXPECT_TRUE(cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL).empty());
    defaults.setBool(true, "ReserveSpace");
    EXPECT_TRUE(workAreaBecomes({0, 0, width, height - 48}));
    // Auto-hide: the space is given back once the panel has faded out.
    movePointer(int(width / 2), int(height / 2));
    defaults.setBool(true, "HideQuayside");
    EXPECT_TRUE(pumpUntil([&] {
        env.loop().advance(0.1);
        return workArea() == whole;
    })) << workArea()[3];
    EXPECT_TRUE(w->isAutoHidden());
    defaults.setBool(false, "HideQuayside");
    config->setPosition(3);  // the strut follows the edge at once
    EXPECT_TRUE(workAreaBecomes({0, 48, width, height - 48}));

    // Cells as large as the screen allows: no strut, and one line that says why.
    config->setIconSize(10000);
    EXPECT_TRUE(workAreaBecomes(whole));
    EXPECT_TRUE(env.logged("more than half of the screen"));
    config->setIconSize(48);
    EXPECT_TRUE(workAreaBecomes({0, 48, width, height - 48}));
    w->orderOut();
    EXPECT_TRUE(workAreaBecomes(whole));
}

// Another program's top panel (trayer) keeps 24 pixels: the screen's visible frame leaves
// them out (and not the dock's own space), and a top dock stands below the panel.
TEST_F(X11DockPanelTest, ATopDockStandsBelowAnotherTopPanel) {
    if (!fixture::onPath("trayer")) GTEST_SKIP() << "trayer is not installed";
    UserDefaults::standardUserDefaults().setBool(true, "ReserveSpace");
    config->setPosition(3);
    open(3);
    auto screen = Screen::screens().front();
    const double height = screen->frame().size.height;
    EXPECT_TRUE(pumpUntil([&] { return serverGeometry().y() == 0; }));
    pid_t trayer = spawn({"trayer", "--edge", "top", "--height", "24", "--SetPartialStrut", "true",
                          "--SetDockType", "true", "--widthtype", "percent", "--width", "50", "--align", "left"});
    EXPECT_TRUE(pumpUntil([&] { return screen->visibleFrame().size.height == height - 24; }))
        << screen->visibleFrame();
    EXPECT_TRUE(pumpUntil([&] { return serverGeometry().y() == 24; })) << serverGeometry().y();
    // The dock's own strut (down to 72) is not taken out of the visible frame.
    auto strut = cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL);
    EXPECT_TRUE(pumpUntil([&] {
        strut = cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL);
        return strut.size() == 12 && strut[2] == 72;
    }));
    EXPECT_EQ(screen->visibleFrame().size.height, height - 24);

    ::kill(trayer, SIGTERM);
    ::waitpid(trayer, nullptr, 0);
    children.clear();
    EXPECT_TRUE(pumpUntil([&] { return serverGeometry().y() == 0; }));
}

// A monitor taken away under a panel that keeps space there: the space goes with it, with
// a line that says so.
TEST_F(X11DockPanelTest, AMonitorRemovedUnderThePanelTakesItsSpaceAlong) {
    fixture::TwoMonitors monitors;
    if (!monitors.ok) GTEST_SKIP() << "xrandr cannot make monitors here";
    ASSERT_TRUE(pumpUntil([] { return Screen::screens().size() == 2; }));
    UserDefaults::standardUserDefaults().setBool(true, "ReserveSpace");
    model = DockModel::create();
    Array items{Value(Separator::create()), Value(Separator::create())};
    model->setPanelContent(items);
    auto right = Screen::screens().back();
    w = DockWindow::initWithPanelModel(model, config, right);
    w->fadeInOnScreen(right);
    env.loop().advance(0.2);
    ASSERT_TRUE(pumpUntil([&] { return w->isVisible(); }));
    auto strut = cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL);
    ASSERT_TRUE(pumpUntil([&] {
        strut = cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL);
        return strut.size() == 12 && strut[3] == 48;
    }));
    EXPECT_GE(strut[10], 800u);

    fixture::runProgram({"xrandr", "--delmonitor", "qs_right"});
    ASSERT_TRUE(pumpUntil([] { return Screen::screens().size() == 1; }));
    EXPECT_TRUE(pumpUntil([&] { return cardinals("_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL).empty(); }));
    EXPECT_TRUE(env.logged("its screen has gone"));
}

TEST_F(X11DockPanelTest, ACellComesWithXtermAndGoesWithItTheOthersKept) {
    UserDefaults::standardUserDefaults().setBool(false, "DoNotDisplayRunning");
    model = DockModel::create();
    open(0);
    pump(200);
    auto* view = w->collectionView();
    size_t before = view->numberOfItems();
    long runningBefore = runningCells();
    std::vector<CollectionViewItem*> cells;
    for (size_t i = 0; i < before; ++i) cells.push_back(view->itemAtIndex(i));
    int made = view->itemsMade();

    pid_t term = spawn({"xterm", "-geometry", "40x5+300+200"});
    ASSERT_TRUE(pumpUntil([&] { return runningCells() == runningBefore + 1; }, kWaitMs));
    pump(100);
    EXPECT_EQ(view->numberOfItems(), before + 1);
    EXPECT_EQ(view->itemsMade(), made + 1);
    for (auto* cell : cells) EXPECT_GE(view->indexOfItem(cell), 0);
    EXPECT_EQ(double(w->frame().size.width), double(view->numberOfItems()) * 48);

    test::signalProcess(term, SIGTERM);
    ::waitpid(term, nullptr, 0);
    children.clear();
    ASSERT_TRUE(pumpUntil(
        [&] {
            env.loop().advance(0.5);
            return runningCells() == runningBefore;
        },
        8000));
    EXPECT_EQ(view->numberOfItems(), before);
    for (size_t i = 0; i < before; ++i) EXPECT_EQ(view->itemAtIndex(i), cells[i]);
}

TEST_F(X11DockPanelTest, AutoHideFollowsThePointerMovedWithXTest) {
    open(4);
    auto screen = Screen::screens().front();
    const int width = int(screen->frame().size.width), height = int(screen->frame().size.height);
    movePointer(width / 2, height / 2);
    UserDefaults::standardUserDefaults().setBool(true, "HideQuayside");
    env.loop().advance(0.4);
    pump(50);
    EXPECT_TRUE(w->isAutoHidden());
    EXPECT_TRUE(pumpUntil([&] { return !w->isVisible(); }));
    // The pointer at the bottom edge: the panel comes back with the next poll.
    movePointer(width / 2, height - 2);
    for (int i = 0; i < 10 && w->alphaValue() < 1.0; ++i) {
        env.loop().advance(0.3);
        pump(20);
    }
    EXPECT_EQ(w->alphaValue(), 1.0);
    EXPECT_TRUE(pumpUntil([&] { return w->isVisible(); }));
    // Away again: hidden again.
    movePointer(width / 2, height / 2);
    env.loop().advance(0.7);
    pump(50);
    EXPECT_TRUE(w->isAutoHidden());
    UserDefaults::standardUserDefaults().setBool(false, "HideQuayside");
    env.loop().advance(0.2);
    EXPECT_EQ(w->alphaValue(), 1.0);
    EXPECT_FALSE(w->isPolling());
}

}  // namespace
}  // namespace qs::x11
