#include "core/ThemeManager.h"

namespace qs {

std::shared_ptr<ThemeManager> ThemeManager::sharedInstance() {
    static const std::shared_ptr<ThemeManager> instance = std::make_shared<ThemeManager>();
    return instance;
}

}  // namespace qs
