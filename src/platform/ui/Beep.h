#pragma once
// The system beep (NSBeep): the X server's bell through Qt. Tests count beeps with a
// handler in place of the bell.

#include <functional>

namespace qs {

void NSBeep();
// Replaces the bell (nullptr: the bell again).
void setBeepHandler(std::function<void()> handler);

}  // namespace qs
