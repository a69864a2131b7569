#pragma once
// What the X11 tests that run a dock panel (or a window of their own) with real client
// processes share: the display check, the X11 services of a panel test, starting, finding
// and ending client processes, turning the loops until a condition holds, XTest input,
// and where a cell lies on the screen. Header only: every test program of this folder
// may include it.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPoint>
#include <QWidget>
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
#include "platform/ui/CollectionView.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "support/Files.h"
#include "support/X11Clients.h"
#include "support/Processes.h"
#include "support/XTestInput.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/LaunchTracker.h"
#include "tracking/SIAccessibilityElement.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/RunLoop.h"

namespace qs::x11 {
// How long a test waits for what the window server, the window manager or a client it
// started does: generous, since a loaded or slow machine may take seconds where this one
// takes milliseconds. A wait ends as soon as its condition holds, so passing tests do not
// pay for it; waits that expect nothing to happen give their own short times.
inline constexpr int kWaitMs = 20000;
}  // namespace qs::x11

namespace qs::x11::fixture {

// Why the X11 tests cannot run here (no DISPLAY, or Qt not on xcb when `needsXcb`); empty
// when they can.
inline std::string skipReason(bool needsXcb = true) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return "DISPLAY is not set";
    if (needsXcb && QGuiApplication::platformName() != QStringLiteral("xcb")) return "Qt does not run on xcb";
    return {};
}

// Installs the X11 services a dock panel test runs on (screens, windows, events,
// compositing, panel windows) on `conn`, which becomes the shared connection. `events`,
// when given, is the events service to use.
inline void installPanelServices(const std::shared_ptr<XConnection>& conn,
                                 std::shared_ptr<X11Events> events = nullptr) {
    XConnection::setShared(conn);
    desktop::Services s;
    s.screens = std::make_shared<X11Screens>(conn);
    addWindowServices(s, conn);
    s.events = events ? std::move(events) : std::make_shared<X11Events>(conn);
    s.compositing = std::make_shared<X11Compositing>(conn);
    desktop::install(s);
    desktop::PanelWindows::install(std::make_shared<X11PanelWindows>(conn));
}
// Undoes installPanelServices.
inline void uninstallPanelServices() {
    desktop::PanelWindows::install(nullptr);
    desktop::install({});
    XConnection::setShared(nullptr);
}

// --- Client processes ---------------------------------------------------------------

// Whether `program` is an executable in one of PATH's folders.
inline bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs a program to its end, with `bus` as its session bus when given; answers its exit
// status (-1 when it could not run).
inline int runProgram(std::vector<std::string> argv, const std::string& bus = "") {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!bus.empty()) ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A session bus of the test's own: a dbus-daemon started by start(), ended by stop() or
// with the object. `address` stays empty when the daemon could not be started.
struct PrivateBus {
    pid_t daemon = -1;
    std::string address;

    void start() {
        int out[2];
        if (::pipe(out) != 0) return;
        daemon = ::fork();
        if (daemon == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            // Its own complaints (file-descriptor limits and the like) are not ours.
            if (int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, 2);
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') address.push_back(c);
        ::close(out[0]);
    }
    void stop() {
        if (daemon > 0) {
            ::kill(daemon, SIGTERM);
            ::waitpid(daemon, nullptr, 0);
        }
        daemon = -1;
    }
    ~PrivateBus() { stop(); }
};

// Starts argv[0] (looked up in PATH) with its arguments and adds it to `children`. The
// client plan, when given, is passed in QUAYSIDE_TEST_CLIENT to the test's own client.
// A fork that fails is a test failure; its -1 is answered but never kept.
inline pid_t spawnChild(std::vector<pid_t>& children, std::vector<std::string> argv,
                        const char* clientPlan = nullptr) {
    pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": fork failed";
        return -1;
    }
    if (pid == 0) {
        if (clientPlan) ::setenv("QUAYSIDE_TEST_CLIENT", clientPlan, 1);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    children.push_back(pid);
    return pid;
}
// Kills the children and waits for them.
inline void killChildren(const std::vector<pid_t>& children) {
    for (pid_t pid : children)
        if (qs::test::signalProcess(pid, SIGKILL)) ::waitpid(pid, nullptr, 0);
}

// Processes whose command line contains `marker`.
inline std::vector<pid_t> processesWith(const std::string& marker) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& dir : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = dir.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process that ends meanwhile has no command line: it is not one of them.
        const std::string cmdline = qs::test::readFileOrEmpty(dir.path() / "cmdline");
        if (cmdline.find(marker) != std::string::npos) out.push_back(pid_t(std::stoi(name)));
    }
    return out;
}

// Ends the processes whose command line contains `marker` (programs the product started,
// which are nobody's children here): SIGTERM, then SIGKILL to those still there after
// `ms`. Answers once none is left, so that the next test that counts them starts from
// none.
inline void endProcessesWith(const std::string& marker, int ms = kWaitMs) {
    for (pid_t pid : processesWith(marker)) qs::test::signalProcess(pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!processesWith(marker).empty()) {
        if (std::chrono::steady_clock::now() >= end) {
            for (pid_t pid : processesWith(marker)) qs::test::signalProcess(pid, SIGKILL);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Two monitors side by side on the display, 800 points wide each (a user's two screens,
// made with xrandr): "qs_left" holds the output, "qs_right" is beside it. The display is
// as before once the object goes. `ok` is NO when xrandr could not make them.
struct TwoMonitors {
    bool ok = false;
    TwoMonitors() {
        if (!onPath("xrandr")) return;
        ok = runProgram({"xrandr", "--setmonitor", "qs_left", "800/211x900/238+0+0", "screen"}) == 0 &&
             runProgram({"xrandr", "--setmonitor", "qs_right", "800/211x900/238+800+0", "none"}) == 0;
    }
    ~TwoMonitors() {
        runProgram({"xrandr", "--delmonitor", "qs_right"});
        runProgram({"xrandr", "--delmonitor", "qs_left"});
    }
    TwoMonitors(const TwoMonitors&) = delete;
    TwoMonitors& operator=(const TwoMonitors&) = delete;
};

// --- The loops ------------------------------------------------------------------------

// One turn of the loops: the X events, Qt's events (with `syncQt`, Qt's requests then
// reach the server), then what the manual run loop has due.
inline void turnLoops(XConnection& conn, ManualRunLoop& loop, bool syncQt = false) {
    conn.processPendingEvents();
    QCoreApplication::processEvents();
    if (syncQt) QGuiApplication::sync();
    loop.runPending();
}

// Runs `step` (one turn of the loops the test needs) until `done` answers true or `ms`
// pass, sleeping `sleepMs` between turns; answers `done` at the end.
template <class Step, class Done>
bool pumpUntil(Step step, Done done, int ms, int sleepMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        step();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    }
    return done();
}

// --- XTest input ------------------------------------------------------------------------

using test::xinput::fakeClick;
using test::xinput::fakeInput;
using test::xinput::fakeKey;
using test::xinput::fakeMotion;

// --- Window properties ------------------------------------------------------------------

// The 32-bit values of a window's property (at most `count`); empty when it has none.
inline std::vector<uint32_t> cardinals(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                                       uint32_t count) {
    auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, count), nullptr);
    std::vector<uint32_t> out;
    if (reply) {
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(reply));
        out.assign(v, v + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return out;
}

// --- Cells ------------------------------------------------------------------------------

// The centre of a widget, in root coordinates.
inline QPoint centreOf(const QWidget* w) { return w->mapToGlobal(QPoint(w->width() / 2, w->height() / 2)); }

// The cell of the process's running application, nullptr when the view has none.
// Whether the process is one of the application's: the one that started it, or one that
// owns a window of it now.
inline bool isProcessOf(const RunningApplication& app, pid_t pid) {
    const auto& processes = app.processes();
    return app.processIdentifier() == pid || std::find(processes.begin(), processes.end(), pid) != processes.end();
}

inline CollectionViewItem* cellOfProcess(CollectionView* view, pid_t pid) {
    for (size_t i = 0; i < view->numberOfItems(); ++i) {
        auto* cell = view->itemAtIndex(i);
        auto app = cell ? cell->representedObject().objectAs<RunningApplication>() : nullptr;
        if (app && isProcessOf(*app, pid)) return cell;
    }
    return nullptr;
}

// --- A panel test -----------------------------------------------------------------------

// The X11 services on a connection of the test's own, the test themes, a configuration for
// a bottom, centred panel of 48-point icons; after the test, the panel window, its model
// and the client processes end. Skipped without a display or an EWMH window manager.
class PanelTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = skipReason(); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        installPanelServices(conn);
        if (!SIUniversalAccessHelper::isAccessibilityTrusted()) GTEST_SKIP() << "no EWMH window manager";
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::string());
        config = DockConfiguration::create();
        config->setPosition(1);
        config->setAligment(1);
        config->setIconSize(48);
    }
    void TearDown() override {
        if (w) {
            w->orderOut();
            w->close();
            w.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        model.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        killChildren(children);
        if (conn) qs::test::withdrawVanishedClients(conn->connection());
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
        uninstallPanelServices();
    }

    void pump(int ms) { pumpUntil([] { return false; }, ms); }
    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { turnLoops(*conn, env.loop()); }, done, ms, 5);
    }
    pid_t spawn(std::vector<std::string> argv) { return spawnChild(children, std::move(argv)); }

    std::shared_ptr<XConnection> conn;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    std::shared_ptr<DockWindow> w;
    std::vector<pid_t> children;
};

// The same panel set-up on the whole X11 backend (workspace, running applications,
// badges) on the shared connection, with the menu model reset. A test that adds set-up
// of its own before this calls SetUp() and returns when it skipped or failed; after the
// test the launch tracker and the background work end too.
class BackendPanelTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = skipReason(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(installX11Backend());
        installed_ = true;
        if (!SIUniversalAccessHelper::isAccessibilityTrusted()) GTEST_SKIP() << "no EWMH window manager";
        conn = XConnection::shared();
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::string());
        MenuModel::resetSharedInstanceForTesting();
        config = DockConfiguration::create();
        config->setPosition(1);
        config->setAligment(1);
        config->setIconSize(48);
    }
    void TearDown() override {
        killChildren(children);
        if (conn) qs::test::withdrawVanishedClients(conn->connection());
        if (w) {
            w->orderOut();
            w->close();
            w.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        model.reset();
        env.loop().waitForBackground();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
        LaunchTracker::resetSharedForTesting();
        QCoreApplication::processEvents();
        if (installed_) uninstallX11Backend();
        installed_ = false;
    }
    bool setUpFailed() const { return IsSkipped() || HasFatalFailure(); }

    // Turns the loops (and the run loop's timers due now) until `done` or `ms` pass.
    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil(
            [&] {
                turnLoops(*conn, env.loop());
                env.loop().advance(0.0);  // timers due now (delayed steps of zero seconds)
            },
            done, ms, 2);
    }
    void pump(int ms) { pumpUntil([] { return false; }, ms); }
    pid_t spawn(std::vector<std::string> argv) { return spawnChild(children, std::move(argv)); }

    std::shared_ptr<XConnection> conn;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    std::shared_ptr<DockWindow> w;
    std::vector<pid_t> children;

private:
    bool installed_ = false;
};

}  // namespace qs::x11::fixture
