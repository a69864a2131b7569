#pragma once
// The application's windows (what the platform's application object knows of them):
// the top-level widgets, their front-to-back order, the key window, the main window,
// and hiding the whole application.
//
// Order: Qt does not report the stacking of its own windows, so the order is kept
// here: a window moves to the front when it is shown or activated. Windows never shown
// or activated since the tracking started follow, in Qt's own order.
// Key window: the active window. Main window: the key window when it can be main,
// otherwise the last window that was both (a panel taking the key leaves the main
// window where it was).

#include <vector>

class QWidget;

namespace qs::AppWindows {

// Every top-level widget of the application that is a window (menus and tool tips
// included), in Qt's order.
std::vector<QWidget*> windows();
// The same windows front to back.
std::vector<QWidget*> orderedWindows();
QWidget* keyWindow();
QWidget* mainWindow();

// Hiding the application hides its visible windows and remembers them; unhiding shows
// them again.
bool isHidden();
void hide();
void unhide();

// Starts following activations (done by every call above; the program calls it at
// start so that the order is known from the first window on).
void startTracking();

}  // namespace qs::AppWindows
