#pragma once
// Path helpers: paths with set line widths, rounded rectangles with per-corner radii,
// pill-shaped plates, end-capped bars, chevrons, triangles and a down arrow; fills and
// frames of rounded rectangles and ovals; erasing; a faint grid; small template images
// drawn from such paths; and conversions. Coordinates are y-up points unless a member
// takes a flipped flag. Drawing members draw into the current graphics context.

#include <QPainterPath>
#include <optional>

#include "platform/foundation/Image.h"
#include "platform/ui/BezierPath.h"
#include "platform/ui/Color.h"

class QWidget;

namespace qs::NSBezierPath_NTExtensions {

// Triangle directions as seen on screen.
enum TriangleDirection : int { Up = 0, Down = 1, Left = 2, Right = 3 };

// Factories.
BezierPathPtr newPath();                  // empty; line width 1.0, flatness 0.001
BezierPathPtr ovalPath(const Rect& rect);  // line width 1.5, flatness 0.01
BezierPathPtr rectPath(const Rect& rect);  // line width 1.0, flatness 0.01
BezierPathPtr roundRectPath(const Rect& rect, double radius);
BezierPathPtr roundRectPath(const Rect& rect, double topRadius, double bottomRadius);
BezierPathPtr roundRectPath(const Rect& rect, double topLeftRadius, double topRightRadius, double bottomLeftRadius,
                            double bottomRightRadius);
BezierPathPtr bottomRoundRectPath(const Rect& rect, double radius);
BezierPathPtr bezierPathWithPlateInRect(const Rect& rect);
BezierPathPtr bezierPathWithPlateInRect(const Rect& rect, bool onLeft, bool onRight);
BezierPathPtr bezierPathWithTopPlateInRect(const Rect& rect);
BezierPathPtr endcappedBezierPathForRect(const Rect& rect, int capWidth);
BezierPathPtr chevronPath(const Rect& rect, bool pointingRight);
// An empty path for a direction outside 0...3.
BezierPathPtr trianglePath(const Rect& rect, int direction, bool flipped);
BezierPathPtr downArrowPath(const Rect& rect);

// Appending one closed subpath to a path.
void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double radius);
void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double topRadius, double bottomRadius);
void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double topLeftRadius,
                                          double topRightRadius, double bottomLeftRadius, double bottomRightRadius);
// Pass a bool as the last argument: the left (YES) or right (NO) corners get the full
// radius, the others half of it.
void appendBezierPathWithRoundedRectangle(BezierPath& path, const Rect& rect, double radius, bool leftSideOnly);
void appendBezierPathWithBottomRoundedCorners(BezierPath& path, const Rect& rect, double radius);
void appendBezierPathWithPlateInRect(BezierPath& path, const Rect& rect, bool onLeft, bool onRight);
void appendBezierPathWithTopPlateInRect(BezierPath& path, const Rect& rect);

// Drawing.
// Fills the rounded rectangle with the current colour, then (with a frame colour) shows
// a frame of frameWidth / 2 just inside its edge.
void fillRoundRect(const Rect& rect, double radius, const ColorPtr& frameColor, double frameWidth);
void fillRoundRect(const Rect& rect, double radius, const ColorPtr& frameColor);
void fillRoundRect(const Rect& rect, double radius);
void frameRoundRect(const Rect& rect, double radius);
// With a frame colour, that colour stays the current one afterwards.
void fillOval(const Rect& rect, const ColorPtr& frameColor);
void fillOval(const Rect& rect);
void strokeOval(const Rect& rect);
void fillTriangle(const Rect& rect, int direction, bool flipped);
// Makes the rectangle fully transparent (the current colours are kept).
void eraseRect(const Rect& rect);
void erasePath(const BezierPath& path);
void drawGridEffect(const Rect& rect, bool isFlipped);

// Images.
ImagePtr convertToImage(const BezierPath& path, const ColorPtr& fillColor, const ColorPtr& frameColor,
                        bool isTemplate);
ImagePtr downArrowImage(const Rect& rect);
ImagePtr upArrowImage(const Rect& rect);
ImagePtr downTriangleImage(const Rect& rect, bool flipped);
ImagePtr rightTriangleImage(const Rect& rect);
ImagePtr leftTriangleImage(const Rect& rect);
ImagePtr gridImage(const Rect& rect);

// Conversions and queries.
bool isClosed(const BezierPath& path);
BezierPathPtr closedPath(const BezierPathPtr& path);
// Flips the path within the rectangle's height when the view is flipped, then moves it
// by the rectangle's origin (the path itself changes).
void transformPathForView(BezierPath& path, const QWidget* view, const Rect& bounds);
// The path as a closed-off painter path; nothing for an empty path.
std::optional<QPainterPath> CGPath(const BezierPath& path);

}  // namespace qs::NSBezierPath_NTExtensions
