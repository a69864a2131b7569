#pragma once
// The badge reader of other applications. It holds only what the start needs now: the
// shared instance that the application delegate keeps alive; reading badges comes later.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace qs {

class BadgeHelper : public Object {
public:
    static std::shared_ptr<BadgeHelper> sharedInstance();
    std::string className() const override { return "BadgeHelper"; }
};

}  // namespace qs
