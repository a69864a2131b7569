#include "platform/x11/X11PanelWindows.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/desktop/Screen.h"
#include "platform/foundation/Log.h"
#include "platform/x11/X11Screens.h"
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
    event.data.data32[2] = second ? conn_->atom(second) : xcb_atom_t(XCB_ATOM_NONE);
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

X11PanelWindows::Strut X11PanelWindows::strutFor(int edge, const Rect& panel, const std::vector<Rect>& monitors,
                                                  const Size& rootSize) {
    // The monitor holding most of the panel.
    const Rect* monitor = nullptr;
    double most = 0.0;
    for (const Rect& m : monitors) {
        Rect i = RectIntersection(m, panel);
        double area = RectIsNull(i) ? 0.0 : i.size.width * i.size.height;
        if (area > most) {
            most = area;
            monitor = &m;
        }
    }
    if (!monitor) return {std::nullopt, "it lies on no monitor"};
    Size root = rootSize;
    if (root.width <= 0 || root.height <= 0) {
        Rect all = RectNull;
        for (const Rect& m : monitors) all = RectUnion(all, m);
        root = MakeSize(MaxX(all), MaxY(all));
    }
    const double x0 = std::max(0.0, MinX(panel)), x1 = std::min(root.width, MaxX(panel));
    const double y0 = std::max(0.0, MinY(panel)), y1 = std::min(root.height, MaxY(panel));
    if (x1 <= x0 || y1 <= y0) return {std::nullopt, "it lies outside the root window"};
    // The band from the root's edge to the panel's far side, and how deep it reaches
    // into the panel's monitor.
    Rect band;
    double thickness = 0.0;
    const bool vertical = edge == 0 || edge == 2;
    switch (edge) {
        case 0:
            band = MakeRect(0, y0, x1, y1 - y0);
            thickness = x1 - MinX(*monitor);
            break;
        case 2:
            band = MakeRect(x0, y0, root.width - x0, y1 - y0);
            thickness = MaxX(*monitor) - x0;
            break;
        case 3:
            band = MakeRect(x0, 0, x1 - x0, y1);
            thickness = y1 - MinY(*monitor);
            break;
        case 1:
            band = MakeRect(x0, y0, x1 - x0, root.height - y0);
            thickness = MaxY(*monitor) - y0;
            break;
        default: return {std::nullopt, "it stands on no edge"};
    }
    const double across = vertical ? monitor->size.width : monitor->size.height;
    for (const Rect& m : monitors)
        if (!(m == *monitor) && RectIntersectsRect(band, m))
            return {std::nullopt, "its edge lies between two monitors"};
    if (thickness <= 0.0) return {std::nullopt, "it is not at its edge"};
    if (thickness > across / 2.0) return {std::nullopt, "the space would take more than half of the screen"};
    auto n = [](double v) { return uint32_t(std::max(0L, std::lround(v))); };
    std::array<uint32_t, 12> s{};
    switch (edge) {
        case 0: s[0] = n(x1), s[4] = n(y0), s[5] = n(y1) - 1; break;
        case 2: s[1] = n(root.width - x0), s[6] = n(y0), s[7] = n(y1) - 1; break;
        case 3: s[2] = n(y1), s[8] = n(x0), s[9] = n(x1) - 1; break;
        case 1: s[3] = n(root.height - y0), s[10] = n(x0), s[11] = n(x1) - 1; break;
    }
    return {s, {}};
}

void X11PanelWindows::reserveSpace(uint64_t id, const std::optional<desktop::ReservedSpace>& space) {
    if (!conn_ || !conn_->isValid() || !id) return;
    Strut strut;
    if (space) {
        std::vector<Rect> monitors;
        for (const auto& screen : Screen::screens()) monitors.push_back(X11Screens::x11RectFromPlatform(screen->frame()));
        Size root = X11Screens::rootWindowSize();
        if ((root.width <= 0 || root.height <= 0) && conn_->screen())
            root = MakeSize(conn_->screen()->width_in_pixels, conn_->screen()->height_in_pixels);
        strut = strutFor(space->edge, X11Screens::x11RectFromPlatform(space->panel), monitors, root);
    }
    Reserved& state = reserved_[id];
    if (strut.refusal != state.refusal && !strut.refusal.empty())
        log("dock panel: no space is kept clear for it because ", strut.refusal,
            "; maximised windows are moved beside it instead");
    state.refusal = strut.refusal;
    if (strut.values && !checkedSupport_) {
        checkedSupport_ = true;
        xcb_ewmh_get_atoms_reply_t supported;
        auto* ewmh = conn_->ewmh();
        if (xcb_ewmh_get_supported_reply(ewmh, xcb_ewmh_get_supported(ewmh, conn_->screenNumber()), &supported,
                                         nullptr)) {
            bool partial = std::find(supported.atoms, supported.atoms + supported.atoms_len,
                                     conn_->atom("_NET_WM_STRUT_PARTIAL")) != supported.atoms + supported.atoms_len;
            xcb_ewmh_get_atoms_reply_wipe(&supported);
            if (!partial)
                log("the window manager does not say it keeps space for panels (_NET_WM_STRUT_PARTIAL); maximised "
                    "windows are moved beside the dock instead");
        }
    }
    if (strut.values == state.written) {
        if (!space) reserved_.erase(id);
        return;
    }
    auto* c = conn_->connection();
    auto window = xcb_window_t(id);
    if (strut.values) {
        const auto& v = *strut.values;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, conn_->atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL,
                            32, 12, v.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, conn_->atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 32, 4,
                            v.data());
    } else {
        xcb_delete_property(c, window, conn_->atom("_NET_WM_STRUT_PARTIAL"));
        xcb_delete_property(c, window, conn_->atom("_NET_WM_STRUT"));
    }
    conn_->flush();
    state.written = strut.values;
    if (!space) reserved_.erase(id);
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
