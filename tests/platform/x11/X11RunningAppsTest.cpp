// Running applications of a real X desktop (Xvfb with openbox) merging into the dock
// model and tracked with their windows: launches and quits of real clients, a client
// with several windows, one that maps its window late, minimise and restore, a close,
// and a storm of short-lived clients. Skipped without DISPLAY.
//
// Besides xterm and xclock the tests run a small client of their own: this test program
// started again with QUAYSIDE_TEST_CLIENT set, which makes windows as told and closes one
// when the window manager asks.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/MenuModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/TrashModel.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"
#include "support/CpuStopwatch.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/SIAccessibilityElement.h"

namespace {

// ---- the test client -------------------------------------------------------------------------
// QUAYSIDE_TEST_CLIENT="<windows at start> <seconds before mapping> <windows later> <seconds
// before those> [nopid] [splash] [class=<class>] [pid=<pid>] [reclass=<class>@<seconds>]"
// ("nopid": the windows do not name their process; "splash": the first windows are
// splash screens; "class": the windows' class instead of QuaysideClient; "pid": the
// process the windows claim in _NET_WM_PID instead of their own; "reclass": the class the
// first window takes that many seconds after the start; "signal": one more window on each
// SIGUSR1). Runs before main() in the started copy and never returns.

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

volatile sig_atomic_t moreWindows = 0;

[[noreturn]] void runClient(const char* plan) {
    int first = 1, later = 0;
    double delay = 0, laterDelay = 0;
    std::sscanf(plan, "%d %lf %d %lf", &first, &delay, &later, &laterDelay);
    const bool namePid = std::strstr(plan, "nopid") == nullptr;
    const bool splashFirst = std::strstr(plan, "splash") != nullptr;
    auto option = [plan](const char* name) -> std::string {
        const char* at = std::strstr(plan, name);
        if (!at) return {};
        at += std::strlen(name);
        return std::string(at, std::strcspn(at, " "));
    };
    std::string wmClass = option("class=");
    if (wmClass.empty()) wmClass = "QuaysideClient";
    const std::string claimed = option("pid=");
    std::string reclass = option("reclass=");
    double reclassAt = 0;
    if (auto at = reclass.find('@'); at != std::string::npos) {
        reclassAt = std::atof(reclass.c_str() + at + 1);
        reclass.resize(at);
    }
    if (std::strstr(plan, "signal")) std::signal(SIGUSR1, [](int) { moreWindows = moreWindows + 1; });
    auto setClass = [&](xcb_connection_t* conn, xcb_window_t w, const std::string& name) {
        const std::string cls = "quayside-client" + std::string(1, '\0') + name + std::string(1, '\0');
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            uint32_t(cls.size()), cls.data());
    };
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) _exit(2);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_atom_t protocols = internAtom(c, "WM_PROTOCOLS"), deleteWindow = internAtom(c, "WM_DELETE_WINDOW");
    xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID");
    xcb_atom_t typeAtom = internAtom(c, "_NET_WM_WINDOW_TYPE"), splash = internAtom(c, "_NET_WM_WINDOW_TYPE_SPLASH");
    uint32_t pid = claimed.empty() ? uint32_t(getpid()) : uint32_t(std::atol(claimed.c_str()));
    int made = 0;
    xcb_window_t firstWindow = XCB_WINDOW_NONE;
    auto make = [&](int count) {
        for (int i = 0; i < count; ++i, ++made) {
            xcb_window_t w = xcb_generate_id(c);
            uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, int16_t(60 + 40 * (made % 30)), int16_t(60 + 30 * (made % 20)),
                              300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                              &mask);
            std::string title = "quayside client " + std::to_string(made);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                uint32_t(title.size()), title.data());
            setClass(c, w, wmClass);
            if (firstWindow == XCB_WINDOW_NONE) firstWindow = w;
            if (namePid) xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
            if (splashFirst && made < first)
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, typeAtom, XCB_ATOM_ATOM, 32, 1, &splash);
            xcb_map_window(c, w);
        }
        xcb_flush(c);
    };
    auto start = std::chrono::steady_clock::now();
    auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool madeFirst = false, madeLater = later == 0, reclassed = reclass.empty();
    while (true) {
        for (; moreWindows > 0; moreWindows = moreWindows - 1) make(1);
        if (madeFirst && !reclassed && since() >= reclassAt) {
            setClass(c, firstWindow, reclass);
            xcb_flush(c);
            reclassed = true;
        }
        if (!madeFirst && since() >= delay) {
            make(first);
            madeFirst = true;
        }
        if (madeFirst && !madeLater && since() >= laterDelay) {
            make(later);
            madeLater = true;
        }
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, 20);
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (m->type == protocols && m->data.data32[0] == deleteWindow) {
                    xcb_destroy_window(c, m->window);
                    xcb_flush(c);
                }
            }
            free(e);
        }
        if (xcb_connection_has_error(c)) _exit(0);
    }
}

const int clientHook = [] {
    if (const char* plan = std::getenv("QUAYSIDE_TEST_CLIENT")) runClient(plan);
    return 0;
}();

}  // namespace

namespace qs::x11 {
namespace {

using Pids = std::set<desktop::Pid>;

class X11RunningAppsTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        (void)clientHook;
        if (auto why = fixture::skipReason(false); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        desktop::Services s;
        s.screens = std::make_shared<X11Screens>(conn);
        addWindowServices(s, conn);
        s.events = std::make_shared<X11Events>(conn);
        windows = std::static_pointer_cast<X11WindowServer>(s.windowServer);
        desktop::install(s);
        if (!SIUniversalAccessHelper::isAccessibilityTrusted()) GTEST_SKIP() << "no EWMH window manager";
        // Clients left by other tests belong to nobody here.
        pumpFor(100);
        for (auto& app : desktop::services().workspace->runningApplications()) before.insert(app->processIdentifier());
    }
    void TearDown() override {
        model.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        fixture::killChildren(children);
        // The storm's clients that ended while the window manager took them in.
        if (conn) test::withdrawVanishedClients(conn->connection());
        desktop::install({});
    }

    void pumpOnce() {
        fixture::turnLoops(*conn, env.loop());
        reap();
    }
    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { pumpOnce(); }, done, ms, 5);
    }
    void pumpFor(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    // Collects the children that have exited (so they do not linger as zombies).
    void reap() {
        for (auto it = children.begin(); it != children.end();) {
            if (::waitpid(*it, nullptr, WNOHANG) == *it)
                it = children.erase(it);
            else
                ++it;
        }
    }

    pid_t spawn(std::vector<std::string> argv, const char* clientPlan = nullptr) {
        return fixture::spawnChild(children, std::move(argv), clientPlan);
    }
    pid_t client(const char* plan) { return spawn({"/proc/self/exe"}, plan); }

    void makeModel() {
        UserDefaults::standardUserDefaults().setBool(false, "DoNotDisplayRunning");
        model = DockModel::create();
    }
    // The running applications of the dock, by process, less those of other tests.
    Pids dockPids() const {
        Pids pids;
        for (auto& item : model->panelContent())
            if (auto app = item.objectAs<RunningApplication>())
                if (!before.count(app->processIdentifier())) pids.insert(app->processIdentifier());
        return pids;
    }
    long slotOf(desktop::Pid pid) const {
        for (size_t i = 0; i < model->panelContent().size(); ++i)
            if (auto app = model->panelContent()[i].objectAs<RunningApplication>(); app && app->processIdentifier() == pid)
                return long(i);
        return -1;
    }
    long trashSlot() const {
        for (size_t i = 0; i < model->panelContent().size(); ++i)
            if (model->panelContent()[i].object()->className() == "TrashModel") return long(i);
        return -1;
    }
    RunningApplicationPtr appOf(desktop::Pid pid) {
        for (auto& item : model->panelContent())
            if (auto app = item.objectAs<RunningApplication>(); app && app->processIdentifier() == pid) return app;
        return nullptr;
    }

    std::shared_ptr<XConnection> conn;
    std::shared_ptr<X11WindowServer> windows;
    std::shared_ptr<DockModel> model;
    std::vector<pid_t> children;
    Pids before;
};

TEST_F(X11RunningAppsTest, LaunchesAndQuitsOfRealClientsMergeIntoTheModel) {
    makeModel();
    pid_t term = spawn({"xterm", "-geometry", "60x10+40+40"});
    ASSERT_TRUE(pumpUntil([&] { return slotOf(term) >= 0; }));
    EXPECT_EQ(slotOf(term) + 1, trashSlot());  // just before the trash
    auto xterm = appOf(term);
    ASSERT_TRUE(xterm->bundleURL());
    Persistent::setIsPersistent(*xterm, true);
    long slot = slotOf(term);

    pid_t clock = spawn({"xclock", "-geometry", "100x100+500+300"});
    ASSERT_TRUE(pumpUntil([&] { return slotOf(clock) >= 0; }));

    // Quit the kept one: its slot holds its file item again.
    test::signalProcess(term, SIGTERM);
    ASSERT_TRUE(pumpUntil([&] { return slotOf(term) < 0; }));
    auto kept = model->panelContent()[size_t(slot)].objectAs<FileSystemNode>();
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->path(), xterm->bundleURL()->path());

    // Launched again, it takes that slot back.
    pid_t again = spawn({"xterm", "-geometry", "60x10+40+40"});
    ASSERT_TRUE(pumpUntil([&] { return slotOf(again) >= 0; }));
    EXPECT_EQ(slotOf(again), slot);

    // The other one simply goes.
    test::signalProcess(clock, SIGTERM);
    ASSERT_TRUE(pumpUntil([&] { return slotOf(clock) < 0; }));
    EXPECT_EQ(dockPids(), Pids{again});
}

TEST_F(X11RunningAppsTest, WindowsAreTrackedMostRecentFirstThroughLateMapsMinimiseAndClose) {
    makeModel();
    auto cache = AppMonitoringService::sharedInstance();
    // Windowless for a second, then two windows, then a third a second later.
    pid_t pid = client("2 1.0 1 2.0");
    pumpFor(500);
    EXPECT_EQ(slotOf(pid), -1);
    ASSERT_TRUE(pumpUntil([&] { return slotOf(pid) >= 0; }));
    auto app = appOf(pid);
    EXPECT_EQ(app->activationPolicy(), NSApplicationActivationPolicyRegular);
    auto tracked = cache->getCachedApplicationExForApplication(app);
    ASSERT_TRUE(tracked);
    ASSERT_TRUE(pumpUntil([&] { return tracked->windows().size() == 2; }));
    ASSERT_TRUE(pumpUntil([&] { return tracked->windows().size() == 3; }));
    auto newest = tracked->windows()[0];
    EXPECT_EQ(newest->title(), "quayside client 2");

    // Minimised: still listed, after the windows on screen.
    auto middle = tracked->windows()[1];
    ASSERT_TRUE(middle->minimize());
    ASSERT_TRUE(pumpUntil([&] { return tracked->minimized(); }));
    tracked->manualSortWindows();
    EXPECT_EQ(tracked->windows().back(), middle);
    EXPECT_EQ(tracked->windows().size(), 3u);
    // Restored: on screen again, and the focus puts it in front.
    middle->focusWindow();
    ASSERT_TRUE(pumpUntil([&] { return !tracked->minimized() && tracked->windows()[0] == middle; }));

    // Closed: it leaves the list; the application stays.
    newest->close();
    ASSERT_TRUE(pumpUntil([&] { return tracked->windows().size() == 2; }));
    EXPECT_GE(slotOf(pid), 0);

    test::signalProcess(pid, SIGTERM);
    ASSERT_TRUE(pumpUntil([&] { return slotOf(pid) < 0 && !cache->cachedApplicationForProcessIdentifier(pid); }));
}

TEST_F(X11RunningAppsTest, AStormOfShortLivedClientsLeavesExactlyTheLiveOnes) {
    makeModel();
    pid_t stays = spawn({"xclock", "-geometry", "100x100+700+100"});
    ASSERT_TRUE(pumpUntil([&] { return slotOf(stays) >= 0; }));
    pid_t also = client("1 0 0 0");
    ASSERT_TRUE(pumpUntil([&] { return slotOf(also) >= 0; }));

    // A hundred clients that end as soon as they start, in a few seconds; the main loop
    // keeps turning meanwhile, and no turn may stall it.
    double longest = 0;
    auto turn = [&] {
        auto t0 = std::chrono::steady_clock::now();
        pumpOnce();
        longest = std::max(longest, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    };
    for (int i = 0; i < 100; ++i) {
        spawn({"xterm", "-geometry", "20x4+" + std::to_string(10 * (i % 50)) + "+400", "-e", "true"});
        for (int k = 0; k < 3; ++k) {
            turn();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Until every short one has ended, then one refresh more.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (children.size() > 2 && std::chrono::steady_clock::now() < end) {
        turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(children.size(), 2u);
    pumpFor(500);
    env.loop().advance(2.0);
    pumpFor(200);
    EXPECT_EQ(dockPids(), (Pids{stays, also}));
    auto cache = AppMonitoringService::sharedInstance();
    for (auto& [pid, app] : cache->appsCache()) {
        if (!before.count(pid)) {
            EXPECT_TRUE(pid == stays || pid == also) << pid;
        }
    }
    std::printf("longest main-loop turn during the storm: %.1f ms\n", longest * 1000);
    EXPECT_LT(longest, 0.5);
}

TEST_F(X11RunningAppsTest, AnApplicationThatStartsWithASplashScreenComesBackAsARegularOne) {
    makeModel();
    pid_t pid = client("1 0 1 3.0 splash");
    ASSERT_TRUE(pumpUntil([&] { return slotOf(pid) >= 0; }));  // its launch brings it in
    EXPECT_EQ(appOf(pid)->activationPolicy(), NSApplicationActivationPolicyAccessory);
    env.loop().advance(2.0);  // the refresh lets it go: it is not a regular application yet
    pumpOnce();
    EXPECT_LT(slotOf(pid), 0);
    ASSERT_TRUE(pumpUntil([&] { return slotOf(pid) >= 0; }));  // its main window appears
    EXPECT_EQ(appOf(pid)->activationPolicy(), NSApplicationActivationPolicyRegular);
    env.loop().advance(2.0);
    pumpOnce();
    EXPECT_GE(slotOf(pid), 0);
    auto tracked = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(appOf(pid));
    ASSERT_TRUE(tracked);
    ASSERT_TRUE(pumpUntil([&] { return tracked->windows().size() == 1; }));  // the splash is not listed
}

TEST_F(X11RunningAppsTest, TheDockIsNotToldOfItsOwnWindows) {
    makeModel();
    // A window of this very process, as the dock's own panels and preferences are.
    xcb_connection_t* c = conn->connection();
    xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, conn->root(), 10, 10, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      conn->screen()->root_visual, 0, nullptr);
    uint32_t self = uint32_t(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, conn->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &self);
    xcb_map_window(c, w);
    xcb_flush(c);
    int launches = 0;
    auto token = NotificationCenter::workspaceCenter().addObserver(
        this, NSWorkspaceDidLaunchApplicationNotification, nullptr, [&](const Notification& n) {
            auto app = n.userInfo.at(NSWorkspaceApplicationKey).objectAs<RunningApplication>();
            launches += app && app->processIdentifier() == desktop::Pid(::getpid());
        });
    ASSERT_TRUE(pumpUntil([&] {
        for (auto& app : desktop::services().workspace->runningApplications())
            if (app->processIdentifier() == desktop::Pid(::getpid())) return true;
        return false;
    }));
    pumpFor(200);
    EXPECT_EQ(launches, 0);
    EXPECT_LT(slotOf(desktop::Pid(::getpid())), 0);
    NotificationCenter::workspaceCenter().removeObserver(token);
    xcb_destroy_window(c, w);
    xcb_flush(c);
}

TEST_F(X11RunningAppsTest, AClientThatDoesNotNameItsProcessIsFoundAndAKilledOneLeaves) {
    makeModel();
    pid_t silent = client("1 0 0 0 nopid");
    ASSERT_TRUE(pumpUntil([&] { return slotOf(silent) >= 0; }));
    test::signalProcess(silent, SIGKILL);  // no goodbye
    ASSERT_TRUE(pumpUntil([&] { return slotOf(silent) < 0; }));
}

}  // namespace
}  // namespace qs::x11

namespace qs::x11 {
namespace {

// xclock has no desktop entry and no _NET_WM_ICON: its icon is the WM_HINTS bitmap it
// gives the window manager (one-bit, so only black, white and see-through pixels), not
// the generic icon of an executable.
TEST_F(X11RunningAppsTest, AnApplicationWithoutADesktopEntryShowsItsWindowsIcon) {
    makeModel();
    pid_t clock = spawn({"xclock", "-geometry", "100x100+500+300"});
    ASSERT_TRUE(pumpUntil([&] { return slotOf(clock) >= 0; }));
    auto app = appOf(clock);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->info().bundlePath.empty());
    auto icon = app->icon();
    ASSERT_TRUE(icon);
    QImage pixels = icon->qimage();
    ASSERT_FALSE(pixels.isNull());
    EXPECT_GT(pixels.width(), 8);
    bool sawBlack = false;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x) {
            QRgb p = pixels.pixel(x, y);
            bool allowed = qAlpha(p) == 0 || p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255);
            ASSERT_TRUE(allowed) << x << "," << y;
            sawBlack |= p == qRgb(0, 0, 0);
        }
    EXPECT_TRUE(sawBlack);
}

}  // namespace
}  // namespace qs::x11

namespace qs::x11 {
namespace {

// ---- applications of several processes, and what windows claim ---------------------------

class X11ApplicationGroupsTest : public X11RunningAppsTest {
protected:
    // The dock's item of the application a process belongs to; nullptr when none.
    RunningApplicationPtr itemOf(pid_t pid) {
        for (auto& item : model->panelContent())
            if (auto app = item.objectAs<RunningApplication>(); app && fixture::isProcessOf(*app, pid)) return app;
        return nullptr;
    }
    // The dock's items named so.
    size_t itemsNamed(const std::string& name) {
        size_t n = 0;
        for (auto& item : model->panelContent())
            if (auto app = item.objectAs<RunningApplication>(); app && app->localizedName() == name) ++n;
        return n;
    }
    size_t trackedWindows(const RunningApplicationPtr& app) {
        auto tracked = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
        return tracked ? tracked->windows().size() : 0;
    }
    static bool alive(pid_t pid) { return ::kill(pid, 0) == 0; }
};

TEST_F(X11ApplicationGroupsTest, TwoProcessesOfOneClassAreOneItemThatOutlivesTheFirst) {
    makeModel();
    pid_t first = client("1 0 0 0 class=QsGroupOne");
    ASSERT_TRUE(pumpUntil([&] { return itemOf(first) != nullptr; }));
    pid_t second = client("2 0 0 0 class=QsGroupOne");
    ASSERT_TRUE(pumpUntil([&] { return itemOf(first) && itemOf(first)->processes().size() == 2; }));
    auto app = itemOf(first);
    EXPECT_EQ(itemOf(second), app);
    EXPECT_EQ(itemsNamed("QsGroupOne"), 1u);
    EXPECT_EQ(app->processIdentifier(), first);
    EXPECT_FALSE(app->bundleURL());
    EXPECT_TRUE(pumpUntil([&] { return trackedWindows(app) == 3; }));

    // The first process ends: the item stays, with the other's windows.
    ::kill(first, SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return app->processes() == std::vector<desktop::Pid>{second}; }));
    EXPECT_TRUE(pumpUntil([&] { return trackedWindows(app) == 2; }));
    env.loop().advance(2.0);
    pumpFor(100);
    EXPECT_EQ(itemOf(second), app);
    EXPECT_FALSE(app->isTerminated());
    // Quitting it closes the windows that are left. The process lives on without a
    // window (this client does): it is no application any more.
    EXPECT_TRUE(app->terminate());
    EXPECT_TRUE(pumpUntil([&] { return app->isTerminated() && itemOf(second) == nullptr; }));
    EXPECT_TRUE(alive(second));
    env.loop().advance(2.0);
    pumpFor(100);
    EXPECT_EQ(itemOf(second), nullptr);
    for (auto& running : desktop::services().workspace->runningApplications())
        EXPECT_FALSE(fixture::isProcessOf(*running, second)) << running->description();
}

TEST_F(X11ApplicationGroupsTest, AClaimedProcessIsNotBelievedAndNeverSignalled) {
    makeModel();
    // A process that owns no window, which a window will claim to be.
    pid_t bystander = spawn({"sleep", "60"});
    const std::string plan = "1 0 0 0 class=QsClaim pid=" + std::to_string(bystander);
    pid_t liar = client(plan.c_str());
    ASSERT_TRUE(pumpUntil([&] { return itemOf(liar) != nullptr; }));
    auto app = itemOf(liar);
    EXPECT_EQ(app->processIdentifier(), liar);
    EXPECT_EQ(app->processes(), std::vector<desktop::Pid>{liar});
    EXPECT_EQ(itemOf(bystander), nullptr);
    EXPECT_TRUE(env.logged("says it belongs to process " + std::to_string(bystander)));
    // A forced quit signals the owner the server names, not the claimed process.
    EXPECT_TRUE(app->forceTerminate());
    EXPECT_TRUE(pumpUntil([&] { return app->isTerminated(); }));
    reap();
    EXPECT_TRUE(alive(bystander));
    EXPECT_FALSE(pumpUntil([&] { return !alive(bystander); }, 300));

    // A window that claims process 1: nothing of the application is process 1.
    pid_t other = client("1 0 0 0 class=QsClaimInit pid=1");
    ASSERT_TRUE(pumpUntil([&] { return itemOf(other) != nullptr; }));
    EXPECT_EQ(itemOf(other)->processes(), std::vector<desktop::Pid>{other});
    EXPECT_EQ(itemOf(1), nullptr);
}

TEST_F(X11ApplicationGroupsTest, AWindowWhoseClassChangesAfterMappingMovesToAnotherItem) {
    makeModel();
    pid_t pid = client("2 0 0 0 class=QsBefore reclass=QsAfter@1.0");
    ASSERT_TRUE(pumpUntil([&] { return itemsNamed("QsBefore") == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return itemsNamed("QsAfter") == 1; }));
    EXPECT_EQ(itemsNamed("QsBefore"), 1u);  // the other window keeps the first class
    RunningApplicationPtr before, after;
    for (auto& item : model->panelContent())
        if (auto app = item.objectAs<RunningApplication>())
            (app->localizedName() == "QsBefore" ? before : after) = app;
    ASSERT_TRUE(before && after);
    EXPECT_TRUE(pumpUntil([&] { return trackedWindows(before) == 1 && trackedWindows(after) == 1; }));
    EXPECT_EQ(before->processes(), std::vector<desktop::Pid>{pid});
    EXPECT_EQ(after->processes(), std::vector<desktop::Pid>{pid});
    EXPECT_NE(before->processIdentifier(), after->processIdentifier());
}

TEST_F(X11ApplicationGroupsTest, FiveHundredWindowsOfOneClassOpenedAndClosedInABurstAreOneItem) {
    makeModel();
    pid_t burst = client("500 0 0 0 class=QsBurst");
    size_t most = 0;
    bool seen = false;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntil([&] {
        most = std::max(most, itemsNamed("QsBurst"));
        auto app = itemOf(burst);
        seen = seen || app;
        return app && windows->clientsOf(app->processIdentifier()).size() == 500;
    }, 60000));
    std::printf("500 windows of one class listed in %.0f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    ::kill(burst, SIGKILL);
    ASSERT_TRUE(pumpUntil([&] {
        most = std::max(most, itemsNamed("QsBurst"));
        return itemsNamed("QsBurst") == 0;
    }, 60000));
    EXPECT_TRUE(seen);
    EXPECT_EQ(most, 1u);
}

// Desktop entries that cannot start their program: one without Exec is left out (the
// windows are their class's application), one whose Exec a shell would be needed for is
// the application's entry but is not launched. Either way one item, and a log line.
TEST_F(X11ApplicationGroupsTest, AnEntryWithoutAUsableExecLeavesOneItemAndALogLine) {
    namespace fs = std::filesystem;
    const std::string folder = env.dataHome() + "/applications";
    fs::create_directories(folder);
    std::ofstream(folder + "/qs-no-exec.desktop")
        << "[Desktop Entry]\nType=Application\nName=No Exec\nStartupWMClass=QsNoExec\n";
    const std::string refused = folder + "/qs-shell-exec.desktop";
    std::ofstream(refused) << "[Desktop Entry]\nType=Application\nName=Shell Exec\nStartupWMClass=QsShellExec\n"
                              "Exec=true | false\n";
    pumpFor(1100);  // the application folders are looked at again at most once a second
    makeModel();
    pid_t bare = client("2 0 0 0 class=QsNoExec");
    pid_t shell = client("1 0 0 0 class=QsShellExec");
    ASSERT_TRUE(pumpUntil([&] { return itemOf(bare) && itemOf(shell); }));
    EXPECT_EQ(itemsNamed("QsNoExec"), 1u);
    EXPECT_FALSE(itemOf(bare)->bundleURL());
    EXPECT_TRUE(env.logged("has no Name or no Exec"));
    EXPECT_EQ(itemsNamed("Shell Exec"), 1u);
    ASSERT_TRUE(itemOf(shell)->bundleURL());
    EXPECT_EQ(itemOf(shell)->bundleURL()->path(), refused);

    EXPECT_FALSE(desktop::services().workspace->launchApplication(refused));
    EXPECT_TRUE(env.logged("shell syntax"));
    pumpFor(200);
    EXPECT_EQ(itemsNamed("Shell Exec"), 1u);
    EXPECT_EQ(itemsNamed("QsNoExec"), 1u);
}

// The icon of an application with a desktop entry is the entry's when there is one to
// draw, though its windows give their own (xterm's do); the journeys show the window's
// icon where the entry's cannot be drawn.
TEST_F(X11ApplicationGroupsTest, TheEntrysIconComesBeforeTheWindowsOwnIcon) {
    if (!std::filesystem::exists("/usr/bin/xterm")) GTEST_SKIP() << "xterm is not installed";
    const std::string folder = env.dataHome() + "/applications";
    std::filesystem::create_directories(folder);
    const std::string red = env.root() + "/red.png";
    QImage picture(64, 64, QImage::Format_ARGB32);
    picture.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(picture.save(QString::fromStdString(red)));
    std::ofstream(folder + "/qs-drawn.desktop")
        << "[Desktop Entry]\nType=Application\nName=Drawn Term\nExec=xterm\nStartupWMClass=QsDrawnTerm\nIcon=" << red
        << "\n";
    pumpFor(1100);  // the application folders are looked at again at most once a second
    makeModel();
    pid_t drawn = spawn({"xterm", "-class", "QsDrawnTerm", "-geometry", "20x4+100+100"});
    ASSERT_TRUE(pumpUntil([&] { return itemOf(drawn) != nullptr; }));
    ASSERT_EQ(itemOf(drawn)->localizedName(), "Drawn Term");
    auto icon = Persistent::icon(*itemOf(drawn));
    ASSERT_TRUE(icon);
    const QImage pixels = icon->pixelsForSize(48);
    ASSERT_FALSE(pixels.isNull());
    EXPECT_EQ(pixels.pixelColor(24, 24), QColor(255, 0, 0));
}

// The main thread's work for one window opening in an application of 50 windows (printed,
// not checked: the window is tracked, whatever the time it took): the X
// events, the refreshes of the window list with the grouping, and what the listeners do,
// from the moment the client is asked for the window until it is tracked and the window
// manager's follow-up changes are read.
TEST_F(X11ApplicationGroupsTest, AWindowOpeningInAGroupOfFiftyIsTrackedAndItsCostPrinted) {
    makeModel();
    pid_t pid = client("50 0 0 0 class=QsFifty signal");
    RunningApplicationPtr app;
    ASSERT_TRUE(pumpUntil([&] { return (app = itemOf(pid)) && trackedWindows(app) == 50; }));
    pumpFor(500);
    double work = 0.0;
    int turns = 0;
    auto timedTurn = [&] {
        test::CpuStopwatch cpu;
        conn->processPendingEvents();
        env.loop().runPending();
        work += cpu.elapsedMs();
        ++turns;
        QCoreApplication::processEvents();  // Qt's own turn, the same whatever happens
        reap();
    };
    // What the timed part of a turn costs when nothing happens.
    fixture::pumpUntil(timedTurn, [] { return false; }, 200, 5);
    const double idle = work / std::max(1, turns);
    const int refreshesBefore = windows->refreshCount();
    work = 0.0;
    turns = 0;
    ::kill(pid, SIGUSR1);
    ASSERT_TRUE(fixture::pumpUntil(timedTurn, [&] { return trackedWindows(app) == 51; }, kWaitMs, 5));
    fixture::pumpUntil(timedTurn, [] { return false; }, 300, 5);
    std::printf("a window opening in a group of 50: %.3f ms of main-thread CPU in %d refreshes (%d turns, "
                "%.4f ms per idle turn)\n",
                work, windows->refreshCount() - refreshesBefore, turns, idle);
    {
        test::CpuStopwatch full;
        for (int i = 0; i < 10; ++i) windows->refresh();
        std::printf("a full read of the table of 51 windows: %.3f ms of CPU\n", full.elapsedMs() / 10);
    }
    // A figure, not a check: nothing here fails on a time (the machine may be loaded).
    std::printf("net of idle turns: %.3f ms\n", work - idle * turns);
}

}  // namespace
}  // namespace qs::x11
