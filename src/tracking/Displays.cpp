#include "tracking/Displays.h"

namespace qs {

std::shared_ptr<Displays> Displays::sharedInstance() {
    static const std::shared_ptr<Displays> instance = std::make_shared<Displays>();
    return instance;
}

}  // namespace qs
