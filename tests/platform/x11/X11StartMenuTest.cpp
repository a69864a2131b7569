// The start menu on a real X server with openbox: it opens beside its item, takes the
// typed text through its grab, starts a real program (xclock) from a test desktop entry
// chosen with Return, closes on Escape, and a click on its item while it is open closes
// it for good (the press that closed the pop-up reaches the item too).
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include "core/MenuModel.h"
#include "dock_ui/MenuViewController.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

namespace fs = std::filesystem;

namespace qs::x11 {
namespace {

using fixture::processesWith;

class X11StartMenuTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        if (!fs::exists("/usr/bin/xclock")) GTEST_SKIP() << "xclock is not installed";

        // The test's own application, in the user's application folder.
        marker = "quayside-startmenu-probe-" + std::to_string(::getpid());
        fs::create_directories(env.dataHome() + "/applications");
        entryPath = env.dataHome() + "/applications/zyxprobe.desktop";
        std::ofstream(entryPath) << "[Desktop Entry]\nType=Application\nName=Zyxprobe\n"
                                 << "Exec=/usr/bin/xclock -geometry 80x80+700+100 -title " << marker << "\n";

        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        other = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(other));
        symbols = xcb_key_symbols_alloc(other);

        MenuModel::resetSharedInstanceForTesting();
        menu = MenuModel::init();
        controller = MenuViewController::init();

        anchor = std::make_unique<QWidget>();
        anchor->setWindowTitle(QStringLiteral("dock"));
        anchor->setGeometry(300, 600, 240, 100);
        cell = new QWidget(anchor.get());
        cell->setGeometry(100, 20, 52, 52);
        anchor->show();
        ASSERT_TRUE(pumpUntil([&] { return anchor->windowHandle() && anchor->windowHandle()->isExposed(); }, kWaitMs));
        pump(100);
    }
    void TearDown() override {
        fixture::endProcessesWith(marker);
        env.loop().waitForBackground();
        controller.reset();
        anchor.reset();
        QCoreApplication::processEvents();
        MenuModel::resetSharedInstanceForTesting();
        if (symbols) xcb_key_symbols_free(symbols);
        if (other) xcb_disconnect(other);
        uninstallX11Backend();
    }

    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop(), true); }, done, ms, 5);
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    bool isViewable(xcb_window_t w) {
        xcb_connection_t* c = conn->connection();
        auto* reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        free(reply);
        return viewable;
    }
    void key(xcb_keysym_t sym) { fixture::fakeKey(other, symbols, sym); }
    void type(const std::string& letters) {
        for (char c : letters) {
            key(xcb_keysym_t(c));  // lower-case letters are their own keysyms
            pump(10);
        }
    }
    void clickAt(const QPoint& p) {
        fixture::fakeMotion(other, p.x(), p.y());
        fixture::fakeClick(other);
    }
    xcb_window_t popoverWindow() { return xcb_window_t(controller->popover()->window()->windowHandle()->winId()); }
    void showMenu() { controller->showStartMenuWith(menu, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY); }
    bool listed() {
        for (const auto& node : menu->appsArray())
            if (node->path() == entryPath) return true;
        return false;
    }

    std::string marker, entryPath;
    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
    std::shared_ptr<MenuModel> menu;
    MenuViewControllerPtr controller;
    std::unique_ptr<QWidget> anchor;
    QWidget* cell = nullptr;
};

TEST_F(X11StartMenuTest, TypedTextFindsTheTestEntryAndReturnStartsItsProgram) {
    ASSERT_TRUE(pumpUntil([&] { return listed(); }, kWaitMs)) << "the test entry is not among the applications";
    ASSERT_TRUE(processesWith(marker).empty());

    showMenu();
    ASSERT_TRUE(controller->isShow());
    ASSERT_TRUE(pumpUntil([&] { return isViewable(popoverWindow()); }));
    pump(100);

    type("zyxpro");
    ASSERT_TRUE(pumpUntil([&] { return controller->searchField()->text() == QStringLiteral("zyxpro"); }))
        << "typed: " << controller->searchField()->text().toStdString();
    ASSERT_EQ(controller->appTableView()->model()->rowCount(), 1);
    EXPECT_EQ(controller->appTableView()->model()->index(0, 0).data().toString(), QStringLiteral("Zyxprobe"));

    key(XK_Return);
    EXPECT_TRUE(pumpUntil([&] { return !controller->isShow(); }));
    EXPECT_TRUE(pumpUntil([&] { return !processesWith(marker).empty(); }, kWaitMs)) << "xclock did not start";
    EXPECT_TRUE(pumpUntil([&] { return !isViewable(popoverWindow()); }));
}

TEST_F(X11StartMenuTest, EscapeAndAClickOnTheItemCloseIt) {
    showMenu();
    ASSERT_TRUE(pumpUntil([&] { return isViewable(popoverWindow()); }));
    pump(100);
    key(XK_Escape);
    EXPECT_TRUE(pumpUntil([&] { return !controller->isShow(); }));

    // The item toggles the menu on a press, as the cell actions do.
    int presses = 0;
    struct Toggle : QObject {
        std::function<void()> fn;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::MouseButtonPress) fn();
            return false;
        }
    } toggle;
    toggle.fn = [&] {
        ++presses;
        if (controller->isShow())
            controller->closeStartMenu();
        else
            showMenu();
    };
    cell->installEventFilter(&toggle);

    env.loop().advance(1.0);
    clickAt(cell->mapToGlobal(cell->rect().center()));
    ASSERT_TRUE(pumpUntil([&] { return controller->isShow(); })) << "a click on the item opens the menu";
    ASSERT_TRUE(pumpUntil([&] { return isViewable(popoverWindow()); }));
    pump(100);
    const int before = presses;

    // Open: the press on the item closes the pop-up, and Qt hands it on to the item.
    clickAt(cell->mapToGlobal(cell->rect().center()));
    EXPECT_TRUE(pumpUntil([&] { return !controller->isShow(); }));
    pump(300);
    EXPECT_FALSE(controller->isShow()) << "the click that closed the menu opened it again";
    EXPECT_LE(presses, before + 1);

    env.loop().advance(1.0);
    clickAt(cell->mapToGlobal(cell->rect().center()));
    EXPECT_TRUE(pumpUntil([&] { return controller->isShow(); }));
    cell->removeEventFilter(&toggle);
    controller->closeStartMenu();
}

}  // namespace
}  // namespace qs::x11
