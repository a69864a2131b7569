#pragma once
// In-memory global hotkeys for tests: registrations are recorded, press() plays a key
// combination, setTaken() makes the next registration of a combination fail as if
// another program held it.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/desktop/HotkeyService.h"

namespace qs::sim {

class SimHotkeys : public desktop::HotkeyService {
public:
    struct Registration {
        int id;
        uint16_t keyCode;
        uint64_t modifierFlags;
    };

    int registerHotkey(uint16_t keyCode, uint64_t modifierFlags, std::function<void()> onPress) override;
    void unregisterHotkey(int id) override;

    // Calls the action registered for the combination; NO when none is.
    bool press(uint16_t keyCode, uint64_t modifierFlags);
    // The next registration of this combination answers -1 (once).
    void setTaken(uint16_t keyCode, uint64_t modifierFlags);

    // Live registrations, in registration order.
    std::vector<Registration> registrations() const;
    bool isRegistered(uint16_t keyCode, uint64_t modifierFlags) const;
    int registerCount() const { return registerCalls_; }
    int unregisterCount() const { return unregisterCalls_; }

private:
    struct Entry {
        uint16_t keyCode;
        uint64_t modifierFlags;
        std::shared_ptr<std::function<void()>> action;
    };
    std::map<int, Entry> live_;
    std::set<std::pair<uint16_t, uint64_t>> taken_;
    int nextId_ = 1;
    int registerCalls_ = 0;
    int unregisterCalls_ = 0;
};

}  // namespace qs::sim
