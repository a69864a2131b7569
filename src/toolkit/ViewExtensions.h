#pragma once
// Helpers for every view (a QWidget): frame accessors by edge, searches up and down the
// widget tree, first-responder tests, scrolling by fraction, line, page or percentage,
// mouse tracking, a few drawing aids and a dump for debugging.
//
// Geometry is that of platform/ui/ViewGeometry.h: a view's frame is its rectangle in its
// superview's coordinates, and the accessors are named for y growing downwards (as in a
// flipped superview, which every plain Qt widget is): `top` is the frame's y, `bottom`
// its y + height. In a superview declared unflipped the same numbers count from the
// superview's bottom edge, y up.
//
// Kinds of views are Qt class names, matched with QObject::inherits.
//
// "Responds to a selector": an object answers a selector when its meta-object has a
// method of that name that can be invoked from outside (a Q_INVOKABLE method or a slot;
// signals do not count). The selector is given as the C++ method name.
//
// Scrolling: a view scrolls when it is the document view of a scroll view (the widget()
// of a QScrollArea), or lies inside one. Its visible rectangle is then the part the
// viewport shows. The scroll view's line scroll is the vertical scroll bar's single
// step; its page scroll is what a page keeps in view: the viewport height less the
// scroll bar's page step. A document view can change where scrolls end by also deriving
// from ScrollAdjusting.

#include <optional>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"
#include "platform/ui/Color.h"
#include "platform/ui/Event.h"

class QObject;
class QScrollArea;
class QWidget;

namespace qs {

class ScrollAdjusting {
public:
    virtual ~ScrollAdjusting() = default;
    // The visible rectangle (the view's coordinates) that a line, page or pixel scroll is
    // about to show, as the view wants it shown.
    virtual Rect adjustScroll(const Rect& proposedVisibleRect) = 0;
};

namespace NSView_CoreExtensions {

// Frame accessors. Every setter applies the new frame with ViewGeometry::setFrame.
double left(const QWidget* view);
void setLeft(QWidget* view, double left);
double top(const QWidget* view);
void setTop(QWidget* view, double top);
double right(const QWidget* view);
// Only when the value differs from `right`: x = value − width.
void setRight(QWidget* view, double right);
double bottom(const QWidget* view);
// Only when the value differs from `bottom`: y = value − height.
void setBottom(QWidget* view, double bottom);
double width(const QWidget* view);
void setWidth(QWidget* view, double width);     // always applied
double height(const QWidget* view);
void setHeight(QWidget* view, double height);   // only when it differs
Point origin(const QWidget* view);
void setOrigin(QWidget* view, const Point& origin);
Size size(const QWidget* view);
void setSize(QWidget* view, const Size& size);
// The centre of the bounds.
double centerX(const QWidget* view);
double centerY(const QWidget* view);

// The widget tree. Subviews are the child widgets that are not windows of their own,
// in Qt's child order.
std::vector<QWidget*> subviews(const QWidget* view);
// The nearest superview (not the view itself) of the kind.
QWidget* findKindOfEnclosingView(const QWidget* view, const char* className);
// A direct subview of the kind first; failing that, the same question asked of each
// subview in order.
QWidget* findKindOfSubview(const QWidget* view, const char* className);
// The view itself when of the kind, else depth first through the subviews.
QWidget* descendantOrSelfWithClass(QWidget* view, const char* className);
// Every descendant of the kind, depth first (each subview before its own matches).
std::vector<QWidget*> subviewsWithClass(const QWidget* view, const char* className);
// Depth first: a subview that is a scroll view, else the first found inside it.
QScrollArea* findScrollView(const QWidget* view);
// The nearest superview that answers the selector; failing that, the delegate of the
// view's window when it answers it (WindowAttributes::delegate); else nullptr.
QObject* parentWhichRespondsToSelector(const QWidget* view, const char* selector);
// Whether `parent` is the view's superview, or its superview's, and so on.
bool isParentView(const QWidget* view, const QWidget* parent);
// The view's window, or the parent window when that window is a drawer's.
QWidget* contentWindow(const QWidget* view);
// add YES: `subview` becomes a subview of `view` when it has no superview (shown unless
// it was hidden on purpose). add NO: `subview` leaves its superview when it has one; it
// is then a hidden parentless widget that belongs to the caller.
void add(QWidget* view, bool add, QWidget* subview);
// Takes `oneView` out of its superview, deletes it (later, from the event loop) when the
// superview owned it, and sets the variable to nullptr.
void removeOneView(QWidget* view, QWidget*& oneView);
// Takes every subview out, the last first; they belong to the caller from then on.
void removeAllSubviews(QWidget* view);
// Every subview gets the view's bounds as its frame, and so on down the tree.
void resizeSubviewsToParentBounds(QWidget* view);
// Every subview gets the view's bounds size (its origin kept), then
// resizeSubviewsToParentBounds below it.
void resizeSubviewsToParentSize(QWidget* view);
// The view and every descendant, parent before children, are marked for repainting /
// are repainted now (one synchronous repaint of the view paints its subtree).
void setNeedsDisplayForSubviews(QWidget* view);
void displayIfNeededForSubviews(QWidget* view);

// State.
// NO when the view or an ancestor is hidden or the window is not shown, NO when its
// visible rectangle is empty, otherwise YES.
bool isVisible(const QWidget* view);
bool isFirstResponder(const QWidget* view);
bool isInitialFirstResponder(const QWidget* view);
// The window's focus widget is the view or one of its descendants.
bool containsFirstResponder(const QWidget* view);
// The pointer, where the desktop says it is now, lies in the view's bounds (the view's
// flippedness decides which edges count).
bool mouseInRectNow(const QWidget* view);
// The window of the widget being painted through the current graphics context is
// textured (NSWindow_Utilities::isMetallic).
bool drawingInMetallicWindow();

// Mouse tracking.
// NSEvent_Utilities::isDragEvent with the view and no time-out.
bool isDragEvent(const QWidget* view, const Event& event, double dragSlop);
// For a left mouse-down: takes left mouse-ups and left drags from the event queue until
// a mouse-up (answered: a click) or a drag out of the square of side 2 × dragSlop around
// the press (nullopt: a drag); drags inside the square are passed over. It waits in
// slices of 2 seconds and ends with nullopt when the primary button is found up with no
// mouse-up queued (a release that never reached the program). Any other event: nullopt
// at once.
std::optional<Event> trackMouseDown(const QWidget* view, const Event& event, double dragSlop);

// Scrolling. 0 is the top, 1 the end, whichever way the view is flipped.
float fraction(const QWidget* view);
void setFraction(QWidget* view, float fraction);
void scrollToTop(QWidget* view);
void scrollToEnd(QWidget* view);
void scrollDownByLines(QWidget* view, float lines);
void scrollDownByPages(QWidget* view, float pages);
// Moves the visible rectangle down by the amount, lets the view adjust it, scrolls.
void scrollDownByAdjustedPixels(QWidget* view, float amount);
// Fractions 0...1 across (from the left) and down (from the top); 0 on an axis where
// the view is not larger than what is shown, and on both outside a scroll view.
Point scrollPositionAsPercentage(const QWidget* view);
void setScrollPositionAsPercentage(QWidget* view, const Point& percentage);
// The visible rectangle in the view's coordinates (the viewport's part for a view in a
// scroll view), and scrolling so that the point of the view's coordinates becomes the
// visible rectangle's origin.
Rect visibleRect(const QWidget* view);
void scrollPoint(QWidget* view, const Point& point);

// Drawing aids; they draw into the current graphics context.
// A keyboard-focus ring along the bounds, clipped to the visible rectangle.
void drawFocusRing(const QWidget* view);
// A translucent blue rounded rectangle with a 4-point frame, white when selected.
void drawHighlightRing(const Rect& rect, bool selected);
void eraseRect(const QWidget* view, const Rect& rect);
// Finds the nearest object answering `drawBackgroundInSubview` and calls it, graphics
// state saved around the call, as
//     Q_INVOKABLE void drawBackgroundInSubview(QWidget* subview, const QRectF& rect);
// with this view and the answering view's bounds in this view's coordinates (for the
// window's delegate, the window's bounds).
void askParentToDrawBackground(const QWidget* view);
// An image of what the view draws in the rectangle of its coordinates (the bounds for
// the zero rectangle), its subviews included, transparent where nothing is drawn.
ImagePtr viewImage(const QWidget* view, const Rect& rect);
// Descendant text fields that draw no background (labels that do not fill theirs,
// frameless line edits) are made to draw one in the colour; descendant check boxes get
// the colour as their background.
void setBackgroundColorOnSubviews(QWidget* view, const ColorPtr& color);

// Logs the view's class, frame, opacity and whether it has a native surface; then either
// the whole subtree (down) or every ancestor up to the window.
void debugViews(const QWidget* view, bool down);

}  // namespace NSView_CoreExtensions

}  // namespace qs
