#pragma once
// Screens (the platform's NSScreen). Frames are in platform coordinates: origin at the
// bottom-left of the first screen, y up. A screen object stays the same object for as
// long as its output exists, so screens compare by identity.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"

namespace qs {

class Screen : public Object {
public:
    std::string className() const override { return "NSScreen"; }

    virtual Rect frame() const = 0;
    // The frame less the areas reserved by panels (struts), in the same coordinates.
    virtual Rect visibleFrame() const = 0;
    virtual std::string localizedName() const = 0;
    virtual double backingScaleFactor() const { return 1.0; }

    // Every screen, the primary one (the platform's "screen with the menu bar") first.
    static std::vector<std::shared_ptr<Screen>> screens();
    // The screen of the active window (falling back to the primary screen); nullptr
    // when there are no screens.
    static std::shared_ptr<Screen> mainScreen();
    // The screen holding the largest part of the rectangle (platform coordinates);
    // nullptr when it lies on none.
    static std::shared_ptr<Screen> screenWithLargestPartOf(const Rect& rect);
};

using ScreenPtr = std::shared_ptr<Screen>;

}  // namespace qs
