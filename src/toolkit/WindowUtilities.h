#pragma once
// General window operations on top-level QWidgets (the window helpers besides the edge
// placement): the application's visible and minimised windows, cascading, floating,
// whether a window draws its controls dimmed, first-responder housekeeping, resizing
// for a content size, and fading in a blocking loop.
//
// Delegate kinds are Qt class names, matched with QObject::inherits (the delegate is
// what WindowAttributes::setDelegate attached to the window).
//
// Qt has no drawers: no window is a drawer's window, so the drawer answers are those of
// a plain window (the window itself, or nullptr). The platform's open-menu window is a
// QMenu shown as a pop-up.

#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"

#include <QWidget>

namespace qs {

// A window as an object that notifications can carry: one object per window, for as
// long as the window lives (nullptr after it is gone).
class WindowObject : public Object {
public:
    explicit WindowObject(QWidget* window) : window_(window) {}
    std::string className() const override { return "NSWindow"; }
    QWidget* window() const { return window_.data(); }

private:
    QPointer<QWidget> window_;
};
std::shared_ptr<WindowObject> windowObject(QWidget* window);

namespace NSWindow_Utilities {

// The application's windows that can become key and are visible (all of them that can
// become key while the application is hidden), front to back when ordered; with a
// delegate class name, only those whose delegate is of that kind.
std::vector<QWidget*> visibleWindows(bool ordered, const char* delegateClass);
std::vector<QWidget*> visibleWindows(bool ordered);
bool isAnyWindowVisible();
bool isAnyWindowVisibleWithDelegateClass(const char* delegateClass);
std::vector<QWidget*> miniaturizedWindows();
// Places the window on the cascade of the front-most other window of its exact class
// with a delegate of the same exact class, at that window's size; leaves it alone when
// there is none.
void cascadeWindow(QWidget* window);
bool windowRectIsOnScreen(const Rect& rect);
// The class of drawer windows: none under Qt.
const char* drawerWindowClass();

QWidget* topWindowWithDelegateClass(QWidget* window, const char* delegateClass);
void setFloating(QWidget* window, bool floating);
bool isFloating(const QWidget* window);
bool isBorderless(const QWidget* window);
bool isMetallic(QWidget* window);
QWidget* parentWindowIfDrawerWindow(QWidget* window);
bool isDrawerWindow(const QWidget* window);
QWidget* drawersParentWindow(QWidget* window);
bool keyWindowIsMenu(const QWidget* window);
// Whether the window draws its controls dimmed: for not being the main window /
// for not being the key window (while a menu is open, as for the main window).
bool dimControls(QWidget* window);
bool dimControlsKey(QWidget* window);
// Posts "NTSetDefaultFirstResponderNotification" with the window's object.
void setDefaultFirstResponder(QWidget* window);
// Makes an editor in the window commit its edit by taking the focus away and back.
void flushActiveTextFields(QWidget* window);
// The frame giving a content area of the size with the top-left corner kept.
Rect windowFrameForContentSize(QWidget* window, const Size& size);
// Sizes the window to that frame, animated (a shown window gets there over the
// platform's resize time); returns the frame it goes to.
Rect resizeWindowToContentSize(QWidget* window, const Size& size, bool display);
// Installs the view as content view and sizes the window to the view's bounds, the
// top-left corner kept, animated; returns the new frame.
Rect setContentViewAndResizeWindow(QWidget* window, QWidget* view, bool display);
QWidget* copyWithZone(QWidget* window);

void wendle_forceEndEditingForView(QWidget* window, QWidget* view);
// Sets the alpha to percent / 100 (the percent clamped to 0...100) and redraws at once.
void wendle_fadeTo(QWidget* window, double percent);
// Fades in or out over the interval in a loop that holds the calling thread, redrawing
// and calling the callback on every pass; ends at exactly 100 % (in) or 0 % (out).
void wendle_fadeIn(QWidget* window, bool fadeIn, double interval);
void wendle_fadeIn(QWidget* window, bool fadeIn, double interval, const std::function<void()>& callback);
// Resizes the window so that the view gets the size: the top edge stays, the window
// grows leftwards by half the width change when centred; animated while it is shown.
void wendle_setFrameSoView(QWidget* window, QWidget* view, const Size& hasSize, bool centerHorizontalPostion);

}  // namespace NSWindow_Utilities

}  // namespace qs
