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
