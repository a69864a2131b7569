#pragma once
// Screen frames in accessibility coordinates (origin at the top-left of the first
// screen, y down), and a few operations on the screen list.

#include <memory>

#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"

namespace qs::NSScreen_PointConversion {

// The first screen whose frame origin is exactly (0, 0); nullptr when none.
ScreenPtr originScreen();
// A platform rectangle (y up) in accessibility coordinates, about the height of the
// first screen's frame (0 with no screens), read afresh on every call.
Rect convertToAccessibility(const Rect& platformRect);
Rect frameIncludingDockAndMenu(const Screen& screen);
Rect frameWithoutDockOrMenu(const Screen& screen);
// The first screen whose frame holds the pointer (platform coordinates); nullptr when
// none.
ScreenPtr currentScreenForMouseLocation();
// Cyclic neighbours in the screen list; nullptr for a screen no longer listed.
ScreenPtr nextScreen(const Screen& screen);
ScreenPtr previousScreen(const Screen& screen);
Point flipPoint(const Screen& screen, const Point& point);
// The point relative to the screen's origin.
Point convertPointToScreenCoordinates(const Screen& screen, const Point& point);
// YES when exactly one display lies under the screen (the angle is not used).
bool rotateTo(const Screen& screen, double angle);

}  // namespace qs::NSScreen_PointConversion
