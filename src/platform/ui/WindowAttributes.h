#pragma once
// What the platform's window object answers besides its frame (platform/ui/
// WindowGeometry.h has the frame), for top-level QWidgets.
//
// - Level: 0 normal, 3 floating, higher for pop-up levels; any level above 0 keeps the
//   window above others (Qt::WindowStaysOnTopHint, _NET_WM_STATE_ABOVE on X11).
// - Style mask: the platform's bits (titled 1<<0, closable 1<<1, miniaturizable 1<<2,
//   resizable 1<<3, textured background 1<<8), read from the Qt window flags; 0 for a
//   frameless window. Qt has no textured windows, so bit 8 is never set.
// - Delegate: any QObject the owner attaches; its kind is its Qt class
//   (QObject::inherits / the meta-object's class name).
// - Alpha: kept exactly as set (Qt's own opacity is stored in 1/255 steps) and passed to
//   Qt as the window opacity (_NET_WM_WINDOW_OPACITY; visible with a compositor).
// - Frame and content rectangles: Qt places a window by its client area and the window
//   manager's decorations lie outside it, so both rectangles are the same here.

#include "platform/foundation/Geometry.h"

class QObject;
class QWidget;

namespace qs::WindowAttributes {

enum StyleMask : unsigned {
    Borderless = 0,
    Titled = 1u << 0,
    Closable = 1u << 1,
    Miniaturizable = 1u << 2,
    Resizable = 1u << 3,
    TexturedBackground = 1u << 8,
};

constexpr int NormalWindowLevel = 0;
constexpr int FloatingWindowLevel = 3;

int level(const QWidget* window);
void setLevel(QWidget* window, int level);
unsigned styleMask(const QWidget* window);
// A window that takes the keyboard focus: not a menu, tool tip or splash, and not
// refusing the focus (Qt::WindowDoesNotAcceptFocus, as the dock's panels do).
bool canBecomeKeyWindow(const QWidget* window);
// A key-capable plain window or dialog (a tool window is a panel: never main).
bool canBecomeMainWindow(const QWidget* window);
bool isMiniaturized(const QWidget* window);

QObject* delegate(const QWidget* window);
void setDelegate(QWidget* window, QObject* delegate);

double alphaValue(const QWidget* window);
void setAlphaValue(QWidget* window, double alpha);
// Redraws the window at once.
void display(QWidget* window);

// The widget of the window that has (or will have) the keyboard focus; nullptr when none.
QWidget* firstResponder(const QWidget* window);
// The widget that takes the focus when the window becomes active while none has it: the
// window's focus proxy, else the first widget of its tab chain that takes the focus by
// Tab (enabled, shown in the window, not a focus proxy's owner); nullptr when none.
QWidget* initialFirstResponder(const QWidget* window);
// Gives the view the focus (nullptr: takes it from whoever has it); NO when the view
// cannot take it (not in the window, disabled, or taking no focus).
bool makeFirstResponder(QWidget* window, QWidget* view);
// Ends editing in the window: the focused editor loses the focus and commits.
void endEditingFor(QWidget* window);

Rect frameRectForContentRect(const QWidget* window, const Rect& content);
Rect contentRectForFrameRect(const QWidget* window, const Rect& frame);
// Sets the frame in platform coordinates. An animated change of a shown window moves
// and sizes it over animationResizeTime on the main run loop (eased, a step per screen
// refresh), ending exactly on the frame; a hidden window, or a change without
// animation, takes the frame at once. Any later frame ends a running animation where it
// stands.
void setFrame(QWidget* window, const Rect& frame, bool display, bool animate);
// The platform's resize time: kResizeTimePer150Points for every 150 points that the
// frame's farthest-moving edge travels.
constexpr double kResizeTimePer150Points = 0.2;
double animationResizeTime(const QWidget* window, const Rect& frame);
bool isAnimatingFrame(const QWidget* window);
// Installs the view as the window's content: it fills the window from now on. A null
// view removes the current content view.
void setContentView(QWidget* window, QWidget* view);
QWidget* contentView(const QWidget* window);
// The top-left point for a window cascaded from a window whose top-left is `topLeft`:
// 20 points right and 20 points down.
Point cascadeTopLeftFromPoint(const QWidget* window, const Point& topLeft);

// Flushing is Qt's business; the counter only answers the platform's questions.
void disableFlushWindow(QWidget* window);
void enableFlushWindow(QWidget* window);
bool isFlushWindowDisabled(const QWidget* window);

}  // namespace qs::WindowAttributes
