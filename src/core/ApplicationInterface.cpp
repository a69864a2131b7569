#include "core/ApplicationInterface.h"

namespace qs {

namespace {
std::shared_ptr<ApplicationInterface>& slot() {
    static std::shared_ptr<ApplicationInterface> application;
    return application;
}
}  // namespace

void ApplicationInterface::install(std::shared_ptr<ApplicationInterface> application) {
    slot() = std::move(application);
}

ApplicationInterface* ApplicationInterface::installed() { return slot().get(); }

}  // namespace qs
