#include "platform/sim/SimHotkeys.h"

namespace qs::sim {

int SimHotkeys::registerHotkey(uint16_t keyCode, uint64_t modifierFlags, std::function<void()> onPress) {
    ++registerCalls_;
    if (taken_.erase({keyCode, modifierFlags})) return -1;
    if (isRegistered(keyCode, modifierFlags)) return -1;
    int id = nextId_++;
    live_.emplace(id, Entry{keyCode, modifierFlags, std::make_shared<std::function<void()>>(std::move(onPress))});
    return id;
}

void SimHotkeys::unregisterHotkey(int id) {
    ++unregisterCalls_;
    live_.erase(id);
}

bool SimHotkeys::press(uint16_t keyCode, uint64_t modifierFlags) {
    for (auto& [id, e] : live_) {
        if (e.keyCode == keyCode && e.modifierFlags == modifierFlags) {
            auto action = e.action;  // the action may unregister itself
            if (action && *action) (*action)();
            return true;
        }
    }
    return false;
}

void SimHotkeys::setTaken(uint16_t keyCode, uint64_t modifierFlags) { taken_.insert({keyCode, modifierFlags}); }

std::vector<SimHotkeys::Registration> SimHotkeys::registrations() const {
    std::vector<Registration> out;
    for (auto& [id, e] : live_) out.push_back({id, e.keyCode, e.modifierFlags});
    return out;
}

bool SimHotkeys::isRegistered(uint16_t keyCode, uint64_t modifierFlags) const {
    for (auto& [id, e] : live_)
        if (e.keyCode == keyCode && e.modifierFlags == modifierFlags) return true;
    return false;
}

}  // namespace qs::sim
