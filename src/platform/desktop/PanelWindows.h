#pragma once
// What the window system is told about the dock's panels beyond what Qt tells it: a
// panel stands on every desktop, is left out of task bars and pagers and stays above
// normal windows; it may keep the space along its edge clear of other windows; with a
// compositing manager it asks for the background behind it to be blurred. Windows are
// named by their native id (QWidget::winId()).
//
// The backend installs the real one; without one nothing is told (the sim backend
// records the calls).

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/Geometry.h"

namespace qs::desktop {

// The space a panel keeps clear along the screen edge it stands on: from that edge to
// the panel's far side, across the panel's length.
struct ReservedSpace {
    int edge = 1;  // the edge: 0 left, 1 bottom, 2 right, 3 top
    Rect panel;    // the panel's frame, platform coordinates
    bool operator==(const ReservedSpace&) const = default;
};

class PanelWindows {
public:
    virtual ~PanelWindows() = default;
    // Before the window is mapped (again): every desktop, no task bar or pager entry,
    // above other windows when `above`.
    virtual void prepareDockPanel(uint64_t window, bool above) = 0;
    // After it is mapped: the same asked of the window manager.
    virtual void dockPanelMapped(uint64_t window, bool above) = 0;
    // Keeps `space` clear of other windows (the window manager keeps maximised and new
    // windows out of it), or gives it back with nullopt. A space that cannot be expressed
    // (an edge between two monitors, more than half the screen) is not kept; a log line
    // says why. The space goes with the window.
    virtual void reserveSpace(uint64_t window, const std::optional<ReservedSpace>& space) = 0;
    // Blur of what lies behind the whole window, on or off.
    virtual void setBlurBehind(uint64_t window, bool blur) = 0;

    static std::shared_ptr<PanelWindows> installed();
    static void install(std::shared_ptr<PanelWindows> panels);
};

}  // namespace qs::desktop
