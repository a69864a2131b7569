#include "platform/x11/X11Compositor.h"

#include <cstdlib>
#include <string>

#include "platform/x11/XConnection.h"

namespace qs::x11 {

bool X11Compositor::isCompositing() {
    if (!conn_ || !conn_->isValid()) return false;
    xcb_atom_t selection = conn_->atom("_NET_WM_CM_S" + std::to_string(conn_->screenNumber()));
    if (selection == XCB_ATOM_NONE) return false;
    auto* c = conn_->connection();
    auto* reply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!reply) return false;
    bool owned = reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

}  // namespace qs::x11
