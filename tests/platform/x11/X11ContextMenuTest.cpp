// The context menu of a dock item on a real X server (Xvfb with openbox): a right click
// on a running xterm's cell, made with XTest, maps the menu, and choosing "Quit App" in
// it with the pointer ends the xterm process. A desktop entry's "new-window" action runs
// its own Exec line; a program runs again by its path alone. Skipped without DISPLAY.

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

TEST_F(X11ContextMenuTest, AProgramRunsAgainByItsPathAloneWithoutAShell) {
    namespace fs = std::filesystem;
    // A program whose path a shell would split and run twice.
    const std::string marker = env.root() + "/ran";
    const std::string program = env.root() + "/new window; touch oops";
    std::ofstream(program) << "#!/bin/sh\ntouch \"" << marker << "\"\n";
    fs::permissions(program, fs::perms::owner_all);
    auto workspace = desktop::services().workspace;
    ASSERT_TRUE(workspace);
    EXPECT_TRUE(workspace->launchExecutable(program));
    EXPECT_TRUE(pumpUntil([&] { return fs::exists(marker); }, kWaitMs));
    EXPECT_FALSE(fs::exists(env.root() + "/oops"));
    EXPECT_FALSE(fs::exists("oops"));
    // Only a full path runs; one that does not start says so.
    EXPECT_FALSE(workspace->launchExecutable("true"));
    EXPECT_FALSE(workspace->launchExecutable(env.root() + "/missing"));
}

}  // namespace
}  // namespace qs::x11
