// The menu-bar item on a real X server with a system tray (trayer, an XEmbed tray): the
// icon is docked into the tray with the program's menu, leaves it when "HideMenuBarIcon"
// is switched on and comes back when it is switched off. Launch at login on the real
// file watch: the autostart entry appears and goes with the switch, and one removed by
// hand reaches the switch's observers.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "core/AppDelegate.h"
#include "platform/desktop/MainBundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/StatusItem.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "preferences/LaunchAtLogin.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

namespace fs = std::filesystem;

namespace qs::x11 {
namespace {

class X11StatusItemTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "Qt does not run on xcb";
        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        MainBundle::setExecutablePathForTesting(std::string(QUAYSIDE_BUILD_DIR) + "/quayside");
    }
    void TearDown() override {
        // The icon's window goes before the tray does: a tray that dies hands the windows
        // docked in it back to the root window, where the window manager would take them.
        delegate.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        if (conn) QGuiApplication::sync();
        stopTray();
        MainBundle::setExecutablePathForTesting(std::nullopt);
        unsetenv("XDG_CONFIG_DIRS");
        if (conn) {
            conn.reset();
            uninstallX11Backend();
        }
    }

    void startTray() {
        ASSERT_EQ(std::system("command -v trayer > /dev/null 2>&1"), 0) << "trayer is not installed (scripts/deps.sh)";
        tray = fork();
        ASSERT_GE(tray, 0);
        if (tray == 0) {
            execlp("trayer", "trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                   "--SetDockType", "true", "--expand", "true", static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(pumpUntil([&] { return trayOwner() != XCB_WINDOW_NONE; }, kWaitMs)) << "trayer did not start";
    }
    void stopTray() {
        if (tray <= 0) return;
        test::signalProcess(tray, SIGTERM);
        waitpid(tray, nullptr, 0);
        tray = -1;
    }

    xcb_window_t trayOwner() {
        xcb_connection_t* c = conn->connection();
        auto* r = xcb_get_selection_owner_reply(
            c, xcb_get_selection_owner(c, conn->atom("_NET_SYSTEM_TRAY_S" + std::to_string(conn->screenNumber()))),
            nullptr);
        xcb_window_t owner = r ? r->owner : XCB_WINDOW_NONE;
        free(r);
        return owner;
    }

    uint32_t pidOf(xcb_window_t w) {
        xcb_connection_t* c = conn->connection();
        auto* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, conn->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 0, 1), nullptr);
        uint32_t pid = 0;
        if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
            pid = *static_cast<uint32_t*>(xcb_get_property_value(r));
        free(r);
        return pid;
    }

    // Windows of this process that sit inside a window of the tray's process.
    int iconsDockedInTray() {
        int found = 0;
        walk(conn->root(), false, found);
        return found;
    }
    void walk(xcb_window_t w, bool insideTray, int& found) {
        uint32_t pid = pidOf(w);
        if (pid == uint32_t(tray)) insideTray = true;
        if (insideTray && pid == uint32_t(getpid())) ++found;
        xcb_connection_t* c = conn->connection();
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
        if (!tree) return;
        xcb_window_t* kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) walk(kids[i], insideTray, found);
        free(tree);
    }

    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            QGuiApplication::sync();
            env.loop().advance(0.02);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return done();
    }

    std::shared_ptr<XConnection> conn;
    pid_t tray = -1;
    std::shared_ptr<AppDelegate> delegate = AppDelegate::create();
};

TEST_F(X11StatusItemTest, TheIconIsDockedInTheTrayWithTheMenuAndFollowsHideMenuBarIcon) {
    startTray();
    ASSERT_TRUE(pumpUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    delegate->setupStatusMenu();
    ASSERT_TRUE(delegate->statusItem());
    ASSERT_TRUE(pumpUntil([&] { return iconsDockedInTray() == 1; }, kWaitMs)) << "the icon never entered the tray";
    EXPECT_TRUE(delegate->statusItem()->isShownInTray());
    EXPECT_FALSE(env.logged("no system tray"));

    QMenu* menu = delegate->statusItem()->trayMenu();
    ASSERT_TRUE(menu);
    std::vector<std::string> titles;
    for (QAction* a : menu->actions()) titles.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"About", "-", "Preferences...", "-", "Check for Updates...", "-",
                                                "Send Feedback/Support ...", "-", "Check / Request Permissions",
                                                "Help/Quayside Documentation", "-", "-", "Quit"}));

    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(true, "HideMenuBarIcon");
    delegate->setupStatusMenu();
    EXPECT_FALSE(delegate->statusItem());
    EXPECT_TRUE(pumpUntil([&] { return iconsDockedInTray() == 0; })) << "the icon stayed in the tray";

    defaults.setBool(false, "HideMenuBarIcon");
    delegate->setupStatusMenu();
    EXPECT_TRUE(pumpUntil([&] { return iconsDockedInTray() == 1; }, kWaitMs)) << "the icon did not come back";
}

TEST_F(X11StatusItemTest, WithoutATrayTheItemWaitsAndDocksWhenATrayStarts) {
    ASSERT_EQ(trayOwner(), XCB_WINDOW_NONE) << "another tray runs on this display";
    // Qt has seen a tray of an earlier test go.
    ASSERT_TRUE(pumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    delegate->setupStatusMenu();
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_FALSE(delegate->statusItem()->isShownInTray());
    startTray();
    EXPECT_TRUE(pumpUntil([&] { return iconsDockedInTray() == 1; }, kWaitMs)) << "the icon did not enter the new tray";
}

TEST_F(X11StatusItemTest, TheAutostartEntryGoesWithTheSwitchAndAHandRemovalIsSeen) {
    const std::string program = env.root() + "/bin/quayside";
    fs::create_directories(env.root() + "/bin");
    fs::copy_file("/bin/true", program);
    MainBundle::setExecutablePathForTesting(program);
    setenv("XDG_CONFIG_DIRS", (env.root() + "/xdg").c_str(), 1);
    const std::string entry = env.configHome() + "/autostart/org.quayside.Quayside.desktop";

    auto controller = std::make_shared<LaunchAtLoginController>();
    int changes = 0;
    auto observation =
        controller->observe("launchAtLogin", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });

    controller->setValueForKey(Value(true), "launchAtLogin");
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_EQ(controller->valueForKey("launchAtLogin"), Value(true));
    controller->setValueForKey(Value(false), "launchAtLogin");
    EXPECT_FALSE(fs::exists(entry));
    controller->setValueForKey(Value(true), "launchAtLogin");
    ASSERT_TRUE(fs::exists(entry));

    // Let the watch settle on the folder, then remove the entry as a user would.
    pumpUntil([] { return false; }, 300);
    int before = changes;
    fs::remove(entry);
    EXPECT_TRUE(pumpUntil([&] { return changes > before; }, kWaitMs)) << "the removal never reached the switch";
    EXPECT_EQ(controller->valueForKey("launchAtLogin"), Value(false));

    // An entry another program writes is seen too.
    before = changes;
    std::ofstream(env.configHome() + "/autostart/other.desktop")
        << "[Desktop Entry]\nType=Application\nName=Other\nExec=" << program << "\n";
    EXPECT_TRUE(pumpUntil([&] { return changes > before; }, kWaitMs));
    EXPECT_EQ(controller->valueForKey("launchAtLogin"), Value(true));
}

}  // namespace
}  // namespace qs::x11
