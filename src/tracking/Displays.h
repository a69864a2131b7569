#pragma once
// The shared display watcher. It holds only what the start of the dock needs now: the
// shared instance that the dock manager keeps; watching the displays comes later.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace qs {

class Displays : public Object {
public:
    static std::shared_ptr<Displays> sharedInstance();
    std::string className() const override { return "Displays"; }
};

}  // namespace qs
