#include "platform/x11/X11Backend.h"

#include <memory>

#include "platform/desktop/Compositing.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/PanelWindows.h"
#include "platform/foundation/Log.h"
#include "platform/x11/FileManager.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Badges.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11Hotkeys.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Permissions.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/X11UserMessages.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/X11WorkspaceEvents.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {
std::unique_ptr<X11WorkspaceEvents>& workspaceEvents() {
    static std::unique_ptr<X11WorkspaceEvents> events;
    return events;
}
}  // namespace

void addWindowServices(desktop::Services& services, const std::shared_ptr<XConnection>& conn) {
    auto windows = std::make_shared<X11WindowServer>(conn);
    auto workspace = std::make_shared<X11Workspace>(conn, windows);
    auto accessibility = std::make_shared<X11Accessibility>(conn, windows);
    std::weak_ptr<X11Workspace> ws = workspace;
    accessibility->setApplicationInfo(
        [ws](desktop::Pid pid) { auto w = ws.lock(); return w ? w->nameOf(pid) : std::string(); },
        [ws](desktop::Pid pid) { auto w = ws.lock(); return w && w->isHidden(pid); });
    // The screens' visible frames leave out what other programs' panels reserve.
    if (auto screens = std::dynamic_pointer_cast<X11Screens>(services.screens)) screens->setWindowServer(windows);
    services.windowServer = windows;
    services.workspace = workspace;
    services.accessibility = accessibility;
}

bool installX11Backend(std::function<void(const desktop::UserMessage&)> messageWindow) {
    auto conn = XConnection::open();
    if (!conn) {
        log("the X11 desktop services cannot start: no X display");
        return false;
    }
    XConnection::setShared(conn);

    desktop::Services services;
    auto screens = std::make_shared<X11Screens>(conn);
    services.screens = screens;
    services.hotkeys = std::make_shared<X11Hotkeys>(conn);
    addWindowServices(services, conn);
    services.events = std::make_shared<X11Events>(conn);
    services.files = std::make_shared<FileManagerServices>();
    services.badges = std::make_shared<X11Badges>();
    services.displays = std::make_shared<X11Displays>(conn);
    services.permissions = std::make_shared<X11Permissions>();
    services.compositing = std::make_shared<X11Compositing>(conn);
    services.messages = std::make_shared<X11UserMessages>(std::move(messageWindow));
    // Further services of the x11 backend are created here.
    desktop::PanelWindows::install(std::make_shared<X11PanelWindows>(conn));

    desktop::install(std::move(services));
    workspaceEvents() = std::make_unique<X11WorkspaceEvents>(conn, screens);
    return true;
}

void uninstallX11Backend() {
    workspaceEvents().reset();
    desktop::install({});
    desktop::PanelWindows::install(nullptr);
    XConnection::setShared(nullptr);
}

}  // namespace qs::x11
