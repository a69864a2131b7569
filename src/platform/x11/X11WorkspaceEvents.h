#pragma once
// Workspace events of an X11 desktop, posted on the workspace centre:
//   "NSWorkspaceActiveSpaceDidChangeNotification"   _NET_CURRENT_DESKTOP changed
//   "NSWorkspaceActiveDisplayDidChangeNotification" the screen in use changed: the active
//                                                   window is on another screen than
//                                                   before (with none active, the
//                                                   pointer's screen counts)
//   "NSWorkspaceDidWakeNotification"                login1 PrepareForSleep(false)
// Without a system bus there are no wake notifications (one log line says so).

#include <memory>

#include "platform/x11/SettleTimer.h"
#include "platform/x11/X11WindowServer.h"

#include <xcb/xcb.h>

#include "platform/desktop/Screen.h"

class QObject;

namespace qs::x11 {

class XConnection;
class X11Screens;

class X11WorkspaceEvents {
public:
    X11WorkspaceEvents(std::shared_ptr<XConnection> connection, std::shared_ptr<X11Screens> screens);
    ~X11WorkspaceEvents();
    X11WorkspaceEvents(const X11WorkspaceEvents&) = delete;
    X11WorkspaceEvents& operator=(const X11WorkspaceEvents&) = delete;

    bool listensForWake() const { return wakeListener_ != nullptr; }

private:
    void onEvent(const xcb_generic_event_t* event);
    void activeWindowChanged();
    uint32_t currentDesktop();

    std::shared_ptr<XConnection> conn_;
    std::shared_ptr<X11Screens> screens_;
    int listener_ = 0;
    xcb_atom_t currentDesktopAtom_ = XCB_ATOM_NONE;
    xcb_atom_t activeWindowAtom_ = XCB_ATOM_NONE;
    uint32_t lastDesktop_ = 0xFFFFFFFF;
    std::weak_ptr<Screen> lastScreen_;
    QObject* wakeListener_ = nullptr;
    // Looked at once the window list has read the change of the active window.
    SettleTimer activeCheck_{X11WindowServer::kEventSettle + 0.005, [this] { activeWindowChanged(); }};
};

}  // namespace qs::x11
