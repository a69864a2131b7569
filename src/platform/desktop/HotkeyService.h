#pragma once
// Global hotkeys: a key combination grabbed for the whole desktop, whose press calls an
// action on the main thread. Key codes are the platform's ANSI key codes and modifier
// flags its event modifier flags (platform/desktop/Keys.h).

#include <cstdint>
#include <functional>

namespace qs::desktop {

class HotkeyService {
public:
    virtual ~HotkeyService() = default;
    // Grabs the combination. Answers an id for unregisterHotkey, or -1 when it could not
    // be grabbed (taken by another client, or a key the keyboard does not have).
    virtual int registerHotkey(uint16_t keyCode, uint64_t modifierFlags, std::function<void()> onPress) = 0;
    // Releases a grab; an unknown id is ignored.
    virtual void unregisterHotkey(int id) = 0;
};

}  // namespace qs::desktop
