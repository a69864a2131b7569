// The cell actions on a real X server with openbox, driven by XTest through a real dock
// panel: a click on an xterm's cell makes it the active window (_NET_ACTIVE_WINDOW) when
// another application's window was, a
// click on a minimised xterm's cell maps it again, hovering a running xterm's cell maps
// the preview popover with one entry per window, and a click on the start-menu cell
// opens the start menu, which takes typed text and starts a real program from a test
// desktop entry; a click on the cell of a stopped application (a test desktop entry for
// xterm) starts it and the cell bounces until its first window maps. Skipped without
// DISPLAY.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/MenuViewController.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Popover.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/LaunchTracker.h"
#include "tracking/SIAccessibilityElement.h"

namespace fs = std::filesystem;

namespace qs::x11 {
namespace {

using fixture::processesWith;

class X11CellActionsTest : public fixture::BackendPanelTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        if (!fs::exists("/usr/bin/xterm")) GTEST_SKIP() << "xterm is not installed";
        marker = "quayside-cellactions-" + std::to_string(::getpid());
        BackendPanelTest::SetUp();
        if (setUpFailed()) return;
        other = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(other));
        symbols = xcb_key_symbols_alloc(other);
        auto& d = UserDefaults::standardUserDefaults();
        d.setBool(false, "DoNotDisplayRunning");
        d.setBool(true, "WindowPreview");
        d.setBool(true, "Tooltips");
        d.setInteger(0, "FolderViewIndex");
        config->setWindowActivation(1);
        // Park the pointer away from where the panel will be.
        movePointer(20, 20);
    }
    void TearDown() override {
        fixture::endProcessesWith(marker);
        BackendPanelTest::TearDown();
        if (symbols) xcb_key_symbols_free(symbols);
        if (other) xcb_disconnect(other);
    }

    void open(const Array& items) {
        model = DockModel::create();
        model->setPanelContent(items);
        auto screen = Screen::screens().front();
        w = DockWindow::initWithPanelModel(model, config, screen);
        w->fadeInOnScreen(screen);
        env.loop().advance(0.2);
        ASSERT_TRUE(pumpUntil([&] { return w->isVisible(); }));
        pump(100);
    }
    pid_t xterm(int x) {
        return spawn({"xterm", "-geometry", "40x5+" + std::to_string(x) + "+100", "-title", marker});
    }

    // The index in the panel of the running application of a process; -1 when none.
    long indexOfProcess(pid_t pid) {
        const auto& items = model->panelContent();
        for (size_t i = 0; i < items.size(); ++i)
            if (auto app = items[i].objectAs<RunningApplication>(); app && fixture::isProcessOf(*app, pid))
                return long(i);
        return -1;
    }
    long indexOfKind(const std::string& kind) {
        const auto& items = model->panelContent();
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].object() && items[i].object()->className() == kind) return long(i);
        return -1;
    }
    // The centre of a cell, in root coordinates.
    QPoint cellCentre(long index) { return fixture::centreOf(w->collectionView()->itemAtIndex(size_t(index))->view()); }
    void movePointer(int x, int y) { fixture::fakeMotion(other, x, y); }
    void clickAt(const QPoint& p) {
        movePointer(p.x(), p.y());
        pump(50);
        fixture::fakeClick(other);
    }
    void key(xcb_keysym_t sym) { fixture::fakeKey(other, symbols, sym); }

    std::vector<uint32_t> cardinals(xcb_window_t window, const char* property, xcb_atom_t type) {
        return fixture::cardinals(other, window, conn->atom(property), type, 1024);
    }
    xcb_window_t root() { return xcb_setup_roots_iterator(xcb_get_setup(other)).data->root; }
    xcb_window_t activeWindow() {
        auto v = cardinals(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        return v.empty() ? 0 : v[0];
    }
    // The managed window of a process.
    // A managed window the X server says the process owns; 0 when none.
    xcb_window_t windowOf(pid_t pid) {
        auto windows = std::dynamic_pointer_cast<X11WindowServer>(desktop::services().windowServer);
        if (!windows) return 0;
        for (const auto& client : windows->clients())
            if (client.process == pid) return client.window;
        return 0;
    }
    bool isViewable(xcb_window_t window) {
        auto* reply = xcb_get_window_attributes_reply(other, xcb_get_window_attributes(other, window), nullptr);
        bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        free(reply);
        return viewable;
    }
    void iconify(xcb_window_t window) {
        xcb_intern_atom_reply_t* a =
            xcb_intern_atom_reply(other, xcb_intern_atom(other, 0, 15, "WM_CHANGE_STATE"), nullptr);
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = window;
        ev.type = a ? a->atom : 0;
        ev.data.data32[0] = 3;  // IconicState
        free(a);
        xcb_send_event(other, 0, root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
        xcb_flush(other);
    }
    // An xterm and another application: the xterm's cell is clicked, the other is active
    // at first.
    void twoTerminals(pid_t& first, xcb_window_t& firstWindow) {
        open({});
        first = xterm(200);
        ASSERT_TRUE(pumpUntil([&] { return windowOf(first) != 0 && indexOfProcess(first) >= 0; }, kWaitMs))
            << "managed window " << windowOf(first) << ", panel index " << indexOfProcess(first);
        firstWindow = windowOf(first);
        pid_t second = spawn({"xlogo", "-geometry", "120x100+600+100", "-title", marker});
        ASSERT_TRUE(pumpUntil([&] { return windowOf(second) != 0 && indexOfProcess(second) >= 0; }, kWaitMs))
            << "managed window " << windowOf(second) << ", panel index " << indexOfProcess(second);
        ASSERT_TRUE(pumpUntil([&] { return activeWindow() == windowOf(second); }, kWaitMs));
        env.loop().advance(1.0);  // the panel's sort and layout
        pump(300);
    }

    std::string marker;
    xcb_connection_t* other = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
};

TEST_F(X11CellActionsTest, AClickOnAnXtermsCellMakesItTheActiveWindow) {
    pid_t first = 0;
    xcb_window_t firstWindow = 0;
    twoTerminals(first, firstWindow);
    if (HasFatalFailure()) return;
    ASSERT_NE(activeWindow(), firstWindow);

    const auto start = std::chrono::steady_clock::now();
    clickAt(cellCentre(indexOfProcess(first)));
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == firstWindow; }, kWaitMs));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ info ] click to _NET_ACTIVE_WINDOW: %.1f ms (pointer move and a 50 ms pump included)\n", ms);
}

TEST_F(X11CellActionsTest, AClickOnAMinimisedXtermsCellMapsItAgain) {
    pid_t first = 0;
    xcb_window_t firstWindow = 0;
    twoTerminals(first, firstWindow);
    if (HasFatalFailure()) return;
    iconify(firstWindow);
    ASSERT_TRUE(pumpUntil([&] { return !isViewable(firstWindow); }, kWaitMs));

    clickAt(cellCentre(indexOfProcess(first)));
    EXPECT_TRUE(pumpUntil([&] { return isViewable(firstWindow); }, kWaitMs));
    EXPECT_TRUE(pumpUntil([&] { return activeWindow() == firstWindow; }, kWaitMs));
}

TEST_F(X11CellActionsTest, HoveringAnXtermsCellMapsItsPreviewWithOneEntryPerWindow) {
    pid_t first = 0;
    xcb_window_t firstWindow = 0;
    twoTerminals(first, firstWindow);
    if (HasFatalFailure()) return;
    auto actions = w->cellActionsDelegate();
    ASSERT_TRUE(actions);
    const QPoint centre = cellCentre(indexOfProcess(first));
    movePointer(centre.x() - 5, centre.y());
    pump(50);
    movePointer(centre.x(), centre.y());
    ASSERT_TRUE(pumpUntil([&] { return actions->isPreviewActive(); }, kWaitMs));
    auto preview = actions->windowPreviewController();
    ASSERT_TRUE(preview->model());
    EXPECT_EQ(preview->model()->processIdentifier(), first);
    ASSERT_TRUE(pumpUntil([&] {
        auto* window = preview->popover().window();
        return window && window->windowHandle() && isViewable(xcb_window_t(window->windowHandle()->winId()));
    })) << "preview active: " << actions->isPreviewActive();
    EXPECT_EQ(preview->arrayController()->arrangedObjects().size(), 1u);
    EXPECT_EQ(preview->model()->windows().size(), 1u);
}

TEST_F(X11CellActionsTest, TheStartMenuCellOpensAMenuThatStartsATypedProgram) {
    if (!fs::exists("/usr/bin/xclock")) GTEST_SKIP() << "xclock is not installed";
    fs::create_directories(env.dataHome() + "/applications");
    const std::string entryPath = env.dataHome() + "/applications/zyxprobe.desktop";
    std::ofstream(entryPath) << "[Desktop Entry]\nType=Application\nName=Zyxprobe\n"
                             << "Exec=/usr/bin/xclock -geometry 80x80+700+100 -title " << marker << "\n";
    auto menu = MenuModel::init();
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const auto& node : menu->appsArray())
                if (node->path() == entryPath) return true;
            return false;
        },
        3000));
    open({Value(menu)});
    auto actions = w->cellActionsDelegate();
    const long index = indexOfKind("MenuModel");
    ASSERT_GE(index, 0);
    clickAt(cellCentre(index));
    ASSERT_TRUE(pumpUntil([&] { return actions->isStartMenuActive(); }, kWaitMs));
    auto controller = actions->startMenuController();
    ASSERT_TRUE(pumpUntil([&] {
        auto* window = controller->popover()->window();
        return window && isViewable(xcb_window_t(window->winId()));
    }));
    pump(100);
    for (char c : std::string("zyxpro")) {
        key(xcb_keysym_t(c));
        pump(10);
    }
    ASSERT_TRUE(pumpUntil([&] { return controller->searchField()->text() == QStringLiteral("zyxpro"); }))
        << "typed: " << controller->searchField()->text().toStdString();
    key(XK_Return);
    EXPECT_TRUE(pumpUntil([&] { return !processesWith(marker).empty(); }, kWaitMs)) << "xclock did not start";
    EXPECT_TRUE(pumpUntil([&] { return !actions->isStartMenuActive(); }));
}

TEST_F(X11CellActionsTest, AStoppedApplicationStartsFromItsCellAndBouncesUntilItsWindowMaps) {
    fs::create_directories(env.dataHome() + "/applications");
    const std::string entryPath = env.dataHome() + "/applications/qsprobeterm.desktop";
    std::ofstream(entryPath) << "[Desktop Entry]\nType=Application\nName=Probe Terminal\nStartupWMClass=QsProbeTerm\n"
                             << "Exec=xterm -class QsProbeTerm -geometry 40x5+300+100 -title " << marker << "\n";
    auto node = FileSystemNode::initWithPath(entryPath);
    ASSERT_TRUE(node->isApplication());
    open({Value(node)});
    long index = -1;
    ASSERT_TRUE(pumpUntil([&] { return (index = indexOfKind("FileSystemNode")) >= 0; }));
    auto* cell = dynamic_cast<DockCollectionItemCell*>(w->collectionView()->itemAtIndex(size_t(index)));
    ASSERT_TRUE(cell);
    EXPECT_FALSE(cell->isBouncing());

    clickAt(cellCentre(index));
    ASSERT_TRUE(pumpUntil([&] { return LaunchTracker::shared().isLaunching(entryPath); }, kWaitMs));
    EXPECT_TRUE(cell->isBouncing());
    ASSERT_TRUE(pumpUntil([&] { return !processesWith(marker).empty(); }, kWaitMs)) << "xterm did not start";
    EXPECT_EQ(processesWith(marker).size(), 1u);  // one click, one program
    // The first window ends the launch; the bounce stops at the end of its cycle. The
    // running application may have taken the item's place by then, with a cell of its
    // own: no cell bounces.
    ASSERT_TRUE(pumpUntil([&] { return !LaunchTracker::shared().isLaunching(entryPath); }, kWaitMs));
    auto anyBouncing = [&] {
        for (size_t i = 0; i < w->collectionView()->numberOfItems(); ++i)
            if (auto* c = dynamic_cast<DockCollectionItemCell*>(w->collectionView()->itemAtIndex(i)); c && c->isBouncing())
                return true;
        return false;
    };
    EXPECT_TRUE(pumpUntil(
        [&] {
            env.loop().advance(0.1);
            return !anyBouncing();
        },
        3000));
    EXPECT_EQ(processesWith(marker).size(), 1u);
}

}  // namespace
}  // namespace qs::x11
