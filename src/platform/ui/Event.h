#pragma once
// An input event in the platform's shape (NSEvent): its type, modifier flags, click
// count, characters, location in its window (points, y up from the bottom of the window)
// and timestamp. Events are made from Qt's mouse and key events, or directly (tests,
// scripted queues).

#include <cstdint>
#include <string>

#include "platform/desktop/Keys.h"
#include "platform/foundation/Geometry.h"

class QEvent;
class QWidget;

namespace qs {

enum EventType : int {
    NSEventTypeLeftMouseDown = 1,
    NSEventTypeLeftMouseUp = 2,
    NSEventTypeRightMouseDown = 3,
    NSEventTypeRightMouseUp = 4,
    NSEventTypeMouseMoved = 5,
    NSEventTypeLeftMouseDragged = 6,
    NSEventTypeRightMouseDragged = 7,
    NSEventTypeMouseEntered = 8,
    NSEventTypeMouseExited = 9,
    NSEventTypeKeyDown = 10,
    NSEventTypeKeyUp = 11,
    NSEventTypeFlagsChanged = 12,
    NSEventTypeScrollWheel = 22,
    NSEventTypeOtherMouseDown = 25,
    NSEventTypeOtherMouseUp = 26,
    NSEventTypeOtherMouseDragged = 27,
};

// The mask of one event type; masks of several types are or-ed together.
constexpr uint64_t NSEventMaskFromType(int type) { return uint64_t(1) << type; }
inline constexpr uint64_t NSEventMaskLeftMouseDown = NSEventMaskFromType(NSEventTypeLeftMouseDown);
inline constexpr uint64_t NSEventMaskLeftMouseUp = NSEventMaskFromType(NSEventTypeLeftMouseUp);
inline constexpr uint64_t NSEventMaskLeftMouseDragged = NSEventMaskFromType(NSEventTypeLeftMouseDragged);
inline constexpr uint64_t NSEventMaskAny = ~uint64_t(0);

inline constexpr uint64_t NSEventModifierFlagFunction = 0x800000;

// The function-key characters of key events (the platform's private-use code units).
enum : char16_t {
    NSUpArrowFunctionKey = 0xF700,
    NSDownArrowFunctionKey = 0xF701,
    NSLeftArrowFunctionKey = 0xF702,
    NSRightArrowFunctionKey = 0xF703,
    NSDeleteFunctionKey = 0xF728,
    NSHomeFunctionKey = 0xF729,
    NSEndFunctionKey = 0xF72B,
    NSPageUpFunctionKey = 0xF72C,
    NSPageDownFunctionKey = 0xF72D,
};

struct Event {
    int type = 0;
    uint64_t modifierFlags = 0;  // NSEventModifierFlag... (Keys.h)
    int clickCount = 0;          // mouse-down, mouse-up and drag events
    std::u16string characters;   // key events
    Point locationInWindow;      // y up, from the window's bottom-left corner
    double timestamp = 0.0;      // seconds
    QWidget* window = nullptr;   // the top-level widget; compare only, it may be gone

    // A mouse or key event of Qt, received by `view`; an event of another kind gives an
    // event of type 0. A press counts as the next click of a series when it comes within
    // the double-click interval and distance of the previous press of the same button;
    // asking again for the same press gives the same count.
    static Event fromQt(const QEvent& event, const QWidget* view);
    static Event mouseEvent(int type, const Point& locationInWindow, uint64_t modifierFlags = 0, int clickCount = 1,
                            double timestamp = 0.0);
    static Event keyEvent(int type, std::u16string characters, uint64_t modifierFlags = 0, double timestamp = 0.0);
};

// Whether a point lies in a rectangle the way the pointer is tested: the left edge is in
// and the right edge out; in a flipped view the top (minimum y) edge is in and the bottom
// out, otherwise the bottom (minimum y) edge is out and the top in.
bool MouseInRect(const Point& point, const Rect& rect, bool flipped);

// The characters a key of Qt types, in the platform's form (arrows and the other
// function keys as their function-key code units; Backspace 127, Return and Enter 13,
// Escape 27, Tab 9, Backtab 25).
std::u16string charactersForQtKey(int key, const std::u16string& text);

}  // namespace qs
