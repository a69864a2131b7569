#pragma once
// NSEvent(Utilities): questions about the keyboard and the mouse. The "...Now" queries
// and isMouseButtonDown read the live state of the devices (InputState), not an event;
// the others read an event. isDragEvent tells whether a mouse-down turns into a drag,
// reading the application's event queue (EventQueue::current()).

#include <cstdint>
#include <optional>

#include "platform/ui/Event.h"

class QWidget;

namespace qs::NSEvent_Utilities {

// The live state of the devices.
bool isMouseButtonDown();   // the primary button
bool controlKeyDownNow();
bool optionKeyDownNow();    // Alt
bool commandKeyDownNow();   // Super
bool shiftKeyDownNow();
bool capsLockDownNow();
bool spaceKeyDownNow();

// Shift, Control, Option, Command and Function of the older modifier layout as event
// modifier flags; every other bit (Caps Lock included) is dropped.
uint64_t carbonModifierFlagsToCocoaModifierFlags(uint32_t carbonFlags);

// Whether a left mouse-down becomes a drag: the pointer leaves the square of side twice
// `dragSlop` centred on the click before the button comes up. `timeOut` is a deadline on
// the main run loop's clock; without one the test lasts while the button is held, in
// slices of 2 seconds. A mouse-up ends it with NO and stays queued for the normal
// handling. `view` (Qt views are flipped) decides which edges of the square count in.
bool isDragEvent(const Event& event, const QWidget* view, double dragSlop, std::optional<double> timeOut = std::nullopt);

// Questions about an event.
bool shiftKeyDown(const Event& event);
bool controlKeyDown(const Event& event);
bool optionKeyDown(const Event& event);
bool commandKeyDown(const Event& event);
bool modifierIsDown(const Event& event);
bool optionXOrCommandKeyDown(const Event& event);
bool openInNewWindowEvent(const Event& event);
bool isSingleClick(const Event& event);
bool isDoubleClick(const Event& event);
bool characterIsDown(const Event& event, char16_t character);
bool isUpArrowEvent(const Event& event);
bool isDownArrowEvent(const Event& event);
bool isLeftArrowEvent(const Event& event);
bool isRightArrowEvent(const Event& event);
bool isArrowEvent(const Event& event);
bool isHomeKeyEvent(const Event& event);
bool isEndKeyEvent(const Event& event);
bool isPageUpKeyEvent(const Event& event);
bool isPageDownKeyEvent(const Event& event);
bool isDeleteKeyEvent(const Event& event);
bool isReturnKeyEvent(const Event& event);
bool isEscKeyEvent(const Event& event);
bool isTabKeyEvent(const Event& event);
bool isShiftTabKeyEvent(const Event& event);

}  // namespace qs::NSEvent_Utilities
