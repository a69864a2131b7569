#include "tracking/AppMonitoringService.h"

namespace qs {

namespace {
std::shared_ptr<AppMonitoringService>& instanceSlot() {
    static std::shared_ptr<AppMonitoringService> instance;
    return instance;
}
}  // namespace

std::shared_ptr<AppMonitoringService> AppMonitoringService::sharedInstance() {
    auto& slot = instanceSlot();
    if (!slot) slot = std::make_shared<AppMonitoringService>();
    return slot;
}

bool AppMonitoringService::hasSharedInstance() { return static_cast<bool>(instanceSlot()); }
void AppMonitoringService::resetSharedInstanceForTesting() { instanceSlot().reset(); }

}  // namespace qs

namespace qs::Persistent {

bool isManageable(const RunningApplication& app) {
    const std::string& id = app.bundleIdentifier();
    for (const char* prefix : {"com.apple.dashboard", "com.apple.loginwindow", "com.apple.dock"})
        if (id.rfind(prefix, 0) == 0) return false;
    const std::string& name = app.localizedName();
    return name != "coreautha" && name != "Dock";
}

}  // namespace qs::Persistent
