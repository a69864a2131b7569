#pragma once
// What the platform's view object answers of its geometry, for QWidgets.
//
// Qt widgets lay out with y down, so a widget is a flipped view unless it says
// otherwise: a widget whose property "isFlipped" is false is an unflipped view, with its
// bounds' origin at the bottom-left and y up (what the widget paints through a y-up
// graphics context).

#include "platform/foundation/Geometry.h"

class QWidget;

namespace qs::ViewGeometry {

bool isFlipped(const QWidget* view);
void setFlipped(QWidget* view, bool flipped);
// (0, 0, width, height).
Rect bounds(const QWidget* view);
// The part of the bounds that is not hidden by an ancestor's edges or by other widgets,
// in the view's own coordinates; a widget not on screen answers its bounds.
Rect visibleRect(const QWidget* view);

}  // namespace qs::ViewGeometry
