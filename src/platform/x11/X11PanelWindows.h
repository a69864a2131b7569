#pragma once
// The dock panels' window properties on X11 (EWMH): _NET_WM_DESKTOP 0xFFFFFFFF,
// _NET_WM_STATE with _NET_WM_STATE_STICKY, _NET_WM_STATE_SKIP_TASKBAR,
// _NET_WM_STATE_SKIP_PAGER and _NET_WM_STATE_ABOVE, written on the unmapped window and
// asked of the window manager by client messages once it is mapped; the space kept clear
// along its edge through _NET_WM_STRUT_PARTIAL and _NET_WM_STRUT (written only when they
// change); blur behind through _KDE_NET_WM_BLUR_BEHIND_REGION (an empty region: the
// whole window). Requests only: nothing waits for a reply.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/PanelWindows.h"

namespace qs::x11 {

class XConnection;

class X11PanelWindows : public desktop::PanelWindows {
public:
    explicit X11PanelWindows(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {}
    void prepareDockPanel(uint64_t window, bool above) override;
    void dockPanelMapped(uint64_t window, bool above) override;
    void reserveSpace(uint64_t window, const std::optional<desktop::ReservedSpace>& space) override;
    void setBlurBehind(uint64_t window, bool blur) override;

    // The _NET_WM_STRUT_PARTIAL values that keep the band from the root window's edge to
    // the far side of `panel` (root coordinates) clear across the panel's length, for a
    // panel on `edge` (0 left, 1 bottom, 2 right, 3 top) of the monitor holding most of
    // it. None, with the reason, when the panel lies on no monitor, when the band would
    // cross another monitor (the edge lies between two) or take more than half of the
    // monitor.
    struct Strut {
        std::optional<std::array<uint32_t, 12>> values;
        std::string refusal;
    };
    static Strut strutFor(int edge, const Rect& panel, const std::vector<Rect>& monitors, const Size& rootSize);

private:
    void sendState(uint32_t window, bool add, const char* first, const char* second);
    std::shared_ptr<XConnection> conn_;
    struct Reserved {
        std::optional<std::array<uint32_t, 12>> written;
        std::string refusal;
    };
    std::map<uint64_t, Reserved> reserved_;
    bool checkedSupport_ = false;
};

}  // namespace qs::x11
