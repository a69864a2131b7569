#pragma once
// The permission window opened by the start when a permission is missing. It holds only
// what the start needs now: its window level and whether it was ordered front. On X11
// every permission reads as granted, so the start reaches it only when a test makes a
// permission missing; the window's contents come with the permission pane.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace qs {

class AccessController : public Object {
public:
    std::string className() const override { return "AccessController"; }

    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }
    bool isVisible() const { return visible_; }
    void orderFront() { visible_ = true; }

private:
    int level_ = 0;
    bool visible_ = false;
};

}  // namespace qs
