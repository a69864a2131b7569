#pragma once
// Installs a fresh in-memory desktop as desktop::services() and answers handles to its
// parts, so a test can arrange screens, play hotkeys and so on.

#include <memory>

#include "platform/sim/SimBadges.h"
#include "platform/sim/SimCompositing.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimDisplays.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimHotkeys.h"
#include "platform/sim/SimMessages.h"
#include "platform/sim/SimPermissions.h"
#include "platform/sim/SimScreens.h"
#include "platform/sim/SimWorkspaceEvents.h"

namespace qs::sim {

struct SimBackend {
    std::shared_ptr<SimScreens> screens;
    std::shared_ptr<SimHotkeys> hotkeys;
    // Applications, windows, spaces, events and the workspace.
    std::shared_ptr<SimDesktop> desktop;
    // Folder watches fed by the test, and a recording file manager.
    std::shared_ptr<SimFiles> files;
    // Launcher-entry badges fed by the test.
    std::shared_ptr<SimBadges> badges;
    // A display table (empty at first: no display with brightness control).
    std::shared_ptr<SimDisplays> displays;
    // Permission switches; full disk access follows the real home and trash folders.
    std::shared_ptr<SimPermissions> permissions;
    // No compositing manager until a test starts one.
    std::shared_ptr<SimCompositing> compositing;
    // Every message told to the user.
    std::shared_ptr<SimMessages> messages;
    // Further simulated services are added here along with the code that backs them.
};

// One 1440 x 900 screen unless `withDefaultScreen` is NO.
SimBackend installSimBackend(bool withDefaultScreen = true);

}  // namespace qs::sim
