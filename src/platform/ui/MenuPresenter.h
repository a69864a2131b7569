#pragma once
// Shows the menu model with Qt: a QMenu made of a Menu when it is shown. Each (sub)menu
// asks its delegate to update it (menuNeedsUpdate) just before it appears and takes its
// actions from the model at that moment, so menus filled late show their contents.
// Choosing an entry runs the item's action once, with the item as sender.
//
// While any menu made here is on screen the program is tracking a menu: the first to
// open posts kMenuDidBeginTracking on the default notification centre, the last to close
// kMenuDidEndTracking, so that hover windows (tooltips, previews) keep out of its way.

#include "platform/foundation/Geometry.h"
#include "platform/ui/Menu.h"

class QMenu;
class QWidget;

namespace qs::MenuPresenter {

inline constexpr const char* kMenuDidBeginTracking = "NSMenuDidBeginTrackingNotification";
inline constexpr const char* kMenuDidEndTracking = "NSMenuDidEndTrackingNotification";

// Whether a menu made here is on screen.
bool isTracking();
// Whether a QMenu has an entry to choose (a visible action that is not a separator).
bool hasEntries(const QMenu& menu);

// A QMenu of the model (title; items in order; separators; images; tool tips; states as
// check marks; enabled as the model's menu decides; hidden items left out; submenus). The
// QMenu keeps the model alive. `parent` owns it as any widget child.
QMenu* makeQMenu(const MenuPtr& menu, QWidget* parent = nullptr);

// Pops the menu up and waits until it closes. `location` is in `view`'s own coordinates
// (Qt's, y down); with no view, in screen coordinates. With a positioning item, that
// item is placed at the location. YES when an entry was chosen. A menu with no entry
// (once its delegate has filled it) is not popped up: NO at once.
bool popUpMenuPositioningItem(const MenuPtr& menu, const MenuItemPtr& item, const Point& location, QWidget* view);

// The text Qt shows for a title (an ampersand stays an ampersand).
QString displayText(const std::string& title);

}  // namespace qs::MenuPresenter
