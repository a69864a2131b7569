#include "toolkit/EventUtilities.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/EventQueue.h"
#include "platform/ui/InputState.h"
#include "platform/ui/ViewGeometry.h"

namespace qs::NSEvent_Utilities {

namespace {
constexpr uint64_t kModifierMask = 0x1E0000;
constexpr double kDragSlice = 2.0;
}  // namespace

bool isMouseButtonDown() { return (GetCurrentButtonState() & 1u) != 0; }
bool controlKeyDownNow() { return (GetCurrentKeyModifiers() & (1u << 12)) != 0; }
bool optionKeyDownNow() { return (GetCurrentKeyModifiers() & (1u << 11)) != 0; }
bool commandKeyDownNow() { return (GetCurrentKeyModifiers() & (1u << 8)) != 0; }
bool shiftKeyDownNow() { return (GetCurrentKeyModifiers() & (1u << 9)) != 0; }
bool capsLockDownNow() { return (GetCurrentKeyModifiers() & (1u << 10)) != 0; }

bool spaceKeyDownNow() {
    KeyMap keys{};
    GetKeys(keys);
    // Key code 49.
    return (keys[6] & 2) != 0;
}

uint64_t carbonModifierFlagsToCocoaModifierFlags(uint32_t carbonFlags) {
    uint64_t flags = 0;
    if (carbonFlags & shiftKey) flags |= NSEventModifierFlagShift;
    if (carbonFlags & controlKey) flags |= NSEventModifierFlagControl;
    if (carbonFlags & optionKey) flags |= NSEventModifierFlagOption;
    if (carbonFlags & cmdKey) flags |= NSEventModifierFlagCommand;
    if (carbonFlags & kEventKeyModifierFnMask) flags |= NSEventModifierFlagFunction;
    return flags;
}

bool isDragEvent(const Event& event, const QWidget* view, double dragSlop, std::optional<double> timeOut) {
    if (event.type != NSEventTypeLeftMouseDown) return false;
    const Point click = event.locationInWindow;
    const Rect slop = RectInset(MakeRect(click.x, click.y, 0, 0), -dragSlop, -dragSlop);
    // The square is tested as the view counts y (no view: unflipped).
    const bool flipped = view != nullptr && ViewGeometry::isFlipped(view);
    EventQueue& queue = EventQueue::current();
    for (;;) {
        const double deadline = timeOut ? *timeOut : RunLoop::main().now() + kDragSlice;
        auto next = queue.nextEvent(NSEventMaskLeftMouseUp | NSEventMaskLeftMouseDragged, deadline, false);
        if (next) {
            if (next->type == NSEventTypeLeftMouseUp) return false;
            auto dragged = queue.nextEvent(NSEventMaskLeftMouseDragged, kDistantPast, true);
            if (!dragged) {
                // The queue showed a drag it then did not hand over: no drag rather
                // than a wait that cannot end.
                log("the event queue lost a drag event during the drag test");
                return false;
            }
            if (!MouseInRect(dragged->locationInWindow, slop, flipped)) return true;
            continue;
        }
        if (timeOut) return false;
        if (!isMouseButtonDown()) return false;
    }
}

bool shiftKeyDown(const Event& e) { return (e.modifierFlags & NSEventModifierFlagShift) != 0; }
bool controlKeyDown(const Event& e) { return (e.modifierFlags & NSEventModifierFlagControl) != 0; }
bool optionKeyDown(const Event& e) { return (e.modifierFlags & NSEventModifierFlagOption) != 0; }
bool commandKeyDown(const Event& e) { return (e.modifierFlags & NSEventModifierFlagCommand) != 0; }
bool modifierIsDown(const Event& e) { return (e.modifierFlags & kModifierMask) != 0; }
bool optionXOrCommandKeyDown(const Event& e) { return optionKeyDown(e) != commandKeyDown(e); }
bool openInNewWindowEvent(const Event& e) { return commandKeyDown(e) && e.type != NSEventTypeKeyDown; }
bool isSingleClick(const Event& e) { return e.clickCount % 2 != 0; }
bool isDoubleClick(const Event& e) { return e.clickCount != 0 && e.clickCount % 2 == 0; }

bool characterIsDown(const Event& e, char16_t character) {
    return !e.characters.empty() && e.characters.front() == character;
}

bool isUpArrowEvent(const Event& e) { return characterIsDown(e, NSUpArrowFunctionKey); }
bool isDownArrowEvent(const Event& e) { return characterIsDown(e, NSDownArrowFunctionKey); }
bool isLeftArrowEvent(const Event& e) { return characterIsDown(e, NSLeftArrowFunctionKey); }
bool isRightArrowEvent(const Event& e) { return characterIsDown(e, NSRightArrowFunctionKey); }
bool isArrowEvent(const Event& e) {
    return isLeftArrowEvent(e) || isRightArrowEvent(e) || isUpArrowEvent(e) || isDownArrowEvent(e);
}
bool isHomeKeyEvent(const Event& e) { return characterIsDown(e, NSHomeFunctionKey); }
bool isEndKeyEvent(const Event& e) { return characterIsDown(e, NSEndFunctionKey); }
bool isPageUpKeyEvent(const Event& e) { return characterIsDown(e, NSPageUpFunctionKey); }
bool isPageDownKeyEvent(const Event& e) { return characterIsDown(e, NSPageDownFunctionKey); }
bool isDeleteKeyEvent(const Event& e) { return characterIsDown(e, 127); }
bool isReturnKeyEvent(const Event& e) { return characterIsDown(e, 13); }
bool isEscKeyEvent(const Event& e) { return characterIsDown(e, 27); }
bool isTabKeyEvent(const Event& e) { return characterIsDown(e, 9); }
bool isShiftTabKeyEvent(const Event& e) { return characterIsDown(e, 25); }

}  // namespace qs::NSEvent_Utilities
