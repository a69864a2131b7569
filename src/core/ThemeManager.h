#pragma once
// The shared theme list. It holds only what the start of the dock needs now: the one
// shared instance that the dock manager keeps alive. The list of themes and the theme
// index come with the themes themselves.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace qs {

class ThemeManager : public Object {
public:
    static std::shared_ptr<ThemeManager> sharedInstance();
    std::string className() const override { return "ThemeManager"; }
};

}  // namespace qs
