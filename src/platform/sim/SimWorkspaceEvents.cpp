#include "platform/sim/SimWorkspaceEvents.h"

#include "platform/desktop/Notifications.h"
#include "platform/foundation/NotificationCenter.h"

namespace qs::sim {

void SimWorkspaceEvents::switchSpace() {
    NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceActiveSpaceDidChangeNotification);
}

void SimWorkspaceEvents::changeActiveDisplay() {
    NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceActiveDisplayDidChangeNotification);
}

void SimWorkspaceEvents::wake() {
    NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceDidWakeNotification);
}

}  // namespace qs::sim
