// The context menu of a dock item on a real X server (Xvfb with openbox): a right click
// on a running xterm's cell, made with XTest, maps the menu, and choosing "Quit App" in
// it with the pointer ends the xterm process. A desktop entry's "new-window" action runs
// its own Exec line. Skipped without DISPLAY.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/PanelWindows.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs::x11 {
namespace {

class X11ContextMenuTest : public fixture::PanelTest {
protected:
    void fake(uint8_t type, uint8_t detail, int x = 0, int y = 0) {
        fixture::fakeInput(conn->connection(), type, detail, type == XCB_MOTION_NOTIFY ? conn->root() : XCB_NONE, x, y);
    }
    // The cell of the process, nullptr when the panel has none.
    CollectionViewItem* cellOf(pid_t pid) { return fixture::cellOfProcess(w->collectionView(), pid); }
};

TEST_F(X11ContextMenuTest, ARightClickOnXtermsCellOpensAMenuWhoseQuitAppEndsIt) {
    UserDefaults::standardUserDefaults().setBool(false, "DoNotDisplayRunning");
    model = DockModel::create();
    auto screen = Screen::screens().front();
    w = DockWindow::initWithPanelModel(model, config, screen);
    w->fadeInOnScreen(screen);
    env.loop().advance(0.2);
    ASSERT_TRUE(pumpUntil([&] { return w->isVisible(); }));

    pid_t term = spawn({"xterm", "-geometry", "40x5+300+200"});
    ASSERT_TRUE(pumpUntil([&] { return cellOf(term) != nullptr; }, kWaitMs));
    pump(300);
    QWidget* cellView = cellOf(term)->view();
    ASSERT_TRUE(cellView);
    const QPoint at = cellView->mapToGlobal(cellView->rect().center());

    // While the menu runs its own loop: once it is mapped, the pointer chooses "Quit App".
    std::vector<std::string> shown;
    int drawnSeparators = 0;
    bool clicked = false;
    QTimer chooser;
    chooser.setInterval(20);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible() || clicked) return;
        shown.clear();
        QAction* quit = nullptr;
        drawnSeparators = 0;
        for (QAction* a : menu->actions()) {
            shown.push_back(a->isSeparator() ? "-" : a->text().toStdString());
            if (a->text() == "Quit App") quit = a;
            if (a->isSeparator() && !menu->actionGeometry(a).isEmpty()) ++drawnSeparators;
        }
        if (!quit) return;
        const QPoint target = menu->mapToGlobal(menu->actionGeometry(quit).center());
        fake(XCB_MOTION_NOTIFY, 0, target.x(), target.y());
        QTimer::singleShot(100, [this] {
            fake(XCB_BUTTON_PRESS, 1);
            fake(XCB_BUTTON_RELEASE, 1);
        });
        clicked = true;
    });
    chooser.start();
    QTimer::singleShot(8000, [] {
        if (auto* menu = QApplication::activePopupWidget()) menu->close();
    });

    fake(XCB_MOTION_NOTIFY, 0, at.x(), at.y());
    pump(50);
    fake(XCB_BUTTON_PRESS, 3);
    fake(XCB_BUTTON_RELEASE, 3);
    pump(100);
    chooser.stop();
    ASSERT_TRUE(clicked) << "no menu was mapped";
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "New Window");
    EXPECT_EQ(shown.back(), "Quit App");
    // Every separator takes its place, the doubled ones too.
    EXPECT_EQ(drawnSeparators, std::count(shown.begin(), shown.end(), "-"));
    EXPECT_EQ(drawnSeparators, 6);

    // The window manager asks xterm to close its window, and the process ends.
    int status = 0;
    bool ended = pumpUntil([&] { return ::waitpid(term, &status, WNOHANG) == term; }, 8000);
    EXPECT_TRUE(ended);
    if (ended) children.clear();
}

TEST_F(X11ContextMenuTest, ADesktopActionRunsItsOwnExecLineWithoutAShell) {
    namespace fs = std::filesystem;
    const std::string marker = env.root() + "/new window; made";
    const std::string entry = env.root() + "/qs-action-test.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Action Test\nExec=false\n"
                            "Actions=new-window;other;\n\n[Desktop Action new-window]\nName=New Window\n"
                            "Exec=touch \"" + marker + "\"\n\n[Desktop Action other]\nName=Other\n";
    auto workspace = desktop::services().workspace;
    ASSERT_TRUE(workspace);
    EXPECT_TRUE(workspace->launchDesktopAction(entry, "new-window"));
    EXPECT_TRUE(pumpUntil([&] { return fs::exists(marker); }, kWaitMs));
    // Listed without an Exec, or not listed at all: nothing runs.
    EXPECT_FALSE(workspace->launchDesktopAction(entry, "other"));
    EXPECT_FALSE(workspace->launchDesktopAction(entry, "new-private-window"));
}

TEST_F(X11ContextMenuTest, AKeyForAnApplicationGoesToItsWindowWithItsModifiers) {
    // A window of this process on a connection of its own, which reads the keys it gets.
    xcb_connection_t* own = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(own));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(own)).data;
    xcb_window_t win = xcb_generate_id(own);
    const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(own, XCB_COPY_FROM_PARENT, win, screen->root, 200, 200, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
    uint32_t self = uint32_t(::getpid());
    xcb_change_property(own, XCB_PROP_MODE_REPLACE, win, conn->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &self);
    const char wmClass[] = "qskeys\0QsKeys";
    xcb_change_property(own, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof wmClass,
                        wmClass);
    xcb_map_window(own, win);
    xcb_flush(own);

    auto workspace = desktop::services().workspace;
    RunningApplicationPtr app;
    ASSERT_TRUE(pumpUntil([&] {
        for (auto& a : workspace->runningApplications())
            if (a->processIdentifier() == desktop::Pid(self)) app = a;
        return app != nullptr;
    }));
    pump(200);
    ASSERT_TRUE(workspace->postKeyToApplication(*app, 45, desktop::kCGEventFlagMaskControl));
    // Control goes down first, then the key with Control held; both come up again.
    std::vector<uint16_t> pressStates;
    int releases = 0;
    pumpUntil([&] {
        env.loop().advance(0.02);
        while (xcb_generic_event_t* e = xcb_poll_for_event(own)) {
            const uint8_t type = e->response_type & 0x7f;
            if (type == XCB_KEY_PRESS) pressStates.push_back(reinterpret_cast<xcb_key_press_event_t*>(e)->state);
            if (type == XCB_KEY_RELEASE) ++releases;
            free(e);
        }
        return pressStates.size() >= 2 && releases >= 2;
    }, kWaitMs);
    ASSERT_EQ(pressStates.size(), 2u);
    EXPECT_EQ(releases, 2);
    EXPECT_TRUE(pressStates[1] & XCB_MOD_MASK_CONTROL);
    EXPECT_FALSE(pressStates[1] & XCB_MOD_MASK_4);
    xcb_destroy_window(own, win);
    xcb_disconnect(own);
}

}  // namespace
}  // namespace qs::x11
