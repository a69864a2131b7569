#pragma once
// The live state of the input devices, as the platform's older event calls answer it:
// read from the desktop (on X11 from the server) each time, not from the events this
// program received, so it holds while the pointer is over another program. Without an
// installed desktop everything reads as up.

#include <cstdint>

#include "platform/desktop/Keys.h"
#include "platform/foundation/Geometry.h"

namespace qs {

// Bit 0 the primary button, bit 1 the secondary, bit 2 the middle one.
uint32_t GetCurrentButtonState();
// cmdKey (Super), shiftKey, alphaLock, optionKey (Alt), controlKey.
uint32_t GetCurrentKeyModifiers();
// The keys held down, by virtual key code.
void GetKeys(KeyMap& keys);
// Where the pointer is, in Qt's global coordinates (the X root window's: top-left, y
// down, which are also the accessibility coordinates); without an installed desktop,
// where Qt last saw the cursor.
Point GetCurrentPointerLocation();

}  // namespace qs
