#include "tracking/BadgeHelper.h"

namespace qs {

std::shared_ptr<BadgeHelper> BadgeHelper::sharedInstance() {
    static const std::shared_ptr<BadgeHelper> instance = std::make_shared<BadgeHelper>();
    return instance;
}

}  // namespace qs
