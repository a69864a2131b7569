#include "platform/x11/X11PanelWindows.h"

#include <vector>

#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {
constexpr uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr uint32_t kStateRemove = 0, kStateAdd = 1;
}  // namespace

void X11PanelWindows::prepareDockPanel(uint64_t id, bool above) {
    if (!conn_ || !conn_->isValid() || !id) return;
    auto* c = conn_->connection();
    auto window = xcb_window_t(id);
    uint32_t desktop = kAllDesktops;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, conn_->atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &desktop);
    std::vector<xcb_atom_t> states{conn_->atom("_NET_WM_STATE_STICKY"), conn_->atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                   conn_->atom("_NET_WM_STATE_SKIP_PAGER")};
    if (above) states.push_back(conn_->atom("_NET_WM_STATE_ABOVE"));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, conn_->atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        uint32_t(states.size()), states.data());
    conn_->flush();
}

void X11PanelWindows::sendState(uint32_t window, bool add, const char* first, const char* second) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = conn_->atom("_NET_WM_STATE");
    event.data.data32[0] = add ? kStateAdd : kStateRemove;
    event.data.data32[1] = conn_->atom(first);
    event.data.data32[2] = second ? conn_->atom(second) : XCB_ATOM_NONE;
    event.data.data32[3] = 1;  // an application's request
    xcb_send_event(conn_->connection(), 0, conn_->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void X11PanelWindows::dockPanelMapped(uint64_t id, bool above) {
    if (!conn_ || !conn_->isValid() || !id) return;
    auto window = xcb_window_t(id);
    xcb_client_message_event_t desktop{};
    desktop.response_type = XCB_CLIENT_MESSAGE;
    desktop.format = 32;
    desktop.window = window;
    desktop.type = conn_->atom("_NET_WM_DESKTOP");
    desktop.data.data32[0] = kAllDesktops;
    desktop.data.data32[1] = 1;
    xcb_send_event(conn_->connection(), 0, conn_->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&desktop));
    sendState(window, true, "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER");
    sendState(window, true, "_NET_WM_STATE_STICKY", nullptr);
    sendState(window, above, "_NET_WM_STATE_ABOVE", nullptr);
    conn_->flush();
}

void X11PanelWindows::setBlurBehind(uint64_t id, bool blur) {
    if (!conn_ || !conn_->isValid() || !id) return;
    auto* c = conn_->connection();
    xcb_atom_t atom = conn_->atom("_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (blur)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(id), atom, XCB_ATOM_CARDINAL, 32, 0, nullptr);
    else
        xcb_delete_property(c, xcb_window_t(id), atom);
    conn_->flush();
}

}  // namespace qs::x11
