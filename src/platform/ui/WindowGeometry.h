#pragma once
// Top-level widgets in the platform's coordinates. Window and screen frames are given
// with the origin at the bottom-left of the first screen and y up; Qt places widgets
// with the origin at the top-left of the first screen and y down. The mirror about the
// first screen's height is its own inverse, so one conversion serves both directions.

#include <QRect>

#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"

class QWidget;

namespace qs::WindowGeometry {

QRect qtRectFromPlatform(const Rect& platformRect);
Rect platformRectFromQt(const QRect& qtRect);

// The window's frame (its outer geometry) in platform coordinates.
Rect frame(const QWidget* window);
// Moves and sizes the window; with display, the window repaints at once.
void setFrame(QWidget* window, const Rect& frame, bool display);
// The screen holding the largest part of the window's frame; nullptr when the window
// lies on no screen.
ScreenPtr screen(const QWidget* window);

}  // namespace qs::WindowGeometry
