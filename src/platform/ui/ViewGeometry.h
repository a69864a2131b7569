#pragma once
// What the platform's view object answers of its geometry, for QWidgets.
//
// Qt widgets lay out with y down, so a widget is a flipped view unless it says
// otherwise: a widget whose property "isFlipped" is false is an unflipped view, with its
// bounds' origin at the bottom-left and y up (what the widget paints through a y-up
// graphics context).
//
// A view's superview is its parent widget within the same window; a window (a top-level
// widget, or a child widget shown as a window of its own) has none. A view's frame is its
// rectangle in its superview's coordinates; a view without a superview answers its Qt
// geometry.

#include <QPointF>
#include <QRectF>

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

QWidget* superview(const QWidget* view);
Rect frame(const QWidget* view);
// Applies the frame with QWidget::setGeometry (whole points, rounded), also when it is
// the frame the view has: Qt then counts the widget as explicitly placed and sized.
void setFrame(QWidget* view, const Rect& frame);

// Between a view's own coordinates and Qt's local ones (top-left, y down): the same for
// a flipped view, mirrored about the view's height otherwise. A null view is flipped.
Point pointFromQt(const QWidget* view, const QPointF& local);
QPointF qtPoint(const QWidget* view, const Point& point);
Rect rectFromQt(const QWidget* view, const QRectF& local);
QRectF qtRect(const QWidget* view, const Rect& rect);

// A point or rectangle of `from`'s coordinates in `to`'s coordinates (the views may lie
// in different windows). Unchanged when either view is null.
Point convertPoint(const Point& point, const QWidget* from, const QWidget* to);
Rect convertRect(const Rect& rect, const QWidget* from, const QWidget* to);

}  // namespace qs::ViewGeometry
