#pragma once
// What the window system is told about the dock's panels beyond what Qt tells it: a
// panel stands on every desktop, is left out of task bars and pagers and stays above
// normal windows; with a compositing manager it asks for the background behind it to be
// blurred. Windows are named by their native id (QWidget::winId()).
//
// The backend installs the real one; without one nothing is told (the sim backend
// records the calls).

#include <cstdint>
#include <memory>

namespace qs::desktop {

class PanelWindows {
public:
    virtual ~PanelWindows() = default;
    // Before the window is mapped (again): every desktop, no task bar or pager entry,
    // above other windows when `above`.
    virtual void prepareDockPanel(uint64_t window, bool above) = 0;
    // After it is mapped: the same asked of the window manager.
    virtual void dockPanelMapped(uint64_t window, bool above) = 0;
    // Blur of what lies behind the whole window, on or off.
    virtual void setBlurBehind(uint64_t window, bool blur) = 0;

    static std::shared_ptr<PanelWindows> installed();
    static void install(std::shared_ptr<PanelWindows> panels);
};

}  // namespace qs::desktop
