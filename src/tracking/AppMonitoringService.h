#pragma once
// The shared running-application cache. It holds only what the start needs now: the
// shared instance, created on the first call, and dumbInit, which does nothing (calling
// it only forces the creation).

#include <memory>
#include <string>

#include "platform/desktop/Workspace.h"
#include "platform/foundation/Object.h"

namespace qs {

class AppMonitoringService : public Object {
public:
    static std::shared_ptr<AppMonitoringService> sharedInstance();
    // YES once sharedInstance has created the cache.
    static bool hasSharedInstance();
    static void resetSharedInstanceForTesting();

    std::string className() const override { return "AppMonitoringService"; }
    void dumbInit() {}
};

}  // namespace qs

namespace qs::Persistent {

// Whether the dock may show and track the application at all: NO for the system's own
// dock, login window and dashboard processes, by bundle-identifier prefix or name.
bool isManageable(const RunningApplication& app);

}  // namespace qs::Persistent
