// Popovers on a real X server with a window manager: a tooltip maps beside its item
// without taking the focus from the active window; a transient popover with a search
// field gets the typing through its grab, leaves the active window alone, and closes on
// Escape and on a press outside; the compositing manager is read from its selection.
#include <chrono>
#include <cstdlib>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
#include <X11/keysym.h>

#include "dock_ui/Tooltip.h"
#include "platform/desktop/Compositing.h"
#include "platform/ui/Popover.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

namespace qs::x11 {
namespace {

class X11PopoverTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        other = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(other));
        symbols = xcb_key_symbols_alloc(other);

        // A normal, focused window holding the item, as another program's window would be
        // the active one while the pointer rests on the dock.
        anchor = std::make_unique<QWidget>();
        anchor->setWindowTitle(QStringLiteral("anchor"));
        anchor->setGeometry(300, 300, 240, 100);
        cell = new QWidget(anchor.get());
        cell->setGeometry(100, 20, 52, 52);
        anchor->show();
        anchor->activateWindow();
        pumpUntil([&] { return activeWindow() == xcb_window_t(anchor->winId()); }, kWaitMs);
    }
    void TearDown() override {
        anchor.reset();
        QCoreApplication::processEvents();
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

    xcb_window_t activeWindow() {
        xcb_connection_t* c = conn->connection();
        auto* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, conn->root(), conn->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t w = XCB_WINDOW_NONE;
        if (reply && xcb_get_property_value_length(reply) >= 4) w = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        free(reply);
        return w;
    }
    bool isViewable(xcb_window_t w, bool* overrideRedirect = nullptr) {
        xcb_connection_t* c = conn->connection();
        auto* reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        if (reply && overrideRedirect) *overrideRedirect = reply->override_redirect;
        free(reply);
        return viewable;
    }
    // The window's rectangle in root coordinates.
    QRect rootRect(xcb_window_t w) {
        xcb_connection_t* c = conn->connection();
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        auto* t = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, conn->root(), 0, 0), nullptr);
        QRect r = g && t ? QRect(t->dst_x, t->dst_y, g->width, g->height) : QRect();
        free(g);
        free(t);
        return r;
    }
    bool hasWindowType(xcb_window_t w, const char* type) {
        xcb_connection_t* c = conn->connection();
        auto* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, conn->atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 0, 16), nullptr);
        bool found = false;
        if (reply) {
            auto* atoms = static_cast<xcb_atom_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) found |= atoms[i] == conn->atom(type);
        }
        free(reply);
        return found;
    }
    void key(xcb_keysym_t sym) { fixture::fakeKey(other, symbols, sym); }
    void clickAt(int x, int y) {
        fixture::fakeMotion(other, x, y);
        fixture::fakeClick(other);
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
    std::unique_ptr<QWidget> anchor;
    QWidget* cell = nullptr;
};

TEST_F(X11PopoverTest, ATooltipMapsBesideItsItemAndLeavesTheFocusAlone) {
    const xcb_window_t activeBefore = activeWindow();
    ASSERT_EQ(activeBefore, xcb_window_t(anchor->winId())) << "the window manager did not activate the window";

    auto tooltip = Tooltip::initWithString(std::string("Terminal"), MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY, false);
    ASSERT_TRUE(tooltip->isShown());
    // The platform window's id: Qt makes a tool-tip window's native window again when it
    // first shows, and QWidget::winId() keeps the first one.
    const xcb_window_t w = xcb_window_t(tooltip->window()->windowHandle()->winId());
    bool overrideRedirect = false;
    ASSERT_TRUE(pumpUntil([&] { return isViewable(w, &overrideRedirect); }));
    pump(200);  // give a window manager time to (wrongly) move the focus

    EXPECT_EQ(activeWindow(), activeBefore);
    EXPECT_TRUE(anchor->isActiveWindow());
    EXPECT_TRUE(overrideRedirect);
    EXPECT_TRUE(hasWindowType(w, "_NET_WM_WINDOW_TYPE_TOOLTIP"));

    // MinY is below the item in the platform's terms: the tooltip hangs from the item's
    // bottom edge, centred on it.
    QRect item = rootRect(xcb_window_t(anchor->winId())).translated(cell->pos());
    item.setSize(cell->size());
    QRect tip = rootRect(w);
    EXPECT_EQ(tip.top(), item.bottom() + 1);
    EXPECT_NEAR(tip.center().x(), item.center().x(), 1);
    EXPECT_EQ(tip.size(), QSize(int(tooltip->contentSize().width), int(tooltip->contentSize().height + 8)));

    tooltip->close();
    EXPECT_TRUE(pumpUntil([&] { return !isViewable(w); }));
    EXPECT_EQ(activeWindow(), activeBefore);
}

TEST_F(X11PopoverTest, ATransientPopoverTakesTheTypingThroughItsGrabAndClosesOnEscapeOrAPressOutside) {
    const xcb_window_t activeBefore = activeWindow();
    QWidget content;
    auto* field = new QLineEdit(&content);
    field->setGeometry(10, 10, 160, 24);
    Popover popover;
    popover.setContentView(&content);
    popover.setContentSize(MakeSize(180, 44));
    popover.setBehavior(NSPopoverBehaviorTransient);
    popover.setTakesKeyboardFocus(true);
    popover.setAnimates(false);
    popover.showRelativeToRect(MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    const xcb_window_t w = xcb_window_t(popover.window()->windowHandle()->winId());
    ASSERT_TRUE(pumpUntil([&] { return isViewable(w); }));
    pump(100);

    key(XK_q);
    EXPECT_TRUE(pumpUntil([&] { return field->text() == QStringLiteral("q"); }));
    EXPECT_EQ(activeWindow(), activeBefore);
    key(XK_Escape);
    EXPECT_TRUE(pumpUntil([&] { return !popover.isShown(); }));
    EXPECT_TRUE(pumpUntil([&] { return !isViewable(w); }));

    popover.showRelativeToRect(MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    ASSERT_TRUE(pumpUntil([&] { return isViewable(w); }));
    pump(100);
    QRect frame = rootRect(w);
    clickAt(frame.center().x(), frame.center().y());  // inside: stays
    pump(150);
    EXPECT_TRUE(popover.isShown());
    clickAt(5, 5);  // outside: closes
    EXPECT_TRUE(pumpUntil([&] { return !popover.isShown(); }));
    EXPECT_EQ(activeWindow(), activeBefore);
}

TEST_F(X11PopoverTest, TheCompositingManagerIsTheOwnerOfItsSelection) {
    X11Compositing compositing(conn);
    EXPECT_FALSE(compositing.isCompositingManagerRunning());  // openbox composites nothing
    EXPECT_FALSE(desktop::compositingManagerRunning());

    // Another client claims the selection, as a compositing manager does.
    xcb_window_t owner = xcb_generate_id(other);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
    xcb_create_window(other, XCB_COPY_FROM_PARENT, owner, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    std::string name = "_NET_WM_CM_S" + std::to_string(conn->screenNumber());
    auto* atom = xcb_intern_atom_reply(other, xcb_intern_atom(other, 0, uint16_t(name.size()), name.c_str()), nullptr);
    ASSERT_TRUE(atom);
    xcb_set_selection_owner(other, owner, atom->atom, XCB_CURRENT_TIME);
    free(atom);
    // A round trip: the server has handled the requests above.
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    EXPECT_TRUE(compositing.isCompositingManagerRunning());
    EXPECT_TRUE(desktop::compositingManagerRunning());

    xcb_destroy_window(other, owner);
    free(xcb_get_input_focus_reply(other, xcb_get_input_focus(other), nullptr));
    EXPECT_FALSE(compositing.isCompositingManagerRunning());
}

}  // namespace
}  // namespace qs::x11
