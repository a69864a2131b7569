#include "platform/desktop/Desktop.h"

#include <utility>

namespace qs::desktop {

namespace {
Services& slot() {
    static Services installed;
    return installed;
}
}  // namespace

Services& services() { return slot(); }

void install(Services services) { slot() = std::move(services); }

}  // namespace qs::desktop
