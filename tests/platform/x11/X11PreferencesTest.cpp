// The preferences window on a real X server with a window manager: it maps active and
// centred, offers no maximise button, and when opened again from another desktop it
// comes to that desktop.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/DockManager.h"
#include "core/ThemeManager.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowServer.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "preferences/PreferencesWindowController.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

class X11PreferencesTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "Qt does not run on xcb";
        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        ThemeManager::resetSharedInstanceForTesting();
        std::filesystem::create_directories(env.root() + "/no-resources");
        ThemeManager::setResourceThemesDirectoryForTesting(env.root() + "/no-resources");
    }
    void TearDown() override {
        PreferencesWindowController::releasePrefsController();
        DockManager::releaseSharedInstance();
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
    bool pumpUntil(F done, int ms = 3000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            QGuiApplication::sync();
            env.loop().runPending();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }

    std::vector<uint32_t> cardinals(xcb_window_t w, const char* property, xcb_atom_t type, uint32_t count) {
        xcb_connection_t* c = conn->connection();
        auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, w, conn->atom(property), type, 0, count), nullptr);
        std::vector<uint32_t> out;
        if (reply) {
            auto* values = static_cast<uint32_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) out.push_back(values[i]);
        }
        free(reply);
        return out;
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

    std::shared_ptr<XConnection> conn;
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

}  // namespace
}  // namespace qs::x11
