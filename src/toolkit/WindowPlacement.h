#pragma once
// Placing a window along one edge of its screen (left, bottom, right or top), at the
// start, the centre or the end of that edge or stretched over all of it, and the size
// accessors a panel sizes itself with before it is placed.
//
// A window is a top-level QWidget; frames are in the platform's coordinates (origin at
// the bottom-left, y up; see WindowGeometry). "Start" is the top end of a vertical edge
// and the left end of a horizontal one; "End" the bottom end and the right end.
//
// Each placement reads, when it runs: the window's screen (the one holding the largest
// part of the window), that screen's frame and visible frame (the frame less what other
// panels keep clear along its edges), the size of the window's frame, the indent rule
// and whether a menu bar shows. It sets one frame,
// in coordinates local to that screen: (0, 0) is the screen's lower-left corner. Only
// the sizes of the screen are used, never its origin, so a caller placing a window on
// a screen whose origin is not (0, 0) adds that origin to the window's origin
// afterwards (the dock panel does).
//
// Main thread only.

#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"

class QWidget;

namespace qs::NSWindow_Utilities {

// A window with an indent rule of its own (the dock panel) implements this next to
// QWidget; the placements then ask it in place of the "Indent" user default.
class IndentRule {
public:
    virtual ~IndentRule() = default;
    virtual bool hasIndent() const = 0;
};

// How far an indented window keeps from its edge (left, right and bottom edges only).
inline constexpr double kIndent = 6.0;
// Room left for a visible menu bar: on the left and right edges, and on the top edge.
inline constexpr double kMenuBarSideAllowance = 22.0;
inline constexpr double kMenuBarTopAllowance = 20.0;

// The window's own rule when it implements IndentRule; otherwise the bool user default
// "Indent" (absent reads NO).
bool hasIndent(const QWidget* window);

// The width and height of the window's frame.
double width(const QWidget* window);
double height(const QWidget* window);
// Keeps the origin and height and sets the width, then redisplays, even when the width
// does not change.
void setWidth(QWidget* window, double width);
// Keeps the origin (the lower-left corner) and width and sets the height, then
// redisplays; the top edge moves. A height equal to the current one changes nothing
// and redisplays nothing.
void setHeight(QWidget* window, double height);

void alignLeftStart(QWidget* window);
void alignLeftCenter(QWidget* window);
void alignLeftEnd(QWidget* window);
void alignLeftAndFill(QWidget* window);
void alignRightStart(QWidget* window);
void alignRightCenter(QWidget* window);
void alignRightEnd(QWidget* window);
void alignRightAndFill(QWidget* window);
void alignBottomStart(QWidget* window);
void alignBottomCenter(QWidget* window);
void alignBottomEnd(QWidget* window);
void alignBottomAndFill(QWidget* window);
void alignTopStart(QWidget* window);
void alignTopCenter(QWidget* window);
void alignTopEnd(QWidget* window);
void alignTopAndFill(QWidget* window);

// The computation behind the sixteen placements, on plain sizes.
enum class Edge { Left, Bottom, Right, Top };
enum class Alignment { Start, Center, End, Fill };

struct PlacementInput {
    bool hasScreen = true;
    Size screen;       // the size of the screen's frame; zero without a screen
    Size visible;      // the size of the screen's visible frame; zero without a screen
    Size window;       // the size of the window's frame
    bool indent = false;
    bool menuBarVisible = false;
    // What other panels keep clear along each edge of the screen (the frame less the
    // visible frame, edge by edge).
    double reservedLeft = 0, reservedBottom = 0, reservedRight = 0, reservedTop = 0;
};

// The screen's part of the input: its sizes and what other panels keep clear on it;
// without a screen, hasScreen is NO and the sizes are zero.
PlacementInput placementInputOn(const ScreenPtr& screen);

// The frame, local to the screen. The indent moves the window away from its edge (right
// for the left edge, left for the right edge, up for the bottom edge; never for the
// top edge). A visible menu bar shortens the left and right edges at their start and
// fill placements by 22 points and lowers every top placement by 20. The vertical
// centre is half the visible frame's height, the horizontal centre half the frame's
// width. A fill stretches only the length along the edge; a window without a screen
// keeps its length (there is no edge to fill). The other placements keep out of what
// other panels reserve: a window on an edge stands beside the panel on that edge, a
// start, end or fill stays clear of the panels on the edges it runs towards (the menu
// bar's allowance applies where a top panel leaves less room).
Rect placedFrame(Edge edge, Alignment alignment, const PlacementInput& input);

}  // namespace qs::NSWindow_Utilities
