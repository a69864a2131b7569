#include "toolkit/KeyMapFunctions.h"

#include <cstdio>

#include "platform/foundation/Log.h"

namespace qs {

std::string KeyMapDescription(const KeyMap& keys) {
    std::string bytes;
    for (uint8_t b : keys) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02hhX", b);
        bytes += hex;
    }
    return "KeyMap " + bytes;
}

void KeyMapLog(const KeyMap& keys) { logLine(KeyMapDescription(keys)); }

void KeyMapAddKey(KeyMap& keys, uint16_t keyCode) {
    if (keyCode >= 128) return;
    keys[keyCode / 8] |= uint8_t(1u << (keyCode % 8));
}

void KeyMapInvert(KeyMap& keys) {
    for (auto& b : keys) b = uint8_t(~b);
}

void KeyMapClear(KeyMap& keys) { keys.fill(0); }

bool KeyMapIntersects(const KeyMap& a, const KeyMap& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] & b[i]) return true;
    return false;
}

}  // namespace qs
