#pragma once
// Synthetic keyboard and mouse events, posted as the user's own input, and the live state
// of the pointer buttons and the keyboard. Key codes are the ANSI virtual key codes (18 is
// the "1" key, 29 the "0" key, 45 "N"); flags are the modifier bits below. Points are
// accessibility coordinates.

#include <cstdint>

#include "platform/desktop/Keys.h"
#include "platform/foundation/Geometry.h"

namespace qs::desktop {

enum EventModifierFlags : uint64_t {
    kCGEventFlagMaskShift = 0x20000,
    kCGEventFlagMaskControl = 0x40000,
    kCGEventFlagMaskAlternate = 0x80000,
    kCGEventFlagMaskCommand = 0x100000,
};

enum class MouseEventType { Moved, LeftDown, LeftUp };

// A key event (the platform's NSEvent of a key-down).
struct KeyEvent {
    uint16_t keyCode = 0;
    uint64_t modifierFlags = 0;
    bool keyDown = true;
};

class EventPoster {
public:
    virtual ~EventPoster() = default;
    // The modifiers in `flags` are pressed before the key and released after it; a
    // key pressed down is released by the matching postKey(.., false, ..).
    virtual void postKey(uint16_t keyCode, bool down, uint64_t flags) = 0;
    virtual void postMouse(MouseEventType type, const Point& location, uint64_t flags) = 0;
    virtual Point pointerLocation() = 0;

    // The input devices as they are now, whichever program has the pointer or the focus
    // (not the events this program was sent). Buttons: bit 0 the primary button, bit 1
    // the secondary, bit 2 the middle one. A poster that cannot tell answers nothing down.
    virtual uint32_t currentButtonState() { return 0; }
    // cmdKey, shiftKey, alphaLock, optionKey and controlKey (Keys.h).
    virtual uint32_t currentKeyModifiers() { return 0; }
    // The keys held down, by ANSI virtual key code.
    virtual KeyMap currentKeyMap() { return KeyMap{}; }
};

}  // namespace qs::desktop
