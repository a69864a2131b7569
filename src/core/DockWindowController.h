#pragma once
// The dock manager's view of a dock panel, and the controller that wraps each panel.
//
// The panel itself is a widget of the dock interface; the core only knows this
// interface, and the manager makes panels through a factory that the interface
// installs (tests install a recording fake).

#include <memory>

#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"

namespace qs {

class DockModel;
class DockConfiguration;

class DockPanelWindow {
public:
    virtual ~DockPanelWindow() = default;

    // First appearance: stores the screen, orders the panel in and fades it in.
    virtual void fadeInOnScreen(ScreenPtr screen) = 0;
    virtual void orderOut() = 0;
    virtual void close() = 0;
    // 0.0 while the panel is hidden (auto-hide) or not on screen.
    virtual double alphaValue() const = 0;
    // The screen the panel belongs to; nullptr before fadeInOnScreen.
    virtual ScreenPtr screen() const = 0;
    // Frames for maximised windows beside the dock, in accessibility coordinates.
    virtual Rect maxFrameForMaximize() const = 0;
    // The zero rectangle when the dock is not at the bottom.
    virtual Rect maxFrameForVerticalMaximizeFrame(const Rect& frame) const = 0;
};

using DockPanelWindowPtr = std::shared_ptr<DockPanelWindow>;

class DockWindowController {
public:
    // initWithWindow:
    explicit DockWindowController(DockPanelWindowPtr window) : window_(std::move(window)) {}
    static std::shared_ptr<DockWindowController> initWithWindow(DockPanelWindowPtr window) {
        return std::make_shared<DockWindowController>(std::move(window));
    }

    const DockPanelWindowPtr& window() const { return window_; }

private:
    DockPanelWindowPtr window_;
};

using DockWindowControllerPtr = std::shared_ptr<DockWindowController>;

}  // namespace qs
