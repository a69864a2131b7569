#include "platform/x11/X11WorkspaceEvents.h"

#include <cstdlib>

#include <QDBusConnection>
#include <QObject>

#include "platform/desktop/Notifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

// Receives login1's PrepareForSleep signal (a slot is needed for the D-Bus connection).
class SleepWatcher : public QObject {
    Q_OBJECT
public slots:
    void prepareForSleep(bool goingToSleep) {
        if (!goingToSleep)
            NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceDidWakeNotification);
    }
};

X11WorkspaceEvents::X11WorkspaceEvents(std::shared_ptr<XConnection> connection, std::shared_ptr<X11Screens> screens)
    : conn_(std::move(connection)), screens_(std::move(screens)) {
    if (conn_) {
        currentDesktopAtom_ = conn_->ewmh()->_NET_CURRENT_DESKTOP;
        activeWindowAtom_ = conn_->ewmh()->_NET_ACTIVE_WINDOW;
        lastDesktop_ = currentDesktop();
        // The screen in use as the dock was placed on it: the active window's, else the
        // pointer's, else the primary one.
        if (screens_) lastScreen_ = screens_->mainScreen();
        listener_ = conn_->addEventListener([this](const xcb_generic_event_t* e) { onEvent(e); });
    }

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        log("no system bus: wake from sleep will not be noticed");
        return;
    }
    auto* watcher = new SleepWatcher();
    if (bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                    "PrepareForSleep", watcher, SLOT(prepareForSleep(bool)))) {
        wakeListener_ = watcher;
    } else {
        log("cannot listen to login1's PrepareForSleep: wake from sleep will not be noticed");
        delete watcher;
    }
}

X11WorkspaceEvents::~X11WorkspaceEvents() {
    if (conn_ && listener_) conn_->removeEventListener(listener_);
    if (wakeListener_) {
        QDBusConnection::systemBus().disconnect("org.freedesktop.login1", "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "PrepareForSleep", wakeListener_,
                                                SLOT(prepareForSleep(bool)));
        delete wakeListener_;
    }
}

uint32_t X11WorkspaceEvents::currentDesktop() {
    uint32_t desktop = 0xFFFFFFFF;
    if (!xcb_ewmh_get_current_desktop_reply(conn_->ewmh(),
                                            xcb_ewmh_get_current_desktop(conn_->ewmh(), conn_->screenNumber()),
                                            &desktop, nullptr))
        return 0xFFFFFFFF;
    return desktop;
}

void X11WorkspaceEvents::onEvent(const xcb_generic_event_t* event) {
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
    auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (e->window != conn_->root()) return;
    if (e->atom == currentDesktopAtom_) {
        // Window managers may write the property without changing it; only a real
        // switch counts (an unreadable value is taken as a switch).
        uint32_t now = currentDesktop();
        if (now == lastDesktop_ && now != 0xFFFFFFFF) return;
        lastDesktop_ = now;
        NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceActiveSpaceDidChangeNotification);
    } else if (e->atom == activeWindowAtom_) {
        // Looked at once the window list has read the change (it reads the events of a
        // flurry together, a little after the first): asking it now would read it a second
        // time. Several changes meanwhile are looked at once.
        activeCheck_.request();
    }
}

void X11WorkspaceEvents::activeWindowChanged() {
    if (!screens_) return;
    // With no active window (the desktop was clicked) the screen in use is the pointer's.
    auto screen = screens_->mainScreen();
    if (!screen) return;
    auto last = lastScreen_.lock();
    lastScreen_ = screen;
    if (last != screen)
        NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceActiveDisplayDidChangeNotification);
}

}  // namespace qs::x11

#include "X11WorkspaceEvents.moc"
