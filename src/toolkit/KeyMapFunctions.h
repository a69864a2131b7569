#pragma once
// Plain operations on a key map (the 128-bit set of keys held down, Keys.h): key code k
// is bit (k mod 8) of byte (k div 8).

#include <cstdint>
#include <string>

#include "platform/desktop/Keys.h"

namespace qs {

// "KeyMap" followed by each byte as " %02hhX"; KeyMapLog writes it as one log line.
std::string KeyMapDescription(const KeyMap& keys);
void KeyMapLog(const KeyMap& keys);
void KeyMapAddKey(KeyMap& keys, uint16_t keyCode);
void KeyMapInvert(KeyMap& keys);
void KeyMapClear(KeyMap& keys);
// YES when some byte of the two maps shares a set bit.
bool KeyMapIntersects(const KeyMap& a, const KeyMap& b);

}  // namespace qs
