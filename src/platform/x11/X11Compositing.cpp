#include "platform/x11/X11Compositing.h"

#include <cstdlib>
#include <string>

#include "platform/x11/XConnection.h"

namespace qs::x11 {

bool X11Compositing::isCompositingManagerRunning() {
    if (!conn_ || !conn_->isValid()) return false;
    xcb_atom_t selection = conn_->atom("_NET_WM_CM_S" + std::to_string(conn_->screenNumber()));
    if (selection == XCB_ATOM_NONE) return false;
    xcb_connection_t* c = conn_->connection();
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

}  // namespace qs::x11
