// Badges over a private session bus (a dbus-daemon of the test's own, signals sent by
// gdbus and dbus-send), and displays on the X server (Xvfb: outputs, no EDID, no
// backlight).
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <xcb/randr.h>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Badges.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/BadgeHelper.h"
#include "tracking/Displays.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs::x11 {
namespace {

constexpr const char* kSignal = "com.canonical.Unity.LauncherEntry.Update";

using fixture::runProgram;

class PrivateBusTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        bus.start();
        if (bus.address.empty()) GTEST_SKIP() << "dbus-daemon could not be started";
    }
    void TearDown() override {
        fixture::killChildren(children);
        bus.stop();
    }

    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (auto c = XConnection::shared()) c->processPendingEvents();
            QCoreApplication::processEvents();
            env.loop().runPending();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    // A well-typed signal, sent by gdbus (dbus-send cannot write a{sv}). gdbus speaks to a
    // message bus only as --session (--address is a peer-to-peer connection).
    int sendUpdate(const std::string& uri, const std::string& properties) {
        return runProgram({"gdbus", "emit", "--session", "--object-path", "/com/canonical/unity/launcherentry/1",
                           "--signal", kSignal, "'" + uri + "'", properties},
                          bus.address);
    }
    int dbusSend(std::vector<std::string> args) {
        std::vector<std::string> argv{"dbus-send", "--bus=" + bus.address, "--type=signal", "/org/example/launcher", kSignal};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv);
    }

    fixture::PrivateBus bus;
    std::vector<pid_t> children;
};

TEST_F(PrivateBusTest, SignalsOnTheBusBecomeLabelsAndMalformedOnesAreIgnored) {
    X11Badges badges(bus.address);
    ASSERT_TRUE(badges.available());
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <int64 7>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.statusLabel("org.example.Mail") == "7"; }));

    // Wrong signature (a{sx}, sent by dbus-send), a uri of the wrong type, a uri that is
    // no desktop id: each is received and ignored, with one log line in all.
    ASSERT_EQ(dbusSend({"string:application://org.example.Mail.desktop", "dict:string:int64:count,99"}), 0);
    ASSERT_EQ(dbusSend({"int32:5", "string:count"}), 0);
    ASSERT_EQ(sendUpdate("file:///etc/passwd", "{'count': <int64 1>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.received() == 4; }));
    EXPECT_EQ(badges.ignored(), 3);
    EXPECT_EQ(badges.statusLabel("org.example.Mail"), "7");
    int lines = 0;
    for (auto& l : env.logLines()) lines += l.find("malformed launcher-entry") != std::string::npos;
    EXPECT_EQ(lines, 1);

    // Properties of the wrong type or out of range: left out, or clamped.
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <'12'>, 'count-visible': <'yes'>}"), 0);
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <int64 -4>}"), 0);
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <2.5>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.received() == 7; }));
    EXPECT_EQ(badges.statusLabel("org.example.Mail"), "7");
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <uint64 18446744073709551615>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.statusLabel("org.example.Mail") == "99999"; }));
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count': <int32 3>, 'progress': <0.5>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.statusLabel("org.example.Mail") == "3"; }));
    ASSERT_EQ(sendUpdate("application://org.example.Mail.desktop", "{'count-visible': <false>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges.statusLabel("org.example.Mail").empty(); }));
}

TEST_F(PrivateBusTest, AFloodOfSignalsStaysBoundedAndKeepsTheLatestState) {
    X11Badges badges(bus.address);
    ASSERT_TRUE(badges.available());
    QDBusConnection sender = QDBusConnection::connectToBus(QString::fromStdString(bus.address), "quayside-flood");
    ASSERT_TRUE(sender.isConnected());
    const int total = 20000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < total; ++i) {
        QDBusMessage m = QDBusMessage::createSignal("/flood", "com.canonical.Unity.LauncherEntry", "Update");
        QString id = i % 2 ? QStringLiteral("mail") : QStringLiteral("spam%1").arg(i);
        QVariantMap props{{"count", QVariant::fromValue(qlonglong(i))}, {"count-visible", true}};
        m << QStringLiteral("application://%1.desktop").arg(id) << props;
        sender.send(m);
        if (i % 1000 == 0) QCoreApplication::processEvents();
    }
    EXPECT_TRUE(pumpUntil([&] { return badges.received() >= total; }, 30000)) << badges.received();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(badges.store().size(), desktop::LauncherEntryBadges::kMaxEntries);
    EXPECT_EQ(badges.statusLabel("mail"), std::to_string(total - 1));
    EXPECT_EQ(badges.ignored(), 0);
    EXPECT_LT(seconds, 20.0);
    QDBusConnection::disconnectFromBus("quayside-flood");
}

TEST_F(PrivateBusTest, WithoutASessionBusEveryLabelIsEmptyAndOneLineSaysWhy) {
    X11Badges badges("unix:path=" + env.root() + "/no-bus-here");
    EXPECT_FALSE(badges.available());
    EXPECT_EQ(badges.statusLabel("org.example.Mail"), "");
    int lines = 0;
    for (auto& l : env.logLines()) lines += l.find("no session bus") != std::string::npos;
    EXPECT_EQ(lines, 1);
}

// The whole road on the X server: an xterm matched to a desktop entry of the test's own,
// a signal for that entry, and the scan announcing the xterm's process with the label.
TEST_F(PrivateBusTest, ALauncherEntrySignalReachesChangeBadgeWithTheMatchingProcess) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
    std::filesystem::create_directories(env.dataHome() + "/applications");
    std::ofstream(env.dataHome() + "/applications/org.quayside.BadgeTest.desktop")
        << "[Desktop Entry]\nType=Application\nName=Badge Test\nExec=xterm\nStartupWMClass=QuaysideBadgeTerm\n";

    auto conn = XConnection::open();
    ASSERT_TRUE(conn);
    XConnection::setShared(conn);
    desktop::Services services;
    addWindowServices(services, conn);
    auto badges = std::make_shared<X11Badges>(bus.address);
    services.badges = badges;
    desktop::install(services);
    if (!SIUniversalAccessHelper::isAccessibilityTrusted()) {
        desktop::install({});
        XConnection::setShared(nullptr);
        GTEST_SKIP() << "no EWMH window manager";
    }

    pid_t term = ::fork();
    if (term == 0) {
        ::execlp("xterm", "xterm", "-class", "QuaysideBadgeTerm", "-geometry", "40x5+20+20", nullptr);
        ::_exit(127);
    }
    children.push_back(term);
    RunningApplicationPtr app;
    ASSERT_TRUE(pumpUntil([&] {
        app = RunningApplication::runningApplicationWithProcessIdentifier(term);
        return app != nullptr;
    }));
    EXPECT_EQ(app->bundleIdentifier(), "org.quayside.BadgeTest");

    ASSERT_EQ(sendUpdate("application://org.quayside.BadgeTest.desktop", "{'count': <int64 4>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges->statusLabel("org.quayside.BadgeTest") == "4"; }));

    std::map<int64_t, std::string> announced;
    int nils = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(this, "changeBadge", nullptr, [&](const Notification& n) {
        if (auto* d = n.object.dictionary())
            announced[d->at("app_pid").integerValue()] = d->at("badgeText").stringValue();
        else
            ++nils;
    });
    BadgeHelper::resetSharedInstanceForTesting();
    UserDefaults::standardUserDefaults().setBool(true, "ShowAppBadges");
    auto helper = BadgeHelper::sharedInstance();
    EXPECT_TRUE(pumpUntil([&] { return announced.count(term) > 0; }));
    EXPECT_EQ(announced[term], "4");
    EXPECT_EQ(announced.count(::getpid()), 0u);

    ASSERT_EQ(sendUpdate("application://org.quayside.BadgeTest.desktop", "{'count': <int64 12>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges->statusLabel("org.quayside.BadgeTest") == "12"; }));
    env.loop().advance(2.5);
    EXPECT_TRUE(pumpUntil([&] { return announced[term] == "12"; }));

    UserDefaults::standardUserDefaults().setBool(false, "ShowAppBadges");
    EXPECT_EQ(nils, 1);
    NotificationCenter::defaultCenter().removeObserver(token);
    BadgeHelper::resetSharedInstanceForTesting();
    desktop::install({});
    XConnection::setShared(nullptr);
}

// Displays on the X server. Xvfb has outputs with modes, but no EDID and no backlight.
class X11DisplaysTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(false); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        displays = std::make_shared<X11Displays>(conn);
        if (!displays->hasRandR()) GTEST_SKIP() << "no RandR on this server";
    }
    void TearDown() override {
        Displays::resetSharedInstanceForTesting();
        desktop::install({});
    }
    std::shared_ptr<XConnection> conn;
    std::shared_ptr<X11Displays> displays;
};

TEST_F(X11DisplaysTest, OutputsAreReadWithoutNameOrBrightness) {
    auto active = displays->activeDisplays(16);
    ASSERT_TRUE(active);
    ASSERT_FALSE(active->empty());
    for (auto id : *active) {
        EXPECT_TRUE(displays->hasDisplayMode(id)) << id;
        EXPECT_EQ(displays->productName(id), std::nullopt) << id;
        EXPECT_EQ(displays->brightness(id), std::nullopt) << id;
        EXPECT_FALSE(displays->setBrightness(id, 0.5f)) << id;
    }
    EXPECT_TRUE(displays->activeDisplays(0)->empty());
    // Identifiers that are no output: answered empty, never an error that stops anything.
    for (desktop::DisplayID bogus : {0u, 1u, 0x7fffffffu}) {
        EXPECT_FALSE(displays->hasDisplayMode(bogus));
        EXPECT_EQ(displays->productName(bogus), std::nullopt);
        EXPECT_EQ(displays->brightness(bogus), std::nullopt);
        EXPECT_FALSE(displays->setBrightness(bogus, 0.5f));
    }
    EXPECT_TRUE(conn->isValid());

    // The dock's choice: nothing configurable, so nothing is chosen or stored.
    desktop::Services services;
    services.displays = displays;
    desktop::install(services);
    auto d = Displays::sharedInstance();
    EXPECT_EQ(Displays::displays().size(), active->size());
    EXPECT_TRUE(Displays::configurableDisplays().empty());
    EXPECT_EQ(d->currentDisplay(), std::nullopt);
    EXPECT_TRUE(UserDefaults::standardUserDefaults().objectForKey("currentDisplay").isNil());
    EXPECT_FLOAT_EQ(Displays::getBrightness(active->front()), -1.0f);
}

TEST_F(X11DisplaysTest, ARandRChangeCallsTheReconfigurationCallbacks) {
    auto active = displays->activeDisplays(16);
    ASSERT_TRUE(active && !active->empty());
    int calls = 0;
    auto token = displays->addReconfigurationCallback([&](desktop::DisplayID, uint32_t) { ++calls; });
    // Another client makes the first output primary: the server tells of the change.
    auto other = XConnection::open();
    ASSERT_TRUE(other);
    xcb_connection_t* c = other->connection();
    xcb_randr_query_version_reply_t* v = xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr);
    free(v);
    xcb_randr_get_output_primary_reply_t* primary =
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, other->root()), nullptr);
    xcb_randr_output_t before = primary ? primary->output : XCB_NONE;
    free(primary);
    xcb_randr_set_output_primary(c, other->root(), before == active->front() ? XCB_NONE : active->front());
    xcb_randr_set_output_primary(c, other->root(), before);
    other->flush();
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (calls == 0 && std::chrono::steady_clock::now() < end) {
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        conn->processPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(calls, 0);
    displays->removeReconfigurationCallback(token);
}

}  // namespace
}  // namespace qs::x11
