#pragma once
// The dock panels' window properties on X11 (EWMH): _NET_WM_DESKTOP 0xFFFFFFFF,
// _NET_WM_STATE with _NET_WM_STATE_STICKY, _NET_WM_STATE_SKIP_TASKBAR,
// _NET_WM_STATE_SKIP_PAGER and _NET_WM_STATE_ABOVE, written on the unmapped window and
// asked of the window manager by client messages once it is mapped; blur behind through
// _KDE_NET_WM_BLUR_BEHIND_REGION (an empty region: the whole window). Requests only:
// nothing waits for a reply.

#include <memory>

#include "platform/desktop/PanelWindows.h"

namespace qs::x11 {

class XConnection;

class X11PanelWindows : public desktop::PanelWindows {
public:
    explicit X11PanelWindows(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {}
    void prepareDockPanel(uint64_t window, bool above) override;
    void dockPanelMapped(uint64_t window, bool above) override;
    void setBlurBehind(uint64_t window, bool blur) override;

private:
    void sendState(uint32_t window, bool add, const char* first, const char* second);
    std::shared_ptr<XConnection> conn_;
};

}  // namespace qs::x11
