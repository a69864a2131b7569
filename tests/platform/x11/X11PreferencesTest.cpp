// The preferences window on a real X server with a window manager: it maps active and
// centred, offers no maximise button, and when opened again from another desktop it
// comes to that desktop. Driven with the real pointer (XTest): the General pane's
// position moves the running dock panel, and its launch-at-login check box writes and
// removes the autostart entry and follows an entry removed by hand; the group inspector
// comes to the front and takes a name typed on the keyboard.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include "core/DockConfiguration.h"
#include "core/DockManager.h"
#include "core/DockWindowController.h"
#include "core/GroupModel.h"
#include "core/ThemeManager.h"
#include "dock_ui/DockWindow.h"
#include "platform/desktop/MainBundle.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowServer.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "preferences/GroupInspector.h"
#include "preferences/ItemInspector.h"
#include "preferences/PreferencesWindowController.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

namespace qs::x11 {
namespace {

class X11PreferencesTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        ThemeManager::resetSharedInstanceForTesting();
        std::filesystem::create_directories(env.root() + "/no-resources");
        ThemeManager::setResourceThemesDirectoryForTesting(env.root() + "/no-resources");
    }
    void TearDown() override {
        PreferencesWindowController::releasePrefsController();
        DockManager::releaseSharedInstance();
        DockManager::setWindowFactory(nullptr);
        MainBundle::setExecutablePathForTesting(std::nullopt);
        unsetenv("XDG_CONFIG_DIRS");
        if (other) xcb_disconnect(other);
        other = nullptr;
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        if (conn) {
            setDesktop(0);
            pump(200);
        }
        uninstallX11Backend();
    }

    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop(), true); }, done, ms, 5);
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }

    std::vector<uint32_t> cardinals(xcb_window_t w, const char* property, xcb_atom_t type, uint32_t count) {
        return fixture::cardinals(conn->connection(), w, conn->atom(property), type, count);
    }
    xcb_window_t activeWindow() {
        auto v = cardinals(conn->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 1);
        return v.empty() ? XCB_WINDOW_NONE : v[0];
    }
    int currentDesktop() {
        auto v = cardinals(conn->root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, 1);
        return v.empty() ? -1 : int(v[0]);
    }
    void setDesktop(uint32_t desktop) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = conn->root();
        ev.type = conn->atom("_NET_CURRENT_DESKTOP");
        ev.data.data32[0] = desktop;
        xcb_send_event(conn->connection(), 0, conn->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
        xcb_flush(conn->connection());
    }

    // The real pointer, from a connection of its own.
    void clickAt(const QPoint& p) {
        if (!other) other = xcb_connect(nullptr, nullptr);
        fixture::fakeMotion(other, p.x(), p.y());
        pump(50);
        fixture::fakeClick(other);
    }
    void key(xcb_keysym_t sym) {
        if (!other) other = xcb_connect(nullptr, nullptr);
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
        fixture::fakeKey(other, symbols, sym);
        xcb_key_symbols_free(symbols);
        pump(20);
    }
    static QPoint centreOf(QWidget* w) { return w->mapToGlobal(w->rect().center()); }
    // Pumps with the manual clock running, so the panel's moves and fades play.
    template <class F>
    bool pumpRunning(F done, int ms = 5000) {
        return pumpUntil(
            [&] {
                env.loop().advance(0.02);
                return done();
            },
            ms);
    }
    // The X frame of a window in root coordinates.
    QRect rootFrame(xcb_window_t w) {
        xcb_connection_t* c = conn->connection();
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        auto* t = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, conn->root(), 0, 0), nullptr);
        QRect r;
        if (g && t) r = QRect(t->dst_x, t->dst_y, g->width, g->height);
        free(g);
        free(t);
        return r;
    }
    DockWindow* panel() {
        auto manager = DockManager::sharedInstance();
        if (manager->panelControllers().empty()) return nullptr;
        return dynamic_cast<DockWindow*>(manager->panelControllers().front()->window().get());
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
};

TEST_F(X11PreferencesTest, OpensActiveWithoutAMaximiseButtonAndFollowsTheDesktop) {
    PreferencesWindowController::showPreferences();
    QWidget* window = PreferencesWindowController::prefsController()->window();
    const xcb_window_t id = xcb_window_t(window->winId());
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == id; })) << "the window did not become active";

    // Motif hints: functions given, maximise not among them.
    auto hints = cardinals(id, "_MOTIF_WM_HINTS", conn->atom("_MOTIF_WM_HINTS"), 5);
    ASSERT_GE(hints.size(), 3u);
    const uint32_t kFunctions = 1, kFunctionMaximize = 1u << 4, kDecorations = 2, kDecorMaximize = 1u << 6;
    if (hints[0] & kFunctions) EXPECT_FALSE(hints[1] & kFunctionMaximize);
    if (hints[0] & kDecorations) EXPECT_FALSE(hints[2] & kDecorMaximize);
    EXPECT_TRUE((hints[0] & kFunctions) || (hints[0] & kDecorations));

    // Centred across the screen.
    QRect area = window->screen()->availableGeometry();
    EXPECT_NEAR(window->frameGeometry().center().x(), area.center().x(), 2);

    auto* server = desktop::services().windowServer.get();
    ASSERT_NE(server, nullptr);
    if (server->numberOfSpaces() < 2) GTEST_SKIP() << "the window manager offers one desktop";
    setDesktop(1);
    ASSERT_TRUE(pumpUntil([&] { return currentDesktop() == 1; }));
    PreferencesWindowController::showPreferences();
    EXPECT_TRUE(pumpUntil([&] {
        auto d = cardinals(id, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, 1);
        return !d.empty() && d[0] == 1;
    })) << "the window stayed on its old desktop";
}

TEST_F(X11PreferencesTest, ChoosingLeftInTheGeneralPaneMovesTheRunningPanelToTheLeftEdge) {
    installDockWindowFactory();
    auto manager = DockManager::sharedInstance();
    manager->mainConfig()->setPosition(1);  // the bottom
    ASSERT_TRUE(pumpRunning([&] {
        DockWindow* p = panel();
        return p && p->isVisible() && rootFrame(xcb_window_t(p->winId())).width() > 0;
    })) << "the dock panel did not appear";
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_TRUE(pumpRunning([&] {
        QRect f = rootFrame(xcb_window_t(panel()->winId()));
        return f.bottom() >= screen.bottom() - 2 && f.width() > f.height();
    })) << "the panel is not at the bottom to begin with";

    PreferencesWindowController::showPreferences("GeneralPreferences");
    QWidget* window = PreferencesWindowController::prefsController()->window();
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == xcb_window_t(window->winId()); }));
    pump(200);
    auto* position = window->findChild<QComboBox*>(QStringLiteral("positionPopup"));
    ASSERT_NE(position, nullptr);
    ASSERT_TRUE(position->isVisible());
    EXPECT_EQ(position->currentIndex(), 1);

    // Open the list with a click, then click "Left".
    clickAt(centreOf(position));
    ASSERT_TRUE(pumpUntil([&] { return position->view()->isVisible(); })) << "the list did not open";
    pump(300);  // the list ignores a release that comes too soon after it opened
    QAbstractItemView* list = position->view();
    QRect left = list->visualRect(list->model()->index(0, 0));
    ASSERT_EQ(position->itemText(0), QStringLiteral("Left"));
    clickAt(list->viewport()->mapToGlobal(left.center()));
    ASSERT_TRUE(pumpUntil([&] { return manager->mainConfig()->position() == 0; }))
        << "the choice did not reach the dock's configuration";

    // The running panel (the same or a rebuilt one) stands along the left edge.
    EXPECT_TRUE(pumpRunning([&] {
        DockWindow* p = panel();
        if (!p || !p->isVisible()) return false;
        QRect f = rootFrame(xcb_window_t(p->winId()));
        return f.left() <= screen.left() + 2 && f.height() > f.width();
    })) << "the panel did not move to the left edge";
}

TEST_F(X11PreferencesTest, TheLaunchAtLoginCheckBoxWritesAndRemovesTheAutostartEntryAndFollowsTheFolder) {
    const std::string program = env.root() + "/bin/quayside";
    std::filesystem::create_directories(env.root() + "/bin");
    std::filesystem::copy_file("/bin/true", program);
    MainBundle::setExecutablePathForTesting(program);
    setenv("XDG_CONFIG_DIRS", (env.root() + "/xdg").c_str(), 1);
    const std::string entry = env.configHome() + "/autostart/org.quayside.Quayside.desktop";

    PreferencesWindowController::showPreferences("GeneralPreferences");
    QWidget* window = PreferencesWindowController::prefsController()->window();
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == xcb_window_t(window->winId()); }));
    pump(200);
    auto* box = window->findChild<QCheckBox*>(QStringLiteral("launchAtLoginCheckBox"));
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->isVisible()) << "the General pane offers no launch-at-login check box";
    EXPECT_FALSE(box->isChecked());

    // On the check mark (a wide check box takes clicks only on its mark and its label).
    const QPoint mark = box->mapToGlobal(QPoint(box->height() / 2, box->height() / 2));
    clickAt(mark);
    ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(entry); })) << "no autostart entry was written";
    EXPECT_TRUE(box->isChecked());
    clickAt(mark);
    ASSERT_TRUE(pumpUntil([&] { return !std::filesystem::exists(entry); })) << "the autostart entry stayed";
    EXPECT_FALSE(box->isChecked());
    clickAt(mark);
    ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(entry) && box->isChecked(); }));

    // Removed by hand: the check box follows.
    pumpRunning([] { return false; }, 300);
    std::filesystem::remove(entry);
    EXPECT_TRUE(pumpRunning([&] { return !box->isChecked(); })) << "the check box did not see the removal";
}

TEST_F(X11PreferencesTest, TheGroupInspectorOpensInFrontAndTakesANameTypedOnTheKeyboard) {
    installInspectors();
    auto inspector = std::dynamic_pointer_cast<GroupInspector>(Inspectors::makeGroupInspector());
    ASSERT_TRUE(inspector);
    auto group = GroupModel::create();
    group->setName("Tools");
    inspector->setModel(Value(group));
    inspector->orderFront();
    QWidget* window = inspector->window();
    ASSERT_TRUE(pumpUntil([&] { return activeWindow() == xcb_window_t(window->winId()); }))
        << "the inspector did not come to the front";
    pump(200);

    clickAt(centreOf(inspector->nameField()));
    ASSERT_TRUE(pumpUntil([&] { return inspector->nameField()->hasFocus(); }));
    key(XK_End);
    for (int i = 0; i < 5; ++i) key(XK_BackSpace);
    for (xcb_keysym_t letter : {XK_w, XK_o, XK_r, XK_k}) key(letter);
    EXPECT_EQ(group->name(), "Tools") << "the name is taken when the edit ends, not at every key";
    key(XK_Return);
    EXPECT_TRUE(pumpUntil([&] { return group->name() == "work"; })) << group->name();

    // Closed by the window manager's close button: it hides and is reused.
    window->close();
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }));
    inspector->orderFront();
    EXPECT_TRUE(pumpUntil([&] { return activeWindow() == xcb_window_t(window->winId()); }));
    EXPECT_EQ(inspector->nameField()->text().toStdString(), "work");
    Inspectors::setItemInspectorMaker(nullptr);
    Inspectors::setGroupInspectorMaker(nullptr);
}

}  // namespace
}  // namespace qs::x11
